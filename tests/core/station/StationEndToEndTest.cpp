// The station object against the station emulator over a real pseudo-terminal, in real time.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>

#include "EmulatorHost.h"
#include "GeneratedCalls.h"
#include "ScriptedUi.h"
#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/files/ConfigCopy.h"
#include "core/files/DataFiles.h"
#include "core/files/SettingsFile.h"
#include "core/link/QtSerialTransport.h"
#include "core/station/StationCtrl.h"

namespace {

struct EndToEnd : EmulatorHost {
  std::unique_ptr<StationCtrlClass> station;
  QDateTime storedMoment = MakeDateTime(QDate(2026, 11, 30), QTime(18, 0, 5));

  void Start(const station::StationOptions& options) {
    StartEmulator(options);
    WriteSettingsFile(env.workDir, 2, 2, storedMoment);
    station = std::make_unique<StationCtrlClass>(env);
    ASSERT_TRUE(station->Link()->IsOpen());
  }
  void TearDown() override {
    station.reset();
    StopEmulator();
  }
  QByteArray ReadCopy() {
    QFile file(env.FilePath(kConfigCopyFileName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
};

std::vector<std::uint8_t> TestImage() {
  std::vector<std::uint8_t> image(512);
  for (int i = 0; i < 512; ++i) image[i] = static_cast<std::uint8_t>(i * 5 + 1);
  image[511] = 0x3C;
  return image;
}

}  // namespace

TEST_F(EndToEnd, ProgrammingReadsTheImageAndWriteAndSaveVerifiesIt) {
  station::StationOptions options;
  options.image = TestImage();
  Start(options);
  {
    QFile copy(env.FilePath(kConfigCopyFileName));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(reinterpret_cast<const char*>(TestImage().data()), 512);
    copy.write("tail");
  }
  ASSERT_TRUE(station->StartProgramming());
  ASSERT_TRUE(emulator->WaitForTraffic(4));
  EXPECT_EQ(emulator->Traffic(), (QStringList{"R 1791 1", "R 1791 1", "R 743 1", "R 1280 512"}));

  ConfigImage changed = station->Image();
  changed[0] ^= 0xFF;
  changed[511] = 0x77;
  station->SetImage(changed);
  ui.ExpectInfo(QStringLiteral("Запись выполнена успешно"), false);
  station->WriteAndSave();
  ASSERT_TRUE(emulator->WaitForTraffic(11));
  const QStringList traffic = emulator->Traffic().mid(4);
  ASSERT_EQ(traffic.size(), 7);
  EXPECT_EQ(traffic.mid(0, 5),
            (QStringList{"R 1791 1", "R 1791 1", "W 1791 AA", "R 1791 1", "W 1791 3C"}));
  EXPECT_TRUE(traffic[5].startsWith(QStringLiteral("W 1280 FE 06 0B")));
  EXPECT_TRUE(traffic[5].endsWith(QStringLiteral(" 77")));
  EXPECT_EQ(traffic[6], QStringLiteral("R 1280 512"));
  // The pauses: before and after the test write, after the restore, before the read-back.
  const std::vector<double> times = emulator->TrafficTimes();
  EXPECT_GE(times[6] - times[5], 1.19);   // previous value .. test write
  EXPECT_GE(times[7] - times[6], 1.19);   // test write .. test read
  EXPECT_GE(times[9] - times[8], 1.19);   // restore .. image
  EXPECT_GE(times[10] - times[9], 1.19);  // image .. read-back

  EXPECT_EQ(ReadCopy(), QByteArray(reinterpret_cast<const char*>(changed.data()), 512) + "tail");
  emulator->Stop();
  const QByteArray memory = emulator->Memory();
  EXPECT_EQ(memory.mid(1280, 512), QByteArray(reinterpret_cast<const char*>(changed.data()), 512));
  EXPECT_EQ(static_cast<quint8>(memory[1791]), 0x77);
}

TEST_F(EndToEnd, ReceptionStoresTheCallsAndResetsTheStation) {
  station::StationOptions options;
  options.calls = 25;
  options.callDays = 3;
  options.seed = 11;
  Start(options);
  const auto generated = station::GenerateCalls(25, 3, 11, 2);
  station->ReceiveTariffication();
  const QDateTime after = clock.Now();
  ASSERT_TRUE(emulator->WaitForTraffic(9));
  const QStringList traffic = emulator->Traffic();
  ASSERT_EQ(traffic.size(), 9);
  EXPECT_EQ(traffic.mid(0, 7),
            (QStringList{"R 1791 1", "R 1791 1", "W 741 01 03", "R 743 1", "R 735 6",
                         QStringLiteral("R 1792 %1").arg(generated.bytes.size()), "R 735 6"}));
  EXPECT_TRUE(traffic[7].startsWith(QStringLiteral("W 734 00 ")));
  EXPECT_TRUE(traffic[7].endsWith(QStringLiteral(" 00 07 FF F8 00 00")));
  EXPECT_EQ(traffic[8], QStringLiteral("R 735 6"));

  std::vector<CallRecord> stored;
  for (int month = 1; month <= 12; ++month) LoadCallRecords(env.workDir, month, 0, 0, stored);
  QStringList storedLines;
  for (const CallRecord& r : stored) storedLines << CallRecordToText(r);
  QStringList expectedLines;
  for (const auto& call : generated.calls) {
    expectedLines << CallRecordToText(ToCallRecord(call, after.date()));
  }
  storedLines.sort();
  expectedLines.sort();
  EXPECT_EQ(storedLines, expectedLines);
  const LinkSettings settings = ReadSettingsFile(env.workDir, env.ui, env.clock);
  EXPECT_LE(qAbs(settings.resetMoment.secsTo(after)), 5);

  emulator->Stop();
  const QByteArray memory = emulator->Memory();
  EXPECT_EQ(memory.mid(737, 4), QByteArray::fromHex("0007FFF8"));
  const int stationMinutes =
      static_cast<quint8>(memory[736]) * 60 + static_cast<quint8>(memory[735]);
  const int pcMinutes =
      settings.resetMoment.time().hour() * 60 + settings.resetMoment.time().minute();
  EXPECT_LE(qAbs(stationMinutes - pcMinutes), 1);
}

TEST_F(EndToEnd, ACablePulledDuringTheImageReadEndsWithinTheIdleLimits) {
  station::StationOptions options;
  options.image = TestImage();
  options.cablePulledAfter = 3 + 508;  // four bytes of the image never come
  Start(options);
  const ConfigImage before = station->Image();
  ui.ExpectInfo(QStringLiteral("Ошибка чтения из АТС"), true);
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(station->StartProgramming());
  EXPECT_LT(timer.elapsed(), 4 * 810 + 3000);
  EXPECT_EQ(station->Image(), before);
}
