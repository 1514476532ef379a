#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QWebSocket>

// A real headless Chromium driven over its DevTools protocol, for what `--dump-dom` cannot do:
// fill in a form, keep a cookie from one page to the next. Scripts sent this way run as the
// DevTools' own, beside the page's content policy, so the pages stay without script.
class Chromium {
 public:
  Chromium();
  ~Chromium();
  // Chromium is installed and answered.
  bool Ready() const { return socket_.state() == QAbstractSocket::ConnectedState; }

  // Loads `url` and waits until it has loaded.
  void Go(const QString& url);
  // The value of a script's expression in the page, as text.
  QString Eval(const QString& expression);
  // The page as the browser has it now.
  QString Dom() { return Eval(QStringLiteral("document.documentElement.outerHTML")); }
  // Fills the sign-in form and sends it; waits for the page it leads to.
  void SignIn(const QString& user, const QString& password);
  // Presses a form's button (`selector` of the form) and waits for the next page.
  void Submit(const QString& selector);

 private:
  QJsonObject Call(const QString& method, const QJsonObject& params = {});
  void WaitForLoad(int sentId);

  QTemporaryDir profile_;
  QProcess process_;
  QWebSocket socket_;
  int nextId_ = 1;
  bool loaded_ = false;
  QList<QJsonObject> replies_;
};
