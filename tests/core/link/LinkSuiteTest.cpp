// The same link tests against the in-memory station and against the station emulator over a
// real pseudo-terminal, so that the fake cannot drift from the real thing.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>

#include "Emulator.h"
#include "FakeHost.h"
#include "core/base/Clock.h"
#include "core/link/QtSerialTransport.h"
#include "core/link/RS232.h"
#include "core/platform/SerialPlatform.h"

namespace {

// A station at the end of a link, reached either way.
class StationBench {
 public:
  virtual ~StationBench() = default;
  virtual Environment& Env() = 0;
  virtual ScriptedUi& Ui() = 0;
  virtual QStringList Traffic(int expected) = 0;
  virtual QByteArray Memory(int address, int count) = 0;
  virtual qint64 ElapsedMs() = 0;
};

class FakeBench : public StationBench {
 public:
  explicit FakeBench(const station::StationOptions& options) : line_(host_.clock, options) {
    host_.ports.Plug(ComPortDeviceName(2), &line_);
  }
  Environment& Env() override { return host_.env; }
  ScriptedUi& Ui() override { return host_.ui; }
  QStringList Traffic(int) override { return TrafficOf(line_.Trace()); }
  QByteArray Memory(int address, int count) override {
    const auto& memory = line_.Station().Memory();
    return QByteArray(reinterpret_cast<const char*>(memory.data()) + address, count);
  }
  qint64 ElapsedMs() override { return host_.clock.Tick(); }

 private:
  FakeHost host_;
  FakeLine line_;
};

class EmulatorBench : public StationBench {
 public:
  explicit EmulatorBench(const station::StationOptions& options) : emulator_(options) {
    started_ = emulator_.Start();
    qputenv("NORVEL_COM2", QFile::encodeName(emulator_.LinkPath()));
    elapsed_.start();
  }
  ~EmulatorBench() override { qunsetenv("NORVEL_COM2"); }
  bool Started() const { return started_; }
  Environment& Env() override { return env_; }
  ScriptedUi& Ui() override { return ui_; }
  QStringList Traffic(int expected) override {
    emulator_.WaitForTraffic(expected);
    return emulator_.Traffic();
  }
  QByteArray Memory(int address, int count) override {
    emulator_.Stop();
    return emulator_.Memory().mid(address, count);
  }
  qint64 ElapsedMs() override { return elapsed_.elapsed(); }

 private:
  EmulatorProcess emulator_;
  bool started_ = false;
  SystemClock clock_;
  QtSerialPortFactory ports_;
  ScriptedUi ui_;
  QTemporaryDir dir_;
  Environment env_{ui_, clock_, ports_, dir_.path()};
  QElapsedTimer elapsed_;
};

enum class Kind { kFake, kEmulator };

class LinkSuite : public ::testing::TestWithParam<Kind> {
 protected:
  void Start(const station::StationOptions& options = {}) {
    if (GetParam() == Kind::kFake) {
      bench_ = std::make_unique<FakeBench>(options);
    } else {
      auto emulator = std::make_unique<EmulatorBench>(options);
      ASSERT_TRUE(emulator->Started());
      bench_ = std::move(emulator);
    }
    link_ = std::make_unique<RS232Class>(bench_->Env(), 2);
    link_->Open();
    ASSERT_TRUE(link_->IsOpen());
  }
  void TearDown() override { link_.reset(); }

  std::unique_ptr<StationBench> bench_;
  std::unique_ptr<RS232Class> link_;
};

std::vector<std::uint8_t> TestImage() {
  std::vector<std::uint8_t> image(512);
  for (int i = 0; i < 512; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 5);
  return image;
}

}  // namespace

TEST_P(LinkSuite, ReadsOneByteAtTheLinkCheckAddress) {
  station::StationOptions options;
  options.image = TestImage();
  Start(options);
  quint8 byte = 0;
  EXPECT_TRUE(link_->ReadMemory(1791, 1, &byte));
  EXPECT_EQ(byte, TestImage()[511]);
  EXPECT_EQ(bench_->Traffic(1), QStringList{"R 1791 1"});
}

TEST_P(LinkSuite, WritesAndReadsBack512Bytes) {
  Start();
  QByteArray image(512, 0);
  for (int i = 0; i < 512; ++i) image[i] = static_cast<char>(255 - i % 251);
  link_->WriteMemory(1280, reinterpret_cast<const quint8*>(image.constData()), 512);
  link_->Pause();
  QByteArray back(512, 0);
  EXPECT_TRUE(link_->ReadMemory(1280, 512, reinterpret_cast<quint8*>(back.data())));
  EXPECT_EQ(back, image);
  const QStringList traffic = bench_->Traffic(2);
  ASSERT_EQ(traffic.size(), 2);
  EXPECT_TRUE(traffic[0].startsWith(QStringLiteral("W 1280 FF FE FD")));
  EXPECT_EQ(traffic[0].split(u' ').size(), 2 + 512);
  EXPECT_EQ(traffic[1], QStringLiteral("R 1280 512"));
  EXPECT_EQ(bench_->Memory(1280, 512), image);
}

TEST_P(LinkSuite, ASilentStationFailsAfterTheIdleLimit) {
  station::StationOptions options;
  options.silent = true;
  Start(options);
  const qint64 before = bench_->ElapsedMs();
  quint8 byte = 0;
  EXPECT_FALSE(link_->ReadMemory(1791, 1, &byte));
  const qint64 took = bench_->ElapsedMs() - before;
  // The request, the 400 ms reply wait, then a little more than 800 ms of silence.
  EXPECT_GE(took, 1200);
  EXPECT_LT(took, 2500);
}

TEST_P(LinkSuite, AProgramLeftAtTheWrongRateGetsGarbage) {
  station::StationOptions options;
  options.image = TestImage();
  Start(options);
  const QByteArray request = RS232Class::ReadRequest(1280, 0x40, 8);
  link_->SendFrame(reinterpret_cast<const quint8*>(request.constData()),
                   static_cast<int>(request.size()));
  // The queues are emptied before the reply comes, as a read does, but the rate stays at 325.
  bench_->Env().clock.Sleep(300);
  link_->Driver().Purge(true, true);
  quint8 reply[8] = {};
  const quint32 got = link_->Driver().Read(reply, 8);
  bool garbled = got < 8;
  for (quint32 i = 0; i < got; ++i) {
    if (static_cast<quint8>(~reply[i]) != TestImage()[i]) garbled = true;
  }
  EXPECT_TRUE(garbled);

  // A request sent at the read rate is never heard as one.
  link_->Driver().SetBaudRate(976);
  link_->Driver().Write(reinterpret_cast<const quint8*>(request.constData()), 10, 50);
  EXPECT_EQ(link_->Driver().Read(reply, 1), 0u);
  EXPECT_EQ(bench_->Traffic(1), QStringList{"R 1280 8"});
}

TEST_P(LinkSuite, AWriteProtectedStationKeepsItsProgramming) {
  station::StationOptions options;
  options.image = TestImage();
  options.protect = true;
  Start(options);
  const quint8 value = 0xAA;
  link_->WriteMemory(1791, &value, 1);
  const quint8 reception[] = {0x01, 0x03};
  link_->WriteMemory(741, reception, 2);
  link_->Pause();
  quint8 byte = 0;
  EXPECT_TRUE(link_->ReadMemory(1791, 1, &byte));
  EXPECT_EQ(byte, TestImage()[511]);
  EXPECT_EQ(bench_->Memory(741, 2), QByteArray::fromHex("0103"));
}

TEST_P(LinkSuite, ThePortCannotBeOpenedTwice) {
  Start();
  RS232Class second(bench_->Env(), 2);
  second.Open();
  EXPECT_FALSE(second.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Both, LinkSuite, ::testing::Values(Kind::kFake, Kind::kEmulator),
                         [](const auto& info) {
                           return info.param == Kind::kFake ? "InMemory" : "Emulator";
                         });

TEST(SerialPort, APortThatDoesNotExistStaysClosed) {
  qputenv("NORVEL_COM4", "/nonexistent/ttyNorvel");
  SystemClock clock;
  QtSerialPortFactory ports;
  ScriptedUi ui;
  Environment env{ui, clock, ports, QDir::tempPath()};
  RS232Class link(env, 4);
  link.Open();
  EXPECT_FALSE(link.IsOpen());
  qunsetenv("NORVEL_COM4");
}
