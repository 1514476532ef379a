#include "core/costs/AlertDelivery.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSysInfo>
#include <algorithm>

#include "core/base/Counts.h"
#include "core/platform/TcpLine.h"

namespace {

constexpr int kDeliveryMilliseconds = 60'000;

// "случай", "случая", "случаев" by the count: a finding may be one call or many.
QString Calls(int count) {
  return RussianWord(count, "подозрительный случай", "подозрительных случая",
                     "подозрительных случаев");
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

// An SMTP reply, which may take several lines ("250-..." then "250 ..."); its code, or 0 when
// none came.
struct SmtpReply {
  int code = 0;
  QByteArray text;
};

SmtpReply ReadReply(TcpLine& line, QString* reason) {
  SmtpReply reply;
  for (;;) {
    const std::optional<QByteArray> text = line.ReadLine(kDeliveryMilliseconds, reason);
    if (!text) return {};
    reply.text += (reply.text.isEmpty() ? QByteArray() : QByteArray(" ")) + text->mid(4);
    bool ok = false;
    reply.code = text->left(3).toInt(&ok);
    if (!ok || text->size() < 3) {
      *reason = QStringLiteral("no SMTP reply: %1").arg(QString::fromUtf8(text->left(200)));
      return {};
    }
    if (text->size() == 3 || text->at(3) != '-') return reply;
  }
}

// Sends one command and wants a reply of the class `expected` (2 for 250, 3 for 354).
bool Step(TcpLine& line, const QByteArray& command, int expected, QString* reason) {
  if (!command.isEmpty() && !line.Send(command + "\r\n", kDeliveryMilliseconds, reason)) {
    return false;
  }
  const SmtpReply reply = ReadReply(line, reason);
  if (reply.code == 0) return false;
  if (reply.code / 100 != expected) {
    *reason = QStringLiteral("%1%2 %3")
                  .arg(command.isEmpty() ? QString()
                                         : QString::fromUtf8(command.split(' ').first() + ": "))
                  .arg(reply.code)
                  .arg(QString::fromUtf8(reply.text.left(300)));
    return false;
  }
  return true;
}

// The mail as DATA carries it: CR LF line ends, a dot doubled at the start of a line.
QByteArray DataLines(const QByteArray& mail) {
  QByteArray data;
  for (QByteArray line : QByteArray(mail).replace("\r\n", "\n").split('\n')) {
    if (line.startsWith('.')) line.prepend('.');
    data += line + "\r\n";
  }
  if (data.endsWith("\r\n\r\n")) data.chop(2);
  return data + ".\r\n";
}

QString ThisHost() {
  const QString host = QSysInfo::machineHostName();
  return host.isEmpty() ? QStringLiteral("localhost") : host;
}

}  // namespace

bool ParseSmtpAddress(const QString& address, QString* host, quint16* port) {
  static const QRegularExpression shape(
      QStringLiteral("^smtp://(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9.-]+)(?::([0-9]{1,5}))?/?$"));
  const QRegularExpressionMatch match = shape.match(address);
  if (!match.hasMatch()) return false;
  *host = match.captured(1);
  if (host->startsWith(u'[')) *host = host->mid(1, host->size() - 2);
  const int number = match.captured(2).isEmpty() ? 25 : match.captured(2).toInt();
  if (number < 1 || number > 65535) return false;
  *port = static_cast<quint16>(number);
  return true;
}

bool SendMailOverSmtp(const QString& address, const QString& from, const QStringList& to,
                      const QByteArray& mail, QString* reason) {
  QString host;
  quint16 port = 0;
  if (!ParseSmtpAddress(address, &host, &port)) {
    *reason = QStringLiteral("%1: no SMTP address (smtp://HOST:PORT)").arg(address);
    return false;
  }
  TcpLine line;
  QString why;
  const bool sent = [&] {
    if (!line.Connect(host, port, kDeliveryMilliseconds, &why)) return false;
    if (!Step(line, {}, 2, &why)) return false;
    if (!Step(line, "EHLO " + ThisHost().toUtf8(), 2, &why) &&
        !Step(line, "HELO " + ThisHost().toUtf8(), 2, &why)) {
      return false;
    }
    if (!Step(line, "MAIL FROM:<" + from.toUtf8() + ">", 2, &why)) return false;
    for (const QString& recipient : to) {
      const QString qualified =
          recipient.contains(u'@') ? recipient : recipient + QStringLiteral("@localhost");
      if (!Step(line, "RCPT TO:<" + qualified.toUtf8() + ">", 2, &why)) return false;
    }
    if (!Step(line, "DATA", 3, &why)) return false;
    if (!line.Send(DataLines(mail), kDeliveryMilliseconds, &why)) return false;
    if (!Step(line, {}, 2, &why)) return false;
    Step(line, "QUIT", 2, &why);  // the mail is taken; a server that hangs up is no failure
    return true;
  }();
  if (!sent) *reason = QStringLiteral("%1: %2").arg(address, why);
  return sent;
}

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
  // Alarms lead, then warnings, each kind in the order found; a line per rule first, so that
  // the first screen of the mail says what happened.
  std::vector<const AlertFinding*> ordered(findings);
  std::stable_sort(
      ordered.begin(), ordered.end(), [](const AlertFinding* a, const AlertFinding* b) {
        return a->level == AlertRule::Level::kAlarm && b->level != AlertRule::Level::kAlarm;
      });
  struct RuleSummary {
    QString rule;
    AlertRule::Level level;
    int cases = 0;
    qint64 calls = 0;
  };
  std::vector<RuleSummary> rules;
  for (const AlertFinding* finding : ordered) {
    auto summary = std::find_if(rules.begin(), rules.end(),
                                [&](const RuleSummary& s) { return s.rule == finding->rule; });
    if (summary == rules.end())
      summary = rules.insert(rules.end(), {finding->rule, finding->level});
    ++summary->cases;
    summary->calls += finding->callCount;
  }
  QStringList lines;
  lines << QStringLiteral("Станция %1: %2 %3.")
               .arg(station)
               .arg(message.count)
               .arg(Calls(message.count));
  for (const RuleSummary& summary : rules) {
    lines << QStringLiteral("  %1: %2 - %3 %4, %5 выз.")
                 .arg(AlertLevelName(summary.level), summary.rule)
                 .arg(summary.cases)
                 .arg(Calls(summary.cases))
                 .arg(summary.calls);
  }
  lines << QString()
        << QStringLiteral(
               "Разговоры - как в окне просмотра: начало, абонент, минуты, ГЛ, тип, "
               "номер.")
        << QString();
  for (const AlertFinding* finding : ordered) lines << AlertFindingLines(*finding) << QString();
  message.body = lines.join(u'\n');
  message.json = AlertJson(station, message, ordered);
  return message;
}

QByteArray AlertJson(const QString& station, const AlertMessage& message,
                     const std::vector<const AlertFinding*>& findings) {
  QJsonArray array;
  for (const AlertFinding* finding : findings) array.append(AlertFindingJson(*finding));
  const QJsonObject object{{QStringLiteral("station"), station},
                           {QStringLiteral("subject"), message.subject},
                           {QStringLiteral("level"), message.level},
                           {QStringLiteral("count"), message.count},
                           {QStringLiteral("findings"), array}};
  return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
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
    const QByteArray input = rules.commandJson ? message.json : message.body.toUtf8();
    if (!Run(rules.command, {}, input, environment, reason)) return false;
    if (rules.mail.isEmpty()) return true;
  }
  const QStringList to = rules.mail.isEmpty() ? QStringList{QStringLiteral("root")} : rules.mail;
  if (rules.sendmail.startsWith(QLatin1String("smtp://"))) {
    // A mail server does not add what sendmail adds for a local user: the sender and the date.
    const QString from = QStringLiteral("norvel@") + ThisHost();
    const QByteArray mail = "From: " + from.toUtf8() + "\nDate: " +
                            QDateTime::currentDateTime().toString(Qt::RFC2822Date).toUtf8() + "\n" +
                            AlertMail(message, to);
    return SendMailOverSmtp(rules.sendmail, from, to, mail, reason);
  }
  return Run(rules.sendmail, QStringList{QStringLiteral("-oi")} + to, AlertMail(message, to),
             environment, reason);
}
