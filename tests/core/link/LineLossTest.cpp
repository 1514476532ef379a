// A line that goes away under the program: the device vanishes in the middle of a read, or the
// far end hangs up while the program is idle. Either way the port is closed at once and no core
// is kept busy.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <csignal>
#include <thread>

#include "EmulatorHost.h"
#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/link/QtSerialTransport.h"
#include "core/link/RS232.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void RunEvents(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

struct LineLoss : EmulatorHost {
  std::unique_ptr<RS232Class> link;

  void Start(const station::StationOptions& options = {}) {
    StartEmulator(options);
    link = std::make_unique<RS232Class>(env, 2);
    link->Open();
    ASSERT_TRUE(link->IsOpen());
  }
  void TearDown() override {
    link.reset();
    StopEmulator();
  }
};

}  // namespace

TEST_F(LineLoss, AHangUpWhileIdleClosesThePortAndCostsNoCpu) {
  Start();
  quint8 byte = 0;
  ASSERT_TRUE(link->ReadMemory(1791, 1, &byte));
  emulator->Stop();  // the far end closes
  RunEvents(200);
  EXPECT_FALSE(link->IsOpen());
  const double before = CpuSeconds();
  RunEvents(1000);
  EXPECT_LT(CpuSeconds() - before, 0.2);
}

TEST_F(LineLoss, ADeviceVanishingInAReadEndsItAtOnce) {
  station::StationOptions options;
  options.realtime = true;  // 1500 bytes take about 15 s at 976 bit/s
  Start(options);
  std::thread unplug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    emulator->Signal(SIGTERM);
  });
  std::vector<quint8> buffer(1500);
  QElapsedTimer timer;
  timer.start();
  const double before = CpuSeconds();
  const bool read = link->ReadMemory(1792, 1500, buffer.data());
  const qint64 took = timer.elapsed();
  unplug.join();
  EXPECT_FALSE(read);
  EXPECT_LT(took, 4000);
  EXPECT_LT(CpuSeconds() - before, 0.5 * static_cast<double>(took) / 1000.0 + 0.2);
  EXPECT_FALSE(link->IsOpen());
}
