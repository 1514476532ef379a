#pragma once

#include <QString>
#include <memory>

// Line settings as the port driver keeps them (codes as the driver's fields hold them).
struct LineSettings {
  quint32 rate = 9600;
  int dataBits = 8;
  int parityCode = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int stopBitsCode = 0;  // 0 one, 1 one and a half, 2 two
  int rtsMode = 1;       // 1 RTS held on, 2 RTS/CTS handshake, other RTS held off
  bool softwareFlow = false;

  bool operator==(const LineSettings&) const = default;
};

// The seam below the port driver: one serial device, used without blocking except in the two
// waits. It is backed by Qt's serial port for real devices and pseudo-terminals, and by an
// in-memory line joined to a station model in tests.
class SerialTransport {
 public:
  virtual ~SerialTransport() = default;

  // Opens the device for exclusive reading and writing.
  virtual bool Open(const QString& device) = 0;
  // Why the last Open failed, in the system's words ("Permission denied"); empty when it
  // succeeded or the transport cannot tell.
  virtual QString OpenError() const { return {}; }
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  virtual bool Configure(const LineSettings& settings) = 0;
  virtual bool Purge(bool receive, bool transmit) = 0;

  // Bytes received and ready to be read.
  virtual qint64 InQueue() = 0;
  // Bytes handed over for sending that have not yet left the port.
  virtual qint64 OutQueue() = 0;
  // Reads up to max bytes that are ready; never waits.
  virtual qint64 Read(char* data, qint64 max) = 0;
  // Hands bytes over for sending; never waits.
  virtual qint64 Write(const char* data, qint64 count) = 0;

  // Wait at most the given time for input to arrive, or for queued output to leave. They may
  // return early; callers check the queues again.
  virtual void WaitForInput(int milliseconds) = 0;
  virtual void WaitForOutput(int milliseconds) = 0;

  // Clears the device's error state.
  virtual void ClearError() = 0;
  // Whether an idle tick has anything to do: an error to clear, or a sign that the line may be
  // gone. A transport that cannot tell cheaply says yes, and the tick looks every time.
  virtual bool NeedsAttention() { return true; }
  // The device went away or the far end hung up: the port is of no more use until reopened.
  virtual bool HungUp() { return false; }
  // Waits, at most `milliseconds`, until the transmitter has sent the bytes handed over, where
  // the device can tell.
  virtual void Drain(int milliseconds) { Q_UNUSED(milliseconds); }
};

// Makes transports for the port driver; each driver owns the one it was given.
class SerialPortFactory {
 public:
  virtual ~SerialPortFactory() = default;
  virtual std::unique_ptr<SerialTransport> CreateTransport() = 0;
};
