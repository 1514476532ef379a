#include "cli/NorvelCommand.h"

#include <QIODevice>

#include "cli/ConfigCommand.h"
#include "cli/Doctor.h"
#include "core/base/Errors.h"
#include "core/files/RegularFile.h"

#ifndef NORVEL_VERSION
#define NORVEL_VERSION "unknown"
#endif

namespace {

// The commands: the table drives the dispatch, `norvel --help` and (through that help) the
// shell completion's list. A summary's further lines are indented under its first.
struct NorvelCommandEntry {
  const char* name;
  const char* summary;
  int (*run)(const QStringList& arguments, CommandIo& io);
};

constexpr NorvelCommandEntry kCommands[] = {
    {"receive",
     "fetches the station's call records into the month files, as NorvelWin's\n"
     "\"Тарификация. Прием данных\" does",
     RunReceive},
    {"export", "writes a month's calls, or a subscriber's totals, as CSV, TSV or XLSX", RunExport},
    {"bill", "writes the month's bills from the tariff file, as CSV or PDF", RunBill},
    {"report", "writes the month's report with its charts, as PDF or PNG", RunReport},
    {"sync",
     "copies the month files' calls into an SQLite file or a PostgreSQL\n"
     "database, for the calls of many stations and years in one place",
     RunSync},
    {"serve",
     "a read-only web view of the database norvel sync fills: stations,\n"
     "months, a call search (norvel serve --help)",
     RunServe},
    {"alerts",
     "lists the suspicious calls the rules find (calls abroad at night, very\n"
     "long calls, an auto-dialler, a subscriber far above its usual); mails them",
     RunAlerts},
    {"config",
     "shows a configuration in the words of the table windows, the\n"
     "differences between two, or its checks; writes a saved one",
     RunConfigCommand},
    {"journal",
     "shows what the reception journal holds; settles a damaged one with the\n"
     "station, storing every call exactly once",
     RunJournalCommand},
    {"status",
     "says how the working directory stands: the last reception, a pending\n"
     "journal, a reception running now, the month files; for monitoring",
     RunStatus},
    {"doctor",
     "checks the way to the station step by step and says how to mend what is\n"
     "wrong; never touches a port another program holds",
     RunDoctor},
};

}  // namespace

QString NorvelHelpText() {
  QString text = QStringLiteral(
      "usage: norvel COMMAND [options]\n"
      "       norvel COMMAND --help\n"
      "       norvel --version\n"
      "\n"
      "commands:\n");
  for (const NorvelCommandEntry& command : kCommands) {
    const QStringList lines = QString::fromUtf8(command.summary).split(u'\n');
    text += QStringLiteral("  %1 %2\n").arg(QLatin1String(command.name), -8).arg(lines.first());
    for (const QString& more : lines.mid(1)) text += QStringLiteral("           %1\n").arg(more);
  }
  text += QStringLiteral("\nexit codes:\n");
  for (const ExitCodeMeaning& entry : kExitCodes) {
    text += QStringLiteral("  %1  %2\n").arg(entry.code, 2).arg(QString::fromUtf8(entry.meaning));
  }
  text += QStringLiteral(
      "  (config diff: 0 equal, 1 different, 2 error; config check: 0 no findings, 1 findings,\n"
      "  2 error; doctor: 0 all well, 1 something wrong; alerts: 0 nothing new, 1 warnings,\n"
      "  15 alarms)\n");
  return text;
}

int RunNorvel(const QStringList& arguments, CommandIo& io) {
  const QString command = arguments.value(0);
  const QStringList rest = arguments.mid(1);
  if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
      command == QLatin1String("help")) {
    io.out.write(NorvelHelpText().toUtf8());
    return exitcode::kOk;
  }
  if (command == QLatin1String("--version") || command == QLatin1String("-V")) {
    io.out.write("norvel " NORVEL_VERSION "\n");
    return exitcode::kOk;
  }
  for (const NorvelCommandEntry& entry : kCommands) {
    if (command != QLatin1String(entry.name)) continue;
    // A damaged file that a command did not expect (a settings file with a word where its port
    // should be) ends in a message and the files' exit code, never in an abort.
    try {
      return entry.run(rest, io);
    } catch (const NorvelError& error) {
      io.err.write(("norvel: " + ShortEcho(error.Message()) + u'\n').toUtf8());
    } catch (const std::exception& error) {
      io.err.write(QStringLiteral("norvel: %1\n")
                       .arg(ShortEcho(QString::fromLocal8Bit(error.what())))
                       .toUtf8());
    }
    return exitcode::kFilesFailed;
  }
  const QString problem = command.isEmpty() ? QStringLiteral("a command is needed")
                                            : QStringLiteral("unknown command '%1'").arg(command);
  io.err.write(("norvel: " + problem + "\n\n" + NorvelHelpText()).toUtf8());
  return exitcode::kUsage;
}
