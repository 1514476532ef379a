// The RFC 2217 transport against a scripted device server on a loopback socket: what it says
// on the wire, byte for byte, and how it reads what the server says, cut anywhere.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <thread>

#include "Loopback.h"
#include "core/link/Rfc2217Transport.h"

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray bytes;
  for (const int value : values) bytes += static_cast<char>(value);
  return bytes;
}

// Connections on a loopback port, the first `connections` of them served by `script` in turn
// on a thread of its own.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::function<void(int)> script, int connections = 1) {
    listener_ = ListenOnLoopback(&port_);
    thread_ = std::thread([this, script, connections] {
      for (int i = 0; i < connections; ++i) {
        const int connection = ::accept(listener_, nullptr, nullptr);
        if (connection < 0) return;
        script(connection);
        ::close(connection);
      }
    });
  }
  ~ScriptedServer() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  QString Address() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port_); }

  // Reads until `count` bytes came or a second passed.
  static QByteArray Take(int connection, int count) {
    QByteArray bytes;
    QElapsedTimer waited;
    waited.start();
    while (bytes.size() < count && waited.elapsed() < 1000) {
      char block[256];
      const ssize_t got =
          ::recv(connection, block, std::min<size_t>(sizeof block, size_t(count - bytes.size())),
                 MSG_DONTWAIT);
      if (got > 0)
        bytes.append(block, got);
      else
        QThread::msleep(2);
    }
    return bytes;
  }
  static void Give(int connection, const QByteArray& bytes) {
    ::send(connection, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
  }

 private:
  int listener_ = -1;
  quint16 port_ = 0;
  std::thread thread_;
};

constexpr int kIac = 255, kSb = 250, kSe = 240, kWill = 251, kDo = 253, kDont = 254;

}  // namespace

// The negotiation, the line's settings, data with 0xFF both ways (a Telnet sequence cut between
// two segments), a purge, the server's rate reply, and its hang-up.
TEST(Rfc2217, TheConversationByteForByte) {
  QByteArray heard;
  ScriptedServer server([&](int c) {
    heard += ScriptedServer::Take(c, 9);  // WILL BINARY, DO BINARY, WILL COM-PORT
    // The server's own offers come first: the transport agrees to what it wants only.
    ScriptedServer::Give(c, Bytes({kIac, kWill, 3, kIac, kDo, 1, kIac, kDo, 44}));
    heard += ScriptedServer::Take(c, 6);   // DO SUPPRESS-GO-AHEAD, WONT ECHO
    heard += ScriptedServer::Take(c, 10);  // SET-BAUDRATE 0: the rate in force, asked
    ScriptedServer::Give(c, Bytes({kIac, kSb, 44, 101, 0, 0, 0x25, 0x80, kIac, kSe}));
    // SET-BAUDRATE 325, DATASIZE 8, PARITY none, STOPSIZE 1, CONTROL none: 10+7+7+7+7 bytes.
    heard += ScriptedServer::Take(c, 38);
    ScriptedServer::Give(c, Bytes({kIac, kSb, 44, 101, 0, 0, 1, 69, kIac, kSe}));
    heard += ScriptedServer::Take(c, 4);   // the data, its 0xFF doubled
    heard += ScriptedServer::Take(c, 10);  // SET-BAUDRATE 0: asked behind the write
    // Data with an escaped 0xFF, cut inside the escape.
    ScriptedServer::Give(c, Bytes({0x10, kIac}));
    QThread::msleep(50);
    ScriptedServer::Give(c, Bytes({kIac, 0x20}));
    heard += ScriptedServer::Take(c, 7);  // PURGE-DATA both
    QThread::msleep(100);
  });
  Rfc2217Transport transport;
  ASSERT_TRUE(transport.Open(server.Address())) << transport.OpenError().toStdString();
  LineSettings settings;
  settings.rate = 325;
  settings.rtsMode = 0;
  ASSERT_TRUE(transport.Configure(settings));
  LineSettings nine = settings;  // refused before anything is sent
  nine.dataBits = 9;
  EXPECT_FALSE(transport.Configure(nine));
  EXPECT_EQ(transport.Write("\x01\xFF\x02", 3), 3);
  EXPECT_GT(transport.OutQueue(), 0);  // 3 bytes at 325 bit/s take 92 ms
  QElapsedTimer waited;
  waited.start();
  while (transport.InQueue() < 3 && waited.elapsed() < 2000) transport.WaitForInput(50);
  char data[8] = {};
  ASSERT_EQ(transport.Read(data, 1), 1);
  ASSERT_EQ(transport.Read(data + 1, sizeof data - 1), 2);
  EXPECT_EQ(QByteArray(data, 3), Bytes({0x10, 0xFF, 0x20}));
  EXPECT_EQ(transport.AcceptedRate(), 325u);
  EXPECT_TRUE(transport.Purge(true, true));
  EXPECT_EQ(transport.OutQueue(), 0);
  waited.restart();
  while (!transport.HungUp() && waited.elapsed() < 3000) transport.WaitForInput(50);
  EXPECT_TRUE(transport.HungUp());

  const QByteArray expected =
      Bytes({kIac, kWill, 0, kIac, kDo, 0, kIac, kWill, 44}) + Bytes({kIac, kDo, 3, kIac, 252, 1}) +
      Bytes({kIac, kSb, 44, 1, 0, 0, 0, 0, kIac, kSe}) +
      Bytes({kIac, kSb, 44, 1, 0, 0, 1, 69, kIac, kSe}) + Bytes({kIac, kSb, 44, 2, 8, kIac, kSe}) +
      Bytes({kIac, kSb, 44, 3, 1, kIac, kSe}) + Bytes({kIac, kSb, 44, 4, 1, kIac, kSe}) +
      Bytes({kIac, kSb, 44, 5, 1, kIac, kSe}) + Bytes({0x01, kIac, kIac, 0x02}) +
      Bytes({kIac, kSb, 44, 1, 0, 0, 0, 0, kIac, kSe}) + Bytes({kIac, kSb, 44, 12, 3, kIac, kSe});
  EXPECT_EQ(heard.toHex(' '), expected.toHex(' '));
}

// A server that refuses the option, one that never answers, and an address that is none.
TEST(Rfc2217, AServerThatCannotCarryTheLineIsNamed) {
  {
    ScriptedServer server([](int c) {
      ScriptedServer::Take(c, 9);
      ScriptedServer::Give(c, Bytes({kIac, kDont, 44}));
      QThread::msleep(200);
    });
    Rfc2217Transport transport;
    EXPECT_FALSE(transport.Open(server.Address()));
    EXPECT_TRUE(transport.OpenError().contains(QStringLiteral("does not speak RFC 2217")))
        << transport.OpenError().toStdString();
  }
  {
    ScriptedServer server([](int c) {
      ScriptedServer::Take(c, 100);
      QThread::msleep(3000);
    });
    Rfc2217Transport transport;
    EXPECT_FALSE(transport.Open(server.Address()));
    EXPECT_TRUE(transport.OpenError().contains(QStringLiteral("did not answer")))
        << transport.OpenError().toStdString();
  }
  QString host;
  quint16 port = 0;
  for (const char* bad : {"rfc2217://host", "rfc2217://host:0", "rfc2217://host:65536",
                          "rfc2217://:20", "tcp://host:20", "rfc2217://a b:20"}) {
    EXPECT_FALSE(Rfc2217Transport::ParseAddress(QString::fromLatin1(bad), &host, &port)) << bad;
  }
  EXPECT_TRUE(Rfc2217Transport::ParseAddress(QStringLiteral("rfc2217://h:1"), &host, &port));
  EXPECT_TRUE(Rfc2217Transport::ParseAddress(QStringLiteral("rfc2217://h:65535"), &host, &port));
  ASSERT_TRUE(Rfc2217Transport::ParseAddress(QStringLiteral("rfc2217://[::1]:2000"), &host, &port));
  EXPECT_EQ(host, QStringLiteral("::1"));
  EXPECT_EQ(port, 2000);
}

// A device server whose port another connection holds says so and closes: the transport tries
// again while the port may be let go, gets in once it is, and names the holder's words if not.
TEST(Rfc2217, APortHeldByAnotherConnectionIsWaitedForAWhile) {
  const auto busy = [](int c) {
    ScriptedServer::Take(c, 9);
    ScriptedServer::Give(c, Bytes({kIac, kDo, 44}) + QByteArray("Port already in use\r\n"));
  };
  int served = 0;
  {
    ScriptedServer server(
        [&](int c) {
          if (served++ < 2) return busy(c);
          ScriptedServer::Take(c, 9);
          ScriptedServer::Give(c, Bytes({kIac, kDo, 44}));
          ScriptedServer::Take(c, 10);
          ScriptedServer::Give(c, Bytes({kIac, kSb, 44, 101, 0, 0, 0x25, 0x80, kIac, kSe}));
          QThread::msleep(200);
        },
        3);
    Rfc2217Transport transport;
    EXPECT_TRUE(transport.Open(server.Address())) << transport.OpenError().toStdString();
  }
  EXPECT_EQ(served, 3);
  ScriptedServer server(busy, 1000);
  Rfc2217Transport transport;
  QElapsedTimer waited;
  waited.start();
  EXPECT_FALSE(transport.Open(server.Address()));
  EXPECT_GE(waited.elapsed(), Rfc2217Transport::kBusyRetryMs);
  EXPECT_LT(waited.elapsed(), Rfc2217Transport::kBusyRetryMs + 3000);
  EXPECT_TRUE(transport.OpenError().endsWith(
      QStringLiteral(" is busy: the device server said \"Port already in use\"")))
      << transport.OpenError().toStdString();
}

// A connection lost with a frame on its way: the far port may still be sending it, so the next
// connection to that address waits for the frame's line time before it says anything.
TEST(Rfc2217, ANewConnectionWaitsForTheFrameALostOneLeftOnTheLine) {
  const auto handshake = [](int c) {
    ScriptedServer::Take(c, 9);
    ScriptedServer::Give(c, Bytes({kIac, kDo, 44}));
    ScriptedServer::Take(c, 10);
    ScriptedServer::Give(c, Bytes({kIac, kSb, 44, 101, 0, 0, 0x25, 0x80, kIac, kSe}));
  };
  ScriptedServer server(
      [&](int c) {
        handshake(c);
        ScriptedServer::Take(c, 38 + 1000);  // the line's settings and the frame, then gone
      },
      2);
  QElapsedTimer sent;
  {
    Rfc2217Transport transport;
    ASSERT_TRUE(transport.Open(server.Address())) << transport.OpenError().toStdString();
    LineSettings settings;
    settings.rate = 9600;  // 1000 bytes take 1.04 s
    ASSERT_TRUE(transport.Configure(settings));
    ASSERT_EQ(transport.Write(QByteArray(1000, 'x').constData(), 1000), 1000);
    sent.start();
    QElapsedTimer waited;
    waited.start();
    while (!transport.HungUp() && waited.elapsed() < 3000) transport.WaitForInput(20);
    ASSERT_TRUE(transport.HungUp());
  }
  Rfc2217Transport again;
  EXPECT_TRUE(again.Open(server.Address())) << again.OpenError().toStdString();
  EXPECT_GE(sent.elapsed(), 1040);
}
