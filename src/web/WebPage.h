#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QUrlQuery>
#include <utility>
#include <vector>

// A request as the view needs it, and the answer it gives: plain values, so that the pages are
// made and tested without a network.
struct WebRequest {
  QByteArray method = "GET";  // "GET", "HEAD" (answered as GET), "POST"
  QString path;               // "/month"
  QUrlQuery query;
  QByteArray authorization;   // the Authorization header, as sent
  QByteArray cookie;          // the Cookie header
  QByteArray forwardedFor;    // X-Forwarded-For, believed only from a proxy of the settings
  QByteArray forwardedProto;  // X-Forwarded-Proto, likewise
  QByteArray body;            // a form's body (application/x-www-form-urlencoded)
  QHostAddress remote;        // the address the connection came from
  bool tls = false;           // the connection is TLS
};

struct WebResponse {
  int status = 200;
  QByteArray contentType = "text/html; charset=utf-8";
  QByteArray body;
  std::vector<std::pair<QByteArray, QByteArray>> headers;
};

// Text for HTML, every character that could end a text or an attribute escaped.
QString Html(const QString& text);
// A page of the view: the title, the menu and the body, in Russian.
QByteArray Page(const QString& title, const QString& body);
