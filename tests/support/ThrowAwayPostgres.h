#pragma once

#include <QByteArray>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QUuid>

#include "core/sync/DatabaseTarget.h"

// The URL of the test command's throw-away PostgreSQL server (its socket; ".tls": TLS over TCP
// that verifies the server); empty when the tests run on their own, without the ctest fixture
// that starts it (tests/support/postgres.sh).
inline QString PostgresUrl(const char* suffix = "") {
  const QByteArray file = qgetenv("NORVEL_TEST_POSTGRES_URL_FILE");
  if (file.isEmpty()) return {};
  QFile url(QString::fromLocal8Bit(file + suffix));
  if (!url.open(QIODevice::ReadOnly)) return QStringLiteral("unreadable:") + url.fileName();
  return QString::fromUtf8(url.readAll()).trimmed();
}

// A database of the test's own on that server, so that tests running side by side never meet;
// dropped at the end. Made() is false where there is no server.
class ThrowAwayDatabase {
 public:
  ThrowAwayDatabase() {
    QString error;
    if (!ParseDatabaseTarget(PostgresUrl(), admin_, &error)) return;
    target_ = admin_;
    target_.database = QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128);
    made_ = Admin(QStringLiteral("CREATE DATABASE ") + target_.database);
  }
  ~ThrowAwayDatabase() {
    if (made_) Admin(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(target_.database));
  }
  ThrowAwayDatabase(const ThrowAwayDatabase&) = delete;
  ThrowAwayDatabase& operator=(const ThrowAwayDatabase&) = delete;

  bool Made() const { return made_; }
  const DatabaseTarget& Target() const { return target_; }

 private:
  bool Admin(const QString& sql) {
    const QString name = QUuid::createUuid().toString();
    bool done = false;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
      db.setHostName(admin_.host);
      if (admin_.port > 0) db.setPort(admin_.port);
      db.setUserName(admin_.user);
      db.setDatabaseName(admin_.database);
      done = db.open() && QSqlQuery(db).exec(sql);
      db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return done;
  }

  DatabaseTarget admin_;
  DatabaseTarget target_;
  bool made_ = false;
};
