#include "core/files/CallExport.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>

#include "core/base/Errors.h"
#include "core/files/CallRecords.h"
#include "core/files/DataFiles.h"
#include "core/files/DateTimeText.h"
#include "core/files/DecimalText.h"
#include "core/files/OutputFile.h"
#include "core/files/RegularFile.h"
#include "core/files/TextFiles.h"
#include "core/image/ImageLayout.h"

namespace {

constexpr qint64 kReadBlock = 1 << 20;
constexpr qint64 kFlushSize = 1 << 16;

// The lines of a month file, read a block at a time; the header line is skipped.
class MonthLines {
 public:
  MonthLines(const QString& dir, int month)
      : name_(DataFileName(month)), file_(QDir(dir).filePath(name_)) {}

  bool Exists() const { return file_.exists(); }
  const QString& Name() const { return name_; }

  // Calls `each(line, number)` for every line after the first, without its line end. A last
  // line without its line end is not a call yet (a reception may be writing it, or it was cut):
  // it is left out, as the sync leaves it, and its number kept for a warning.
  template <class Each>
  void ForEach(Each each) {
    QString problem;
    if (!OpenRegularFile(file_, &problem)) {
      throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name_, problem));
    }
    QByteArray pending;
    int number = 0;
    for (;;) {
      const QByteArray block = file_.read(kReadBlock);
      if (file_.error() != QFileDevice::NoError) Fail();
      const bool atEnd = block.isEmpty();
      pending += block;
      qsizetype start = 0;
      for (;;) {
        const qsizetype end = pending.indexOf('\n', start);
        if (end < 0) {
          if (atEnd && start < pending.size()) unfinished_ = number + 1;
          break;
        }
        qsizetype stop = end;
        if (stop > start && pending[stop - 1] == '\r') --stop;
        ++number;
        if (number > 1) each(QByteArrayView(pending.constData() + start, stop - start), number);
        start = end + 1;
      }
      pending.remove(0, std::min(start, pending.size()));
      if (atEnd) break;
    }
    file_.close();
  }

  // The number of a last line without its line end; 0 when the file ends with one.
  int Unfinished() const { return unfinished_; }

 private:
  [[noreturn]] void Fail() {
    throw IoError(
        QStringLiteral("Не удается прочитать файл %1: %2").arg(name_, file_.errorString()));
  }
  QString name_;
  QFile file_;
  int unfinished_ = 0;
};

// Reads 1 to `count` decimal digits; -1 when there are none.
int Digits(QByteArrayView text, qsizetype& at, int count) {
  int value = 0;
  int read = 0;
  while (at < text.size() && read < count && text[at] >= '0' && text[at] <= '9') {
    value = value * 10 + (text[at] - '0');
    ++at;
    ++read;
  }
  return read == 0 ? -1 : value;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The date and time as the program writes them, "dd.MM.yyyy H:mm"; false for any other form,
// which the full parser then reads.
bool FastStart(QByteArrayView text, ExportRow& row) {
  if (text.size() < 15 || text[2] != '.' || text[5] != '.' || text[10] != ' ') return false;
  qsizetype at = 0;
  row.day = Digits(text, at, 2);
  at = 3;
  row.month = Digits(text, at, 2);
  at = 6;
  row.year = Digits(text, at, 4);
  if (at != 10) return false;
  at = 11;
  row.hour = Digits(text, at, 2);
  if (row.hour < 0 || at >= text.size() || text[at] != ':') return false;
  ++at;
  const qsizetype minuteStart = at;
  row.minute = Digits(text, at, 2);
  if (at != text.size() || at - minuteStart != 2) return false;
  return row.day >= 1 && row.month >= 1 && row.month <= 12 && row.hour <= 23 && row.minute <= 59 &&
         row.year >= 1 && row.day <= DaysInMonth(row.year, row.month);
}

// The dialled number in UTF-8, at most 18 characters as the loader keeps, without the trailing
// filler blank.
QByteArray NumberText(QByteArrayView rest) {
  if (rest.size() > kMaxDialledDigits) rest = rest.first(kMaxDialledDigits);
  while (!rest.isEmpty() && rest.back() == ' ') rest.chop(1);
  for (const char c : rest) {
    if (static_cast<unsigned char>(c) >= 0x80) return DecodeCp1251(rest).toUtf8();
  }
  return rest.toByteArray();
}

// The year of a line's call, read from its date alone where it has the program's own form.
int LineYear(QByteArrayView line, const QString& fileName, int number) {
  const qsizetype tab = line.indexOf('\t');
  ExportRow row;
  if (tab >= 0 && FastStart(line.first(tab), row)) return row.year;
  return ParseMonthLine(line, fileName, number).year;
}

int LatestYear(MonthLines& lines) {
  int year = 0;
  lines.ForEach([&](QByteArrayView line, int number) {
    year = std::max(year, LineYear(line, lines.Name(), number));
  });
  return year;
}

}  // namespace

qint64 LineStartMinute(QByteArrayView line) {
  const qsizetype tab = line.indexOf('\t');
  ExportRow row;
  if (tab < 0 || !FastStart(line.first(tab), row)) {
    try {
      row = ParseMonthLine(line, {}, 0);
    } catch (const NorvelError&) {
      return 0;
    }
  }
  return ((row.year * 100LL + row.month) * 100 + row.day) * 10000 + row.hour * 100 + row.minute;
}

ExportRow ParseMonthLine(QByteArrayView line, const QString& fileName, int number) {
  QByteArrayView fields[5];
  QByteArrayView rest = line;
  for (QByteArrayView& field : fields) {
    const qsizetype tab = rest.indexOf('\t');
    if (tab < 0) continue;  // the field is empty and the line stays as it is
    field = rest.first(tab);
    rest = rest.sliced(tab + 1);
  }
  ExportRow row;
  if (!FastStart(fields[0], row)) {
    // Any other form the loader takes (two-digit years, seconds, blanks) goes the long way.
    const std::optional<QDateTime> start = TextToDateTime(DecodeCp1251(fields[0]));
    if (!start) {
      throw ConvertError(QStringLiteral("%1, строка %2: «%3» — не разговор (неверные дата и время)")
                             .arg(fileName)
                             .arg(number)
                             .arg(EscapedText(DecodeCp1251(line))));
    }
    const QDate date = start->date();
    row.year = date.year();
    row.month = date.month();
    row.day = date.day();
    row.hour = start->time().hour();
    row.minute = start->time().minute();
  }
  row.subscriber = static_cast<quint8>(LeadingNumber(fields[1]));
  row.duration = static_cast<int>(LeadingNumber(fields[2]));
  row.cityLine = static_cast<quint8>(LeadingNumber(fields[3]));
  row.callType = static_cast<quint8>(LeadingNumber(fields[4]));
  row.number = NumberText(rest);
  return row;
}

namespace {

// Rows written into a fixed buffer that goes out in large pieces; a row's digits are put in
// place directly, without building strings.
class RowWriter {
 public:
  RowWriter(QIODevice& out, ExportOptions::Format format)
      : out_(out), csv_(format == ExportOptions::Format::kCsv), separator_(csv_ ? ',' : '\t') {}

  void Raw(const QByteArray& bytes) { Put(bytes.constData(), bytes.size()); }
  void Line(const QStringList& fields) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
      if (i > 0) Put(separator_);
      const QByteArray field = (csv_ ? CsvField(fields[i]) : fields[i]).toUtf8();
      Put(field.constData(), field.size());
    }
    EndLine();
  }
  void Row(const ExportRow& row) {
    // A row's fixed fields take well under 100 bytes and the number at most 18 characters of
    // three UTF-8 bytes each, every one possibly doubled by quoting.
    if (used_ + kLongestRow > kFlushSize) Flush();
    char* p = buffer_ + used_;
    p = Number(p, row.year);
    *p++ = '-';
    p = Two(p, row.month);
    *p++ = '-';
    p = Two(p, row.day);
    *p++ = separator_;
    p = Two(p, row.hour);
    *p++ = ':';
    p = Two(p, row.minute);
    *p++ = separator_;
    p = Number(p, row.subscriber);
    *p++ = separator_;
    if (row.duration >= 0) p = Number(p, row.duration);
    *p++ = separator_;
    p = Number(p, row.cityLine);
    *p++ = separator_;
    p = Number(p, row.callType);
    *p++ = separator_;
    if (csv_) {
      // The number is always quoted, so that it stays text.
      *p++ = '"';
      for (const char c : row.number) {
        if (c == '"') *p++ = '"';
        *p++ = c;
      }
      *p++ = '"';
    } else {
      // A tab-separated field cannot hold tabs or line breaks.
      for (const char c : row.number) *p++ = (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
    }
    used_ = p - buffer_;
    if (extra_) {
      extra_(row, fields_);
      for (const QByteArray& field : fields_) {
        Put(separator_);
        PutField(field);
      }
    }
    EndLine();
  }
  void SetExtra(std::function<void(const ExportRow&, ExportOptions::Fields&)> extra) {
    extra_ = std::move(extra);
  }
  void Flush() {
    if (used_ == 0) return;
    if (!WriteWhole(out_, QByteArrayView(buffer_, used_))) {
      throw IoError(QStringLiteral("Не удается записать выгрузку: %1").arg(out_.errorString()));
    }
    used_ = 0;
  }

 private:
  static constexpr qsizetype kLongestRow = 100 + 2 * 3 * kMaxDialledDigits;

  static char* Number(char* p, qint64 value) { return WriteDecimal(p, value); }
  static char* Two(char* p, int value) { return WriteDigits(p, value, 2); }
  void Put(char c) { Put(&c, 1); }
  void Put(const char* bytes, qsizetype size) {
    while (size > 0) {
      if (used_ == kFlushSize) Flush();
      const qsizetype piece = std::min(size, kFlushSize - used_);
      std::memcpy(buffer_ + used_, bytes, piece);
      used_ += piece;
      bytes += piece;
      size -= piece;
    }
  }
  // A field as CsvField quotes it, written straight from its bytes.
  void PutField(const QByteArray& field) {
    const auto special = [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; };
    if (!csv_ || std::none_of(field.begin(), field.end(), special)) {
      Put(field.constData(), field.size());
      return;
    }
    Put('"');
    for (const char c : field) {
      if (c == '"') Put('"');
      Put(c);
    }
    Put('"');
  }
  // CSV ends its lines as spreadsheets expect, TSV as scripts on Linux read them.
  void EndLine() { csv_ ? Put("\r\n", 2) : Put('\n'); }

  QIODevice& out_;
  bool csv_;
  char separator_;
  std::function<void(const ExportRow&, ExportOptions::Fields&)> extra_;
  ExportOptions::Fields fields_;
  std::unique_ptr<char[]> storage_ = std::make_unique<char[]>(kFlushSize);
  char* buffer_ = storage_.get();
  qsizetype used_ = 0;
};

QStringList TotalsFields(const ExportTotals& totals, const QString& who) {
  QStringList fields = {who, QString::number(totals.calls), QString::number(totals.unknownDuration),
                        QString::number(totals.minutes), QString::number(totals.longest)};
  for (const qint64 count : totals.perLine) fields << QString::number(count);
  return fields;
}

}  // namespace

void ExportTotals::Add(const ExportRow& row) {
  ++calls;
  if (row.duration < 0) {
    ++unknownDuration;
  } else {
    minutes += row.duration;
    longest = std::max<qint64>(longest, row.duration);
  }
  ++perLine[row.cityLine <= kMaxCityLines ? row.cityLine : 0];
}

QString CsvField(const QString& value, bool alwaysQuote) {
  const bool quote = alwaysQuote || value.contains(u',') || value.contains(u'"') ||
                     value.contains(u'\r') || value.contains(u'\n');
  if (!quote) return value;
  QString quoted = value;
  quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
  return u'"' + quoted + u'"';
}

int LatestYear(const QString& dir, int month) {
  MonthLines lines(dir, month);
  return lines.Exists() ? LatestYear(lines) : 0;
}

ExportSelection ForEachExportRow(const QString& dir, const ExportOptions& options,
                                 const std::function<void(const ExportRow&)>& each) {
  ExportSelection selection;
  MonthLines lines(dir, options.month);
  if (!lines.Exists()) return selection;
  // Without a year, the latest one the file holds: a month file gathers that month of every
  // year, and a month is one month of one year.
  selection.year = options.year != 0 ? options.year : LatestYear(lines);
  lines.ForEach([&](QByteArrayView line, int number) {
    const ExportRow row = ParseMonthLine(line, lines.Name(), number);
    if (row.year != selection.year) {
      ++selection.leftOut;
      return;
    }
    if (row.subscriber < kFirstSubscriber || row.subscriber > kLastSubscriber || row.cityLine < 1 ||
        row.cityLine > kMaxCityLines || row.duration > kMinutesPerDay) {
      ++selection.outOfRange;
    }
    if (options.subscriber != 0 && row.subscriber != options.subscriber) return;
    if (options.day != 0 && row.day != options.day) return;
    each(row);
  });
  selection.unfinishedLine = lines.Unfinished();
  return selection;
}

QString UnfinishedLineNote(int month, int line) {
  if (line <= 0) return {};
  return QStringLiteral(
             "%1, line %2: no line end; left out as a call still being written (a reception "
             "ends it)")
      .arg(DataFileName(month))
      .arg(line);
}

QString OutOfRangeNote(int month, qint64 count) {
  if (count <= 0) return {};
  return QStringLiteral(
             "%1: %2 calls with values no station gives (subscriber outside 20..43, city line "
             "outside 1..8 or more than 1440 minutes); read as they stand")
      .arg(DataFileName(month))
      .arg(count);
}

ExportSelection SumExportRows(const QString& dir, const ExportOptions& options, ExportSums& sums) {
  return ForEachExportRow(dir, options, [&](const ExportRow& row) {
    sums.bySubscriber[row.subscriber].Add(row);
    sums.all.Add(row);
  });
}

QStringList ExportHeading(bool totals) {
  if (!totals) {
    return {QStringLiteral("date"),       QStringLiteral("time"),
            QStringLiteral("subscriber"), QStringLiteral("duration_min"),
            QStringLiteral("city_line"),  QStringLiteral("call_type"),
            QStringLiteral("number")};
  }
  QStringList heading = {QStringLiteral("subscriber"),       QStringLiteral("calls"),
                         QStringLiteral("unknown_duration"), QStringLiteral("minutes"),
                         QStringLiteral("longest_min"),      QStringLiteral("no_city_line")};
  for (int line = 1; line <= kMaxCityLines; ++line)
    heading << QStringLiteral("city_line_%1").arg(line);
  return heading;
}

qint64 ExportCalls(const QString& dir, const ExportOptions& options, QIODevice& out,
                   ExportSelection* selection) {
  RowWriter writer(out, options.format);
  // A byte order mark lets spreadsheets read the file as UTF-8.
  if (options.format == ExportOptions::Format::kCsv) writer.Raw(kUtf8Bom);
  qint64 count = 0;
  ExportSelection taken;
  writer.Line(options.totals ? ExportHeading(true) : ExportHeading(false) + options.extraHeading);
  if (!options.totals) {
    writer.SetExtra(options.extraFields);
    taken = ForEachExportRow(dir, options, [&](const ExportRow& row) {
      ++count;
      writer.Row(row);
    });
  } else {
    ExportSums sums;
    taken = SumExportRows(dir, options, sums);
    count = sums.all.calls;
    for (const auto& [subscriber, totals] : sums.bySubscriber) {
      writer.Line(TotalsFields(totals, QString::number(subscriber)));
    }
    writer.Line(TotalsFields(sums.all, QStringLiteral("total")));
  }
  writer.Flush();
  if (selection) *selection = taken;
  return count;
}
