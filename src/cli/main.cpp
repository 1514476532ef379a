// norvel: the command-line companion of NorvelWin, for timers and scripts. It runs the same
// reception and the same month loader as the windows, without a display.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

#include "cli/NorvelCommand.h"
#include "core/base/Clock.h"
#include "core/link/QtSerialTransport.h"
#include "core/platform/Terminal.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("norvel"));
  SystemClock clock;
  QtSerialPortFactory ports;
  QFile out;
  QFile err;
  out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
  err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
  const bool terminal = OsStandardErrorIsTerminal();
  CommandIo io{clock, ports, out, err, terminal, QDir::currentPath()};
  return RunNorvel(app.arguments().mid(1), io);
}
