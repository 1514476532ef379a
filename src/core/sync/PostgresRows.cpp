// The rows through PostgreSQL's COPY, on the connection Qt opened.
#include <QSqlDriver>
#include <QVariant>

#include "core/files/DecimalText.h"
#include "core/sync/DatabaseConnection.h"
#include "core/sync/LibPq.h"
#include "core/sync/RowWriter.h"
#include "core/sync/SqlDialect.h"

namespace {

class PostgresRows : public RowWriter {
 public:
  PostgresRows(DatabaseConnection& c, const QString& station, int month,
               const std::optional<Tariffs>& tariffs, const SubscriberDirectory* directory,
               bool rerate, bool fresh)
      : RowWriter(station, month, tariffs, directory, rerate), c_(c), fresh_(fresh && !rerate) {
    const QVariant handle = c.Db().driver()->handle();
    // Qt names the type after the struct behind libpq's typedef.
    if ((qstrcmp(handle.typeName(), "PGconn*") != 0 &&
         qstrcmp(handle.typeName(), "pg_conn*") != 0) ||
        !handle.data()) {
      throw DatabaseError(QStringLiteral("Драйвер PostgreSQL не дает доступа к базе"), true);
    }
    conn_ = *static_cast<PGconn* const*>(handle.data());
    if (!pq_) throw DatabaseError(QStringLiteral("Не удается загрузить библиотеку libpq"), false);
    // The rows of a file synced before go to a table of this transaction first, and from there
    // into calls, leaving out those it holds already (COPY itself cannot). A fresh file's rows
    // go straight into calls: one pass instead of two.
    if (!fresh_) {
      PGresult* made =
          pq_->exec(conn_, "CREATE TEMP TABLE norvel_incoming (LIKE calls) ON COMMIT DROP");
      const bool temporary = pq_->resultStatus(made) == PGRES_COMMAND_OK;
      pq_->clear(made);
      if (!temporary) Fail();
    }
    const QByteArray sql =
        QByteArray("COPY ") + (fresh_ ? "calls" : "norvel_incoming") +
        " (station, month_file, record, occurrence, start, subscriber, "
        "duration_min, city_line, call_type, number, zone, charged_min, cost_hundredths, "
        "subscriber_name, department) FROM STDIN";
    PGresult* result = pq_->exec(conn_, sql.constData());
    const bool copying = pq_->resultStatus(result) == PGRES_COPY_IN;
    pq_->clear(result);
    if (!copying) Fail();
    buffer_.reserve(kSendSize + 1024);
  }
  ~PostgresRows() override {
    // A write that failed midway ends its COPY, so that the connection can roll back.
    if (copying_ && pq_->status(conn_) == CONNECTION_OK) {
      pq_->putCopyEnd(conn_, "sync stopped");
      while (PGresult* result = pq_->getResult(conn_)) pq_->clear(result);
    }
  }

  void Add(const ExportRow& row, const QByteArray& record, int occurrence) override {
    const CallFields fields = Fields(row);
    Text(station_);
    buffer_ += '\t';
    Number(month_);
    buffer_ += '\t';
    Text(record);
    buffer_ += '\t';
    Number(occurrence);
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
    } else {
      buffer_ += "\t\\N\t\\N\t\\N";
    }
    for (const QByteArray* text : {fields.name, fields.department}) {
      buffer_ += '\t';
      if (text) {
        Text(*text);
      } else {
        buffer_ += "\\N";
      }
    }
    buffer_ += '\n';
    ++given_;
    if (buffer_.size() >= kSendSize) Send();
  }
  void Finish() override {
    Send();
    copying_ = false;
    if (pq_->putCopyEnd(conn_, nullptr) != 1) Fail();
    PGresult* result = pq_->getResult(conn_);
    const bool done = pq_->resultStatus(result) == PGRES_COMMAND_OK;
    if (done && fresh_) added_ = QByteArray(pq_->cmdTuples(result)).toLongLong();
    const QString error = QString::fromUtf8(pq_->resultErrorMessage(result));
    pq_->clear(result);
    while (PGresult* more = pq_->getResult(conn_)) pq_->clear(more);
    if (!done) Fail(error);
    if (fresh_) return;
    PGresult* moved = pq_->exec(
        conn_, rerate_ ? "INSERT INTO calls SELECT * FROM norvel_incoming ON CONFLICT (station, "
                         "start, record, occurrence) DO UPDATE SET zone = EXCLUDED.zone, "
                         "charged_min = EXCLUDED.charged_min, cost_hundredths = "
                         "EXCLUDED.cost_hundredths, subscriber_name = EXCLUDED.subscriber_name, "
                         "department = EXCLUDED.department"
                       : "INSERT INTO calls SELECT * FROM norvel_incoming ON CONFLICT DO NOTHING");
    const bool inserted = pq_->resultStatus(moved) == PGRES_COMMAND_OK;
    if (inserted) added_ = QByteArray(pq_->cmdTuples(moved)).toLongLong();
    const QString words = QString::fromUtf8(pq_->resultErrorMessage(moved));
    pq_->clear(moved);
    if (!inserted) Fail(words);
    // Another month of the same transaction makes its own.
    PGresult* dropped = pq_->exec(conn_, "DROP TABLE norvel_incoming");
    const bool gone = pq_->resultStatus(dropped) == PGRES_COMMAND_OK;
    pq_->clear(dropped);
    if (!gone) Fail();
  }

 private:
  static constexpr qsizetype kSendSize = 1 << 18;

  void Send() {
    if (buffer_.isEmpty()) return;
    if (pq_->putCopyData(conn_, buffer_.constData(), static_cast<int>(buffer_.size())) != 1) Fail();
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
    const QString text = error.isEmpty() ? QString::fromUtf8(pq_->errorMessage(conn_)) : error;
    throw DatabaseError(QStringLiteral("База %1: %2").arg(c_.Describe(), text.trimmed()),
                        pq_->status(conn_) == CONNECTION_OK);
  }

  DatabaseConnection& c_;
  const LibPq* pq_ = LoadLibPq();
  PGconn* conn_ = nullptr;
  const bool fresh_;
  bool copying_ = true;
  QByteArray buffer_;
};

}  // namespace

// PostgreSQL keeps a start as a moment (timestamptz), read and written in the station's zone,
// which the session is set to.
class PostgresDialect : public SqlDialect {
 public:
  QString ClockText(const QString& expression, bool seconds) const override {
    return QStringLiteral("to_char(%1, '%2')")
        .arg(expression, seconds ? QLatin1String("YYYY-MM-DD HH24:MI:SS")
                                 : QLatin1String("YYYY-MM-DD HH24:MI"));
  }
  QString Schema(const QString& statement, bool) const override {
    QString sql = statement;
    sql.replace(QLatin1String(" start TIMESTAMP"), QLatin1String(" start TIMESTAMPTZ"));
    sql.replace(QLatin1String(" before_start TIMESTAMP"),
                QLatin1String(" before_start TIMESTAMPTZ"));
    sql.replace(QLatin1String(" state BLOB"), QLatin1String(" state BYTEA"));
    return sql;
  }
  bool IndexesStarts() const override { return true; }
  QString TableCountQuery() const override {
    return QStringLiteral(
        "SELECT COUNT(*) FROM information_schema.tables WHERE "
        "table_schema = current_schema() AND table_name = ?");
  }
  void UseZone(DatabaseConnection& c, const QString& zone, bool transactionOnly) const override {
    QSqlQuery set =
        c.Prepare(QStringLiteral("SELECT set_config('TimeZone', ?, %1)")
                      .arg(transactionOnly ? QLatin1String("true") : QLatin1String("false")));
    set.addBindValue(zone);
    c.Run(set);
  }
  void StartsBecomeMoments(DatabaseConnection& c) const override {
    c.Exec(QStringLiteral("ALTER TABLE calls ALTER COLUMN start TYPE TIMESTAMPTZ"));
    c.Exec(QStringLiteral("ALTER TABLE prunes ALTER COLUMN before_start TYPE TIMESTAMPTZ"));
  }
  std::unique_ptr<RowWriter> Rows(DatabaseConnection& c, const QString& station, int month,
                                  const std::optional<Tariffs>& tariffs,
                                  const SubscriberDirectory* directory, bool rerate,
                                  bool fresh) const override {
    return MakePostgresRows(c, station, month, tariffs, directory, rerate, fresh);
  }
};

std::unique_ptr<SqlDialect> MakePostgresDialect() {
  return std::make_unique<PostgresDialect>();
}

std::unique_ptr<RowWriter> MakePostgresRows(DatabaseConnection& c, const QString& station,
                                            int month, const std::optional<Tariffs>& tariffs,
                                            const SubscriberDirectory* directory, bool rerate,
                                            bool fresh) {
  return std::make_unique<PostgresRows>(c, station, month, tariffs, directory, rerate, fresh);
}
