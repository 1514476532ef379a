// norvel receive: the window's reception without a display, with one summary line (or one JSON
// object) on standard output and the program's messages on standard error.
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>

#include "cli/AlertsCommand.h"
#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "cli/LastReception.h"
#include "cli/NorvelCommand.h"
#include "cli/PortDiagnosis.h"
#include "core/base/Clock.h"
#include "core/base/Counts.h"
#include "core/base/Environment.h"
#include "core/base/Errors.h"
#include "core/base/Ports.h"
#include "core/costs/Alerts.h"
#include "core/link/RS232.h"
#include "core/platform/Processes.h"
#include "core/platform/Terminal.h"
#include "core/station/ReceptionLock.h"
#include "core/station/StationCtrl.h"

namespace {

// What one run of the command did, for the summary line and the JSON object.
struct Summary {
  int exitCode = exitcode::kNoAnswer;
  QString reason;  // stored, nothing, no_answer, ...
  QString line;    // the summary line, without "stored N calls"
  ReceptionResult result;
  std::optional<AlertRun> alerts;

  QByteArray Line() const {
    QString said = line;
    if (alerts && !alerts->failed && alerts->found > 0) {
      said += QStringLiteral("; %1 suspicious (%2)%3")
                  .arg(alerts->found)
                  .arg(EnglishCount(alerts->alarms, "alarm", "alarms"))
                  .arg(alerts->delivered ? QStringLiteral(", delivered") : QString());
    } else if (alerts && alerts->failed) {
      said += QStringLiteral("; alerts failed");
    }
    return QStringLiteral("stored %1 calls%2\n").arg(result.Stored()).arg(said).toUtf8();
  }
  QByteArray Json() const {
    QJsonObject files;
    for (auto it = result.storedPerFile.cbegin(); it != result.storedPerFile.cend(); ++it) {
      files.insert(it.key(), it.value());
    }
    QJsonObject object{{QStringLiteral("exit_code"), exitCode},
                       {QStringLiteral("reason"), reason},
                       {QStringLiteral("stored"), result.Stored()},
                       {QStringLiteral("files"), files},
                       {QStringLiteral("bytes_read"), static_cast<qint64>(result.bytesRead)},
                       {QStringLiteral("reset_sent"), result.resetSent},
                       {QStringLiteral("reset_confirmed"), result.cleared}};
    if (alerts) object.insert(QStringLiteral("alerts"), alerts->Json());
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
  }
};

Summary Summarize(const ReceptionResult& result) {
  Summary summary;
  summary.result = result;
  switch (result.outcome) {
    case ReceptionResult::Outcome::kStored: {
      QStringList parts;
      for (auto it = result.storedPerFile.cbegin(); it != result.storedPerFile.cend(); ++it) {
        parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
      }
      summary.exitCode = exitcode::kOk;
      summary.reason = QStringLiteral("stored");
      summary.line = QStringLiteral(": ") + parts.join(QStringLiteral(", ")) +
                     (result.cleared ? QString() : QStringLiteral(" (station not cleared)"));
      break;
    }
    case ReceptionResult::Outcome::kNothing:
      summary.exitCode = exitcode::kOk;
      summary.reason = QStringLiteral("nothing");
      summary.line = QStringLiteral(": the station had none to store");
      break;
    case ReceptionResult::Outcome::kInconsistent:
      summary.exitCode = exitcode::kInconsistent;
      summary.reason = QStringLiteral("inconsistent");
      summary.line = QStringLiteral(": the station's record header is inconsistent; left alone");
      break;
    case ReceptionResult::Outcome::kJournalDamaged:
      summary.exitCode = exitcode::kFilesFailed;
      summary.reason = QStringLiteral("journal_damaged");
      summary.line = QStringLiteral(": the reception journal is damaged; nothing was done");
      break;
    case ReceptionResult::Outcome::kSettingsNotWritten:
      summary.exitCode = exitcode::kSettingsNotWritten;
      summary.reason = QStringLiteral("settings_not_written");
      summary.line = (result.cleared ? QStringLiteral(", station cleared") : QString()) +
                     QStringLiteral("; the settings file was not updated: ") +
                     result.settingsFailure;
      break;
    case ReceptionResult::Outcome::kNoAnswer:
      summary.exitCode = exitcode::kNoAnswer;
      summary.reason = QStringLiteral("no_answer");
      summary.line = QStringLiteral(": the station did not answer or a read failed");
      break;
  }
  return summary;
}

}  // namespace

int RunReceive(const QStringList& arguments, CommandIo& io) {
  CommandLine line(io, QStringLiteral("receive"),
                   QStringLiteral("Fetches the station's call records into the month files of "
                                  "the working directory, exactly as NorvelWin's \"Тарификация. "
                                  "Прием данных\" does, on the port named in its NorvelWin.ini "
                                  "unless --port says otherwise. Messages go to standard error, "
                                  "one summary line to standard output."));
  line.AddDirOption();
  line.AddPortOption();
  line.Add({QStringLiteral("json"),
            QStringLiteral("Print one JSON object instead of the summary line: exit_code, "
                           "reason, stored, files, bytes_read, reset_sent, reset_confirmed.")});
  line.Add(QuietOption());
  line.Add({QStringLiteral("alerts"),
            QStringLiteral("After the reception, check the calls against the rules of "
                           "NorvelAlerts.txt (or the built-in ones) as norvel alerts does, and "
                           "mail what is new, as its delivery does. A failed check or "
                           "delivery is said and tried again next time; it does not change the "
                           "reception's exit code.")});
  line.Add({QStringLiteral("reset-inconsistent"),
            QStringLiteral("When the station's record header is inconsistent, answer the "
                           "window's question \"Выполнить сброс данных в станции?\" Yes: its "
                           "records are cleared unread. Without it they are left alone (exit 14) "
                           "for a person to look at.")});
  AddSendmailOption(line);
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  if (!SendmailOptionValid(line)) return exitcode::kUsage;
  const std::optional<int> port = line.Port();
  if (!port) return exitcode::kUsage;
  if (!line.Positional().isEmpty()) {
    return line.Usage(QStringLiteral("unexpected '%1'").arg(line.Positional().first()));
  }
  const std::optional<QString> workDir = line.WorkingDir();
  if (!workDir) return exitcode::kUsage;
  const QString& dir = *workDir;
  const bool json = line.IsSet(QStringLiteral("json"));
  const bool quiet = line.IsSet(QStringLiteral("quiet"));

  ConsoleUi ui(io.err, io.terminal && !quiet, line.IsSet(QStringLiteral("reset-inconsistent")));
  Environment env{ui, io.clock, io.ports, QDir(dir).absolutePath()};
  Summary summary;
  std::optional<UnfinishedRun> unfinished;
  const auto finish = [&](const Summary& done) {
    // Kept for norvel status: what this run did, and when; a run that found another reception
    // running leaves that one's record alone. A record that cannot be written is said, and
    // the mark of the unfinished run stays for norvel status to find.
    QString reason;
    const bool recorded =
        done.reason == QLatin1String("already_running") ||
        WriteLastReception(env.workDir, QJsonDocument::fromJson(done.Json()).object(),
                           env.clock.Now().toString(QLatin1String(kLastReceptionTimeFormat)),
                           &reason);
    if (!recorded) {
      ui.Say(QStringLiteral("Не удается записать файл %1: %2")
                 .arg(QLatin1String(kLastReceptionName), reason));
    } else if (unfinished) {
      unfinished->Recorded();
    }
    if (json) {
      io.out.write(done.Json());
    } else if (!quiet) {
      // In the journal the summary carries its priority: a failure shows with -p err.
      io.out.write(WithPriority(1, SummaryPriority(done.exitCode), QString::fromUtf8(done.Line())));
    }
    return done.exitCode;
  };

  const ReceptionLock lock(env.workDir, QStringLiteral("norvel receive"));
  if (!lock.Held()) {
    ui.Say(ReceptionLockText(lock));
    // A lock file that cannot be opened needs a person; a reception running elsewhere ends.
    if (lock.Failed()) {
      summary.exitCode = exitcode::kFilesFailed;
      summary.reason = QStringLiteral("lock_failed");
      summary.line = QStringLiteral(": the lock file %1 cannot be opened: %2")
                         .arg(QDir::toNativeSeparators(lock.Path()), lock.Failure());
    } else {
      summary.exitCode = exitcode::kNoAnswer;
      summary.reason = QStringLiteral("already_running");
      summary.line = QStringLiteral(": another reception is running (%1)").arg(lock.Holder());
    }
    return finish(summary);
  }
  unfinished.emplace(env.workDir, kLastReceptionName);
  // From here SIGTERM and SIGINT (systemctl stop, Ctrl-C) end the conversation with the station
  // at its next reply byte instead of the program wherever it is: what is being stored is
  // stored whole (the journal covers the rest) and the summary line still comes.
  OsNoteTermination();
  // The same reception as the window's, with the same messages, files and settings update.
  StationCtrlClass station(env, *port > 0 ? std::optional<quint16>(*port) : std::nullopt);
  try {
    summary = Summarize(station.ReceiveTariffication());
  } catch (const SettingsFileError& error) {
    ui.Say(error.Message());
    summary.exitCode = exitcode::kSettingsNotWritten;
    summary.reason = QStringLiteral("settings_not_written");
    summary.line = QStringLiteral(
        ": the settings file could not be written; they stay in the "
        "station");
  } catch (const NorvelError& error) {
    ui.Say(error.Message());
    summary.exitCode = exitcode::kFilesFailed;
    summary.reason = QStringLiteral("files_failed");
    summary.line = QStringLiteral(
        ": the data files could not take them; they stay in the "
        "station");
  }
  if (const int signal = OsTerminationSignal()) {
    summary.exitCode = 128 + signal;
    summary.reason = QStringLiteral("interrupted");
    summary.line += QStringLiteral("; stopped by %1").arg(TerminationName(signal));
    return finish(summary);
  }
  if (line.IsSet(QStringLiteral("alerts")) &&
      (summary.result.outcome == ReceptionResult::Outcome::kStored ||
       summary.result.outcome == ReceptionResult::Outcome::kNothing)) {
    const QDate today = io.clock.Now().date();
    summary.alerts =
        RunAlertCheck(env.workDir, DefaultAlertsFrom(today), today, today,
                      {.deliver = true, .sendmail = line.Value(QStringLiteral("sendmail"))}, ui,
                      [&](const AlertFinding& finding) {
                        ui.Say(AlertFindingLines(finding).join(u'\n'), AlertPriority(finding));
                      });
    if (summary.alerts->failed) ui.Say(summary.alerts->problem);
    RecordAlertRun(env.workDir, *summary.alerts,
                   io.clock.Now().toString(QLatin1String(kLastReceptionTimeFormat)), ui);
  }
  if (summary.reason == QLatin1String("no_answer")) {
    ui.Say(PortLine(station, station.Link() ? station.Link()->PortNumber() : *port));
    if (const std::optional<DeviceFault> fault = FindDeviceFault(station)) {
      summary.exitCode = exitcode::kDeviceFault;
      summary.reason = fault->reason;
      summary.line = QStringLiteral(": ") + fault->text;
    }
  }
  return finish(summary);
}
