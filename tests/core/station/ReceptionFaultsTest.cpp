// Receptions on a bad day: the line cut at every byte of the reset frame, calls ending while the
// records are read, and a long soak of faulted and clean receptions. After each, every call the
// station ever recorded is in the data files exactly once, or still in the station.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "FakeClock.h"
#include "FakeSerial.h"
#include "QuietUi.h"
#include "core/base/Environment.h"
#include "core/base/OperatorUi.h"
#include "core/files/CallRecords.h"
#include "core/files/DataFiles.h"
#include "core/files/DateTimeText.h"
#include "core/files/SettingsFile.h"
#include "core/platform/SerialPlatform.h"
#include "core/station/ReceptionJournal.h"
#include "core/station/StationCtrl.h"

namespace {

const QString kResetUnconfirmed = QStringLiteral(
    "Данные о разговорах записаны в файлы, но сброс данных в станции не удалось подтвердить.\r\n"
    "При следующем приеме будет проверено, выполнен ли сброс; эти разговоры не будут записаны "
    "повторно.");
const QString kAlreadyStored = QStringLiteral(
    "Часть разговоров осталась в станции после прошлого приема, хотя уже была\r\n"
    "записана в файлы. Повторно эти разговоры не записываются.");

struct ReceptionFaults : ::testing::Test {
  FakeClock clock{MakeDateTime(QDate(2026, 12, 7), QTime(0, 5))};
  QuietUi ui;  // answers "No", which leaves the station alone
  FakePorts ports;
  QTemporaryDir dir;
  Environment env{ui, clock, ports, dir.path()};
  std::unique_ptr<FakeLine> line;
  std::unique_ptr<StationCtrlClass> station;
  int nextCall = 100000;
  std::set<QString> recorded;  // the dialled numbers of every call the station recorded

  void SetUp() override {
    WriteSettingsFile(env.workDir, 2, 2, clock.Now());
    station::StationOptions options;
    options.replyMarginMs = 50;
    line = std::make_unique<FakeLine>(clock, options);
    ports.Plug(ComPortDeviceName(2), line.get());
    station = std::make_unique<StationCtrlClass>(env);
  }

  // A call of the current time with a number of its own, as the station records it.
  std::vector<quint8> NewCall() {
    const QString number = QString::number(nextCall++);
    const QTime now = clock.Now().time();
    std::vector<quint8> bytes = {static_cast<quint8>(0xE0 | now.hour()),
                                 static_cast<quint8>(0xC0 | now.minute()),
                                 static_cast<quint8>(now.hour()),
                                 static_cast<quint8>(now.minute()),
                                 0x88,
                                 0xB0};
    for (int i = 0; i < number.size(); i += 2) {
      const auto digit = [&](int at) { return number[at] == u'0' ? 10 : number[at].digitValue(); };
      bytes.push_back(static_cast<quint8>(digit(i) << 4 | digit(i + 1)));
    }
    return bytes;
  }
  // The station records a call, unless its header is in disorder.
  void AddCall() {
    const std::vector<quint8> call = NewCall();
    if (line->Station().AppendRecords(call)) recorded.insert(QString::number(nextCall - 1));
  }

  std::map<QString, int> StoredCounts() {
    std::map<QString, int> counts;
    std::vector<CallRecord> records;
    LoadCallRecords(env.workDir, 12, 0, 0, records);
    for (const CallRecord& record : records) ++counts[record.DialledNumber];
    return counts;
  }
  // The numbers of the calls in the station's record area, by the end pointer or, while a
  // reset is half done, by the complement that still holds the old one.
  std::set<QString> InStation() {
    const auto& memory = line->Station().Memory();
    quint16 end = static_cast<quint16>(memory[737] | memory[738] << 8);
    const auto complement = static_cast<quint16>(~(memory[739] | memory[740] << 8));
    if (!line->Station().RecordEnd()) end = std::max(end, complement);
    std::vector<quint8> area(memory.begin() + 1792, memory.begin() + std::max<int>(end, 1792));
    area.push_back(0);
    std::vector<CallRecord> records;
    DecodeCallRecords(area.data(), static_cast<qsizetype>(area.size()), clock.Now().date(),
                      records);
    std::set<QString> numbers;
    for (const CallRecord& record : records) numbers.insert(record.DialledNumber);
    return numbers;
  }
  void ExpectEveryCallOnceOrInTheStation() {
    const std::map<QString, int> stored = StoredCounts();
    const std::set<QString> waiting = InStation();
    for (const auto& [number, count] : stored) {
      EXPECT_EQ(count, 1) << "call " << number.toStdString() << " stored " << count << " times";
      EXPECT_TRUE(recorded.count(number)) << "stored a call never made: " << number.toStdString();
    }
    for (const QString& number : recorded) {
      EXPECT_TRUE(stored.count(number) || waiting.count(number))
          << "call " << number.toStdString() << " lost";
    }
  }

  // Pulls the cable before the station hears byte `k` of the reset frame, which the PC starts
  // right after the header's second reading (the one after the records).
  void CutResetFrameAt(int k) {
    auto heard = std::make_shared<long>(0);
    auto headerReads = std::make_shared<int>(0);
    auto frameStart = std::make_shared<long>(-1);
    line->Station().OnTrace([=](const station::TraceEntry& entry) {
      if (entry.kind == station::TraceEntry::kRead && entry.address == 735 && ++*headerReads == 2) {
        *frameStart = *heard;
      }
    });
    line->beforeDelivery = [=, this](long delivered) {
      *heard = delivered + 1;
      if (*frameStart >= 0 && delivered == *frameStart + k) line->Station().SetCablePulled(true);
    };
  }
  void PlugBack() {
    line->beforeDelivery = nullptr;
    line->Station().OnTrace(nullptr);
    line->Station().SetCablePulled(false);
  }
};

}  // namespace

TEST_F(ReceptionFaults, AResetFrameCutAtAnyByteNeitherLosesNorDuplicatesACall) {
  // Byte 14 is the first byte after the frame: the reset took, but its confirmation is lost.
  for (int k = 0; k <= 14; ++k) {
    SCOPED_TRACE(testing::Message() << "cut before byte " << k << " of the reset frame");
    for (int i = 0; i < 5; ++i) AddCall();
    CutResetFrameAt(k);
    ui.boxes.clear();
    station->ReceiveTariffication();
    EXPECT_TRUE(ui.boxes.contains(kResetUnconfirmed)) << ui.boxes.join(u'|').toStdString();
    ExpectEveryCallOnceOrInTheStation();
    EXPECT_TRUE(QFile::exists(env.FilePath(QLatin1String(kReceptionJournalName))));

    PlugBack();
    AddCall();
    ui.boxes.clear();
    station->ReceiveTariffication();
    ExpectEveryCallOnceOrInTheStation();
    EXPECT_TRUE(InStation().empty()) << ui.boxes.join(u'|').toStdString();
    EXPECT_FALSE(QFile::exists(env.FilePath(QLatin1String(kReceptionJournalName))));
  }
  EXPECT_EQ(StoredCounts().size(), recorded.size());
}

TEST_F(ReceptionFaults, AResetThatNeverArrivedMeansOnlyTheNewCallsAreStoredNextTime) {
  for (int i = 0; i < 4; ++i) AddCall();
  CutResetFrameAt(0);
  station->ReceiveTariffication();
  EXPECT_EQ(StoredCounts().size(), 4u);
  EXPECT_EQ(InStation().size(), 4u);

  PlugBack();
  AddCall();
  AddCall();
  ui.boxes.clear();
  station->ReceiveTariffication();
  EXPECT_EQ(ui.boxes, QStringList{kAlreadyStored});
  EXPECT_EQ(StoredCounts().size(), 6u);
  ExpectEveryCallOnceOrInTheStation();
  EXPECT_TRUE(InStation().empty());
}

TEST_F(ReceptionFaults, CallsEndingWhileTheRecordsAreReadAreFetchedNotWiped) {
  for (int i = 0; i < 20; ++i) AddCall();
  int added = 0;
  line->Station().OnTrace([&](const station::TraceEntry& entry) {
    // Two calls end during the long read, one more during the first follow-up.
    if (entry.kind == station::TraceEntry::kRead && entry.address >= 1792 && added < 3) {
      AddCall();
      if (added++ == 0) AddCall(), ++added;
    }
  });
  station->ReceiveTariffication();
  EXPECT_EQ(added, 3);
  ExpectEveryCallOnceOrInTheStation();
  EXPECT_EQ(StoredCounts().size(), 23u);
  EXPECT_TRUE(ui.boxes.isEmpty()) << ui.boxes.join(u'|').toStdString();
}

TEST_F(ReceptionFaults, CallsEndingWhileTheClockMessageWaitsAreKept) {
  for (int i = 0; i < 3; ++i) AddCall();
  clock.SetNow(clock.Now().addSecs(2 * 3600));  // the station's clock is hours behind
  ui.onBox = [this](const QString&) { AddCall(); };
  station->ReceiveTariffication();
  ExpectEveryCallOnceOrInTheStation();
  EXPECT_EQ(StoredCounts().size(), 4u);
}

TEST_F(ReceptionFaults, SoakOfFaultedAndCleanReceptions) {
  std::mt19937 random(20261207);
  int faults = 0;
  for (int reception = 0; reception < 100; ++reception) {
    SCOPED_TRACE(testing::Message() << "reception " << reception);
    const int before = static_cast<int>(random() % 6);
    for (int i = 0; i < before; ++i) AddCall();
    // Calls that end while the reception runs.
    line->Station().OnTrace([&](const station::TraceEntry&) {
      if (random() % 5 == 0) AddCall();
    });
    switch (random() % 3) {
      case 0:  // a clean reception
        break;
      case 1: {  // the cable pulled at some byte the PC sends
        const long at = line->RawSent().size() + static_cast<long>(random() % 200);
        line->beforeDelivery = [this, at](long delivered) {
          if (delivered == at) line->Station().SetCablePulled(true);
        };
        ++faults;
        break;
      }
      default:  // the cable pulled at some byte the station sends
        line->Station().PullCableAfterReplyBytes(static_cast<long>(random() % 300));
        ++faults;
        break;
    }
    station->ReceiveTariffication();
    line->Station().OnTrace(nullptr);
    PlugBack();
    line->Station().PullCableAfterReplyBytes(1 << 30);
    ExpectEveryCallOnceOrInTheStation();
    if (HasFailure()) break;
  }
  // A last clean reception leaves nothing behind.
  station->ReceiveTariffication();
  ExpectEveryCallOnceOrInTheStation();
  EXPECT_TRUE(InStation().empty());
  EXPECT_EQ(StoredCounts().size(), recorded.size());
  std::printf("soak: %d receptions, %d with faults, %zu calls, each stored once\n", 100, faults,
              recorded.size());
}

TEST_F(ReceptionFaults, AStrayByteBeforeAnyReplyFailsThatReadAndNothingShiftedIsStored) {
  // The reads of a reception: link check, board count, header, records, header again, and the
  // header after the reset frame.
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(testing::Message() << "stray byte before the reply of read " << k);
    for (int i = 0; i < 3; ++i) AddCall();
    line->Station().SetStrayInReply(k);
    station->ReceiveTariffication();
    line->Station().SetStrayInReply(-1);
    ExpectEveryCallOnceOrInTheStation();
    station->ReceiveTariffication();
    ExpectEveryCallOnceOrInTheStation();
    EXPECT_TRUE(InStation().empty());
  }
  // Every number stored whole: none cut by a shifted reply.
  EXPECT_EQ(StoredCounts().size(), recorded.size());
}

TEST_F(ReceptionFaults, NoiseBetweenTransactionsNeverFailsAReception) {
  station::StationOptions options;
  options.replyMarginMs = 50;
  options.noise = true;
  station.reset();
  line = std::make_unique<FakeLine>(clock, options);
  ports.Plug(ComPortDeviceName(2), line.get());
  station = std::make_unique<StationCtrlClass>(env);
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < 2; ++i) AddCall();
    ui.boxes.clear();
    const ReceptionResult result = station->ReceiveTariffication();
    EXPECT_TRUE(result.cleared) << round << ": " << ui.boxes.join(u'|').toStdString();
    clock.AdvanceUs(700'000);  // noise comes meanwhile
  }
  EXPECT_EQ(StoredCounts().size(), recorded.size());
  ExpectEveryCallOnceOrInTheStation();
}

TEST_F(ReceptionFaults, ACallLikeAStoredOneAfterALostConfirmationIsStoredAgain) {
  // A call, stored; the reset takes but its confirmation is lost.
  AddCall();
  const QString number = QString::number(nextCall - 1);
  CutResetFrameAt(14);
  station->ReceiveTariffication();
  PlugBack();
  ASSERT_TRUE(InStation().empty());
  const QByteArray stored = ReadReceptionJournal(env.workDir).journal.bytes;
  const std::vector<quint8> call(stored.begin(), stored.end());
  const QDateTime resetAt = clock.Now();
  // The same subscriber dials the same number in the same minute: the station records bytes
  // equal to the stored ones, and they are a call of their own.
  clock.SetNow(clock.Now().addSecs(-60));
  ASSERT_TRUE(line->Station().AppendRecords(call));
  clock.SetNow(resetAt.addSecs(120));
  ui.boxes.clear();
  station->ReceiveTariffication();
  EXPECT_EQ(StoredCounts()[number], 2)
      << ui.boxes.join(u'|').toStdString()
      << " traffic: " << TrafficOf(line->Trace()).join(u',').toStdString();
  EXPECT_TRUE(InStation().empty());
}

TEST_F(ReceptionFaults, AResetWhoseConfirmationWasLostIsNotedWithItsOwnMoment) {
  AddCall();
  clock.SetNow(MakeDateTime(QDate(2026, 12, 7), QTime(9, 41)));
  CutResetFrameAt(14);
  station->ReceiveTariffication();
  PlugBack();
  const QDateTime resetAt = ReadReceptionJournal(env.workDir).journal.resetMoment;
  ASSERT_EQ(resetAt.date(), QDate(2026, 12, 7));
  clock.SetNow(MakeDateTime(QDate(2026, 12, 8), QTime(8, 0)));
  // Nothing recorded since: the message quotes the moment of the reset that did take.
  ui.boxes.clear();
  station->ReceiveTariffication();
  EXPECT_TRUE(
      ui.boxes.contains(QStringLiteral("В АТС данные о тарификации отсутствуют начиная с ") +
                        DateTimeToText(resetAt)))
      << ui.boxes.join(u'|').toStdString();
}

// The cable pulled 100 bytes into the record area: the reception says how many bytes came,
// stores nothing and leaves every call in the station.
TEST_F(ReceptionFaults, ARecordAreaCutShortTellsTheBytesThatCame) {
  for (int i = 0; i < 40; ++i) AddCall();
  line->Station().OnTrace([&](const station::TraceEntry& entry) {
    if (entry.kind == station::TraceEntry::kRead && entry.address == 1792) {
      line->Station().PullCableAfterReplyBytes(100);
    }
  });
  const ReceptionResult result = station->ReceiveTariffication();
  EXPECT_EQ(result.outcome, ReceptionResult::Outcome::kNoAnswer);
  EXPECT_EQ(result.bytesRead, 100);
  EXPECT_TRUE(StoredCounts().empty());
  EXPECT_EQ(InStation().size(), recorded.size());
}
