#include "web/HttpServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>

#include "web/WebView.h"

bool HttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
  QHttpServerResponder responder = makeResponder(request, socket);
  if (request.method() != QHttpServerRequest::Method::Get &&
      request.method() != QHttpServerRequest::Method::Head) {
    responder.write(QByteArray("Только чтение."), "text/plain; charset=utf-8",
                    QHttpServerResponder::StatusCode::MethodNotAllowed);
    return true;
  }
  WebRequest web;
  web.path = request.url().path();
  web.query = request.query();
  web.authorization = request.value("Authorization");
  web.remote = request.remoteAddress();
  const WebResponse answer = view_.Handle(web);
  responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(answer.status));
  responder.writeHeader("Content-Type", answer.contentType);
  responder.writeHeader("Cache-Control", "no-store");
  responder.writeHeader("X-Content-Type-Options", "nosniff");
  responder.writeHeader("X-Frame-Options", "DENY");
  responder.writeHeader("Content-Security-Policy",
                        "default-src 'none'; style-src 'unsafe-inline'; img-src 'self'");
  for (const auto& [name, value] : answer.headers) responder.writeHeader(name, value);
  responder.writeHeader("Content-Length", QByteArray::number(answer.body.size()));
  responder.writeBody(answer.body);
  return true;
}

void HttpServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
  makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}
