#include <gtest/gtest.h>

#include "Emulator.h"
#include "FakeHost.h"
#include "core/link/RS232.h"
#include "core/platform/SerialPlatform.h"

namespace {

QByteArray Hex(const char* text) {
  return QByteArray::fromHex(text);
}

struct ProtocolTest : ::testing::Test {
  explicit ProtocolTest(station::StationOptions options = {}) : line(host.clock, options) {
    host.ports.Plug(ComPortDeviceName(2), &line);
  }
  void SetUp() override {
    link = std::make_unique<RS232Class>(host.env, 2);
    link->Open();
    ASSERT_TRUE(link->IsOpen());
  }
  FakeHost host;
  FakeLine line;
  std::unique_ptr<RS232Class> link;
};

struct DropThirdByte : ProtocolTest {
  DropThirdByte()
      : ProtocolTest([] {
          station::StationOptions o;
          o.dropReplyByte = 2;
          return o;
        }()) {}
};

struct NoisyStation : ProtocolTest {
  NoisyStation()
      : ProtocolTest([] {
          station::StationOptions o;
          o.noise = true;
          return o;
        }()) {}
};

}  // namespace

TEST(RS232Frames, ReadRequestAndWriteFrameLayouts) {
  EXPECT_EQ(RS232Class::ReadRequest(1791, 0x40, 1), Hex("CA53A5D082FF064001 00"));
  EXPECT_EQ(RS232Class::ReadRequest(1280, 0x40, 512), Hex("CA53A5D0820005400002"));
  const quint8 value = 0xAA;
  EXPECT_EQ(RS232Class::WriteFrame(1791, &value, 1), Hex("CA53A5FF06AA"));
}

TEST_F(ProtocolTest, CreationSetsTheStationLineAndDelay) {
  ComPortDriverClass& driver = link->Driver();
  EXPECT_EQ(driver.ByteSize(), 3);
  EXPECT_EQ(driver.StopBits(), 0);
  EXPECT_EQ(driver.Parity(), 0);
  EXPECT_EQ(driver.ReadTimeout, 800u);
  EXPECT_EQ(driver.WriteTimeout, 50);
  EXPECT_EQ(link->DelayCode(), 64);
  EXPECT_EQ(link->ReplyWait(), 400);
}

TEST_F(ProtocolTest, ReadingOneByteSendsTheRequestAndUndoesTheComplement) {
  line.Station().Poke(1791, 0xAA);  // the station answers 0x55
  quint8 byte = 0;
  EXPECT_TRUE(link->ReadMemory(1791, 1, &byte));
  EXPECT_EQ(byte, 0xAA);
  EXPECT_EQ(line.RawSent(), Hex("CA53A5D082FF06400100"));
  EXPECT_TRUE(host.ui.Progress().empty());
  EXPECT_EQ(TrafficOf(line.Trace()), QStringList{"R 1791 1"});
  // The request left at 325 bit/s, the reply came in at 976 bit/s, and the port stays there.
  EXPECT_EQ(line.Settings().rate, 976u);
}

TEST_F(ProtocolTest, WritingOneByteSendsTheBareFrame) {
  const quint8 value = 0xAA;
  link->WriteMemory(1791, &value, 1);
  EXPECT_EQ(line.RawSent(), Hex("CA53A5FF06AA"));
  EXPECT_EQ(line.Settings().rate, 325u);
  EXPECT_EQ(TrafficOf(line.Trace()), QStringList{"W 1791 AA"});
  EXPECT_EQ(line.Station().Memory()[1791], 0xAA);
}

TEST_F(ProtocolTest, LongFramesAndRepliesShowTheProgressWindow) {
  const std::vector<quint8> nine(9, 0x11);
  link->WriteMemory(734, nine.data(), 9);
  EXPECT_EQ(line.RawSent().size(), 14);
  EXPECT_TRUE(host.ui.Progress().empty());

  line.ClearRawSent();
  long delivered = 0;
  line.beforeDelivery = [&](long before) { delivered = before + 1; };
  // The bar shows only bytes that have left the line, never those merely queued.
  host.ui.onProgress = [&](quint16 position) { EXPECT_LE(position + 1, delivered); };
  const std::vector<quint8> image(512, 0x22);
  link->WriteMemory(1280, image.data(), 512);
  EXPECT_EQ(line.RawSent().size(), 517);
  const auto& progress = host.ui.Progress();
  // The bar moves as the bytes leave, not only at the end.
  ASSERT_GE(progress.size(), 100u);
  EXPECT_EQ(progress.front().caption, QStringLiteral("Запись данных в станцию"));
  EXPECT_EQ(progress.front().value, 516);
  int last = -1;
  for (size_t i = 1; i + 1 < progress.size(); ++i) {
    EXPECT_GT(progress[i].value, last);
    last = progress[i].value;
  }
  EXPECT_EQ(last, 516);
  EXPECT_EQ(progress.back().kind, ScriptedUi::ProgressEvent::kEnd);
  // 517 bytes of 10 bits at 325 bit/s take about 16 seconds on the line.
  EXPECT_NEAR(host.clock.Tick(), 517 * 10 * 1000 / 325 + 14 * 10 * 1000 / 325, 100);
}

// The whole frame is in the port before its line time starts: this program stopped for 3 s in
// the middle of it (a swapping machine, a debugger) leaves no silence the station could take
// for the frame's end.
TEST_F(ProtocolTest, AFrameOutlastsAPauseOfTheProgram) {
  bool paused = false;
  host.ui.onProgress = [&](quint16 position) {
    if (position < 100 || paused) return;
    paused = true;
    host.clock.AdvanceUs(3'000'000);
  };
  const std::vector<quint8> image(512, 0x22);
  EXPECT_TRUE(link->WriteMemory(1280, image.data(), 512));
  ASSERT_TRUE(paused);
  ASSERT_EQ(line.Trace().size(), 1u);
  EXPECT_EQ(line.Trace()[0].kind, station::TraceEntry::kWrite);
  EXPECT_EQ(line.Trace()[0].bytes.size(), 512u);
  EXPECT_LT(line.Trace()[0].longestSilenceUs, 1000);
}

// A port that stops sending mid-frame gives each remaining byte up after its idle limit and
// says how many bytes left: none of those it still holds.
TEST_F(ProtocolTest, APortThatStopsSendingFailsTheFrameInBoundedTime) {
  line.holdOutput = true;
  host.ui.ExpectInfo(QStringLiteral("0 bytes were sent only"), true);
  const std::vector<quint8> data(40, 0x11);
  EXPECT_FALSE(link->WriteMemory(0x1000, data.data(), 40));
  EXPECT_LT(host.clock.Tick(), 45 * 100);
}

// The port stops with the frame's last byte still in it: that one byte is a failed frame.
TEST_F(ProtocolTest, APortThatKeepsTheLastByteFailsTheFrame) {
  line.beforeDelivery = [&](long delivered) { line.holdOutput = delivered >= 43; };
  host.ui.ExpectInfo(QStringLiteral("44 bytes were sent only"), true);
  const std::vector<quint8> data(40, 0x11);
  EXPECT_FALSE(link->WriteMemory(0x1000, data.data(), 40));
}

TEST_F(ProtocolTest, RepliesOfMoreThan32BytesShowTheProgressWindow) {
  quint8 buffer[33] = {};
  EXPECT_TRUE(link->ReadMemory(1280, 32, buffer));
  EXPECT_TRUE(host.ui.Progress().empty());
  EXPECT_TRUE(link->ReadMemory(1280, 33, buffer));
  ASSERT_FALSE(host.ui.Progress().empty());
  EXPECT_EQ(host.ui.Progress().front().caption, QStringLiteral("Чтение данных из станции"));
  EXPECT_EQ(host.ui.Progress().front().value, 32);
  EXPECT_EQ(host.ui.Progress().back().kind, ScriptedUi::ProgressEvent::kEnd);
}

TEST_F(ProtocolTest, TheReplyWaitFollowsTheDelayCode) {
  link->SetDelayCode(24);
  EXPECT_EQ(link->ReplyWait(), 0);
  link->SetDelayCode(25);
  EXPECT_EQ(link->ReplyWait(), 10);
  link->SetDelayCode(64);
  EXPECT_EQ(link->ReplyWait(), 400);
  link->SetDelayCode(0);
  EXPECT_EQ(link->ReplyWait(), 0);
}

TEST_F(ProtocolTest, SetPortMovesAnOpenPortAndIgnoresOtherNumbers) {
  FakeLine other(host.clock, {});
  host.ports.Plug(ComPortDeviceName(3), &other);
  for (quint16 ignored : {0, 17, 2}) {
    link->SetPort(ignored);
    EXPECT_EQ(link->PortNumber(), 2);
    EXPECT_TRUE(line.InUse());
  }
  link->SetPort(3);
  EXPECT_EQ(link->PortNumber(), 3);
  EXPECT_TRUE(link->IsOpen());
  EXPECT_FALSE(line.InUse());
  EXPECT_TRUE(other.InUse());
  EXPECT_EQ(link->Driver().DeviceName(), ComPortDeviceName(3));
  link.reset();  // before the line it holds goes
}

TEST_F(ProtocolTest, AClosedPortFailsOnTheFirstByteWithItsMessage) {
  link->Close();
  host.ui.ExpectInfo(QStringLiteral("0 bytes were sent only"), true);
  const quint8 reception[] = {0x01, 0x03};
  link->WriteMemory(741, reception, 2);
  host.ui.ExpectInfo(QStringLiteral("0 bytes were sent only"), true);
  quint8 byte = 0x00;
  EXPECT_FALSE(link->ReadMemory(1791, 1, &byte));
  EXPECT_EQ(byte, 0xFF);  // bytes that never came are complemented all the same
  EXPECT_TRUE(line.RawSent().isEmpty());
}

TEST_F(DropThirdByte, AMissingByteIsAwaitedAndTheRestStillRead) {
  for (int i = 0; i < 5; ++i) line.Station().Poke(static_cast<quint16>(100 + i), quint8(i + 1));
  quint8 buffer[5] = {0, 0, 0x0F, 0, 0};
  EXPECT_FALSE(link->ReadMemory(100, 5, buffer));
  // Bytes 3 and 4 of the station arrive in places 2 and 3; the last place waited in vain and,
  // like every place, is complemented.
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[1], 2);
  EXPECT_EQ(buffer[2], 4);
  EXPECT_EQ(buffer[3], 5);
  EXPECT_EQ(buffer[4], 0xFF);
}

TEST_F(NoisyStation, StrayBytesBeforeAReplyArePurged) {
  line.Station().Poke(1791, 0x3C);
  for (int i = 0; i < 20; ++i) {
    quint8 byte = 0;
    ASSERT_TRUE(link->ReadMemory(1791, 1, &byte));
    ASSERT_EQ(byte, 0x3C);
    link->Pause();
  }
}

// A read whose reply was spoilt is asked again: this program held up while the request left
// (the reply began before the port turned to the read rate), or a stray byte ahead of the
// reply. A station that does not answer is asked once only. A pause of this program is noticed
// as one, whether the reply was spoilt by it or not.
TEST(RS232Reads, ASpoiltReadIsAskedAgainAndASilentStationOnce) {
  struct Case {
    const char* name;
    std::function<void(FakeHost&, FakeLine&)> spoil;
    bool read;
    int asked;
    bool paused;
    int arrived = 1;
  };
  // Held up for 1 s as each of the first `times` requests of 10 bytes leaves.
  const auto heldUp = [](int times) {
    return [times](FakeHost& host, FakeLine& line) {
      line.beforeDelivery = [&host, times](long delivered) {
        if (delivered % 10 == 9 && delivered / 10 < times) host.clock.AdvanceUs(1'000'000);
      };
    };
  };
  const Case cases[] = {
      {"held up 1 s as the request left", heldUp(1), true, 2, true},
      {"held up twice", heldUp(2), true, 3, true},
      {"held up three times", heldUp(3), false, 3, true, 0},
      {"held up 1.2 s while the reply came",
       [](FakeHost& host, FakeLine& line) {
         line.garbleReply = [&host](long, quint8 byte) {
           host.clock.AdvanceUs(1'200'000);
           return byte;
         };
       },
       true, 1, true},
      {"a stray byte ahead of the reply",
       [](FakeHost&, FakeLine& line) { line.Station().SetStrayInReply(0); }, true, 2, false},
      {"the cable pulled", [](FakeHost&, FakeLine& line) { line.Station().SetCablePulled(true); },
       false, 1, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHost host;
    FakeLine line(host.clock, {});
    host.ports.Plug(ComPortDeviceName(2), &line);
    RS232Class link(host.env, 2);
    link.Open();
    line.Station().Poke(1791, 0x3C);
    c.spoil(host, line);
    quint8 byte = 0;
    EXPECT_EQ(link.ReadMemory(1791, 1, &byte), c.read);
    if (c.read) {
      EXPECT_EQ(byte, 0x3C);
    }
    EXPECT_EQ(line.RawSent().count(RS232Class::ReadRequest(1791, 64, 1)), c.asked);
    EXPECT_EQ(link.LongestPause() > RS232Class::kPauseNoticeMs, c.paused) << link.LongestPause();
    EXPECT_EQ(link.ArrivedInLastRead(), c.arrived);
  }
}
