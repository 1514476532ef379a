// The command line companion in process, with the station model and the fake clock: what it
// stores, what it prints, and the exit code it ends with.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "FakeSerial.h"
#include "GeneratedCalls.h"
#include "ScriptedUi.h"
#include "cli/ConsoleUi.h"
#include "cli/NorvelCommand.h"
#include "core/base/Environment.h"
#include "core/files/DataFiles.h"
#include "core/files/SettingsFile.h"
#include "core/platform/SerialPlatform.h"
#include "core/station/ReceptionJournal.h"

namespace {

struct Norvel : ::testing::Test {
  FakeClock clock{MakeDateTime(QDate(2026, 12, 7), QTime(20, 13, 30))};
  FakePorts ports;
  QTemporaryDir dir;
  QBuffer out;
  QBuffer err;
  station::StationOptions options;
  std::unique_ptr<FakeLine> line;

  void SetUp() override {
    out.open(QIODevice::ReadWrite);
    err.open(QIODevice::ReadWrite);
  }
  void Plug() {
    line = std::make_unique<FakeLine>(clock, options);
    ports.Plug(ComPortDeviceName(3), line.get());
  }
  void Settings() {
    QFile file(dir.filePath(QStringLiteral("NorvelWin.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("30.11.2026 18:00:05 ; Дата/Время\r\n3 ; Номер порта\r\n2 ; К-во плат\r\n");
  }
  int Run(QStringList arguments) {
    out.buffer().clear();
    out.seek(0);
    err.buffer().clear();
    err.seek(0);
    CommandIo io{clock, ports, out, err, false, dir.path()};
    return RunNorvel(arguments, io);
  }
  QString Out() const { return QString::fromUtf8(out.data()); }
  QString Err() const { return QString::fromUtf8(err.data()); }
  size_t Stored(int month) {
    std::vector<CallRecord> records;
    ScriptedUi ui;
    Environment env{ui, clock, ports, dir.path()};
    LoadCallRecords(env.workDir, month, 0, 0, records);
    return records.size();
  }
  QByteArray Header() {
    QByteArray header;
    for (int a = 737; a <= 740; ++a) header.append(static_cast<char>(line->Station().Memory()[a]));
    return header;
  }
};

}  // namespace

TEST_F(Norvel, ReceiveStoresTheCallsAndSaysWhere) {
  options.calls = 40;
  options.callDays = 9;  // November and December
  Settings();
  Plug();
  EXPECT_EQ(Run({"receive"}), 0) << Err().toStdString();
  const size_t november = Stored(11);
  const size_t december = Stored(12);
  EXPECT_EQ(november + december, 40u);
  EXPECT_EQ(Out(), QStringLiteral("stored 40 calls: Data11.txt %1, Data12.txt %2\n")
                       .arg(november)
                       .arg(december));
  EXPECT_EQ(Header(), QByteArray::fromHex("0007FFF8"));

  EXPECT_EQ(Run({"receive"}), 0);
  EXPECT_EQ(Out(), QStringLiteral("stored 0 calls: the station had none to store\n"));
  EXPECT_TRUE(Err().contains(QStringLiteral("В АТС данные о тарификации отсутствуют")));
}

TEST_F(Norvel, ASilentStationIsExitOneAndTheSettingsPortIsKept) {
  options.calls = 5;
  options.silent = true;
  Settings();
  Plug();
  EXPECT_EQ(Run({"receive"}), 1);
  EXPECT_TRUE(Err().contains(QStringLiteral("Проверьте подключение соединительного кабеля")));
  EXPECT_FALSE(QFile::exists(dir.filePath(DataFileName(12))));

  // Another port for this run only: the settings file keeps its own.
  options.silent = false;
  line = std::make_unique<FakeLine>(clock, options);
  ports.Plug(ComPortDeviceName(4), line.get());
  EXPECT_EQ(Run({"receive", "--port", "4"}), 0) << Err().toStdString();
  ScriptedUi ui;
  Environment env{ui, clock, ports, dir.path()};
  EXPECT_EQ(ReadSettingsFile(env.workDir, env.ui, env.clock).portNumber, 3);
}

TEST_F(Norvel, AnInconsistentHeaderIsLeftAloneWithExitFour) {
  options.calls = 10;
  options.badHeader = true;
  Settings();
  Plug();
  const QByteArray before = Header();
  EXPECT_EQ(Run({"receive"}), 4);
  EXPECT_EQ(Header(), before);
  EXPECT_TRUE(Err().contains(QStringLiteral("Выполнить сброс данных в станции? -> no")));
  EXPECT_FALSE(QFile::exists(dir.filePath(DataFileName(12))));
}

TEST_F(Norvel, FilesThatCannotTakeTheCallsAreRolledBackWithExitThree) {
  options.calls = 20;
  options.callDays = 9;
  Settings();
  Plug();
  ASSERT_TRUE(QDir(dir.path()).mkdir(DataFileName(12)));
  const QByteArray before = Header();
  EXPECT_EQ(Run({"receive"}), 3);
  EXPECT_FALSE(QFile::exists(dir.filePath(DataFileName(11))));
  EXPECT_EQ(Header(), before);
  EXPECT_TRUE(Err().contains(QStringLiteral("Не удается записать файл Data12.txt")));
}

TEST_F(Norvel, ALockFileThatCannotBeOpenedNeedsAPersonAndIsNoRunningReception) {
  Settings();
  options.calls = 5;
  Plug();
  // A folder where the lock file would be: it cannot be opened, whoever runs the command.
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("NorvelWin.lock")));
  EXPECT_EQ(Run({"receive"}), 3);
  EXPECT_TRUE(Err().contains(QDir::toNativeSeparators(dir.filePath("NorvelWin.lock"))));
  EXPECT_TRUE(Err().contains(QStringLiteral("Is a directory")));
  EXPECT_FALSE(Err().contains(QStringLiteral("уже выполняется")));
  EXPECT_EQ(line->Trace().size(), 0u);  // the station was not touched
}

TEST_F(Norvel, UsageMistakesAreExitTwo) {
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(Run({"fetch"}), 2);
  EXPECT_EQ(Run({"receive", "--port", "0"}), 2);
  EXPECT_EQ(Run({"receive", "--dir", dir.filePath("missing")}), 2);
  EXPECT_EQ(Run({"export"}), 2);
  EXPECT_EQ(Run({"export", "--month", "13"}), 2);
  EXPECT_EQ(Run({"export", "--month", "1", "--format", "xls"}), 2);
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_TRUE(Out().contains(QStringLiteral("exit codes")));
}

TEST_F(Norvel, ExportNamesTheFileAndLineOfADamagedLine) {
  QFile file(dir.filePath(DataFileName(3)));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("header\r\n07.03.2026 09:05\t20\t1\t1\t0\t123\r\nnonsense\r\n");
  file.close();
  EXPECT_EQ(Run({"export", "--month", "3"}), 3);
  EXPECT_TRUE(Err().contains(QStringLiteral("Data 3.txt, строка 3"))) << Err().toStdString();
}

TEST(ConsoleUiBar, OnlyATerminalGetsTheRecordReadsBar) {
  for (const bool terminal : {true, false}) {
    QBuffer err;
    err.open(QIODevice::ReadWrite);
    ConsoleUi ui(err, terminal);
    ui.StartProgress(QStringLiteral("Чтение данных из станции"), 975);
    for (int p = 0; p <= 975; ++p) ui.SetProgress(static_cast<quint16>(p));
    ui.EndProgress();
    ui.StartProgress(QStringLiteral("Запись данных в станцию"), 516);  // no bar for writes
    ui.SetProgress(516);
    ui.EndProgress();
    const QString shown = QString::fromUtf8(err.data());
    if (!terminal) {
      EXPECT_TRUE(shown.isEmpty());
      continue;
    }
    EXPECT_TRUE(shown.contains(QStringLiteral("[..............................")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("1/976 bytes, 10 s left")));
    EXPECT_TRUE(shown.contains(QStringLiteral("976/976 bytes, 0 s left")));
    // Drawn when the bar or the seconds change, not once per byte.
    EXPECT_LT(shown.count(u'\r'), 60);
    EXPECT_TRUE(shown.endsWith(u'\n'));
  }
}
