// The month as a spreadsheet: CSV read back by a real CSV reader, quoting, the byte order mark,
// and totals against sums made here.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QProcess>
#include <QStandardPaths>
#include <map>
#include <random>

#include "FakeHost.h"
#include "cli/XlsxExport.h"
#include "core/base/Errors.h"
#include "core/files/CallExport.h"
#include "core/files/DataFiles.h"

namespace {

std::vector<CallRecord> Month(int count) {
  std::mt19937 random(12);
  std::vector<CallRecord> records;
  for (int i = 0; i < count; ++i) {
    CallRecord r;
    r.StartTime =
        MakeDateTime(QDate(2026, 12, 1 + static_cast<int>(random() % 28)),
                     QTime(static_cast<int>(random() % 24), static_cast<int>(random() % 60)));
    r.Subscriber = static_cast<quint8>(20 + random() % 24);
    r.Duration = random() % 7 == 0 ? -1 : static_cast<qint32>(random() % 90);
    r.CityLine = static_cast<quint8>(random() % 9);
    r.CallType = static_cast<quint8>(random() % 4);
    r.DialledNumber = QStringLiteral("0%1 ").arg(random() % 100000);
    records.push_back(r);
  }
  records.front().DialledNumber = QStringLiteral("*#12");
  return records;
}

struct Export : ::testing::Test {
  FakeHost host;
  std::vector<CallRecord> records = Month(300);

  void SetUp() override {
    std::vector<CallRecord> copy = records;
    AppendCallRecords(host.env.workDir, copy);
    records.clear();
    LoadCallRecords(host.env.workDir, 12, 0, 0, records);  // in file order
  }
  QByteArray Run(ExportOptions options) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ExportCalls(host.env.workDir, options, out);
    return out.data();
  }
  // The rows as Python's csv module reads them, fields joined by \x1f.
  QStringList PythonRows(const QByteArray& csv) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) return {};
    host.WriteFile(QStringLiteral("export.csv"), csv);
    QProcess reader;
    reader.start(python, {"-c",
                          "import csv,sys\n"
                          "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                          "  for row in csv.reader(f):\n"
                          "    sys.stdout.write('\\x1f'.join(row) + '\\n')\n",
                          host.Path(QStringLiteral("export.csv"))});
    EXPECT_TRUE(reader.waitForFinished(20000));
    return QString::fromUtf8(reader.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
  }
};

// The export as it was first written, through the loader and Qt's date formatting, with the
// chosen year and the trimmed filler blank: the fast exporter must give the same bytes.
QByteArray ReferenceExport(const QString& dir, const ExportOptions& options) {
  std::vector<CallRecord> all;
  LoadCallRecords(dir, options.month, options.day,
                  options.subscriber == 0 ? 0 : options.subscriber - 19, all);
  int year = options.year;
  if (year == 0) {
    std::vector<CallRecord> month;
    LoadCallRecords(dir, options.month, 0, 0, month);
    for (const CallRecord& r : month) year = std::max(year, r.StartTime.date().year());
  }
  const bool csv = options.format == ExportOptions::Format::kCsv;
  const QString separator = csv ? QStringLiteral(",") : QStringLiteral("\t");
  const auto line = [&](const QStringList& fields, int textField = -1) {
    QStringList out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
      QString field = fields[i];
      if (!csv) field.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' ');
      out << (csv ? CsvField(field, i == textField) : field);
    }
    // CSV lines end as spreadsheets expect, TSV lines as scripts read them.
    return (out.join(separator) + (csv ? QStringLiteral("\r\n") : QStringLiteral("\n"))).toUtf8();
  };
  QByteArray bytes = csv ? QByteArray("\xEF\xBB\xBF") : QByteArray();
  std::map<int, ExportTotals> bySubscriber;
  ExportTotals total;
  if (!options.totals) {
    bytes +=
        line({"date", "time", "subscriber", "duration_min", "city_line", "call_type", "number"});
  }
  for (const CallRecord& r : all) {
    if (r.StartTime.date().year() != year) continue;
    QString number = r.DialledNumber;
    while (number.endsWith(u' ')) number.chop(1);
    if (options.totals) {
      ExportRow row;
      row.subscriber = r.Subscriber;
      row.duration = r.Duration;
      row.cityLine = r.CityLine;
      bySubscriber[r.Subscriber].Add(row);
      total.Add(row);
      continue;
    }
    bytes +=
        line({r.StartTime.date().toString(Qt::ISODate),
              r.StartTime.time().toString(QStringLiteral("HH:mm")), QString::number(r.Subscriber),
              r.Duration < 0 ? QString() : QString::number(r.Duration), QString::number(r.CityLine),
              QString::number(r.CallType), number},
             6);
  }
  if (options.totals) {
    QStringList heading = {"subscriber", "calls",       "unknown_duration",
                           "minutes",    "longest_min", "no_city_line"};
    for (int i = 1; i <= 8; ++i) heading << QStringLiteral("city_line_%1").arg(i);
    bytes += line(heading);
    const auto fields = [](const QString& who, const ExportTotals& t) {
      QStringList f = {who, QString::number(t.calls), QString::number(t.unknownDuration),
                       QString::number(t.minutes), QString::number(t.longest)};
      for (const qint64 count : t.perLine) f << QString::number(count);
      return f;
    };
    for (const auto& [subscriber, t] : bySubscriber) {
      bytes += line(fields(QString::number(subscriber), t));
    }
    bytes += line(fields(QStringLiteral("total"), total));
  }
  return bytes;
}

}  // namespace

TEST_F(Export, ACsvReaderGetsEveryCallRowForRow) {
  const QByteArray csv = Run(ExportOptions::Of(12, 0, 0, ExportOptions::Format::kCsv, false));
  EXPECT_TRUE(
      csv.startsWith("\xEF\xBB\xBF"
                     "date,time,subscriber,duration_min,city_line,"));
  const QStringList rows = PythonRows(csv);
  if (rows.isEmpty()) GTEST_SKIP() << "no python3 here";
  ASSERT_EQ(rows.size(), static_cast<qsizetype>(records.size()) + 1);
  for (size_t i = 0; i < records.size(); ++i) {
    const CallRecord& r = records[i];
    const QStringList expected = {r.StartTime.date().toString(Qt::ISODate),
                                  r.StartTime.time().toString(QStringLiteral("HH:mm")),
                                  QString::number(r.Subscriber),
                                  r.Duration < 0 ? QString() : QString::number(r.Duration),
                                  QString::number(r.CityLine),
                                  QString::number(r.CallType),
                                  r.DialledNumber.trimmed()};
    EXPECT_EQ(rows[static_cast<qsizetype>(i) + 1], expected.join(QChar(0x1f))) << i;
  }
}

TEST_F(Export, NumbersWithCommasAndQuotesSurvive) {
  host.WriteFile(DataFileName(5), "heading\r\n07.05.2026 09:05\t20\t1\t1\t0\t12,\"3\r\n");
  const QByteArray csv = Run(ExportOptions::Of(5, 0, 0, ExportOptions::Format::kCsv, false));
  EXPECT_TRUE(csv.endsWith(",\"12,\"\"3\"\r\n")) << csv.toStdString();
  const QStringList rows = PythonRows(csv);
  if (rows.isEmpty()) GTEST_SKIP() << "no python3 here";
  ASSERT_EQ(rows.size(), 2);
  EXPECT_TRUE(
      rows[1].endsWith(QStringLiteral("\x1f"
                                      "12,\"3")));
  EXPECT_EQ(CsvField(QStringLiteral("a\nb")), QStringLiteral("\"a\nb\""));
  EXPECT_EQ(CsvField(QStringLiteral("plain")), QStringLiteral("plain"));
}

TEST_F(Export, TotalsMatchSumsMadeIndependently) {
  struct Sum {
    int calls = 0, unknown = 0, minutes = 0, longest = 0;
    std::array<int, 9> lines{};
  };
  std::map<int, Sum> sums;
  Sum all;
  for (const CallRecord& r : records) {
    for (Sum* sum : {&sums[r.Subscriber], &all}) {
      ++sum->calls;
      if (r.Duration < 0) {
        ++sum->unknown;
      } else {
        sum->minutes += r.Duration;
        sum->longest = std::max(sum->longest, r.Duration);
      }
      ++sum->lines[r.CityLine];
    }
  }
  const auto row = [](const QString& who, const Sum& sum) {
    QStringList fields = {who, QString::number(sum.calls), QString::number(sum.unknown),
                          QString::number(sum.minutes), QString::number(sum.longest)};
    for (int count : sum.lines) fields << QString::number(count);
    return fields.join(u'\t');
  };
  QStringList expected = {QStringLiteral(
      "subscriber\tcalls\tunknown_duration\tminutes\tlongest_min\tno_city_line\tcity_line_1\t"
      "city_line_2\tcity_line_3\tcity_line_4\tcity_line_5\tcity_line_6\tcity_line_7\t"
      "city_line_8")};
  for (const auto& [subscriber, sum] : sums) expected << row(QString::number(subscriber), sum);
  expected << row(QStringLiteral("total"), all);
  const QByteArray tsv = Run(ExportOptions::Of(12, 0, 0, ExportOptions::Format::kTsv, true));
  EXPECT_EQ(QString::fromUtf8(tsv).split(u'\n', Qt::SkipEmptyParts), expected);
}

TEST_F(Export, DayAndSubscriberFilterAsTheViewerDoes) {
  std::vector<CallRecord> expected;
  LoadCallRecords(host.env.workDir, 12, 5, 3, expected);  // subscriber 22 on the 5th
  const QByteArray tsv = Run(ExportOptions::Of(12, 5, 22, ExportOptions::Format::kTsv, false));
  EXPECT_EQ(tsv.count('\n'), static_cast<qsizetype>(expected.size()) + 1);
  EXPECT_FALSE(tsv.contains('\r'));
}

// Months in every form the loader reads (two-digit years, seconds, one-digit days, blanks,
// Cyrillic and odd characters in the number, several years, LF or CR LF) export to exactly the
// bytes the straightforward exporter gives, with every filter and format. A last line without
// its line end is left out, as the sync leaves it, and its number kept for the warning.
TEST_F(Export, TheFastExporterGivesTheReferenceBytes) {
  std::mt19937 random(7);
  QByteArray month = "заголовок\r\n";
  const char* forms[] = {"%02d.12.%04d %d:%02d", "%d.12.%02d %02d:%02d", "%02d.12.%04d %d:%02d:07",
                         " %02d.12.%04d %d:%02d"};
  for (int i = 0; i < 2000; ++i) {
    const int form = static_cast<int>(random() % 4);
    const int year =
        form == 1 ? 24 + static_cast<int>(random() % 3) : 2024 + static_cast<int>(random() % 3);
    char start[40];
    std::snprintf(start, sizeof start, forms[form], 1 + static_cast<int>(random() % 31), year,
                  static_cast<int>(random() % 24), static_cast<int>(random() % 60));
    QByteArray number = QByteArray::number(static_cast<int>(random() % 1000000));
    switch (random() % 6) {
      case 0:
        number += ' ';
        break;
      case 1:
        number = "0\xC0\xE1,\"" + number;
        break;  // Cyrillic, a comma and a quote
      case 2:
        number += "\t7 ";
        break;
      case 3:
        number = QByteArray(25, '9');
        break;
      default:
        break;
    }
    const QByteArray duration =
        random() % 9 == 0 ? QByteArray("-1") : QByteArray::number(static_cast<int>(random() % 90));
    month += QByteArray(start) + '\t' + QByteArray::number(20 + static_cast<int>(random() % 24)) +
             '\t' + duration + '\t' + QByteArray::number(static_cast<int>(random() % 9)) + '\t' +
             QByteArray::number(static_cast<int>(random() % 4)) + '\t' + number +
             (random() % 2 ? "\r\n" : "\n");
  }
  std::vector<std::pair<ExportOptions, QByteArray>> expected;
  host.WriteFile(DataFileName(12), month);
  for (const auto format : {ExportOptions::Format::kCsv, ExportOptions::Format::kTsv}) {
    for (const bool totals : {false, true}) {
      for (const int year : {0, 2024, 2025}) {
        for (const auto& [day, subscriber] : {std::pair{0, 0}, {5, 0}, {0, 31}, {7, 22}}) {
          const ExportOptions options =
              ExportOptions::Of(12, day, subscriber, format, totals, year);
          expected.emplace_back(options, ReferenceExport(host.env.workDir, options));
        }
      }
    }
  }
  host.WriteFile(DataFileName(12), month + "01.12.2027 0:00\t20\t5\t1\t0\t777");
  for (const auto& [options, reference] : expected) {
    EXPECT_EQ(Run(options), reference)
        << "day " << options.day << " subscriber " << options.subscriber << " year " << options.year
        << (options.totals ? " totals" : "");
  }
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  ExportSelection selection;
  ExportCalls(host.env.workDir, ExportOptions::Of(12, 0, 0, ExportOptions::Format::kTsv, true), out,
              &selection);
  EXPECT_EQ(selection.unfinishedLine, 2002);
}

TEST_F(Export, OnlyTheChosenYearIsExportedAndTheRestCounted) {
  host.WriteFile(DataFileName(12),
                 "h\r\n05.12.2025 9:00\t20\t3\t1\t0\t1\r\n05.12.2026 9:00\t21\t4\t1\t0\t2\r\n"
                 "06.12.2025 9:00\t20\t5\t1\t0\t3\r\n");
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  ExportSelection selection;
  EXPECT_EQ(
      ExportCalls(host.env.workDir, ExportOptions::Of(12, 0, 0, ExportOptions::Format::kTsv, true),
                  out, &selection),
      1);
  EXPECT_EQ(selection.year, 2026);
  EXPECT_EQ(selection.leftOut, 2);
  EXPECT_TRUE(out.data().contains("\ntotal\t1\t0\t4\t4\t"));
  out.buffer().clear();
  out.seek(0);
  EXPECT_EQ(ExportCalls(host.env.workDir,
                        ExportOptions::Of(12, 0, 0, ExportOptions::Format::kTsv, true, 2025), out,
                        &selection),
            2);
  EXPECT_EQ(selection.leftOut, 1);
  EXPECT_TRUE(out.data().contains("\ntotal\t2\t0\t8\t5\t"));
}

TEST_F(Export, ADamagedLineIsNamedWithItsNumberAndText) {
  host.WriteFile(DataFileName(3), "h\r\n05.03.2026 9:00\t20\t3\t1\t0\t1\r\n\x01gar\\bage\t1\r\n");
  try {
    Run(ExportOptions::Of(3, 0, 0, ExportOptions::Format::kCsv, false));
    FAIL() << "the damaged line was exported";
  } catch (const ConvertError& error) {
    EXPECT_EQ(error.Message(), QStringLiteral("Data 3.txt, строка 3: «\\x01gar\\\\bage\\x091» — "
                                              "не разговор (неверные дата и время)"));
  }
}

// The spreadsheet file read back by a real reader (openpyxl): the number stays text with its
// leading zeros, the date is a date, the time a time of day, the counts numbers.
TEST_F(Export, ASpreadsheetReaderGetsTextNumbersAndRealDates) {
  const QString python = QStringLiteral("/usr/bin/python3");
  QProcess probe;
  probe.start(python, {"-c", "import openpyxl"});
  if (!probe.waitForFinished(20000) || probe.exitCode() != 0) {
    GTEST_SKIP() << "no openpyxl here";
  }
  host.WriteFile(
      DataFileName(5),
      "h\r\n07.05.2026 09:05\t20\t1\t1\t0\t0012345 \r\n07.05.2026 23:59\t21\t-1\t0\t2\t*#"
      "\xC0\r\n07.05.2025 10:00\t22\t4\t1\t0\t1\r\n");
  const QString path = host.Path(QStringLiteral("may.xlsx"));
  ExportSelection selection;
  EXPECT_EQ(ExportCallsXlsx(host.env.workDir,
                            ExportOptions::Of(5, 0, 0, ExportOptions::Format::kCsv, false), path,
                            &selection),
            2);
  EXPECT_EQ(selection.leftOut, 1);
  const QString totalsPath = host.Path(QStringLiteral("totals.xlsx"));
  ExportCallsXlsx(host.env.workDir, ExportOptions::Of(5, 0, 0, ExportOptions::Format::kCsv, true),
                  totalsPath);
  QProcess reader;
  reader.start(python, {"-c",
                        "import openpyxl,sys\n"
                        "for path in sys.argv[1:]:\n"
                        "  sheet = openpyxl.load_workbook(path, read_only=True).active\n"
                        "  for row in sheet.iter_rows(values_only=True):\n"
                        "    print('|'.join(type(v).__name__ + ':' + str(v) for v in row))\n",
                        path, totalsPath});
  ASSERT_TRUE(reader.waitForFinished(30000));
  const QStringList rows = QString::fromUtf8(reader.readAllStandardOutput()).split(u'\n');
  ASSERT_GE(rows.size(), 8) << reader.readAllStandardError().toStdString();
  EXPECT_EQ(rows[0], QStringLiteral("str:date|str:time|str:subscriber|str:duration_min|"
                                    "str:city_line|str:call_type|str:number"));
  EXPECT_EQ(rows[1], QStringLiteral("datetime:2026-05-07 00:00:00|time:09:05:00|int:20|int:1|"
                                    "int:1|int:0|str:0012345"));
  EXPECT_EQ(rows[2], QStringLiteral("datetime:2026-05-07 00:00:00|time:23:59:00|int:21|"
                                    "NoneType:None|int:0|int:2|str:*#А"));
  EXPECT_TRUE(rows[3].startsWith(QStringLiteral("str:subscriber|str:calls|")));
  EXPECT_EQ(rows[4], QStringLiteral("int:20|int:1|int:0|int:1|int:1|int:0|int:1|int:0|int:0|"
                                    "int:0|int:0|int:0|int:0|int:0"));
  EXPECT_TRUE(rows[6].startsWith(QStringLiteral("str:total|int:2|int:1|int:1|int:1|")));
}

// Values no station gives are read as they stand and counted; a long damaged line is echoed
// only in part, with its length.
TEST_F(Export, OutOfRangeValuesAreCountedAndALongDamagedLineIsCut) {
  host.WriteFile(DataFileName(12),
                 "h\r\n05.12.2026 9:00\t21\t4\t1\t0\t2\r\n05.12.2026 9:10\t50\t4\t1\t0\t2\r\n"
                 "05.12.2026 9:20\t21\t4\t9\t0\t2\r\n05.12.2026 9:30\t21\t2000\t1\t0\t2\r\n"
                 "05.12.2025 9:40\t99\t4\t1\t0\t2\r\n");
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  ExportSelection selection;
  EXPECT_EQ(
      ExportCalls(host.env.workDir, ExportOptions::Of(12, 0, 0, ExportOptions::Format::kCsv, false),
                  out, &selection),
      4);
  EXPECT_EQ(selection.outOfRange, 3);
  EXPECT_TRUE(OutOfRangeNote(12, 3).startsWith(QStringLiteral("Data12.txt: 3 calls")));

  host.WriteFile(DataFileName(3), "h\r\n" + QByteArray(100000, 'z') + "\r\n");
  try {
    Run(ExportOptions::Of(3, 0, 0, ExportOptions::Format::kCsv, false));
    FAIL() << "the damaged line was exported";
  } catch (const ConvertError& error) {
    EXPECT_LT(error.Message().size(), 400);
    EXPECT_TRUE(error.Message().contains(QStringLiteral("(100000 знаков)")))
        << error.Message().toStdString();
  }
}
