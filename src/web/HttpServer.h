#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSslConfiguration>
#include <QTcpServer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "web/WebPage.h"

class QTimer;
class QTcpSocket;

// What one connection and one request may take. A company's view faces browsers that keep
// connections open, scanners that open hundreds and send nothing, and the odd client that sends
// megabytes of query: each of these ends at a limit here, never in the server's memory or its
// file table.
struct HttpLimits {
  int connections = 1000;       // open at once; beyond, the one idle longest is closed
  int idleMs = 15'000;          // a kept-alive connection with no request is closed after
  int headMs = 10'000;          // the request line and headers must come whole within
  int requestMs = 30'000;       // a page not made by then is answered 503
  int lineBytes = 8 * 1024;     // the request line; beyond, 414
  int headerBytes = 16 * 1024;  // the header lines together; beyond, 431
  int bodyBytes = 16 * 1024;    // a form's body; beyond, 413
  int workers = 8;              // pages made at once
};

// A small HTTP/1.1 server on Qt's sockets: the connections are read and written on the thread
// of the event loop, where an idle one costs a socket and nothing else, and each request is made
// into its answer by one of a few worker threads, so that a slow page or a password check does
// not hold the others up. GET, HEAD and POST with a body of known length; keep-alive; optional
// TLS.
class HttpServer : public QObject {
 public:
  // Makes the answer; called on a worker thread, several at once.
  using Handler = std::function<WebResponse(const WebRequest&)>;
  // `workerEnds` runs on each worker thread as it ends (its database connection is closed there).
  explicit HttpServer(Handler handler, HttpLimits limits = {},
                      std::function<void()> workerEnds = {});
  ~HttpServer() override;

  // Serves TLS with a PEM certificate (chain) and key; false with the problem named.
  bool UseTls(const QString& certificateFile, const QString& keyFile, QString* problem);
  // Starts listening; the port taken (0: could not).
  quint16 Listen(const QHostAddress& address, quint16 port);
  int OpenConnections() const { return static_cast<int>(connections_.size()); }

 private:
  class Listener;
  struct Connection {
    QTcpSocket* socket = nullptr;
    QByteArray in;
    qint64 lastActive = 0;  // ms: the last request answered, or the connection's start
    qint64 headSince = -1;  // ms: the first byte of a request not yet whole
    qint64 busySince = -1;  // ms: handed to a worker
    bool keepAlive = true;
    bool head = false;     // HEAD: the answer without its body
    bool closing = false;  // its last answer is written: nothing more is read or answered
  };
  struct Job {
    quint64 id;
    WebRequest request;
  };

  void Accept(qintptr descriptor);
  void Read(quint64 id);
  void TryRequest(quint64 id);
  void Answer(quint64 id, const WebResponse& response);
  void Refuse(quint64 id, int status, const QString& text);
  void Close(quint64 id);
  void Sweep();
  bool CloseLongestIdle();
  void Work();

  Handler handler_;
  HttpLimits limits_;
  std::function<void()> workerEnds_;
  Listener* listener_ = nullptr;
  QTimer* sweep_ = nullptr;
  std::optional<QSslConfiguration> tls_;
  QHash<quint64, Connection> connections_;
  quint64 nextId_ = 1;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// The reason phrase of a status the view answers with.
QByteArray ReasonPhrase(int status);
