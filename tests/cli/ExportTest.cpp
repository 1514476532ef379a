// The month as a spreadsheet: CSV read back by a real CSV reader, quoting, the byte order mark,
// and totals against sums made here.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QProcess>
#include <QStandardPaths>
#include <map>
#include <random>

#include "FakeHost.h"
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

}  // namespace

TEST_F(Export, ACsvReaderGetsEveryCallRowForRow) {
  const QByteArray csv = Run({12, 0, 0, ExportOptions::Format::kCsv, false});
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
                                  r.DialledNumber};
    EXPECT_EQ(rows[static_cast<qsizetype>(i) + 1], expected.join(QChar(0x1f))) << i;
  }
}

TEST_F(Export, NumbersWithCommasAndQuotesSurvive) {
  host.WriteFile(DataFileName(5), "heading\r\n07.05.2026 09:05\t20\t1\t1\t0\t12,\"3\r\n");
  const QByteArray csv = Run({5, 0, 0, ExportOptions::Format::kCsv, false});
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
  const QByteArray tsv = Run({12, 0, 0, ExportOptions::Format::kTsv, true});
  EXPECT_EQ(QString::fromUtf8(tsv).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts), expected);
}

TEST_F(Export, DayAndSubscriberFilterAsTheViewerDoes) {
  std::vector<CallRecord> expected;
  LoadCallRecords(host.env.workDir, 12, 5, 3, expected);  // subscriber 22 on the 5th
  const QByteArray tsv = Run({12, 5, 22, ExportOptions::Format::kTsv, false});
  EXPECT_EQ(tsv.count("\r\n"), static_cast<qsizetype>(expected.size()) + 1);
}
