// The web view as a company meets it: the real program over an SQLite archive of three stations
// with 100,000 calls each, signed in once, then 50 connections asking the stations page and a
// month page as fast as they are answered, for five seconds. Prints pages a second (goal at
// least 200) and the slowest answers; then the same through one connection, and a hundred wrong
// passwords in a row.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "core/sync/CallSync.h"
#include "web/Passwords.h"

namespace {

using Steady = std::chrono::steady_clock;

int Connect(quint16 port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) std::abort();
  return fd;
}

// One request on a kept connection and its whole answer: the status, and the head for a cookie.
int Ask(int fd, const QByteArray& request, QByteArray* head = nullptr) {
  if (send(fd, request.constData(), request.size(), MSG_NOSIGNAL) != request.size()) return 0;
  QByteArray in;
  qsizetype want = -1;
  char buffer[65536];
  while (want < 0 || in.size() < want) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return 0;
    in.append(buffer, n);
    const qsizetype end = in.indexOf("\r\n\r\n");
    if (want < 0 && end >= 0) {
      const qsizetype at = in.indexOf("Content-Length: ");
      want = end + 4 + in.mid(at + 16, 12).split('\r').first().toInt();
    }
  }
  if (head) *head = in.left(in.indexOf("\r\n\r\n"));
  return in.mid(9, 3).toInt();
}

struct Run {
  double pagesPerSecond = 0;
  double p50 = 0;
  double p99 = 0;
  int failed = 0;
};

Run Load(quint16 port, const QByteArray& credentials, int connections, double seconds) {
  const QByteArray pages[] = {
      "GET / HTTP/1.1\r\nHost: b\r\n" + credentials + "\r\n",
      "GET /month?station=office1&month=2026-12 HTTP/1.1\r\nHost: b\r\n" + credentials + "\r\n"};
  std::vector<std::vector<double>> times(connections);
  std::atomic<int> failed = 0;
  const auto end = Steady::now() + std::chrono::duration<double>(seconds);
  std::vector<std::thread> clients;
  for (int c = 0; c < connections; ++c) {
    clients.emplace_back([&, c] {
      const int fd = Connect(port);
      for (int i = 0; Steady::now() < end; ++i) {
        const auto start = Steady::now();
        if (Ask(fd, pages[i % 2]) != 200) ++failed;
        times[c].push_back(
            std::chrono::duration<double, std::milli>(Steady::now() - start).count());
      }
      close(fd);
    });
  }
  for (std::thread& client : clients) client.join();
  std::vector<double> all;
  for (const auto& some : times) all.insert(all.end(), some.begin(), some.end());
  std::sort(all.begin(), all.end());
  Run run;
  run.pagesPerSecond = static_cast<double>(all.size()) / seconds;
  run.p50 = all.empty() ? 0 : all[all.size() / 2];
  run.p99 = all.empty() ? 0 : all[all.size() * 99 / 100];
  run.failed = failed;
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir root;
  DatabaseTarget target;
  target.kind = DatabaseTarget::Kind::kSqlite;
  target.path = root.filePath(QStringLiteral("calls.db"));
  for (int i = 1; i <= 3; ++i) {
    QTemporaryDir dir;
    WriteBenchMonth(dir.filePath(DataFileName(12)), 100'000);
    SyncOptions options;
    options.dir = dir.path();
    options.station = NewStationIdentity(QStringLiteral("office%1").arg(i));
    options.target = target;
    options.init = true;
    SyncResult result;
    SyncCalls(options, result);
  }
  QFile passwords(root.filePath(QStringLiteral("passwords")));
  if (!passwords.open(QIODevice::WriteOnly)) std::abort();
  passwords.write(Passwords::LineFor(QStringLiteral("boss"), QStringLiteral("secret")));
  passwords.close();

  QProcess web;
  web.setReadChannel(QProcess::StandardError);
  web.start(
      QStringLiteral(NORVEL_WEB),
      {QStringLiteral("--db"), QStringLiteral("sqlite:") + target.path, QStringLiteral("--listen"),
       QStringLiteral("127.0.0.1:0"), QStringLiteral("--passwords"), passwords.fileName(),
       QStringLiteral("--requests-per-second"), QStringLiteral("0")});
  quint16 port = 0;
  QString said;
  static const QRegularExpression where(QStringLiteral("http://127\\.0\\.0\\.1:(\\d+)/"));
  while (port == 0 && web.waitForReadyRead(20'000)) {
    said += QString::fromUtf8(web.readAllStandardError());
    const QRegularExpressionMatch match = where.match(said);
    if (match.hasMatch()) port = static_cast<quint16>(match.captured(1).toUInt());
  }
  if (port == 0) std::abort();

  // One sign-in, as a browser's; every page after it carries the cookie.
  const int fd = Connect(port);
  const QByteArray form = "user=boss&password=secret";
  QByteArray head;
  const double signIn = Seconds([&] {
    Ask(fd,
        "POST /signin HTTP/1.1\r\nHost: b\r\nContent-Length: " + QByteArray::number(form.size()) +
            "\r\n\r\n" + form,
        &head);
  });
  const qsizetype at = head.indexOf("Set-Cookie: ");
  const QByteArray cookie = "Cookie: " + head.mid(at + 12).split(';').first() + "\r\n";
  close(fd);

  const Run many = Load(port, cookie, 50, 5);
  const Run one = Load(port, cookie, 1, 3);
  const Run basic =
      Load(port, "Authorization: Basic " + QByteArray("boss:secret").toBase64() + "\r\n", 50, 3);
  std::printf("web view over 3 stations x 100,000 calls in SQLite, on %u processors:\n",
              std::thread::hardware_concurrency());
  std::printf("  sign-in (the password key derived once) %.0f ms\n", 1000 * signIn);
  std::printf(
      "  50 connections, signed in: %.0f pages/s (goal >= 200: %.2f x), p50 %.1f ms, "
      "p99 %.1f ms, %d not 200\n",
      many.pagesPerSecond, many.pagesPerSecond / 200, many.p50, many.p99, many.failed);
  std::printf("  1 connection, signed in: %.0f pages/s, p50 %.1f ms (50 against 1: %.2f x)\n",
              one.pagesPerSecond, one.p50, many.pagesPerSecond / one.pagesPerSecond);
  std::printf("  50 connections, a script's basic authentication: %.0f pages/s, %d not 200\n",
              basic.pagesPerSecond, basic.failed);

  // A guesser: a hundred wrong passwords in a row from one address.
  const int guesser = Connect(port);
  int refused = 0;
  int held = 0;
  const double guessing = Seconds([&] {
    for (int i = 0; i < 100; ++i) {
      const int status =
          Ask(guesser, "GET / HTTP/1.1\r\nHost: b\r\nAuthorization: Basic " +
                           QByteArray("boss:guess").append(QByteArray::number(i)).toBase64() +
                           "\r\n\r\n");
      refused += status == 401 ? 1 : 0;
      held += status == 429 ? 1 : 0;
    }
  });
  close(guesser);
  std::printf("  100 wrong passwords in a row: %d checked (401), %d held back (429) in %.2f s\n",
              refused, held, guessing);
  web.kill();
  web.waitForFinished();
  return 0;
}
