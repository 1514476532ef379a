#include "core/link/RS232.h"

#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/base/OperatorUi.h"

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
  if (portNumber >= 1 && portNumber <= 16) {
    SetPort(portNumber);
  } else {
    driver_.SetPortNumber(2);
  }
  driver_.SetByteSize(3);
  driver_.SetStopBits(0);
  driver_.SetParity(0);
  driver_.ReadTimeout = 800;
  driver_.WriteTimeout = 50;
  SetDelayCode(64);
}

void RS232Class::SetPort(quint16 portNumber) {
  if (portNumber < 1 || portNumber > 16 || portNumber == driver_.PortNumber()) return;
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

bool RS232Class::SendFrame(const quint8* bytes, int count, bool reportShortSend) {
  const bool progress = count > kProgressThreshold;
  if (progress) env_.ui.StartProgress(kSending, static_cast<quint16>(count - 1));
  SetDirection(kSend);
  int firstFailed = -1;
  for (int position = 0; position < count; ++position) {
    if (!driver_.WriteByte(bytes[position]) && firstFailed < 0) firstFailed = position;
    if (progress) env_.ui.SetProgress(static_cast<quint16>(position));
  }
  if (progress) env_.ui.EndProgress();
  if (firstFailed >= 0 && reportShortSend) {
    env_.ui.InfoBox(QString::number(firstFailed) + kShortSend, true);
  }
  return firstFailed < 0;
}

bool RS232Class::ReadMemory(quint16 address, quint16 count, quint8* buffer) {
  const QByteArray request = ReadRequest(address, delayCode_, count);
  SendFrame(reinterpret_cast<const quint8*>(request.constData()), static_cast<int>(request.size()));
  const bool progress = count > kProgressThreshold;
  if (progress) env_.ui.StartProgress(kReceiving, static_cast<quint16>(count - 1));
  if (replyWait_ > 0) env_.clock.Sleep(replyWait_);
  // Anything that arrived during the wait is discarded, and the port turns to the read rate.
  SetDirection(kReceive);
  bool complete = true;
  for (int position = 0; position < count; ++position) {
    // A byte that did not come within the idle limit fails the read: the rest would each wait
    // the limit out as well, minutes for a long read, to the same end.
    if (!driver_.ReadByte(buffer[position])) {
      complete = false;
      break;
    }
    if (progress) env_.ui.SetProgress(static_cast<quint16>(position));
  }
  // The station sends exactly the bytes asked for: one more, right behind them, means a stray
  // byte came first and every byte read is one place late. The read fails rather than hand
  // on shifted data; the next transaction empties the queues.
  if (complete && !driver_.StaysQuiet(kTrailingQuietMs)) complete = false;
  if (progress) env_.ui.EndProgress();
  for (int position = 0; position < count; ++position) {
    buffer[position] = static_cast<quint8>(~buffer[position]);
  }
  return complete;
}

bool RS232Class::WriteMemory(quint16 address, const quint8* data, int count, bool reportShortSend) {
  const QByteArray frame = WriteFrame(address, data, count);
  return SendFrame(reinterpret_cast<const quint8*>(frame.constData()),
                   static_cast<int>(frame.size()), reportShortSend);
}

void RS232Class::Pause() {
  env_.clock.Sleep(kPauseMs);
}
