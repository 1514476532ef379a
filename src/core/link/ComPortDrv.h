#pragma once

#include <QString>
#include <algorithm>
#include <memory>

#include "core/base/Ports.h"
#include "core/link/SerialTransport.h"

class Clock;
class QTimer;

// One serial port of the PC: opens and closes it, applies the line settings, and reads and
// writes bytes, giving up after a stretch of silence instead of blocking. It knows nothing of
// the station; the station link sets its rate, format and idle limits. While the port is open a
// timer clears the port's error state between reads.
class ComPortDriverClass {
 public:
  ComPortDriverClass(Clock& clock, std::unique_ptr<SerialTransport> transport);
  ~ComPortDriverClass();
  ComPortDriverClass(const ComPortDriverClass&) = delete;
  ComPortDriverClass& operator=(const ComPortDriverClass&) = delete;

  bool IsOpen() const;
  bool Open();
  // Why the last Open failed (the system's words); empty after one that succeeded.
  const QString& OpenFailure() const { return openFailure_; }
  void Close();

  quint8 PortNumber() const { return portNumber_; }
  // Renames the device only while the port is closed; 0 keeps the name.
  void SetPortNumber(quint8 number);
  const QString& DeviceName() const { return deviceName_; }

  quint8 RateIndex() const { return rateIndex_; }
  void SetBaudRate(quint32 rate);
  quint8 ByteSize() const { return byteSizeCode_; }
  void SetByteSize(quint8 code);
  quint8 StopBits() const { return stopBitsCode_; }
  void SetStopBits(quint8 code);
  quint8 Parity() const { return parityCode_; }
  void SetParity(quint8 code);

  bool Configure();
  bool Purge(bool receive, bool transmit);

  // Bytes waiting to be read; 65535 when closed.
  quint32 InQueue();
  // Room left in the 512-byte output queue; 65535 when closed.
  quint16 OutFree();

  // Both give the number of bytes that made it. They give up after more than the idle limit of
  // silence since the last progress, so a slow but steady transfer is never cut off. Write
  // returns once its bytes are queued: the port keeps the line busy by itself from then on.
  quint32 Write(const quint8* data, quint32 count, quint32 idleLimit);
  bool WriteByte(quint8 byte);
  // Bytes handed over that have not yet left the line: what the port still queues, or what the
  // line time of the bytes handed over says is still on its way, whichever is more.
  quint32 OnTheWay();
  // Waits until every byte handed over has left the line, or until more than the idle limit
  // passes with none leaving; gives the number of bytes that never left.
  quint32 Drain(quint32 idleLimit);
  // Waits until fewer than `bytes` are on their way, at most `milliseconds`.
  void AwaitFewerOnTheWay(quint32 bytes, int milliseconds);
  // Line time of one byte at the current settings.
  double ByteTimeMs() const;
  quint32 Read(quint8* buffer, quint32 count);
  bool ReadByte(quint8& byte);
  // No byte arrives within the given time (true also when the port is closed).
  bool StaysQuiet(int milliseconds);
  // Throws away what arrives until the line has been quiet for `quietMs`, at most `limitMs`.
  void AwaitQuiet(int quietMs, int limitMs);

  // One tick of the error-clearing timer: clears the port's error state unless a read is in
  // progress.
  void TimerTick();
  bool TimerActive() const;
  int ReadNesting() const { return readNesting_; }

  // The longest pause of this program noticed since the port was made: a gap between two looks
  // at the port this much beyond the wait asked for between them (a stopped, swapped-out or
  // suspended process), which no station or cable causes.
  static constexpr int kPauseNoticeMs = 250;
  qint64 LongestPause() const { return longestPauseMs_; }
  void NotePause(qint64 milliseconds) { longestPauseMs_ = std::max(longestPauseMs_, milliseconds); }

  quint16 WriteTimeout = 500;
  quint32 ReadTimeout = 200;

  static constexpr int kQueueSize = 512;
  // Codes of the line format, as the driver's fields hold them: data bits = code + 5; stop
  // bits 0 one, 1 one and a half, 2 two; parity 0 none, 1 odd, 2 even, 3 mark, 4 space.
  static constexpr quint8 kEightDataBits = 3;
  static constexpr quint8 kOneStopBit = 0;
  static constexpr quint8 kNoParity = 0;
  // The standard rate for a rate index 1 to 15; 0 for any other index.
  static quint32 StandardRate(quint8 index);

 private:
  // Bytes moved and the tick of the last progress.
  struct Moved {
    quint32 total;
    qint64 lastProgress;
  };
  // Moves `count` bytes a piece at a time, the one waiting loop of both directions: `step`
  // moves what it can now (giving 0 or less when nothing could move) and `wait` waits at most
  // the given milliseconds for a chance. It gives up after more than `idleLimit` ms without
  // progress, or when the line is lost.
  template <class Step, class Wait>
  Moved Move(quint32 count, quint32 idleLimit, Step step, Wait wait);
  // Notes the line time of bytes handed over now.
  void PutOnLine(quint32 bytes);
  // Milliseconds until the line has carried every byte handed over (0 or less: it has).
  double LineBusyForMs();
  void AwaitLineFree();
  bool LineLost();
  LineSettings Settings() const;
  // How long a transmitter may take to drain beyond the line time of its bytes.
  static constexpr int kDrainMarginMs = 20;
  // How long after the line time of the last byte the rate may change or the queues be emptied:
  // the far end needs its own moment to take the byte.
  static constexpr int kSwitchMarginMs = 30;

  Clock& clock_;
  std::unique_ptr<SerialTransport> transport_;
  QString openFailure_;
  quint8 portNumber_ = kDefaultPort;
  QString deviceName_;
  quint8 rateIndex_ = 7;
  quint32 baudRate_ = 9600;
  quint8 byteSizeCode_ = kEightDataBits;
  quint8 stopBitsCode_ = kOneStopBit;
  quint8 parityCode_ = kNoParity;
  quint8 rtsMode_ = 1;
  quint8 softwareFlow_ = 0;
  quint16 timerInterval_ = 50;
  int readNesting_ = 0;
  qint64 longestPauseMs_ = 0;
  // When the bytes written so far will have left the line, on the clock's tick.
  double lineFreeAtMs_ = 0;
  std::unique_ptr<QTimer> timer_;
};
