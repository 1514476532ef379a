// norvel alerts and receive --alerts: the exit codes, the seen list, and delivery through the
// machine's own mail transfer agent into a local mailbox, or through a command.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include "CommandRunner.h"
#include "FakeClock.h"
#include "FakeSerial.h"
#include "cli/NorvelCommand.h"
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
  Store({Call(5, 3, 31, 12, "81044207946000"), Call(7, 11, 22, 5, "2345678")});
  EXPECT_EQ(Run({"alerts"}), exitcode::kAlarms) << Err().toStdString();
  EXPECT_TRUE(
      Out().startsWith(QStringLiteral("тревога: Заграница в выходные: номер 81044207946000 "
                                      "начинается с 810, выходной (сб)\n  05.12.2026 3:10\t31")));
  // Told once: the second check finds nothing new, --all shows it again.
  EXPECT_EQ(Run({"alerts"}), exitcode::kOk);
  EXPECT_TRUE(Out().isEmpty());
  EXPECT_EQ(Run({"alerts", "--all", "--json"}), exitcode::kAlarms);
  const QJsonArray all = QJsonDocument::fromJson(norvel.OutBytes()).array();
  ASSERT_EQ(all.size(), 1);
  EXPECT_EQ(all[0].toObject()[QStringLiteral("level")], QStringLiteral("alarm"));
  // A new warning alone is 1.
  Store({Call(7, 12, 23, 45, "2345678")});
  EXPECT_EQ(Run({"alerts"}), exitcode::kNoAnswer);
  EXPECT_TRUE(Out().startsWith(QStringLiteral("предупреждение: Длинные: 45 мин > 30 мин\n")));
  // --month looks at that month only; November has nothing.
  EXPECT_EQ(Run({"alerts", "--month", "11", "--all"}), exitcode::kOk);

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
