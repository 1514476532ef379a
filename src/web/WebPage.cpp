#include "web/WebPage.h"

QString Html(const QString& text) {
  QString escaped = text.toHtmlEscaped();
  escaped.replace(u'\'', QStringLiteral("&#39;"));
  return escaped;
}

QByteArray Page(const QString& title, const QString& body) {
  // No script and nothing fetched from elsewhere: the style is in the page.
  static const QString kStyle = QStringLiteral(
      "body{font-family:'DejaVu Sans',sans-serif;margin:16px 24px;color:#222}"
      "h1{font-size:24px;margin:0 0 4px}h2{font-size:18px;margin:24px 0 8px}"
      "nav a{margin-right:16px}table{border-collapse:collapse;margin:8px 0}"
      "th,td{padding:3px 8px;border-bottom:1px solid #ddd;text-align:left;white-space:nowrap}"
      "td.n,th.n{text-align:right}th{color:#666}.verdict{font-weight:bold}"
      "form label{margin-right:12px}.muted{color:#777}.error{color:#b00000}"
      "nav form{display:inline;float:right}.signin label{display:inline-block;width:22em}"
      "table.stations td{white-space:normal}table.stations td.n{white-space:nowrap}"
      "table.stations td.state{min-width:10em}"
      "tr.failed td{background:#fbe3e3}tr.stale td{background:#fff2c6}"
      "tr.failed td.state{color:#a30000;font-weight:bold}tr.stale td.state{color:#7a5600;"
      "font-weight:bold}tr.ok td.state{color:#1d6b2f}");
  return QStringLiteral(
             "<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"utf-8\">"
             "<title>%1 — NorvelWin</title><style>%2</style></head><body>"
             "<nav><a href=\"/\">Станции</a><a href=\"/month\">Месяц</a>"
             "<a href=\"/search\">Поиск разговоров</a></nav><h1>%1</h1>%3</body></html>")
      .arg(Html(title), kStyle, body)
      .toUtf8();
}
