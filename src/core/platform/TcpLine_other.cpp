// Elsewhere alerts are handed to a program (sendmail or a chat hook) only.
#include "core/platform/TcpLine.h"

TcpLine::~TcpLine() = default;

bool TcpLine::Connect(const QString&, quint16, int, QString* reason) {
  *reason = QStringLiteral("SMTP is not available on this system");
  return false;
}

bool TcpLine::Send(const QByteArray&, int, QString* reason) {
  *reason = QStringLiteral("SMTP is not available on this system");
  return false;
}

void TcpLine::SendAtOnce() {}

void TcpLine::Close() {}

qint64 TcpLine::Receive(char*, qint64, int, QString* reason) {
  *reason = QStringLiteral("TCP is not available on this system");
  return -1;
}

std::optional<QByteArray> TcpLine::ReadLine(int, QString* reason) {
  *reason = QStringLiteral("SMTP is not available on this system");
  return std::nullopt;
}
