// The web view's HTTP server over real loopback sockets: what a request may be and what it
// gets when it is more, keep-alive, the connections it closes (idle, slow, beyond the cap), and
// pages made at once by its workers with a slow one cut off.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "web/HttpServer.h"

namespace {

using namespace std::chrono_literals;

// The server on its own thread with its own event loop, as in the program; the test's side is
// plain blocking sockets.
class Serving {
 public:
  Serving(HttpServer::Handler handler, HttpLimits limits) {
    std::promise<quint16> bound;
    thread_ = QThread::create([&bound, handler, limits] {
      HttpServer server(handler, limits);
      bound.set_value(server.Listen(QHostAddress::LocalHost, 0));
      QEventLoop loop;
      loop.exec();
    });
    thread_->start();
    port_ = bound.get_future().get();
  }
  ~Serving() {
    thread_->quit();
    thread_->wait();
    delete thread_;
  }
  quint16 Port() const { return port_; }

 private:
  QThread* thread_ = nullptr;
  quint16 port_ = 0;
};

// Bytes of the next answers, read with the one before, by connection.
std::map<int, QByteArray> pending;

int Connect(quint16 port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  pending.erase(fd);
  return fd;
}

void Send(int fd, const QByteArray& bytes) {
  ASSERT_EQ(send(fd, bytes.constData(), bytes.size(), MSG_NOSIGNAL), bytes.size());
}

// What came within `ms`, up to the end of the connection or of one whole answer.
struct Answer {
  int status = 0;
  QByteArray head;
  QByteArray body;
  bool closed = false;  // the server ended the connection after it
};
Answer Receive(int fd, int ms = 20'000) {
  Answer answer;
  QByteArray in = std::exchange(pending[fd], {});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  qsizetype want = -1;
  while (true) {
    const qsizetype end = in.indexOf("\r\n\r\n");
    if (end >= 0 && want < 0) {
      answer.head = in.left(end);
      const qsizetype at = answer.head.indexOf("Content-Length: ");
      want = end + 4 + (at < 0 ? 0 : answer.head.mid(at + 16).split('\r').first().toInt());
      if (answer.head.startsWith("HTTP/1.1 ")) answer.status = answer.head.mid(9, 3).toInt();
    }
    if (want >= 0 && in.size() >= want) {
      answer.body = in.mid(end + 4, want - end - 4);
      pending[fd] = in.mid(want);
      return answer;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buffer[65536];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      answer.closed = true;
      break;
    }
    in.append(buffer, n);
  }
  // A HEAD answer carries a length but no body.
  if (want >= 0) answer.body = in.mid(answer.head.size() + 4);
  return answer;
}

// Whether the server ends the connection within `ms` (all it sent read and dropped).
bool ClosedWithin(int fd, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms > 0 ? 50 : 0) <= 0) continue;
    char buffer[4096];
    if (recv(fd, buffer, sizeof buffer, 0) <= 0) return true;
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

WebResponse Echo(const WebRequest& request) {
  if (request.path == QLatin1String("/throw")) throw std::runtime_error("no page");
  return {200, "text/plain", request.method + ' ' + request.path.toUtf8() + ' ' + request.body, {}};
}

}  // namespace

TEST(HttpServer, ARequestBeyondALimitOrUnreadableGetsItsStatusAndTheEnd) {
  HttpLimits limits;
  limits.lineBytes = 1000;
  limits.headerBytes = 2000;
  limits.bodyBytes = 100;
  const Serving serving(Echo, limits);
  const struct {
    const char* name;
    QByteArray request;
    int status;
  } rows[] = {
      {"a long address", "GET /" + QByteArray(1200, 'a') + " HTTP/1.1\r\n\r\n", 414},
      {"a long address still coming", "GET /" + QByteArray(1200, 'a'), 414},
      {"headers too big", "GET / HTTP/1.1\r\nX-A: " + QByteArray(2100, 'b') + "\r\n\r\n", 431},
      {"many headers still coming", "GET / HTTP/1.1\r\n" + QByteArray("X-A: b\r\n").repeated(300),
       431},
      {"a body too big", "POST /signin HTTP/1.1\r\nContent-Length: 101\r\n\r\n", 413},
      {"a body in chunks", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
      {"two lengths", "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", 400},
      {"a length that is no number", "POST / HTTP/1.1\r\nContent-Length: +1\r\n\r\na", 400},
      {"another version", "GET / HTTP/2.0\r\n\r\n", 505},
      {"no request line", "hello\r\n\r\n", 400},
      {"an absolute address", "GET http://example.org/ HTTP/1.1\r\n\r\n", 400},
      {"a folded header", "GET / HTTP/1.1\r\nX-A: b\r\n c\r\n\r\n", 400},
      {"a header without a name", "GET / HTTP/1.1\r\n: b\r\n\r\n", 400},
      {"another method", "DELETE / HTTP/1.1\r\n\r\n", 405},
      {"a broken escape", "GET /%zz HTTP/1.1\r\n\r\n", 400},
  };
  for (const auto& row : rows) {
    const int fd = Connect(serving.Port());
    Send(fd, row.request);
    const Answer answer = Receive(fd);
    EXPECT_EQ(answer.status, row.status) << row.name;
    EXPECT_TRUE(answer.head.contains("Connection: close")) << row.name;
    EXPECT_TRUE(answer.closed || ClosedWithin(fd, 5000)) << row.name;
    close(fd);
  }
}

TEST(HttpServer, OneConnectionServesRequestAfterRequestUntilItIsToldToClose) {
  const Serving serving(Echo, {});
  // A port taken is said as such, not as a port.
  EXPECT_EQ(HttpServer(Echo).Listen(QHostAddress::LocalHost, serving.Port()), 0);
  const int fd = Connect(serving.Port());
  // Two sent at once are answered in turn; HEAD has the length of the body it leaves out.
  Send(fd, "GET /a HTTP/1.1\r\nHost: x\r\n\r\nPOST /b HTTP/1.1\r\nContent-Length: 3\r\n\r\nxyz");
  Answer first = Receive(fd);
  EXPECT_EQ(first.body, "GET /a ");
  EXPECT_TRUE(first.head.contains("Keep-Alive: timeout=15"));
  EXPECT_EQ(Receive(fd).body, "POST /b xyz");
  // A request line and a body each just at their limit are taken.
  const HttpLimits limits;
  QByteArray line = "GET /" + QByteArray(limits.lineBytes - 14, 'a') + " HTTP/1.1";
  ASSERT_EQ(line.size(), limits.lineBytes);
  Send(fd, line + "\r\n\r\n");
  EXPECT_EQ(Receive(fd).status, 200);
  Send(fd, "POST /f HTTP/1.1\r\nContent-Length: " + QByteArray::number(limits.bodyBytes) +
               "\r\n\r\n" + QByteArray(limits.bodyBytes, 'b'));
  EXPECT_EQ(Receive(fd).body.size(), 8 + limits.bodyBytes);
  // A page that could not be made is a 500, and the connection goes on.
  Send(fd, "GET /throw HTTP/1.1\r\n\r\n");
  EXPECT_EQ(Receive(fd).status, 500);
  Send(fd, "HEAD /c HTTP/1.1\r\n\r\n");
  const Answer head = Receive(fd, 2000);
  EXPECT_EQ(head.status, 200);
  EXPECT_TRUE(head.head.contains("Content-Length: 7")) << head.head.constData();
  EXPECT_EQ(head.body, "");
  Send(fd, "GET /d HTTP/1.1\r\nConnection: close\r\n\r\n");
  const Answer last = Receive(fd);
  EXPECT_EQ(last.body, "GET /d ");
  EXPECT_TRUE(last.closed || ClosedWithin(fd, 5000));
  close(fd);
  // HTTP/1.0 ends after one answer unless asked to keep the connection.
  const int old = Connect(serving.Port());
  Send(old, "GET /e HTTP/1.0\r\n\r\n");
  EXPECT_EQ(Receive(old).body, "GET /e ");
  EXPECT_TRUE(ClosedWithin(old, 5000));
  close(old);
}

TEST(HttpServer, ConnectionsIdleOrSlowAreClosed) {
  HttpLimits limits;
  limits.idleMs = 300;
  limits.headMs = 300;
  const Serving serving(Echo, limits);
  const int silent = Connect(serving.Port());
  const int answered = Connect(serving.Port());
  Send(answered, "GET / HTTP/1.1\r\n\r\n");
  EXPECT_EQ(Receive(answered).status, 200);
  const int slow = Connect(serving.Port());
  Send(slow, "GET / HTTP/1.1\r\nHost:");
  EXPECT_TRUE(ClosedWithin(silent, 10'000));
  EXPECT_TRUE(ClosedWithin(answered, 10'000));
  EXPECT_EQ(Receive(slow).status, 408);
  for (const int fd : {silent, answered, slow}) close(fd);
}

// Hundreds of connections that send nothing (a scanner, a browser's spare ones) neither stop a
// real request nor fill the server's file table: beyond the cap the idle longest are closed.
TEST(HttpServer, IdleConnectionsDoNotStopARealRequest) {
  for (const int cap : {1000, 50}) {
    HttpLimits limits;
    limits.connections = cap;
    const Serving serving(Echo, limits);
    std::vector<int> idle;
    for (int i = 0; i < 300; ++i) idle.push_back(Connect(serving.Port()));
    const auto start = std::chrono::steady_clock::now();
    const int real = Connect(serving.Port());
    Send(real, "GET /real HTTP/1.1\r\n\r\n");
    EXPECT_EQ(Receive(real).body, "GET /real ") << cap;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << cap;
    int closed = 0;
    for (const int fd : idle) closed += ClosedWithin(fd, 0) ? 1 : 0;
    EXPECT_GE(closed, cap == 50 ? 250 : 0) << cap;
    EXPECT_LE(closed, cap == 50 ? 300 : 0) << cap;
    for (const int fd : idle) close(fd);
    close(real);
  }
}

TEST(HttpServer, PagesAreMadeAtOnceAndOneTooSlowIsCutOff) {
  HttpLimits limits;
  limits.workers = 4;
  limits.requestMs = 500;
  // Each of four pages waits until all four are being made: one worker at a time would never
  // get there.
  std::mutex mutex;
  std::condition_variable all;
  int inside = 0;
  std::atomic<bool> slowEnded = false;
  const auto handler = [&](const WebRequest& request) -> WebResponse {
    if (request.path == QLatin1String("/slow")) {
      std::this_thread::sleep_for(3s);
      slowEnded = true;
      return {200, "text/plain", "late", {}};
    }
    std::unique_lock lock(mutex);
    ++inside;
    all.notify_all();
    const bool together = all.wait_for(lock, 20s, [&] { return inside >= 4; });
    return {together ? 200 : 500, "text/plain", {}, {}};
  };
  {
    const Serving serving(handler, limits);
    std::vector<int> fds;
    for (int i = 0; i < 4; ++i) {
      fds.push_back(Connect(serving.Port()));
      Send(fds.back(), "GET / HTTP/1.1\r\n\r\n");
    }
    for (const int fd : fds) {
      EXPECT_EQ(Receive(fd).status, 200);
      close(fd);
    }
    const int slow = Connect(serving.Port());
    Send(slow, "GET /slow HTTP/1.1\r\n\r\n");
    const Answer cut = Receive(slow, 2500);
    EXPECT_EQ(cut.status, 503);
    EXPECT_TRUE(cut.head.contains("Retry-After: 10"));
    EXPECT_TRUE(cut.closed || ClosedWithin(slow, 2000));
    close(slow);
  }
  // The server waited for its worker before it ended.
  EXPECT_TRUE(slowEnded);
}
