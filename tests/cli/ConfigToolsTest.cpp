// The history of written configurations, `norvel config diff` against files and the station,
// and `norvel doctor` against a missing device, a device without permission, one held by
// another process, and the emulator.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "CommandRunner.h"
#include "Emulator.h"
#include "FakeClock.h"
#include "FakeSerial.h"
#include "ScriptedUi.h"
#include "cli/NorvelCommand.h"
#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/files/ConfigCopy.h"
#include "core/files/SettingsFile.h"
#include "core/image/ImageLayout.h"
#include "core/link/QtSerialTransport.h"
#include "core/platform/SerialPlatform.h"
#include "core/station/ConfigHistory.h"
#include "core/station/StationCtrl.h"

namespace {

QByteArray Bytes(const ConfigImage& image) {
  return QByteArray(reinterpret_cast<const char*>(image.data()), kImageSize);
}

ConfigImage Pattern(int seed) {
  ConfigImage image;
  for (int i = 0; i < kImageSize; ++i) image[i] = static_cast<quint8>(i * 7 + seed);
  image[511] = 0x11;
  return image;
}

struct History : ::testing::Test {
  FakeClock clock;
  ScriptedUi ui;
  FakePorts ports;
  QTemporaryDir dir;
  Environment env{ui, clock, ports, dir.path()};
  QStringList Pairs() {
    return QDir(dir.filePath(QStringLiteral("history")))
        .entryList({QStringLiteral("*-before.cfg")}, QDir::Files, QDir::Name);
  }
  QByteArray Read(const QString& name) {
    QFile file(dir.filePath(QStringLiteral("history/") + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
};

}  // namespace

TEST_F(History, AWriteLeavesWhatTheStationHeldAndWhatItHoldsNow) {
  station::StationOptions options;
  const ConfigImage held = Pattern(1);
  options.image = std::vector<std::uint8_t>(held.begin(), held.end());
  FakeLine line(clock, options);
  ports.Plug(ComPortDeviceName(2), &line);
  WriteSettingsFile(env.workDir, 2, 2, clock.Now());
  WriteConfigCopy(env.workDir, env.ui, Pattern(1));
  StationCtrlClass station(env);
  ASSERT_TRUE(station.StartProgramming());
  station.SetImage(Pattern(2));
  ui.ExpectInfo(QStringLiteral("Запись выполнена успешно"), false);
  const QDateTime attempt = clock.Now();
  station.WriteAndSave();
  ui.Verify();
  const QStringList pairs = Pairs();
  ASSERT_EQ(pairs.size(), 1);
  EXPECT_EQ(pairs[0], attempt.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
                          QStringLiteral("-before.cfg"));
  EXPECT_EQ(Read(pairs[0]), Bytes(Pattern(1)));
  EXPECT_EQ(Read(QString(pairs[0]).replace(QStringLiteral("before"), QStringLiteral("after"))),
            Bytes(Pattern(2)));
}

// One attempt's files, as a verified write leaves them.
void KeepPair(const QString& dir, const ConfigImage& before, const ConfigImage& after,
              const QDateTime& moment) {
  ConfigHistoryEntry entry(dir, moment);
  ASSERT_EQ(entry.KeepBefore(before), QString());
  ASSERT_EQ(entry.KeepAfter(after), QString());
}

TEST_F(History, TheNewest200AttemptsAreKept) {
  const QDateTime start = MakeDateTime(QDate(2026, 12, 7), QTime(9, 0));
  for (int i = 0; i < 201; ++i) KeepPair(env.workDir, Pattern(i), Pattern(i + 1), start.addSecs(i));
  const QStringList pairs = Pairs();
  ASSERT_EQ(pairs.size(), 200);
  EXPECT_EQ(pairs.first(), QStringLiteral("2026-12-07_09-00-01-before.cfg"));
  EXPECT_FALSE(
      QFile::exists(dir.filePath(QStringLiteral("history/2026-12-07_09-00-00-after.cfg"))));
  // Two writes within one second keep both.
  KeepPair(env.workDir, Pattern(1), Pattern(2), start.addSecs(200));
  EXPECT_TRUE(
      QFile::exists(dir.filePath(QStringLiteral("history/2026-12-07_09-03-20_2-after.cfg"))));
}

TEST_F(History, AWriteCutMidFrameKeepsTheOriginalAndWhatWasBeingWritten) {
  station::StationOptions options;
  const ConfigImage original = Pattern(1);
  options.image = std::vector<std::uint8_t>(original.begin(), original.end());
  FakeLine line(clock, options);
  ports.Plug(ComPortDeviceName(2), &line);
  WriteSettingsFile(env.workDir, 2, 2, clock.Now());
  WriteConfigCopy(env.workDir, env.ui, original);
  StationCtrlClass station(env);
  ASSERT_TRUE(station.StartProgramming());
  // The cable is pulled once the station has heard 200 bytes of the image frame.
  long frameStart = -1;
  long heard = 0;
  line.Station().OnTrace([&](const station::TraceEntry& entry) {
    if (entry.kind == station::TraceEntry::kWrite && entry.address == 1791 &&
        entry.bytes.size() == 1 && entry.bytes[0] != 0xAA)
      frameStart = heard;  // the test byte put back: the image frame comes next
  });
  line.beforeDelivery = [&](long delivered) {
    heard = delivered + 1;
    if (frameStart >= 0 && delivered == frameStart + 200) line.Station().SetCablePulled(true);
  };
  // The bytes leave the PC (the line takes them), the read-back finds no station.
  ui.ExpectInfo(QStringLiteral("Ошибка записи в АТС."), true);
  station.SetImage(Pattern(2));
  station.WriteAndSave();
  ui.Verify();

  // Plugged back, read anew (now half written) and written again.
  line.beforeDelivery = nullptr;
  line.Station().OnTrace(nullptr);
  line.Station().SetCablePulled(false);
  clock.AdvanceUs(2'000'000);
  ui.ExpectYesNo({}, false, false);  // the station differs from the copy now
  ASSERT_TRUE(station.StartProgramming());
  const ConfigImage halfWritten = station.Image();
  ASSERT_NE(halfWritten, original);
  station.SetImage(Pattern(2));
  ui.ExpectInfo(QStringLiteral("Запись выполнена успешно"), false);
  station.WriteAndSave();
  ui.Verify();

  const QStringList attempts = Pairs();
  ASSERT_EQ(attempts.size(), 2);
  const QString first = attempts[0].chopped(QStringLiteral("-before.cfg").size());
  const QString second = attempts[1].chopped(QStringLiteral("-before.cfg").size());
  EXPECT_EQ(Read(first + "-before.cfg"), Bytes(original));  // what to go back to
  EXPECT_EQ(Read(first + "-failed.cfg"), Bytes(Pattern(2)));
  EXPECT_FALSE(QFile::exists(dir.filePath("history/" + first + "-after.cfg")));
  EXPECT_EQ(Read(second + "-before.cfg"), Bytes(halfWritten));
  EXPECT_EQ(Read(second + "-after.cfg"), Bytes(Pattern(2)));
}

// The image before a write is the way back: where it cannot be kept, the write does not start.
TEST_F(History, AHistoryThatCannotBeKeptStopsTheWrite) {
  QFile blocker(dir.filePath(QStringLiteral("history")));  // a file where the folder would be
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  station::StationOptions options;
  FakeLine line(clock, options);
  ports.Plug(ComPortDeviceName(2), &line);
  WriteSettingsFile(env.workDir, 2, 2, clock.Now());
  StationCtrlClass station(env);
  ui.ExpectInfo(QStringLiteral("Не найден файл Norvel.cfg"), true);
  ui.ExpectYesNo({}, false, false);  // the mismatch question, with no copy to write
  ASSERT_TRUE(station.StartProgramming());
  const ConfigImage held = station.StationImage();
  station.SetImage(Pattern(5));
  ui.ExpectInfo({}, true);
  EXPECT_EQ(station.WriteAndSave(), StationCtrlClass::WriteOutcome::kHistoryNotKept);
  ui.Verify();
  EXPECT_TRUE(station.Modified());
  EXPECT_TRUE(ui.Boxes()[2].text.startsWith(QStringLiteral("История записей конфигурации")));
  EXPECT_EQ(station.LastWriteVerdict().holds, WriteVerdict::Holds::kBefore);
  EXPECT_TRUE(std::equal(held.begin(), held.end(), line.Station().Memory().begin() + 1280));
}

namespace {

struct Command : ::testing::Test {
  SystemClock clock;
  QtSerialPortFactory ports;
  QTemporaryDir dir;
  QBuffer out;
  QBuffer err;
  int Run(const QStringList& arguments) {
    out.close();
    err.close();
    out.setData({});
    err.setData({});
    out.open(QIODevice::ReadWrite);
    err.open(QIODevice::ReadWrite);
    CommandIo io{clock, ports, out, err, false, dir.path()};
    return RunNorvel(arguments, io);
  }
  QString Out() const { return QString::fromUtf8(out.data()); }
  QString Write(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  }
};

}  // namespace

TEST_F(Command, ConfigDiffOfFilesAndOfTheStation) {
  ConfigImage a = Pattern(3);
  ConfigImage b = a;
  b[44] ^= 0x04;
  const QString fileA = Write(QStringLiteral("a.cfg"), Bytes(a));
  const QString fileB = Write(QStringLiteral("b.cfg"), Bytes(b));
  EXPECT_EQ(Run({"config", "diff", fileA, fileA}), 0);
  EXPECT_TRUE(Out().isEmpty());
  EXPECT_EQ(Run({"config", "diff", fileA, fileB, "--boards", "1"}), 1);
  EXPECT_EQ(Out().count(u'\n'), 1);
  EXPECT_TRUE(
      Out().startsWith(QStringLiteral("ДВО-1 абонентов, день, абонент 25, Основной режим ОС3:")));
  EXPECT_EQ(Run({"config", "diff", fileA, dir.filePath("missing.cfg")}), 2);
  // The older 256-byte form is read as the copy loader reads it.
  const QString old = Write(QStringLiteral("old.cfg"), Bytes(a).left(256));
  EXPECT_EQ(Run({"config", "diff", old, fileA}), 1);

  station::StationOptions options;
  options.image = std::vector<std::uint8_t>(b.begin(), b.end());
  options.boards = 1;
  EmulatorProcess emulator(options);
  ASSERT_TRUE(emulator.Start());
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));
  EXPECT_EQ(Run({"config", "diff", fileB, "station"}), 0) << err.data().toStdString();
  EXPECT_EQ(Run({"config", "diff", fileA, "station"}), 1);
  EXPECT_TRUE(Out().contains(QStringLiteral("абонент 25, Основной режим ОС3")));
  qunsetenv("NORVEL_COM2");
  emulator.Stop();
  EXPECT_FALSE(emulator.Traffic().join(u' ').contains(u'W'));  // read only, nothing written
}

TEST_F(Command, DoctorFindsAMissingDevice) {
  qputenv("NORVEL_COM4", QFile::encodeName(dir.filePath("ttyGone")));
  EXPECT_EQ(Run({"doctor", "--port", "4"}), 1);
  EXPECT_TRUE(Out().contains(QStringLiteral("which does not exist"))) << Out().toStdString();
  EXPECT_TRUE(Out().contains(QStringLiteral("fix: name the device: NORVEL_COM4=")));
  qunsetenv("NORVEL_COM4");
  // A settings file that is a folder is a finding (exit 1), and the checks go on with COM2.
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("NorvelWin.ini")));
  qputenv("NORVEL_COM2", QFile::encodeName(dir.filePath("ttyGone")));
  EXPECT_EQ(Run({"doctor"}), 1);
  EXPECT_TRUE(Out().startsWith(QStringLiteral("0. ")) &&
              Out().contains(QStringLiteral("NorvelWin.ini")))
      << Out().toStdString();
  EXPECT_TRUE(Out().contains(QStringLiteral("COM2 is ")));
  qunsetenv("NORVEL_COM2");
}

TEST_F(Command, DoctorFindsNoPermissionAndAHolder) {
  const QString device = Write(QStringLiteral("ttyLocked"), "x");
  ASSERT_EQ(::chmod(QFile::encodeName(device).constData(), 0600), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(QFile::encodeName(device).constData(), 65534, 65534), 0);
  } else {
    GTEST_SKIP() << "needs root to give the device away";
  }
  // Another process holds it open.
  QProcess holder;
  holder.start(QStringLiteral("bash"),
               {"-c", QStringLiteral("exec 3<'%1'; echo ready; exec sleep 30").arg(device)});
  ASSERT_TRUE(holder.waitForReadyRead(5000));
  const qint64 pid = holder.processId();
  qputenv("NORVEL_COM4", QFile::encodeName(device));
  EXPECT_EQ(Run({"doctor", "--port", "4"}), 1);
  qunsetenv("NORVEL_COM4");
  holder.kill();
  holder.waitForFinished();
  // Open to its owner alone: a group must be given to it first, not joined.
  EXPECT_TRUE(
      Out().contains(QStringLiteral("no permission to open it: it is open to its owner "
                                    "nobody alone (mode 0600)")))
      << Out().toStdString();
  EXPECT_TRUE(Out().contains(QStringLiteral("fix: give it to the group dialout with a udev rule")));
  EXPECT_TRUE(Out().contains(QStringLiteral("held by process %1 (").arg(pid)))
      << Out().toStdString();

  // Open to its group: the user joins it.
  const struct group* dialout = getgrnam("dialout");
  ASSERT_NE(dialout, nullptr);
  ASSERT_EQ(::chown(QFile::encodeName(device).constData(), 65534, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(device).constData(), 0060), 0);
  qputenv("NORVEL_COM4", QFile::encodeName(device));
  EXPECT_EQ(Run({"doctor", "--port", "4", "--as", "nobody"}), 1);
  qunsetenv("NORVEL_COM4");
  // Root runs the mending as printed, without sudo.
  EXPECT_TRUE(Out().contains(QStringLiteral("fix: adduser nobody dialout"))) << Out().toStdString();
}

// The doctor, even run as root, creates and changes nothing in the working directory; asked
// as another user, it judges by that user's permissions, and says it all as JSON when asked.
TEST_F(Command, DoctorChangesNothingAndChecksAsTheGivenUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to check as another user";
  station::StationOptions options;
  EmulatorProcess emulator(options);
  ASSERT_TRUE(emulator.Start());
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));
  const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
  EXPECT_EQ(Run({"doctor", "--port", "2"}), 0) << Out().toStdString();
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
  EXPECT_EQ(Run({"doctor", "--port", "2", "--as", "nobody", "--json"}), 1);
  qunsetenv("NORVEL_COM2");
  const QJsonObject report = QJsonDocument::fromJson(Out().toUtf8()).object();
  EXPECT_EQ(report["exit_code"].toInt(), 1);
  const QJsonObject last = report["steps"].toArray().last().toObject();
  EXPECT_EQ(last["step"].toInt(), 6);
  EXPECT_EQ(last["state"].toString(), QStringLiteral("wrong"));
  EXPECT_TRUE(last["text"].toString().contains(QStringLiteral("cannot be written by nobody")));
}

// The doctor's look at the station is a contact like any other: the test byte a cut-off write
// left in byte 1791 goes back, through a real pseudo-terminal.
TEST_F(Command, TheDoctorPutsBackALeftTestByte) {
  station::StationOptions options;
  options.image = std::vector<std::uint8_t>(512, 0);
  (*options.image)[511] = 0xAA;
  EmulatorProcess emulator(options);
  ASSERT_TRUE(emulator.Start());
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("history")));
  Write(QStringLiteral("history/write-test.pending"), "23\n");
  Run({"doctor", "--port", "2"});
  qunsetenv("NORVEL_COM2");
  emulator.Stop();
  ASSERT_EQ(emulator.Memory().size(), 65536);
  EXPECT_EQ(static_cast<quint8>(emulator.Memory().at(1791)), 23) << Out().toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("history/write-test.pending"))));
}

// Files a reception writes that the receiving user cannot write (left by root, say) are found,
// and the mending, run as printed, gives them back: the doctor afterwards finds nothing. Run
// by root without --as, the doctor names a real user, never "$USER".
TEST_F(Command, DoctorsMendingRunAsPrintedMakesTheDirectoryWork) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to judge for another user";
  station::StationOptions options;
  EmulatorProcess emulator(options);
  ASSERT_TRUE(emulator.Start());
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
  const QString month = Write(QStringLiteral("Data12.txt"), "x");
  ASSERT_EQ(::chmod(QFile::encodeName(month).constData(), 0644), 0);
  const QString lock = Write(QStringLiteral("NorvelWin.lock"), "");
  ASSERT_EQ(::chmod(QFile::encodeName(lock).constData(), 0600), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(emulator.LinkPath()).constData(), 0666), 0);
  EXPECT_EQ(Run({"doctor", "--port", "2", "--as", "nobody", "--json"}), 1);
  QJsonObject step =
      QJsonDocument::fromJson(Out().toUtf8()).object()["steps"].toArray().last().toObject();
  EXPECT_EQ(step["step"].toInt(), 6);
  EXPECT_TRUE(step["text"].toString().contains(
      QStringLiteral("nobody cannot write Data12.txt (owner root, mode 0644), the lock file "
                     "NorvelWin.lock (owner root, mode 0600)")))
      << step["text"].toString().toStdString();
  ASSERT_FALSE(step["command"].toString().isEmpty());
  EXPECT_TRUE(step["fix"].toString().endsWith(step["command"].toString()));
  EXPECT_EQ(QProcess::execute(QStringLiteral("sh"), {"-c", step["command"].toString()}), 0);
  EXPECT_EQ(Run({"doctor", "--port", "2", "--as", "nobody", "--json"}), 0) << Out().toStdString();

  Run({"doctor", "--port", "2"});
  EXPECT_FALSE(Out().contains(QStringLiteral("USER"))) << Out().toStdString();
  EXPECT_FALSE(Out().contains(QStringLiteral("sudo"))) << Out().toStdString();
  Run({"doctor", "--port", "2", "--json"});
  const QString user = getpwnam("norvel") ? QStringLiteral("norvel") : QStringLiteral("root");
  EXPECT_EQ(QJsonDocument::fromJson(Out().toUtf8()).object()["user"].toString(), user);
  qunsetenv("NORVEL_COM2");
}

TEST_F(Command, DoctorFindsTheEmulatorWell) {
  station::StationOptions options;
  options.boards = 3;
  EmulatorProcess emulator(options);
  ASSERT_TRUE(emulator.Start());
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));
  EXPECT_EQ(Run({"doctor", "--port", "2"}), 0) << Out().toStdString();
  qunsetenv("NORVEL_COM2");
  EXPECT_TRUE(Out().contains(QStringLiteral("4. the driver takes 325 and 976 bit/s: OK")));
  EXPECT_TRUE(Out().contains(QStringLiteral("5. the station answers, with 3 boards: OK")));
}

// `norvel config write` against the emulator: the station's memory and Norvel.cfg hold the
// saved configuration byte for byte.
TEST_F(Command, ConfigWriteReachesTheStationsMemory) {
  ConfigImage saved = Pattern(9);
  for (int line = 1; line <= 8; ++line) {
    for (const bool day : {true, false}) saved[IncomingCellOffset(day, line, 1)] = 0x80;
  }
  station::StationOptions options;
  options.boards = 4;
  EmulatorProcess emulator(options);
  ASSERT_TRUE(emulator.Start());
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));
  const QString file = Write(QStringLiteral("saved.cfg"), Bytes(saved));
  // Its additional mode rings no one: written all the same, as asked.
  EXPECT_EQ(Run({"config", "write", file, "--accept-errors"}), 0) << err.data().toStdString();
  qunsetenv("NORVEL_COM2");
  emulator.Stop();
  EXPECT_EQ(emulator.Memory().mid(1280, kImageSize), Bytes(saved));
  QFile copy(dir.filePath(QStringLiteral("Norvel.cfg")));
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
  EXPECT_EQ(copy.readAll(), Bytes(saved));
}

namespace {

// The configuration commands against a station model on the fake clock.
struct ConfigText : ::testing::Test {
  FakeClock clock;
  FakePorts ports;
  QTemporaryDir dir;
  std::optional<FakeLine> line;
  void Plug(const ConfigImage& held, int boards) {
    station::StationOptions options;
    options.image = std::vector<std::uint8_t>(held.begin(), held.end());
    options.boards = boards;
    line.emplace(clock, options);
    ports.Plug(ComPortDeviceName(2), &*line);
  }
  ConfigImage Held() {
    ConfigImage image;
    std::copy_n(line->Station().Memory().begin() + 1280, kImageSize, image.begin());
    return image;
  }
  CommandRunner norvel{clock, ports};
  int Run(const QStringList& arguments) { return norvel.Run(dir.path(), arguments); }
  QString Out() const { return norvel.Out(); }
  QString Err() const { return norvel.Err(); }
  QString Write(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  }
};

const char kTemplate[] =
    "# ночью абонент 20 без МТС\n"
    "Доступ абонентов к МТС, ночь, абонент 20, 1 = нет\n"
    "Переключение режимов, Номер телефона 1 администратора = 31\n";

}  // namespace

TEST_F(ConfigText, ExportImportAndDiffOfTexts) {
  const ConfigImage image = Pattern(5);
  const QString cfg = Write(QStringLiteral("a.cfg"), Bytes(image));
  ASSERT_EQ(Run({"config", "export", cfg, "-o", dir.filePath("a.txt")}), 0) << Err().toStdString();
  ASSERT_EQ(Run({"config", "import", dir.filePath("a.txt"), "--base", "empty", "-o",
                 dir.filePath("b.cfg")}),
            0);
  QFile back(dir.filePath("b.cfg"));
  ASSERT_TRUE(back.open(QIODevice::ReadOnly));
  EXPECT_EQ(back.readAll(), Bytes(image));
  // A template on a base, and diff taking texts as they are.
  const QString text = Write(QStringLiteral("t.txt"), kTemplate);
  ASSERT_EQ(Run({"config", "import", text, "--base", cfg, "-o", dir.filePath("c.cfg")}), 0);
  EXPECT_EQ(Run({"config", "diff", cfg, dir.filePath("c.cfg")}), 1);
  EXPECT_EQ(Out().count(u'\n'), image[AdminPhoneOffset(1)] == SubscriberCode(31) ? 1 : 2);
  EXPECT_EQ(Run({"config", "diff", dir.filePath("a.txt"), cfg}), 0);
  // A mistake writes nothing.
  const QString bad = Write(QStringLiteral("bad.txt"), "байт 600 = 0x01\n");
  EXPECT_EQ(Run({"config", "import", bad, "--base", "empty", "-o", dir.filePath("d.cfg")}), 2);
  EXPECT_EQ(Err(), "norvel: " + bad + ": line 1: \"байт 600\": the image has bytes 0..511\n");
  EXPECT_FALSE(QFile::exists(dir.filePath("d.cfg")));
  // A template on zeros leaves the station ringing nobody: it is asked for by name.
  EXPECT_EQ(Run({"config", "import", text, "-o", dir.filePath("e.cfg")}), 2);
  EXPECT_TRUE(Err().contains(QStringLiteral("--base empty"))) << Err().toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath("e.cfg")));
}

// A configuration text is never written as the station's image, whatever its size or name:
// it is refused before the port is opened, and the way to apply it is named.
TEST_F(ConfigText, WriteRefusesATextAsTheImage) {
  const QByteArray padded = QByteArray(kTemplate).leftJustified(kImageSize, '\n');
  ASSERT_EQ(padded.size(), kImageSize);
  const struct {
    const char* name;
    QByteArray bytes;
  } rows[] = {{"t-512.cfg", padded}, {"t-512.txt", padded}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const QString file = Write(QString::fromLatin1(row.name), row.bytes);
    EXPECT_EQ(Run({"config", "write", file, "--port", "9"}), exitcode::kUsage);
    EXPECT_TRUE(
        Err().contains(QStringLiteral("это текст конфигурации, а не образ: norvel "
                                      "config apply")))
        << Err().toStdString();
  }
  // An image with a '=' among its bytes is still an image: it goes on to the station (which is
  // not there).
  ConfigImage image = Pattern(3);
  image[100] = '=';
  const QString file = Write(QStringLiteral("image.cfg"), Bytes(image));
  EXPECT_NE(Run({"config", "write", file, "--port", "9"}), exitcode::kUsage);
  EXPECT_FALSE(Err().contains(QStringLiteral("это текст"))) << Err().toStdString();
}

TEST_F(ConfigText, ApplyChangesTheStationsSettingsOfTheTextOnly) {
  const int mts = RegionOffset(RegionDescriptor(false, MTS), 0);  // night, subscriber 20
  ConfigImage held = Pattern(4);
  held[mts] |= 0x01;
  Plug(held, 2);
  const QString text = Write(QStringLiteral("t.txt"), kTemplate);
  ASSERT_EQ(Run({"config", "apply", text, "--dry-run"}), 0) << Err().toStdString();
  EXPECT_TRUE(
      Out().contains(QStringLiteral("Доступ абонентов к МТС, ночь, абонент 20, 1: да → нет")));
  EXPECT_TRUE(Out().contains(QStringLiteral("not written (--dry-run)")));
  EXPECT_EQ(Held(), held);

  // A text with a mistake, without settings, or too large is refused before the station is
  // called, with the reason.
  const struct {
    const char* name;
    QByteArray text;
    const char* said;
  } refused[] = {
      {"bad.txt", "Доступ абонентов к МТС, ночь = да\n", "is no setting"},
      {"empty.txt", "# пока ничего\n", "holds no setting"},
      {"huge.txt", QByteArray((4 << 20) + 1, '#'), "holds at most 4194304"},
  };
  for (const auto& row : refused) {
    SCOPED_TRACE(row.name);
    line->ClearRawSent();
    EXPECT_EQ(Run({"config", "apply", Write(QString::fromLatin1(row.name), row.text)}), 2);
    EXPECT_TRUE(Err().contains(QString::fromUtf8(row.said))) << Err().toStdString();
    EXPECT_TRUE(line->RawSent().isEmpty());
  }
  EXPECT_EQ(Held(), held);

  ASSERT_EQ(Run({"config", "apply", text}), 0) << Err().toStdString();
  ConfigImage expected = held;
  expected[mts] &= ~0x01;
  expected[AdminPhoneOffset(1)] = SubscriberCode(31);
  EXPECT_EQ(Held(), expected);
  EXPECT_EQ(QDir(dir.filePath("history")).entryList({"*-before.cfg"}, QDir::Files).size(), 1);
  // Once applied, there is nothing more to write.
  ASSERT_EQ(Run({"config", "apply", text}), 0);
  EXPECT_TRUE(Out().contains(QStringLiteral("nothing to write")));
}
