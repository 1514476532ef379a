// norvel: the command-line companion of NorvelWin, for timers and scripts. It runs the same
// reception and the same month loader as the windows, without a display.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "cli/Drawing.h"
#include "core/base/ExitCodes.h"
#include "cli/NorvelCommand.h"
#include "cli/StandardOutput.h"
#include "core/base/Clock.h"
#include "core/link/QtSerialTransport.h"
#include "core/platform/Terminal.h"

namespace {

// Qt's and the database drivers' own notes ("XDG_RUNTIME_DIR not set", "Unable to free
// statement") are not the command's messages: on a timer they would fill the journal with
// lines nobody can act on. NORVEL_QT_MESSAGES=1 lets them through for a developer.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtFatalMsg || qEnvironmentVariableIsSet("NORVEL_QT_MESSAGES")) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
  }
}

}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(QuietQtMessages);
  // The report and the PDF bills are drawn with Qt's GUI classes, which need a GUI application;
  // the drawing plugin makes one on the offscreen platform, so no display is needed. Without the
  // plugin (a server with the command alone) those commands still write their text forms.
  // Everything else runs on the core and never loads a GUI library.
  const bool drawing =
      argc > 1 && (qstrcmp(argv[1], "report") == 0 || qstrcmp(argv[1], "bill") == 0);
  const Drawing* plugin = drawing ? Drawing::Load(argv[0]) : nullptr;
  std::unique_ptr<QCoreApplication> app(plugin ? plugin->makeApplication(&argc, argv)
                                               : new QCoreApplication(argc, argv));
  QCoreApplication::setApplicationName(QStringLiteral("norvel"));
  SystemClock clock;
  QtSerialPortFactory ports;
  // A closed pipe is told by write's EPIPE, which the output below keeps, not by a signal that
  // would end the program before it could say anything or clean up.
  OsIgnoreBrokenPipe();
  StandardOutput out(1);
  QFile err;
  err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
  const bool terminal = OsStandardErrorIsTerminal();
  CommandIo io{clock, ports, out, err, terminal, QDir::currentPath()};
  const int code = RunNorvel(QCoreApplication::arguments().mid(1), io);
  if (out.Failure() == 0) return code;
  // Output that did not arrive is said, with its reason. Where standard output carries only the
  // summary of work done in the station and the files (a reception, a sync), that work's code
  // stands: a timer must not retry a reception that stored its calls. Elsewhere the output was
  // the work, and it did not arrive whole.
  const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  const bool summaryOnly = command == QLatin1String("receive") || command == QLatin1String("sync");
  err.write(
      QStringLiteral("norvel: standard output: %1%2\n")
          .arg(out.Failure() == EPIPE ? QStringLiteral("closed by its reader") : out.errorString(),
               summaryOnly ? QStringLiteral(" (the summary was not read; the work is done)")
                           : QString())
          .toUtf8());
  if (summaryOnly) return code;
  return code == exitcode::kOk ? exitcode::kFilesFailed : code;
}
