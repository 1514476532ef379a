#include "core/sync/DatabaseTarget.h"

#include <QUrl>
#include <QUrlQuery>

QString DatabaseTarget::Describe() const {
  if (kind == Kind::kSqlite) return QStringLiteral("sqlite:") + path;
  QString text = QStringLiteral("postgresql://");
  if (!user.isEmpty()) text += user + u'@';
  text += host.startsWith(u'/') ? QString() : host;
  if (port > 0) text += u':' + QString::number(port);
  text += u'/' + database;
  if (host.startsWith(u'/')) text += QStringLiteral("?host=") + host;
  return text;
}

bool ParseDatabaseTarget(const QString& url, DatabaseTarget& target, QString* error) {
  target = DatabaseTarget();
  if (url.startsWith(QLatin1String("sqlite:"))) {
    target.kind = DatabaseTarget::Kind::kSqlite;
    target.path = url.mid(7);
    if (target.path.startsWith(QLatin1String("//"))) target.path = target.path.mid(2);
    if (target.path.isEmpty()) {
      *error = QStringLiteral("sqlite: needs a file, as in sqlite:calls.db");
      return false;
    }
    return true;
  }
  if (url.startsWith(QLatin1String("postgresql://")) ||
      url.startsWith(QLatin1String("postgres://"))) {
    // A host that is a directory (a Unix socket) may be written percent-encoded in the host part.
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid()) {
      *error = QStringLiteral("not a URL: %1").arg(parsed.errorString());
      return false;
    }
    target.kind = DatabaseTarget::Kind::kPostgres;
    target.host = parsed.host(QUrl::FullyDecoded);
    target.port = parsed.port(-1);
    target.user = parsed.userName(QUrl::FullyDecoded);
    target.password = parsed.password(QUrl::FullyDecoded);
    target.database = parsed.path(QUrl::FullyDecoded).mid(1);
    const QUrlQuery query(parsed);
    if (query.hasQueryItem(QStringLiteral("host"))) {
      target.host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    }
    if (target.database.isEmpty() || target.database.contains(u'/')) {
      *error = QStringLiteral("the URL names no database, as in postgresql://user@host/calls");
      return false;
    }
    return true;
  }
  *error = QStringLiteral("--db takes sqlite:PATH or postgresql://user@host/db, not '%1'").arg(url);
  return false;
}
