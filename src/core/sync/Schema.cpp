#include "core/sync/Schema.h"

#include <QVariant>

#include "core/sync/DatabaseConnection.h"

namespace {

// The tables, the same words for SQLite and PostgreSQL. A call is keyed by its station, its
// month file (1..12) and its position in that file (1 = the first call after the heading).
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS norvel_schema (version INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS stations ("
    " name VARCHAR(64) PRIMARY KEY,"
    " id VARCHAR(64) NOT NULL,"
    " host VARCHAR(255),"
    " dir VARCHAR(4096))",
    "CREATE TABLE IF NOT EXISTS calls ("
    " station VARCHAR(64) NOT NULL,"
    " month_file SMALLINT NOT NULL,"
    " position INTEGER NOT NULL,"
    " start TIMESTAMP NOT NULL,"
    " subscriber SMALLINT NOT NULL,"
    " duration_min INTEGER,"
    " city_line SMALLINT NOT NULL,"
    " call_type SMALLINT NOT NULL,"
    " number VARCHAR(64) NOT NULL,"
    " zone VARCHAR(255),"
    " charged_min INTEGER,"
    " cost_hundredths BIGINT,"
    " PRIMARY KEY (station, month_file, position))",
    "CREATE INDEX IF NOT EXISTS calls_station_start_subscriber"
    " ON calls (station, start, subscriber)",
    "CREATE TABLE IF NOT EXISTS synced_files ("
    " station VARCHAR(64) NOT NULL,"
    " month_file SMALLINT NOT NULL,"
    " bytes BIGINT NOT NULL,"
    " calls INTEGER NOT NULL,"
    " sha256 CHAR(64) NOT NULL,"
    " synced_at TIMESTAMP NOT NULL,"
    " PRIMARY KEY (station, month_file))",
};

}  // namespace

void CheckSchema(DatabaseConnection& c, bool init) {
  if (init) {
    // Two first syncs at once create the tables one after the other.
    c.BeginExclusive(QStringLiteral("schema"));
    for (const char* statement : kSchema) {
      QString sql = QString::fromLatin1(statement);
      // SQLite keeps the calls in the order of their key, in one tree with the rows, rather than
      // a tree of rows and another of keys.
      if (!c.Postgres() && sql.contains(QLatin1String("TABLE IF NOT EXISTS calls"))) {
        sql += QLatin1String(" WITHOUT ROWID");
      }
      c.Exec(sql);
    }
    QSqlQuery count = c.Exec(QStringLiteral("SELECT COUNT(*) FROM norvel_schema"));
    if (count.next() && count.value(0).toInt() == 0) {
      c.Exec(QStringLiteral("INSERT INTO norvel_schema (version) VALUES (%1)")
                 .arg(kSyncSchemaVersion));
    }
    c.Commit();
  }
  QSqlQuery version(c.Db());
  const bool read = version.exec(QStringLiteral("SELECT MAX(version) FROM norvel_schema"));
  // Only a table that is not there means "no tables"; a table this role may not read, or a
  // connection lost, is told in the database's own words.
  if (!read && !c.NoSuchTable(version.lastError()))
    c.Fail(version.lastError(), version.lastQuery());
  if (!read || !version.next() || version.isNull(0)) {
    throw DatabaseError(
        QStringLiteral(
            "В базе нет таблиц для звонков; создайте их один раз: norvel sync --init ..."),
        true);
  }
  const int found = version.value(0).toInt();
  if (found > kSyncSchemaVersion) {
    throw DatabaseError(QStringLiteral("Таблицы базы версии %1, а эта программа знает версию %2; "
                                       "обновите norvel")
                            .arg(found)
                            .arg(kSyncSchemaVersion),
                        true);
  }
}
