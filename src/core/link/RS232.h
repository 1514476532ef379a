#pragma once

#include <QByteArray>
#include <memory>

#include "core/link/ComPortDrv.h"

struct Environment;

// The station's memory access protocol: reading a run of bytes from a station address and
// writing a run of bytes to one. The PC sends at 325 bit/s and receives at 976 bit/s; the station
// answers a read with the bytes complemented and nothing else, and never acknowledges a write.
class RS232Class {
 public:
  // Port numbers outside 1..16 leave the driver at port 2. The port stays closed.
  RS232Class(Environment& env, quint16 portNumber);

  quint16 PortNumber() const { return driver_.PortNumber(); }
  // Moves to another port (1..16, not the current one), reopening it if it was open.
  void SetPort(quint16 portNumber);
  // The reply wait follows the delay code: 10 x code - 240 ms, or 0 when that is not positive.
  void SetDelayCode(quint8 code);
  quint8 DelayCode() const { return delayCode_; }
  quint16 ReplyWait() const { return replyWait_; }

  enum Direction { kSend = 0, kReceive = 1 };
  // Empties both queues and sets the line rate of the direction.
  void SetDirection(int direction);

  void Open() { driver_.Open(); }
  void Close() { driver_.Close(); }
  bool IsOpen() const { return driver_.IsOpen(); }
  const QString& OpenFailure() const { return driver_.OpenFailure(); }
  const QString& DeviceName() const { return driver_.DeviceName(); }

  // Sends raw bytes, the whole frame handed to the port at once; true when all left the port. Tells
  // the operator when some byte could not be sent, unless the caller reports that itself.
  bool SendFrame(const quint8* bytes, int count, bool reportShortSend = true);
  // One read, asked again at most twice when its reply was spoilt (a pause of this program
  // while the reply began, a stray byte); true exactly when every byte arrived. The buffer
  // holds the station's bytes (the wire's complement undone) whether or not they all arrived.
  bool ReadMemory(quint16 address, quint16 count, quint8* buffer);
  // Reply bytes that arrived in the last read: all of them, or the most that came in order in
  // any of its askings.
  int ArrivedInLastRead() const { return lastArrived_; }
  // The longest pause of this program the link noticed, in milliseconds.
  qint64 LongestPause() const { return driver_.LongestPause(); }
  // One write transaction of 1 to 512 bytes; true when the whole frame was sent.
  bool WriteMemory(quint16 address, const quint8* data, int count, bool reportShortSend = true);
  // The pause that the station needs between transactions.
  void Pause();
  // A read ends at once when the program is asked to stop (nothing is changed by leaving it),
  // except while finishing: a write past its frame still reads back what the station holds.
  void SetFinishing(bool on) { finishing_ = on; }

  ComPortDriverClass& Driver() { return driver_; }

  static constexpr quint32 kWriteRate = 325;
  static constexpr quint32 kReadRate = 976;
  static constexpr int kPauseMs = 1200;
  // Silence a byte of a reply may take to come, and a byte to find room in the port's queue.
  static constexpr quint32 kReadTimeoutMs = 800;
  static constexpr quint16 kWriteTimeoutMs = 50;
  static constexpr quint8 kFramePrefix[] = {0xCA, 0x53, 0xA5};
  static constexpr quint8 kReadCommand[] = {0xD0, 0x82};
  // Frames and replies longer than this show the progress window.
  static constexpr int kProgressThreshold = 32;
  // How long the line must stay quiet after a reply: three byte times at 976 bit/s, and room
  // for an adapter that hands bytes over in bunches.
  static constexpr int kTrailingQuietMs = 40;

  // Times a spoilt read is asked again.
  static constexpr int kReadRetries = 2;
  // A turn to the read rate this much later than the request's line time tells of a pause of
  // this program rather than of a busy machine.
  static constexpr int kPauseNoticeMs = ComPortDriverClass::kPauseNoticeMs;

  static QByteArray ReadRequest(quint16 address, quint8 delayCode, quint16 count);
  static QByteArray WriteFrame(quint16 address, const quint8* data, int count);

 private:
  enum class ReadOutcome { kComplete, kFailed, kSpoilt };
  ReadOutcome ReadOnce(quint16 address, quint16 count, quint8* buffer);

  bool finishing_ = false;
  int lastArrived_ = 0;
  Environment& env_;
  ComPortDriverClass driver_;
  quint32 writeRate_ = kWriteRate;
  quint32 readRate_ = kReadRate;
  quint8 delayCode_ = 0;
  quint16 replyWait_ = 0;
};
