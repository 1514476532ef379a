#include "cli/XlsxExport.h"

#include <xlsxwriter.h>

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/base/Errors.h"
#include "core/costs/Bills.h"
#include "core/files/CallRecords.h"
#include "core/image/ImageLayout.h"

namespace {

// A workbook that is closed (and its file written) exactly once, or discarded on failure.
class Workbook {
 public:
  // `what` names the file in messages: "выгрузку", "счета".
  Workbook(const QString& path, const QString& what) : what_(what) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // rows go to disk as they are written
    options.use_zip64 = LXW_TRUE;
    // The rows' scratch file beside the workbook, on the disk the workbook goes to, so that a
    // full disk is that disk's and is told as the workbook's.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    options.tmpdir = const_cast<char*>(folder.constData());
    errno = 0;
    book_ = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!book_) {
      Fail(errno != 0 ? SystemReason(errno) : QStringLiteral("the workbook cannot be created"));
    }
    sheet_ = workbook_add_worksheet(book_, nullptr);
    date_ = workbook_add_format(book_);
    format_set_num_format(date_, "yyyy-mm-dd");
    time_ = workbook_add_format(book_);
    format_set_num_format(time_, "hh:mm");
    bold_ = workbook_add_format(book_);
    format_set_bold(bold_);
    money_ = workbook_add_format(book_);
    format_set_num_format(money_, "0.00");
  }
  ~Workbook() {
    if (book_) workbook_close(book_);
  }
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;

  void Heading(const QStringList& names) {
    for (qsizetype column = 0; column < names.size(); ++column) {
      Check(worksheet_write_string(sheet_, 0, Column(column), names[column].toUtf8().constData(),
                                   bold_));
    }
    row_ = 1;
  }
  void Date(int column, int year, int month, int day) {
    lxw_datetime moment{year, month, day, 0, 0, 0};
    if (year < 1900) {
      Text(column, QStringLiteral("%1-%2-%3").arg(year).arg(month).arg(day).toUtf8());
      return;
    }
    Check(worksheet_write_datetime(sheet_, row_, Column(column), &moment, date_));
  }
  void Time(int column, int hour, int minute) {
    Check(worksheet_write_number(sheet_, row_, Column(column),
                                 (hour * 60 + minute) / double(kMinutesPerDay), time_));
  }
  void Number(int column, double value) {
    Check(worksheet_write_number(sheet_, row_, Column(column), value, nullptr));
  }
  // An amount of money as a number with two decimals, so that a spreadsheet can sum it.
  void Amount(int column, Money money) {
    Check(worksheet_write_number(sheet_, row_, Column(column), static_cast<double>(money) / 100.0,
                                 money_));
  }
  void Text(int column, const QByteArray& utf8) {
    Check(worksheet_write_string(sheet_, row_, Column(column), utf8.constData(), nullptr));
  }
  void NextRow() {
    // A sheet ends at its 1,048,576th row: said as such, not as an index out of range.
    if (++row_ >= LXW_ROW_MAX) {
      Fail(QStringLiteral("в листе не больше %1 строк; выгрузите в CSV (-o ФАЙЛ.csv)")
               .arg(LXW_ROW_MAX - 1));
    }
  }
  void Close() {
    // The library writes the rows to its scratch file without looking at the result: a full
    // disk there would give a workbook cut short and no error. Its flush tells.
    FILE* rows = sheet_->optimize_tmpfile;
    errno = 0;
    if (rows && (std::fflush(rows) != 0 || std::ferror(rows))) {
      const int error = errno != 0 ? errno : EIO;
      workbook_close(book_);
      book_ = nullptr;
      Fail(SystemReason(error));
    }
    errno = 0;
    const lxw_error error = workbook_close(book_);
    const int system = errno;
    book_ = nullptr;
    if (error != LXW_NO_ERROR) Fail(Reason(error, system));
  }

 private:
  static lxw_col_t Column(qsizetype column) { return static_cast<lxw_col_t>(column); }
  void Check(lxw_error error) {
    if (error != LXW_NO_ERROR) Fail(Reason(error, errno));
  }
  static QString SystemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }
  // The system's words when a file of the workbook failed (the library's own words are a ZIP
  // error's number); the library's for what is its own (a string too long, say).
  static QString Reason(lxw_error error, int system) {
    const bool file = error == LXW_ERROR_CREATING_XLSX_FILE ||
                      error == LXW_ERROR_CREATING_TMPFILE || error == LXW_ERROR_READING_TMPFILE ||
                      (error >= LXW_ERROR_ZIP_FILE_OPERATION && error <= LXW_ERROR_ZIP_CLOSE);
    if (file && system != 0) return SystemReason(system);
    return QString::fromUtf8(lxw_strerror(error));
  }
  [[noreturn]] void Fail(const QString& reason) {
    throw IoError(QStringLiteral("Не удается записать %1: %2").arg(what_, reason));
  }

  QString what_;
  lxw_workbook* book_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  lxw_format* date_ = nullptr;
  lxw_format* time_ = nullptr;
  lxw_format* bold_ = nullptr;
  lxw_format* money_ = nullptr;
  lxw_row_t row_ = 0;
};

void TotalsRow(Workbook& book, const ExportTotals& totals) {
  book.Number(1, static_cast<double>(totals.calls));
  book.Number(2, static_cast<double>(totals.unknownDuration));
  book.Number(3, static_cast<double>(totals.minutes));
  book.Number(4, static_cast<double>(totals.longest));
  for (int line = 0; line <= kMaxCityLines; ++line) {
    book.Number(5 + line, static_cast<double>(totals.perLine[line]));
  }
  book.NextRow();
}

}  // namespace

qint64 ExportCallsXlsx(const QString& dir, const ExportOptions& options, const QString& path,
                       ExportSelection* selection) {
  Workbook book(path, QStringLiteral("выгрузку"));
  book.Heading(options.totals ? ExportHeading(true) : ExportHeading(false) + options.extraHeading);
  qint64 count = 0;
  ExportSelection taken;
  if (!options.totals) {
    ExportOptions::Fields fields;
    taken = ForEachExportRow(dir, options, [&](const ExportRow& row) {
      ++count;
      book.Date(0, row.year, row.month, row.day);
      book.Time(1, row.hour, row.minute);
      book.Number(2, row.subscriber);
      if (row.duration >= 0) book.Number(3, row.duration);
      book.Number(4, row.cityLine);
      book.Number(5, row.callType);
      book.Text(6, row.number);
      if (options.extraFields) {
        int column = 7;
        options.extraFields(row, fields);
        for (const QByteArray& field : fields) {
          bool number = false;
          const double value = field.toDouble(&number);
          if (number) {
            book.Number(column++, value);
          } else {
            book.Text(column++, field);
          }
        }
      }
      book.NextRow();
    });
  } else {
    ExportSums sums;
    taken = SumExportRows(dir, options, sums);
    count = sums.all.calls;
    for (const auto& [subscriber, totals] : sums.bySubscriber) {
      book.Number(0, subscriber);
      TotalsRow(book, totals);
    }
    book.Text(0, "total");
    TotalsRow(book, sums.all);
  }
  book.Close();
  if (selection) *selection = taken;
  return count;
}

void WriteBillsXlsx(const BillBook& book, const QString& path, bool byDepartment) {
  Workbook sheet(path, QStringLiteral("счета"));
  const SubscriberDirectory* directory = book.Directory();
  QStringList heading = {QStringLiteral("subscriber"), QStringLiteral("date"),
                         QStringLiteral("time"),       QStringLiteral("number"),
                         QStringLiteral("zone"),       QStringLiteral("minutes"),
                         QStringLiteral("cost")};
  if (directory) heading << QStringLiteral("name") << QStringLiteral("department");
  sheet.Heading(heading);
  // A subscriber's name and department end each of its rows, as in the CSV bills.
  const auto named = [&](int subscriber) {
    const SubscriberEntry* entry = directory ? directory->Of(subscriber) : nullptr;
    if (!entry) return;
    sheet.Text(7, entry->name.toUtf8());
    if (!entry->department.isEmpty()) sheet.Text(8, entry->department.toUtf8());
  };
  std::vector<QByteArray> zones;
  for (const TariffZone& zone : book.TariffTable().zones) zones.push_back(zone.name.toUtf8());
  // The totals of a subscriber or of all: one row per zone, then the sum of the rows above.
  const auto totals = [&](const auto& who, const SubscriberReport& report) {
    qint64 charged = 0;
    for (const auto& [zone, sum] : report.zones) {
      who();
      sheet.Text(4, "итого: " + zones[static_cast<size_t>(zone)]);
      sheet.Number(5, static_cast<double>(sum.minutes));
      sheet.Amount(6, sum.cost);
      sheet.NextRow();
      charged += sum.minutes;
    }
    who();
    sheet.Text(4, "итого");
    sheet.Number(5, static_cast<double>(charged));
    sheet.Amount(6, report.cost);
    sheet.NextRow();
  };
  for (const int subscriber : book.Order(byDepartment)) {
    const SubscriberReport& report = book.Subscribers().at(subscriber);
    const auto who = [&, number = subscriber] {
      sheet.Number(0, number);
      named(number);
    };
    book.ForEachCall(subscriber, [&](const ReportCall& call) {
      const ExportRow& r = call.row;
      who();
      sheet.Date(1, r.year, r.month, r.day);
      sheet.Time(2, r.hour, r.minute);
      sheet.Text(3, QByteArray(r.number).replace('\0', ""));
      sheet.Text(4, book.ZoneText(call.rated).toUtf8());
      if (call.rated.kind == Rated::Kind::kCharged) {
        sheet.Number(5, call.rated.minutes);
        sheet.Amount(6, call.rated.cost);
      } else if (r.duration >= 0) {
        sheet.Number(5, r.duration);
      }
      sheet.NextRow();
    });
    totals(who, report);
  }
  for (const int subscriber : book.Order(byDepartment)) {
    const SubscriberReport& report = book.Subscribers().at(subscriber);
    qint64 charged = 0;
    for (const auto& entry : report.zones) charged += entry.second.minutes;
    named(subscriber);
    sheet.Text(0, "сводка");
    sheet.Text(4, QStringLiteral("абонент %1").arg(subscriber).toUtf8());
    sheet.Number(5, static_cast<double>(charged));
    sheet.Amount(6, report.cost);
    sheet.NextRow();
  }
  if (byDepartment) {
    for (const auto& [department, report] : book.Departments()) {
      qint64 charged = 0;
      for (const auto& entry : report.zones) charged += entry.second.minutes;
      sheet.Text(0, "отдел");
      sheet.Text(4, department.toUtf8());
      sheet.Number(5, static_cast<double>(charged));
      sheet.Amount(6, report.cost);
      sheet.NextRow();
    }
  }
  totals([&] { sheet.Text(0, "всего"); }, book.All());
  sheet.Close();
}
