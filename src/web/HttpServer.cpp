#include "web/HttpServer.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cctype>

namespace {

qint64 Now() {
  static QElapsedTimer started = [] {
    QElapsedTimer timer;
    timer.start();
    return timer;
  }();
  return started.elapsed();
}

// The headers every answer carries: nothing kept by caches (the figures change), nothing framed
// by another site, nothing fetched from elsewhere.
constexpr const char* kFixedHeaders =
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: DENY\r\n"
    "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; img-src 'self'; "
    "form-action 'self'\r\n";

// A header name as HTTP allows it: a token.
bool IsToken(const QByteArray& name) {
  if (name.isEmpty()) return false;
  for (const char c : name) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) ||
          QByteArrayView("!#$%&'*+-.^_`|~").contains(c))) {
      return false;
    }
  }
  return true;
}

// The end of the line starting at `from` ("\r\n" or a bare "\n"), and where the next begins.
qsizetype LineEnd(const QByteArray& in, qsizetype from, qsizetype* next) {
  const qsizetype newline = in.indexOf('\n', from);
  if (newline < 0) return -1;
  *next = newline + 1;
  return newline > from && in[newline - 1] == '\r' ? newline - 1 : newline;
}

}  // namespace

QByteArray ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 303:
      return "See Other";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 411:
      return "Length Required";
    case 413:
      return "Content Too Large";
    case 414:
      return "URI Too Long";
    case 429:
      return "Too Many Requests";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Status";
  }
}

// Hands each accepted socket to the server before Qt makes a socket object of it, so that a TLS
// handshake counts against the same limits as a plain request.
class HttpServer::Listener : public QTcpServer {
 public:
  explicit Listener(HttpServer& server) : server_(server) {}

 protected:
  void incomingConnection(qintptr descriptor) override { server_.Accept(descriptor); }

 private:
  HttpServer& server_;
};

HttpServer::HttpServer(Handler handler, HttpLimits limits, std::function<void()> workerEnds)
    : handler_(std::move(handler)), limits_(limits), workerEnds_(std::move(workerEnds)) {
  listener_ = new Listener(*this);
  listener_->setParent(this);
  listener_->setMaxPendingConnections(64);
  // Browsers and scanners open many at once: the kernel holds them until they are taken.
  listener_->setListenBacklogSize(1024);
  // The file table is full: close the connection idle longest and take the next.
  connect(listener_, &QTcpServer::acceptError, this, [this] {
    CloseLongestIdle();
    listener_->resumeAccepting();
  });
  sweep_ = new QTimer(this);
  const int shortest = std::min({limits_.idleMs, limits_.headMs, limits_.requestMs});
  sweep_->setInterval(std::clamp(shortest / 5, 10, 1000));
  connect(sweep_, &QTimer::timeout, this, [this] { Sweep(); });
  sweep_->start();
  for (int i = 0; i < std::max(1, limits_.workers); ++i) workers_.emplace_back([this] { Work(); });
}

HttpServer::~HttpServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  for (Connection& connection : connections_) connection.socket->abort();
}

bool HttpServer::UseTls(const QString& certificateFile, const QString& keyFile, QString* problem) {
  if (!QSslSocket::supportsSsl()) {
    *problem = QStringLiteral("this Qt has no TLS backend");
    return false;
  }
  const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificateFile);
  if (chain.isEmpty()) {
    *problem = QStringLiteral("%1 holds no PEM certificate").arg(certificateFile);
    return false;
  }
  QFile file(keyFile);
  if (!file.open(QIODevice::ReadOnly)) {
    *problem = QStringLiteral("%1: %2").arg(keyFile, file.errorString());
    return false;
  }
  const QByteArray pem = file.read(1 << 20);
  QSslKey key(pem, QSsl::Rsa);
  if (key.isNull()) key = QSslKey(pem, QSsl::Ec);
  if (key.isNull()) {
    *problem = QStringLiteral("%1 holds no PEM key (RSA or EC, unencrypted)").arg(keyFile);
    return false;
  }
  QSslConfiguration config = QSslConfiguration::defaultConfiguration();
  config.setLocalCertificateChain(chain);
  config.setPrivateKey(key);
  config.setProtocol(QSsl::TlsV1_2OrLater);
  config.setPeerVerifyMode(QSslSocket::VerifyNone);
  tls_ = config;
  return true;
}

quint16 HttpServer::Listen(const QHostAddress& address, quint16 port) {
  if (!listener_->listen(address, port)) return 0;
  return listener_->serverPort();
}

void HttpServer::Accept(qintptr descriptor) {
  if (static_cast<int>(connections_.size()) >= limits_.connections && !CloseLongestIdle()) {
    // Every connection is in the middle of a request: this one is told to come back.
    QTcpSocket refused;
    if (refused.setSocketDescriptor(descriptor)) {
      refused.write(
          "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 1\r\nContent-Length: "
          "0\r\nConnection: close\r\n\r\n");
      refused.waitForBytesWritten(100);
      refused.abort();
    }
    return;
  }
  QTcpSocket* socket = tls_ ? new QSslSocket(this) : new QTcpSocket(this);
  if (!socket->setSocketDescriptor(descriptor)) {
    delete socket;
    return;
  }
  const quint64 id = nextId_++;
  Connection connection;
  connection.socket = socket;
  connection.lastActive = Now();
  // A handshake is part of the first request's head: a client that starts one and stops is
  // closed with the others that send nothing.
  if (tls_) connection.headSince = connection.lastActive;
  connections_.insert(id, connection);
  connect(socket, &QTcpSocket::readyRead, this, [this, id] { Read(id); });
  connect(socket, &QTcpSocket::disconnected, this, [this, id] { Close(id); });
  if (tls_) {
    auto* secure = static_cast<QSslSocket*>(socket);
    secure->setSslConfiguration(*tls_);
    connect(secure, &QSslSocket::sslErrors, this, [this, id] { Close(id); });
    connect(secure, &QSslSocket::errorOccurred, this, [this, id] { Close(id); });
    secure->startServerEncryption();
  }
}

void HttpServer::Read(quint64 id) {
  const auto found = connections_.find(id);
  if (found == connections_.end()) return;
  Connection& c = *found;
  if (c.closing) {
    c.socket->readAll();
    return;
  }
  c.in += c.socket->readAll();
  if (c.busySince >= 0) {
    // A request sent behind one still being made waits its turn, within the same bounds.
    if (c.in.size() > limits_.lineBytes + limits_.headerBytes + limits_.bodyBytes) Close(id);
    return;
  }
  TryRequest(id);
}

void HttpServer::TryRequest(quint64 id) {
  Connection& c = connections_[id];
  if (c.in.isEmpty()) return;
  if (c.headSince < 0) c.headSince = Now();
  qsizetype next = 0;
  const qsizetype lineEnd = LineEnd(c.in, 0, &next);
  if (lineEnd < 0 ? c.in.size() > limits_.lineBytes : lineEnd > limits_.lineBytes) {
    return Refuse(id, 414, QStringLiteral("Адрес слишком длинный."));
  }
  if (lineEnd < 0) return;
  // The header lines up to the empty one.
  const qsizetype headersStart = next;
  qsizetype at = next;
  qsizetype headersEnd = -1;
  while (true) {
    const qsizetype end = LineEnd(c.in, at, &next);
    if (end < 0) break;
    if (end == at) {
      headersEnd = next;
      break;
    }
    at = next;
  }
  const qsizetype headerSize = (headersEnd < 0 ? c.in.size() : headersEnd) - headersStart;
  if (headerSize > limits_.headerBytes) {
    return Refuse(id, 431, QStringLiteral("Заголовки запроса слишком велики."));
  }
  if (headersEnd < 0) return;

  const QList<QByteArray> parts = c.in.left(lineEnd).split(' ');
  if (parts.size() != 3 || parts[0].isEmpty() || !parts[1].startsWith('/') ||
      !parts[2].startsWith("HTTP/")) {
    return Refuse(id, 400, QStringLiteral("Запрос не разобран."));
  }
  const QByteArray& version = parts[2];
  if (version != "HTTP/1.1" && version != "HTTP/1.0") {
    return Refuse(id, 505, QStringLiteral("Нужен HTTP/1.1."));
  }
  WebRequest request;
  request.method = parts[0];
  request.remote = c.socket->peerAddress();
  request.tls = tls_.has_value();
  QByteArray connectionHeader;
  qint64 length = 0;
  bool lengthSeen = false;
  at = headersStart;
  while (at < headersEnd) {
    const qsizetype end = LineEnd(c.in, at, &next);
    if (end == at) break;
    const QByteArray line = c.in.mid(at, end - at);
    at = next;
    const qsizetype colon = line.indexOf(':');
    const QByteArray name = line.left(colon).toLower();
    if (colon <= 0 || !IsToken(name)) {
      return Refuse(id, 400, QStringLiteral("Заголовок запроса не разобран."));
    }
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "authorization")
      request.authorization = value;
    else if (name == "cookie")
      request.cookie += (request.cookie.isEmpty() ? "" : "; ") + value;
    else if (name == "x-forwarded-for")
      request.forwardedFor += (request.forwardedFor.isEmpty() ? "" : ", ") + value;
    else if (name == "x-forwarded-proto")
      request.forwardedProto = value;
    else if (name == "connection")
      connectionHeader = value.toLower();
    else if (name == "transfer-encoding") {
      return Refuse(id, 501, QStringLiteral("Тело запроса частями не принимается."));
    } else if (name == "content-length") {
      bool ok = false;
      const qint64 n = value.toLongLong(&ok);
      const bool digits = !value.isEmpty() && std::all_of(value.begin(), value.end(), [](char d) {
        return d >= '0' && d <= '9';
      });
      if (!ok || !digits || (lengthSeen && n != length)) {
        return Refuse(id, 400, QStringLiteral("Длина тела запроса не разобрана."));
      }
      length = n;
      lengthSeen = true;
    }
  }
  if (length > limits_.bodyBytes) {
    return Refuse(id, 413, QStringLiteral("Тело запроса слишком велико."));
  }
  if (c.in.size() < headersEnd + length) return;  // the body is still coming
  request.body = c.in.mid(headersEnd, length);
  const QUrl url = QUrl::fromEncoded("http://localhost" + parts[1], QUrl::StrictMode);
  if (!url.isValid()) return Refuse(id, 400, QStringLiteral("Адрес не разобран."));
  request.path = url.path();
  request.query = QUrlQuery(url);
  c.in.remove(0, headersEnd + length);
  c.headSince = -1;
  c.keepAlive = version == "HTTP/1.1" ? !connectionHeader.contains("close")
                                      : connectionHeader.contains("keep-alive");
  c.head = request.method == "HEAD";
  if (request.method != "GET" && request.method != "HEAD" && request.method != "POST") {
    c.keepAlive = false;
    WebResponse refused{405,
                        "text/plain; charset=utf-8",
                        QStringLiteral("Только чтение.").toUtf8(),
                        {{"Allow", "GET, HEAD, POST"}}};
    return Answer(id, refused);
  }
  if (c.head) request.method = "GET";
  c.busySince = Now();
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(Job{id, std::move(request)});
  }
  wake_.notify_one();
}

void HttpServer::Work() {
  while (true) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) break;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    WebResponse response;
    try {
      response = handler_(job.request);
    } catch (const std::exception&) {
      response = {
          500, "text/plain; charset=utf-8", QStringLiteral("Страница не составлена.").toUtf8(), {}};
    }
    // Back to the connection's own thread; a connection closed meanwhile drops it there.
    QMetaObject::invokeMethod(
        this, [this, id = job.id, response = std::move(response)] { Answer(id, response); },
        Qt::QueuedConnection);
  }
  if (workerEnds_) workerEnds_();
}

void HttpServer::Answer(quint64 id, const WebResponse& response) {
  const auto found = connections_.find(id);
  if (found == connections_.end() || found->closing) return;
  Connection& c = *found;
  QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                   ReasonPhrase(response.status) + "\r\n";
  out += "Content-Type: " + response.contentType + "\r\n";
  out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
  out += kFixedHeaders;
  for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
  if (c.keepAlive) {
    out += "Keep-Alive: timeout=" + QByteArray::number(limits_.idleMs / 1000) + "\r\n";
  } else {
    out += "Connection: close\r\n";
  }
  out += "\r\n";
  if (!c.head) out += response.body;
  c.socket->write(out);
  c.busySince = -1;
  c.lastActive = Now();
  if (!c.keepAlive) {
    c.closing = true;
    c.socket->disconnectFromHost();
    return;
  }
  TryRequest(id);
}

void HttpServer::Refuse(quint64 id, int status, const QString& text) {
  Connection& c = connections_[id];
  // What follows a request the server cannot read cannot be read either: the answer ends the
  // connection, and nothing more is taken from it.
  c.keepAlive = false;
  c.head = false;
  c.in.clear();
  c.headSince = -1;
  Answer(id, {status, "text/plain; charset=utf-8", (text + u'\n').toUtf8(), {}});
}

void HttpServer::Close(quint64 id) {
  const auto found = connections_.find(id);
  if (found == connections_.end()) return;
  QTcpSocket* socket = found->socket;
  connections_.erase(found);
  socket->disconnect(this);
  socket->abort();
  socket->deleteLater();
}

bool HttpServer::CloseLongestIdle() {
  quint64 oldest = 0;
  qint64 since = 0;
  for (auto it = connections_.cbegin(); it != connections_.cend(); ++it) {
    if (it->busySince >= 0) continue;
    if (oldest == 0 || it->lastActive < since) {
      oldest = it.key();
      since = it->lastActive;
    }
  }
  if (oldest == 0) return false;
  Close(oldest);
  return true;
}

void HttpServer::Sweep() {
  const qint64 now = Now();
  std::vector<quint64> idle;
  std::vector<quint64> slowHead;
  std::vector<quint64> slowPage;
  for (auto it = connections_.cbegin(); it != connections_.cend(); ++it) {
    const Connection& c = *it;
    if (c.busySince >= 0) {
      if (now - c.busySince > limits_.requestMs) slowPage.push_back(it.key());
    } else if (c.headSince >= 0) {
      if (now - c.headSince > limits_.headMs) slowHead.push_back(it.key());
    } else if (now - c.lastActive > limits_.idleMs) {
      idle.push_back(it.key());
    }
  }
  for (const quint64 id : idle) Close(id);
  for (const quint64 id : slowHead) {
    const Connection& c = connections_[id];
    // A TLS handshake never finished has no channel to answer on.
    const auto* secure = qobject_cast<QSslSocket*>(c.socket);
    if (secure && !secure->isEncrypted()) {
      Close(id);
    } else {
      Refuse(id, 408, QStringLiteral("Запрос не пришел вовремя."));
    }
  }
  for (const quint64 id : slowPage) {
    Connection& c = connections_[id];
    c.busySince = -1;  // its late answer finds the connection gone
    c.keepAlive = false;
    c.head = false;
    Answer(id, {503,
                "text/plain; charset=utf-8",
                QStringLiteral("Страница не составлена вовремя; повторите позже.\n").toUtf8(),
                {{"Retry-After", "10"}}});
    // The worker may still answer: the connection is gone from the table once it closes.
  }
}
