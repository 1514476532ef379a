#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A TCP connection for a conversation of lines, such as SMTP with the machine's mail server, or
// for a stream of bytes, such as a serial line carried by a device server.
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

  // Sends small writes at once instead of gathering them (Nagle's algorithm off): a frame
  // held back in the PC is a silence on the line.
  void SendAtOnce();
  // Up to `max` bytes that arrived, waiting at most `milliseconds` for the first: 0 when none
  // came, -1 (with the reason) when the peer closed or the connection failed.
  qint64 Receive(char* data, qint64 max, int milliseconds, QString* reason);
  bool IsOpen() const { return descriptor_ >= 0; }
  void Close();

 private:
  int descriptor_ = -1;
  QByteArray received_;
};
