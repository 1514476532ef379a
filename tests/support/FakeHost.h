#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "FakeSerial.h"
#include "ScriptedUi.h"
#include "core/base/Environment.h"

// A PC for tests: fake clock, scripted operator, fake serial ports and an empty working
// directory of its own.
struct FakeHost {
  FakeClock clock;
  ScriptedUi ui;
  FakePorts ports;
  QTemporaryDir dir;
  Environment env{ui, clock, ports, dir.path()};

  QString Path(const QString& name) const { return dir.filePath(name); }
  void WriteFile(const QString& name, const QByteArray& bytes) const;
  QByteArray ReadFile(const QString& name) const;
  bool Exists(const QString& name) const;
};

// Text as Windows-1251 bytes, for building and checking files.
QByteArray Cp1251(const QString& text);
