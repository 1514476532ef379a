// `norvel` against a strict station emulator (a frame ends after 50 ms of silence, a reply
// starts at the very moment the reply time ends) while the program is stopped for 300 ms at
// random moments, twenty times in a transfer, and while two CPU-bound processes keep the
// machine's cores busy. Every frame must arrive whole and every byte of every reply be kept.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>
#include <random>
#include <vector>

#include "Emulator.h"

namespace {

constexpr int kStops = 20;
constexpr int kStopMs = 300;

// Processes that keep one core each busy while they live.
class CpuHogs {
 public:
  explicit CpuHogs(int count) {
    for (int i = 0; i < count; ++i) {
      hogs_.push_back(std::make_unique<QProcess>());
      hogs_.back()->start(QStringLiteral("sh"),
                          {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
      hogs_.back()->waitForStarted();
    }
  }
  ~CpuHogs() {
    for (auto& hog : hogs_) {
      hog->kill();
      hog->waitForFinished(2000);
    }
  }

 private:
  std::vector<std::unique_ptr<QProcess>> hogs_;
};

struct Load {
  const char* name;
  int hogs;
};

struct LineUnderLoad : ::testing::TestWithParam<Load> {
  QTemporaryDir dir;
  std::unique_ptr<EmulatorProcess> emulator;
  int stops = 0;  // how often the last run was stopped

  void StartEmulator(station::StationOptions options) {
    options.frameGapMs = 50;
    options.replyMarginMs = 0;
    options.realtime = true;
    options.boards = 4;  // every byte of any image means something to it
    emulator = std::make_unique<EmulatorProcess>(options);
    ASSERT_TRUE(emulator->Start());
    QFile settings(dir.filePath(QStringLiteral("NorvelWin.ini")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("30.11.2026 18:00:05 ; x\r\n2 ; x\r\n4 ; x\r\n");
  }

  // Runs norvel with these arguments beside the load, lets `stop` stop it as it likes (giving
  // how often it did), and gives its exit code, or -1 when it did not finish.
  int RunLoaded(const QStringList& arguments, QByteArray* out,
                const std::function<int(QProcess&, pid_t)>& stop) {
    CpuHogs hogs(GetParam().hogs);
    QProcess norvel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NORVEL_COM2"), emulator->LinkPath());
    norvel.setProcessEnvironment(environment);
    norvel.setWorkingDirectory(dir.path());
    norvel.start(QStringLiteral(NORVEL_COMMAND), arguments);
    if (!norvel.waitForStarted()) return -1;
    stops = stop(norvel, static_cast<pid_t>(norvel.processId()));
    norvel.waitForFinished(120000);
    const bool finished = norvel.state() == QProcess::NotRunning;
    *out = norvel.readAllStandardOutput() + norvel.readAllStandardError();
    return finished ? norvel.exitCode() : -1;
  }

  // Stops norvel for 300 ms at random moments until it has been stopped twenty times.
  int RunStopped(const QStringList& arguments, QByteArray* out) {
    const int code = RunLoaded(arguments, out, [](QProcess& norvel, pid_t pid) {
      std::mt19937 random(std::random_device{}());
      std::uniform_int_distribution<int> between(300, 1300);
      int stopped = 0;
      // The first second is the link check; the stops fall in the transfers after it.
      norvel.waitForFinished(1000);
      while (stopped < kStops && norvel.state() == QProcess::Running) {
        if (norvel.waitForFinished(between(random))) break;
        ::kill(pid, SIGSTOP);
        QThread::msleep(kStopMs);
        ::kill(pid, SIGCONT);
        ++stopped;
      }
      return stopped;
    });
    std::printf("%s: stopped %d times for %d ms\n", GetParam().name, stops, kStopMs);
    EXPECT_GE(stops, kStops / 2) << "the transfer ended before it could be stopped often";
    return code;
  }

  // Once the station has heard the link check put its test byte back (the image frame comes
  // next and takes 16 s), stops norvel for 3 s twice, 3 s and 8 s into the frame.
  int RunStoppedInTheImageFrame(const QStringList& arguments, QByteArray* out) {
    const int code = RunLoaded(arguments, out, [this](QProcess& norvel, pid_t pid) {
      const auto testBytePutBack = [&] {
        return emulator->Trace().filter(QStringLiteral(" W 1791 ")).size() >= 2;
      };
      while (!testBytePutBack() && !norvel.waitForFinished(50)) {
      }
      int stopped = 0;
      for (const int after : {3000, 2000}) {
        if (norvel.waitForFinished(after)) break;
        ::kill(pid, SIGSTOP);
        QThread::msleep(3000);
        ::kill(pid, SIGCONT);
        ++stopped;
      }
      return stopped;
    });
    EXPECT_EQ(stops, 2) << "the write ended before it could be stopped";
    return code;
  }

  // Frames cut by a silence, or bytes that made no frame, as the station heard them.
  std::string Damage() const {
    QStringList damage;
    for (const QString& line : emulator->Trace()) {
      if (line.contains(QStringLiteral(" C ")) || line.contains(QStringLiteral(" N "))) {
        damage << line;
      }
    }
    return damage.join(QStringLiteral(" | ")).toStdString();
  }
};

}  // namespace

// Writes a byte pattern of the whole image with the checks' errors of one, as asked, through
// `run`; every frame must arrive whole.
void WritePattern(LineUnderLoad& test,
                  const std::function<int(const QStringList&, QByteArray*)>& run) {
  test.StartEmulator({});
  QByteArray image(512, 0);
  for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>((i * 37 + 11) & 0xFF);
  const QString file = test.dir.filePath(QStringLiteral("new.cfg"));
  QFile saved(file);
  ASSERT_TRUE(saved.open(QIODevice::WriteOnly));
  saved.write(image);
  saved.close();
  QByteArray said;
  EXPECT_EQ(run({QStringLiteral("config"), QStringLiteral("write"), file, QStringLiteral("--yes"),
                 QStringLiteral("--accept-errors")},
                &said),
            0)
      << said.toStdString();
  test.emulator->Stop();
  EXPECT_EQ(test.Damage(), "");
  EXPECT_EQ(test.emulator->Memory().mid(1280, 512), image);
}

TEST_P(LineUnderLoad, AWriteOfTheWholeImageArrivesWhole) {
  WritePattern(*this, [this](const QStringList& arguments, QByteArray* said) {
    return RunStopped(arguments, said);
  });
}

// The port's queue carries the image frame on while the program is stopped for seconds.
TEST_P(LineUnderLoad, AWriteStoppedForSecondsMidFrameArrivesWhole) {
  WritePattern(*this, [this](const QStringList& arguments, QByteArray* said) {
    return RunStoppedInTheImageFrame(arguments, said);
  });
  EXPECT_TRUE(emulator->Messages().contains("W 1280, longest silence inside 0.0 ms"));
}

TEST_P(LineUnderLoad, AReceptionOf200CallsStoresEachOnce) {
  station::StationOptions options;
  options.calls = 200;
  options.callDays = 1;
  StartEmulator(options);
  QByteArray said;
  EXPECT_EQ(RunStopped({QStringLiteral("receive")}, &said), 0) << said.toStdString();
  EXPECT_TRUE(said.startsWith("stored 200 calls")) << said.toStdString();
  emulator->Stop();
  EXPECT_EQ(Damage(), "");
  int lines = 0;
  for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("Data*.txt")})) {
    QFile month(dir.filePath(name));
    ASSERT_TRUE(month.open(QIODevice::ReadOnly));
    lines += static_cast<int>(month.readAll().count("\r\n")) - 1;  // less the heading
  }
  EXPECT_EQ(lines, 200);
  // The record area was emptied: the end pointer stands at its start again.
  const QByteArray memory = emulator->Memory();
  EXPECT_EQ(static_cast<quint8>(memory[737]) | static_cast<quint8>(memory[738]) << 8, 1792);
}

INSTANTIATE_TEST_SUITE_P(Stopped, LineUnderLoad,
                         ::testing::Values(Load{"stopped", 0},
                                           Load{"stopped on a busy machine", 2}),
                         [](const auto& info) { return info.param.hogs ? "BusyMachine" : "Idle"; });
