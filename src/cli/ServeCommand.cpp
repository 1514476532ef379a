// norvel serve: the web view is a program of its own beside the command (it brings Qt's HTTP
// server, which no other command needs), run in the command's place with the same arguments.
#include <QCoreApplication>
#include <QFileInfo>

#include "cli/ConsoleUi.h"
#include "core/base/ExitCodes.h"
#include "cli/NorvelCommand.h"
#include "core/platform/Processes.h"

int RunServe(const QStringList& arguments, CommandIo& io) {
  const QString helper = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() +
                         QStringLiteral("/../lib/norvel/norvel-web");
  const QString reason =
      OsReplaceWith(helper, QStringList{QStringLiteral("norvel serve")} + arguments);
  ConsoleUi(io.err, false)
      .Say(QStringLiteral("the web view %1 cannot be started: %2").arg(helper, reason));
  return exitcode::kUsage;
}
