// The command line companion in process, with the station model and the fake clock: what it
// stores, what it prints, and the exit code it ends with.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cerrno>
#include <functional>

#include "FakeClock.h"
#include "FakeSerial.h"
#include "GeneratedCalls.h"
#include "ScriptedUi.h"
#include "cli/ConsoleUi.h"
#include "cli/NorvelCommand.h"
#include "cli/TerminalProgress.h"
#include "core/base/Environment.h"
#include "core/base/ExitCodes.h"
#include "core/files/ConfigCopy.h"
#include "core/files/DataFiles.h"
#include "core/files/SettingsFile.h"
#include "core/image/ImageLayout.h"
#include "core/platform/DurableFile.h"
#include "core/platform/FileLock.h"
#include "core/platform/SerialPlatform.h"
#include "core/station/ReceptionJournal.h"
#include "core/station/ReceptionLock.h"
#include "core/station/WriteVerdict.h"

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
  // A good night: five calls received from the station model.
  void ReceiveFiveCalls() {
    options.calls = 5;
    options.callDays = 1;
    Settings();
    Plug();
    ASSERT_EQ(Run({"receive", "-q"}), 0) << Err().toStdString();
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

TEST_F(Norvel, AnInconsistentHeaderIsLeftAloneAndNeedsAPerson) {
  options.calls = 10;
  options.badHeader = true;
  Settings();
  Plug();
  const QByteArray before = Header();
  EXPECT_EQ(Run({"receive"}), exitcode::kInconsistent);
  EXPECT_EQ(Header(), before);
  EXPECT_TRUE(Err().contains(QStringLiteral("Выполнить сброс данных в станции? -> no")));
  EXPECT_FALSE(QFile::exists(dir.filePath(DataFileName(12))));
  // Only the administrator's explicit word clears such a station.
  EXPECT_EQ(Run({"receive", "--reset-inconsistent"}), exitcode::kOk);
  EXPECT_TRUE(Err().contains(QStringLiteral("Выполнить сброс данных в станции? -> yes")));
  EXPECT_NE(Header(), before);
  // --output is the long form of -o.
  EXPECT_EQ(Run({"export", "--month=12", "--output", "none.csv", "-q"}), 0);
  EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("none.csv"))));
}

TEST_F(Norvel, FilesThatCannotTakeTheCallsAreRolledBackAndNeedAPerson) {
  options.calls = 20;
  options.callDays = 9;
  Settings();
  Plug();
  ASSERT_TRUE(QDir(dir.path()).mkdir(DataFileName(12)));
  const QByteArray before = Header();
  EXPECT_EQ(Run({"receive"}), exitcode::kFilesFailed);
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
  EXPECT_EQ(Run({"receive"}), exitcode::kFilesFailed);
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
  EXPECT_EQ(Run({"export", "--month", "3"}), exitcode::kFilesFailed);
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

// Long work shows its progress on a terminal only, and only once it has lasted two seconds:
// redrawn in place at most five times a second, ended with a line end where it got to.
TEST(TerminalProgressLine, OnlyLongWorkOnATerminalShowsIt) {
  for (const bool terminal : {true, false}) {
    QBuffer err;
    err.open(QIODevice::ReadWrite);
    FakeClock clock;
    {
      TerminalProgress progress(err, terminal, clock, QStringLiteral("Счета"),
                                QStringLiteral("разговоров"));
      progress.Update(100, 1000);
      clock.Sleep(1999);
      progress.Update(200, 1000);
      EXPECT_TRUE(err.data().isEmpty()) << "shown before two seconds";
      clock.Sleep(1);
      progress.Update(300, 1000);
      clock.Sleep(100);
      progress.Update(400, 1000);  // too soon to draw again
      clock.Sleep(100);
      progress.Update(500, 1000);
      progress.Update(600, 1000);
    }
    const QString shown = QString::fromUtf8(err.data());
    EXPECT_EQ(shown, terminal ? QStringLiteral("\rСчета: 30 % (300 из 1000 разговоров) "
                                               "\rСчета: 50 % (500 из 1000 разговоров) "
                                               "\rСчета: 60 % (600 из 1000 разговоров) \n")
                              : QString())
        << shown.toStdString();
  }
}

// Every command explains itself, and options take the forms other Linux commands take.
TEST_F(Norvel, EveryCommandHasItsHelpAndOptionsTakeTheUsualForms) {
  for (const QStringList& command :
       {QStringList{"receive"}, {"export"}, {"doctor"}, {"config", "show"}, {"config", "diff"}}) {
    EXPECT_EQ(Run(command + QStringList{"--help"}), 0) << command.join(u' ').toStdString();
    EXPECT_TRUE(Out().startsWith(QStringLiteral("usage: norvel ") + command.join(u' ')))
        << Out().toStdString();
    EXPECT_TRUE(Err().isEmpty());
  }
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_TRUE(Out().startsWith(QStringLiteral("norvel 1.")));

  QFile file(dir.filePath(DataFileName(12)));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("h\r\n07.12.2026 09:05\t20\t1\t1\t0\t0012\r\n");
  file.close();
  EXPECT_EQ(Run({"export", "--month=12", "--format=tsv", "-o", "-"}), 0) << Err().toStdString();
  EXPECT_EQ(Out(), QStringLiteral("date\ttime\tsubscriber\tduration_min\tcity_line\tcall_type\t"
                                  "number\n2026-12-07\t09:05\t20\t1\t1\t0\t0012\n"));
  EXPECT_EQ(Run({"export", "--month", "12", "-qo", "out.tsv"}), 0) << Err().toStdString();
  EXPECT_TRUE(Out().isEmpty());
  EXPECT_TRUE(QFile::exists(dir.filePath("out.tsv")));
  EXPECT_EQ(Run({"receive", "--colour"}), exitcode::kUsage);
  EXPECT_TRUE(Err().contains(QStringLiteral("Try 'norvel receive --help'")));
}

// The summary for monitoring: one JSON object, for a stored reception and for a failed one.
TEST_F(Norvel, ReceiveJsonSaysWhatHappened) {
  options.calls = 12;
  Settings();
  Plug();
  EXPECT_EQ(Run({"receive", "--json"}), 0) << Err().toStdString();
  QJsonParseError error{};
  QJsonObject object = QJsonDocument::fromJson(out.data(), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << Out().toStdString();
  EXPECT_EQ(object["exit_code"].toInt(), 0);
  EXPECT_EQ(object["reason"].toString(), QStringLiteral("stored"));
  EXPECT_EQ(object["stored"].toInt(), 12);
  EXPECT_EQ(object["files"].toObject()["Data12.txt"].toInt(), 12);
  EXPECT_GT(object["bytes_read"].toInt(), 12 * 6);
  EXPECT_TRUE(object["reset_sent"].toBool());
  EXPECT_TRUE(object["reset_confirmed"].toBool());
  EXPECT_TRUE(out.data().endsWith("}\n"));
  EXPECT_EQ(out.data().count('\n'), 1);

  // A station with no calls is still reset, and the summary says so.
  EXPECT_EQ(Run({"receive", "--json", "-q"}), 0) << Err().toStdString();
  object = QJsonDocument::fromJson(out.data()).object();
  EXPECT_EQ(object["reason"].toString(), QStringLiteral("nothing"));
  EXPECT_TRUE(object["reset_sent"].toBool());
  EXPECT_TRUE(object["reset_confirmed"].toBool());

  options.silent = true;
  Plug();
  EXPECT_EQ(Run({"receive", "--json", "-q"}), exitcode::kNoAnswer);
  object = QJsonDocument::fromJson(out.data()).object();
  EXPECT_EQ(object["exit_code"].toInt(), exitcode::kNoAnswer);
  EXPECT_EQ(object["reason"].toString(), QStringLiteral("no_answer"));
  EXPECT_EQ(object["stored"].toInt(), 0);
  EXPECT_FALSE(object["reset_sent"].toBool());
}

// The four faults behind "check the cable" each get a line of their own after the window's
// text: a missing device, a busy one, and a silent station on a port that opened.
TEST_F(Norvel, EachPortFaultIsToldApartAfterTheWindowsText) {
  Settings();
  const QString device = ComPortDeviceName(3);
  const QString cable = QStringLiteral("Проверьте подключение соединительного кабеля к порту COM3");

  // A device missing or forbidden needs a person: its own exit code and reason.
  EXPECT_EQ(Run({"receive"}), exitcode::kDeviceFault);  // nothing plugged in
  EXPECT_TRUE(Err().contains(cable));
  EXPECT_TRUE(Err().contains(
      QStringLiteral("COM3 is %1: No such file or directory; run: norvel doctor").arg(device)))
      << Err().toStdString();
  EXPECT_EQ(Out(), QStringLiteral("stored 0 calls: the port's device is not there\n"));
  Plug();
  line->forbidden = true;
  EXPECT_EQ(Run({"receive", "--json"}), exitcode::kDeviceFault);
  EXPECT_EQ(QJsonDocument::fromJson(out.data()).object()["reason"].toString(),
            QStringLiteral("permission_denied"));
  line->forbidden = false;

  Plug();
  std::unique_ptr<SerialTransport> other = ports.CreateTransport();
  ASSERT_TRUE(other->Open(device));
  EXPECT_EQ(Run({"receive"}), exitcode::kNoAnswer);
  EXPECT_TRUE(Err().contains(QStringLiteral("COM3 is %1: Device or resource busy").arg(device)))
      << Err().toStdString();
  other->Close();

  options.silent = true;
  Plug();
  EXPECT_EQ(Run({"receive"}), exitcode::kNoAnswer);
  EXPECT_TRUE(Err().contains(cable));
  EXPECT_TRUE(Err().contains(
      QStringLiteral(
          "COM3 is %1: the port opened but the station did not answer or a read failed; run: "
          "norvel doctor")
          .arg(device)))
      << Err().toStdString();

  // This program held up for 1.5 s as every request left: a pause, told as one, not the cable.
  options.silent = false;
  Plug();
  line->beforeDelivery = [&](long delivered) {
    if (delivered % 10 == 9) clock.AdvanceUs(1'500'000);
  };
  EXPECT_EQ(Run({"receive"}), exitcode::kNoAnswer);
  EXPECT_TRUE(
      Err().contains(QStringLiteral("COM3 is %1: программа была приостановлена на 1,").arg(device)))
      << Err().toStdString();
  EXPECT_FALSE(Err().contains(QStringLiteral("norvel doctor"))) << Err().toStdString();
}

// norvel status for monitoring: nothing known is a problem, a stored reception is well until
// it is older than --max-age, a failed one is a problem; the month files are counted.
TEST_F(Norvel, StatusTellsTheLastReceptionAndTheMonths) {
  EXPECT_EQ(Run({"status"}), 1);
  EXPECT_TRUE(Out().contains(QStringLiteral("problem: no reception is known")));
  // A record cut short is named with its damage, not taken for no record.
  {
    QFile cut(dir.filePath(QStringLiteral("NorvelLastReception.json")));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write("{\"time\":\"x\", \"exit");
  }
  EXPECT_EQ(Run({"status"}), 1);
  EXPECT_TRUE(Out().contains(QStringLiteral(
      "problem: the reception record is damaged (NorvelLastReception.json: not JSON: ")))
      << Out().toStdString();
  ReceiveFiveCalls();
  EXPECT_EQ(Run({"status", "--json", "--max-age=1"}), 0) << Out().toStdString();
  const QJsonObject status = QJsonDocument::fromJson(out.data()).object();
  EXPECT_EQ(status["last_reception"].toObject()["stored"].toInt(), 5);
  EXPECT_EQ(status["journal"].toString(), QStringLiteral("none"));
  EXPECT_EQ(status["reception_running"].toBool(), false);
  const QJsonObject month = status["months"].toArray().first().toObject();
  EXPECT_EQ(month["file"].toString(), DataFileName(12));
  EXPECT_EQ(month["calls"].toInt(), 5);
  clock.AdvanceToUs(clock.NowUs() + 2LL * 3600 * 1000 * 1000);
  EXPECT_EQ(Run({"status", "--max-age=1"}), 1);
  EXPECT_TRUE(Out().contains(QStringLiteral("problem: the last reception is older than 1 hours")));
  options.silent = true;
  Plug();
  EXPECT_EQ(Run({"receive", "-q"}), exitcode::kNoAnswer);
  EXPECT_EQ(Run({"status"}), 1);
  EXPECT_TRUE(Out().contains(QStringLiteral("problem: the last reception failed")));
}

// A reception that cannot record how it ended (the disk full when it comes to write its record)
// still shows in norvel status: the mark of its start stays, held by no run. A run going on
// holds the mark and is no problem; the next recorded reception clears it.
TEST_F(Norvel, StatusFindsAReceptionThatCouldNotRecordItsEnd) {
  ReceiveFiveCalls();
  ASSERT_EQ(Run({"status"}), 0) << Out().toStdString();
  SetDurableWriteCall([](int, const char*, long) -> long {
    errno = ENOSPC;
    return -1;
  });
  EXPECT_NE(Run({"receive", "-q"}), 0);
  SetDurableWriteCall(nullptr);
  EXPECT_TRUE(Err().contains(QStringLiteral("Не удается записать файл NorvelLastReception.json")))
      << Err().toStdString();
  EXPECT_EQ(Run({"status", "--json"}), 1);
  const QJsonObject status = QJsonDocument::fromJson(out.data()).object();
  EXPECT_TRUE(status["problems"].toArray().first().toString().contains(
      QStringLiteral("did not record how it ended")))
      << Out().toStdString();
  // The record before stays readable meanwhile.
  EXPECT_EQ(status["last_reception"].toObject()["stored"].toInt(), 5);

  // While a run holds the mark, it is going on, not lost.
  const QString mark = dir.filePath(QStringLiteral("NorvelLastReception.json.unfinished"));
  const int held = OsHoldFileLock(mark);
  ASSERT_GE(held, 0);
  EXPECT_EQ(Run({"status"}), 0) << Out().toStdString();
  OsReleaseFileLock(held);

  ASSERT_EQ(Run({"receive", "-q"}), 0) << Err().toStdString();
  EXPECT_FALSE(QFile::exists(mark));
  EXPECT_EQ(Run({"status"}), 0) << Out().toStdString();
}

// A database's last sync that failed is a problem until a sync into the same database succeeds;
// another database's success does not hide it.
TEST_F(Norvel, StatusJudgesEachDatabasesLastSync) {
  ReceiveFiveCalls();
  const QString archive = dir.filePath(QStringLiteral("calls.db"));
  EXPECT_EQ(Run({"sync", "--db", QStringLiteral("sqlite:") + archive, "-q"}),
            exitcode::kFilesFailed);
  // Without --init no file is left behind to mislead the next run.
  EXPECT_FALSE(QFile::exists(archive));
  EXPECT_TRUE(Err().contains(QStringLiteral("norvel sync --init"))) << Err().toStdString();
  EXPECT_EQ(Run({"status"}), 1);
  EXPECT_TRUE(Out().contains(QStringLiteral("problem: the last sync to sqlite:%1 failed: "
                                            "database_refused")
                                 .arg(archive)))
      << Out().toStdString();
  const QString other = dir.filePath(QStringLiteral("other.db"));
  ASSERT_EQ(Run({"sync", "--db", QStringLiteral("sqlite:") + other, "--init", "-q"}), 0)
      << Err().toStdString();
  EXPECT_EQ(Run({"status"}), 1);
  ASSERT_EQ(Run({"sync", "--db", QStringLiteral("sqlite:") + archive, "--init", "-q"}), 0);
  EXPECT_EQ(Run({"status"}), 0) << Out().toStdString();
}

// Every option of every command, as its own help lists it, has an entry in the manual page's
// OPTIONS section: the two cannot drift apart.
TEST_F(Norvel, TheManualPageNamesEveryOptionOfEveryCommand) {
  QFile page(QStringLiteral(NORVEL_SOURCE_DIR "/packaging/norvel.1"));
  ASSERT_TRUE(page.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(page.readAll());
  const QString options =
      text.section(QStringLiteral(".SH OPTIONS"), 1).section(QStringLiteral(".SH "), 0, 0);
  static const QRegularExpression option(QStringLiteral("^\\s+(?:-\\w, )?--([a-z-]+)"),
                                         QRegularExpression::MultilineOption);
  for (const char* const name :
       {"receive", "export", "bill", "report", "sync", "status", "doctor", "config show",
        "config diff", "config check", "config write", "config export", "config import",
        "config apply", "alerts", "journal show", "journal settle"}) {
    const QString command = QString::fromLatin1(name);
    Run(command.split(u' ') + QStringList{QStringLiteral("--help")});
    for (const QRegularExpressionMatch& match : option.globalMatch(Out())) {
      const QString long_ = match.captured(1);
      if (long_ == QLatin1String("help-all")) continue;
      EXPECT_TRUE(options.contains(QStringLiteral("\\fB\\-\\-") +
                                   QString(long_).replace(u'-', QStringLiteral("\\-")) +
                                   QStringLiteral("\\fR")))
          << command.toStdString() << ": --" << long_.toStdString();
    }
  }
}

TEST_F(Norvel, AReceptionAlreadyRunningIsSaidOnStandardOutputToo) {
  Settings();
  options.calls = 3;
  Plug();
  const ReceptionLock running(dir.path(), QStringLiteral("NorvelWin"));
  ASSERT_TRUE(running.Held());
  EXPECT_EQ(Run({"receive"}), exitcode::kNoAnswer);
  EXPECT_TRUE(
      Out().startsWith(QStringLiteral("stored 0 calls: another reception is running "
                                      "(NorvelWin, process ")))
      << Out().toStdString();
  EXPECT_EQ(Run({"receive", "--json"}), exitcode::kNoAnswer);
  EXPECT_EQ(QJsonDocument::fromJson(out.data()).object()["reason"].toString(),
            QStringLiteral("already_running"));
  EXPECT_EQ(line->Trace().size(), 0u);
}

// An export that fails halfway leaves the previous export as it was, and no stray file.
TEST_F(Norvel, AFailedExportKeepsThePreviousFile) {
  QFile month(dir.filePath(DataFileName(3)));
  ASSERT_TRUE(month.open(QIODevice::WriteOnly));
  month.write("h\r\n07.03.2026 09:05\t20\t1\t1\t0\t123\r\n");
  month.close();
  EXPECT_EQ(Run({"export", "--month", "3", "-o", "march.csv"}), 0);
  QFile previous(dir.filePath("march.csv"));
  ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
  const QByteArray before = previous.readAll();
  previous.close();
  ASSERT_TRUE(before.contains("\"123\""));

  ASSERT_TRUE(month.open(QIODevice::Append));
  month.write("07.03.2026 09:07\t21\t1\t1\t0\t124\r\n\x01nonsense\r\n");
  month.close();
  for (const char* format : {"csv", "xlsx"}) {
    EXPECT_EQ(Run({"export", "--month", "3", "--format", format, "-o", "march.csv"}),
              exitcode::kFilesFailed);
    EXPECT_TRUE(Err().contains(QStringLiteral("Data 3.txt, строка 4: «\\x01nonsense»")))
        << Err().toStdString();
    ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
    EXPECT_EQ(previous.readAll(), before);
    previous.close();
  }
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "a temporary file was left";
}

TEST_F(Norvel, AnExportSaysWhichYearItHoldsWhenOthersAreLeftOut) {
  QFile file(dir.filePath(DataFileName(12)));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "h\r\n07.12.2025 09:05\t20\t3\t1\t0\t1\r\n07.12.2026 09:05\t20\t5\t1\t0\t2\r\n"
      "08.12.2025 09:05\t21\t7\t1\t0\t3\r\n");
  file.close();
  EXPECT_EQ(Run({"export", "--month", "12", "--totals", "--format", "tsv"}), 0);
  EXPECT_TRUE(Out().contains(QStringLiteral("\ntotal\t1\t0\t5\t5\t")));
  EXPECT_EQ(Err(), QStringLiteral("norvel: 2 calls of other years left out; this export holds "
                                  "2026 (choose another with --year)\n"));
  EXPECT_EQ(Run({"export", "--month", "12", "--totals", "--format", "tsv", "--year", "2025"}), 0);
  EXPECT_TRUE(Out().contains(QStringLiteral("\ntotal\t2\t0\t10\t7\t")));
  EXPECT_EQ(Run({"export", "--month", "12", "-q"}), 0);
  EXPECT_TRUE(Err().isEmpty());
}

TEST(ConsoleUiBar, AReadThatFailsHalfwayDoesNotShowTheBarFull) {
  QBuffer err;
  err.open(QIODevice::ReadWrite);
  ConsoleUi ui(err, true);
  ui.StartProgress(QStringLiteral("Чтение данных из станции"), 975);
  for (int p = 0; p <= 400; ++p) ui.SetProgress(static_cast<quint16>(p));
  ui.EndProgress();
  const QString shown = QString::fromUtf8(err.data());
  EXPECT_TRUE(shown.contains(QStringLiteral("401/976 bytes")));
  EXPECT_FALSE(shown.contains(QStringLiteral("976/976"))) << shown.toStdString();
}

// The help text, the README and the manual page list the same exit codes as the program uses.
TEST(ExitCodes, TheHelpTheReadmeAndTheManualPageAgreeWithTheProgram) {
  QFile readme(QStringLiteral(NORVEL_SOURCE_DIR "/README.md"));
  ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(readme.readAll());
  QFile manual(QStringLiteral(NORVEL_SOURCE_DIR "/packaging/norvel.1"));
  ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
  const QString man = QString::fromUtf8(manual.readAll());
  // The README's table: "| code | meaning |" rows between its heading and the next blank line.
  const qsizetype start = text.indexOf(QStringLiteral("| Exit code | Meaning |"));
  ASSERT_GE(start, 0);
  const QString table = text.mid(start, text.indexOf(QStringLiteral("\n\n"), start) - start);
  QList<int> readmeCodes;
  for (const QString& row : table.split(u'\n').mid(2)) {
    readmeCodes << row.section(u'|', 1, 1).trimmed().toInt();
  }
  QList<int> codes;
  for (const ExitCodeMeaning& entry : kExitCodes) {
    codes << entry.code;
    EXPECT_TRUE(table.contains(
        QStringLiteral("| %1 | %2 |").arg(entry.code).arg(QString::fromUtf8(entry.meaning))))
        << "README row for " << entry.code;
    EXPECT_TRUE(man.contains(QStringLiteral(".B %1\n").arg(entry.code)))
        << "manual page entry for " << entry.code;
    EXPECT_TRUE(NorvelHelpText().contains(QString::fromUtf8(entry.meaning)));
  }
  EXPECT_EQ(readmeCodes, codes);
  // A unit's RestartPreventExitStatus= names exactly the codes that need a person.
  QStringList needPerson;
  for (const ExitCodeMeaning& entry : kExitCodes) {
    if (entry.needsPerson) needPerson << QString::number(entry.code);
  }
  QFile unit(QStringLiteral(NORVEL_SOURCE_DIR "/packaging/systemd/norvel-receive@.service"));
  ASSERT_TRUE(unit.open(QIODevice::ReadOnly));
  EXPECT_TRUE(QString::fromUtf8(unit.readAll())
                  .contains(QStringLiteral("RestartPreventExitStatus=") + needPerson.join(u' ')));
  EXPECT_TRUE(text.contains(QStringLiteral("RestartPreventExitStatus=") + needPerson.join(u' ')));
}

namespace {

// A configuration that passes every check on a station of two boards.
ConfigImage SoundImage(quint8 seed) {
  ConfigImage image{};
  for (const bool day : {true, false}) {
    for (int line = 1; line <= 4; ++line) {
      image[IncomingCellOffset(day, line, 1)] = SubscriberCode(20 + seed % 12);
    }
  }
  image[RegionOffset(RegionDescriptor(true, DVO1AbonentBasic), 3)] = seed;
  image[511] = 0x11;
  return image;
}

QByteArray Bytes(const ConfigImage& image) {
  return QByteArray(reinterpret_cast<const char*>(image.data()), kImageSize);
}

}  // namespace

struct ConfigWrite : Norvel {
  ConfigImage held = SoundImage(1);
  ConfigImage saved = SoundImage(7);

  void SetUp() override {
    Norvel::SetUp();
    options.image = std::vector<std::uint8_t>(held.begin(), held.end());
    options.boards = 2;
    Settings();
  }
  QString Save(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return name;
  }
  QByteArray StationImage() {
    return QByteArray(reinterpret_cast<const char*>(line->Station().Memory().data()) + 1280,
                      kImageSize);
  }
  QByteArray Copy() {
    QFile file(dir.filePath(kConfigCopyFileName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
};

// The window's write path from the command line: the image in the station byte for byte, the
// copy beside it, and the history pair of what the station held and what it holds now.
TEST_F(ConfigWrite, ASavedConfigurationIsWrittenAsTheWindowWritesIt) {
  Plug();
  EXPECT_EQ(Run({"config", "write", Save("saved.cfg", Bytes(saved))}), exitcode::kOk)
      << Err().toStdString();
  EXPECT_EQ(Out(), QStringLiteral("written: saved.cfg to the station (2 boards) and Norvel.cfg\n"));
  EXPECT_EQ(StationImage(), Bytes(saved));
  EXPECT_EQ(Copy(), Bytes(saved));
  const QDir history(dir.filePath(QStringLiteral("history")));
  const QStringList before = history.entryList({"*-before.cfg"});
  ASSERT_EQ(before.size(), 1);
  QFile kept(history.filePath(before.first()));
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), Bytes(held));
  EXPECT_EQ(history.entryList({"*-after.cfg"}).size(), 1);
}

TEST_F(ConfigWrite, AProtectedStationIsAskedAboutItsSwitchAndLeftAsItWas) {
  options.protect = true;
  Plug();
  Save(kConfigCopyFileName, Bytes(held));
  const QString file = Save("saved.cfg", Bytes(saved));
  EXPECT_EQ(Run({"config", "write", file}), exitcode::kNoAnswer);
  EXPECT_TRUE(Err().contains(QStringLiteral("Проверьте положение переключателя")));
  EXPECT_TRUE(Err().contains(QStringLiteral("-> no (nobody to answer)")));
  EXPECT_EQ(Out(), QStringLiteral("not written: the station refused or the read-back differs\n"
                                  "Станция содержит прежнюю конфигурацию.\n"));
  // --yes says the switch has been set; the station is still protected, so it fails again.
  EXPECT_EQ(Run({"config", "write", file, "--yes"}), exitcode::kNoAnswer);
  EXPECT_TRUE(Err().contains(QStringLiteral("-> yes (--yes)")));
  EXPECT_EQ(StationImage(), Bytes(held));
  EXPECT_EQ(Copy(), Bytes(held));
}

TEST_F(ConfigWrite, ACablePulledInTheFrameLeavesTheCopyAsItWas) {
  Plug();
  Save(kConfigCopyFileName, Bytes(held));
  long frameStart = -1;
  long heard = 0;
  line->Station().OnTrace([&](const station::TraceEntry& entry) {
    if (entry.kind == station::TraceEntry::kWrite && entry.address == 1791 &&
        entry.bytes.size() == 1 && entry.bytes[0] != 0xAA)
      frameStart = heard;  // the test byte put back: the image frame comes next
  });
  line->beforeDelivery = [&](long delivered) {
    heard = delivered + 1;
    if (frameStart >= 0 && delivered == frameStart + 200) line->Station().SetCablePulled(true);
  };
  EXPECT_EQ(Run({"config", "write", Save("saved.cfg", Bytes(saved)), "--json"}),
            exitcode::kNoAnswer);
  EXPECT_TRUE(Err().contains(QStringLiteral("Ошибка записи в АТС")));
  EXPECT_EQ(Copy(), Bytes(held));
  // The station no longer answers: what it holds is not known, and the way back is named.
  const QJsonObject json = QJsonDocument::fromJson(out.data()).object();
  EXPECT_EQ(json["station_holds"].toString(), QStringLiteral("unknown")) << Out().toStdString();
  const QString before = json["before"].toString();
  EXPECT_TRUE(before.startsWith(QStringLiteral("history/"))) << Out().toStdString();

  // Back on the line, the way back writes the image from before and reads it back equal.
  line->beforeDelivery = nullptr;
  line->Station().SetCablePulled(false);
  EXPECT_EQ(Run({"config", "write", before}), exitcode::kOk) << Err().toStdString();
  EXPECT_EQ(StationImage(), Bytes(held));
}

// Noise on the line garbles a byte of the read-back: the station is read again, and the
// verdict is what two reads agree on, the whole new image; nothing says to undo it.
TEST_F(ConfigWrite, AGarbledByteOfTheReadBackIsReadAgain) {
  Plug();
  bool frameSent = false;
  long readBackAt = -1;
  line->Station().OnTrace([&](const station::TraceEntry& entry) {
    if (entry.kind == station::TraceEntry::kWrite && entry.bytes.size() > 100) frameSent = true;
  });
  line->garbleReply = [&](long received, quint8 byte) -> quint8 {
    if (frameSent && readBackAt < 0) readBackAt = received;
    // A byte of the first read, and another of the third (the second, clean, breaks the tie).
    const bool noisy = readBackAt >= 0 && (received == readBackAt + 100 ||
                                           received == readBackAt + 2 * kImageSize + 300);
    return noisy ? byte ^ 0x10 : byte;
  };
  EXPECT_EQ(Run({"config", "write", Save("saved.cfg", Bytes(saved)), "--json"}),
            exitcode::kNoAnswer);
  const QJsonObject json = QJsonDocument::fromJson(out.data()).object();
  EXPECT_EQ(json["station_holds"].toString(), QStringLiteral("written")) << Out().toStdString();
  EXPECT_EQ(StationImage(), Bytes(saved));
  WriteVerdict verdict;
  verdict.holds = WriteVerdict::Holds::kWritten;
  verdict.beforeFile = QStringLiteral("history/x-before.cfg");
  EXPECT_FALSE(verdict.Sentence().contains(QStringLiteral("вернуть")))
      << verdict.Sentence().toStdString();
}

// The way back is printed as a command that runs where it was printed: with the directory
// given, and accepting the errors of an image the station itself held.
TEST_F(ConfigWrite, TheWayBackRunsAsPrinted) {
  for (int column = 1; column <= 4; ++column) held[IncomingCellOffset(true, 3, column)] = 0;
  options.image = std::vector<std::uint8_t>(held.begin(), held.end());
  Plug();
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("office 2")));
  ASSERT_TRUE(QFile::copy(dir.filePath(QStringLiteral("NorvelWin.ini")),
                          dir.filePath(QStringLiteral("office 2/NorvelWin.ini"))));
  int writes = 0;
  line->Station().OnTrace([&](const station::TraceEntry& entry) {
    if (entry.kind == station::TraceEntry::kWrite && entry.bytes.size() > 100 && ++writes == 1)
      line->Station().SetCablePulled(true);  // after the image frame, before its read-back
  });
  EXPECT_EQ(Run({"config", "write", Save("saved.cfg", Bytes(saved)), "--dir", "office 2"}),
            exitcode::kNoAnswer)
      << Err().toStdString();
  const qsizetype at = Out().indexOf(QStringLiteral("вернуть ее: norvel "));
  ASSERT_GE(at, 0) << Out().toStdString();
  const QString command = Out().mid(at + 19).trimmed();
  EXPECT_TRUE(command.startsWith(QStringLiteral("config write 'office 2/history/")));
  EXPECT_TRUE(command.endsWith(QStringLiteral(" --dir 'office 2' --accept-errors")))
      << command.toStdString();
  // Split into words as a shell does.
  QProcess shell;
  shell.start(QStringLiteral("/bin/sh"),
              {QStringLiteral("-c"), QStringLiteral("printf '%s\\n' ") + command});
  ASSERT_TRUE(shell.waitForFinished());
  const QStringList words =
      QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
  line->Station().SetCablePulled(false);
  EXPECT_EQ(Run(words), exitcode::kOk) << command.toStdString() << Err().toStdString();
  EXPECT_EQ(StationImage(), Bytes(held));
}

// The line lost just after the write-enable test value went into byte 1791: the write says the
// cable, not the switch, and the next contact of any kind puts the station's own value back.
TEST_F(ConfigWrite, TheTestByteGoesBackAtTheNextContact) {
  const struct {
    const char* name;
    QStringList command;
    int code;
  } rows[] = {
      {"a reception", {"receive"}, exitcode::kOk},
      {"a look at the station", {"config", "show", "station"}, exitcode::kOk},
      {"a diff with the station", {"config", "diff", "station", "saved.cfg"}, 1},
  };
  Plug();
  const std::uint8_t original = line->Station().Memory()[1791];
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    line->Station().OnTrace([&](const station::TraceEntry& entry) {
      if (entry.kind == station::TraceEntry::kWrite && entry.address == 1791 &&
          entry.bytes.size() == 1 && entry.bytes[0] == 0xAA)
        line->Station().SetCablePulled(true);
    });
    EXPECT_EQ(Run({"config", "write", Save("saved.cfg", Bytes(saved))}), exitcode::kNoAnswer);
    EXPECT_FALSE(Err().contains(QStringLiteral("переключателя"))) << Err().toStdString();
    EXPECT_TRUE(Err().contains(QStringLiteral("Проверьте подключение"))) << Err().toStdString();
    ASSERT_EQ(line->Station().Memory()[1791], 0xAA);
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("history/write-test.pending"))));
    line->Station().OnTrace(nullptr);
    line->Station().SetCablePulled(false);
    EXPECT_EQ(Run(row.command), row.code) << Err().toStdString();
    EXPECT_FALSE(Out().contains(QStringLiteral("AA"))) << Out().toStdString();
    EXPECT_EQ(line->Station().Memory()[1791], original);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("history/write-test.pending"))));
    EXPECT_EQ(StationImage(), Bytes(held));
  }
}

// Values for boards the station lacks are told and written with the rest (the image the
// station itself held may have them); only a file of another size is refused, with its size.
TEST_F(ConfigWrite, ValuesBeyondTheStationAreToldAndOnlyAWrongSizeIsRefused) {
  Plug();
  EXPECT_EQ(Run({"config", "write", Save("old.cfg", Bytes(saved).left(256))}), exitcode::kUsage);
  EXPECT_TRUE(Err().contains(QStringLiteral("old.cfg holds 256 bytes")));
  EXPECT_EQ(Run({"config", "write", Save("long.cfg", QByteArray(100000, 'x'))}), exitcode::kUsage);
  EXPECT_TRUE(Err().contains(QStringLiteral("long.cfg holds 100000 bytes"))) << Err().toStdString();
  // Nothing was written: the frames heard are reads only.
  for (const station::TraceEntry& entry : line->Trace()) {
    EXPECT_NE(entry.kind, station::TraceEntry::kWrite);
  }

  ConfigImage bigger = saved;
  bigger[RegionOffset(RegionDescriptor(false, DVO2Abonent), 20)] = 0x01;  // subscriber 40
  EXPECT_EQ(Run({"config", "write", Save("big.cfg", Bytes(bigger))}), exitcode::kOk);
  EXPECT_TRUE(Err().contains(QStringLiteral(
      "big.cfg (2 boards): ДВО-2 абонентов, ночь: заданы значения для абонентов 32..43")))
      << Err().toStdString();
  EXPECT_EQ(StationImage(), Bytes(bigger));
}

// Every write tells the checks' findings first; an error the write would bring needs
// --accept-errors, one the station already has does not.
TEST_F(ConfigWrite, ErrorsAreToldAndANewOneNeedsToBeAccepted) {
  ConfigImage silent = saved;
  for (int column = 1; column <= 4; ++column) silent[IncomingCellOffset(true, 3, column)] = 0;
  const QString said = QStringLiteral("входящие вызовы по ГЛ 3 днем в основном режиме");
  struct Row {
    const char* name;
    ConfigImage station;
    QStringList extra;
    int exitCode;
    bool written;
    const char* prefix;
  };
  const Row rows[] = {
      {"a new error is refused", held, {}, exitcode::kUsage, false, "silent.cfg: ошибка: "},
      {"accepted, it is written",
       held,
       {"--accept-errors"},
       exitcode::kOk,
       true,
       "silent.cfg: ошибка: "},
      {"one the station has is no reason to stop",
       silent,
       {},
       exitcode::kOk,
       true,
       "already in the station: ошибка: "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    options.image = std::vector<std::uint8_t>(row.station.begin(), row.station.end());
    Plug();
    const QByteArray before = StationImage();
    EXPECT_EQ(Run(QStringList{"config", "write", Save("silent.cfg", Bytes(silent))} + row.extra),
              row.exitCode);
    EXPECT_TRUE(Err().contains(QString::fromUtf8(row.prefix))) << Err().toStdString();
    EXPECT_TRUE(Err().contains(said));
    EXPECT_EQ(StationImage(), row.written ? Bytes(silent) : before);
  }
}

TEST_F(ConfigWrite, CheckNamesTheFindingsAndEndsWithOneWhenThereAreAny) {
  EXPECT_EQ(Run({"config", "check", Save("saved.cfg", Bytes(saved))}), 0);
  EXPECT_TRUE(Out().isEmpty());
  ConfigImage silent = saved;
  silent[IncomingCellOffset(true, 3, 1)] = 0;
  EXPECT_EQ(Run({"config", "check", Save("silent.cfg", Bytes(silent))}), 1);
  // The board count comes from the working directory's settings: two boards.
  EXPECT_EQ(Out(), QStringLiteral("ошибка: Вызовы с городских линий, день, ГЛ 3: входящие вызовы "
                                  "по ГЛ 3 днем в основном режиме не поступают ни одному "
                                  "абоненту станции (байты 136, 137, 138, 139)\n"));
  EXPECT_EQ(Run({"config", "check", "silent.cfg", "--json"}), 1);
  const QJsonArray findings = QJsonDocument::fromJson(out.data()).array();
  ASSERT_EQ(findings.size(), 1);
  EXPECT_EQ(findings[0].toObject()["rule"].toString(), QStringLiteral("line-rings-no-one"));
  EXPECT_EQ(Run({"config", "check", "missing.cfg"}), 2);

  // From the station itself, with its own board count.
  options.image = std::vector<std::uint8_t>(silent.begin(), silent.end());
  Plug();
  EXPECT_EQ(Run({"config", "check", "station"}), 1);
  EXPECT_TRUE(Out().contains(QStringLiteral("ГЛ 3 днем в основном режиме")));
}

namespace {

// Every call line of the month files, in order.
QStringList CallLines(const QString& dir) {
  QStringList lines;
  for (int month = 1; month <= 12; ++month) {
    QFile file(QDir(dir).filePath(DataFileName(month)));
    if (!file.open(QIODevice::ReadOnly)) continue;
    lines += QString::fromLatin1(file.readAll())
                 .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)
                 .mid(1);
  }
  return lines;
}

// A journal spoilt in one way.
struct JournalDamage {
  const char* name;
  std::function<QByteArray(const QByteArray& good)> spoil;
  bool appendCut = false;  // the append stopped: the last calls, half a line, are missing
};

}  // namespace

// A reception stores its calls, then the line is lost as the reset goes out: the station keeps
// the calls, and the journal says they are stored. Each kind of damage to that journal stops
// the next reception; `norvel journal settle` then leaves every call in the files exactly once
// (as a reception without any trouble would), and the station reset.
TEST_F(Norvel, JournalSettleStoresEveryCallExactlyOnceAfterEachDamage) {
  options.calls = 40;
  options.callDays = 9;  // November and December
  const JournalDamage damages[] = {
      {"Sound", [](const QByteArray& good) { return good; }},
      {"Empty", [](const QByteArray&) { return QByteArray(); }},
      {"CutInHalf", [](const QByteArray& good) { return good.left(good.size() / 2); }},
      {"CutInItsBytes",
       [](const QByteArray& good) { return good.left(good.indexOf("bytes: ") + 40); }},
      {"OneDigitFlipped",
       [](const QByteArray& good) {
         QByteArray bad = good;
         const qsizetype at = good.indexOf("bytes: ") + 12;
         bad[at] = bad[at] == '1' ? '2' : '1';
         return bad;
       }},
      {"NoMoment",
       [](const QByteArray& good) {
         QByteArray bad = good;
         return bad.replace(good.indexOf("moment: "), 8, "mxment: ");
       }},
      {"BinaryJunk", [](const QByteArray&) { return QByteArray(300, '\x07'); }},
      {"HugeTail", [](const QByteArray& good) { return good + QByteArray(3 << 20, 'x'); }},
      {"AppendCutAndJournalCut", [](const QByteArray& good) { return good.left(good.size() / 3); },
       true},
      {"FirstReleaseForged",
       [](const QByteArray&) {
         return QByteArray(
             "NorvelWin reception journal\nstored: 2026-12-07T20:13:30\nfiles: Data12.txt\n"
             "bytes: e9c5\nend\n");
       }},
  };
  QStringList expected;
  for (const JournalDamage& damage : damages) {
    SCOPED_TRACE(damage.name);
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
      QFile::remove(dir.filePath(name));
    Settings();
    Plug();
    // The line goes as the reset frame starts: right after the header read that follows the
    // records.
    bool recordsRead = false;
    bool armed = false;
    line->Station().OnTrace([&](const station::TraceEntry& entry) {
      if (entry.kind != station::TraceEntry::kRead) return;
      if (entry.address == 1792) recordsRead = true;
      if (recordsRead && entry.address == 735) armed = true;
    });
    line->beforeDelivery = [&](long) {
      if (armed) line->Station().SetCablePulled(true);
    };
    Run({"receive"});
    const QString journal = dir.filePath(QLatin1String(kReceptionJournalName));
    QFile file(journal);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    const QStringList stored = CallLines(dir.path());
    ASSERT_EQ(stored.size(), 40);
    if (expected.isEmpty()) expected = stored;

    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(damage.spoil(good));
    file.close();
    if (damage.appendCut) {
      QFile month(dir.filePath(DataFileName(12)));
      ASSERT_TRUE(month.open(QIODevice::ReadWrite));
      const QByteArray bytes = month.readAll();
      qsizetype cut = bytes.size() - 1;
      for (int lines = 0; lines < 5; ++lines) cut = bytes.lastIndexOf('\n', cut - 1);
      ASSERT_TRUE(month.resize(cut + 10));  // five calls gone, a sixth cut after 9 bytes
    }
    line->beforeDelivery = nullptr;
    line->Station().OnTrace(nullptr);
    line->Station().SetCablePulled(false);
    clock.AdvanceUs(60LL * 1000 * 1000);
    EXPECT_EQ(Run({"journal", "settle"}), 0) << Out().toStdString() << Err().toStdString();
    QStringList lines = CallLines(dir.path());
    EXPECT_EQ(lines.size(), 40) << Out().toStdString();
    lines.sort();
    QStringList want = expected;
    want.sort();
    EXPECT_EQ(lines, want);
    EXPECT_FALSE(QFile::exists(journal));
    EXPECT_EQ(Header(), QByteArray::fromHex("0007FFF8"));  // the station was reset
    EXPECT_EQ(Run({"receive"}), 0);
    EXPECT_TRUE(Out().startsWith(QStringLiteral("stored 0 calls"))) << Out().toStdString();
  }
}

// The journal files a summary line by what it asks of a person: a stop asked for (systemctl
// stop, Ctrl-C) is no failure, "try again" a warning.
TEST(SummaryPriority, ByWhatTheExitCodeAsks) {
  const struct {
    int code;
    ConsoleUi::Priority priority;
  } rows[] = {
      {exitcode::kOk, ConsoleUi::Priority::kInfo},
      {exitcode::kInterrupted, ConsoleUi::Priority::kInfo},
      {exitcode::kTerminated, ConsoleUi::Priority::kInfo},
      {exitcode::kNoAnswer, ConsoleUi::Priority::kWarning},
      {exitcode::kFilesFailed, ConsoleUi::Priority::kError},
      {exitcode::kDeviceFault, ConsoleUi::Priority::kError},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(SummaryPriority(row.code), row.priority);
  }
}
