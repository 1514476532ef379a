// norvel alerts and receive --alerts: the exit codes, the seen list, and delivery through the
// machine's own mail transfer agent into a local mailbox, or through a command.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>
#include <map>
#include <thread>

#include "CommandRunner.h"
#include "FakeClock.h"
#include "FakeSerial.h"
#include "cli/NorvelCommand.h"
#include "core/costs/AlertDelivery.h"
#include "core/files/DataFiles.h"
#include "core/platform/SerialPlatform.h"

namespace {

CallRecord Call(int day, int hour, int subscriber, int duration, const char* number) {
  CallRecord record;
  record.StartTime = MakeDateTime(QDate(2026, 12, day), QTime(hour, 10));
  record.Subscriber = static_cast<quint8>(subscriber);
  record.Duration = duration;
  record.CityLine = 2;
  record.CallType = 1;
  record.DialledNumber = QString::fromLatin1(number);
  return record;
}

const char kRules[] =
    "[Заграница в выходные]\nlevel = тревога\nprefixes = 810\nwhen = days_off\n"
    "[Длинные]\nlevel = предупреждение\nlonger_than = 30\n";

struct Alerts : ::testing::Test {
  FakeClock clock{MakeDateTime(QDate(2026, 12, 7), QTime(20, 13, 30))};
  FakePorts ports;
  QTemporaryDir dir;
  std::unique_ptr<FakeLine> line;

  CommandRunner norvel{clock, ports};
  int Run(const QStringList& arguments) { return norvel.Run(dir.path(), arguments); }
  QString Out() const { return norvel.Out(); }
  QString Err() const { return norvel.Err(); }
  void Write(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  void Store(std::vector<CallRecord> records) { AppendCallRecords(dir.path(), records); }
  // A hook that keeps what it is given: its input and the subject, or fails.
  QString Hook(bool fail = false) {
    const QString path = dir.filePath(QStringLiteral("hook.sh"));
    Write(QStringLiteral("hook.sh"),
          QStringLiteral("#!/bin/sh\n%1{ echo \"$NORVEL_ALERT_SUBJECT|$NORVEL_ALERT_LEVEL|"
                         "$NORVEL_ALERT_COUNT\"; cat; } >> %2\n")
              .arg(fail ? QStringLiteral("echo refused; exit 3\n") : QString(),
                   dir.filePath(QStringLiteral("hook.out")))
              .toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
  }
  QString Hooked() {
    QFile file(dir.filePath(QStringLiteral("hook.out")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  }
};

}  // namespace

TEST_F(Alerts, ExitCodesTheSeenListAndADamagedRulesFile) {
  Write(QStringLiteral("NorvelAlerts.txt"), kRules);
  Write(QStringLiteral("NorvelSubscribers.txt"), "31 = Соколова Татьяна; Бухгалтерия; 100-01\n");
  Store({Call(5, 3, 31, 12, "81044207946000"), Call(7, 11, 22, 5, "2345678")});
  EXPECT_EQ(Run({"alerts"}), exitcode::kAlarms) << Err().toStdString();
  EXPECT_TRUE(Out().startsWith(QStringLiteral(
      "тревога: Заграница в выходные: абонент 31 Соколова Татьяна (Бухгалтерия): номер "
      "81044207946000 начинается с 810, выходной (сб)\n  05.12.2026 3:10\t31")))
      << Out().toStdString();
  // Told once: the second check finds nothing new, --all shows it again.
  EXPECT_EQ(Run({"alerts"}), exitcode::kOk);
  EXPECT_TRUE(Out().isEmpty());
  EXPECT_EQ(Run({"alerts", "--all", "--json"}), exitcode::kAlarms);
  const QJsonArray all = QJsonDocument::fromJson(norvel.OutBytes()).array();
  ASSERT_EQ(all.size(), 1);
  EXPECT_EQ(all[0].toObject()[QStringLiteral("level")], QStringLiteral("alarm"));
  EXPECT_EQ(all[0].toObject()[QStringLiteral("name")], QStringLiteral("Соколова Татьяна"));
  EXPECT_EQ(all[0].toObject()[QStringLiteral("department")], QStringLiteral("Бухгалтерия"));
  // A new warning alone is 1.
  Store({Call(7, 12, 23, 45, "2345678")});
  EXPECT_EQ(Run({"alerts"}), exitcode::kNoAnswer);
  EXPECT_TRUE(
      Out().startsWith(QStringLiteral("предупреждение: Длинные: абонент 23: 45 мин > 30 мин\n")));
  // --month looks at that month only; November has no month file, which is said.
  EXPECT_EQ(Run({"alerts", "--month", "11", "--all"}), exitcode::kFilesFailed);
  EXPECT_TRUE(Out().isEmpty());

  Write(QStringLiteral("NorvelAlerts.txt"), "[Длинные]\nlonger_than = много\n");
  EXPECT_EQ(Run({"alerts"}), exitcode::kFilesFailed);
  EXPECT_TRUE(Err().contains(QStringLiteral("Файл NorvelAlerts.txt, строка 2: «longer_than»")));
}

TEST_F(Alerts, ACommandGetsTheAlertAndAFailedOneIsTriedAgain) {
  Store({Call(5, 3, 31, 12, "81044207946000")});
  Write(QStringLiteral("NorvelAlerts.txt"),
        QStringLiteral("station = Склад\ncommand = %1\n").arg(Hook(true)).toUtf8() + kRules);
  EXPECT_EQ(Run({"alerts", "--deliver"}), exitcode::kFilesFailed);
  EXPECT_TRUE(Err().contains(QStringLiteral("alerts not delivered: ")));
  EXPECT_TRUE(Err().contains(QStringLiteral("ended with 3: refused")));
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("NorvelAlerts.seen"))));

  Write(QStringLiteral("NorvelAlerts.txt"),
        QStringLiteral("station = Склад\ncommand = %1\n").arg(Hook()).toUtf8() + kRules);
  EXPECT_EQ(Run({"alerts", "--deliver"}), exitcode::kAlarms) << Err().toStdString();
  EXPECT_TRUE(Hooked().startsWith(
      QStringLiteral("Norvel Склад: тревога, 1 подозрительный случай|тревога|1\nСтанция Склад")));
  EXPECT_TRUE(
      Hooked().contains(QStringLiteral("\n  05.12.2026 3:10\t31\t12\t2\t1\t81044207946000\n")));
  EXPECT_EQ(Run({"alerts", "--deliver"}), exitcode::kOk);
}

// Calls abroad that one subscriber makes within an hour of each other are one alarm with
// their count; another subscriber's, or the same one's more than an hour after the last, are
// alarms of their own; a second check tells none of the calls again.
TEST_F(Alerts, ABurstOfCallsIsOneIncident) {
  std::vector<CallRecord> calls;
  for (int i = 0; i < 30; ++i) {
    CallRecord call = Call(5, 2, 31, 1, "81044207946000");
    call.StartTime = call.StartTime.addSecs(60 * (i * 2));  // 02:10 to 03:08
    calls.push_back(call);
  }
  // An hour after the last of them still belongs; an hour and a minute after that does not.
  calls.push_back(Call(5, 4, 31, 1, "81044207946000"));
  calls.back().StartTime = calls.back().StartTime.addSecs(-120);  // 04:08
  calls.push_back(Call(5, 5, 31, 1, "81044207946000"));
  calls.back().StartTime = calls.back().StartTime.addSecs(-60);  // 05:09
  calls.push_back(Call(5, 2, 32, 1, "81044207946000"));
  Store(calls);
  Write(QStringLiteral("NorvelAlerts.txt"), kRules);
  EXPECT_EQ(Run({"alerts", "--json"}), exitcode::kAlarms) << Err().toStdString();
  const QJsonArray findings = QJsonDocument::fromJson(Out().toUtf8()).array();
  QStringList seen;
  for (const QJsonValue& finding : findings) {
    seen << QStringLiteral("%1 %2 %3: %4")
                .arg(finding[QStringLiteral("calls")][0][QStringLiteral("subscriber")].toInt())
                .arg(finding[QStringLiteral("calls")][0][QStringLiteral("start")].toString())
                .arg(finding[QStringLiteral("call_count")].toInt())
                .arg(finding[QStringLiteral("why")].toString().section(u';', 0, 0));
  }
  seen.sort();
  ASSERT_EQ(seen.size(), 3) << seen.join(u'|').toStdString();
  EXPECT_EQ(seen[0], QStringLiteral("31 2026-12-05T02:10 31: 31 выз. с 2026-12-05 02:10 по 04:08"));
  EXPECT_TRUE(seen[1].startsWith(QStringLiteral("31 2026-12-05T05:09 1: ")))
      << seen[1].toStdString();
  EXPECT_TRUE(seen[2].startsWith(QStringLiteral("32 2026-12-05T02:10 1: ")))
      << seen[2].toStdString();
  EXPECT_EQ(Run({"alerts"}), exitcode::kOk);
}

// What an administrator does to a rule beyond its conditions tells nothing old again: a new
// heading (the seen list of the old headings included), a silence until a day.
TEST_F(Alerts, ARenamedOrSilencedRuleTellsNothingOld) {
  Store({Call(5, 3, 31, 12, "81044207946000")});
  Write(QStringLiteral("NorvelAlerts.txt"), kRules);
  // A seen list kept under the rule's heading, as before findings were known by their rule's
  // conditions.
  Write(QStringLiteral("NorvelAlerts.seen"),
        "2026-12-05 03:10|Заграница в выходные|31|2|81044207946000|12\n");
  EXPECT_EQ(Run({"alerts"}), exitcode::kOk) << Out().toStdString();
  Write(QStringLiteral("NorvelAlerts.txt"),
        QByteArray(kRules).replace("[Заграница в выходные]", "[Звонки за рубеж в выходные]"));
  EXPECT_EQ(Run({"alerts"}), exitcode::kOk) << Out().toStdString();

  Store({Call(6, 4, 32, 3, "81044207946000"), Call(7, 4, 33, 3, "81044207946000")});
  EXPECT_EQ(Run({"alerts", "--snooze", "Нет такого", "--until", "2026-12-06"}), exitcode::kUsage);
  EXPECT_TRUE(Err().contains(QStringLiteral("«Звонки за рубеж в выходные»")));
  EXPECT_EQ(Run({"alerts", "--snooze", "Звонки за рубеж в выходные", "--until", "2026-12-07"}),
            exitcode::kOk);
  EXPECT_EQ(Out(), QStringLiteral(
                       "правило «Звонки за рубеж в выходные» молчит по 07.12.2026 включительно\n"))
      << Out().toStdString();
  // The 6th, a Sunday, is silenced, and stays untold after the silence.
  EXPECT_EQ(Run({"alerts"}), exitcode::kOk) << Out().toStdString();
  clock.SetNow(clock.Now().addDays(2));
  EXPECT_EQ(Run({"alerts"}), exitcode::kOk) << Out().toStdString();
  // A day past lifts the silence: a Sunday call of the 13th is told.
  EXPECT_EQ(Run({"alerts", "--snooze", "Звонки за рубеж в выходные", "--until", "2026-12-01"}),
            exitcode::kOk);
  Store({Call(13, 4, 34, 3, "81044207946000")});
  clock.SetNow(clock.Now().addDays(5));
  EXPECT_EQ(Run({"alerts"}), exitcode::kAlarms);
  EXPECT_TRUE(Out().contains(QStringLiteral("абонент 34"))) << Out().toStdString();
  EXPECT_FALSE(Out().contains(QStringLiteral("абонент 32"))) << Out().toStdString();
}

// The morning digest says when nothing is new, once a day; the week's summary tells what was
// told before and leaves the seen list alone; a hook may take the findings as JSON.
TEST_F(Alerts, ADigestAWeekAndAJsonHook) {
  Write(QStringLiteral("NorvelAlerts.txt"),
        QStringLiteral("station = Склад\ncommand = %1\ncommand_format = json\n")
                .arg(Hook())
                .toUtf8() +
            kRules);
  Store({Call(5, 3, 31, 12, "81044207946000")});
  EXPECT_EQ(Run({"alerts", "--digest"}), exitcode::kAlarms) << Err().toStdString();
  const QString first = Hooked().section(u'\n', 1, 1);
  const QJsonObject json = QJsonDocument::fromJson(first.toUtf8()).object();
  EXPECT_EQ(json[QStringLiteral("station")], QStringLiteral("Склад"));
  EXPECT_EQ(json[QStringLiteral("count")], 1);
  EXPECT_EQ(json[QStringLiteral("findings")][0][QStringLiteral("subscriber")], 31);
  EXPECT_EQ(
      json[QStringLiteral("findings")][0][QStringLiteral("calls")][0][QStringLiteral("number")],
      QStringLiteral("81044207946000"));

  // Nothing new the same day: the finding's mail was the day's digest.
  QFile::remove(dir.filePath(QStringLiteral("hook.out")));
  EXPECT_EQ(Run({"alerts", "--digest"}), exitcode::kOk);
  EXPECT_TRUE(Hooked().isEmpty()) << Hooked().toStdString();
  clock.SetNow(clock.Now().addDays(1));
  EXPECT_EQ(Run({"alerts", "--digest"}), exitcode::kOk);
  EXPECT_TRUE(
      Hooked().startsWith(QStringLiteral("Norvel Склад: подозрительных вызовов нет|нет|0\n")))
      << Hooked().toStdString();
  EXPECT_EQ(Run({"alerts", "--digest"}), exitcode::kOk);
  EXPECT_EQ(Hooked().count(u'\n'), 2);

  QFile::remove(dir.filePath(QStringLiteral("hook.out")));
  const QByteArray seen = [&] {
    QFile file(dir.filePath(QStringLiteral("NorvelAlerts.seen")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }();
  EXPECT_EQ(Run({"alerts", "--week", "--deliver"}), exitcode::kAlarms);
  EXPECT_TRUE(Hooked().startsWith(
      QStringLiteral("Norvel Склад: сводка с 02.12 по 08.12.2026, тревога, 1 подозрительный "
                     "случай|тревога|1\n")))
      << Hooked().toStdString();
  QFile file(dir.filePath(QStringLiteral("NorvelAlerts.seen")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), seen);
}

// A test message goes the way alerts go and leaves the findings untold; a refusal is exit 13.
TEST_F(Alerts, ATestMessageTriesTheWayAndTellsNothing) {
  Store({Call(5, 3, 31, 12, "81044207946000")});
  Write(QStringLiteral("NorvelAlerts.txt"),
        QStringLiteral("station = Склад\ncommand = %1\n").arg(Hook(true)).toUtf8() + kRules);
  EXPECT_EQ(Run({"alerts", "--test-mail"}), exitcode::kFilesFailed);
  EXPECT_TRUE(Err().contains(QStringLiteral("test message not delivered: ")));

  Write(QStringLiteral("NorvelAlerts.txt"),
        QStringLiteral("station = Склад\ncommand = %1\n").arg(Hook()).toUtf8() + kRules);
  EXPECT_EQ(Run({"alerts", "--test-mail"}), exitcode::kOk) << Err().toStdString();
  EXPECT_TRUE(Hooked().startsWith(
      QStringLiteral("Norvel Склад: проверка доставки оповещений|проверка|0\nЭто проверочное")))
      << Hooked().toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("NorvelAlerts.seen"))));
  EXPECT_EQ(Run({"alerts"}), exitcode::kAlarms);
}

TEST_F(Alerts, AReceptionWithAlertsDeliversWhatIsNew) {
  Store({Call(5, 3, 31, 12, "81044207946000")});
  Write(QStringLiteral("NorvelAlerts.txt"),
        QStringLiteral("command = %1\n").arg(Hook()).toUtf8() + kRules);
  Write(QStringLiteral("NorvelWin.ini"),
        "30.11.2026 18:00:05 ; Дата/Время\r\n3 ; Номер порта\r\n2 ; К-во плат\r\n");
  station::StationOptions options;
  options.calls = 5;
  line = std::make_unique<FakeLine>(clock, options);
  ports.Plug(ComPortDeviceName(3), line.get());
  EXPECT_EQ(Run({"receive", "--alerts", "--json"}), exitcode::kOk) << Err().toStdString();
  const QJsonObject summary = QJsonDocument::fromJson(norvel.OutBytes()).object();
  EXPECT_EQ(summary[QStringLiteral("stored")], 5);
  EXPECT_EQ(summary[QStringLiteral("alerts")].toObject(),
            (QJsonObject{{"found", 1}, {"alarms", 1}, {"delivered", true}}));
  EXPECT_TRUE(Hooked().contains(QStringLiteral("81044207946000")));
  EXPECT_TRUE(Err().contains(QStringLiteral("тревога: Заграница в выходные")));
}

// Through Debian's own mail transfer agent: sendmail takes the mail, the agent delivers it into
// the mailbox of the local user "mail" (/var/mail/mail), where the test reads it back.
TEST_F(Alerts, AMailReachesALocalMailboxThroughSendmail) {
  if (!QFile::exists(QStringLiteral("/usr/sbin/sendmail"))) {
    GTEST_FAIL() << "no /usr/sbin/sendmail: the setup installs exim4-daemon-light";
  }
  const QString station = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
  Store({Call(5, 3, 31, 12, "81044207946000")});
  Write(QStringLiteral("NorvelAlerts.txt"),
        QStringLiteral("station = %1\nmail = mail@localhost\n").arg(station).toUtf8() + kRules);
  ASSERT_EQ(Run({"alerts", "--deliver"}), exitcode::kAlarms) << Err().toStdString();
  QString mailbox;
  for (int wait = 0; wait < 300 && !mailbox.contains(station); ++wait) {
    QThread::msleep(100);
    QFile file(QStringLiteral("/var/mail/mail"));
    if (file.open(QIODevice::ReadOnly)) mailbox = QString::fromUtf8(file.readAll());
  }
  const qsizetype at = mailbox.indexOf(QStringLiteral("Станция ") + station);
  ASSERT_GE(at, 0) << "no mail for " << station.toStdString() << " in /var/mail/mail";
  const QString mail = mailbox.mid(mailbox.lastIndexOf(QStringLiteral("\nFrom "), at));
  EXPECT_TRUE(mail.contains(QStringLiteral("\nTo: mail@localhost\n")));
  EXPECT_TRUE(mail.contains(QStringLiteral("Content-Type: text/plain; charset=utf-8")));
  EXPECT_TRUE(mail.contains(QStringLiteral("\nSubject: =?UTF-8?B?")));
  EXPECT_TRUE(mail.contains(QStringLiteral("\n  05.12.2026 3:10\t31\t12\t2\t1\t81044207946000\n")));
}

namespace {

// A mail server for one conversation, on a port of the loopback: it answers each command with
// the reply its script gives for the command's first word (250 for the rest) and keeps every
// line it hears.
class ScriptedSmtpServer {
 public:
  explicit ScriptedSmtpServer(std::map<QByteArray, QByteArray> replies)
      : replies_(std::move(replies)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedSmtpServer() {
    ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  QString Address() const { return QStringLiteral("smtp://127.0.0.1:%1").arg(port_); }
  // Every line the server heard, CR LF kept, once the conversation is over.
  QByteArray Heard() {
    if (thread_.joinable()) thread_.join();
    return heard_;
  }

 private:
  void Serve() {
    const int peer = ::accept(listener_, nullptr, nullptr);
    if (peer < 0) return;
    const auto say = [&](const QByteArray& reply) {
      const QByteArray line = reply + "\r\n";
      [[maybe_unused]] const ssize_t sent =
          ::send(peer, line.constData(), line.size(), MSG_NOSIGNAL);
    };
    say("220 test ESMTP");
    QByteArray pending;
    bool data = false;
    char block[4096];
    for (;;) {
      const ssize_t count = ::recv(peer, block, sizeof block, 0);
      if (count <= 0) break;
      pending.append(block, count);
      qsizetype end;
      while ((end = pending.indexOf("\r\n")) >= 0) {
        const QByteArray line = pending.left(end);
        heard_ += pending.left(end + 2);
        pending.remove(0, end + 2);
        if (data) {
          if (line == ".") {
            data = false;
            say(replies_.count(".") ? replies_["."] : QByteArray("250 queued"));
          }
          continue;
        }
        const QByteArray verb = line.split(' ').first().split(':').first();
        say(replies_.count(verb) ? replies_[verb]
                                 : QByteArray(verb == "DATA" ? "354 go on" : "250 ok"));
        data = verb == "DATA" && !replies_.count(verb);
        if (verb == "QUIT") {
          ::close(peer);
          return;
        }
      }
    }
    ::close(peer);
  }

  std::map<QByteArray, QByteArray> replies_;
  int listener_ = -1;
  quint16 port_ = 0;
  std::thread thread_;
  QByteArray heard_;
};

}  // namespace

// Over SMTP the mail is one conversation: an address without a domain is the server's local
// user, a line that starts with a dot is doubled, the server's refusal is said in its words,
// and a server that is not there is a failure, never a delivery.
TEST(AlertSmtp, TheConversationAndItsFailures) {
  const QByteArray mail = "Subject: x\n\nfirst\n.\n..two\nlast\n";
  {
    ScriptedSmtpServer server({});
    QString reason;
    ASSERT_TRUE(SendMailOverSmtp(server.Address(), QStringLiteral("norvel@pc"),
                                 {QStringLiteral("root"), QStringLiteral("boss@example.org")}, mail,
                                 &reason))
        << reason.toStdString();
    const QByteArray heard = server.Heard();
    EXPECT_TRUE(heard.startsWith("EHLO ")) << heard.data();
    EXPECT_TRUE(
        heard.contains("\r\nMAIL FROM:<norvel@pc>\r\nRCPT TO:<root@localhost>\r\n"
                       "RCPT TO:<boss@example.org>\r\nDATA\r\n"
                       "Subject: x\r\n\r\nfirst\r\n..\r\n...two\r\nlast\r\n.\r\nQUIT\r\n"))
        << heard.data();
  }
  struct Row {
    const char* name;
    std::map<QByteArray, QByteArray> replies;
    const char* said;
  };
  const Row rows[] = {
      {"a recipient refused", {{"RCPT", "550 5.1.1 unknown user"}}, "RCPT: 550 5.1.1 unknown user"},
      {"the mail refused", {{".", "554 spam"}}, "554 spam"},
      {"no greeting of EHLO nor HELO", {{"EHLO", "502 no"}, {"HELO", "502 no"}}, "HELO: 502 no"},
      {"DATA refused", {{"DATA", "451 later"}}, "DATA: 451 later"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedSmtpServer server(row.replies);
    QString reason;
    EXPECT_FALSE(SendMailOverSmtp(server.Address(), QStringLiteral("norvel@pc"),
                                  {QStringLiteral("root")}, mail, &reason));
    EXPECT_TRUE(reason.contains(QLatin1String(row.said))) << reason.toStdString();
  }
  // Nobody listens on a port just given up.
  quint16 closed = 0;
  {
    ScriptedSmtpServer gone({});
    closed = static_cast<quint16>(gone.Address().section(u':', -1).toInt());
    QString reason;
    SendMailOverSmtp(gone.Address(), QStringLiteral("a@b"), {QStringLiteral("c@d")}, "", &reason);
  }
  QString reason;
  EXPECT_FALSE(SendMailOverSmtp(QStringLiteral("smtp://127.0.0.1:%1").arg(closed),
                                QStringLiteral("a@b"), {QStringLiteral("c@d")}, mail, &reason));
  EXPECT_TRUE(reason.contains(QStringLiteral("refused"))) << reason.toStdString();
}

TEST(AlertSmtp, AddressesAreReadExactly) {
  struct Row {
    const char* text;
    bool valid;
    const char* host;
    quint16 port;
  };
  const Row rows[] = {
      {"smtp://localhost", true, "localhost", 25},
      {"smtp://localhost:2525", true, "localhost", 2525},
      {"smtp://[::1]:25", true, "::1", 25},
      {"smtp://mail.example.org:65535/", true, "mail.example.org", 65535},
      {"smtp://localhost:65536", false, "", 0},
      {"smtp://localhost:0", false, "", 0},
      {"smtp://", false, "", 0},
      {"smtps://localhost", false, "", 0},
      {"smtp://user@localhost", false, "", 0},
      {"smtp://local host", false, "", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    QString host;
    quint16 port = 0;
    EXPECT_EQ(ParseSmtpAddress(QString::fromLatin1(row.text), &host, &port), row.valid);
    if (row.valid) {
      EXPECT_EQ(host, QString::fromLatin1(row.host));
      EXPECT_EQ(port, row.port);
    }
  }
}

// A delivery that fails is kept for norvel status, which then exits 1 until one succeeds; the
// rules file's sendmail gives way to --sendmail.
TEST_F(Alerts, AnUndeliveredAlertIsAProblemInStatusUntilDelivered) {
  Store({Call(5, 3, 31, 12, "81044207946000")});
  Write(QStringLiteral("NorvelAlerts.txt"), QByteArray("sendmail = /bin/false\n") + kRules);
  quint16 closed = 0;
  {
    ScriptedSmtpServer gone({});
    closed = static_cast<quint16>(gone.Address().section(u':', -1).toInt());
    QString reason;
    SendMailOverSmtp(gone.Address(), QStringLiteral("a@b"), {QStringLiteral("c@d")}, "", &reason);
  }
  EXPECT_EQ(
      Run({"alerts", "--deliver", "--sendmail", QStringLiteral("smtp://127.0.0.1:%1").arg(closed)}),
      exitcode::kFilesFailed);
  EXPECT_EQ(Run({"status", "--json"}), 1);
  EXPECT_TRUE(
      Out().contains(QStringLiteral("the last check for suspicious calls failed: alerts "
                                    "not delivered: smtp://127.0.0.1:")))
      << Out().toStdString();
  EXPECT_EQ(Run({"alerts", "--deliver", "--sendmail", "smtp:/nowhere"}), exitcode::kUsage);
  ScriptedSmtpServer server({});
  EXPECT_EQ(Run({"alerts", "--deliver", "--sendmail", server.Address()}), exitcode::kAlarms)
      << Err().toStdString();
  EXPECT_TRUE(server.Heard().contains("RCPT TO:<root@localhost>"));
  Run({"status", "--json"});
  EXPECT_FALSE(Out().contains(QStringLiteral("suspicious calls failed"))) << Out().toStdString();
}
