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
  QStringList query;
  if (host.startsWith(u'/')) query << QStringLiteral("host=") + host;
  for (const auto& [key, value] : parameters) query << key + u'=' + value;
  if (!query.isEmpty()) text += u'?' + query.join(u'&');
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
    // The parameters libpq takes in a connection URL that a sync may need; any other is
    // refused rather than silently dropped (a port or an sslmode that never reached the
    // connection would connect elsewhere, or without the security asked for).
    static const QStringList kPassed = {
        QStringLiteral("sslmode"),         QStringLiteral("sslrootcert"),
        QStringLiteral("sslcert"),         QStringLiteral("sslkey"),
        QStringLiteral("sslcrl"),          QStringLiteral("application_name"),
        QStringLiteral("connect_timeout"), QStringLiteral("target_session_attrs"),
        QStringLiteral("keepalives"),      QStringLiteral("keepalives_idle"),
        QStringLiteral("gssencmode"),      QStringLiteral("channel_binding")};
    const QUrlQuery query(parsed);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
      if (key == QLatin1String("host")) {
        target.host = value;
      } else if (key == QLatin1String("port")) {
        bool ok = false;
        target.port = value.toInt(&ok);
        if (!ok || target.port < 1 || target.port > 65535) {
          *error = QStringLiteral("port=%1 is no port").arg(value);
          return false;
        }
      } else if (key == QLatin1String("user")) {
        target.user = value;
      } else if (key == QLatin1String("dbname")) {
        target.database = value;
      } else if (kPassed.contains(key)) {
        // The driver's options are separated by ';', so a value may not hold one.
        if (value.contains(u';')) {
          *error = QStringLiteral("%1 may not hold ';'").arg(key);
          return false;
        }
        target.parameters.append({key, value});
      } else {
        *error = QStringLiteral(
                     "the URL parameter '%1' is not one norvel passes on (host, port, "
                     "user, dbname, %2)")
                     .arg(key, kPassed.join(QStringLiteral(", ")));
        return false;
      }
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
