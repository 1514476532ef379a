#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "Emulator.h"
#include "ScriptedUi.h"
#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/link/QtSerialTransport.h"

// A PC for end-to-end tests: the real clock and serial ports, a scripted operator and a
// working directory of its own, with the station emulator on COM2 over a pseudo-terminal.
struct EmulatorHost : ::testing::Test {
  SystemClock clock;
  QtSerialPortFactory ports;
  ScriptedUi ui;
  QTemporaryDir dir;
  Environment env{ui, clock, ports, dir.path()};
  std::unique_ptr<EmulatorProcess> emulator;

  // Starts the emulator and makes COM2 its link.
  void StartEmulator(const station::StationOptions& options) {
    emulator = std::make_unique<EmulatorProcess>(options);
    ASSERT_TRUE(emulator->Start());
    qputenv("NORVEL_COM2", QFile::encodeName(emulator->LinkPath()));
  }
  // Derived fixtures free what uses the port first, then call this.
  void StopEmulator() {
    if (emulator) emulator->Stop();
    qunsetenv("NORVEL_COM2");
  }
};
