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

std::optional<QByteArray> TcpLine::ReadLine(int, QString* reason) {
  *reason = QStringLiteral("SMTP is not available on this system");
  return std::nullopt;
}
