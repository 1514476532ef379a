// `norvel receive` as a process against the station emulator, in real time; and two
// receptions at once, which the lock keeps apart.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "Emulator.h"
#include "GeneratedCalls.h"

namespace {

struct NorvelProcess : ::testing::Test {
  QTemporaryDir dir;
  std::unique_ptr<EmulatorProcess> emulator;

  void Start(const station::StationOptions& options) {
    emulator = std::make_unique<EmulatorProcess>(options);
    ASSERT_TRUE(emulator->Start());
    QFile settings(dir.filePath(QStringLiteral("NorvelWin.ini")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("30.11.2026 18:00:05 ; x\r\n2 ; x\r\n2 ; x\r\n");
  }
  void Prepare(QProcess& process) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NORVEL_COM2"), emulator->LinkPath());
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir.path());
  }
  void TearDown() override {
    if (emulator) emulator->Stop();
  }
};

}  // namespace

TEST_F(NorvelProcess, ReceiveRunsAsACommandAndTellsItsCaller) {
  station::StationOptions options;
  options.calls = 15;
  options.callDays = 1;
  Start(options);
  QProcess norvel;
  Prepare(norvel);
  norvel.start(QStringLiteral(NORVEL_COMMAND), {QStringLiteral("receive")});
  ASSERT_TRUE(norvel.waitForFinished(60000));
  EXPECT_EQ(norvel.exitCode(), 0) << norvel.readAllStandardError().toStdString();
  EXPECT_EQ(norvel.readAllStandardOutput(), QByteArray("stored 15 calls: Data12.txt 15\n"));
  QFile month(dir.filePath(QStringLiteral("Data12.txt")));
  ASSERT_TRUE(month.open(QIODevice::ReadOnly));
  EXPECT_EQ(month.readAll().count("\r\n"), 16);  // the heading and 15 calls
}

TEST_F(NorvelProcess, ASecondReceptionSaysWhichIsRunningAndStops) {
  station::StationOptions options;
  options.calls = 50;
  options.realtime = true;  // the first reception takes seconds
  Start(options);
  QProcess first;
  Prepare(first);
  first.start(QStringLiteral(NORVEL_COMMAND), {QStringLiteral("receive")});
  ASSERT_TRUE(first.waitForStarted());
  // It holds the lock once it has written its name into the lock file.
  QFile lock(dir.filePath(QStringLiteral("NorvelWin.lock")));
  QDeadlineTimer deadline(10000);
  while (!deadline.hasExpired() && (!lock.exists() || lock.size() == 0)) QThread::msleep(20);
  ASSERT_GT(lock.size(), 0);

  QProcess second;
  Prepare(second);
  second.start(QStringLiteral(NORVEL_COMMAND), {QStringLiteral("receive")});
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 1);
  EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError())
                  .contains(QStringLiteral("Прием данных уже выполняется (norvel receive, "
                                           "process %1)")
                                .arg(first.processId())));

  ASSERT_TRUE(first.waitForFinished(60000));
  EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
  EXPECT_EQ(first.readAllStandardOutput(), QByteArray("stored 50 calls: Data12.txt 50\n"));
}

// `norvel doctor` run at five moments of a reception (here as root, who passes the port's
// exclusive open): it names the reception as the port's holder, skips the steps that would
// open the port, and the reception completes every time. Afterwards, with the port free, it
// tries the rates and leaves the line's settings as they were.
TEST_F(NorvelProcess, DoctorNeverDisturbsAReceptionInProgress) {
  station::StationOptions options;
  options.calls = 60;
  options.realtime = true;  // about seven seconds of reading
  Start(options);
  QProcess reception;
  Prepare(reception);
  reception.start(QStringLiteral(NORVEL_COMMAND), {QStringLiteral("receive")});
  ASSERT_TRUE(reception.waitForStarted());
  QElapsedTimer clock;
  clock.start();
  int doctors = 0;
  for (const int at : {300, 1500, 3000, 4500, 6000}) {
    while (clock.elapsed() < at) QThread::msleep(10);
    if (reception.state() != QProcess::Running) break;
    QProcess doctor;
    Prepare(doctor);
    doctor.start(QStringLiteral(NORVEL_COMMAND), {QStringLiteral("doctor")});
    ASSERT_TRUE(doctor.waitForFinished(20000));
    const QString said = QString::fromUtf8(doctor.readAllStandardOutput());
    if (reception.state() != QProcess::Running) break;  // it ended while the doctor looked
    ++doctors;
    // A reception running is the state of things, not a fault.
    EXPECT_EQ(doctor.exitCode(), 0) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("3. held by process %1 (norvel), the reception "
                                             "running now")
                                  .arg(reception.processId())))
        << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("4. line rates: skipped, the port is in use by %1")
                                  .arg(reception.processId())))
        << said.toStdString();
    EXPECT_TRUE(said.contains(
        QStringLiteral("a reception is running now (%1 (norvel))").arg(reception.processId())))
        << said.toStdString();
  }
  ASSERT_TRUE(reception.waitForFinished(60000));
  EXPECT_GE(doctors, 4) << "the reception ended too soon to be disturbed";
  EXPECT_EQ(reception.exitCode(), 0) << reception.readAllStandardError().toStdString();
  EXPECT_EQ(reception.readAllStandardOutput(), QByteArray("stored 60 calls: Data12.txt 60\n"));

  // The port is free now: the doctor opens it, and puts its settings back.
  const auto settings = [&] {
    QProcess stty;
    stty.start(QStringLiteral("stty"),
               {QStringLiteral("-g"), QStringLiteral("-F"), emulator->LinkPath()});
    stty.waitForFinished(5000);
    return stty.readAllStandardOutput();
  };
  const QByteArray before = settings();
  ASSERT_FALSE(before.isEmpty());
  QProcess doctor;
  Prepare(doctor);
  doctor.start(QStringLiteral(NORVEL_COMMAND), {QStringLiteral("doctor")});
  ASSERT_TRUE(doctor.waitForFinished(20000));
  const QString said = QString::fromUtf8(doctor.readAllStandardOutput());
  EXPECT_EQ(doctor.exitCode(), 0) << said.toStdString();
  EXPECT_TRUE(said.contains(QStringLiteral("4. the driver takes 325 and 976 bit/s: OK")));
  EXPECT_EQ(settings(), before);
}
