#pragma once

#include <QAbstractHttpServer>

class WebView;

// Qt's HTTP server in front of the web view: each request goes to the view whole, and its answer
// goes back with the headers a page of this kind wants (no caching of figures that change, no
// framing by other sites).
class HttpServer : public QAbstractHttpServer {
 public:
  explicit HttpServer(WebView& view) : view_(view) {}

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

 private:
  WebView& view_;
};
