// CPU cost of a real-speed transfer: 512 bytes read from the station emulator at 976 bit/s,
// first without and then with the progress window. The driver waits on the port instead of
// polling, and the progress window paints only when its bar grows, so the process should stay
// nearly idle either way.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "Emulator.h"
#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/link/QtSerialTransport.h"
#include "core/link/RS232.h"
#include "ui/link/Thermometer.h"
#include "ui/shell/QtOperatorUi.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  station::StationOptions options;
  options.realtime = true;
  EmulatorProcess emulator(options);
  if (!emulator.Start()) {
    std::fprintf(stderr, "the emulator did not start\n");
    return 1;
  }
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));
  SystemClock clock;
  QtSerialPortFactory ports;
  SilentUi ui;
  QTemporaryDir dir;
  Environment env{ui, clock, ports, dir.path()};
  RS232Class link(env, 2);
  link.Open();
  if (!link.IsOpen()) return 1;

  for (int round = 0; round < 2; ++round) {
    quint8 buffer[512];
    const double cpuBefore = ProcessCpuSeconds();
    bool ok = false;
    const double wall = Seconds([&] { ok = link.ReadMemory(1280, 512, buffer); });
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    std::printf("read 512 bytes at 976 bit/s: %s, wall %.2f s, CPU %.3f s, CPU share %.2f %%\n",
                ok ? "complete" : "FAILED", wall, cpu, 100.0 * cpu / wall);
  }
  {
    QtOperatorUi windows;
    TThermometerForm thermometer;
    windows.SetThermometer(&thermometer);
    Environment shown{windows, clock, ports, dir.path()};
    link.Close();
    RS232Class withProgress(shown, 2);
    withProgress.Open();
    for (int round = 0; round < 2; ++round) {
      quint8 buffer[512];
      const double cpuBefore = ProcessCpuSeconds();
      bool ok = false;
      const double wall = Seconds([&] { ok = withProgress.ReadMemory(1280, 512, buffer); });
      const double cpu = ProcessCpuSeconds() - cpuBefore;
      std::printf(
          "read 512 bytes with the progress window: %s, wall %.2f s, CPU %.3f s, CPU share "
          "%.2f %%\n",
          ok ? "complete" : "FAILED", wall, cpu, 100.0 * cpu / wall);
    }
    withProgress.Close();
    link.Open();
  }
  std::vector<quint8> image(512, 0x5A);
  const double cpuBefore = ProcessCpuSeconds();
  const double wall = Seconds([&] { link.WriteMemory(1280, image.data(), 512); });
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  std::printf("write 517-byte frame: wall %.2f s, CPU %.3f s\n", wall, cpu);
  return 0;
}
