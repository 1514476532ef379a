// norvel: the command-line companion of NorvelWin, for timers and scripts. It runs the same
// reception and the same month loader as the windows, without a display.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <memory>

#include "cli/NorvelCommand.h"
#include "core/base/Clock.h"
#include "core/link/QtSerialTransport.h"
#include "core/platform/Terminal.h"

int main(int argc, char** argv) {
  // The report and the PDF bills are drawn with Qt's GUI classes, which need a GUI application;
  // it runs on the offscreen platform, so no display is needed. Everything else runs on the core.
  const bool drawing =
      argc > 1 && (qstrcmp(argv[1], "report") == 0 || qstrcmp(argv[1], "bill") == 0);
  if (drawing) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::unique_ptr<QCoreApplication> app = drawing ? std::make_unique<QGuiApplication>(argc, argv)
                                                  : std::make_unique<QCoreApplication>(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("norvel"));
  SystemClock clock;
  QtSerialPortFactory ports;
  QFile out;
  QFile err;
  out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
  err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
  const bool terminal = OsStandardErrorIsTerminal();
  CommandIo io{clock, ports, out, err, terminal, QDir::currentPath()};
  return RunNorvel(QCoreApplication::arguments().mid(1), io);
}
