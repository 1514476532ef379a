// A reception killed at every durable step, as a power cut would end it: after each sync and
// rename of the journal, the month files and the settings file, after the reset frame and the
// journal's removal. `norvel receive` runs as a process against the station emulator with
// NORVEL_STOP_AT_STEP=N, which ends it right after its N-th durable step; then a reception runs
// to the end. Every call the station recorded must then be in the month files exactly once, and
// the station empty. (A step past the last one would let the first reception finish: the
// parameter range covers exactly the steps there are, which the first assertion checks.)
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <map>

#include "Emulator.h"
#include "GeneratedCalls.h"
#include "core/files/DataFiles.h"

namespace {

// The calls of a reception's month files, or of a station's generated record area, counted.
using CallCount = std::map<QString, int>;

QString Key(const CallRecord& r) {
  return QStringLiteral("%1|%2|%3|%4|%5|%6")
      .arg(r.StartTime.toString(Qt::ISODate))
      .arg(r.Subscriber)
      .arg(r.Duration)
      .arg(r.CityLine)
      .arg(r.CallType)
      .arg(r.DialledNumber);
}

struct Outcome {
  int exitCode;
  QString out;
  QString err;
};

class ReceptionCrash : public ::testing::TestWithParam<int> {
 protected:
  QTemporaryDir dir;
  std::unique_ptr<EmulatorProcess> emulator;
  station::StationOptions options;

  void SetUp() override {
    options.calls = 24;
    options.callDays = 14;  // two months: two month files
    emulator = std::make_unique<EmulatorProcess>(options);
    ASSERT_TRUE(emulator->Start());
    QFile settings(dir.filePath(QStringLiteral("NorvelWin.ini")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("30.11.2026 18:00:05 ; x\r\n2 ; x\r\n2 ; x\r\n");
  }
  void TearDown() override { emulator->Stop(); }

  Outcome Receive(int stopAt) {
    QProcess norvel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NORVEL_COM2"), emulator->LinkPath());
    if (stopAt > 0)
      environment.insert(QStringLiteral("NORVEL_STOP_AT_STEP"), QString::number(stopAt));
    norvel.setProcessEnvironment(environment);
    norvel.setWorkingDirectory(dir.path());
    norvel.start(QStringLiteral(NORVEL_COMMAND), {QStringLiteral("receive")});
    EXPECT_TRUE(norvel.waitForFinished(60000));
    return {norvel.exitCode(), QString::fromUtf8(norvel.readAllStandardOutput()),
            QString::fromUtf8(norvel.readAllStandardError())};
  }

  CallCount Stored() {
    CallCount stored;
    for (int month = 1; month <= 12; ++month) {
      std::vector<CallRecord> records;
      LoadCallRecords(dir.path(), month, 0, 0, records);
      for (const CallRecord& record : records) ++stored[Key(record)];
    }
    return stored;
  }
  CallCount Made() {
    const QDate today = QDate::currentDate();
    CallCount made;
    for (const station::GeneratedCall& call :
         station::GenerateCalls(options.calls, options.callDays, options.seed, options.boards)
             .calls) {
      ++made[Key(ToCallRecord(call, today))];
    }
    return made;
  }
};

}  // namespace

TEST_P(ReceptionCrash, EveryCallOnceInTheFilesWhereverTheReceptionWasCut) {
  const int step = GetParam();
  const Outcome cut = Receive(step);
  ASSERT_EQ(cut.exitCode, 97) << "no durable step " << step << ": " << cut.err.toStdString();
  SCOPED_TRACE(cut.err.toStdString());
  const Outcome after = Receive(0);
  EXPECT_EQ(after.exitCode, 0) << after.err.toStdString() << after.out.toStdString();
  EXPECT_EQ(Stored(), Made());
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("NorvelWin.jnl"))));
  // The station's record area is empty: its end pointer is 1792 again.
  emulator->Stop();
  const QByteArray memory = emulator->Memory();
  ASSERT_EQ(memory.size(), 65536);
  EXPECT_EQ(static_cast<quint8>(memory[737]), 0x00);
  EXPECT_EQ(static_cast<quint8>(memory[738]), 0x07);
}

// A reception with two month files takes eight durable steps: the journal written ahead, two
// month files appended, the journal marked stored, the journal given the reset's moment, the
// reset frame, the settings file, the journal removed.
INSTANTIATE_TEST_SUITE_P(AtEveryStep, ReceptionCrash, ::testing::Range(1, 9),
                         [](const auto& info) { return "Step" + std::to_string(info.param); });
