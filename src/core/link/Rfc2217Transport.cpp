#include "core/link/Rfc2217Transport.h"

#include <QMutex>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <chrono>

namespace {

constexpr quint8 kIac = 255;
constexpr quint8 kDont = 254;
constexpr quint8 kDo = 253;
constexpr quint8 kWont = 252;
constexpr quint8 kWill = 251;
constexpr quint8 kSb = 250;
constexpr quint8 kSe = 240;
constexpr quint8 kBinary = 0;
constexpr quint8 kSuppressGoAhead = 3;
constexpr quint8 kComPort = 44;

// The COM Port Control Option's commands, client to server; a server replies with the code
// plus 100.
constexpr quint8 kSetBaudRate = 1;
constexpr quint8 kSetDataSize = 2;
constexpr quint8 kSetParity = 3;
constexpr quint8 kSetStopSize = 4;
constexpr quint8 kSetControl = 5;
constexpr quint8 kPurgeData = 12;
constexpr quint8 kServerOffset = 100;

constexpr int kConnectMs = 5000;
constexpr int kNegotiationMs = 3000;
constexpr int kSendMs = 5000;
constexpr int kFarMarginMs = 100;

QByteArray Escaped(const char* data, qint64 count) {
  QByteArray bytes;
  bytes.reserve(count + count / 8);
  for (qint64 i = 0; i < count; ++i) {
    bytes += data[i];
    if (static_cast<quint8>(data[i]) == kIac) bytes += static_cast<char>(kIac);
  }
  return bytes;
}

// Until when the far port of each address may still be sending what a lost connection left
// with it: a new connection waits for that, so its first frame does not run on from the old one.
QMutex lineLock;
std::map<QString, qint64> lineBusyUntilMs;

qint64 SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

QByteArray Bytes(std::initializer_list<quint8> values) {
  QByteArray bytes;
  for (const quint8 value : values) bytes += static_cast<char>(value);
  return bytes;
}

}  // namespace

bool Rfc2217Transport::ParseAddress(const QString& device, QString* host, quint16* port) {
  static const QRegularExpression shape(
      QStringLiteral("^rfc2217://(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9.-]+):([0-9]{1,5})$"));
  const QRegularExpressionMatch match = shape.match(device);
  if (!match.hasMatch()) return false;
  const int number = match.captured(2).toInt();
  if (number < 1 || number > 65535) return false;
  *host = match.captured(1);
  if (host->startsWith(u'[')) *host = host->mid(1, host->size() - 2);
  *port = static_cast<quint16>(number);
  return true;
}

bool Rfc2217Transport::Open(const QString& device) {
  Close();
  connected_ = false;
  QString host;
  quint16 port = 0;
  if (!ParseAddress(device, &host, &port)) {
    openError_ = QStringLiteral("%1 is no address rfc2217://HOST:PORT").arg(device);
    return false;
  }
  {
    QMutexLocker locked(&lineLock);
    const auto busy = lineBusyUntilMs.find(device);
    if (busy != lineBusyUntilMs.end()) {
      const qint64 wait = busy->second - SteadyMs();
      lineBusyUntilMs.erase(busy);
      if (wait > 0) QThread::msleep(static_cast<unsigned long>(wait));
    }
  }
  device_ = device;
  // A device server serves one connection to its port at a time, and lets the last one go a
  // moment after it closed: a command that follows another at once is let in on a later try.
  QElapsedTimer tried;
  tried.start();
  for (;;) {
    const Attempt attempt = TryOpen(host, port);
    if (attempt == Attempt::kOpen) return true;
    if (attempt == Attempt::kFailed || tried.elapsed() >= kBusyRetryMs) return false;
    QThread::msleep(100);
  }
}

Rfc2217Transport::Attempt Rfc2217Transport::TryOpen(const QString& host, quint16 port) {
  Close();
  connected_ = tcp_.Connect(host, port, kConnectMs, &openError_);
  if (!connected_) return Attempt::kFailed;
  tcp_.SendAtOnce();
  clock_.start();
  // Binary both ways, so that no byte of an image is taken for a line end; then the option.
  answered_ = {{kBinary, true}, {kComPort, true}};
  const qint64 asked = NowUs();
  if (!Send(Bytes({kIac, kWill, kBinary, kIac, kDo, kBinary, kIac, kWill, kComPort}))) {
    return Attempt::kFailed;
  }
  while (!comPortAccepted_ && !comPortRefused_ && !closed_ &&
         NowUs() - asked < kNegotiationMs * 1000) {
    Pump(50);
  }
  roundTripMs_ = (NowUs() - asked) / 1000;
  if (comPortAccepted_) {
    // The port is ours once the server tells its rate (a rate of 0 asks it): a server whose
    // port is held by another connection says so in words and closes instead.
    Command(kSetBaudRate, QByteArray(4, '\0'));
    rateReplies_.push_back(-1);
    while (!closed_ && replies_.count(kSetBaudRate + kServerOffset) == 0 &&
           NowUs() - asked < kNegotiationMs * 1000) {
      Pump(50);
    }
    if (replies_.count(kSetBaudRate + kServerOffset) != 0) {
      openError_.clear();
      return Attempt::kOpen;
    }
  }
  Attempt attempt = Attempt::kFailed;
  if (closed_) {
    const QString said = QString::fromLatin1(input_).simplified().left(80);
    openError_ = said.isEmpty()
                     ? QStringLiteral("%1:%2 closed the connection before it set the line")
                           .arg(host)
                           .arg(port)
                     : QStringLiteral("%1:%2 is busy: the device server said \"%3\"")
                           .arg(host)
                           .arg(port)
                           .arg(said);
    attempt = Attempt::kClosed;
  } else if (comPortRefused_) {
    openError_ = QStringLiteral("%1:%2 does not speak RFC 2217 (COM-PORT-OPTION refused)")
                     .arg(host)
                     .arg(port);
  } else {
    openError_ = QStringLiteral("%1:%2 did not answer the RFC 2217 negotiation within %3 s")
                     .arg(host)
                     .arg(port)
                     .arg(kNegotiationMs / 1000);
  }
  tcp_.Close();
  return attempt;
}

void Rfc2217Transport::Close() {
  if (tcp_.IsOpen() || closed_) {
    // Bytes the far port may still hold: the line time left by the model, and that of writes
    // the server never confirmed, which it may yet have received.
    qint64 leftUs = std::max<qint64>(lineFreeUs_ - NowUs(), 0);
    for (const qint64 lineUs : rateReplies_) leftUs += std::max<qint64>(lineUs, 0);
    if (leftUs > 0) {
      QMutexLocker locked(&lineLock);
      lineBusyUntilMs[device_] = SteadyMs() + leftUs / 1000 + kFarMarginMs + roundTripMs_;
    }
  }
  tcp_.Close();
  closed_ = false;
  input_.clear();
  partial_.clear();
  sb_.clear();
  state_ = State::kData;
  answered_.clear();
  replies_.clear();
  rateReplies_.clear();
  comPortAccepted_ = comPortRefused_ = false;
  lineFreeUs_ = queued_ = confirmedFreeUs_ = 0;
}

bool Rfc2217Transport::Send(const QByteArray& bytes) {
  if (closed_) return false;
  if (!tcp_.Send(bytes, kSendMs, &openError_)) {
    closed_ = true;
    return false;
  }
  return true;
}

void Rfc2217Transport::Command(quint8 code, const QByteArray& value) {
  Send(Bytes({kIac, kSb, kComPort, code}) + Escaped(value.constData(), value.size()) +
       Bytes({kIac, kSe}));
}

bool Rfc2217Transport::Configure(const LineSettings& s) {
  if (s.parityCode < 0 || s.parityCode > 4 || s.stopBitsCode < 0 || s.stopBitsCode > 2 ||
      s.dataBits < 5 || s.dataBits > 8 || s.rate == 0) {
    return false;
  }
  // A new rate must not reach the far port while it still sends at the old one.
  Drain(static_cast<int>((lineFreeUs_ - NowUs()) / 1000 + 1000));
  QByteArray rate(4, '\0');
  for (int i = 0; i < 4; ++i) rate[i] = static_cast<char>(s.rate >> (24 - 8 * i));
  replies_.erase(kSetBaudRate + kServerOffset);
  Command(kSetBaudRate, rate);
  rateReplies_.push_back(-1);
  Command(kSetDataSize, QByteArray(1, static_cast<char>(s.dataBits)));
  Command(kSetParity, QByteArray(1, static_cast<char>(s.parityCode + 1)));
  static constexpr quint8 kStop[] = {1, 3, 2};  // one, one and a half, two
  Command(kSetStopSize, QByteArray(1, static_cast<char>(kStop[s.stopBitsCode])));
  // Flow control: none, software or hardware (1, 2, 3).
  Command(kSetControl, QByteArray(1, static_cast<char>(s.rtsMode == 2   ? 3
                                                       : s.softwareFlow ? 2
                                                                        : 1)));
  const int bits = 1 + s.dataBits + (s.parityCode != 0) + (s.stopBitsCode == 0 ? 1 : 2);
  byteUs_ = static_cast<qint64>(bits) * 1'000'000 / s.rate;
  return !closed_;
}

bool Rfc2217Transport::Purge(bool receive, bool transmit) {
  if (!receive && !transmit) return true;
  Command(kPurgeData, QByteArray(1, static_cast<char>(receive && transmit ? 3 : receive ? 1 : 2)));
  if (receive) {
    Pump(0);
    input_.clear();
  }
  if (transmit) {
    // What the far port held is gone: the replies still to come confirm nothing.
    lineFreeUs_ = queued_ = confirmedFreeUs_ = 0;
    std::fill(rateReplies_.begin(), rateReplies_.end(), -1);
  }
  return !closed_;
}

qint64 Rfc2217Transport::InQueue() {
  Pump(0);
  return input_.size();
}

qint64 Rfc2217Transport::OutQueue() {
  Pump(0);
  const qint64 left = lineFreeUs_ - NowUs();
  // A write the server has not yet confirmed may still be held by the network.
  const qint64 unconfirmed = WritesUnconfirmed() ? 1 : 0;
  if (left <= 0) {
    if (unconfirmed == 0) queued_ = 0;
    return unconfirmed;
  }
  return std::max(std::min(queued_, (left + byteUs_ - 1) / byteUs_), unconfirmed);
}

qint64 Rfc2217Transport::Read(char* data, qint64 max) {
  const qint64 count = std::min<qint64>(max, input_.size());
  std::copy_n(input_.constData(), count, data);
  input_.remove(0, count);
  return count;
}

qint64 Rfc2217Transport::Write(const char* data, qint64 count) {
  if (count <= 0) return 0;
  // The whole write in one segment: a frame split by the network would be a silence inside it
  // at the station.
  if (!Send(Escaped(data, count))) return -1;
  const qint64 now = NowUs();
  if (lineFreeUs_ <= now) {
    // The line is idle: the bytes start once they crossed the network.
    lineFreeUs_ = now + roundTripMs_ * 500;
    queued_ = 0;
  }
  lineFreeUs_ += count * byteUs_;
  queued_ += count;
  // The server answers a question only after it handed the bytes before it to its port: the
  // answer to this one says when the write reached the far end, however long the network
  // held it.
  Command(kSetBaudRate, QByteArray(4, '\0'));
  rateReplies_.push_back(count * byteUs_);
  return count;
}

void Rfc2217Transport::WaitForInput(int milliseconds) {
  if (input_.isEmpty()) Pump(std::max(milliseconds, 0));
}

void Rfc2217Transport::WaitForOutput(int milliseconds) {
  if (milliseconds > 0 && OutQueue() > 0) Pump(std::min(milliseconds, 5));
}

bool Rfc2217Transport::WritesUnconfirmed() const {
  return std::any_of(rateReplies_.begin(), rateReplies_.end(),
                     [](qint64 lineUs) { return lineUs >= 0; });
}

void Rfc2217Transport::Drain(int milliseconds) {
  // The far port's last byte, and half a round trip for the news to come back; a write not yet
  // confirmed is waited for, since the network may still hold it.
  const qint64 limit = NowUs() + static_cast<qint64>(std::max(milliseconds, 0)) * 1000;
  for (;;) {
    const qint64 now = NowUs();
    const qint64 until = std::min(lineFreeUs_ + roundTripMs_ * 500, limit);
    if (now >= limit || (now >= until && !WritesUnconfirmed()) || closed_) return;
    const qint64 step = std::clamp<qint64>(until - now, 1000, 5000);
    if (WritesUnconfirmed() && tcp_.IsOpen()) {
      Pump(static_cast<int>(step / 1000));
    } else {
      QThread::usleep(static_cast<unsigned long>(step));
    }
  }
}

quint32 Rfc2217Transport::AcceptedRate() {
  Pump(0);
  const auto reply = replies_.find(kSetBaudRate + kServerOffset);
  if (reply == replies_.end() || reply->second.size() != 4) return 0;
  quint32 rate = 0;
  for (const char byte : reply->second) rate = rate << 8 | static_cast<quint8>(byte);
  return rate;
}

void Rfc2217Transport::Pump(int milliseconds) {
  if (!tcp_.IsOpen() || closed_) return;
  char block[4096];
  QString reason;
  qint64 count = tcp_.Receive(block, sizeof block, milliseconds, &reason);
  while (count > 0) {
    Decode(block, count);
    count = tcp_.Receive(block, sizeof block, 0, &reason);
  }
  if (count < 0) {
    closed_ = true;
    openError_ = reason;
  }
}

void Rfc2217Transport::Decode(const char* bytes, qint64 count) {
  for (qint64 i = 0; i < count; ++i) {
    const quint8 byte = static_cast<quint8>(bytes[i]);
    switch (state_) {
      case State::kData:
        if (byte == kIac) {
          state_ = State::kIac;
        } else {
          input_ += static_cast<char>(byte);
        }
        break;
      case State::kIac:
        if (byte == kIac) {
          input_ += static_cast<char>(byte);
          state_ = State::kData;
        } else if (byte == kSb) {
          sb_.clear();
          state_ = State::kSb;
        } else if (byte >= kWill && byte <= kDont) {
          verb_ = byte;
          state_ = State::kVerb;
        } else {
          state_ = State::kData;  // a Telnet command without an option (NOP, GA): nothing
        }
        break;
      case State::kVerb:
        Negotiate(verb_, byte);
        state_ = State::kData;
        break;
      case State::kSb:
        if (byte == kIac) {
          state_ = State::kSbIac;
        } else {
          sb_ += static_cast<char>(byte);
        }
        break;
      case State::kSbIac:
        if (byte == kSe) {
          Subnegotiation(sb_);
          state_ = State::kData;
        } else {
          sb_ += static_cast<char>(byte);  // IAC IAC inside: one 0xFF
          state_ = State::kSb;
        }
        break;
    }
  }
}

void Rfc2217Transport::Negotiate(quint8 verb, quint8 option) {
  const bool wanted = option == kBinary || option == kComPort || option == kSuppressGoAhead;
  if (option == kComPort && (verb == kDo || verb == kDont)) {
    comPortAccepted_ = verb == kDo;
    comPortRefused_ = verb == kDont;
    return;
  }
  // Answer each offer once: what we want is agreed to, the rest refused.
  if (answered_[option]) return;
  answered_[option] = true;
  if (verb == kDo) Send(Bytes({kIac, wanted ? kWill : kWont, option}));
  if (verb == kWill) Send(Bytes({kIac, wanted ? kDo : kDont, option}));
}

void Rfc2217Transport::Subnegotiation(const QByteArray& body) {
  if (body.size() < 2 || static_cast<quint8>(body[0]) != kComPort) return;
  const quint8 code = static_cast<quint8>(body[1]);
  replies_[code] = body.mid(2);
  if (code != kSetBaudRate + kServerOffset || rateReplies_.empty()) return;
  // The replies come in the order of the questions. One that follows a write: the write had
  // reached the far port by now at the latest, so its last byte leaves within its line time
  // from now, after what was there before it.
  const qint64 lineUs = rateReplies_.front();
  rateReplies_.pop_front();
  if (lineUs < 0) return;
  confirmedFreeUs_ = std::max(confirmedFreeUs_, NowUs()) + lineUs;
  lineFreeUs_ = std::max(lineFreeUs_, confirmedFreeUs_);
}
