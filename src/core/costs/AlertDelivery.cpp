#include "core/costs/AlertDelivery.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace {

constexpr int kDeliveryMilliseconds = 60'000;

// "случай", "случая", "случаев" by the count: a finding may be one call or many.
QString Calls(int count) {
  const int tens = count % 100;
  const int ones = count % 10;
  if (tens >= 11 && tens <= 14) return QStringLiteral("подозрительных случаев");
  if (ones == 1) return QStringLiteral("подозрительный случай");
  if (ones >= 2 && ones <= 4) return QStringLiteral("подозрительных случая");
  return QStringLiteral("подозрительных случаев");
}

// A header's text in RFC 2047 encoded words short enough for a line of 78 with "Subject: "
// before the first, split between characters, never inside one.
QByteArray EncodedWords(const QString& text) {
  QList<QByteArray> words;
  QString chunk;
  for (const QChar c : text) {
    if ((chunk + c).toUtf8().size() > 39) {
      words << "=?UTF-8?B?" + chunk.toUtf8().toBase64() + "?=";
      chunk.clear();
    }
    chunk += c;
  }
  if (!chunk.isEmpty()) words << "=?UTF-8?B?" + chunk.toUtf8().toBase64() + "?=";
  return words.join("\r\n ");
}

bool Run(const QString& program, const QStringList& arguments, const QByteArray& input,
         const QProcessEnvironment& environment, QString* reason) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  if (!process.waitForStarted(kDeliveryMilliseconds)) {
    *reason = QStringLiteral("%1: %2").arg(program, process.errorString());
    return false;
  }
  process.write(input);
  process.closeWriteChannel();
  if (!process.waitForFinished(kDeliveryMilliseconds)) {
    process.kill();
    process.waitForFinished();
    *reason = QStringLiteral("%1 did not end within a minute").arg(program);
    return false;
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    const QString said = QString::fromUtf8(process.readAll()).trimmed().left(300);
    *reason = QStringLiteral("%1 ended with %2%3")
                  .arg(program)
                  .arg(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1)
                  .arg(said.isEmpty() ? QString() : QStringLiteral(": ") + said);
    return false;
  }
  return true;
}

}  // namespace

AlertMessage ComposeAlert(const QString& station,
                          const std::vector<const AlertFinding*>& findings) {
  AlertMessage message;
  message.count = static_cast<int>(findings.size());
  bool alarm = false;
  for (const AlertFinding* finding : findings)
    alarm = alarm || finding->level == AlertRule::Level::kAlarm;
  message.level = AlertLevelName(alarm ? AlertRule::Level::kAlarm : AlertRule::Level::kWarning);
  message.subject = QStringLiteral("Norvel %1: %2, %3 %4")
                        .arg(station, message.level)
                        .arg(message.count)
                        .arg(Calls(message.count));
  QStringList lines;
  lines << QStringLiteral("Станция %1: %2 %3.")
               .arg(station)
               .arg(message.count)
               .arg(Calls(message.count))
        << QStringLiteral(
               "Разговоры - как в окне просмотра: начало, абонент, минуты, ГЛ, тип, "
               "номер.")
        << QString();
  for (const AlertFinding* finding : findings) lines << AlertFindingLines(*finding) << QString();
  message.body = lines.join(u'\n');
  return message;
}

QByteArray AlertMail(const AlertMessage& message, const QStringList& to) {
  QByteArray mail;
  mail += "To: " + to.join(QStringLiteral(", ")).toUtf8() + "\n";
  mail += "Subject: " + EncodedWords(message.subject) + "\n";
  mail += "MIME-Version: 1.0\n";
  mail += "Content-Type: text/plain; charset=utf-8\n";
  mail += "Content-Transfer-Encoding: 8bit\n";
  mail += "Auto-Submitted: auto-generated\n";
  mail += "\n";
  // A line of a lone dot would end the message for some sendmails; -oi is given too.
  QString body = message.body;
  body.replace(QStringLiteral("\n.\n"), QStringLiteral("\n..\n"));
  mail += body.toUtf8();
  if (!mail.endsWith('\n')) mail += '\n';
  return mail;
}

bool DeliverAlert(const AlertRules& rules, const AlertMessage& message, QString* reason) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  if (!rules.command.isEmpty()) {
    environment.insert(QStringLiteral("NORVEL_ALERT_SUBJECT"), message.subject);
    environment.insert(QStringLiteral("NORVEL_ALERT_LEVEL"), message.level);
    environment.insert(QStringLiteral("NORVEL_ALERT_COUNT"), QString::number(message.count));
    if (!Run(rules.command, {}, message.body.toUtf8(), environment, reason)) return false;
    if (rules.mail.isEmpty()) return true;
  }
  const QStringList to = rules.mail.isEmpty() ? QStringList{QStringLiteral("root")} : rules.mail;
  return Run(rules.sendmail, QStringList{QStringLiteral("-oi")} + to, AlertMail(message, to),
             environment, reason);
}
