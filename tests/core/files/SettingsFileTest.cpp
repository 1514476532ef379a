#include <gtest/gtest.h>

#include <QDir>

#include "FakeHost.h"
#include "core/base/Errors.h"
#include "core/files/DateTimeText.h"
#include "core/files/SettingsFile.h"

namespace {

const QString kMissing = QStringLiteral("Не найден файл NorvelWin.ini");
const QString kBadMoment =
    QStringLiteral("В файле NorvelWin.ini неверно указана дата/время. Принимается текущая дата ");

QByteArray SettingsBytes(const char* moment, const char* port, const char* boards) {
  return Cp1251(QString::fromUtf8(moment) + QStringLiteral(" ; Дата/Время\r\n") +
                QString::fromUtf8(port) + QStringLiteral(" ; Номер порта\r\n") +
                QString::fromUtf8(boards) + QStringLiteral(" ; К-во плат\r\n"));
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override { host.clock.SetNow(MakeDateTime(QDate(2026, 12, 7), QTime(14, 3, 9))); }
  QString NowText() { return DateTimeToText(host.clock.Now()); }
  FakeHost host;
};

}  // namespace

TEST_F(SettingsFileTest, WritesThreeCrLfLinesByteForByte) {
  WriteSettingsFile(host.env.workDir, 3, 4, MakeDateTime(QDate(2026, 1, 2), QTime(9, 5, 7)));
  EXPECT_EQ(host.ReadFile("NorvelWin.ini"), SettingsBytes("02.01.2026 9:05:07", "3", "4"));
}

TEST_F(SettingsFileTest, ReadsBackWhatWasWrittenToTheSecond) {
  const QDateTime moment = MakeDateTime(QDate(2025, 6, 30), QTime(23, 59, 58));
  WriteSettingsFile(host.env.workDir, 4, 1, moment);
  const LinkSettings read = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
  EXPECT_EQ(read.resetMoment, moment);
  EXPECT_EQ(read.portNumber, 4);
  EXPECT_EQ(read.boardCount, 1);
}

TEST_F(SettingsFileTest, MidnightIsWrittenAsTheDateAloneAndReadBack) {
  const QDateTime midnight = MakeDateTime(QDate(2026, 12, 7));
  WriteSettingsFile(host.env.workDir, 2, 2, midnight);
  EXPECT_TRUE(host.ReadFile("NorvelWin.ini").startsWith(Cp1251("07.12.2026 ; Дата/Время\r\n")));
  EXPECT_EQ(ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock).resetMoment, midnight);
}

TEST_F(SettingsFileTest, MissingFileGivesDefaultsAfterItsMessage) {
  host.ui.ExpectInfo(kMissing, true);
  const LinkSettings read = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
  EXPECT_EQ(read.portNumber, 2);
  EXPECT_EQ(read.boardCount, 2);
  EXPECT_EQ(read.resetMoment, host.clock.Now());
  EXPECT_FALSE(host.Exists("NorvelWin.ini"));
}

TEST_F(SettingsFileTest, UnreadableFirstLineGivesNowAndGoesOn) {
  struct Case {
    const char* first;
  } cases[] = {{"07.12.2026 9:05:07"},  // a valid date-time, but no ";"
               {"; Дата/Время"},
               {"yesterday ; Дата/Время"},
               {"\x01\x02\xff ; x"}};
  for (const Case& c : cases) {
    host.WriteFile("NorvelWin.ini",
                   Cp1251(QString::fromUtf8(c.first) + QStringLiteral("\r\n3\r\n1\r\n")));
    host.ui.ExpectInfo(kBadMoment + NowText(), true);
    const LinkSettings read = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
    EXPECT_EQ(read.resetMoment, host.clock.Now()) << c.first;
    EXPECT_EQ(read.portNumber, 3) << c.first;
    EXPECT_EQ(read.boardCount, 1) << c.first;
  }
}

TEST_F(SettingsFileTest, NumbersAreTheFirstWordOfTheirLines) {
  struct Case {
    QByteArray body;  // lines 2 onward
    int port;
    int boards;
  } cases[] = {
      {"3\r\n4\r\n", 3, 4},
      {"3\n4", 3, 4},                            // LF alone, no line end at the end
      {"  3 whatever ; x\r\n\t4 ;x\r\n", 3, 4},  // blanks before, comments after
      {"3 ; a\r\n\r\n\r\n4 ; b\r\n", 3, 4},      // line breaks are skipped before a number
      {"", 0, 0},                                // a file of one line
      {"3\r\n", 3, 0},
      {"3\r\n4\r\nmore\r\nlines\r\n", 3, 4},  // lines after the third are never looked at
  };
  for (const Case& c : cases) {
    host.WriteFile("NorvelWin.ini", Cp1251(QStringLiteral("07.12.2026 ; Дата/Время\r\n")) + c.body);
    const LinkSettings read = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
    EXPECT_EQ(read.portNumber, c.port) << c.body.toStdString();
    EXPECT_EQ(read.boardCount, c.boards) << c.body.toStdString();
  }
}

TEST_F(SettingsFileTest, AWordThatIsNoNumberIsAnInputOutputError) {
  for (const QByteArray& body : {QByteArray("COM2 ; port\r\n2\r\n"), QByteArray("2\r\nfour\r\n"),
                                 QByteArray("2x\r\n2\r\n"), QByteArray("\x01\r\n2\r\n"),
                                 QByteArray("2\r\n4;x\r\n"), QByteArray("99999999999\r\n2\r\n")}) {
    host.WriteFile("NorvelWin.ini", Cp1251(QStringLiteral("07.12.2026 ; Дата/Время\r\n")) + body);
    EXPECT_THROW(ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock), IoError)
        << body.toStdString();
  }
}

TEST_F(SettingsFileTest, EmptyFileAndVeryLongLinesDoNotBreakReading) {
  host.WriteFile("NorvelWin.ini", QByteArray());
  host.ui.ExpectInfo(kBadMoment + NowText(), true);
  LinkSettings read = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
  EXPECT_EQ(read.portNumber, 0);
  EXPECT_EQ(read.boardCount, 0);

  host.WriteFile("NorvelWin.ini", Cp1251(QStringLiteral("07.12.2026 ; ")) +
                                      QByteArray(200000, 'x') + "\r\n2 " + QByteArray(100000, 'y') +
                                      "\r\n3\r\n");
  read = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
  EXPECT_EQ(read.portNumber, 2);
  EXPECT_EQ(read.boardCount, 3);
}

TEST_F(SettingsFileTest, ADirectoryInPlaceOfTheFileIsAnInputOutputError) {
  ASSERT_TRUE(QDir(host.dir.path()).mkdir("NorvelWin.ini"));
  EXPECT_THROW(ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock), IoError);
  EXPECT_THROW(WriteSettingsFile(host.env.workDir, 2, 2, host.clock.Now()), IoError);
  EXPECT_TRUE(QFileInfo(host.Path("NorvelWin.ini")).isDir());
}

TEST_F(SettingsFileTest, WritingReplacesTheWholeFile) {
  QByteArray ten;
  for (int i = 0; i < 10; ++i) ten += "line\r\n";
  host.WriteFile("NorvelWin.ini", ten);
  WriteSettingsFile(host.env.workDir, 1, 1, MakeDateTime(QDate(2026, 12, 7), QTime(1, 2, 3)));
  EXPECT_EQ(host.ReadFile("NorvelWin.ini").count("\r\n"), 3);
}

TEST_F(SettingsFileTest, SavingLinkSettingsKeepsTheMoment) {
  host.WriteFile("NorvelWin.ini", SettingsBytes("01.11.2026 8:00:00", "2", "2"));
  SaveLinkSettings(host.env.workDir, host.env.ui, host.env.clock, 3, 4);
  EXPECT_EQ(host.ReadFile("NorvelWin.ini"), SettingsBytes("01.11.2026 8:00:00", "3", "4"));
}

TEST_F(SettingsFileTest, SavingWithoutAFileTellsAndCreatesItWithNow) {
  host.ui.ExpectInfo(kMissing, true);
  SaveLinkSettings(host.env.workDir, host.env.ui, host.env.clock, 3, 1);
  EXPECT_EQ(host.ReadFile("NorvelWin.ini"),
            SettingsBytes(NowText().toUtf8().constData(), "3", "1"));
}

TEST_F(SettingsFileTest, SavingRepairsAnUnreadableMoment) {
  host.WriteFile("NorvelWin.ini", "garbage\r\n2\r\n2\r\n");
  host.ui.ExpectInfo(kBadMoment + NowText(), true);
  SaveLinkSettings(host.env.workDir, host.env.ui, host.env.clock, 2, 3);
  const LinkSettings read = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
  EXPECT_EQ(read.resetMoment, host.clock.Now());
  EXPECT_EQ(read.boardCount, 3);
}
