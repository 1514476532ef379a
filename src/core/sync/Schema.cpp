#include "core/sync/Schema.h"

#include <QTimeZone>
#include <QVariant>

#include "core/sync/DatabaseConnection.h"

namespace {

// The tables, the same words for SQLite and PostgreSQL. The database is an archive: a call is
// keyed by what it is (its station, its start, its record: subscriber, minutes, city line, type
// and number, and an occurrence number for a true repeat of all of these in one month file),
// not by where a month file held it, so a month file rotated, deleted or started afresh next
// year never takes rows away. Only a prune does, and it is recorded.
const char* const kCallsTable =
    "CREATE TABLE IF NOT EXISTS calls ("
    " station VARCHAR(64) NOT NULL,"
    " start TIMESTAMP NOT NULL,"
    " record VARCHAR(128) NOT NULL,"
    " occurrence INTEGER NOT NULL,"
    " month_file SMALLINT NOT NULL,"
    " subscriber SMALLINT NOT NULL,"
    " duration_min INTEGER,"
    " city_line SMALLINT NOT NULL,"
    " call_type SMALLINT NOT NULL,"
    " number VARCHAR(64) NOT NULL,"
    " zone VARCHAR(255),"
    " charged_min INTEGER,"
    " cost_hundredths BIGINT,"
    " subscriber_name VARCHAR(255),"
    " department VARCHAR(255),"
    " PRIMARY KEY (station, start, record, occurrence))";

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS norvel_schema (version INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS stations ("
    " name VARCHAR(64) PRIMARY KEY,"
    " id VARCHAR(64) NOT NULL,"
    " host VARCHAR(255),"
    " dir VARCHAR(4096),"
    " timezone VARCHAR(64))",
    kCallsTable,
    // The key serves a station's calls by date; this index serves every station's by date, on
    // the central server (in an SQLite file it would double the time a million calls take).
    "CREATE INDEX IF NOT EXISTS calls_start ON calls (start)",
    "CREATE TABLE IF NOT EXISTS synced_files ("
    " station VARCHAR(64) NOT NULL,"
    " month_file SMALLINT NOT NULL,"
    " bytes BIGINT NOT NULL,"
    " calls INTEGER NOT NULL,"
    " sha256 CHAR(64) NOT NULL,"
    " synced_at TIMESTAMP NOT NULL,"
    " PRIMARY KEY (station, month_file))",
    // Every sync, also one with nothing new: when each station was last seen, and how it went.
    "CREATE TABLE IF NOT EXISTS sync_runs ("
    " station VARCHAR(64) NOT NULL,"
    " started_at TIMESTAMP NOT NULL,"
    " finished_at TIMESTAMP NOT NULL,"
    " result VARCHAR(32) NOT NULL,"
    " added BIGINT NOT NULL,"
    " months_changed INTEGER NOT NULL,"
    " months_failed INTEGER NOT NULL,"
    // The station's last reception as its directory kept it: when, and how it ended.
    " reception_at VARCHAR(32),"
    " reception_result VARCHAR(64))",
    // When each station was last seen, read from the index alone.
    "CREATE INDEX IF NOT EXISTS sync_runs_station ON sync_runs (station, finished_at)",
    // Each month's line load as the report gives it, for views of the archive: kept by the sync
    // whenever the month file changes.
    "CREATE TABLE IF NOT EXISTS month_reports ("
    " station VARCHAR(64) NOT NULL,"
    " year INTEGER NOT NULL,"
    " month SMALLINT NOT NULL,"
    " city_lines SMALLINT NOT NULL,"
    " lines_assumed SMALLINT NOT NULL,"
    " busy_hour SMALLINT NOT NULL,"
    " busy_traffic DOUBLE PRECISION NOT NULL,"
    " working_days SMALLINT NOT NULL,"
    " busy_days SMALLINT NOT NULL,"
    " all_busy_minutes INTEGER NOT NULL,"
    " cannot_estimate SMALLINT NOT NULL,"
    " blocking DOUBLE PRECISION NOT NULL,"
    " lines_needed INTEGER NOT NULL,"
    " calls BIGINT NOT NULL,"
    " minutes BIGINT NOT NULL,"
    " cost_hundredths BIGINT NOT NULL,"
    " computed_at TIMESTAMP NOT NULL,"
    " PRIMARY KEY (station, year, month))",
    // Its subscribers' totals, and their calls by zone (charged minutes), as the report has them.
    "CREATE TABLE IF NOT EXISTS month_subscribers ("
    " station VARCHAR(64) NOT NULL,"
    " year INTEGER NOT NULL,"
    " month SMALLINT NOT NULL,"
    " subscriber SMALLINT NOT NULL,"
    " subscriber_name VARCHAR(255),"
    " department VARCHAR(255),"
    " calls BIGINT NOT NULL,"
    " minutes BIGINT NOT NULL,"
    " cost_hundredths BIGINT NOT NULL,"
    " PRIMARY KEY (station, year, month, subscriber))",
    "CREATE TABLE IF NOT EXISTS month_zones ("
    " station VARCHAR(64) NOT NULL,"
    " year INTEGER NOT NULL,"
    " month SMALLINT NOT NULL,"
    " subscriber SMALLINT NOT NULL,"
    " zone VARCHAR(255) NOT NULL,"
    " calls BIGINT NOT NULL,"
    " charged_min BIGINT NOT NULL,"
    " cost_hundredths BIGINT NOT NULL,"
    " PRIMARY KEY (station, year, month, subscriber, zone))",
    // The suspicious calls of each month as norvel alerts finds them, kept with the month's
    // figures: a finding by its key, when its first call started (the station's clock time),
    // its rule, level, why, and its calls as the record viewer shows them.
    "CREATE TABLE IF NOT EXISTS alerts ("
    " station VARCHAR(64) NOT NULL,"
    " finding VARCHAR(512) NOT NULL,"
    " year INTEGER NOT NULL,"
    " month SMALLINT NOT NULL,"
    " first_call VARCHAR(16) NOT NULL,"
    " rule VARCHAR(255) NOT NULL,"
    " level VARCHAR(16) NOT NULL,"
    " subscriber SMALLINT,"
    " city_line SMALLINT,"
    " calls INTEGER NOT NULL,"
    " why TEXT NOT NULL,"
    " calls_text TEXT NOT NULL,"
    " PRIMARY KEY (station, finding))",
    // What the sync keeps of each month file to go on from where it stopped (MonthState): a
    // cache, made again from the month file when it is missing.
    "CREATE TABLE IF NOT EXISTS month_states ("
    " station VARCHAR(64) NOT NULL,"
    " month_file SMALLINT NOT NULL,"
    " state BLOB NOT NULL,"
    " PRIMARY KEY (station, month_file))",
    "CREATE TABLE IF NOT EXISTS prunes ("
    " station VARCHAR(64) NOT NULL,"
    " before_start TIMESTAMP NOT NULL,"
    " removed BIGINT NOT NULL,"
    " pruned_at TIMESTAMP NOT NULL)",
};

// The record of a call as the table keys it, from the columns of a version 1 table: the same
// text the sync makes (CallRecordKey).
const char* const kRecordOfColumns =
    "CAST(subscriber AS VARCHAR(8)) || ' ' || CAST(COALESCE(duration_min, -1) AS VARCHAR(12)) "
    "|| ' ' || CAST(city_line AS VARCHAR(4)) || ' ' || CAST(call_type AS VARCHAR(4)) || ' ' || "
    "number";

QString CallsTableSql(DatabaseConnection& c, const QString& name) {
  QString sql = QString::fromLatin1(kCallsTable);
  sql.replace(QLatin1String("EXISTS calls"), QLatin1String("EXISTS ") + name);
  return c.Dialect().Schema(sql, true);
}

// Whether the table is there, from the database's catalogue (a query that never fails, so it
// may run inside PostgreSQL's transaction).
bool TableExists(DatabaseConnection& c, const QString& table) {
  QSqlQuery find = c.Prepare(c.Dialect().TableCountQuery());
  find.addBindValue(table);
  c.Run(find);
  const bool there = find.next() && find.value(0).toInt() > 0;
  find.finish();
  return there;
}

// Version 1 kept a call by its month file and position there: its rows move into the archive's
// table with the key of what each call is, in one transaction.
void MigrateFromVersion1(DatabaseConnection& c) {
  c.Exec(CallsTableSql(c, QStringLiteral("calls_v2")));
  c.Exec(QStringLiteral(
             "INSERT INTO calls_v2 (station, start, record, occurrence, month_file, subscriber, "
             "duration_min, city_line, call_type, number, zone, charged_min, cost_hundredths) "
             "SELECT station, start, %1, ROW_NUMBER() OVER (PARTITION BY station, start, %1 "
             "ORDER BY month_file, position), month_file, subscriber, duration_min, city_line, "
             "call_type, number, zone, charged_min, cost_hundredths FROM calls")
             .arg(QLatin1String(kRecordOfColumns)));
  c.Exec(QStringLiteral("DROP TABLE calls"));
  c.Exec(QStringLiteral("ALTER TABLE calls_v2 RENAME TO calls"));
  c.Exec(
      QStringLiteral("CREATE TABLE IF NOT EXISTS prunes (station VARCHAR(64) NOT NULL, "
                     "before_start TIMESTAMP NOT NULL, removed BIGINT NOT NULL, pruned_at "
                     "TIMESTAMP NOT NULL)"));
}

// Version 2 kept the start without a time zone: each station is taken to be in the zone of the
// machine that upgrades (the one that synced it, as a rule), its starts read in that zone.
void MigrateFromVersion2(DatabaseConnection& c, const QString& zone, bool madeByUpgrade) {
  c.Exec(QStringLiteral("ALTER TABLE stations ADD COLUMN timezone VARCHAR(64)"));
  // The subscriber directory's names and departments, and the last reception of a run (tables
  // the upgrade from version 1 has just made have them already).
  if (!madeByUpgrade) {
    c.Exec(QStringLiteral("ALTER TABLE calls ADD COLUMN subscriber_name VARCHAR(255)"));
    c.Exec(QStringLiteral("ALTER TABLE calls ADD COLUMN department VARCHAR(255)"));
    c.Exec(QStringLiteral("ALTER TABLE sync_runs ADD COLUMN reception_at VARCHAR(32)"));
    c.Exec(QStringLiteral("ALTER TABLE sync_runs ADD COLUMN reception_result VARCHAR(64)"));
  }
  QSqlQuery set = c.Prepare(QStringLiteral("UPDATE stations SET timezone = ?"));
  set.addBindValue(zone);
  c.Run(set);
  // The session's zone is the machine's here, so the conversion reads the starts in it.
  c.Dialect().StartsBecomeMoments(c);
}

}  // namespace

bool MonthStatesTable(DatabaseConnection& c) {
  if (TableExists(c, QStringLiteral("month_states"))) return true;
  c.BeginExclusive(QStringLiteral("schema"));
  try {
    for (const char* statement : kSchema) {
      const QString sql = QString::fromLatin1(statement);
      if (sql.contains(QLatin1String("EXISTS month_states")))
        c.Exec(c.Dialect().Schema(sql, false));
    }
    c.Commit();
    return true;
  } catch (const DatabaseError& error) {
    // A role that may not make tables syncs all the same, reading changed months whole.
    c.Rollback();
    if (!error.Reachable()) throw;
    return false;
  }
}

void CheckSchema(DatabaseConnection& c, bool init) {
  if (init) {
    // Two first syncs at once create the tables one after the other; the second finds them.
    c.BeginExclusive(QStringLiteral("schema"));
    const bool ours = TableExists(c, QStringLiteral("norvel_schema"));
    // Someone else's table of calls is left as it is: nothing is created beside it.
    if (!ours && TableExists(c, QStringLiteral("calls"))) {
      c.Rollback();
      throw DatabaseError(
          QStringLiteral("В базе %1 уже есть таблица calls, не созданная norvel; выберите другую "
                         "базу")
              .arg(c.Describe()),
          true);
    }
    if (ours) {
      QSqlQuery version = c.Exec(QStringLiteral("SELECT MAX(version) FROM norvel_schema"));
      const int found = version.next() ? version.value(0).toInt() : 0;
      version.finish();  // SQLite drops no table while a statement is still open
      if (found < kSyncSchemaVersion) {
        const QString zone = QString::fromLatin1(QTimeZone::systemTimeZoneId());
        c.Dialect().UseZone(c, zone, true);
        if (found == 1) MigrateFromVersion1(c);
        if (found <= 2) MigrateFromVersion2(c, zone, found == 1);
        // Version 4 only adds the table of alerts, which the statements below make.
        c.Exec(QStringLiteral("UPDATE norvel_schema SET version = %1").arg(kSyncSchemaVersion));
      }
    }
    for (const char* statement : kSchema) {
      const QString sql = QString::fromLatin1(statement);
      if (!c.Dialect().IndexesStarts() && sql.contains(QLatin1String("calls_start"))) continue;
      c.Exec(sql == QLatin1String(kCallsTable) ? CallsTableSql(c, QStringLiteral("calls"))
                                               : c.Dialect().Schema(sql, false));
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
  if (found < kSyncSchemaVersion) {
    throw DatabaseError(QStringLiteral("Таблицы базы версии %1, а эта программа пишет версию %2; "
                                       "обновите их один раз: norvel sync --init ...")
                            .arg(found)
                            .arg(kSyncSchemaVersion),
                        true);
  }
}
