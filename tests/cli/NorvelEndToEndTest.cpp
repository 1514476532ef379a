// `norvel receive` as a process against the station emulator, in real time; and two
// receptions at once, which the lock keeps apart.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
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
