#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <memory>

#include "core/sync/DatabaseTarget.h"
#include "core/sync/SqlDialect.h"

// One connection for one sync, closed and forgotten at the end: an SQLite file or a PostgreSQL
// server through Qt SQL. Every failure is a DatabaseError with the database's own words.
class DatabaseConnection {
 public:
  // `readOnly`: the connection can change nothing (an SQLite file opened read-only, a
  // PostgreSQL session whose transactions are read-only), for views of the archive.
  // `create`: an SQLite file that is not there is made; without it, refused, since there are
  // no tables to find in it and an empty file left behind would only mislead.
  explicit DatabaseConnection(const DatabaseTarget& target, bool readOnly = false,
                              bool create = true);
  ~DatabaseConnection();
  DatabaseConnection(const DatabaseConnection&) = delete;
  DatabaseConnection& operator=(const DatabaseConnection&) = delete;

  QSqlDatabase& Db() { return db_; }
  QString Describe() const { return target_.Describe(); }
  // What differs in this database's SQL.
  const SqlDialect& Dialect() const { return *dialect_; }

  QSqlQuery Exec(const QString& sql);
  QSqlQuery Prepare(const QString& sql);
  void Run(QSqlQuery& query);
  // The statements sent so far (each Exec and Run), for a sync to say what it cost.
  qint64 Statements() const { return statements_; }

  void Begin();
  // A write transaction that one connection at a time holds for `key`, taken before the state
  // the writes depend on is read: SQLite's write lock (waiting out the busy timeout), a
  // PostgreSQL advisory lock on the key held to the transaction's end.
  void BeginExclusive(const QString& key);
  void Commit();
  void Rollback();

  // A failed statement: the database's own words, and whether the server is still there (a
  // connection lost in the middle is worth another try; a refused statement needs a person).
  [[noreturn]] void Fail(const QSqlError& error, const QString& sql);
  // The error says the table asked for does not exist.
  bool NoSuchTable(const QSqlError& error) const;

 private:
  bool Postgres() const { return target_.kind == DatabaseTarget::Kind::kPostgres; }
  QString name_;
  DatabaseTarget target_;
  std::unique_ptr<SqlDialect> dialect_;
  QSqlDatabase db_;
  bool inTransaction_ = false;
  qint64 statements_ = 0;
};

// Rows for one table sent as multi-row INSERTs of up to a few hundred rows each, rather than a
// statement per row: a remote server is paid a round trip per statement. `head` is the statement
// up to VALUES ("INSERT INTO t (a, b)"); every row has `columns` values. Flush sends the rest.
class RowBatch {
 public:
  RowBatch(DatabaseConnection& c, const QString& head, int columns)
      : c_(c), head_(head), columns_(columns) {}
  void Add(const QVariantList& values);
  void Flush();

 private:
  DatabaseConnection& c_;
  QString head_;
  int columns_;
  QVariantList values_;
};
