#include "cli/AlertsCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "cli/LastReception.h"
#include "cli/NorvelCommand.h"
#include "core/base/Clock.h"
#include "core/base/Errors.h"
#include "core/base/ExitCodes.h"
#include "core/costs/AlertDelivery.h"
#include "core/costs/Alerts.h"
#include "core/costs/SubscriberDirectory.h"
#include "core/files/DataFiles.h"

QJsonObject AlertRun::Json() const {
  return {{QStringLiteral("found"), found},
          {QStringLiteral("alarms"), alarms},
          {QStringLiteral("delivered"), delivered}};
}

void AddSendmailOption(CommandLine& line) {
  line.Add({QStringLiteral("sendmail"),
            QStringLiteral("Hand the mail to this program instead of the rules file's sendmail "
                           "(/usr/sbin/sendmail), or over SMTP to smtp://HOST[:PORT], as the "
                           "unit does to the machine's mail server on smtp://localhost:25."),
            QStringLiteral("PROGRAM|URL")});
}

bool SendmailOptionValid(CommandLine& line) {
  const QString value = line.Value(QStringLiteral("sendmail"));
  QString host;
  quint16 port = 0;
  if (!line.IsSet(QStringLiteral("sendmail")) || value.isEmpty() || value.startsWith(u'/') ||
      ParseSmtpAddress(value, &host, &port)) {
    return true;
  }
  line.Usage(
      QStringLiteral("--sendmail takes a full path or smtp://HOST[:PORT], not '%1'").arg(value));
  return false;
}

void RecordAlertRun(const QString& dir, const AlertRun& run, const QString& moment, ConsoleUi& ui) {
  QJsonObject record = run.Json();
  record.insert(QStringLiteral("failed"), run.failed);
  if (run.failed) record.insert(QStringLiteral("problem"), run.problem);
  QString reason;
  if (!WriteLastAlerts(dir, record, moment, &reason)) {
    ui.Say(QStringLiteral("Не удается записать файл %1: %2")
               .arg(QLatin1String(kLastAlertsName), reason));
  }
}

ConsoleUi::Priority AlertPriority(const AlertFinding& finding) {
  return finding.level == AlertRule::Level::kAlarm ? ConsoleUi::Priority::kCritical
                                                   : ConsoleUi::Priority::kWarning;
}

namespace {
// Puts each finding's subscriber's name and department from NorvelSubscribers.txt; a file that
// cannot be read leaves the numbers alone, with a word, rather than stopping the check.
void NameSubscribers(const QString& dir, std::vector<AlertFinding>& findings, ConsoleUi& ui) {
  std::optional<SubscriberDirectory> directory;
  try {
    directory = LoadSubscriberDirectory(dir);
  } catch (const NorvelError& error) {
    ui.Say(error.Message(), ConsoleUi::Priority::kWarning);
  }
  if (!directory) return;
  for (AlertFinding& finding : findings) {
    if (const SubscriberEntry* entry = directory->Of(finding.subscriber)) {
      finding.name = entry->name;
      finding.department = entry->department;
    }
  }
}

// The station as alerts name it: the rules file's name for it, else its directory's.
QString AlertStationName(const QString& dir, const AlertRules& rules) {
  return rules.station.isEmpty() ? QDir(dir).absolutePath().section(u'/', -1) : rules.station;
}
}  // namespace

QDate DefaultAlertsFrom(const QDate& today) {
  return QDate(today.year(), today.month(), 1).addMonths(-1);
}

namespace {
// The message of a check that found nothing new: the heartbeat of a digest.
AlertMessage NothingFound(const QString& station, const QDate& from, const QDate& to,
                          qint64 checked) {
  AlertMessage message;
  message.subject = QStringLiteral("Norvel %1: подозрительных вызовов нет").arg(station);
  message.level = QStringLiteral("нет");
  message.body = QStringLiteral(
                     "Подозрительных вызовов нет.\n"
                     "Станция %1, дни с %2 по %3, проверено разговоров: %4.\n")
                     .arg(station, from.toString(QStringLiteral("dd.MM.yyyy")),
                          to.toString(QStringLiteral("dd.MM.yyyy")))
                     .arg(checked);
  message.json = AlertJson(station, message, {});
  return message;
}
}  // namespace

AlertRun RunAlertCheck(const QString& dir, const QDate& from, const QDate& to, const QDate& today,
                       const AlertCheckOptions& options, ConsoleUi& ui,
                       const std::function<void(const AlertFinding&)>& each) {
  AlertRun run;
  try {
    AlertRules rules = LoadAlertRules(dir);
    if (!options.sendmail.isEmpty()) rules.sendmail = options.sendmail;
    const std::optional<Tariffs> tariffs = LoadTariffs(dir);
    AlertSeenList seen(dir);
    const bool adopted = seen.Adopt(rules);
    const AlertSnoozes snoozes(dir);
    const AlertCheck check = FindAlerts(dir, rules, tariffs, from, to);
    for (const QString& note : check.notes) ui.Say(note, ConsoleUi::Priority::kWarning);
    const bool all = options.all || options.summary;
    std::vector<const AlertFinding*> fresh;
    std::vector<const AlertFinding*> silenced;
    for (const AlertFinding& finding : check.findings) {
      if (!all && seen.Seen(finding.key)) continue;
      (snoozes.Silenced(finding.key) ? silenced : fresh).push_back(&finding);
    }
    run.snoozed = static_cast<int>(silenced.size());
    std::vector<AlertFinding> incidents = AlertIncidents(fresh);
    NameSubscribers(dir, incidents, ui);
    std::vector<const AlertFinding*> told;
    for (const AlertFinding& incident : incidents) {
      told.push_back(&incident);
      run.alarms += incident.level == AlertRule::Level::kAlarm;
    }
    run.found = static_cast<int>(told.size());
    if (each) {
      for (const AlertFinding* finding : told) each(*finding);
    }
    const QString station = AlertStationName(dir, rules);
    const QString digestKey = today.toString(Qt::ISODate) + QStringLiteral("|digest");
    std::optional<AlertMessage> message;
    if (!told.empty()) {
      message = ComposeAlert(station, told);
    } else if (options.summary || (options.digest && !seen.Seen(digestKey))) {
      message = NothingFound(station, from, to, check.callsChecked);
    }
    if (message && options.summary) {
      message->subject = QStringLiteral("Norvel %1: сводка с %2 по %3, %4")
                             .arg(station, from.toString(QStringLiteral("dd.MM")),
                                  to.toString(QStringLiteral("dd.MM.yyyy")))
                             .arg(message->subject.section(QStringLiteral(": "), 1));
    }
    if (options.deliver && message) {
      QString reason;
      if (!DeliverAlert(rules, *message, &reason)) {
        // Not remembered: the next check delivers them again.
        run.failed = true;
        run.problem = QStringLiteral("alerts not delivered: ") + reason;
        return run;
      }
      run.delivered = true;
    }
    // A summary tells what was told before: it changes nothing the nightly check remembers.
    if (options.summary) return run;
    for (const AlertFinding* finding : told) {
      seen.Add(finding->key);
      for (const QString& key : finding->alsoKeys) seen.Add(key);
    }
    for (const AlertFinding* finding : silenced) seen.Add(finding->key);
    if (options.digest && options.deliver) seen.Add(digestKey);
    QString reason;
    if ((!told.empty() || !silenced.empty() || options.digest || adopted) &&
        !seen.Save(today, &reason)) {
      run.failed = true;
      run.problem = QStringLiteral("cannot write %1: %2").arg(AlertSeenList::kFileName, reason);
    }
  } catch (const NorvelError& error) {
    run.failed = true;
    run.problem = error.Message();
  }
  return run;
}

namespace {

// A message that proves the way alerts take, so that a setup is tried before a night needs it.
int SendTestAlert(const QString& dir, const QString& sendmail, CommandIo& io, ConsoleUi& ui) {
  try {
    AlertRules rules = LoadAlertRules(dir);
    if (!sendmail.isEmpty()) rules.sendmail = sendmail;
    AlertMessage message;
    message.subject =
        QStringLiteral("Norvel %1: проверка доставки оповещений").arg(AlertStationName(dir, rules));
    message.level = QStringLiteral("проверка");
    message.body = QStringLiteral(
                       "Это проверочное сообщение norvel alerts --test-mail от %1.\n"
                       "Оповещения о подозрительных вызовах придут тем же путем.\n")
                       .arg(io.clock.Now().toString(QStringLiteral("dd.MM.yyyy HH:mm")));
    message.json = AlertJson(AlertStationName(dir, rules), message, {});
    QString reason;
    if (!DeliverAlert(rules, message, &reason)) {
      ui.Say(QStringLiteral("test message not delivered: ") + reason);
      return exitcode::kFilesFailed;
    }
    io.out.write(QStringLiteral("test message handed to %1\n")
                     .arg(rules.command.isEmpty() ? rules.sendmail : rules.command)
                     .toUtf8());
    return exitcode::kOk;
  } catch (const NorvelError& error) {
    ui.Say(error.Message());
    return exitcode::kFilesFailed;
  }
}

// --snooze RULE --until DAY: silences a rule of the file in force, known by its heading.
int Snooze(const QString& dir, CommandLine& line, CommandIo& io, ConsoleUi& ui) {
  const QDate until = QDate::fromString(line.Value(QStringLiteral("until")), Qt::ISODate);
  if (!line.IsSet(QStringLiteral("snooze")) || !until.isValid()) {
    return line.Usage(QStringLiteral("--snooze RULE and --until YYYY-MM-DD go together"));
  }
  const QDate today = io.clock.Now().date();
  try {
    const AlertRules rules = LoadAlertRules(dir);
    const QString name = line.Value(QStringLiteral("snooze"));
    const auto rule = std::find_if(rules.rules.begin(), rules.rules.end(),
                                   [&](const AlertRule& r) { return r.name == name; });
    if (rule == rules.rules.end()) {
      QStringList names;
      for (const AlertRule& r : rules.rules) names << QStringLiteral("«%1»").arg(r.name);
      ui.Say(
          QStringLiteral("нет правила «%1»; есть %2").arg(name, names.join(QStringLiteral(", "))));
      return exitcode::kUsage;
    }
    AlertSnoozes snoozes(dir);
    snoozes.Set(*rule, until, today);
    QString reason;
    if (!snoozes.Save(today, &reason)) {
      ui.Say(
          QStringLiteral("Не удается записать файл %1: %2").arg(AlertSnoozes::kFileName, reason));
      return exitcode::kFilesFailed;
    }
    io.out.write((until < today ? QStringLiteral("правило «%1» снова действует\n").arg(name)
                                : QStringLiteral("правило «%1» молчит по %2 включительно\n")
                                      .arg(name, until.toString(QStringLiteral("dd.MM.yyyy"))))
                     .toUtf8());
    return exitcode::kOk;
  } catch (const NorvelError& error) {
    ui.Say(error.Message());
    return exitcode::kFilesFailed;
  }
}

}  // namespace

int RunAlerts(const QStringList& arguments, CommandIo& io) {
  CommandLine line(
      io, QStringLiteral("alerts"),
      QStringLiteral("Lists the suspicious calls the rules of NorvelAlerts.txt find (the built-in "
                     "rules without it: calls abroad, 810 or 00, and calls longer than 60 minutes, "
                     "outside working hours and the subscriber's own hours; a day of three "
                     "times the usual calls; a first call after 28 silent days), each with its "
                     "rule, its level and why, and "
                     "remembers them in NorvelAlerts.seen so that none is told twice. Default "
                     "days: from the first of the month before to today. Exit 0 nothing new, 1 "
                     "warnings only, 15 alarms, 13 when the rules, the tariffs, a month file or "
                     "the seen list cannot be read or the alert not delivered."));
  line.AddDirOption();
  line.Add(
      {QStringLiteral("month"), QStringLiteral("Check this month, 1 to 12."), QStringLiteral("M")});
  line.Add({QStringLiteral("year"),
            QStringLiteral("The month's year (default: the latest that is not in the future)."),
            QStringLiteral("Y")});
  line.Add({QStringLiteral("since"), QStringLiteral("Check from this day to today."),
            QStringLiteral("YYYY-MM-DD")});
  line.Add({QStringLiteral("all"), QStringLiteral("Show the findings told before too.")});
  line.Add({QStringLiteral("json"), QStringLiteral("Print the findings as one JSON array.")});
  line.Add({QStringLiteral("deliver"),
            QStringLiteral("Mail the new findings to the rules file's addresses (or run its "
                           "command); they are remembered only once delivered.")});
  line.Add(
      {QStringLiteral("show-rules"),
       QStringLiteral("Print the rules in force in the file's own syntax, and nothing else.")});
  line.Add({QStringLiteral("digest"),
            QStringLiteral("Deliver the new findings as --deliver does, and once a day a "
                           "message saying there are none when nothing is new, so that a "
                           "silent setup is noticed.")});
  line.Add({QStringLiteral("week"),
            QStringLiteral("The last 7 days' findings, told before or not, as one summary "
                           "(delivered with --deliver); the seen list stays as it is.")});
  line.Add({QStringLiteral("snooze"),
            QStringLiteral("Silence this rule (its heading) until --until, inclusive: its "
                           "findings are remembered and not told. A day in the past lifts it."),
            QStringLiteral("RULE")});
  line.Add({QStringLiteral("until"), QStringLiteral("The last day of a --snooze."),
            QStringLiteral("YYYY-MM-DD")});
  line.Add({QStringLiteral("test-mail"),
            QStringLiteral("Send one test message the way alerts go (mail or command), and "
                           "nothing else: exit 0 when it was handed over, 13 when not.")});
  AddSendmailOption(line);
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  if (!SendmailOptionValid(line)) return exitcode::kUsage;
  const std::optional<QString> dir = line.WorkingDir();
  if (!dir) return exitcode::kUsage;
  ConsoleUi ui(io.err, false);
  if (line.IsSet(QStringLiteral("test-mail"))) {
    return SendTestAlert(*dir, line.Value(QStringLiteral("sendmail")), io, ui);
  }
  if (line.IsSet(QStringLiteral("snooze")) || line.IsSet(QStringLiteral("until"))) {
    return Snooze(*dir, line, io, ui);
  }
  if (line.IsSet(QStringLiteral("show-rules"))) {
    try {
      io.out.write(AlertRulesText(LoadAlertRules(*dir)).toUtf8());
      return exitcode::kOk;
    } catch (const NorvelError& error) {
      ui.Say(error.Message());
      return exitcode::kFilesFailed;
    }
  }
  const QDate today = io.clock.Now().date();
  const bool week = line.IsSet(QStringLiteral("week"));
  QDate from = week ? today.addDays(-6) : DefaultAlertsFrom(today);
  QDate to = today;
  if (int(line.IsSet(QStringLiteral("since"))) + int(line.IsSet(QStringLiteral("month"))) +
          int(week) >
      1) {
    return line.Usage(QStringLiteral("--month, --since or --week, only one of them"));
  }
  if (line.IsSet(QStringLiteral("since"))) {
    from = QDate::fromString(line.Value(QStringLiteral("since")), Qt::ISODate);
    if (!from.isValid() || from > today) {
      return line.Usage(QStringLiteral("--since takes a day YYYY-MM-DD, not in the future"));
    }
  }
  if (line.IsSet(QStringLiteral("month"))) {
    const std::optional<int> month = line.Number(QStringLiteral("month"), 1, 12, 0);
    const std::optional<int> year = line.Number(QStringLiteral("year"), 1990, 2100, 0);
    if (!month || !year) return exitcode::kUsage;
    const int chosenYear =
        *year != 0 ? *year : (*month <= today.month() ? today.year() : today.year() - 1);
    from = QDate(chosenYear, *month, 1);
    to = from.addMonths(1).addDays(-1);
    // A month asked for by name with no month file is a failed reception, not a quiet month.
    const QString name = DataFileName(*month);
    if (!QFileInfo::exists(QDir(*dir).filePath(name))) {
      ui.Say(QStringLiteral("нет файла %1 в %2: разговоров за этот месяц нет, проверять нечего")
                 .arg(name, QDir::toNativeSeparators(*dir)));
      return exitcode::kFilesFailed;
    }
  }
  const bool json = line.IsSet(QStringLiteral("json"));
  QJsonArray array;
  const AlertRun run = RunAlertCheck(
      *dir, from, to, today,
      {.deliver = line.IsSet(QStringLiteral("deliver")) || line.IsSet(QStringLiteral("digest")),
       .all = line.IsSet(QStringLiteral("all")),
       .digest = line.IsSet(QStringLiteral("digest")),
       .summary = week,
       .sendmail = line.Value(QStringLiteral("sendmail"))},
      ui, [&](const AlertFinding& finding) {
        if (json) {
          array.append(AlertFindingJson(finding));
        } else {
          io.out.write(WithPriority(1, AlertPriority(finding),
                                    AlertFindingLines(finding).join(u'\n') + u'\n'));
        }
      });
  if (json) io.out.write(QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n');
  RecordAlertRun(*dir, run, io.clock.Now().toString(QLatin1String(kLastReceptionTimeFormat)), ui);
  if (run.failed) {
    ui.Say(run.problem);
    return exitcode::kFilesFailed;
  }
  if (run.found == 0) return exitcode::kOk;
  return run.alarms > 0 ? exitcode::kAlarms : exitcode::kNoAnswer;
}
