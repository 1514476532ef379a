#include "cli/NorvelCommand.h"

#include <QDir>
#include <QFile>
#include <optional>

#include "cli/ConfigCommand.h"
#include "cli/ConsoleUi.h"
#include "cli/Doctor.h"
#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/base/Errors.h"
#include "core/files/CallExport.h"
#include "core/station/ReceptionLock.h"
#include "core/station/StationCtrl.h"

namespace {

// The options of a subcommand: "--name value" pairs and "--flag"s.
class Options {
 public:
  Options(const QStringList& arguments, const QStringList& valued, const QStringList& flags)
      : valued_(valued), flags_(flags) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
      const QString& word = arguments[i];
      if (flags.contains(word)) {
        set_ << word;
      } else if (valued.contains(word) && i + 1 < arguments.size()) {
        values_[word] = arguments[++i];
      } else {
        error_ = QStringLiteral("unknown or incomplete option '%1'").arg(word);
        return;
      }
    }
  }
  const QString& Error() const { return error_; }
  bool Has(const QString& name) const { return set_.contains(name) || values_.contains(name); }
  QString Value(const QString& name, const QString& fallback = {}) const {
    return values_.value(name, fallback);
  }
  // A whole number within its range, or none (and the error set).
  std::optional<int> Number(const QString& name, int low, int high, int fallback) {
    if (!values_.contains(name)) return fallback;
    bool ok = false;
    const int value = values_[name].toInt(&ok);
    if (!ok || value < low || value > high) {
      error_ = QStringLiteral("%1 takes a number from %2 to %3").arg(name).arg(low).arg(high);
      return std::nullopt;
    }
    return value;
  }

 private:
  QStringList valued_;
  QStringList flags_;
  QStringList set_;
  QMap<QString, QString> values_;
  QString error_;
};

int Usage(CommandIo& io, const QString& problem) {
  io.err.write(("norvel: " + problem + "\n\n" + NorvelHelpText()).toUtf8());
  return exitcode::kUsage;
}

int Receive(const QStringList& arguments, CommandIo& io) {
  Options options(arguments, {"--dir", "--port"}, {});
  const std::optional<int> port = options.Number("--port", 1, 16, 0);
  if (!options.Error().isEmpty() || !port) return Usage(io, options.Error());
  const QString dir = options.Value("--dir", io.currentDir);
  if (!QDir(dir).exists()) return Usage(io, QStringLiteral("no directory '%1'").arg(dir));

  ConsoleUi ui(io.err, io.terminal);
  Environment env{ui, io.clock, io.ports, QDir(dir).absolutePath()};
  const ReceptionLock lock(env.workDir, QStringLiteral("norvel receive"));
  if (!lock.Held()) {
    ui.Say(ReceptionLockText(lock));
    // A lock file that cannot be opened needs a person; a reception running elsewhere ends.
    return lock.Failed() ? exitcode::kFilesFailed : exitcode::kNoAnswer;
  }
  // The same reception as the window's, with the same messages, files and settings update.
  StationCtrlClass station(env, *port > 0 ? std::optional<quint16>(*port) : std::nullopt);
  ReceptionResult result;
  try {
    result = station.ReceiveTariffication();
  } catch (const SettingsFileError& error) {
    ui.Say(error.Message());
    io.out.write("stored 0 calls: the settings file could not be written; they stay in the "
                 "station\n");
    return exitcode::kSettingsNotWritten;
  } catch (const NorvelError& error) {
    ui.Say(error.Message());
    io.out.write("stored 0 calls: the data files could not take them; they stay in the station\n");
    return exitcode::kFilesFailed;
  }
  switch (result.outcome) {
    case ReceptionResult::Outcome::kStored: {
      QStringList parts;
      for (auto it = result.storedPerFile.cbegin(); it != result.storedPerFile.cend(); ++it) {
        parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
      }
      io.out.write(QStringLiteral("stored %1 calls: %2%3\n")
                       .arg(result.Stored())
                       .arg(parts.join(QStringLiteral(", ")))
                       .arg(result.cleared ? QString() : QStringLiteral(" (station not cleared)"))
                       .toUtf8());
      return exitcode::kOk;
    }
    case ReceptionResult::Outcome::kNothing:
      io.out.write("stored 0 calls: the station had none to store\n");
      return exitcode::kOk;
    case ReceptionResult::Outcome::kInconsistent:
      io.out.write("stored 0 calls: the station's record header is inconsistent; left alone\n");
      return exitcode::kInconsistent;
    case ReceptionResult::Outcome::kJournalDamaged:
      io.out.write("stored 0 calls: the reception journal is damaged; nothing was done\n");
      return exitcode::kFilesFailed;
    case ReceptionResult::Outcome::kSettingsNotWritten:
      io.out.write(QStringLiteral("stored %1 calls%2; the settings file was not updated: %3\n")
                       .arg(result.Stored())
                       .arg(result.cleared ? QStringLiteral(", station cleared") : QString())
                       .arg(result.settingsFailure)
                       .toUtf8());
      return exitcode::kSettingsNotWritten;
    case ReceptionResult::Outcome::kNoAnswer:
      break;
  }
  io.out.write("stored 0 calls: the station did not answer or a read failed\n");
  return exitcode::kNoAnswer;
}

int Export(const QStringList& arguments, CommandIo& io) {
  Options options(arguments, {"--month", "--day", "--subscriber", "--dir", "--format", "-o"},
                  {"--totals"});
  ExportOptions what;
  const std::optional<int> month = options.Number("--month", 1, 12, 0);
  const std::optional<int> day = options.Number("--day", 1, 31, 0);
  const std::optional<int> subscriber = options.Number("--subscriber", 20, 43, 0);
  if (!options.Error().isEmpty() || !month || !day || !subscriber) {
    return Usage(io, options.Error());
  }
  if (*month == 0) return Usage(io, QStringLiteral("--month is required"));
  const QString format = options.Value("--format", QStringLiteral("csv"));
  if (format != QLatin1String("csv") && format != QLatin1String("tsv")) {
    return Usage(io, QStringLiteral("--format is csv or tsv"));
  }
  what.month = *month;
  what.day = *day;
  what.subscriber = *subscriber;
  what.format =
      format == QLatin1String("csv") ? ExportOptions::Format::kCsv : ExportOptions::Format::kTsv;
  what.totals = options.Has("--totals");
  const QString dir = options.Value("--dir", io.currentDir);
  if (!QDir(dir).exists()) return Usage(io, QStringLiteral("no directory '%1'").arg(dir));

  ConsoleUi ui(io.err, false);
  QFile file;
  QIODevice* out = &io.out;
  if (options.Has("-o")) {
    file.setFileName(options.Value("-o"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      ui.Say(QStringLiteral("Не удается записать файл %1: %2").arg(file.fileName(), file.errorString()));
      return exitcode::kFilesFailed;
    }
    out = &file;
  }
  try {
    ExportCalls(QDir(dir).absolutePath(), what, *out);
  } catch (const NorvelError& error) {
    ui.Say(error.Message());
    return exitcode::kFilesFailed;
  }
  return exitcode::kOk;
}

}  // namespace

QString NorvelHelpText() {
  return QStringLiteral(
      "usage: norvel receive [--dir DIR] [--port N]\n"
      "       norvel export --month M [--day D] [--subscriber S] [--dir DIR]\n"
      "                     [--format csv|tsv] [--totals] [-o FILE]\n"
      "       norvel config show FILE [--boards N]\n"
      "       norvel config diff A B [--boards N]\n"
      "       norvel doctor [--port N]\n"
      "       norvel --help\n"
      "\n"
      "receive  fetches the station's call records into the month files of DIR (default: the\n"
      "         current directory), exactly as NorvelWin's \"Тарификация. Прием данных\" does,\n"
      "         on the port named in DIR's NorvelWin.ini unless --port says otherwise.\n"
      "         Messages go to standard error; one summary line goes to standard output.\n"
      "export   writes a month's calls (filtered by day and subscriber) as CSV (UTF-8 with a\n"
      "         byte order mark) or TSV; --totals writes one row per subscriber instead.\n"
      "config   shows a configuration in the words of the table windows, or the differences\n"
      "         between two (files in the form of Norvel.cfg, or \"station\" for the station's\n"
      "         own); exit 0 equal, 1 different, 2 error.\n"
      "doctor   checks the way to the station step by step and says how to mend what is wrong.\n"
      "\n"
      "exit codes:\n"
      "  0  calls stored, or nothing to store; export written\n"
      "  1  the station did not answer or a read failed (records left in the station),\n"
      "     or another reception is running\n"
      "  2  usage\n"
      "  3  the files could not take the records (rolled back, records left in the station);\n"
      "     export: a data file could not be read or the output written\n"
      "  4  the station's record header is inconsistent; the station was left alone\n");
}

int RunNorvel(const QStringList& arguments, CommandIo& io) {
  if (arguments.isEmpty()) return Usage(io, QStringLiteral("a command is needed"));
  const QString command = arguments.first();
  const QStringList rest = arguments.mid(1);
  if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
      command == QLatin1String("help")) {
    io.out.write(NorvelHelpText().toUtf8());
    return exitcode::kOk;
  }
  if (command == QLatin1String("receive")) return Receive(rest, io);
  if (command == QLatin1String("export")) return Export(rest, io);
  if (command == QLatin1String("config")) return RunConfigCommand(rest, io);
  if (command == QLatin1String("doctor")) return RunDoctor(rest, io);
  return Usage(io, QStringLiteral("unknown command '%1'").arg(command));
}
