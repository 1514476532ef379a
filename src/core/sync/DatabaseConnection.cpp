#include "core/sync/DatabaseConnection.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QUuid>
#include <QVariant>

#include "core/sync/LibPq.h"

DatabaseConnection::DatabaseConnection(const DatabaseTarget& target, bool readOnly, bool create)
    : name_(QStringLiteral("norvel-sync-") + QUuid::createUuid().toString(QUuid::Id128)),
      target_(target),
      dialect_(target.kind == DatabaseTarget::Kind::kPostgres ? MakePostgresDialect()
                                                              : MakeSqliteDialect()) {
  const bool sqlite = target.kind == DatabaseTarget::Kind::kSqlite;
  const QString driver = sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
  if (!QSqlDatabase::isDriverAvailable(driver)) {
    throw DatabaseError(QStringLiteral("Нет драйвера Qt SQL %1 (пакет %2)")
                            .arg(driver, sqlite ? QStringLiteral("libqt6sql6-sqlite")
                                                : QStringLiteral("libqt6sql6-psql")),
                        true);
  }
  if (sqlite && !create && !QFileInfo::exists(target.path)) {
    throw DatabaseError(
        QStringLiteral("Нет файла базы %1; создайте ее один раз: norvel sync --init ...")
            .arg(target.path),
        true);
  }
  QSqlDatabase db = QSqlDatabase::addDatabase(driver, name_);
  if (sqlite) {
    db.setDatabaseName(target.path);
    if (readOnly) db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
  } else {
    db.setHostName(target.host);
    if (target.port > 0) db.setPort(target.port);
    db.setUserName(target.user);
    db.setPassword(target.password);
    db.setDatabaseName(target.database);
    // A server that does not answer is given ten seconds unless the URL says otherwise.
    QStringList options;
    bool timeout = false;
    for (const auto& [key, value] : target.parameters) {
      options << key + u'=' + value;
      timeout = timeout || key == QLatin1String("connect_timeout");
    }
    if (!timeout) options << QStringLiteral("connect_timeout=10");
    db.setConnectOptions(options.join(u';'));
  }
  if (!db.open()) {
    const QString text = db.lastError().text();
    // A server that is not there (yet) is worth another try; one that refuses who or what is
    // asked for needs a person, as do a certificate that does not verify, a connection refused
    // by the server's rules, and an SQLite file that cannot be opened.
    static const char* const kRefusals[] = {
        "authentication failed", "does not exist", "no pg_hba.conf entry", "pg_hba.conf rejects",
        "permission denied",     "password",       "certificate",          "SSL error"};
    bool refused = sqlite;
    for (const char* refusal : kRefusals) {
      refused = refused || text.contains(QLatin1String(refusal), Qt::CaseInsensitive);
    }
    throw DatabaseError(
        QStringLiteral("Не удается открыть базу %1: %2").arg(target.Describe(), text.trimmed()),
        refused);
  }
  db_ = db;
  if (sqlite) {
    // Another program reading the file makes a writer wait a little, not fail at once; a
    // larger page cache keeps the table's and the index's pages at hand during a big sync.
    Exec(QStringLiteral("PRAGMA busy_timeout = 10000"));
    Exec(QStringLiteral("PRAGMA cache_size = -65536"));
  } else {
    // Quotes are doubled, never escaped with backslashes; and no notices about tables that
    // already exist.
    Exec(QStringLiteral("SET standard_conforming_strings = on"));
    Exec(QStringLiteral("SET client_min_messages = warning"));
    if (readOnly) Exec(QStringLiteral("SET default_transaction_read_only = on"));
  }
}

DatabaseConnection::~DatabaseConnection() {
  if (db_.isOpen()) {
    if (inTransaction_) db_.rollback();
    db_.close();
  }
  db_ = QSqlDatabase();
  QSqlDatabase::removeDatabase(name_);
}

QSqlQuery DatabaseConnection::Exec(const QString& sql) {
  ++statements_;
  QSqlQuery query(db_);
  if (!query.exec(sql)) Fail(query.lastError(), sql);
  return query;
}

QSqlQuery DatabaseConnection::Prepare(const QString& sql) {
  QSqlQuery query(db_);
  query.setForwardOnly(true);
  if (!query.prepare(sql)) Fail(query.lastError(), sql);
  return query;
}

void DatabaseConnection::Run(QSqlQuery& query) {
  ++statements_;
  if (!query.exec()) Fail(query.lastError(), query.lastQuery());
}

void RowBatch::Add(const QVariantList& values) {
  values_ += values;
  // Both databases take thousands of bound values in one statement (SQLite 32766, PostgreSQL
  // 65535); 4000 keeps well under them whatever the width of the row.
  if (values_.size() + columns_ > 4000) Flush();
}

void RowBatch::Flush() {
  if (values_.isEmpty()) return;
  const QString row = u'(' + QStringLiteral("?, ").repeated(columns_ - 1) + QStringLiteral("?)");
  QStringList rows;
  for (qsizetype i = 0; i < values_.size(); i += columns_) rows << row;
  QSqlQuery query =
      c_.Prepare(head_ + QStringLiteral(" VALUES ") + rows.join(QStringLiteral(", ")));
  for (const QVariant& value : values_) query.addBindValue(value);
  c_.Run(query);
  values_.clear();
}

void DatabaseConnection::Begin() {
  if (!db_.transaction()) Fail(db_.lastError(), QStringLiteral("BEGIN"));
  inTransaction_ = true;
}

void DatabaseConnection::Commit() {
  inTransaction_ = false;
  if (!db_.commit()) {
    const QSqlError error = db_.lastError();
    db_.rollback();
    Fail(error, QStringLiteral("COMMIT"));
  }
}

void DatabaseConnection::Rollback() {
  if (inTransaction_) db_.rollback();
  inTransaction_ = false;
}

void DatabaseConnection::Fail(const QSqlError& error, const QString& sql) {
  // Whether to try again: the server is gone or the connection lost (PostgreSQL's connection
  // is no longer good), or another writer held an SQLite file past the busy timeout. A
  // statement the database refused, a right this role lacks among them, needs a person. The
  // connection's own state decides, not a probe, which a refused statement's aborted
  // transaction would fail as well.
  bool reachable = true;
  if (Postgres()) {
    const QVariant handle = db_.driver() ? db_.driver()->handle() : QVariant();
    const bool known = (qstrcmp(handle.typeName(), "PGconn*") == 0 ||
                        qstrcmp(handle.typeName(), "pg_conn*") == 0) &&
                       handle.data();
    const LibPq* pq = LoadLibPq();
    reachable = db_.isOpen() && known && pq &&
                pq->status(*static_cast<PGconn* const*>(handle.data())) == CONNECTION_OK;
  } else {
    const QString code = error.nativeErrorCode();
    reachable = code != QLatin1String("5") && code != QLatin1String("6");  // BUSY, LOCKED
  }
  QString statement = sql.simplified();
  if (statement.size() > 80) statement = statement.left(77) + QStringLiteral("...");
  throw DatabaseError(
      QStringLiteral("База %1: %2 (%3)").arg(target_.Describe(), error.text().trimmed(), statement),
      reachable);
}

bool DatabaseConnection::NoSuchTable(const QSqlError& error) const {
  if (Postgres()) return error.nativeErrorCode() == QLatin1String("42P01");
  return error.databaseText().contains(QLatin1String("no such table"));
}

void DatabaseConnection::BeginExclusive(const QString& key) {
  if (!Postgres()) {
    Exec(QStringLiteral("BEGIN IMMEDIATE"));
    inTransaction_ = true;
    return;
  }
  Begin();
  QSqlQuery lock = Prepare(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"));
  lock.addBindValue(QStringLiteral("norvel-sync:") + key);
  Run(lock);
}
