#pragma once

// A quiet PC for the fuzz targets: a working directory of its own, a fixed clock, no serial
// ports, and an operator who answers every question "Yes".
#include <QTemporaryDir>

#include "QuietUi.h"
#include "core/link/SerialTransport.h"
#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/base/OperatorUi.h"

class FixedClock : public Clock {
 public:
  qint64 Tick() override { return 0; }
  void Sleep(int) override {}
  QDateTime Now() override { return MakeDateTime(QDate(2026, 12, 7), QTime(10, 0)); }
};

class NoPorts : public SerialPortFactory {
 public:
  std::unique_ptr<SerialTransport> CreateTransport() override { return nullptr; }
};

struct FuzzHost {
  QuietUi ui{true};
  FixedClock clock;
  NoPorts ports;
  QTemporaryDir dir;
  Environment env{ui, clock, ports, dir.path()};

  void WriteFile(const char* name, const std::uint8_t* data, size_t size) {
    QFile file(env.FilePath(QLatin1String(name)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  }
};
