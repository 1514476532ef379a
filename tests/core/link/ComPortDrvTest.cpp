#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "FakeClock.h"
#include "FakeHost.h"
#include "core/link/ComPortDrv.h"
#include "core/platform/SerialPlatform.h"

namespace {

// A transport whose input bytes arrive at set times on the fake clock, and whose output can be
// made to stall.
class ScheduledTransport : public SerialTransport {
 public:
  explicit ScheduledTransport(FakeClock& clock) : clock_(clock) {}

  std::deque<std::pair<qint64, quint8>> arrivals;  // (time in ms, byte)
  bool openable = true;
  bool stalled = false;  // accepts no output
  int configures = 0;
  int purges = 0;
  int errorClears = 0;
  QString openedDevice;
  LineSettings settings;
  std::deque<quint8> in;
  // Runs whenever a read waits for input, as the window's timer may fire then.
  std::function<void()> whileWaiting;

  bool Open(const QString& device) override {
    if (!openable) return false;
    open_ = true;
    openedDevice = device;
    return true;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  bool Configure(const LineSettings& s) override {
    ++configures;
    settings = s;
    return true;
  }
  bool Purge(bool receive, bool) override {
    ++purges;
    Arrive();
    if (receive) in.clear();
    return true;
  }
  qint64 InQueue() override {
    Arrive();
    return static_cast<qint64>(in.size());
  }
  qint64 OutQueue() override { return stalled ? ComPortDriverClass::kQueueSize : 0; }
  qint64 Read(char* data, qint64 max) override {
    Arrive();
    qint64 n = 0;
    while (n < max && !in.empty()) {
      data[n++] = static_cast<char>(in.front());
      in.pop_front();
    }
    return n;
  }
  qint64 Write(const char*, qint64 count) override { return stalled ? 0 : count; }
  void WaitForInput(int ms) override {
    if (whileWaiting) whileWaiting();
    const qint64 target = clock_.Tick() + ms;
    const qint64 next = arrivals.empty() ? target : std::min(target, arrivals.front().first);
    clock_.AdvanceToUs(std::max(next, clock_.Tick()) * 1000);
  }
  void WaitForOutput(int ms) override { clock_.Sleep(ms); }
  void ClearError() override { ++errorClears; }

 private:
  void Arrive() {
    while (!arrivals.empty() && arrivals.front().first <= clock_.Tick()) {
      in.push_back(arrivals.front().second);
      arrivals.pop_front();
    }
  }
  FakeClock& clock_;
  bool open_ = false;
};

struct DriverTest : ::testing::Test {
  FakeClock clock;
  ScheduledTransport* transport = nullptr;
  std::unique_ptr<ComPortDriverClass> driver;

  void SetUp() override {
    auto owned = std::make_unique<ScheduledTransport>(clock);
    transport = owned.get();
    driver = std::make_unique<ComPortDriverClass>(clock, std::move(owned));
  }
};

}  // namespace

TEST_F(DriverTest, APortThatCannotBeOpenedStaysClosedAndEverythingFailsAtOnce) {
  transport->openable = false;
  EXPECT_FALSE(driver->Open());
  EXPECT_FALSE(driver->IsOpen());
  quint8 byte = 0;
  quint8 data[4] = {};
  EXPECT_EQ(driver->Write(data, 4, 500), 0u);
  EXPECT_EQ(driver->Read(data, 4), 0u);
  EXPECT_FALSE(driver->WriteByte(1));
  EXPECT_FALSE(driver->ReadByte(byte));
  EXPECT_EQ(driver->InQueue(), 65535u);
  EXPECT_EQ(driver->OutFree(), 65535);
  EXPECT_FALSE(driver->Configure());
  EXPECT_FALSE(driver->Purge(true, true));
  EXPECT_EQ(clock.Tick(), 0);
}

TEST_F(DriverTest, OpeningAppliesTheSettingsAndStartsTheErrorClearing) {
  ASSERT_TRUE(driver->Open());
  EXPECT_EQ(transport->openedDevice, ComPortDeviceName(2));
  EXPECT_EQ(transport->settings.rate, 9600u);
  EXPECT_EQ(transport->settings.dataBits, 8);
  EXPECT_EQ(transport->configures, 1);
  EXPECT_TRUE(driver->TimerActive());
  // Opening an open port changes nothing.
  EXPECT_TRUE(driver->Open());
  EXPECT_EQ(transport->configures, 1);
  driver->Close();
  EXPECT_FALSE(driver->TimerActive());
}

TEST_F(DriverTest, PortNumberRenamesTheDeviceOnlyWhileClosed) {
  driver->SetPortNumber(0);
  EXPECT_EQ(driver->DeviceName(), ComPortDeviceName(2));
  driver->SetPortNumber(12);
  EXPECT_EQ(driver->DeviceName(), ComPortDeviceName(12));
  EXPECT_EQ(driver->PortNumber(), 12);
  ASSERT_TRUE(driver->Open());
  driver->SetPortNumber(3);
  EXPECT_EQ(driver->PortNumber(), 3);
  EXPECT_EQ(driver->DeviceName(), ComPortDeviceName(12));
}

TEST_F(DriverTest, TheRateOfAnOpenPortChangesAtOnceAndEmptiesTheQueues) {
  ASSERT_TRUE(driver->Open());
  transport->arrivals = {{0, 0x11}};
  ASSERT_EQ(driver->InQueue(), 1u);
  const int purges = transport->purges;
  driver->SetBaudRate(976);
  EXPECT_EQ(driver->RateIndex(), 0);
  EXPECT_EQ(transport->settings.rate, 976u);
  EXPECT_EQ(transport->purges, purges + 1);
  EXPECT_EQ(driver->InQueue(), 0u);
}

TEST_F(DriverTest, ASilentLineGivesUpAfterALittleMoreThanTheIdleLimit) {
  ASSERT_TRUE(driver->Open());
  driver->ReadTimeout = 800;
  quint8 byte = 0;
  EXPECT_FALSE(driver->ReadByte(byte));
  EXPECT_GT(clock.Tick(), 800);
  EXPECT_LE(clock.Tick(), 802);
  EXPECT_EQ(driver->ReadNesting(), 0);
}

TEST_F(DriverTest, ASlowButSteadyReadIsNeverCutOff) {
  ASSERT_TRUE(driver->Open());
  driver->ReadTimeout = 800;
  for (int i = 0; i < 10; ++i) transport->arrivals.push_back({700 * (i + 1), quint8(i)});
  quint8 buffer[10] = {};
  EXPECT_EQ(driver->Read(buffer, 10), 10u);
  EXPECT_EQ(buffer[9], 9);
  EXPECT_EQ(clock.Tick(), 7000);
}

TEST_F(DriverTest, TheIdleLimitAllowsExactlyItsOwnLengthOfSilence) {
  ASSERT_TRUE(driver->Open());
  driver->ReadTimeout = 800;
  transport->arrivals = {{800, 1}, {1601, 2}};
  quint8 buffer[2] = {};
  EXPECT_EQ(driver->Read(buffer, 2), 2u);  // 800 ms, then 801 ms of silence: "more than" 800
  transport->arrivals = {{clock.Tick() + 802, 3}};
  EXPECT_EQ(driver->Read(buffer, 1), 0u);
}

TEST_F(DriverTest, AStalledWriteGivesUpAfterItsIdleLimit) {
  ASSERT_TRUE(driver->Open());
  transport->stalled = true;
  EXPECT_EQ(driver->OutFree(), 0);
  EXPECT_FALSE(driver->WriteByte(0x55));
  EXPECT_GT(clock.Tick(), 500);
  EXPECT_LE(clock.Tick(), 502);
}

TEST_F(DriverTest, TheTimerClearsErrorsOnlyOutsideReads) {
  driver->TimerTick();
  EXPECT_EQ(transport->errorClears, 0);  // closed
  ASSERT_TRUE(driver->Open());
  const int before = transport->errorClears;
  driver->TimerTick();
  EXPECT_EQ(transport->errorClears, before + 1);

  // A tick in the middle of a read leaves the port's error state alone.
  int clearsByTicks = 0;
  transport->whileWaiting = [&] {
    const int clears = transport->errorClears;
    driver->TimerTick();
    clearsByTicks += transport->errorClears - clears;
  };
  transport->arrivals = {{clock.Tick() + 30, 0x42}};
  quint8 byte = 0;
  EXPECT_TRUE(driver->ReadByte(byte));
  EXPECT_GT(transport->errorClears, before + 1);  // the read's own queries clear as they go
  EXPECT_EQ(clearsByTicks, 0);
  transport->whileWaiting = nullptr;
  const int after = transport->errorClears;
  driver->TimerTick();
  EXPECT_EQ(transport->errorClears, after + 1);
}

TEST(DriverExclusiveOpen, ASecondDriverCannotOpenAPortInUse) {
  FakeHost host;
  FakeLine line(host.clock, {});
  host.ports.Plug(ComPortDeviceName(2), &line);
  ComPortDriverClass first(host.clock, host.ports.CreateTransport());
  ComPortDriverClass second(host.clock, host.ports.CreateTransport());
  EXPECT_TRUE(first.Open());
  EXPECT_FALSE(second.Open());
  first.Close();
  EXPECT_TRUE(second.Open());
}
