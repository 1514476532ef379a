#pragma once

#include <QMap>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>

#include "FakeClock.h"
#include "StationModel.h"
#include "core/link/SerialTransport.h"

// An in-memory serial line with a station model at its far end. Bytes take the time they would
// take on the wire at the line rate the PC has set, measured on the fake clock, so a 512-byte
// image costs seconds of simulated time and nothing of real time. The station hears a byte
// intact only when it was sent at 325 bit/s 8N1, and its replies reach the PC intact only while
// the PC's end is at 976 bit/s, as on the real line and in the emulator.
class FakeLine {
 public:
  FakeLine(FakeClock& clock, const station::StationOptions& options);

  station::StationModel& Station() { return station_; }
  const LineSettings& Settings() const { return settings_; }
  bool InUse() const { return inUse_; }

  // What the station's trace holds, with any frame in progress ended.
  const std::vector<station::TraceEntry>& Trace();
  // Every byte the PC handed to the line, in order.
  const QByteArray& RawSent() const { return rawSent_; }
  void ClearRawSent() { rawSent_.clear(); }
  // Runs before each byte from the PC reaches the station, with the number of bytes that
  // reached it before; a test pulls the cable here to cut a frame at an exact byte.
  std::function<void(long delivered)> beforeDelivery;
  // Runs on each byte of the station's replies, with the number of reply bytes before it; what
  // it gives is what the PC receives (line noise on the way back).
  std::function<quint8(long received, quint8 byte)> garbleReply;
  // The device went away (an unplugged adapter): an open port reports a hang-up.
  bool vanished = false;
  // The device may not be opened by this user.
  bool forbidden = false;
  // The port stops sending (its flow control held, say): queued bytes stay queued.
  bool holdOutput = false;

 private:
  friend class FakeSerialTransport;

  struct OutByte {
    qint64 doneUs;
    quint8 value;
    bool intact;
  };

  // Lets everything due by now happen: bytes reach the station, replies reach the PC.
  void Sync();
  // Moves the clock to the next event, at most to targetUs; true when it moved.
  bool StepTowards(qint64 targetUs);
  qint64 ByteTimeUs() const;

  FakeClock& clock_;
  station::StationModel station_;
  LineSettings settings_;
  bool inUse_ = false;
  std::deque<OutByte> out_;
  std::deque<quint8> in_;
  QByteArray rawSent_;
  long delivered_ = 0;
  long received_ = 0;
};

class FakeSerialTransport : public SerialTransport {
 public:
  explicit FakeSerialTransport(QMap<QString, FakeLine*>& lines) : lines_(lines) {}
  ~FakeSerialTransport() override { Close(); }

  bool Open(const QString& device) override;
  QString OpenError() const override { return openError_; }
  void Close() override;
  bool IsOpen() const override { return line_ != nullptr; }
  bool Configure(const LineSettings& settings) override;
  bool Purge(bool receive, bool transmit) override;
  qint64 InQueue() override;
  qint64 OutQueue() override;
  qint64 Read(char* data, qint64 max) override;
  qint64 Write(const char* data, qint64 count) override;
  void WaitForInput(int milliseconds) override;
  void WaitForOutput(int milliseconds) override;
  bool HungUp() override { return line_ && line_->vanished; }
  void ClearError() override {}

 private:
  QMap<QString, FakeLine*>& lines_;
  FakeLine* line_ = nullptr;
  QString openError_;
};

// Serial ports of the test machine: each device name may have a fake line plugged in.
class FakePorts : public SerialPortFactory {
 public:
  void Plug(const QString& device, FakeLine* line) { lines_[device] = line; }
  void Unplug(const QString& device) { lines_.remove(device); }
  std::unique_ptr<SerialTransport> CreateTransport() override {
    return std::make_unique<FakeSerialTransport>(lines_);
  }

 private:
  QMap<QString, FakeLine*> lines_;
};

// Transactions of a station trace without their times, leaving out stray bytes:
// "R 1791 1", "W 741 01 03".
QStringList TrafficOf(const std::vector<station::TraceEntry>& trace);
