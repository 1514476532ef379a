#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <deque>
#include <map>

#include "core/link/SerialTransport.h"
#include "core/platform/TcpLine.h"

// A serial line carried over TCP by a serial device server (ser2net, a port server box): the
// Telnet COM Port Control Option of RFC 2217 sets the far port's rate, format and flow control
// in band, and a data byte 0xFF travels doubled both ways, as Telnet's escape. The device is
// named "rfc2217://HOST:PORT".
//
// The far port's transmitter cannot be asked how much it still holds, so the bytes still on
// their way are worked out from the line: each write starts when the line is free (or once it
// has crossed the network) and takes its bytes' line time at the rate in force. A rate change
// is sent only after that time, so it never garbles the end of a frame.
class Rfc2217Transport : public SerialTransport {
 public:
  static constexpr char kScheme[] = "rfc2217://";
  // How long a port the device server says another connection holds is tried again. A server
  // lets a connection go only once what it holds for the line has gone out: up to a whole
  // frame's line time (520 bytes at 325 bit/s is 16 s) after a command that was stopped in the
  // middle of one, and later still on a busy server.
  static constexpr int kBusyRetryMs = 20'000;
  // "rfc2217://HOST:PORT", an IPv6 host in brackets; false when the text is no such address.
  static bool ParseAddress(const QString& device, QString* host, quint16* port);
  static bool IsAddress(const QString& device) { return device.startsWith(QLatin1String(kScheme)); }

  Rfc2217Transport() = default;
  ~Rfc2217Transport() override { Close(); }
  Rfc2217Transport(const Rfc2217Transport&) = delete;
  Rfc2217Transport& operator=(const Rfc2217Transport&) = delete;

  bool Open(const QString& device) override;
  QString OpenError() const override { return openError_; }
  void Close() override;
  bool IsOpen() const override { return tcp_.IsOpen() && !closed_; }
  bool Configure(const LineSettings& settings) override;
  bool Purge(bool receive, bool transmit) override;
  qint64 InQueue() override;
  qint64 OutQueue() override;
  qint64 Read(char* data, qint64 max) override;
  qint64 Write(const char* data, qint64 count) override;
  void WaitForInput(int milliseconds) override;
  void WaitForOutput(int milliseconds) override;
  void ClearError() override {}
  // A closed connection is seen only by reading: the far end's close comes as the stream's end.
  bool HungUp() override {
    Pump(0);
    return closed_;
  }
  void Drain(int milliseconds) override;

  // The rate the device server said it set, after the last Configure; 0 before it answered.
  quint32 AcceptedRate();
  // Whether the last Open got as far as a connection (and failed, if it did, in the
  // negotiation).
  bool Connected() const { return connected_; }
  // The time the server took to answer the first negotiation, in milliseconds.
  qint64 RoundTrip() const { return roundTripMs_; }

 private:
  // One connection and negotiation; kClosed when the server closed it before it set the line
  // (its port held by another connection), which a later try may get past.
  enum class Attempt { kOpen, kFailed, kClosed };
  Attempt TryOpen(const QString& host, quint16 port);
  // Reads what arrived within `milliseconds` and decodes it: data into input_, the server's
  // negotiation answered, its replies to our commands kept.
  void Pump(int milliseconds);
  void Decode(const char* bytes, qint64 count);
  void Negotiate(quint8 verb, quint8 option);
  void Subnegotiation(const QByteArray& body);
  bool Send(const QByteArray& bytes);
  // Whether a write still waits for the server's word that it reached the far port.
  bool WritesUnconfirmed() const;
  void Command(quint8 code, const QByteArray& value);
  qint64 NowUs() const { return clock_.nsecsElapsed() / 1000; }

  TcpLine tcp_;
  QString device_;
  bool closed_ = false;
  bool connected_ = false;
  QString openError_;
  QByteArray input_;    // data bytes that arrived, not yet read
  QByteArray partial_;  // the start of a Telnet sequence cut by a segment's end
  QByteArray sb_;       // the subnegotiation being read
  enum class State { kData, kIac, kVerb, kSb, kSbIac } state_ = State::kData;
  quint8 verb_ = 0;
  std::map<quint8, bool> answered_;  // the options we told the server of already
  bool comPortRefused_ = false;
  bool comPortAccepted_ = false;
  std::map<quint8, QByteArray> replies_;  // the server's replies by command
  // The SET-BAUDRATE replies still to come, in order: the line time of the write each one
  // confirms, or -1 for one that follows a rate set or asked for its own sake.
  std::deque<qint64> rateReplies_;
  qint64 confirmedFreeUs_ = 0;  // when the far port is free by the confirmed writes

  QElapsedTimer clock_;
  qint64 roundTripMs_ = 0;
  qint64 byteUs_ = 10'000'000 / 9600;  // one byte's line time at the rate in force
  qint64 lineFreeUs_ = 0;              // when the far port has sent what it was given
  qint64 queued_ = 0;                  // bytes written since the line was last free
};
