#include "core/files/CallExport.h"

#include <QIODevice>
#include <array>
#include <map>

#include "core/base/Errors.h"
#include "core/files/DataFiles.h"

namespace {

constexpr qint64 kFlushSize = 1 << 16;
const QByteArray kUtf8Bom = "\xEF\xBB\xBF";

// Rows written through a buffer that goes out in large pieces.
class RowWriter {
 public:
  RowWriter(QIODevice& out, ExportOptions::Format format) : out_(out), format_(format) {}
  ~RowWriter() = default;

  void Row(const QStringList& fields, const std::vector<bool>& textFields = {}) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
      if (i > 0) buffer_ += format_ == ExportOptions::Format::kCsv ? ',' : '\t';
      const bool text = i < static_cast<qsizetype>(textFields.size()) && textFields[i];
      buffer_ += Field(fields[i], text).toUtf8();
    }
    buffer_ += "\r\n";
    if (buffer_.size() >= kFlushSize) Flush();
  }
  void Raw(const QByteArray& bytes) { buffer_ += bytes; }
  void Flush() {
    if (buffer_.isEmpty()) return;
    if (out_.write(buffer_) != buffer_.size()) {
      throw IoError(QStringLiteral("Не удается записать выгрузку: %1").arg(out_.errorString()));
    }
    buffer_.clear();
  }

 private:
  QString Field(const QString& value, bool text) const {
    if (format_ == ExportOptions::Format::kCsv) return CsvField(value, text);
    // A tab-separated field cannot hold tabs or line breaks.
    QString plain = value;
    plain.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' ');
    return plain;
  }

  QIODevice& out_;
  ExportOptions::Format format_;
  QByteArray buffer_;
};

struct Totals {
  qint64 calls = 0;
  qint64 unknownDuration = 0;
  qint64 minutes = 0;
  qint64 longest = 0;
  std::array<qint64, 9> perLine{};  // index 0: no city line

  void Add(const CallRecord& record) {
    ++calls;
    if (record.Duration < 0) {
      ++unknownDuration;
    } else {
      minutes += record.Duration;
      longest = std::max<qint64>(longest, record.Duration);
    }
    ++perLine[record.CityLine <= 8 ? record.CityLine : 0];
  }
  QStringList Fields(const QString& who) const {
    QStringList fields = {who, QString::number(calls), QString::number(unknownDuration),
                          QString::number(minutes), QString::number(longest)};
    for (qint64 count : perLine) fields << QString::number(count);
    return fields;
  }
};

}  // namespace

QString CsvField(const QString& value, bool alwaysQuote) {
  const bool quote = alwaysQuote || value.contains(u',') || value.contains(u'"') ||
                     value.contains(u'\r') || value.contains(u'\n');
  if (!quote) return value;
  QString quoted = value;
  quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
  return u'"' + quoted + u'"';
}

qint64 ExportCalls(const QString& dir, const ExportOptions& options, QIODevice& out) {
  RowWriter writer(out, options.format);
  // A byte order mark lets spreadsheets read the file as UTF-8.
  if (options.format == ExportOptions::Format::kCsv) writer.Raw(kUtf8Bom);
  const int choice = options.subscriber == 0 ? 0 : options.subscriber - 19;
  qint64 count = 0;
  if (!options.totals) {
    writer.Row({QStringLiteral("date"), QStringLiteral("time"), QStringLiteral("subscriber"),
                QStringLiteral("duration_min"), QStringLiteral("city_line"),
                QStringLiteral("call_type"), QStringLiteral("number")});
    const std::vector<bool> numberIsText = {false, false, false, false, false, false, true};
    ForEachCallRecord(dir, options.month, options.day, choice, [&](CallRecord&& record) {
      ++count;
      writer.Row({record.StartTime.date().toString(Qt::ISODate),
                  record.StartTime.time().toString(QStringLiteral("HH:mm")),
                  QString::number(record.Subscriber),
                  record.Duration < 0 ? QString() : QString::number(record.Duration),
                  QString::number(record.CityLine), QString::number(record.CallType),
                  record.DialledNumber},
                 numberIsText);
    });
  } else {
    std::map<int, Totals> bySubscriber;
    Totals all;
    ForEachCallRecord(dir, options.month, options.day, choice, [&](CallRecord&& record) {
      ++count;
      bySubscriber[record.Subscriber].Add(record);
      all.Add(record);
    });
    QStringList heading = {QStringLiteral("subscriber"),       QStringLiteral("calls"),
                           QStringLiteral("unknown_duration"), QStringLiteral("minutes"),
                           QStringLiteral("longest_min"),      QStringLiteral("no_city_line")};
    for (int line = 1; line <= 8; ++line) heading << QStringLiteral("city_line_%1").arg(line);
    writer.Row(heading);
    for (const auto& [subscriber, totals] : bySubscriber) {
      writer.Row(totals.Fields(QString::number(subscriber)));
    }
    writer.Row(all.Fields(QStringLiteral("total")));
  }
  writer.Flush();
  return count;
}
