#include "core/link/RS232.h"

#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/base/OperatorUi.h"
#include "core/base/Ports.h"
#include "core/platform/Processes.h"

#include <algorithm>
#include <cmath>

namespace {
const QString kShortSend = QStringLiteral(" bytes were sent only");
const QString kSending = QStringLiteral("Запись данных в станцию");
const QString kReceiving = QStringLiteral("Чтение данных из станции");

void AppendWord(QByteArray& frame, quint16 value) {
  frame.append(static_cast<char>(value & 0xFF));
  frame.append(static_cast<char>(value >> 8));
}

QByteArray Prefix() {
  return QByteArray(reinterpret_cast<const char*>(RS232Class::kFramePrefix),
                    sizeof(RS232Class::kFramePrefix));
}
}  // namespace

RS232Class::RS232Class(Environment& env, quint16 portNumber)
    : env_(env), driver_(env.clock, env.ports.CreateTransport()) {
  if (IsPortNumber(portNumber)) {
    SetPort(portNumber);
  } else {
    driver_.SetPortNumber(kDefaultPort);
  }
  driver_.SetByteSize(ComPortDriverClass::kEightDataBits);
  driver_.SetStopBits(ComPortDriverClass::kOneStopBit);
  driver_.SetParity(ComPortDriverClass::kNoParity);
  driver_.ReadTimeout = kReadTimeoutMs;
  driver_.WriteTimeout = kWriteTimeoutMs;
  SetDelayCode(64);
}

void RS232Class::SetPort(quint16 portNumber) {
  if (!IsPortNumber(portNumber) || portNumber == driver_.PortNumber()) return;
  const bool wasOpen = driver_.IsOpen();
  if (wasOpen) driver_.Close();
  driver_.SetPortNumber(static_cast<quint8>(portNumber));
  if (wasOpen) driver_.Open();
}

void RS232Class::SetDelayCode(quint8 code) {
  delayCode_ = code;
  const int wait = 10 * code - 240;
  replyWait_ = static_cast<quint16>(wait > 0 ? wait : 0);
}

void RS232Class::SetDirection(int direction) {
  driver_.Purge(true, true);
  driver_.SetBaudRate(direction == kSend ? writeRate_ : readRate_);
}

QByteArray RS232Class::ReadRequest(quint16 address, quint8 delayCode, quint16 count) {
  QByteArray frame = Prefix();
  frame.append(reinterpret_cast<const char*>(kReadCommand), sizeof(kReadCommand));
  AppendWord(frame, address);
  frame.append(static_cast<char>(delayCode));
  AppendWord(frame, count);
  return frame;
}

QByteArray RS232Class::WriteFrame(quint16 address, const quint8* data, int count) {
  QByteArray frame = Prefix();
  AppendWord(frame, address);
  frame.append(reinterpret_cast<const char*>(data), count);
  return frame;
}

namespace {

// Hands a whole frame to the port before its line time starts, then follows it down the line.
// The port's queue carries the frame on its own, so a pause of this program of any length
// (a swapping machine, a suspended VM, a debugger) never becomes a silence inside the frame,
// which the station would take for its end. Notes which bytes could not be sent: each one
// that finds no room within the idle limit, and those the port never sent.
class FrameFeed {
 public:
  FrameFeed(ComPortDriverClass& driver, Clock& clock, const quint8* bytes, int count)
      : driver_(driver),
        clock_(clock),
        bytes_(bytes),
        count_(count),
        waitStep_(static_cast<int>(std::ceil(driver.ByteTimeMs()))),
        idleLimit_(driver.WriteTimeout + waitStep_),
        lastProgress_(clock.Tick()) {}

  // Everything is handed over and has left the port, or the port has stopped taking it.
  bool Done() { return handed_ >= count_ && (stalled_ || driver_.OnTheWay() == 0); }
  // Hands over what is left, or waits a little for the line to take some.
  void Step() {
    // The time is taken before the port is looked at, so that a pause of this program in
    // between is never taken for a port that stopped sending.
    const qint64 looked = clock_.Tick();
    const int onTheWay = static_cast<int>(driver_.OnTheWay());
    if (onTheWay < lastOnTheWay_) lastProgress_ = looked;
    lastOnTheWay_ = onTheWay;
    if (handed_ < count_) {
      Queue(count_ - handed_);
    } else if (looked - lastProgress_ > idleLimit_) {
      stalled_ = true;
    } else {
      driver_.AwaitFewerOnTheWay(static_cast<quint32>(std::max(onTheWay, 1)), waitStep_);
      // The device went away or hung up with the frame on its way: what it still held is lost.
      if (!driver_.IsOpen()) Lost(onTheWay);
    }
  }
  // Bytes of the frame that have left the line.
  int Left() { return std::max(0, queued_ - static_cast<int>(driver_.OnTheWay())); }
  // Waits until everything queued has left; gives the position of the first byte not sent,
  // or -1. Bytes that never left are the last queued, so those that left are the first.
  int Finish() {
    Lost(static_cast<int>(driver_.Drain(driver_.WriteTimeout)));
    return firstFailed_;
  }

 private:
  void Queue(int asked) {
    const int taken = static_cast<int>(
        driver_.Write(bytes_ + handed_, static_cast<quint32>(asked), driver_.WriteTimeout));
    handed_ += taken;
    queued_ += taken;
    lastOnTheWay_ = static_cast<int>(driver_.OnTheWay());
    if (taken > 0) lastProgress_ = clock_.Tick();
    // The port found no room for this byte within the idle limit.
    if (taken < asked) GiveUpOne();
  }
  void Lost(int neverLeft) {
    queued_ -= neverLeft;
    if (neverLeft > 0) firstFailed_ = firstFailed_ < 0 ? queued_ : std::min(firstFailed_, queued_);
    stalled_ = true;
  }
  // The byte at hand is not sent, and the rest are tried all the same.
  void GiveUpOne() {
    if (firstFailed_ < 0) firstFailed_ = handed_;
    ++handed_;
  }

  ComPortDriverClass& driver_;
  Clock& clock_;
  const quint8* bytes_;
  const int count_;
  const int waitStep_;
  const qint64 idleLimit_;
  int handed_ = 0;  // bytes queued or given up on
  int queued_ = 0;
  int firstFailed_ = -1;
  int lastOnTheWay_ = 0;
  bool stalled_ = false;
  qint64 lastProgress_;
};

}  // namespace

bool RS232Class::SendFrame(const quint8* bytes, int count, bool reportShortSend) {
  const bool progress = count > kProgressThreshold;
  if (progress) env_.ui.StartProgress(kSending, static_cast<quint16>(count - 1));
  SetDirection(kSend);
  // The progress window shows only bytes that have left the line.
  FrameFeed feed(driver_, env_.clock, bytes, count);
  int shown = -1;
  const auto show = [&](int position) {
    if (!progress || position <= shown) return;
    shown = position;
    env_.ui.SetProgress(static_cast<quint16>(position));
  };
  while (!feed.Done()) {
    feed.Step();
    show(feed.Left() - 1);
  }
  const int firstFailed = feed.Finish();
  show(feed.Left() - 1);
  if (progress) env_.ui.EndProgress();
  if (firstFailed >= 0 && reportShortSend) {
    env_.ui.InfoBox(QString::number(firstFailed) + kShortSend, true);
  }
  return firstFailed < 0;
}

bool RS232Class::ReadMemory(quint16 address, quint16 count, quint8* buffer) {
  // A read changes nothing in the station, so one whose reply was lost to a pause of this
  // program or shifted by a stray byte is asked again.
  int most = 0;
  for (int attempt = 0;; ++attempt) {
    const ReadOutcome outcome = ReadOnce(address, count, buffer);
    most = std::max(most, lastArrived_);
    if (outcome == ReadOutcome::kComplete) return true;
    lastArrived_ = most;
    const bool stopping = !finishing_ && OsTerminationSignal() != 0;
    if (outcome == ReadOutcome::kFailed || attempt == kReadRetries || stopping || !IsOpen()) {
      return false;
    }
    // What is left of the spoilt reply goes by before the request is made again.
    driver_.AwaitQuiet(
        kTrailingQuietMs,
        static_cast<int>(std::ceil((count + 1) * driver_.ByteTimeMs() + kReadTimeoutMs)));
    Pause();
  }
}

RS232Class::ReadOutcome RS232Class::ReadOnce(quint16 address, quint16 count, quint8* buffer) {
  const QByteArray request = ReadRequest(address, delayCode_, count);
  const qint64 sendStart = env_.clock.Tick();
  SendFrame(reinterpret_cast<const quint8*>(request.constData()), static_cast<int>(request.size()));
  const double requestMs = static_cast<double>(request.size()) * driver_.ByteTimeMs();
  // The station answers only after the reply wait, so nothing of the reply can come before
  // the request has left the line: the port turns to the read rate at once, and whatever
  // arrives during the wait stays queued. Emptying the queues after the wait instead would,
  // when this program is held up at the end of the wait, throw away the reply's first bytes.
  SetDirection(kReceive);
  // Turned only after the reply began (this program was stopped or starved meanwhile), the
  // port has thrown away or garbled the reply's start, whatever arrives now.
  const double late = static_cast<double>(env_.clock.Tick() - sendStart) - requestMs;
  const bool turnedLate = late > std::max<double>(kPauseNoticeMs, replyWait_);
  if (turnedLate) driver_.NotePause(static_cast<qint64>(late));
  const bool progress = count > kProgressThreshold;
  if (progress) env_.ui.StartProgress(kReceiving, static_cast<quint16>(count - 1));
  if (replyWait_ > 0) env_.clock.Sleep(replyWait_);
  bool complete = true;
  lastArrived_ = 0;
  for (int position = 0; position < count; ++position) {
    // A byte that did not come within the idle limit fails the read: the rest would each wait
    // the limit out as well, minutes for a long read, to the same end. So does a request to
    // stop the program: nothing is changed by leaving a read.
    if ((!finishing_ && OsTerminationSignal() != 0) || !driver_.ReadByte(buffer[position])) {
      complete = false;
      break;
    }
    ++lastArrived_;
    if (progress) env_.ui.SetProgress(static_cast<quint16>(position));
  }
  // The station sends exactly the bytes asked for: one more, right behind them, means a stray
  // byte came first and every byte read is one place late. The read fails rather than hand
  // on shifted data; the next transaction empties the queues.
  const bool shifted = complete && !driver_.StaysQuiet(kTrailingQuietMs);
  if (progress) env_.ui.EndProgress();
  for (int position = 0; position < count; ++position) {
    buffer[position] = static_cast<quint8>(~buffer[position]);
  }
  if (turnedLate || shifted) return ReadOutcome::kSpoilt;
  return complete ? ReadOutcome::kComplete : ReadOutcome::kFailed;
}

bool RS232Class::WriteMemory(quint16 address, const quint8* data, int count, bool reportShortSend) {
  const QByteArray frame = WriteFrame(address, data, count);
  return SendFrame(reinterpret_cast<const quint8*>(frame.constData()),
                   static_cast<int>(frame.size()), reportShortSend);
}

void RS232Class::Pause() {
  env_.clock.Sleep(kPauseMs);
}
