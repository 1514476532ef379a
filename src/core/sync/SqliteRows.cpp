// The rows through SQLite's own prepared statement, on the connection Qt opened.
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include "core/sync/DatabaseConnection.h"
#include "core/sync/RowWriter.h"
#include "core/sync/SqlDialect.h"

namespace {

const char kInsertHead[] =
    "INSERT INTO calls (station, month_file, record, occurrence, start, subscriber, "
    "duration_min, city_line, call_type, number, zone, charged_min, cost_hundredths, "
    "subscriber_name, department) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?) ";

class SqliteRows : public RowWriter {
 public:
  SqliteRows(DatabaseConnection& c, const QString& station, int month,
             const std::optional<Tariffs>& tariffs, const SubscriberDirectory* directory,
             bool rerate)
      : RowWriter(station, month, tariffs, directory, rerate), c_(c) {
    const QVariant handle = c.Db().driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0 || !handle.data()) {
      throw DatabaseError(QStringLiteral("Драйвер SQLite не дает доступа к базе"), true);
    }
    db_ = *static_cast<sqlite3* const*>(handle.data());
    const QByteArray sql =
        QByteArray(kInsertHead) +
        (rerate ? "ON CONFLICT (station, start, record, occurrence) DO UPDATE SET zone = "
                  "excluded.zone, charged_min = excluded.charged_min, cost_hundredths = "
                  "excluded.cost_hundredths, subscriber_name = excluded.subscriber_name, "
                  "department = excluded.department"
                : "ON CONFLICT DO NOTHING");
    if (sqlite3_prepare_v2(db_, sql.constData(), static_cast<int>(sql.size()), &statement_,
                           nullptr) != SQLITE_OK) {
      Fail();
    }
  }
  ~SqliteRows() override { sqlite3_finalize(statement_); }

  void Add(const ExportRow& row, const QByteArray& record, int occurrence) override {
    const CallFields fields = Fields(row);
    sqlite3_bind_text(statement_, 1, station_.constData(), static_cast<int>(station_.size()),
                      SQLITE_STATIC);
    sqlite3_bind_int(statement_, 2, month_);
    sqlite3_bind_text(statement_, 3, record.constData(), static_cast<int>(record.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_int(statement_, 4, occurrence);
    sqlite3_bind_text(statement_, 5, fields.start, 19, SQLITE_TRANSIENT);
    sqlite3_bind_int(statement_, 6, row.subscriber);
    if (row.duration >= 0) {
      sqlite3_bind_int(statement_, 7, row.duration);
    } else {
      sqlite3_bind_null(statement_, 7);
    }
    sqlite3_bind_int(statement_, 8, row.cityLine);
    sqlite3_bind_int(statement_, 9, row.callType);
    const QByteArray number = QByteArray(row.number).replace('\0', "");
    sqlite3_bind_text(statement_, 10, number.constData(), static_cast<int>(number.size()),
                      SQLITE_TRANSIENT);
    if (fields.zone) {
      sqlite3_bind_text(statement_, 11, fields.zone->constData(),
                        static_cast<int>(fields.zone->size()), SQLITE_STATIC);
      sqlite3_bind_int(statement_, 12, fields.chargedMinutes);
      sqlite3_bind_int64(statement_, 13, fields.cost);
    } else {
      for (int column = 11; column <= 13; ++column) sqlite3_bind_null(statement_, column);
    }
    int column = 14;
    for (const QByteArray* text : {fields.name, fields.department}) {
      if (text) {
        sqlite3_bind_text(statement_, column, text->constData(), static_cast<int>(text->size()),
                          SQLITE_STATIC);
      } else {
        sqlite3_bind_null(statement_, column);
      }
      ++column;
    }
    if (sqlite3_step(statement_) != SQLITE_DONE) Fail();
    sqlite3_reset(statement_);
    ++given_;
    added_ += sqlite3_changes(db_);  // 0 for a call the table holds already (unless re-rated)
  }
  void Finish() override {}

 private:
  [[noreturn]] void Fail() {
    throw DatabaseError(
        QStringLiteral("База %1: %2").arg(c_.Describe(), QString::fromUtf8(sqlite3_errmsg(db_))),
        true);
  }

  DatabaseConnection& c_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace

// SQLite has no type for a moment: a start is kept as the station's clock text, with the zone
// in `stations`.
class SqliteDialect : public SqlDialect {
 public:
  QString ClockText(const QString& expression, bool seconds) const override {
    return QStringLiteral("substr(%1, 1, %2)").arg(expression).arg(seconds ? 19 : 16);
  }
  QString Schema(const QString& statement, bool callsTable) const override {
    // The calls are kept in the order of their key, in one tree with the rows, rather than a
    // tree of rows and another of keys.
    return callsTable ? statement + QLatin1String(" WITHOUT ROWID") : statement;
  }
  bool IndexesStarts() const override { return false; }
  QString TableCountQuery() const override {
    return QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
  }
  void UseZone(DatabaseConnection&, const QString&, bool) const override {}
  void StartsBecomeMoments(DatabaseConnection&) const override {}
  std::unique_ptr<RowWriter> Rows(DatabaseConnection& c, const QString& station, int month,
                                  const std::optional<Tariffs>& tariffs,
                                  const SubscriberDirectory* directory, bool rerate,
                                  bool /*fresh*/) const override {
    // One prepared insert that leaves out what the table holds costs no more for a fresh file.
    return MakeSqliteRows(c, station, month, tariffs, directory, rerate);
  }
};

std::unique_ptr<SqlDialect> MakeSqliteDialect() {
  return std::make_unique<SqliteDialect>();
}

std::unique_ptr<RowWriter> MakeSqliteRows(DatabaseConnection& c, const QString& station, int month,
                                          const std::optional<Tariffs>& tariffs,
                                          const SubscriberDirectory* directory, bool rerate) {
  return std::make_unique<SqliteRows>(c, station, month, tariffs, directory, rerate);
}
