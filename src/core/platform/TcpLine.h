#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A TCP connection for a conversation of lines, such as SMTP with the machine's mail server.
// The command line needs no more of a network than this, and Qt's network library would be
// loaded at every start of every command for it.
class TcpLine {
 public:
  TcpLine() = default;
  ~TcpLine();
  TcpLine(const TcpLine&) = delete;
  TcpLine& operator=(const TcpLine&) = delete;

  // Tries each address of `host` in turn; false with the system's words when none answers
  // within `milliseconds`.
  bool Connect(const QString& host, quint16 port, int milliseconds, QString* reason);
  bool Send(const QByteArray& bytes, int milliseconds, QString* reason);
  // The next line, without its CR LF; none when the peer closed or was silent for
  // `milliseconds`.
  std::optional<QByteArray> ReadLine(int milliseconds, QString* reason);

 private:
  int descriptor_ = -1;
  QByteArray received_;
};
