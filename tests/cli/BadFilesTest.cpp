// Every command against damaged, strange and hostile files in its working directory: each run
// ends by itself, soon, with an exit code of its own (never a signal's), and says what is wrong
// in a few lines rather than echoing the file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>

namespace {

// A file of the working directory made bad in one way.
struct BadFile {
  const char* name;
  const char* file;
  std::function<bool(const QString& path)> make;
};

bool Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
auto Text(QByteArray bytes) {
  return [bytes](const QString& path) { return Write(path, bytes); };
}
bool Fifo(const QString& path) {
  return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}
bool EndlessDevice(const QString& path) {
  return QFile::link(QStringLiteral("/dev/zero"), path);
}
bool Folder(const QString& path) {
  return QDir().mkdir(path);
}

const BadFile kBadFiles[] = {
    {"SettingsWithAWordForThePort", "NorvelWin.ini", Text("30.11.2026 18:00:05\r\nabc\r\n2\r\n")},
    {"SettingsWithAWordForTheBoards", "NorvelWin.ini", Text("30.11.2026 18:00:05\r\n2\r\nzz\r\n")},
    {"SettingsAFifo", "NorvelWin.ini", Fifo},
    {"SettingsEndless", "NorvelWin.ini", EndlessDevice},
    {"SettingsAFolder", "NorvelWin.ini", Folder},
    {"CopyAFifo", "Norvel.cfg", Fifo},
    {"CopyEndless", "Norvel.cfg", EndlessDevice},
    {"CopyHuge", "Norvel.cfg", Text(QByteArray(3 << 20, '\x55'))},
    {"CopyEmpty", "Norvel.cfg", Text({})},
    {"MonthAFifo", "Data12.txt", Fifo},
    {"MonthEndless", "Data12.txt", EndlessDevice},
    {"MonthOneHugeLine", "Data12.txt", Text("header\r\n" + QByteArray(4 << 20, 'x') + "\r\n")},
    {"MonthBinary", "Data12.txt", Text(QByteArray(5000, '\xff'))},
    {"TariffsAFifo", "NorvelTariffs.txt", Fifo},
    {"TariffsEndless", "NorvelTariffs.txt", EndlessDevice},
    {"TariffsGarbage", "NorvelTariffs.txt", Text(QByteArray(3000, '\x01'))},
    {"LastReceptionAFifo", "NorvelLastReception.json", Fifo},
    {"LastReceptionEndless", "NorvelLastReception.json", EndlessDevice},
    {"LastSyncAFifo", "NorvelLastSync.json", Fifo},
    {"LastSyncEndless", "NorvelLastSync.json", EndlessDevice},
    {"JournalAFifo", "NorvelWin.jnl", Fifo},
    {"AlertsAFifo", "NorvelAlerts.txt", Fifo},
    {"AlertsEndless", "NorvelAlerts.txt", EndlessDevice},
    {"SeenAlertsAFifo", "NorvelAlerts.seen", Fifo},
    {"SubscribersAFifo", "NorvelSubscribers.txt", Fifo},
};

const QStringList kCommands[] = {
    {"export", "--month", "12"},
    {"export", "--month", "12", "-o", "out.xlsx"},
    {"bill", "--month", "12"},
    {"bill", "--month", "12", "-o", "bill.pdf"},
    {"report", "--month", "12", "-o", "report.pdf"},
    {"sync", "--db", "sqlite:calls.db", "--init", "--station", "office"},
    {"status"},
    {"alerts", "--month", "12"},
    {"config", "check", "Norvel.cfg"},
    {"config", "show", "Norvel.cfg"},
    {"config", "write", "Norvel.cfg"},
    {"doctor"},
    {"receive"},
};

class BadFiles : public ::testing::TestWithParam<BadFile> {};

}  // namespace

TEST_P(BadFiles, EveryCommandEndsSoonWithAMessageAndAnExitCodeOfItsOwn) {
  const BadFile bad = GetParam();
  for (const QStringList& command : kCommands) {
    QTemporaryDir dir;
    ASSERT_TRUE(bad.make(dir.filePath(QLatin1String(bad.file)))) << bad.name;
    QProcess norvel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NORVEL_COM2"), dir.filePath(QStringLiteral("no-station")));
    norvel.setProcessEnvironment(environment);
    norvel.setWorkingDirectory(dir.path());
    QElapsedTimer timer;
    timer.start();
    norvel.start(QStringLiteral(NORVEL_COMMAND), command);
    const bool ended = norvel.waitForFinished(20000);
    const QString what = QStringLiteral("%1: norvel %2").arg(bad.name, command.join(u' '));
    if (!ended) norvel.kill();
    ASSERT_TRUE(ended) << what.toStdString();
    EXPECT_LT(timer.elapsed(), 10000) << what.toStdString();
    EXPECT_EQ(norvel.exitStatus(), QProcess::NormalExit) << what.toStdString();
    EXPECT_LT(norvel.exitCode(), 128) << what.toStdString();
    const QByteArray err = norvel.readAllStandardError();
    EXPECT_LT(err.size(), 16 * 1024) << what.toStdString();
    // A failure says why (status and doctor report on standard output, by design).
    if (norvel.exitCode() >= 2 && command.first() != QLatin1String("status") &&
        command.first() != QLatin1String("doctor")) {
      EXPECT_FALSE(err.isEmpty()) << what.toStdString();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Norvel, BadFiles, ::testing::ValuesIn(kBadFiles),
                         [](const ::testing::TestParamInfo<BadFile>& info) {
                           return std::string(info.param.name);
                         });

// A configuration named on the command line that is no file is a wrong argument (2); one that
// cannot be read (EIO: /proc/self/mem at its start) says the system's reason, and nothing of it
// is taken as an empty configuration.
TEST(BadConfigArguments, NoFileIsAWrongArgumentAndAReadErrorIsNeverEmpty) {
  const struct {
    const char* name;
    std::function<bool(const QString& path)> make;  // none: /proc/self/mem
    int writeCode;
    const char* said;
  } rows[] = {
      {"a pipe", Fifo, 2, "is not a file"},
      {"an endless device", EndlessDevice, 2, "is not a file"},
      {"a folder", Folder, 2, "is not a file"},
      {"a read error", nullptr, 13, "Input/output error"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    QTemporaryDir dir;
    const QString path = row.make ? dir.filePath(QStringLiteral("x.cfg")) : "/proc/self/mem";
    if (row.make) {
      ASSERT_TRUE(row.make(path));
    }
    Write(dir.filePath(QStringLiteral("NorvelWin.ini")), "30.11.2026 18:00:05\r\n2\r\n2\r\n");
    for (const QStringList& command :
         {QStringList{"config", "write", path},
          QStringList{"config", "import", path, "--base", "empty", "-o", "o.cfg"},
          QStringList{"config", "show", path}}) {
      QProcess norvel;
      norvel.setWorkingDirectory(dir.path());
      norvel.start(QStringLiteral(NORVEL_COMMAND), command);
      ASSERT_TRUE(norvel.waitForFinished(20000));
      const int expected = command[1] == QLatin1String("write") ? row.writeCode : 2;
      EXPECT_EQ(norvel.exitCode(), expected) << command.join(u' ').toStdString();
      if (command[1] == QLatin1String("write") || !row.make) {
        EXPECT_TRUE(norvel.readAllStandardError().contains(row.said))
            << command.join(u' ').toStdString();
      }
      EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("o.cfg"))));
    }
  }
}
