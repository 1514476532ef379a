// What the window program costs while it waits and while it receives. Idle: the port open and
// the design's 50 ms tick running, against an empty Qt window in the same run. Reception: a
// reception of N calls (default 1000) from the station emulator at the real line speed, with
// the progress window shown, against `norvel receive` on the same reception. Run it under a
// display (xvfb-run) to count the painting as the operator's desktop would.
// usage: window_cpu_bench [calls]
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include "BenchSupport.h"
#include "Emulator.h"
#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/link/QtSerialTransport.h"
#include "core/link/RS232.h"
#include "core/station/StationCtrl.h"
#include "ui/link/Thermometer.h"
#include "ui/shell/QtOperatorUi.h"

namespace {

// The windows' operator, who answers every question "Yes" without a box on the screen.
class AnsweringUi : public QtOperatorUi {
 protected:
  bool ShowBox(BoxKind, const QString&, bool) override { return true; }
};

struct Usage {
  double wall = 0;
  double cpu = 0;
  long wakeups = 0;  // voluntary context switches: times the process went to sleep
};

Usage Measure(const std::function<void()>& run) {
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const double cpuBefore = ProcessCpuSeconds();
  Usage usage;
  usage.wall = Seconds(run);
  usage.cpu = ProcessCpuSeconds() - cpuBefore;
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  usage.wakeups = after.ru_nvcsw - before.ru_nvcsw;
  return usage;
}

void RunEvents(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

void PrintIdle(const char* what, const Usage& usage) {
  std::printf("%s: CPU %.3f %% of a core, %.1f wake-ups a second\n", what,
              100.0 * usage.cpu / usage.wall, static_cast<double>(usage.wakeups) / usage.wall);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int calls = argc > 1 ? std::atoi(argv[1]) : 1000;
  constexpr int kIdleMs = 10000;

  {
    QWidget empty;
    empty.show();
    RunEvents(500);
    PrintIdle("an empty Qt window, idle", Measure([] { RunEvents(kIdleMs); }));
  }

  station::StationOptions options;
  options.realtime = true;
  options.calls = calls;
  options.callDays = 3;
  EmulatorProcess emulator(options);
  if (!emulator.Start()) {
    std::fprintf(stderr, "the emulator did not start\n");
    return 1;
  }
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));
  SystemClock clock;
  QtSerialPortFactory ports;
  AnsweringUi ui;
  TThermometerForm thermometer;
  ui.SetThermometer(&thermometer);
  QTemporaryDir dir;
  QFile settings(dir.filePath(QStringLiteral("NorvelWin.ini")));
  if (!settings.open(QIODevice::WriteOnly)) return 1;
  settings.write("01.12.2026 10:00:00 ; x\r\n2 ; x\r\n2 ; x\r\n");
  settings.close();
  Environment env{ui, clock, ports, dir.path()};
  {
    // The station object opens the port and keeps it open when the station answers, as the
    // main window's does.
    StationCtrlClass station(env);
    if (!station.Link() || !station.Link()->IsOpen()) {
      std::fprintf(stderr, "the station did not answer\n");
      return 1;
    }
    PrintIdle("NorvelWin's link, idle with the port open", Measure([] { RunEvents(kIdleMs); }));

    ReceptionResult result;
    const Usage usage = Measure([&] { result = station.ReceiveTariffication(); });
    std::printf(
        "reception of %d calls with the progress window: stored %d, %.0f s, CPU %.3f s, "
        "%.2f %% of a core\n",
        calls, result.Stored(), usage.wall, usage.cpu, 100.0 * usage.cpu / usage.wall);
    const double window = usage.cpu / usage.wall;

    // The same reception by the command, from a second station with the same calls.
    EmulatorProcess second(options);
    if (!second.Start()) return 1;
    QTemporaryDir other;
    QFile::copy(dir.filePath(QStringLiteral("NorvelWin.ini")),
                other.filePath(QStringLiteral("NorvelWin.ini")));
    QProcess norvel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NORVEL_COM2"), second.LinkPath());
    norvel.setProcessEnvironment(environment);
    norvel.setWorkingDirectory(other.path());
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    QElapsedTimer wall;
    wall.start();
    norvel.start(QStringLiteral(NORVEL_BIN_DIR "/norvel"), {QStringLiteral("receive")});
    norvel.waitForFinished(-1);
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    const auto cpuOf = [](const rusage& r) {
      return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
             static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    const double cpu = cpuOf(after) - cpuOf(before);
    std::printf("the same reception by norvel receive: %s%s", norvel.readAllStandardOutput().data(),
                norvel.exitCode() == 0 ? "" : norvel.readAllStandardError().data());
    std::printf(
        "  %.0f s, CPU %.3f s, %.2f %% of a core; window / command = %.2f (goal: the "
        "window at most 0.5 %%)\n",
        seconds, cpu, 100.0 * cpu / seconds, window / (cpu / seconds));
    second.Stop();
  }
  emulator.Stop();
  return 0;
}
