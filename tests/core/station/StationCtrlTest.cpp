#include "StationFixture.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kReadFailed = QStringLiteral("Ошибка чтения из АТС");
const QString kMismatch = QStringLiteral(
    "Обнаружено несовпадение программирования АТС\r\nи копии программирования.\r\n"
    "Вы можете записать в станцию копию или продолжить программирование.\r\n"
    "ЗАПИСАТЬ?");
const QString kNoLinkQuestion = QStringLiteral(
    "Проверьте подключение соединительного кабеля к порту COM2.\r\nЗагрузить копию конфигурации?");
const QString kCheckCable =
    QStringLiteral("Проверьте подключение соединительного кабеля к порту COM2");
const QString kSwitchQuestion = QStringLiteral(
    "Ошибка записи в АТС.\r\nПроверьте положение переключателя \"Программирование\",\r\n"
    "переведите его в верхнее положение и повторите запись (Ok)\r\n"
    "или выберите \"Cancel\" для выхода");
const QString kCannotWrite = QStringLiteral("Запись данных в станцию не может быть выполнена");
const QString kWritten = QStringLiteral("Запись выполнена успешно");
const QString kMissingCopy = QStringLiteral("Не найден файл Norvel.cfg");

// The write sequence after the link check: previous value, test byte, restore, image, check.
QStringList WriteTraffic(const ConfigImage& image, quint8 previous) {
  QString frame = QStringLiteral("W 1280");
  for (std::uint8_t b : image)
    frame += QStringLiteral(" %1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
  return {"R 1791 1",
          "R 1791 1",
          "W 1791 AA",
          "R 1791 1",
          QStringLiteral("W 1791 %1").arg(previous, 2, 16, QLatin1Char('0')).toUpper(),
          frame,
          "R 1280 512"};
}

struct StationCtrlTest : StationFixture {};

}  // namespace

TEST_F(StationCtrlTest, CreationOpensTheLinkWhenTheStationAnswers) {
  WriteSettings(2, 3);
  Plug();
  station = std::make_unique<StationCtrlClass>(host.env);
  ASSERT_NE(station->Link(), nullptr);
  EXPECT_TRUE(station->Link()->IsOpen());
  EXPECT_EQ(station->BoardCount(), 3);
  EXPECT_EQ(station->SubscriberCount(), 18);
  EXPECT_EQ(station->CityLineCount(), 6);
  EXPECT_FALSE(station->DayMode());
  EXPECT_FALSE(station->CityLineLayout());
  EXPECT_FALSE(station->Modified());
  EXPECT_EQ(TrafficOf(line->Trace()), QStringList{"R 1791 1"});
}

TEST_F(StationCtrlTest, ABoardCountNoStationHasIsRefusedAndTheNextSavePutsTheFileRight) {
  for (int stored : {5, 0, 9}) {
    SCOPED_TRACE(stored);
    station.reset();
    WriteSettings(2, stored);
    Plug();
    host.ui.ExpectInfo(
        QStringLiteral("В файле NorvelWin.ini неверно указано количество плат (%1). Принимается 2")
            .arg(stored),
        true);
    station = std::make_unique<StationCtrlClass>(host.env);
    host.ui.Verify();
    EXPECT_EQ(station->BoardCount(), 2);
    EXPECT_EQ(station->CityLineCount(), 4);
  }
  // The station's own count (3 boards here) is saved by programming, which mends the file.
  options.boards = 3;
  station.reset();
  line.reset();
  Plug();
  host.ui.ExpectInfo(QString(), true);
  station = std::make_unique<StationCtrlClass>(host.env);
  host.ui.ExpectInfo(kMissingCopy, true).ExpectYesNo(kMismatch, false, false);
  EXPECT_TRUE(station->StartProgramming());
  EXPECT_EQ(ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock).boardCount, 3);
}

TEST_F(StationCtrlTest, CreationWithoutStationOrSettingsStillCompletes) {
  host.ui.ExpectInfo(QStringLiteral("Не найден файл NorvelWin.ini"), true);
  station = std::make_unique<StationCtrlClass>(host.env);  // nothing plugged into COM2
  EXPECT_FALSE(station->Link()->IsOpen());
  EXPECT_EQ(station->Link()->PortNumber(), 2);
  EXPECT_EQ(station->BoardCount(), 2);

  options.silent = true;
  Plug();
  WriteSettings();
  station = std::make_unique<StationCtrlClass>(host.env);
  EXPECT_FALSE(station->Link()->IsOpen());  // closed again when the station did not answer
}

TEST_F(StationCtrlTest, ADamagedSettingsFileIsShownAndTheDefaultsServe) {
  host.WriteFile(kSettingsFileName, Cp1251(QStringLiteral("07.12.2026 ; x\r\nCOM3\r\n4\r\n")));
  Plug();
  host.ui.ExpectError(QStringLiteral("Неверное число в файле NorvelWin.ini, строка 2"));
  station = std::make_unique<StationCtrlClass>(host.env);
  EXPECT_EQ(station->Link()->PortNumber(), 2);
  EXPECT_EQ(station->BoardCount(), 2);
  EXPECT_TRUE(station->Link()->IsOpen());
}

TEST_F(StationCtrlTest, ProgrammingAStationThatMatchesItsCopyReadsThreeTimes) {
  options.image = AsVector(Image(7));
  Create();
  WriteCopy(Image(7));
  EXPECT_TRUE(station->StartProgramming());
  EXPECT_EQ(Traffic(), (QStringList{"R 1791 1", "R 743 1", "R 1280 512"}));
  EXPECT_EQ(station->Image(), Image(7));
  EXPECT_FALSE(station->Modified());
}

TEST_F(StationCtrlTest, AChangedBoardCountIsSavedWithTheOldMoment) {
  options.boards = 2;
  Create();
  WriteSettings(2, 4);
  station->SetBoardCount(4);
  WriteCopy(StationImage());
  EXPECT_TRUE(station->StartProgramming());
  EXPECT_EQ(station->BoardCount(), 2);
  EXPECT_EQ(station->SubscriberCount(), 12);
  EXPECT_EQ(station->CityLineCount(), 4);
  const LinkSettings saved = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
  EXPECT_EQ(saved.boardCount, 2);
  EXPECT_EQ(saved.resetMoment, storedMoment);
}

TEST_F(StationCtrlTest, AnInvalidBoardCountStopsProgrammingAndLeavesTheSettingsAlone) {
  for (int boards : {5, 0}) {  // byte 4 gives 5 boards, byte 255 gives 256
    options.boards = boards;
    station.reset();
    line.reset();
    host.WriteFile(kSettingsFileName, QByteArray());
    WriteSettings();
    Create();
    const QByteArray settings = host.ReadFile(kSettingsFileName);
    const ConfigImage before = station->Image();
    host.ui.ExpectInfo(kReadFailed, true);
    EXPECT_FALSE(station->StartProgramming());
    EXPECT_EQ(Traffic(), (QStringList{"R 1791 1", "R 743 1"}));
    EXPECT_EQ(host.ReadFile(kSettingsFileName), settings);
    EXPECT_EQ(station->Image(), before);
  }
}

TEST_F(StationCtrlTest, TheLastFiveBytesAreNotCompared) {
  ConfigImage copy = Image(7);
  options.image = AsVector(copy);
  for (int i = 507; i < 512; ++i) copy[i] ^= 0xFF;
  Create();
  WriteCopy(copy);
  EXPECT_TRUE(station->StartProgramming());  // no question
  EXPECT_EQ(station->Image(), Image(7));
  EXPECT_TRUE(StationCtrlClass::CompareImages(copy, Image(7)));
  copy[506] ^= 1;
  EXPECT_FALSE(StationCtrlClass::CompareImages(copy, Image(7)));
}

TEST_F(StationCtrlTest, WithoutACopyProgrammingGoesOnWithTheStationsImage) {
  for (bool answer : {false, true}) {
    options.image = AsVector(Image(9));
    station.reset();
    line.reset();
    Create();
    host.ui.ExpectInfo(kMissingCopy, true);
    // "&Yes" has no copy to write: nothing goes to the station.
    host.ui.ExpectYesNo(kMismatch, false, answer);
    EXPECT_TRUE(station->StartProgramming());
    EXPECT_EQ(station->Image(), Image(9));
    EXPECT_EQ(Traffic(), (QStringList{"R 1791 1", "R 743 1", "R 1280 512"}));
  }
}

TEST_F(StationCtrlTest, ADifferentCopyCanBeWrittenToTheStation) {
  options.image = AsVector(Image(1));
  Create();
  WriteCopy(Image(2));
  host.ui.ExpectYesNo(kMismatch, false, true);
  EXPECT_TRUE(station->StartProgramming());
  EXPECT_EQ(station->Image(), Image(2));
  EXPECT_EQ(StationImage(), Image(2));
  QStringList expected = {"R 1791 1", "R 743 1", "R 1280 512"};
  expected << WriteTraffic(Image(2), Image(1)[511]);
  EXPECT_EQ(Traffic(), expected);
}

TEST_F(StationCtrlTest, WithoutALinkTheCopyCanBeLoaded) {
  WriteSettings();
  station = std::make_unique<StationCtrlClass>(host.env);  // no station on COM2
  WriteCopy(Image(4));
  host.ui.ExpectYesNo(kNoLinkQuestion, true, true);
  EXPECT_TRUE(station->StartProgramming());
  EXPECT_EQ(station->Image(), Image(4));

  host.ui.ExpectYesNo(kNoLinkQuestion, true, false);
  EXPECT_FALSE(station->StartProgramming());

  host.WriteFile(kConfigCopyFileName, QByteArray(300, 1));
  host.ui.ExpectYesNo(kNoLinkQuestion, true, true);
  host.ui.ExpectInfo(QStringLiteral("Ошибка чтения файла Norvel.cfg"), true);
  EXPECT_FALSE(station->StartProgramming());
  EXPECT_EQ(station->Image(), Image(4));  // a failed load spoils nothing
}

TEST_F(StationCtrlTest, WriteAndSaveWritesVerifiesAndKeepsTheCopyInStep) {
  options.image = AsVector(Image(1));
  Create();
  station->SetImage(Image(5));
  EXPECT_TRUE(station->Modified());
  host.ui.ExpectInfo(kWritten, false);
  station->WriteAndSave();
  EXPECT_EQ(Traffic(), WriteTraffic(Image(5), Image(1)[511]));
  EXPECT_EQ(StationImage(), Image(5));
  EXPECT_EQ(host.ReadFile(kConfigCopyFileName),
            QByteArray(reinterpret_cast<const char*>(Image(5).data()), kImageSize));
  EXPECT_FALSE(station->Modified());
  station->OfferWriteOnLeave();  // asks nothing

  // The preparation's progress window.
  std::vector<int> positions;
  for (const auto& e : host.ui.Progress()) {
    if (e.kind == ScriptedUi::ProgressEvent::kStart && e.value == 5) {
      EXPECT_EQ(e.caption, QStringLiteral("Устанавливается и проверяется связь со станцией"));
      positions.clear();
    } else if (e.kind == ScriptedUi::ProgressEvent::kSet && positions.size() < 4) {
      positions.push_back(e.value);
    }
  }
  EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(StationCtrlTest, AWriteProtectedStationAsksForTheSwitch) {
  options.image = AsVector(Image(1));
  options.protect = true;
  Create();
  station->SetImage(Image(5));
  host.ui.ExpectYesCancel(kSwitchQuestion, true, false);
  host.ui.ExpectInfo(kCannotWrite, true);
  station->WriteAndSave();
  EXPECT_TRUE(station->Modified());
  EXPECT_EQ(StationImage(), Image(1));
  EXPECT_EQ(Traffic(), (QStringList{"R 1791 1", "R 1791 1", "W 1791 AA", "R 1791 1"}));
}

TEST_F(StationCtrlTest, TheSwitchTurnedUpDuringTheQuestionLetsTheWriteGoOn) {
  options.image = AsVector(Image(1));
  options.protect = true;
  Create();
  station->SetImage(Image(5));
  host.ui.ExpectYesCancel(kSwitchQuestion, true, true).Then([this] {
    line->Station().SetProtected(false);
  });
  host.ui.ExpectInfo(kWritten, false);
  station->WriteAndSave();
  EXPECT_FALSE(station->Modified());
  EXPECT_EQ(StationImage(), Image(5));
  // The link is rebuilt (and checked) before the second test.
  const QStringList traffic = Traffic();
  ASSERT_GE(traffic.size(), 7);
  EXPECT_EQ(traffic.mid(0, 7), (QStringList{"R 1791 1", "R 1791 1", "W 1791 AA", "R 1791 1",
                                            "R 1791 1", "W 1791 AA", "R 1791 1"}));
}

TEST_F(StationCtrlTest, AFailedReadBackIsAWriteError) {
  options.image = AsVector(Image(1));
  // Creation's link check takes 1 reply byte, the write's preparation 3: the line goes dead
  // 100 bytes into the read-back.
  options.cablePulledAfter = 1 + 3 + 100;
  Create();
  station->SetImage(Image(5));
  host.ui.ExpectInfo(QStringLiteral("Ошибка записи в АТС."), true);
  station->WriteAndSave();
  EXPECT_TRUE(station->Modified());
  EXPECT_FALSE(host.Exists(kConfigCopyFileName));
}

TEST_F(StationCtrlTest, AReadBackThatDiffersIsReported) {
  // Protected, but already holding the test value at 1791: the test passes, the image is not
  // taken.
  ConfigImage image = Image(1);
  image[511] = 0xAA;
  options.image = AsVector(image);
  options.protect = true;
  Create();
  station->SetImage(Image(5));
  host.ui.ExpectInfo(QStringLiteral("Ошибка записи/чтения из АТС"), true);
  station->WriteAndSave();
  EXPECT_TRUE(station->Modified());
}

TEST_F(StationCtrlTest, NoLinkBeforeAWriteIsReported) {
  WriteSettings();
  station = std::make_unique<StationCtrlClass>(host.env);
  station->SetImage(Image(5));
  host.ui.ExpectInfo(kCheckCable, true);
  station->WriteAndSave();
  EXPECT_TRUE(station->Modified());
}

TEST_F(StationCtrlTest, LeavingWithChangesAsksOnce) {
  Create();
  station->SetImage(Image(5));
  host.ui.ExpectYesNo(QStringLiteral("Конфигурация была изменена.\r\nЗаписать в станцию?"), false,
                      false);
  station->OfferWriteOnLeave();
  EXPECT_FALSE(station->Modified());
  station->OfferWriteOnLeave();
  EXPECT_TRUE(Traffic().isEmpty());
}

TEST_F(StationCtrlTest, ACablePulledDuringTheImageReadKeepsTheHeldImage) {
  options.image = AsVector(Image(3));
  Create();
  WriteCopy(Image(3));
  ASSERT_TRUE(station->StartProgramming());
  // The second reading loses the line 200 bytes into the image (after the link checks of the
  // rebuild and of the reading, and the board count).
  station::StationOptions pulled = options;
  pulled.image = AsVector(Image(8));
  pulled.cablePulledAfter = 3 + 200;
  // The old line stays until the link that holds it open has been rebuilt onto the new one.
  const std::unique_ptr<FakeLine> old = std::move(line);
  line = std::make_unique<FakeLine>(host.clock, pulled);
  host.ports.Plug(ComPortDeviceName(2), line.get());
  station->RebuildLink();
  const qint64 before = host.clock.Tick();
  host.ui.ExpectInfo(kReadFailed, true);
  EXPECT_FALSE(station->StartProgramming());
  EXPECT_EQ(station->Image(), Image(3));
  // 312 missing bytes of at most 0.8 s silence each: minutes, not hours.
  EXPECT_LT(host.clock.Tick() - before, 312 * 801 + 5000);
}

TEST_F(StationCtrlTest, ADeviceThatVanishesDuringTheImageFrameGivesTheTwoMessagesOnly) {
  options.image = AsVector(Image(3));
  WriteSettings();
  Plug();
  station = std::make_unique<StationCtrlClass>(host.env);
  WriteCopy(Image(3));
  ASSERT_TRUE(station->StartProgramming());
  long frameStart = -1;
  long heard = 0;
  line->Station().OnTrace([&](const station::TraceEntry& entry) {
    if (entry.kind == station::TraceEntry::kWrite && entry.address == 1791 &&
        entry.bytes.size() == 1 && entry.bytes[0] != 0xAA)
      frameStart = heard;  // the test byte put back: the image frame comes next
  });
  line->beforeDelivery = [&](long delivered) {
    heard = delivered + 1;
    if (frameStart >= 0 && delivered == frameStart + 200) line->vanished = true;
  };
  // The frame's short send, then the write's failure; no transaction on the closed port.
  host.ui.ExpectInfo({}, true);
  host.ui.ExpectInfo(QStringLiteral("Ошибка записи в АТС."), true);
  station->SetImage(Image(4));
  station->WriteAndSave();
  host.ui.Verify();
  EXPECT_TRUE(host.ui.Boxes()[0].text.endsWith(QStringLiteral(" bytes were sent only")));
  EXPECT_NE(host.ui.Boxes()[0].text, QStringLiteral("0 bytes were sent only"));
  EXPECT_EQ(host.ui.Boxes().size(), 2u);
  EXPECT_TRUE(station->Modified());
}

namespace {

// Where the line is lost during a write: a byte of the image frame (counted from the frame's
// first byte; 5 come before the image) or a count of read-back bytes.
struct LineLoss {
  const char* name;
  int frameByte;
  int readBackBytes;
  WriteVerdict::Holds holds;
};

class FailedWriteVerdict : public StationFixture, public ::testing::WithParamInterface<LineLoss> {};

}  // namespace

// The line is lost while the image goes out or comes back, and is back by the time the failure
// is shown: the station is read again and the verdict tells what its memory holds.
TEST_P(FailedWriteVerdict, MatchesTheStationsMemory) {
  const LineLoss loss = GetParam();
  const ConfigImage before = Image(1);
  const ConfigImage target = Image(5);
  options.image = AsVector(before);
  Create();
  ASSERT_TRUE(station->LoadFromStation());
  long frameStart = -1;
  long heard = 0;
  line->Station().OnTrace([&](const station::TraceEntry& entry) {
    if (entry.kind != station::TraceEntry::kWrite) return;
    if (entry.address == 1791 && entry.bytes.size() == 1 && entry.bytes[0] != 0xAA)
      frameStart = heard;  // the test byte put back: the image frame comes next
    if (entry.address == 1280 && loss.readBackBytes > 0)
      line->Station().PullCableAfterReplyBytes(loss.readBackBytes);
  });
  line->beforeDelivery = [&](long delivered) {
    heard = delivered + 1;
    if (loss.frameByte >= 0 && frameStart >= 0 && delivered == frameStart + loss.frameByte)
      line->Station().SetCablePulled(true);
  };
  host.ui.ExpectInfo(QStringLiteral("Ошибка записи в АТС."), true).Then([this] {
    line->Station().SetCablePulled(false);
  });
  station->SetImage(target);
  EXPECT_EQ(station->WriteAndSave(), StationCtrlClass::WriteOutcome::kNotWritten);
  host.ui.Verify();

  const WriteVerdict& verdict = station->LastWriteVerdict();
  EXPECT_EQ(verdict.holds, loss.holds) << verdict.Sentence().toStdString();
  int fresh = 0;
  int old = 0;
  const ConfigImage held = StationImage();
  for (int i = 0; i < kImageSize; ++i) {
    if (before[i] == target[i]) continue;
    fresh += held[i] == target[i];
    old += held[i] == before[i];
  }
  EXPECT_EQ(verdict.newBytes, fresh);
  EXPECT_EQ(verdict.oldBytes, old);
  EXPECT_EQ(held[511], 0x11);  // the test value never stays behind
  EXPECT_FALSE(host.Exists(QStringLiteral("history/write-test.pending")));
  // The way back is offered where the station may hold something else than before; a station
  // holding the whole new image (only the check failed) gets none.
  const bool wayBack =
      loss.holds != WriteVerdict::Holds::kBefore && loss.holds != WriteVerdict::Holds::kWritten;
  EXPECT_EQ(verdict.Sentence().contains(QStringLiteral("norvel config write history/")), wayBack)
      << verdict.Sentence().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    StationCtrl, FailedWriteVerdict,
    ::testing::Values(LineLoss{"FrameStart", 3, 0, WriteVerdict::Holds::kBefore},
                      LineLoss{"FrameMiddle", 5 + 200, 0, WriteVerdict::Holds::kMixed},
                      LineLoss{"FrameEnd", 5 + 510, 0, WriteVerdict::Holds::kMixed},
                      LineLoss{"ReadBack", -1, 100, WriteVerdict::Holds::kWritten}),
    [](const ::testing::TestParamInfo<LineLoss>& info) { return std::string(info.param.name); });

// Bytes lost in the last five of the image: the read-back compares every byte written, so the
// write is not taken for done and the copy is not rewritten.
TEST_F(StationCtrlTest, ALossInTheLastFiveBytesIsNoWrite) {
  options.image = AsVector(Image(1));
  Create();
  ASSERT_TRUE(station->LoadFromStation());
  long frameStart = -1;
  long heard = 0;
  line->Station().OnTrace([&](const station::TraceEntry& entry) {
    if (entry.kind == station::TraceEntry::kWrite && entry.address == 1791 &&
        entry.bytes.size() == 1 && entry.bytes[0] != 0xAA)
      frameStart = heard;
  });
  line->beforeDelivery = [&](long delivered) {
    heard = delivered + 1;
    const long offset = frameStart >= 0 ? delivered - frameStart - 5 : -1;
    line->Station().SetCablePulled(offset >= 508 && offset <= 510);
  };
  host.ui.ExpectInfo(QStringLiteral("Ошибка записи/чтения из АТС"), true);
  station->SetImage(Image(5));
  EXPECT_EQ(station->WriteAndSave(), StationCtrlClass::WriteOutcome::kNotWritten);
  EXPECT_FALSE(host.Exists(kConfigCopyFileName));
  EXPECT_EQ(station->LastWriteVerdict().holds, WriteVerdict::Holds::kMixed);
  EXPECT_TRUE(station->Modified());
}

// The image before the write is the way back: where it cannot be kept, nothing is sent.
TEST_F(StationCtrlTest, AWriteWhoseHistoryCannotBeKeptDoesNotStart) {
  options.image = AsVector(Image(1));
  Create();
  host.WriteFile(QStringLiteral("history"), "a file where the folder should be");
  host.ui.ExpectInfo({}, true);
  station->SetImage(Image(5));
  EXPECT_EQ(station->WriteAndSave(), StationCtrlClass::WriteOutcome::kHistoryNotKept);
  EXPECT_TRUE(host.ui.Boxes()[0].text.contains(QStringLiteral("Запись в станцию не начата")));
  EXPECT_TRUE(Traffic().isEmpty()) << Traffic().join(u',').toStdString();
  EXPECT_EQ(StationImage(), Image(1));
}

// A line lost between the write-enable test and its undoing leaves the test value in byte 1791;
// its original is kept and put back at the next contact.
TEST_F(StationCtrlTest, ATestByteLeftByALostLineIsPutBackAtTheNextContact) {
  options.image = AsVector(Image(1));
  Create();
  ASSERT_TRUE(station->LoadFromStation());
  bool tested = false;
  long testReadAt = -1;
  long heard = 0;
  line->Station().OnTrace([&](const station::TraceEntry& entry) {
    if (entry.kind == station::TraceEntry::kWrite && entry.address == 1791 &&
        entry.bytes == std::vector<std::uint8_t>{0xAA})
      tested = true;
    if (tested && testReadAt < 0 && entry.kind == station::TraceEntry::kRead &&
        entry.address == 1791)
      testReadAt = heard;
  });
  line->beforeDelivery = [&](long delivered) {
    heard = delivered + 1;
    if (testReadAt >= 0 && delivered >= testReadAt) line->Station().SetCablePulled(true);
  };
  host.ui.ExpectInfo(QStringLiteral("Ошибка записи в АТС."), true);
  station->SetImage(Image(5));
  EXPECT_EQ(station->WriteAndSave(), StationCtrlClass::WriteOutcome::kNotWritten);
  EXPECT_EQ(station->LastWriteVerdict().holds, WriteVerdict::Holds::kUnknown);
  EXPECT_EQ(line->Station().Memory()[1791], 0xAA);
  EXPECT_TRUE(host.Exists(QStringLiteral("history/write-test.pending")));

  line->beforeDelivery = nullptr;
  line->Station().SetCablePulled(false);
  station->RebuildLink();
  ASSERT_TRUE(station->LoadFromStation());
  EXPECT_EQ(line->Station().Memory()[1791], 0x11);
  EXPECT_EQ(station->StationImage(), Image(1));
  EXPECT_FALSE(host.Exists(QStringLiteral("history/write-test.pending")));
}
