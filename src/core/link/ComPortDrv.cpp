#include "core/link/ComPortDrv.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

#include "core/base/Clock.h"
#include "core/platform/SerialPlatform.h"

namespace {
constexpr quint32 kStandardRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                      19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr quint32 kClosedCount = 65535;
}  // namespace

quint32 ComPortDriverClass::StandardRate(quint8 index) {
  if (index < 1 || index > std::size(kStandardRates)) return 0;
  return kStandardRates[index - 1];
}

ComPortDriverClass::ComPortDriverClass(Clock& clock, std::unique_ptr<SerialTransport> transport)
    : clock_(clock),
      transport_(std::move(transport)),
      deviceName_(ComPortDeviceName(kDefaultPort)),
      timer_(std::make_unique<QTimer>()) {
  baudRate_ = StandardRate(rateIndex_);
  timer_->setInterval(timerInterval_);
  QObject::connect(timer_.get(), &QTimer::timeout, [this] { TimerTick(); });
}

ComPortDriverClass::~ComPortDriverClass() {
  Close();
}

bool ComPortDriverClass::IsOpen() const {
  return transport_->IsOpen();
}

bool ComPortDriverClass::Open() {
  if (IsOpen()) return true;
  openFailure_.clear();
  if (!transport_->Open(deviceName_)) {
    openFailure_ = transport_->OpenError();
    if (openFailure_.isEmpty()) openFailure_ = QStringLiteral("it cannot be opened");
    return false;
  }
  if (!Configure()) {
    Close();
    openFailure_ = QStringLiteral("its driver does not take the line settings");
    return false;
  }
  // The platform's own read and write calls never wait here; all waiting is done by Read and
  // Write, with the idle limits.
  timer_->start();
  return true;
}

void ComPortDriverClass::Close() {
  if (!IsOpen()) return;
  timer_->stop();
  transport_->Close();
}

void ComPortDriverClass::SetPortNumber(quint8 number) {
  portNumber_ = number;
  if (!IsOpen() && number != 0) deviceName_ = ComPortDeviceName(number);
}

void ComPortDriverClass::SetBaudRate(quint32 rate) {
  rateIndex_ = 0;
  baudRate_ = rate;
  if (IsOpen()) Configure();
}

void ComPortDriverClass::SetByteSize(quint8 code) {
  byteSizeCode_ = code;
  if (IsOpen()) Configure();
}

void ComPortDriverClass::SetStopBits(quint8 code) {
  stopBitsCode_ = code;
  if (IsOpen()) Configure();
}

void ComPortDriverClass::SetParity(quint8 code) {
  parityCode_ = code;
  if (IsOpen()) Configure();
}

LineSettings ComPortDriverClass::Settings() const {
  LineSettings s;
  s.rate = baudRate_;
  s.dataBits = byteSizeCode_ + 5;
  s.parityCode = parityCode_;
  s.stopBitsCode = stopBitsCode_;
  s.rtsMode = rtsMode_;
  s.softwareFlow = softwareFlow_ == 1;
  return s;
}

bool ComPortDriverClass::Configure() {
  if (!IsOpen()) return false;
  AwaitLineFree();
  if (!transport_->Configure(Settings())) return false;
  // Every change of rate or format empties both queues.
  return Purge(true, true);
}

bool ComPortDriverClass::Purge(bool receive, bool transmit) {
  if (!IsOpen()) return false;
  if (transmit) AwaitLineFree();
  return transport_->Purge(receive, transmit);
}

void ComPortDriverClass::AwaitLineFree() {
  // A new rate, or emptied queues, must not catch the last byte of a frame on its way out; a
  // little margin covers the far end's own timing.
  const double wait = lineFreeAtMs_ + kSwitchMarginMs - static_cast<double>(clock_.Tick());
  if (lineFreeAtMs_ > 0 && wait >= 1) clock_.Sleep(static_cast<int>(wait));
  lineFreeAtMs_ = 0;
}

quint32 ComPortDriverClass::InQueue() {
  if (!IsOpen()) return kClosedCount;
  transport_->ClearError();
  return static_cast<quint32>(std::max<qint64>(0, transport_->InQueue()));
}

quint16 ComPortDriverClass::OutFree() {
  if (!IsOpen()) return kClosedCount;
  transport_->ClearError();
  const qint64 queued = transport_->OutQueue();
  return static_cast<quint16>(std::clamp<qint64>(kQueueSize - queued, 0, kQueueSize));
}

quint32 ComPortDriverClass::Write(const quint8* data, quint32 count, quint32 idleLimit) {
  if (!IsOpen()) return 0;
  const Moved moved = Move(
      count, idleLimit,
      [&](quint32 done) -> qint64 {
        const quint16 room = OutFree();
        if (room == 0) return 0;
        const qint64 taken = transport_->Write(reinterpret_cast<const char*>(data + done),
                                               std::min<qint64>(count - done, room));
        if (taken > 0) PutOnLine(static_cast<quint32>(taken));
        return taken;
      },
      [this](int ms) { transport_->WaitForOutput(ms); });
  return moved.total;
}

double ComPortDriverClass::ByteTimeMs() const {
  const LineSettings line = Settings();
  const int bits = 1 + line.dataBits + (line.parityCode ? 1 : 0) + (line.stopBitsCode ? 2 : 1);
  return 1000.0 * bits / std::max<quint32>(line.rate, 1);
}

void ComPortDriverClass::PutOnLine(quint32 bytes) {
  // The kernel's queue says nothing of the transmitter's own buffer, and a pseudo-terminal or
  // a USB adapter takes bytes faster than the line carries them. So bytes are taken to be on
  // the line for their full line time, one after another, from when they were handed over.
  const double now = static_cast<double>(clock_.Tick());
  lineFreeAtMs_ = std::max(lineFreeAtMs_, now) + bytes * ByteTimeMs();
}

double ComPortDriverClass::LineBusyForMs() {
  if (lineFreeAtMs_ <= 0) return 0;
  return lineFreeAtMs_ - static_cast<double>(clock_.Tick());
}

quint32 ComPortDriverClass::OnTheWay() {
  if (!IsOpen()) return 0;
  const double busy = LineBusyForMs();
  const qint64 byLine = busy > 0 ? static_cast<qint64>(std::ceil(busy / ByteTimeMs())) : 0;
  return static_cast<quint32>(std::max<qint64>({transport_->OutQueue(), byLine, 0}));
}

void ComPortDriverClass::AwaitFewerOnTheWay(quint32 bytes, int milliseconds) {
  const qint64 start = clock_.Tick();
  for (;;) {
    const quint32 onTheWay = OnTheWay();
    const qint64 waited = clock_.Tick() - start;
    if (onTheWay < bytes || waited >= milliseconds || !IsOpen() || LineLost()) return;
    // The line model says when the next byte leaves; a port that queues more than the model
    // knows of is looked at again a little later.
    const double untilNext = LineBusyForMs() - (bytes - 1) * ByteTimeMs();
    const int wait = std::clamp(static_cast<int>(std::ceil(untilNext)), 1,
                                static_cast<int>(milliseconds - waited));
    if (transport_->OutQueue() >= bytes) {
      transport_->WaitForOutput(wait);
    } else {
      clock_.Sleep(wait);
    }
  }
}

quint32 ComPortDriverClass::Drain(quint32 idleLimit) {
  if (!IsOpen()) return 0;
  // A byte counts as written once it has left the port. The station link purges the queues
  // when it turns to receiving, which would silently discard bytes still queued.
  qint64 noted = clock_.Tick();
  qint64 queued = transport_->OutQueue();
  while (queued > 0) {
    const qint64 looked = clock_.Tick();
    const qint64 now = transport_->OutQueue();
    if (now < queued) {
      queued = now;
      noted = looked;
      continue;
    }
    const qint64 idle = looked - noted;
    if (idle > idleLimit || LineLost()) break;
    transport_->WaitForOutput(static_cast<int>(idleLimit - idle + 1));
  }
  if (queued > 0 || !IsOpen()) return static_cast<quint32>(std::max<qint64>(queued, 0));
  // The transmitter is asked to drain (where it can tell) within the bytes' line time and a
  // margin, and the bytes are on the line for their full line time in any case.
  transport_->Drain(std::max(static_cast<int>(std::floor(LineBusyForMs())), 0) + kDrainMarginMs);
  const int left = static_cast<int>(std::ceil(LineBusyForMs()));
  if (left > 0) clock_.Sleep(left);
  return 0;
}

void ComPortDriverClass::AwaitQuiet(int quietMs, int limitMs) {
  const qint64 start = clock_.Tick();
  while (!StaysQuiet(quietMs) && clock_.Tick() - start < limitMs) {
    quint8 discarded[64];
    transport_->Read(reinterpret_cast<char*>(discarded), sizeof discarded);
  }
}

bool ComPortDriverClass::LineLost() {
  if (!transport_->HungUp()) return false;
  // The device is gone or hung up; the next station operation's link check reopens it.
  Close();
  return true;
}

bool ComPortDriverClass::WriteByte(quint8 byte) {
  return Write(&byte, 1, WriteTimeout) == 1;
}

quint32 ComPortDriverClass::Read(quint8* buffer, quint32 count) {
  if (!IsOpen()) return 0;
  ++readNesting_;
  const Moved moved = Move(
      count, ReadTimeout,
      [&](quint32 done) -> qint64 {
        const quint32 waiting = InQueue();
        if (waiting == 0) return 0;
        return transport_->Read(reinterpret_cast<char*>(buffer + done),
                                std::min<qint64>(count - done, waiting));
      },
      [this](int ms) { transport_->WaitForInput(ms); });
  --readNesting_;
  return moved.total;
}

template <class Step, class Wait>
ComPortDriverClass::Moved ComPortDriverClass::Move(quint32 count, quint32 idleLimit, Step step,
                                                   Wait wait) {
  Moved moved{0, clock_.Tick()};
  qint64 lastLook = -1;
  int asked = 0;
  while (moved.total < count) {
    // The time is taken before the port is looked at: a pause of this program between the
    // two must not count as silence that the look has not seen.
    const qint64 looked = clock_.Tick();
    if (lastLook >= 0 && looked - lastLook - asked > kPauseNoticeMs) {
      NotePause(looked - lastLook - asked);
    }
    lastLook = looked;
    asked = 0;
    const qint64 done = step(moved.total);
    if (done > 0) {
      moved.total += static_cast<quint32>(done);
      moved.lastProgress = clock_.Tick();
      continue;
    }
    const qint64 idle = looked - moved.lastProgress;
    if (idle > idleLimit || LineLost()) break;
    asked = static_cast<int>(idleLimit - idle + 1);
    wait(asked);
  }
  return moved;
}

bool ComPortDriverClass::ReadByte(quint8& byte) {
  return Read(&byte, 1) == 1;
}

bool ComPortDriverClass::StaysQuiet(int milliseconds) {
  if (!IsOpen()) return true;
  ++readNesting_;
  const qint64 start = clock_.Tick();
  bool quiet = true;
  for (;;) {
    const qint64 waited = clock_.Tick() - start;
    if (InQueue() > 0) {
      quiet = false;
      break;
    }
    if (waited >= milliseconds || LineLost()) break;
    transport_->WaitForInput(static_cast<int>(milliseconds - waited));
  }
  --readNesting_;
  return quiet;
}

void ComPortDriverClass::TimerTick() {
  // The design's tick clears the port's error state. A tick with nothing to clear costs
  // nothing; a hung-up port is closed at once, since left open its read notifier would fire
  // without end.
  if (!IsOpen() || readNesting_ > 0 || !transport_->NeedsAttention()) return;
  if (!LineLost()) transport_->ClearError();
}

bool ComPortDriverClass::TimerActive() const {
  return timer_->isActive();
}
