// How the line looks while `norvel config write` sends the image and reads it back from the
// station emulator: the longest silence inside any frame (beyond the bytes' own line time, as
// the station hears it) and the time of the whole write, with the machine idle, with two
// CPU-bound processes beside it, and with the program stopped for 300 ms and for 3 s once in
// the middle of the image frame; then the time of a 1000-call reception. A silence longer than a
// byte time (31 ms at 325 bit/s) inside a frame is one the station may take for the frame's end.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include "Emulator.h"

namespace {

struct Outcome {
  int exitCode = -1;
  double seconds = 0;
  double longestSilenceMs = 0;
  int cuts = 0;
};

Outcome Run(const QStringList& arguments, const station::StationOptions& options, int hogs,
            int stopAtMs, int stopForMs) {
  EmulatorProcess emulator(options);
  if (!emulator.Start()) return {};
  QTemporaryDir dir;
  QFile settings(dir.filePath(QStringLiteral("NorvelWin.ini")));
  settings.open(QIODevice::WriteOnly);
  settings.write("30.11.2026 18:00:05 ; x\r\n2 ; x\r\n4 ; x\r\n");
  settings.close();
  QFile image(dir.filePath(QStringLiteral("new.cfg")));
  image.open(QIODevice::WriteOnly);
  for (int i = 0; i < 512; ++i) image.putChar(static_cast<char>(i * 37 + 11));
  image.close();

  std::vector<std::unique_ptr<QProcess>> busy;
  for (int i = 0; i < hogs; ++i) {
    busy.push_back(std::make_unique<QProcess>());
    busy.back()->start(QStringLiteral("sh"),
                       {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
  }
  QProcess norvel;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("NORVEL_COM2"), emulator.LinkPath());
  norvel.setProcessEnvironment(environment);
  norvel.setWorkingDirectory(dir.path());
  QElapsedTimer took;
  took.start();
  // Another build of norvel may be measured against the same emulator.
  const QString command = qEnvironmentVariableIsEmpty("NORVEL_BENCH_COMMAND")
                              ? QStringLiteral(NORVEL_COMMAND)
                              : qEnvironmentVariable("NORVEL_BENCH_COMMAND");
  norvel.start(command, arguments);
  if (stopAtMs > 0 && !norvel.waitForFinished(stopAtMs)) {
    ::kill(static_cast<pid_t>(norvel.processId()), SIGSTOP);
    QThread::msleep(static_cast<unsigned long>(stopForMs));
    ::kill(static_cast<pid_t>(norvel.processId()), SIGCONT);
  }
  norvel.waitForFinished(300000);
  Outcome outcome;
  outcome.seconds = static_cast<double>(took.elapsed()) / 1000;
  outcome.exitCode = norvel.exitCode();
  for (auto& hog : busy) {
    hog->kill();
    hog->waitForFinished();
  }
  emulator.Stop();
  static const QRegularExpression silence(QStringLiteral("longest silence inside ([0-9.]+) ms"));
  const QString said = QString::fromUtf8(emulator.Messages());
  for (const auto& match : silence.globalMatch(said)) {
    outcome.longestSilenceMs = std::max(outcome.longestSilenceMs, match.captured(1).toDouble());
  }
  outcome.cuts = static_cast<int>(said.count(QStringLiteral("cut by a silence")));
  return outcome;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  station::StationOptions strict;
  strict.frameGapMs = 50;
  strict.replyMarginMs = 0;
  strict.realtime = true;
  strict.boards = 4;  // every byte of the written image means something to it
  const QStringList write = {QStringLiteral("config"), QStringLiteral("write"),
                             QStringLiteral("new.cfg"), QStringLiteral("--yes"),
                             QStringLiteral("--accept-errors")};
  struct Case {
    const char* name;
    int hogs;
    int stopAtMs;
    int stopForMs;
  };
  for (const Case& c : {Case{"idle", 0, 0, 0}, Case{"two CPU-bound processes beside it", 2, 0, 0},
                        Case{"stopped for 300 ms in the image frame", 0, 14000, 300},
                        Case{"stopped for 3 s in the image frame", 0, 14000, 3000}}) {
    const Outcome o = Run(write, strict, c.hogs, c.stopAtMs, c.stopForMs);
    std::printf(
        "write of the image, strict station, %s: exit %d, %.2f s, longest silence inside a "
        "frame %.1f ms, %d frames cut\n",
        c.name, o.exitCode, o.seconds, o.longestSilenceMs, o.cuts);
  }
  // The times on the emulator's default station, which any build of norvel can talk to.
  station::StationOptions usual;
  usual.realtime = true;
  usual.boards = 4;
  const Outcome w = Run(write, usual, 0, 0, 0);
  std::printf("write of the image, usual station: exit %d, %.2f s\n", w.exitCode, w.seconds);
  usual.calls = 1000;
  usual.callDays = 1;
  const Outcome r = Run({QStringLiteral("receive")}, usual, 0, 0, 0);
  std::printf("reception of 1000 calls, usual station: exit %d, %.2f s\n", r.exitCode, r.seconds);
  return 0;
}
