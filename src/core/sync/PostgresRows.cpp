// The rows through PostgreSQL's COPY, on the connection Qt opened.
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>

#include "core/files/DecimalText.h"
#include "core/sync/DatabaseConnection.h"
#include "core/sync/RowWriter.h"

namespace {

class PostgresRows : public RowWriter {
 public:
  PostgresRows(DatabaseConnection& c, const QString& station, int month,
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

  DatabaseConnection& c_;
  PGconn* conn_ = nullptr;
  bool copying_ = true;
  QByteArray buffer_;
};

}  // namespace

std::unique_ptr<RowWriter> MakePostgresRows(DatabaseConnection& c, const QString& station,
                                            int month, const std::optional<Tariffs>& tariffs) {
  return std::make_unique<PostgresRows>(c, station, month, tariffs);
}
