#include <QDir>

#include "GeneratedCalls.h"
#include "StationFixture.h"
#include "core/base/Errors.h"
#include "core/files/DataFiles.h"
#include "core/station/ReceptionJournal.h"

namespace {

const QString kHeaderNotRead = QStringLiteral("Не удалось прочитать заголовок тарификации");
const QString kRecordsNotRead = QStringLiteral("Не удалось прочесть данные тарификации");
const QString kClockMismatch =
    QStringLiteral("Рассогласование во времени между компьютером и станцией");

// Records in a fixed order, whatever the order of equal start times.
void SortFully(std::vector<CallRecord>& records) {
  std::sort(records.begin(), records.end(), [](const CallRecord& a, const CallRecord& b) {
    return std::tie(a.StartTime, a.Subscriber, a.DialledNumber, a.Duration) <
           std::tie(b.StartTime, b.Subscriber, b.DialledNumber, b.Duration);
  });
}

std::vector<CallRecord> Expected(const std::vector<station::GeneratedCall>& calls, QDate today) {
  std::vector<CallRecord> records;
  for (const auto& c : calls) records.push_back(ToCallRecord(c, today));
  SortFully(records);
  return records;
}

std::vector<CallRecord> LoadMonth(FakeHost& host, int month) {
  std::vector<CallRecord> records;
  LoadCallRecords(host.env.workDir, month, 0, 0, records);
  return records;
}

struct TariffTest : StationFixture {
  void SetUp() override { host.clock.SetNow(MakeDateTime(QDate(2026, 12, 7), QTime(20, 13, 30))); }
  // The reset frame that the last reception sent, or an empty text.
  QString ResetFrame() {
    for (const QString& entry : Traffic()) {
      if (entry.startsWith(QStringLiteral("W 734"))) return entry;
    }
    return {};
  }
  // The record header as the station would report it now.
  QByteArray Header(FakeLine& station) {
    QByteArray header;
    for (int a = 735; a <= 740; ++a) {
      header.append(
          static_cast<char>(station.Station().Peek(static_cast<quint16>(a), host.clock.NowUs())));
    }
    return header;
  }
};

}  // namespace

TEST_F(TariffTest, AFullReceptionStoresEveryCallAndResetsTheStation) {
  options.calls = 60;
  options.callDays = 9;  // reaches back into November
  Create();
  const auto generated = station::GenerateCalls(60, 9, options.seed, options.boards);
  const int count = static_cast<int>(generated.bytes.size());
  station->ReceiveTariffication();

  const QDateTime now = host.clock.Now();
  const QStringList traffic = Traffic();
  // The header is read again after the records (calls that ended meanwhile would follow), and
  // once more after the reset frame to confirm it.
  ASSERT_EQ(traffic.size(), 8);
  EXPECT_EQ(traffic.mid(0, 6), (QStringList{"R 1791 1", "W 741 01 03", "R 743 1", "R 735 6",
                                            QStringLiteral("R 1792 %1").arg(count), "R 735 6"}));
  const QDateTime reset =
      ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock).resetMoment;
  EXPECT_EQ(traffic[6], QStringLiteral("W 734 00 %1 %2 00 07 FF F8 00 00")
                            .arg(reset.time().minute(), 2, 16, QLatin1Char('0'))
                            .arg(reset.time().hour(), 2, 16, QLatin1Char('0'))
                            .toUpper());
  EXPECT_EQ(traffic[7], QStringLiteral("R 735 6"));

  std::vector<CallRecord> stored = LoadMonth(host, 11);
  const std::vector<CallRecord> december = LoadMonth(host, 12);
  stored.insert(stored.end(), december.begin(), december.end());
  SortFully(stored);
  EXPECT_EQ(stored, Expected(generated.calls, now.date()));

  // The station's record area is empty and its clock set; the settings hold the moment.
  const QByteArray header = Header(*line);
  EXPECT_EQ(header.mid(2), QByteArray::fromHex("0007FFF8"));
  EXPECT_EQ(static_cast<int>(header[1]), now.time().hour());
  EXPECT_LE(qAbs(reset.secsTo(now)), 3);
  EXPECT_EQ(line->Station().Memory()[741], 0);
  EXPECT_FALSE(host.Exists(QLatin1String(kReceptionJournalName)));
}

TEST_F(TariffTest, SevenBytesMakeOneRecordAndAClockThreeMinutesOffIsFine) {
  options.records = {0xF4, 0xC0, 0x14, 0x05, 0x80, 0xB0, 0x12};  // 20:00 to 20:05, "12"
  options.clockOffsetMinutes = 3;
  Create();
  const QByteArray header = Header(*line);
  EXPECT_EQ(header.mid(2), QByteArray::fromHex("0707F8F8"));
  station->ReceiveTariffication();
  EXPECT_EQ(Traffic().at(4), QStringLiteral("R 1792 7"));
  const auto records = LoadMonth(host, 12);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Duration, 5);
  EXPECT_EQ(records[0].DialledNumber, QStringLiteral("12"));
}

TEST_F(TariffTest, AnEmptyAreaIsResetAndReportedWithThePreviousMoment) {
  Create();
  host.ui.ExpectInfo(QStringLiteral("В АТС данные о тарификации отсутствуют начиная с ") +
                         DateTimeToText(storedMoment),
                     false);
  station->ReceiveTariffication();
  EXPECT_EQ(Traffic().size(), 6);
  EXPECT_TRUE(ResetFrame().startsWith(QStringLiteral("W 734 00")));
  EXPECT_LE(qAbs(ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock)
                     .resetMoment.secsTo(host.clock.Now())),
            3);
}

TEST_F(TariffTest, AnInconsistentHeaderAsksBeforeResetting) {
  options.calls = 10;
  options.badHeader = true;
  Create();
  const QString question = QStringLiteral("Данные в мини-АТС начиная с ") +
                           DateTimeToText(storedMoment) +
                           QStringLiteral(" некорректны.\r\nВыполнить сброс данных в станции?");
  host.ui.ExpectYesNo(question, true, false);
  const QByteArray header = Header(*line);
  station->ReceiveTariffication();
  EXPECT_EQ(Traffic(), (QStringList{"R 1791 1", "W 741 01 03", "R 743 1", "R 735 6"}));
  EXPECT_EQ(Header(*line).mid(2), header.mid(2));
  EXPECT_EQ(line->Station().Memory()[741], 1);
  EXPECT_EQ(line->Station().Memory()[742], 3);

  host.ui.ExpectYesNo(question, true, true);
  MarkTraffic();
  station->ReceiveTariffication();
  EXPECT_TRUE(ResetFrame().startsWith(QStringLiteral("W 734 00")));
  EXPECT_EQ(Header(*line).mid(2), QByteArray::fromHex("0007FFF8"));
  EXPECT_FALSE(host.Exists(DataFileName(12)));
}

TEST_F(TariffTest, AnEndPointerBeforeTheRecordAreaCountsAsInconsistent) {
  Create();
  // 0x0600 with its complement: consistent, but 1536 lies before 1792.
  const quint8 bytes[] = {0x00, 0x06, 0xFF, 0xF9};
  for (int i = 0; i < 4; ++i) line->Station().Poke(737 + i, bytes[i]);
  host.ui.Expect(OperatorUi::BoxKind::YesNo, {}, true, false);
  station->ReceiveTariffication();
  EXPECT_EQ(Traffic().size(), 4);
}

TEST_F(TariffTest, ACablePulledDuringTheRecordsLeavesThemInTheStation) {
  options.calls = 40;
  options.cablePulledAfter = 1 + 1 + 1 + 6 + 50;  // creation, link check, boards, header, 50
  Create();
  host.ui.ExpectInfo(kRecordsNotRead, true);
  station->ReceiveTariffication();
  EXPECT_TRUE(ResetFrame().isEmpty());
  EXPECT_FALSE(host.Exists(DataFileName(12)));
  EXPECT_EQ(ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock).resetMoment,
            storedMoment);
}

TEST_F(TariffTest, AFailedAppendLeavesTheFilesAndTheStationAsTheyWere) {
  options.calls = 40;
  options.callDays = 9;
  Create();
  ASSERT_TRUE(QDir(host.dir.path()).mkdir(DataFileName(12)));  // December cannot be written
  EXPECT_THROW(station->ReceiveTariffication(), IoError);
  EXPECT_FALSE(host.Exists(DataFileName(11)));
  EXPECT_TRUE(ResetFrame().isEmpty());
  EXPECT_NE(Header(*line).mid(2), QByteArray::fromHex("0007FFF8"));
  // Once the files can take them, a retry stores every record exactly once.
  ASSERT_TRUE(QDir(host.dir.path()).rmdir(DataFileName(12)));
  station->ReceiveTariffication();
  EXPECT_EQ(LoadMonth(host, 11).size() + LoadMonth(host, 12).size(), 40u);
}

TEST_F(TariffTest, TheClockComparisonDoesNotWrapAtMidnight) {
  host.clock.SetNow(MakeDateTime(QDate(2026, 12, 7), QTime(0, 1, 0)));
  options.calls = 5;
  options.clockOffsetMinutes = -3;  // the station shows 23:58
  Create();
  host.ui.ExpectInfo(kClockMismatch, true);
  station->ReceiveTariffication();
  EXPECT_TRUE(ResetFrame().startsWith(QStringLiteral("W 734 00 01 00")));
}

TEST_F(TariffTest, NoCompleteRecordStillResetsTheStation) {
  options.records = {0x01, 0x02, 0xFF, 0x03, 0x04, 0x05, 0x06, 0x07, 0xF0, 0xC1};
  Create();
  station->ReceiveTariffication();
  EXPECT_FALSE(ResetFrame().isEmpty());
  EXPECT_FALSE(host.Exists(DataFileName(12)));
}

TEST_F(TariffTest, AnInvalidBoardCountMeansNoHeaderAndNoReset) {
  options.calls = 5;
  options.boards = 5;
  Create();
  host.ui.ExpectInfo(kHeaderNotRead, true);
  station->ReceiveTariffication();
  EXPECT_EQ(Traffic(), (QStringList{"R 1791 1", "W 741 01 03", "R 743 1"}));
}

TEST_F(TariffTest, AChangedBoardCountIsSaved) {
  options.calls = 5;
  options.boards = 4;
  Create();
  station->ReceiveTariffication();
  EXPECT_EQ(station->BoardCount(), 4);
  EXPECT_EQ(ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock).boardCount, 4);
}

TEST_F(TariffTest, NoLinkIsReported) {
  WriteSettings();
  station = std::make_unique<StationCtrlClass>(host.env);
  host.ui.ExpectInfo(QStringLiteral("Проверьте подключение соединительного кабеля к порту COM2"),
                     true);
  station->ReceiveTariffication();
}

namespace {

const QString kJournal = QStringLiteral("NorvelWin.jnl");

// A journal of calls stored while the reset was not known to take.
ReceptionJournal StoredJournal() {
  ReceptionJournal journal;
  journal.stage = ReceptionJournal::Stage::kStored;
  journal.moment = MakeDateTime(QDate(2026, 12, 6), QTime(20, 0));
  journal.header = QByteArray::fromHex("0014100bef f4");
  journal.bytes = QByteArray::fromHex("e9c54a0c1ab112345a");
  journal.files = {{QStringLiteral("Data12.txt"), 59}};
  journal.resetMoment = MakeDateTime(QDate(2026, 12, 6), QTime(20, 1));
  return journal;
}

}  // namespace

TEST_F(TariffTest, ADamagedJournalStopsTheReceptionBeforeAnythingIsStored) {
  options.calls = 10;
  WriteSettings();
  Plug();
  Create();
  const QByteArray good = JournalText(StoredJournal());
  QByteArray flipped = good;
  flipped[good.indexOf("bytes: ") + 9] = flipped[good.indexOf("bytes: ") + 9] == '1' ? '2' : '1';
  const std::vector<std::pair<const char*, QByteArray>> damaged = {
      {"empty", QByteArray()},
      {"cut in half", good.left(good.size() / 2)},
      {"one digit flipped", flipped},
      {"binary junk", QByteArray(300, '\x07')},
      {"10 MB", good + QByteArray(10 << 20, 'x')},
  };
  for (const auto& [kind, bytes] : damaged) {
    SCOPED_TRACE(kind);
    host.WriteFile(kJournal, bytes);
    MarkTraffic();
    host.ui.ExpectInfo({}, true);
    const ReceptionResult result = station->ReceiveTariffication();
    host.ui.Verify();
    EXPECT_EQ(result.outcome, ReceptionResult::Outcome::kJournalDamaged);
    const QString text = host.ui.Boxes().back().text;
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(host.Path(kJournal)))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Прием данных не выполняется")));
    EXPECT_TRUE(Traffic().isEmpty());  // the station was not asked anything
    EXPECT_FALSE(host.Exists(QStringLiteral("Data12.txt")));
    EXPECT_EQ(host.ReadFile(kJournal), bytes);  // kept for a person to look at
  }
  // The journal of the first release has no checksum: nothing shows it whole, or anyone's.
  host.WriteFile(kJournal,
                 "NorvelWin reception journal\nstored: 2026-12-06T20:00:00\n"
                 "files: Data12.txt\nbytes: e9c5\nend\n");
  EXPECT_EQ(ReadReceptionJournal(host.env.workDir).state, JournalReading::State::kDamaged);
  EXPECT_TRUE(SalvageReceptionJournal(host.env.workDir).bytesKnown);
}

TEST_F(TariffTest, ASettingsFileThatCannotTakeTheResetMomentKeepsTheJournalUntilItCan) {
  options.calls = 8;
  options.callDays = 1;
  WriteSettings();
  Plug();
  Create();
  // The settings file cannot be replaced: a folder stands in its place.
  QFile::remove(host.Path(QLatin1String(kSettingsFileName)));
  ASSERT_TRUE(QDir(host.env.workDir).mkdir(QLatin1String(kSettingsFileName)));
  host.ui.ExpectInfo({}, true);
  const ReceptionResult result = station->ReceiveTariffication();
  host.ui.Verify();
  EXPECT_EQ(result.outcome, ReceptionResult::Outcome::kSettingsNotWritten);
  EXPECT_EQ(result.Stored(), 8);
  EXPECT_TRUE(result.cleared);
  EXPECT_FALSE(result.settingsFailure.isEmpty());
  EXPECT_TRUE(
      host.ui.Boxes().back().text.startsWith(QStringLiteral("Файл NorvelWin.ini не записан")));
  const JournalReading kept = ReadReceptionJournal(host.env.workDir);
  ASSERT_EQ(kept.state, JournalReading::State::kRead);
  EXPECT_EQ(kept.journal.stage, ReceptionJournal::Stage::kReset);

  // Once the file can be written again, the next reception writes the moment first.
  ASSERT_TRUE(QDir(host.env.workDir).rmdir(QLatin1String(kSettingsFileName)));
  WriteSettings();
  host.ui.ExpectInfo({}, false);  // the station has no calls now
  station->ReceiveTariffication();
  host.ui.Verify();
  EXPECT_FALSE(host.Exists(kJournal));
  EXPECT_EQ(LoadMonth(host, 12).size(), 8u);
}
