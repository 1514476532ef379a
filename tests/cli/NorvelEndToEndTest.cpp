// `norvel receive` as a process against the station emulator, in real time; and two
// receptions at once, which the lock keeps apart.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

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
  // A saved image of a byte pattern as new.cfg.
  QByteArray SaveImage(int step, int add) {
    QByteArray image(512, '\0');
    for (int i = 0; i < 511; ++i) image[i] = static_cast<char>(i * step + add);
    image[511] = 0x11;
    QFile file(dir.filePath(QStringLiteral("new.cfg")));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(image);
    return image;
  }
  // Waits for the test byte to be put back: the image frame (about 16 s at 325 bit/s) is next.
  bool AwaitImageFrame() {
    QDeadlineTimer restored(30000);
    const auto frameNext = [&] {
      for (const QString& entry : emulator->Traffic()) {
        if (entry.startsWith(QStringLiteral("W 1791 ")) && entry != QStringLiteral("W 1791 AA"))
          return true;
      }
      return false;
    };
    while (!restored.hasExpired() && !frameNext()) QThread::msleep(20);
    return frameNext();
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

namespace {

// A month of `calls` calls in May, as the month files hold them.
void WriteMay(const QString& dir, int calls) {
  QFile file(QDir(dir).filePath(QStringLiteral("Data 5.txt")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  QByteArray text = "heading\r\n";
  for (int i = 0; i < calls; ++i) {
    text += QByteArray::number(1 + i % 28).rightJustified(2, '0') +
            ".05.2026 09:" + QByteArray::number(i % 60).rightJustified(2, '0') +
            "\t20\t3\t1\t1\t2345678\r\n";
  }
  file.write(text);
}

// Runs a shell line with norvel as $NORVEL in `dir`; gives the exit code of norvel itself.
int Shell(const QString& dir, const QString& script, QByteArray* err,
          const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
  QProcess shell;
  QProcessEnvironment env = environment;
  env.insert(QStringLiteral("NORVEL"), QStringLiteral(NORVEL_COMMAND));
  shell.setProcessEnvironment(env);
  shell.setWorkingDirectory(dir);
  shell.start(QStringLiteral("bash"), {QStringLiteral("-c"), script});
  shell.waitForFinished(60000);
  *err = shell.readAllStandardError();
  return shell.exitCode();
}

}  // namespace

// Output that does not arrive is a failure, said with its reason: a full disk with exit 13, a
// reader that went away too. A reception's summary unread changes nothing of what it did.
TEST_F(NorvelProcess, OutputThatIsNotWrittenReachesTheExitCode) {
  WriteMay(dir.path(), 100000);
  QByteArray err;
  EXPECT_EQ(Shell(dir.path(), QStringLiteral("\"$NORVEL\" --help >/dev/full"), &err), 13);
  EXPECT_EQ(err, QByteArray("norvel: standard output: No space left on device\n"));
  EXPECT_EQ(Shell(dir.path(),
                  QStringLiteral("\"$NORVEL\" export --month=5 | head -c 100 >/dev/null; "
                                 "exit ${PIPESTATUS[0]}"),
                  &err),
            13);
  EXPECT_EQ(err, QByteArray("norvel: standard output: closed by its reader\n"));
  station::StationOptions options;
  options.calls = 5;
  options.callDays = 1;
  Start(options);
  QProcessEnvironment station = QProcessEnvironment::systemEnvironment();
  station.insert(QStringLiteral("NORVEL_COM2"), emulator->LinkPath());
  EXPECT_EQ(Shell(dir.path(), QStringLiteral("\"$NORVEL\" receive | true; exit ${PIPESTATUS[0]}"),
                  &err, station),
            0);
  EXPECT_TRUE(err.contains("closed by its reader (the summary was not read; the work is done)"))
      << err.toStdString();
  // A file name whose extension no format has is refused; a month without a file is told.
  EXPECT_EQ(Shell(dir.path(), QStringLiteral("\"$NORVEL\" export --month=5 -o out.ods"), &err), 2);
  EXPECT_TRUE(err.contains("out.ods names no format")) << err.toStdString();
  EXPECT_EQ(Shell(dir.path(), QStringLiteral("\"$NORVEL\" export --month=6 >/dev/null"), &err), 0);
  EXPECT_TRUE(err.contains("no calls of month 6: there is no Data 6.txt")) << err.toStdString();
}

// An export to a file cut by a signal (a hang-up here) leaves no hidden ".part" behind, and one
// that a kill -9 left is removed by the next export to the same file.
TEST_F(NorvelProcess, AnExportCutByASignalLeavesNoPartFile) {
  WriteMay(dir.path(), 400000);
  const auto parts = [&] {
    return QDir(dir.path())
        .entryList({QStringLiteral(".out.csv.*.part")}, QDir::Files | QDir::Hidden);
  };
  QFile stale(dir.filePath(QStringLiteral(".out.csv.999999999.part")));  // no such process
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.close();
  QProcess norvel;
  norvel.setWorkingDirectory(dir.path());
  norvel.start(QStringLiteral(NORVEL_COMMAND),
               {QStringLiteral("export"), QStringLiteral("--month=5"), QStringLiteral("-o"),
                QStringLiteral("out.csv")});
  ASSERT_TRUE(norvel.waitForStarted());
  const QString own = QStringLiteral(".out.csv.%1.part").arg(norvel.processId());
  QDeadlineTimer deadline(20000);
  while (!deadline.hasExpired() && norvel.state() == QProcess::Running && !parts().contains(own))
    QThread::msleep(2);
  ASSERT_EQ(norvel.state(), QProcess::Running) << "the export ended before it could be cut";
  EXPECT_FALSE(parts().contains(QStringLiteral(".out.csv.999999999.part")));
  ::kill(static_cast<pid_t>(norvel.processId()), SIGHUP);
  ASSERT_TRUE(norvel.waitForFinished(10000));
  EXPECT_EQ(parts(), QStringList{});
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("out.csv"))));
}

// A spreadsheet export ended by SIGTERM takes its scratch directory with it, and one that a
// kill -9 left behind is removed by the next export.
TEST_F(NorvelProcess, AnExportCutShortLeavesNoScratchBehind) {
  WriteMay(dir.path(), 200000);
  QTemporaryDir temp;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("TMPDIR"), temp.path());
  QDir(temp.path()).mkdir(QStringLiteral("norvel-xlsx-999999999-abcdef"));  // no such process
  const auto scratch = [&] {
    return QDir(temp.path()).entryList({QStringLiteral("norvel-xlsx-*")}, QDir::Dirs);
  };
  QProcess norvel;
  norvel.setProcessEnvironment(environment);
  norvel.setWorkingDirectory(dir.path());
  norvel.start(QStringLiteral(NORVEL_COMMAND),
               {QStringLiteral("export"), QStringLiteral("--month=5"), QStringLiteral("-o"),
                QStringLiteral("out.xlsx")});
  ASSERT_TRUE(norvel.waitForStarted());
  QDeadlineTimer deadline(20000);
  QStringList seen;
  while (!deadline.hasExpired() && norvel.state() == QProcess::Running) {
    seen = scratch();
    if (seen.size() == 1 &&
        seen.first().startsWith(QStringLiteral("norvel-xlsx-%1-").arg(norvel.processId()))) {
      break;
    }
    QThread::msleep(5);
  }
  ASSERT_EQ(norvel.state(), QProcess::Running) << "the export ended before it could be cut";
  EXPECT_FALSE(seen.contains(QStringLiteral("norvel-xlsx-999999999-abcdef")));
  ::kill(static_cast<pid_t>(norvel.processId()), SIGTERM);
  ASSERT_TRUE(norvel.waitForFinished(10000));
  EXPECT_EQ(scratch(), QStringList{});
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("out.xlsx"))));
}

// Under systemd every line carries its syslog priority, so that journalctl -p err finds the
// failures; Qt's own notes stay out.
TEST_F(NorvelProcess, TheJournalGetsPrioritiesAndNoQtChatter) {
  QByteArray err;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("NORVEL_COM4"), dir.filePath(QStringLiteral("ttyGone")));
  environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
  EXPECT_EQ(Shell(dir.path(),
                  QStringLiteral("exec >log 2>&1; JOURNAL_STREAM=$(stat -c %d:%i log) "
                                 "\"$NORVEL\" receive --port=4"),
                  &err, environment),
            12);
  QFile log(dir.filePath(QStringLiteral("log")));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = log.readAll().split('\n');
  ASSERT_GE(lines.size(), 3);
  for (const QByteArray& line : lines) {
    if (line.isEmpty()) continue;
    EXPECT_TRUE(line.startsWith("<3>") || line.startsWith("<4>") || line.startsWith("<5>"))
        << line.data();
  }
  EXPECT_TRUE(lines.contains("<3>stored 0 calls: the port's device is not there"));
  // A first run without settings is a notice, said once though the file is read twice.
  EXPECT_EQ(lines.count(QStringLiteral("<5>norvel: Не найден файл NorvelWin.ini").toUtf8()), 1);
  WriteMay(dir.path(), 10);
  EXPECT_EQ(
      Shell(dir.path(), QStringLiteral("\"$NORVEL\" report --month=5 -o r.png"), &err, environment),
      0);
  EXPECT_FALSE(err.contains("QStandardPaths")) << err.toStdString();
}

// systemctl stop (SIGTERM) or Ctrl-C (SIGINT) while the records come in: the reception leaves
// the station as it was, says so on its summary line and ends with 128 + the signal; the next
// reception stores every call once.
TEST_F(NorvelProcess, AStopDuringTheReadingEndsWithItsSummaryAndKeepsTheCalls) {
  station::StationOptions options;
  options.calls = 60;
  options.realtime = true;  // about seven seconds of reading
  Start(options);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    QProcess reception;
    Prepare(reception);
    reception.start(QStringLiteral(NORVEL_COMMAND), {QStringLiteral("receive")});
    ASSERT_TRUE(reception.waitForStarted());
    // Well into the reading of the records (the header and the clock come first).
    QThread::msleep(3000);
    ASSERT_EQ(reception.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(reception.processId()), signal);
    ASSERT_TRUE(reception.waitForFinished(10000));
    EXPECT_EQ(reception.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(reception.exitCode(), 128 + signal);
    const QString line = QString::fromUtf8(reception.readAllStandardOutput());
    EXPECT_TRUE(line.startsWith(QStringLiteral("stored 0 calls")) &&
                line.endsWith(QStringLiteral("; stopped by %1\n")
                                  .arg(QLatin1String(signal == SIGTERM  ? "SIGTERM"
                                                     : signal == SIGINT ? "SIGINT"
                                                                        : "SIGHUP"))))
        << line.toStdString();
  }
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("Data12.txt"))));
  QProcess again;
  Prepare(again);
  again.start(QStringLiteral(NORVEL_COMMAND), {QStringLiteral("receive")});
  ASSERT_TRUE(again.waitForFinished(60000));
  EXPECT_EQ(again.readAllStandardOutput(), QByteArray("stored 60 calls: Data12.txt 60\n"));
}

// A hang-up (an SSH session dropped) in the middle of the image frame: the frame is finished,
// read back and told; the station holds the whole new image, and nothing says to undo it.
TEST_F(NorvelProcess, AHangUpMidFrameFinishesTheFrameAndTellsWhatTheStationHolds) {
  Start({});
  const QByteArray image = SaveImage(5, 1);
  QProcess write;
  Prepare(write);
  write.start(QStringLiteral(NORVEL_COMMAND),
              {QStringLiteral("config"), QStringLiteral("write"), QStringLiteral("new.cfg"),
               QStringLiteral("--accept-errors")});
  ASSERT_TRUE(write.waitForStarted());
  ASSERT_TRUE(AwaitImageFrame());
  QThread::msleep(4000);
  ::kill(static_cast<pid_t>(write.processId()), SIGHUP);
  ASSERT_TRUE(write.waitForFinished(90000));
  EXPECT_EQ(write.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(write.exitCode(), 129) << write.readAllStandardError().toStdString();
  const QString said = QString::fromUtf8(write.readAllStandardOutput());
  EXPECT_TRUE(said.startsWith(QStringLiteral("written: new.cfg"))) << said.toStdString();
  EXPECT_TRUE(said.contains(QStringLiteral("; stopped by SIGHUP")));
  EXPECT_FALSE(said.contains(QStringLiteral("вернуть")));
  emulator->Stop();
  EXPECT_EQ(emulator->Memory().mid(1280, 512), image);
}

// The cable pulled for a second in the middle of the image frame, through the emulator's real
// pseudo-terminal: config write says the station holds a mix and names the image from before,
// and writing that image back leaves the station exactly as it was.
TEST_F(NorvelProcess, AWriteCutByAPullSaysWhatTheStationHoldsAndTheWayBackWorks) {
  Start({});
  const QByteArray image = SaveImage(7, 3);

  QProcess write;
  Prepare(write);
  write.start(QStringLiteral(NORVEL_COMMAND),
              {QStringLiteral("config"), QStringLiteral("write"), QStringLiteral("new.cfg"),
               QStringLiteral("--json"), QStringLiteral("--accept-errors")});
  ASSERT_TRUE(write.waitForStarted());
  ASSERT_TRUE(AwaitImageFrame());
  QThread::msleep(4000);
  emulator->Signal(SIGUSR2);  // pulled
  QThread::msleep(1000);
  emulator->Signal(SIGUSR2);  // plugged in again
  ASSERT_TRUE(write.waitForFinished(90000));
  EXPECT_EQ(write.exitCode(), 1) << write.readAllStandardError().toStdString();
  const QJsonObject json = QJsonDocument::fromJson(write.readAllStandardOutput()).object();
  EXPECT_EQ(json[QStringLiteral("station_holds")].toString(), QStringLiteral("mixed"));
  EXPECT_GT(json[QStringLiteral("new_bytes")].toInt(), 0);
  const QString before = json[QStringLiteral("before")].toString();
  ASSERT_TRUE(before.startsWith(QStringLiteral("history/"))) << before.toStdString();

  QProcess back;
  Prepare(back);
  back.start(QStringLiteral(NORVEL_COMMAND),
             {QStringLiteral("config"), QStringLiteral("write"), before});
  ASSERT_TRUE(back.waitForFinished(90000));
  EXPECT_EQ(back.exitCode(), 0) << back.readAllStandardError().toStdString();
  emulator->Stop();
  QFile kept(dir.filePath(before));
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(emulator->Memory().mid(1280, 512), kept.readAll());
}
