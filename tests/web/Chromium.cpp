#include "Chromium.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTimer>

namespace {

// Runs the event loop until `done` or `ms` passed.
template <class Done>
bool Until(Done done, int ms) {
  QDeadlineTimer deadline(ms);
  QEventLoop loop;
  while (!done() && !deadline.hasExpired()) {
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return done();
}

// GET of a DevTools address, with a plain socket (no other Qt module for one request).
QByteArray Fetch(quint16 port, const QByteArray& path) {
  QTcpSocket socket;
  socket.connectToHost(QStringLiteral("127.0.0.1"), port);
  if (!socket.waitForConnected(10'000)) return {};
  // The addresses in the answer are made of the Host header.
  socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
               "\r\nConnection: close\r\n\r\n");
  QByteArray in;
  while (socket.waitForReadyRead(10'000)) in += socket.readAll();
  in += socket.readAll();
  return in.mid(in.indexOf("\r\n\r\n") + 4);
}

}  // namespace

Chromium::Chromium() {
  const QString program = QStandardPaths::findExecutable(QStringLiteral("chromium"));
  if (program.isEmpty()) return;
  process_.start(
      program,
      {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
       QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
       QStringLiteral("--remote-debugging-port=0"), QStringLiteral("--remote-allow-origins=*"),
       QStringLiteral("--user-data-dir=") + profile_.path(), QStringLiteral("about:blank")});
  // The port it took is written into the profile once it listens.
  QFile active(profile_.filePath(QStringLiteral("DevToolsActivePort")));
  if (!Until([&] { return active.exists() && active.size() > 0; }, 60'000)) return;
  active.open(QIODevice::ReadOnly);
  const quint16 port = static_cast<quint16>(active.readLine().trimmed().toUInt());
  QString page;
  Until(
      [&] {
        for (const QJsonValue& target :
             QJsonDocument::fromJson(Fetch(port, "/json/list")).array()) {
          if (target[QStringLiteral("type")].toString() == QLatin1String("page")) {
            page = target[QStringLiteral("webSocketDebuggerUrl")].toString();
          }
        }
        return !page.isEmpty();
      },
      30'000);
  if (page.isEmpty()) return;
  QObject::connect(&socket_, &QWebSocket::textMessageReceived, [this](const QString& text) {
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    if (message[QStringLiteral("method")].toString() == QLatin1String("Page.loadEventFired")) {
      loaded_ = true;
    } else if (message.contains(QStringLiteral("id"))) {
      replies_ << message;
    }
  });
  socket_.open(QUrl(page));
  Until([this] { return Ready(); }, 30'000);
  if (Ready()) Call(QStringLiteral("Page.enable"));
}

Chromium::~Chromium() {
  socket_.close();
  process_.kill();
  process_.waitForFinished();
}

QJsonObject Chromium::Call(const QString& method, const QJsonObject& params) {
  const int id = nextId_++;
  socket_.sendTextMessage(
      QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("id"), id},
                                                  {QStringLiteral("method"), method},
                                                  {QStringLiteral("params"), params}})
                            .toJson(QJsonDocument::Compact)));
  QJsonObject reply;
  Until(
      [&] {
        for (qsizetype i = 0; i < replies_.size(); ++i) {
          if (replies_[i][QStringLiteral("id")].toInt() == id) {
            reply = replies_.takeAt(i);
            return true;
          }
        }
        return false;
      },
      60'000);
  return reply[QStringLiteral("result")].toObject();
}

void Chromium::Go(const QString& url) {
  loaded_ = false;
  Call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}});
  Until([this] { return loaded_; }, 60'000);
}

QString Chromium::Eval(const QString& expression) {
  const QJsonObject result =
      Call(QStringLiteral("Runtime.evaluate"), {{QStringLiteral("expression"), expression}});
  return result[QStringLiteral("result")].toObject()[QStringLiteral("value")].toString();
}

void Chromium::SignIn(const QString& user, const QString& password) {
  // The values go in as JSON strings, so that any character of a password stays itself.
  const auto text = [](const QString& value) {
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
  };
  Eval(QStringLiteral("document.querySelector('[name=user]').value = %1[0];"
                      "document.querySelector('[name=password]').value = %2[0]; ''")
           .arg(text(user), text(password)));
  Submit(QStringLiteral("form.signin"));
}

void Chromium::Submit(const QString& selector) {
  loaded_ = false;
  Eval(QStringLiteral("document.querySelector('%1').requestSubmit(); ''").arg(selector));
  Until([this] { return loaded_; }, 60'000);
}
