#include "core/sync/CallSync.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>
#include <QVariant>
#include <cstring>
#include <memory>
#include <optional>

#include <libpq-fe.h>
#include <sqlite3.h>

#include "core/costs/Tariffs.h"
#include "core/files/CallExport.h"
#include "core/files/DataFiles.h"
#include "core/files/DecimalText.h"
#include "core/platform/DurableFile.h"

namespace {

constexpr qint64 kReadBlock = 1 << 20;
constexpr qint64 kHookEvery = 10000;  // rows between two calls of the test hook

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

const char kInsertHead[] =
    "INSERT INTO calls (station, month_file, position, start, subscriber, duration_min, "
    "city_line, call_type, number, zone, charged_min, cost_hundredths) VALUES ";

QString NowText() {
  return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// One connection for one sync, closed and forgotten at the end.
class Connection {
 public:
  explicit Connection(const DatabaseTarget& target)
      : name_(QStringLiteral("norvel-sync-") + QUuid::createUuid().toString(QUuid::Id128)),
        target_(target) {
    const bool sqlite = target.kind == DatabaseTarget::Kind::kSqlite;
    const QString driver = sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
    if (!QSqlDatabase::isDriverAvailable(driver)) {
      throw DatabaseError(QStringLiteral("Нет драйвера Qt SQL %1 (пакет %2)")
                              .arg(driver, sqlite ? QStringLiteral("libqt6sql6-sqlite")
                                                  : QStringLiteral("libqt6sql6-psql")),
                          true);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, name_);
    if (sqlite) {
      db.setDatabaseName(target.path);
    } else {
      db.setHostName(target.host);
      if (target.port > 0) db.setPort(target.port);
      db.setUserName(target.user);
      db.setPassword(target.password);
      db.setDatabaseName(target.database);
      db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    }
    if (!db.open()) {
      const QString text = db.lastError().text();
      // A server that is not there (yet) is worth another try; one that refuses who or what is
      // asked for needs a person, as does an SQLite file that cannot be opened.
      static const char* const kRefusals[] = {"authentication failed", "does not exist",
                                              "no pg_hba.conf entry", "permission denied",
                                              "password"};
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
    }
  }
  ~Connection() {
    if (db_.isOpen()) {
      if (inTransaction_) db_.rollback();
      db_.close();
    }
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  QSqlDatabase& Db() { return db_; }
  QString Describe() const { return target_.Describe(); }
  bool Postgres() const { return target_.kind == DatabaseTarget::Kind::kPostgres; }

  QSqlQuery Exec(const QString& sql) {
    QSqlQuery query(db_);
    if (!query.exec(sql)) Fail(query.lastError(), sql);
    return query;
  }
  QSqlQuery Prepare(const QString& sql) {
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    if (!query.prepare(sql)) Fail(query.lastError(), sql);
    return query;
  }
  void Run(QSqlQuery& query) {
    if (!query.exec()) Fail(query.lastError(), query.lastQuery());
  }

  void Begin() {
    if (!db_.transaction()) Fail(db_.lastError(), QStringLiteral("BEGIN"));
    inTransaction_ = true;
  }
  void Commit() {
    inTransaction_ = false;
    if (!db_.commit()) {
      const QSqlError error = db_.lastError();
      db_.rollback();
      Fail(error, QStringLiteral("COMMIT"));
    }
  }
  void Rollback() {
    if (inTransaction_) db_.rollback();
    inTransaction_ = false;
  }

  // A failed statement: the database's own words, and whether the server is still there (a
  // connection lost in the middle is worth another try; a refused statement needs a person).
  [[noreturn]] void Fail(const QSqlError& error, const QString& sql) {
    bool reachable = true;
    if (Postgres()) {
      QSqlQuery probe(db_);
      reachable = db_.isOpen() && probe.exec(QStringLiteral("SELECT 1"));
    }
    QString statement = sql.simplified();
    if (statement.size() > 80) statement = statement.left(77) + QStringLiteral("...");
    throw DatabaseError(QStringLiteral("База %1: %2 (%3)")
                            .arg(target_.Describe(), error.text().trimmed(), statement),
                        reachable);
  }

 private:
  QString name_;
  DatabaseTarget target_;
  QSqlDatabase db_;
  bool inTransaction_ = false;
};

// Creates the tables when asked, and checks the schema's version.
void CheckSchema(Connection& c, bool init) {
  if (init) {
    c.Begin();
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
  if (!version.exec(QStringLiteral("SELECT MAX(version) FROM norvel_schema")) || !version.next() ||
      version.isNull(0)) {
    if (c.Postgres()) {
      QSqlQuery probe(c.Db());
      if (!probe.exec(QStringLiteral("SELECT 1"))) c.Fail(version.lastError(), version.lastQuery());
    }
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

// Registers the station by name, or checks that the name is this directory's; gives true when
// it was registered now.
bool CheckStation(Connection& c, const StationIdentity& station, const QString& dir,
                  bool newStation) {
  QSqlQuery find = c.Prepare(QStringLiteral("SELECT id, host, dir FROM stations WHERE name = ?"));
  find.addBindValue(station.name);
  c.Run(find);
  if (find.next()) {
    if (find.value(0).toString() != station.id) {
      throw ConvertError(
          QStringLiteral("Имя станции «%1» в базе уже занято другим рабочим каталогом "
                         "(%2:%3); выберите другое имя в файле %4")
              .arg(station.name, find.value(1).toString(), find.value(2).toString(),
                   QLatin1String(kStationFileName)));
    }
    if (newStation) WriteStationIdentity(dir, station);
    return false;
  }
  c.Begin();
  QSqlQuery add =
      c.Prepare(QStringLiteral("INSERT INTO stations (name, id, host, dir) VALUES (?, ?, ?, ?)"));
  add.addBindValue(station.name);
  add.addBindValue(station.id);
  add.addBindValue(QSysInfo::machineHostName());
  add.addBindValue(QDir(dir).absolutePath());
  c.Run(add);
  // The file before the commit: a commit that fails after it leaves a name the database does
  // not know yet, which the next sync registers; never a name held by an id nobody keeps.
  try {
    if (newStation) WriteStationIdentity(dir, station);
  } catch (...) {
    c.Rollback();
    throw;
  }
  c.Commit();
  return true;
}

struct FileState {
  qint64 bytes = 0;
  qint64 calls = 0;
  QByteArray sha256;
};

// A call's fields as the table takes them: its start as "YYYY-MM-DD HH:MM:00", and its zone,
// charged minutes and cost when the tariff table charges it.
struct CallFields {
  char start[20];
  const QByteArray* zone = nullptr;  // none: NULL zone, minutes and cost
  int chargedMinutes = 0;
  Money cost = 0;
};

// Writes a month file's rows into the table. The rows go through the database's own bulk
// path, on the connection Qt opened and inside its transaction: a statement prepared once and
// bound value by value for SQLite, COPY for PostgreSQL. Qt's own binding costs a string and a
// lookup per value, many times the database's work over a million rows.
class RowWriter {
 public:
  RowWriter(const QString& station, int month, const std::optional<Tariffs>& tariffs)
      : station_(station.toUtf8()), month_(month), tariffs_(tariffs) {
    if (tariffs_) {
      for (const TariffZone& zone : tariffs_->zones) zones_.push_back(zone.name.toUtf8());
    }
  }
  virtual ~RowWriter() = default;
  virtual void Add(qint64 position, const ExportRow& row) = 0;
  // Sends what is gathered and ends the bulk write; nothing may be added after it.
  virtual void Finish() = 0;
  qint64 Added() const { return added_; }

 protected:
  CallFields Fields(const ExportRow& row) const {
    CallFields fields;
    char* p = fields.start;
    WriteDigits(p, row.year, 4);
    p[4] = '-';
    WriteDigits(p + 5, row.month, 2);
    p[7] = '-';
    WriteDigits(p + 8, row.day, 2);
    p[10] = ' ';
    WriteDigits(p + 11, row.hour, 2);
    p[13] = ':';
    WriteDigits(p + 14, row.minute, 2);
    std::memcpy(p + 16, ":00", 4);
    if (tariffs_) {
      const Rated rated = RateCall(*tariffs_, row);
      if (rated.kind == Rated::Kind::kCharged) {
        fields.zone = &zones_[static_cast<size_t>(rated.zone)];
        fields.chargedMinutes = rated.minutes;
        fields.cost = rated.cost;
      }
    }
    return fields;
  }

  QByteArray station_;
  int month_;
  const std::optional<Tariffs>& tariffs_;
  std::vector<QByteArray> zones_;
  qint64 added_ = 0;
};

class SqliteRows : public RowWriter {
 public:
  SqliteRows(Connection& c, const QString& station, int month,
             const std::optional<Tariffs>& tariffs)
      : RowWriter(station, month, tariffs), c_(c) {
    const QVariant handle = c.Db().driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0 || !handle.data()) {
      throw DatabaseError(QStringLiteral("Драйвер SQLite не дает доступа к базе"), true);
    }
    db_ = *static_cast<sqlite3* const*>(handle.data());
    const QByteArray sql = QByteArray(kInsertHead) + "(?,?,?,?,?,?,?,?,?,?,?,?)";
    if (sqlite3_prepare_v2(db_, sql.constData(), static_cast<int>(sql.size()), &statement_,
                           nullptr) != SQLITE_OK) {
      Fail();
    }
  }
  ~SqliteRows() override { sqlite3_finalize(statement_); }

  void Add(qint64 position, const ExportRow& row) override {
    const CallFields fields = Fields(row);
    sqlite3_bind_text(statement_, 1, station_.constData(), static_cast<int>(station_.size()),
                      SQLITE_STATIC);
    sqlite3_bind_int(statement_, 2, month_);
    sqlite3_bind_int64(statement_, 3, position);
    sqlite3_bind_text(statement_, 4, fields.start, 19, SQLITE_TRANSIENT);
    sqlite3_bind_int(statement_, 5, row.subscriber);
    if (row.duration >= 0) {
      sqlite3_bind_int(statement_, 6, row.duration);
    } else {
      sqlite3_bind_null(statement_, 6);
    }
    sqlite3_bind_int(statement_, 7, row.cityLine);
    sqlite3_bind_int(statement_, 8, row.callType);
    const QByteArray number = QByteArray(row.number).replace('\0', "");
    sqlite3_bind_text(statement_, 9, number.constData(), static_cast<int>(number.size()),
                      SQLITE_TRANSIENT);
    if (fields.zone) {
      sqlite3_bind_text(statement_, 10, fields.zone->constData(),
                        static_cast<int>(fields.zone->size()), SQLITE_STATIC);
      sqlite3_bind_int(statement_, 11, fields.chargedMinutes);
      sqlite3_bind_int64(statement_, 12, fields.cost);
    } else {
      for (int column = 10; column <= 12; ++column) sqlite3_bind_null(statement_, column);
    }
    if (sqlite3_step(statement_) != SQLITE_DONE) Fail();
    sqlite3_reset(statement_);
    ++added_;
  }
  void Finish() override {}

 private:
  [[noreturn]] void Fail() {
    throw DatabaseError(
        QStringLiteral("База %1: %2").arg(c_.Describe(), QString::fromUtf8(sqlite3_errmsg(db_))),
        true);
  }

  Connection& c_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* statement_ = nullptr;
};

class PostgresRows : public RowWriter {
 public:
  PostgresRows(Connection& c, const QString& station, int month,
               const std::optional<Tariffs>& tariffs)
      : RowWriter(station, month, tariffs), c_(c) {
    const QVariant handle = c.Db().driver()->handle();
    // Qt names the type after the struct behind libpq's typedef.
    if ((qstrcmp(handle.typeName(), "PGconn*") != 0 &&
         qstrcmp(handle.typeName(), "pg_conn*") != 0) ||
        !handle.data()) {
      throw DatabaseError(QStringLiteral("Драйвер PostgreSQL не дает доступа к базе"), true);
    }
    conn_ = *static_cast<PGconn* const*>(handle.data());
    const QByteArray sql =
        "COPY calls (station, month_file, position, start, subscriber, duration_min, city_line, "
        "call_type, number, zone, charged_min, cost_hundredths) FROM STDIN";
    PGresult* result = PQexec(conn_, sql.constData());
    const bool copying = PQresultStatus(result) == PGRES_COPY_IN;
    PQclear(result);
    if (!copying) Fail();
    buffer_.reserve(kSendSize + 1024);
  }
  ~PostgresRows() override {
    // A write that failed midway ends its COPY, so that the connection can roll back.
    if (copying_ && PQstatus(conn_) == CONNECTION_OK) {
      PQputCopyEnd(conn_, "sync stopped");
      while (PGresult* result = PQgetResult(conn_)) PQclear(result);
    }
  }

  void Add(qint64 position, const ExportRow& row) override {
    const CallFields fields = Fields(row);
    Text(station_);
    buffer_ += '\t';
    Number(month_);
    buffer_ += '\t';
    Number(position);
    buffer_ += '\t';
    buffer_.append(fields.start, 19);
    buffer_ += '\t';
    Number(row.subscriber);
    buffer_ += '\t';
    if (row.duration >= 0) {
      Number(row.duration);
    } else {
      buffer_ += "\\N";
    }
    buffer_ += '\t';
    Number(row.cityLine);
    buffer_ += '\t';
    Number(row.callType);
    buffer_ += '\t';
    Text(row.number);
    if (fields.zone) {
      buffer_ += '\t';
      Text(*fields.zone);
      buffer_ += '\t';
      Number(fields.chargedMinutes);
      buffer_ += '\t';
      Number(fields.cost);
      buffer_ += '\n';
    } else {
      buffer_ += "\t\\N\t\\N\t\\N\n";
    }
    ++added_;
    if (buffer_.size() >= kSendSize) Send();
  }
  void Finish() override {
    Send();
    copying_ = false;
    if (PQputCopyEnd(conn_, nullptr) != 1) Fail();
    PGresult* result = PQgetResult(conn_);
    const bool done = PQresultStatus(result) == PGRES_COMMAND_OK;
    const QString error = QString::fromUtf8(PQresultErrorMessage(result));
    PQclear(result);
    while (PGresult* more = PQgetResult(conn_)) PQclear(more);
    if (!done) Fail(error);
  }

 private:
  static constexpr qsizetype kSendSize = 1 << 18;

  void Send() {
    if (buffer_.isEmpty()) return;
    if (PQputCopyData(conn_, buffer_.constData(), static_cast<int>(buffer_.size())) != 1) Fail();
    buffer_.clear();
  }
  // A text in COPY's text form: a backslash, a tab and the line ends escaped; no NUL.
  void Text(QByteArrayView text) {
    for (const char ch : text) {
      switch (ch) {
        case '\\':
          buffer_ += "\\\\";
          break;
        case '\t':
          buffer_ += "\\t";
          break;
        case '\n':
          buffer_ += "\\n";
          break;
        case '\r':
          buffer_ += "\\r";
          break;
        case '\0':
          break;
        default:
          buffer_ += ch;
      }
    }
  }
  void Number(qint64 value) { AppendDecimal(buffer_, value); }
  [[noreturn]] void Fail(const QString& error = QString()) {
    const QString text = error.isEmpty() ? QString::fromUtf8(PQerrorMessage(conn_)) : error;
    throw DatabaseError(QStringLiteral("База %1: %2").arg(c_.Describe(), text.trimmed()),
                        PQstatus(conn_) == CONNECTION_OK);
  }

  Connection& c_;
  PGconn* conn_ = nullptr;
  bool copying_ = true;
  QByteArray buffer_;
};

std::unique_ptr<RowWriter> MakeRowWriter(Connection& c, const QString& station, int month,
                                         const std::optional<Tariffs>& tariffs) {
  if (c.Postgres()) return std::make_unique<PostgresRows>(c, station, month, tariffs);
  return std::make_unique<SqliteRows>(c, station, month, tariffs);
}

// Syncs one month file; nothing when it holds nothing new.
std::optional<SyncedFile> SyncMonth(Connection& c, const SyncOptions& options, int month,
                                    const std::optional<Tariffs>& tariffs) {
  const QString name = DataFileName(month);
  QFile file(QDir(options.dir).filePath(name));
  if (!file.exists()) return std::nullopt;
  if (!file.open(QIODevice::ReadOnly)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
  }
  const auto readFailed = [&] {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
  };

  std::optional<FileState> state;
  {
    QSqlQuery find = c.Prepare(QStringLiteral(
        "SELECT bytes, calls, sha256 FROM synced_files WHERE station = ? AND month_file = ?"));
    find.addBindValue(options.station.name);
    find.addBindValue(month);
    c.Run(find);
    if (find.next()) {
      state = FileState{find.value(0).toLongLong(), find.value(1).toLongLong(),
                        find.value(2).toString().toLatin1()};
    }
  }

  // The part synced before must be as it was: the same bytes, by their hash.
  QCryptographicHash hash(QCryptographicHash::Sha256);
  bool whole = true;
  if (state && file.size() >= state->bytes) {
    QCryptographicHash check(QCryptographicHash::Sha256);
    qint64 left = state->bytes;
    while (left > 0) {
      const QByteArray block = file.read(std::min(left, kReadBlock));
      if (block.isEmpty()) readFailed();
      check.addData(block);
      hash.addData(block);
      left -= block.size();
    }
    whole = check.result().toHex() != state->sha256;
  }
  qint64 offset = whole ? 0 : state->bytes;
  qint64 position = whole ? 0 : state->calls;
  if (whole) {
    hash.reset();
    if (!file.seek(0)) readFailed();
  }
  int lineNumber = whole ? 0 : static_cast<int>(state->calls) + 1;

  // Only whole lines are taken: a line still being written is left for the next sync.
  SyncedFile synced;
  synced.file = name;
  synced.resynced = whole && state.has_value();
  bool begun = false;
  std::unique_ptr<RowWriter> rows;
  const auto begin = [&] {
    if (begun) return;
    c.Begin();
    begun = true;
    if (whole) {
      QSqlQuery remove =
          c.Prepare(QStringLiteral("DELETE FROM calls WHERE station = ? AND month_file = ?"));
      remove.addBindValue(options.station.name);
      remove.addBindValue(month);
      c.Run(remove);
      synced.removed = std::max(0, remove.numRowsAffected());
    }
    rows = MakeRowWriter(c, options.station.name, month, tariffs);
  };
  if (whole && state) begin();  // the old rows go even when the file has no calls left

  QByteArray pending;
  try {
    for (;;) {
      const QByteArray block = file.read(kReadBlock);
      if (file.error() != QFileDevice::NoError) readFailed();
      if (block.isEmpty()) break;
      pending += block;
      qsizetype start = 0;
      for (;;) {
        const qsizetype end = pending.indexOf('\n', start);
        if (end < 0) break;
        ++lineNumber;
        if (lineNumber > 1) {
          qsizetype stop = end;
          if (stop > start && pending[stop - 1] == '\r') --stop;
          const ExportRow row = ParseMonthLine(
              QByteArrayView(pending.constData() + start, stop - start), name, lineNumber);
          begin();
          rows->Add(++position, row);
          if (options.afterBatch && rows->Added() % kHookEvery == 0) {
            options.afterBatch(name, rows->Added());
          }
        }
        start = end + 1;
      }
      hash.addData(QByteArrayView(pending.constData(), start));
      offset += start;
      pending.remove(0, start);
    }
    if (!begun) return std::nullopt;
    rows->Finish();
    if (options.afterBatch) options.afterBatch(name, rows->Added());
    QSqlQuery forget =
        c.Prepare(QStringLiteral("DELETE FROM synced_files WHERE station = ? AND month_file = ?"));
    forget.addBindValue(options.station.name);
    forget.addBindValue(month);
    c.Run(forget);
    QSqlQuery remember = c.Prepare(QStringLiteral(
        "INSERT INTO synced_files (station, month_file, bytes, calls, sha256, synced_at) "
        "VALUES (?, ?, ?, ?, ?, ?)"));
    remember.addBindValue(options.station.name);
    remember.addBindValue(month);
    remember.addBindValue(offset);
    remember.addBindValue(position);
    remember.addBindValue(QString::fromLatin1(hash.result().toHex()));
    remember.addBindValue(NowText());
    c.Run(remember);
    c.Commit();
  } catch (...) {
    rows.reset();  // ends a COPY, so that the connection takes the rollback
    c.Rollback();
    throw;
  }
  synced.added = rows->Added();
  return synced;
}

}  // namespace

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

bool ValidStationName(const QString& name) {
  static const QRegularExpression shape(QStringLiteral("^[\\w.-]{1,64}$"),
                                        QRegularExpression::UseUnicodePropertiesOption);
  return shape.match(name).hasMatch();
}

StationIdentity ReadStationIdentity(const QString& dir) {
  QFile file(QDir(dir).filePath(QLatin1String(kStationFileName)));
  if (!file.exists()) return {};
  if (!file.open(QIODevice::ReadOnly)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2")
                      .arg(QLatin1String(kStationFileName), file.errorString()));
  }
  StationIdentity identity;
  const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
  for (QString line : lines) {
    line = line.section(u'#', 0, 0).trimmed();
    if (line.isEmpty()) continue;
    const QString key = line.section(u'=', 0, 0).trimmed();
    const QString value = line.section(u'=', 1).trimmed();
    if (key == QLatin1String("name")) identity.name = value;
    if (key == QLatin1String("id")) identity.id = value;
  }
  if (!ValidStationName(identity.name) || identity.id.isEmpty()) {
    throw ConvertError(
        QStringLiteral("Файл %1: нужны строки «name = ИМЯ» (буквы, цифры, «.», «_», «-») и "
                       "«id = ...»")
            .arg(QLatin1String(kStationFileName)));
  }
  return identity;
}

StationIdentity NewStationIdentity(const QString& name) {
  return {name, QUuid::createUuid().toString(QUuid::WithoutBraces)};
}

void WriteStationIdentity(const QString& dir, const StationIdentity& identity) {
  const QString text =
      QStringLiteral(
          "# The name under which norvel sync stores this working directory's calls, and the id\n"
          "# that tells this directory from any other claiming the same name. Keep both: the\n"
          "# database knows the station by them.\n"
          "name = %1\n"
          "id = %2\n")
          .arg(identity.name, identity.id);
  QString error;
  if (!ReplaceFileDurably(QDir(dir).filePath(QLatin1String(kStationFileName)), text.toUtf8(),
                          &error)) {
    throw IoError(QStringLiteral("Не удается записать файл %1: %2")
                      .arg(QLatin1String(kStationFileName), error));
  }
}

QString DefaultStationName(const QString& dir) {
  QString name = QSysInfo::machineHostName().section(u'.', 0, 0) + u'-' +
                 QFileInfo(QDir(dir).absolutePath()).fileName();
  static const QRegularExpression other(QStringLiteral("[^\\w.-]+"),
                                        QRegularExpression::UseUnicodePropertiesOption);
  name.replace(other, QStringLiteral("-"));
  name = name.left(64);
  return ValidStationName(name) ? name : QStringLiteral("station");
}

void SyncCalls(const SyncOptions& options, SyncResult& result) {
  result = SyncResult();
  // A tariff file with a mistake stops the sync before anything is stored.
  const std::optional<Tariffs> tariffs = LoadTariffs(options.dir);
  result.costs = tariffs.has_value();
  Connection c(options.target);
  CheckSchema(c, options.init);
  result.stationRegistered = CheckStation(c, options.station, options.dir, options.newStation);
  for (int month = 1; month <= 12; ++month) {
    const std::optional<SyncedFile> synced = SyncMonth(c, options, month, tariffs);
    if (!synced) {
      if (QFile::exists(QDir(options.dir).filePath(DataFileName(month)))) ++result.unchanged;
      continue;
    }
    result.added += synced->added;
    result.removed += synced->removed;
    result.files.push_back(*synced);
  }
}
