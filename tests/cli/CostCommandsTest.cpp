// norvel bill and norvel report as a person runs them, without a display: the bills read back
// by Python's CSV reader, the report's figures read back from the PDF by pdftotext, and the
// tariff file's mistakes stopping both with the line they are on.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "core/base/Clock.h"
#include "core/costs/SubscriberDirectory.h"
#include "core/costs/Tariffs.h"
#include "core/files/CallRecords.h"
#include "core/files/DataFiles.h"
#include "core/files/TextFiles.h"

namespace {

const char kTariffs[] =
    "currency = руб.\n"
    "vat = 20\n"
    "[Город]\n"
    "prefixes = 2\n"
    "setup = 0.50\n"
    "minute = 1.20\n"
    "minimum = 1\n"
    "[Межгород]\n"
    "prefixes = 8\n"
    "minute = 10\n"
    "maximum = 100\n";

CallRecord Record(int day, int hour, int minute, int subscriber, int duration, int line,
                  const char* number) {
  CallRecord r;
  r.StartTime = MakeDateTime(QDate(2026, 12, day), QTime(hour, minute));
  r.Subscriber = static_cast<quint8>(subscriber);
  r.Duration = duration;
  r.CityLine = static_cast<quint8>(line);
  r.CallType = 1;
  r.DialledNumber = QString::fromLatin1(number);
  return r;
}

struct CostCommands : ::testing::Test {
  QTemporaryDir dir;

  void SetUp() override {
    // Tuesday the 1st of December: line 1 from 09:50 to 10:10, line 2 from 09:55 to 10:05,
    // line 3 from 10:30 to 11:00, and a long-distance call on line 4 late in the evening.
    QString text = kDataFileHeader + QStringLiteral("\r\n");
    for (const CallRecord& r :
         {Record(1, 9, 50, 20, 20, 1, "2345678"), Record(1, 9, 55, 21, 10, 2, "2345679"),
          Record(1, 10, 30, 21, 30, 3, "2223344"), Record(1, 22, 15, 22, 12, 4, "84951234567"),
          Record(2, 11, 0, 20, -1, 1, "2345678")}) {
      text += CallRecordToText(r) + QStringLiteral("\r\n");
    }
    Write(DataFileName(12), EncodeCp1251(text));
    Write(QString::fromLatin1(kTariffFileName), kTariffs);
    Write(QStringLiteral("NorvelWin.ini"),
          "30.11.2026 18:00:05 ; Дата/Время\r\n3 ; Номер порта\r\n2 ; К-во плат\r\n");
  }
  void Write(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  struct Result {
    int code;
    QString out;
    QString err;
  };
  // `fileLimitKb` > 0: the command may write files of at most that size, as on a full disk
  // (writes beyond fail with EFBIG; the signal for it is ignored, as a full disk sends none).
  Result Run(const QStringList& arguments, int fileLimitKb = 0) {
    QProcess norvel;
    norvel.setWorkingDirectory(dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));  // the commands need no display
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    norvel.setProcessEnvironment(environment);
    if (fileLimitKb > 0) {
      norvel.start(
          QStringLiteral("bash"),
          QStringList{
              "-c",
              QStringLiteral("trap '' XFSZ; ulimit -f %1; exec \"$0\" \"$@\"").arg(fileLimitKb),
              QStringLiteral(NORVEL_COMMAND)} +
              arguments);
    } else {
      norvel.start(QStringLiteral(NORVEL_COMMAND), arguments);
    }
    EXPECT_TRUE(norvel.waitForFinished(60000));
    return {norvel.exitCode(), QString::fromUtf8(norvel.readAllStandardOutput()),
            QString::fromUtf8(norvel.readAllStandardError())};
  }
  // The PDF's text as pdftotext lays it out, blanks squeezed; empty when there is no pdftotext.
  QString PdfText(const QString& name) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty()) return {};
    QProcess process;
    process.start(tool, {QStringLiteral("-layout"), dir.filePath(name), QStringLiteral("-")});
    EXPECT_TRUE(process.waitForFinished(30000));
    return QString::fromUtf8(process.readAllStandardOutput())
        .replace(QRegularExpression(QStringLiteral("[ \\t]+")), QStringLiteral(" "));
  }
};

}  // namespace

TEST_F(CostCommands, TheReportsFiguresReadBackFromItsPdf) {
  const Result day = Run({"report", "--month", "12", "--day", "1", "-o", "day.pdf"});
  ASSERT_EQ(day.code, 0) << day.err.toStdString();
  const QString text = PdfText(QStringLiteral("day.pdf"));
  if (text.isEmpty()) GTEST_SKIP() << "no pdftotext here";
  // Costs: 0.50 + 20 × 1.20 = 24.50; 0.50 + 10 × 1.20 = 12.50; 0.50 + 30 × 1.20 = 36.50; the
  // long-distance call 12 × 10 = 120 capped at 100.
  for (const char* expected : {
           "Отчет о разговорах",
           "декабрь 2026, 1 число",
           "Разговоров 4",
           "Минут 72",
           "Стоимость 173,50 руб.",
           "в том числе НДС 20 % 28,92 руб.",
           "Нагрузка городских линий",
           "Станция записывает только тарифицируемые разговоры",
           "Час наибольшей нагрузки 10:00–11:00",
           "Нагрузка в этот час, не менее 0.75 Эрл",
           "Наибольшее число занятых линий 2",
           "Городских линий в станции 4",
           "Линий для потерь не более 1 %, не менее 4",
           "Самые длинные разговоры",
           "01.12.2026 10:30 21 2223344 Город 30 36,50",
           "Самые дорогие разговоры",
           "01.12.2026 22:15 22 84951234567 Межгород 12 100,00",
           "Абонент 21",
       }) {
    EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
  }

  // The whole month holds the call of unknown length as well, and PNG pages come one per file.
  const Result month = Run({"report", "--month=12", "-o", "month.png"});
  ASSERT_EQ(month.code, 0) << month.err.toStdString();
  EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("month.png"))));
  EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("month-2.png"))));
}

// A month's report sets the month before beside it when its month file holds that month; one
// that cannot be read costs only the comparison.
TEST_F(CostCommands, TheReportComparesWithTheMonthBefore) {
  QString november = kDataFileHeader + QStringLiteral("\r\n");
  for (const int day : {3, 4}) {
    CallRecord r = Record(1, 10, 0, 20, 5, 1, "2345678");
    r.StartTime = MakeDateTime(QDate(2026, 11, day), QTime(10, 0));
    november += CallRecordToText(r) + QStringLiteral("\r\n");
  }
  Write(DataFileName(11), EncodeCp1251(november));
  Write(QString::fromLatin1(kSubscriberFileName), "20 = Иванов Иван; Бухгалтерия\n");
  ASSERT_EQ(Run({"report", "--month", "12", "-o", "compared.pdf"}).code, 0);
  const QString text = PdfText(QStringLiteral("compared.pdf"));
  if (text.isEmpty()) GTEST_SKIP() << "no pdftotext here";
  EXPECT_TRUE(text.contains(QStringLiteral("Итоги декабрь 2026 ноябрь 2026 Изменение")))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Разговоров 5 2 +150,0 %")));
  EXPECT_TRUE(text.contains(QStringLiteral("Минут 72 10 +620,0 %")));
  EXPECT_TRUE(text.contains(QStringLiteral("Стоимость 173,50 руб. 13,00 руб. +1234,6 %")));
  // Each department's cost beside the month before's.
  EXPECT_TRUE(text.contains(QStringLiteral("Отдел Разговоров Минут Стоимость ноябрь 2026")));
  EXPECT_TRUE(text.contains(QStringLiteral("Бухгалтерия 2 20 24,50 руб. 13,00 руб.")));
  EXPECT_TRUE(text.contains(QStringLiteral("без отдела 3 52 149,00 руб. —")));

  Write(DataFileName(11), "damaged\r\nnot a call\r\n");
  const Result damaged = Run({"report", "--month", "12", "-o", "alone.pdf"});
  EXPECT_EQ(damaged.code, 0) << damaged.err.toStdString();
  EXPECT_FALSE(PdfText(QStringLiteral("alone.pdf")).contains(QStringLiteral("ноябрь 2026")));
}

// A subscriber directory names the subscribers in exports, bills and the report, and groups
// bills and the report by department.
TEST_F(CostCommands, NamesAndDepartmentsFromTheSubscriberDirectory) {
  Write(QString::fromLatin1(kSubscriberFileName),
        "# who is who\n20 = Иванов Иван; Бухгалтерия; 100-01\n21 = Петрова Анна; Бухгалтерия\n"
        "22 = Склад \"Север\"\n");
  const Result exported = Run({"export", "--month", "12"});
  ASSERT_EQ(exported.code, 0) << exported.err.toStdString();
  const QStringList lines = exported.out.split(QStringLiteral("\r\n"));
  EXPECT_TRUE(lines.value(0).endsWith(QStringLiteral(",name,department,cost_centre")))
      << lines.value(0).toStdString();
  EXPECT_TRUE(lines.value(1).endsWith(QStringLiteral(",Иванов Иван,Бухгалтерия,100-01")))
      << lines.value(1).toStdString();
  // A name with quotes is one quoted field, its quotes doubled; TSV keeps it as it is.
  EXPECT_TRUE(exported.out.contains(QStringLiteral(",\"Склад \"\"Север\"\"\",,\r\n")))
      << exported.out.toStdString();
  const Result tsv = Run({"export", "--month", "12", "--format", "tsv"});
  EXPECT_TRUE(tsv.out.contains(QStringLiteral("\tСклад \"Север\"\t\t\n"))) << tsv.out.toStdString();

  const Result bills = Run({"bill", "--month", "12", "--by", "department"});
  ASSERT_EQ(bills.code, 0) << bills.err.toStdString();
  const QStringList rows = bills.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  EXPECT_TRUE(rows.contains(QStringLiteral("21,,,,итого,40,49.00,Петрова Анна,Бухгалтерия")));
  EXPECT_TRUE(rows.contains(QStringLiteral("отдел,,,,Бухгалтерия,60,73.50,,")));
  EXPECT_TRUE(rows.contains(QStringLiteral("отдел,,,,без отдела,12,100.00,,")));
  EXPECT_EQ(Run({"bill", "--month", "12", "--by", "colour"}).code, 2);

  ASSERT_EQ(Run({"bill", "--month", "12", "--by", "department", "-o", "by.pdf"}).code, 0);
  const QString printed = PdfText(QStringLiteral("by.pdf"));
  if (printed.isEmpty()) GTEST_SKIP() << "no pdftotext here";
  EXPECT_TRUE(printed.contains(QStringLiteral("Иванов Иван · Бухгалтерия · центр затрат 100-01")));
  EXPECT_TRUE(printed.contains(QStringLiteral("Бухгалтерия 3 60 73,50 руб.")))
      << printed.toStdString();
  EXPECT_TRUE(printed.contains(QStringLiteral("без отдела 1 12 100,00 руб.")));

  ASSERT_EQ(Run({"report", "--month", "12", "-o", "named.pdf"}).code, 0);
  const QString report = PdfText(QStringLiteral("named.pdf"));
  EXPECT_TRUE(report.contains(QStringLiteral("Абонент 20 — Иванов Иван (Бухгалтерия)")));
  EXPECT_TRUE(report.contains(QStringLiteral("Бухгалтерия 4 60 73,50 руб.")))
      << report.toStdString();
}

// Every call outside working hours is in the printed report: the first under the lists, the
// rest in an appendix, however many there are.
TEST_F(CostCommands, TheReportListsEveryCallOutsideWorkingHours) {
  QString text = kDataFileHeader + QStringLiteral("\r\n");
  for (int i = 0; i < 150; ++i) {
    const QByteArray number = QByteArray::number(7'000'000 + i);
    text += CallRecordToText(Record(5 + 7 * (i % 3), 10, i % 60, 20 + i % 4, 2, 1,
                                    number.constData())) +  // Saturdays
            QStringLiteral("\r\n");
  }
  Write(DataFileName(12), EncodeCp1251(text));
  const Result report = Run({"report", "--month", "12", "-o", "outside.pdf"});
  ASSERT_EQ(report.code, 0) << report.err.toStdString();
  const QString pages = PdfText(QStringLiteral("outside.pdf"));
  if (pages.isEmpty()) GTEST_SKIP() << "no pdftotext here";
  EXPECT_TRUE(pages.contains(QStringLiteral("Приложение: все разговоры вне рабочего времени")));
  EXPECT_TRUE(pages.contains(QStringLiteral("и еще 130 — в приложении")));
  for (int i = 0; i < 150; ++i) {
    EXPECT_TRUE(pages.contains(QString::number(7'000'000 + i))) << 7'000'000 + i;
  }
}

// The report's page of suspicious calls: every finding of the month with its calls and the
// count by rule; a rules file with a mistake costs that page only.
TEST_F(CostCommands, TheReportHasAPageOfSuspiciousCalls) {
  QString text = kDataFileHeader + QStringLiteral("\r\n");
  text += CallRecordToText(Record(5, 3, 15, 31, 12, 2, "81044207946000")) + QStringLiteral("\r\n");
  for (int i = 0; i < 12; ++i) {
    text += CallRecordToText(Record(8, 10, i / 4, 33, 1, 3, "2345678")) + QStringLiteral("\r\n");
  }
  Write(DataFileName(12), EncodeCp1251(text));
  Write(QStringLiteral("NorvelAlerts.txt"),
        "[Заграница]\nlevel = тревога\nprefixes = 810\nwhen = days_off\n"
        "[Автодозвон]\nburst = 10 calls in 5 minutes\n");
  ASSERT_EQ(Run({"report", "--month", "12", "-o", "alerts.pdf"}).code, 0);
  const QString pages = PdfText(QStringLiteral("alerts.pdf"));
  if (pages.isEmpty()) GTEST_SKIP() << "no pdftotext here";
  EXPECT_TRUE(pages.contains(QStringLiteral("Подозрительные вызовы: 2")));
  EXPECT_TRUE(pages.contains(QStringLiteral("Правила из файла NorvelAlerts.txt.")));
  EXPECT_TRUE(pages.contains(QStringLiteral("тревога · Заграница")));
  EXPECT_TRUE(pages.contains(QStringLiteral("05.12.2026 3:15 31 12 2 1 81044207946000")));
  EXPECT_TRUE(pages.contains(QStringLiteral("абонент 33: 12 выз. с 2026-12-08 10:00 по 10:02")));
  EXPECT_TRUE(pages.contains(QStringLiteral("и еще 7")));

  Write(QStringLiteral("NorvelAlerts.txt"), "[Заграница]\nlevel = очень\n");
  ASSERT_EQ(Run({"report", "--month", "12", "-o", "alerts.pdf"}).code, 0);
  EXPECT_TRUE(
      PdfText(QStringLiteral("alerts.pdf"))
          .contains(QStringLiteral("Правила не проверены: Файл NorvelAlerts.txt, строка 2")));
}

TEST_F(CostCommands, BillsAreReadByASpreadsheetsCsvReader) {
  const Result bill = Run({"bill", "--month", "12", "-o", "bills.csv"});
  ASSERT_EQ(bill.code, 0) << bill.err.toStdString();
  const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
  if (python.isEmpty()) GTEST_SKIP() << "no python3 here";
  QProcess reader;
  reader.start(python, {"-c",
                        "import csv,sys\n"
                        "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                        "  for row in csv.reader(f):\n"
                        "    print('|'.join(row))\n",
                        dir.filePath(QStringLiteral("bills.csv"))});
  ASSERT_TRUE(reader.waitForFinished(20000));
  const QStringList rows =
      QString::fromUtf8(reader.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
  EXPECT_EQ(rows.value(0), QStringLiteral("subscriber|date|time|number|zone|minutes|cost"));
  EXPECT_TRUE(rows.contains(QStringLiteral("20|2026-12-01|09:50|2345678|Город|20|24.50")));
  EXPECT_TRUE(
      rows.contains(QStringLiteral("20|2026-12-02|11:00|2345678|длительность неизвестна||")));
  EXPECT_TRUE(rows.contains(QStringLiteral("21||||итого|40|49.00")));
  EXPECT_TRUE(rows.contains(QStringLiteral("сводка||||абонент 22|12|100.00")));
  EXPECT_EQ(rows.value(rows.size() - 1), QStringLiteral("всего||||итого|72|173.50"));

  // The same bills as a spreadsheet file: the same rows, the amounts numbers with two decimals.
  const Result xlsx = Run({"bill", "--month", "12", "-o", "bills.xlsx"});
  ASSERT_EQ(xlsx.code, 0) << xlsx.err.toStdString();
  // Debian's own Python, which has the reader (python3-openpyxl).
  QProcess sheet;
  sheet.start(QStringLiteral("/usr/bin/python3"),
              {"-c",
               "import openpyxl,sys,datetime\n"
               "def text(cell):\n"
               "  v = cell.value\n"
               "  if v is None: return ''\n"
               "  if isinstance(v, datetime.datetime): return v.strftime('%Y-%m-%d')\n"
               "  if isinstance(v, datetime.time): return v.strftime('%H:%M')\n"
               "  if cell.column == 7 and cell.row > 1:\n"
               "    assert cell.number_format == '0.00' and isinstance(v, (int, float)), v\n"
               "    return '%.2f' % v\n"
               "  return str(v)\n"
               "for row in openpyxl.load_workbook(sys.argv[1]).active.iter_rows():\n"
               "  print('|'.join(text(c) for c in row))\n",
               dir.filePath(QStringLiteral("bills.xlsx"))});
  ASSERT_TRUE(sheet.waitForFinished(30000));
  EXPECT_EQ(QString::fromUtf8(sheet.readAllStandardOutput()).toStdString(),
            (rows.join(u'\n') + u'\n').toStdString())
      << sheet.readAllStandardError().toStdString();

  // One subscriber's bill as a PDF.
  const Result pdf = Run({"bill", "--month", "12", "--subscriber", "21", "-o", "21.pdf"});
  ASSERT_EQ(pdf.code, 0) << pdf.err.toStdString();
  const QString text = PdfText(QStringLiteral("21.pdf"));
  if (text.isEmpty()) GTEST_SKIP() << "no pdftotext here";
  EXPECT_TRUE(text.contains(QStringLiteral("Счет абонента 21")));
  EXPECT_FALSE(text.contains(QStringLiteral("Счет абонента 20")));
  EXPECT_TRUE(text.contains(QStringLiteral("2223344"))) << text.toStdString();
}

TEST_F(CostCommands, ATariffFileWithAMistakeStopsBothAndNoFileIsLeft) {
  Write(QString::fromLatin1(kTariffFileName), "[Город]\nprefixes = 2\nminute = 1,2,0\n");
  const Result bill = Run({"bill", "--month", "12", "-o", "bills.csv"});
  EXPECT_EQ(bill.code, 13);
  EXPECT_TRUE(bill.err.contains(
      QStringLiteral("Файл NorvelTariffs.txt, строка 3: «minute»: неверная сумма «1,2,0»")))
      << bill.err.toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("bills.csv"))));
  const Result report = Run({"report", "--month", "12", "-o", "report.pdf"});
  EXPECT_EQ(report.code, 13);
  EXPECT_TRUE(report.err.contains(QStringLiteral("строка 3")));
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("report.pdf"))));

  // Without a tariff file a bill cannot be made, and the report is made without costs.
  QFile::remove(dir.filePath(QString::fromLatin1(kTariffFileName)));
  const Result noBill = Run({"bill", "--month", "12", "-o", "bills.csv"});
  EXPECT_EQ(noBill.code, 13);
  EXPECT_TRUE(noBill.err.contains(QString::fromLatin1(kTariffFileName)))
      << noBill.err.toStdString();
  const Result noCosts = Run({"report", "--month", "12", "-o", "report.pdf"});
  ASSERT_EQ(noCosts.code, 0) << noCosts.err.toStdString();
  const QString text = PdfText(QStringLiteral("report.pdf"));
  if (text.isEmpty()) GTEST_SKIP() << "no pdftotext here";
  EXPECT_TRUE(text.contains(QStringLiteral("Стоимость не рассчитана")));
  EXPECT_TRUE(text.contains(QStringLiteral("Разговоров 5")));
}

// A month without its month file (a reception that failed), or whose file holds no calls of
// the month chosen, gives no zero bill, report or all-clear: each says so and ends as for a
// file that cannot be read.
// A call the tariff file does not charge keeps its own minutes in the bill, 0 among them, and
// no cost.
TEST_F(CostCommands, AnUnchargedCallShowsItsMinutesAndNoCost) {
  QFile month(dir.filePath(DataFileName(12)));
  ASSERT_TRUE(month.open(QIODevice::Append));
  month.write(
      EncodeCp1251(CallRecordToText(Record(3, 12, 0, 22, 0, 1, "555")) + QStringLiteral("\r\n")));
  month.close();
  const Result bill = Run({"bill", "--month", "12"});
  ASSERT_EQ(bill.code, 0) << bill.err.toStdString();
  EXPECT_TRUE(bill.out.contains(QStringLiteral("22,2026-12-03,12:00,\"555\",нет зоны,0,\r\n")))
      << bill.out.toStdString();
}

TEST_F(CostCommands, NoBillOrReportForAMonthWithoutItsFile) {
  const struct {
    const char* name;
    QStringList arguments;
    const char* output;
    const char* said;
  } rows[] = {
      {"bill as CSV",
       {"bill", "--month", "6", "-o", "bills.csv"},
       "bills.csv",
       "нет файла Data 6.txt в "},
      {"bill on standard output", {"bill", "--month", "6"}, nullptr, "нет файла Data 6.txt в "},
      {"report",
       {"report", "--month", "6", "-o", "report.pdf"},
       "report.pdf",
       "нет файла Data 6.txt в "},
      {"alerts", {"alerts", "--month", "6"}, nullptr, "нет файла Data 6.txt в "},
      {"bill of another year",
       {"bill", "--month", "12", "--year", "2020", "-o", "bills.csv"},
       "bills.csv",
       "в файле Data12.txt нет разговоров за декабрь 2020: счет не составлен"},
      {"report of another year",
       {"report", "--month", "12", "--year", "2020", "-o", "r.pdf"},
       "r.pdf",
       "в файле Data12.txt нет разговоров за декабрь 2020: отчет не составлен"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Result result = Run(row.arguments);
    EXPECT_EQ(result.code, 13);
    EXPECT_TRUE(result.err.contains(QString::fromUtf8(row.said))) << result.err.toStdString();
    EXPECT_TRUE(result.out.isEmpty());
    if (row.output) {
      EXPECT_FALSE(QFile::exists(dir.filePath(QString::fromLatin1(row.output))));
    }
  }
}

// A last line without its line end (a reception writing it, or a file cut) is left out by every
// command that reads the month, as the sync leaves it, and each says which line.
TEST_F(CostCommands, AHalfLastLineIsLeftOutAndToldByEveryReader) {
  QFile month(dir.filePath(DataFileName(12)));
  ASSERT_TRUE(month.open(QIODevice::Append));
  month.write("03.12.2026 9:00\t2");
  month.close();
  const char said[] = "Data12.txt, line 7: no line end";
  for (const QStringList& arguments :
       {QStringList{"export", "--month", "12", "--totals"},
        QStringList{"bill", "--month", "12", "-o", "bills.csv"},
        QStringList{"report", "--month", "12", "-o", "report.pdf"},
        QStringList{"sync", "--db", "sqlite:calls.db", "--init", "--station", "office"}}) {
    SCOPED_TRACE(arguments.join(u' ').toStdString());
    const Result result = Run(arguments);
    EXPECT_EQ(result.code, 0) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String(said))) << result.err.toStdString();
  }
  EXPECT_TRUE(Run({"export", "--month", "12", "--totals"}).out.contains(u"\ntotal,5,1,"));
}

// Every -o is made beside its final name and put in place only when complete: where the disk
// fills up midway, the old file (or the old set of pages) stays whole, nothing unfinished is
// left, and the reason is the system's.
TEST_F(CostCommands, AnOutputReplacesTheOldOneOnlyWhenComplete) {
  // Many alike calls: the workbook's rows outgrow the limit in its scratch file while the
  // compressed workbook would still fit.
  QString text = kDataFileHeader + QStringLiteral("\r\n");
  for (int i = 0; i < 2000; ++i) {
    text += CallRecordToText(Record(1 + i % 28, 8 + i % 10, i % 60, 20 + i % 12, 1 + i % 30,
                                    1 + i % 4, "2345678")) +
            QStringLiteral("\r\n");
  }
  Write(DataFileName(12), EncodeCp1251(text));
  const struct {
    QStringList command;
    int limitKb;
  } outputs[] = {
      {{"report", "--month", "12", "-o", "report.pdf"}, 4},
      {{"report", "--month", "12", "-o", "page.png"}, 4},
      {{"bill", "--month", "12", "-o", "bills.pdf"}, 4},
      {{"bill", "--month", "12", "-o", "bills.csv"}, 4},
      {{"bill", "--month", "12", "-o", "bills.xlsx"}, 4},
      {{"export", "--month", "12", "-o", "calls.csv"}, 4},
      {{"export", "--month", "12", "-o", "calls.xlsx"}, 4},
      // Room for the compressed workbook, not for its rows in the scratch file.
      {{"export", "--month", "12", "-o", "calls.xlsx"}, 24},
      {{"bill", "--month", "12", "-o", "bills.xlsx"}, 48},
  };
  for (const auto& [command, limitKb] : outputs) {
    const QString name = command.last();
    const bool pages = name.endsWith(QStringLiteral(".png"));
    const QStringList old = pages
                                ? QStringList{"page.png", "page-2.png", "page-3.png", "page-99.png"}
                                : QStringList{name};
    for (const QString& file : old) Write(file, "old");
    const Result full = Run(command, limitKb);
    EXPECT_EQ(full.code, 13) << name.toStdString() << ": " << full.err.toStdString();
    EXPECT_FALSE(full.err.contains(QStringLiteral("Unknown error"))) << full.err.toStdString();
    // The file the user asked for is named, whatever part of the work ran out of room, with
    // the system's reason.
    EXPECT_TRUE(
        full.err.contains(QStringLiteral("Не удается записать файл %1: File too large").arg(name)))
        << full.err.toStdString();
    for (const QString& file : old) {
      QFile kept(dir.filePath(file));
      ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << file.toStdString();
      EXPECT_EQ(kept.readAll(), QByteArray("old")) << file.toStdString();
    }
    const QStringList left =
        QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& entry : left) {
      EXPECT_FALSE(entry.startsWith(u'.')) << "left behind: " << entry.toStdString();
    }
    const Result room = Run(command);
    EXPECT_EQ(room.code, 0) << name.toStdString() << ": " << room.err.toStdString();
    EXPECT_GT(QFileInfo(dir.filePath(name)).size(), 3) << name.toStdString();
    if (pages) {
      EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("page-99.png"))));
    }
  }
}

// The printed bills read back with pdftotext: every "Итого" is the sum of the rows above it,
// each page names the month and year, and the last page sums every subscriber to the grand
// total the CSV gives.
TEST_F(CostCommands, ThePrintedBillsAddUpNameTheirMonthAndEndWithASummary) {
  const Result pdf = Run({"bill", "--month", "12", "-o", "bills.pdf"});
  ASSERT_EQ(pdf.code, 0) << pdf.err.toStdString();
  const QString text = PdfText(QStringLiteral("bills.pdf"));
  if (text.isEmpty()) GTEST_SKIP() << "no pdftotext here";
  // Rows of the totals tables: a name, calls, charged minutes and a cost in the currency.
  static const QRegularExpression row(
      QStringLiteral("^\\s*(\\S.*?)\\s+(\\d+)\\s+(\\d+)\\s+(\\d+(?:[ \\x{00A0}]\\d{3})*),(\\d\\d) "
                     "руб\\.\\s*$"));
  qint64 calls = 0;
  qint64 minutes = 0;
  qint64 cost = 0;
  int totals = 0;
  QString grand;
  for (const QString& line : text.split(u'\n')) {
    const QRegularExpressionMatch match = row.match(line);
    if (!match.hasMatch()) continue;
    const qint64 rowCost =
        match.captured(4).remove(QRegularExpression(QStringLiteral("[ \\x{00A0}]"))).toLongLong() *
            100 +
        match.captured(5).toLongLong();
    if (match.captured(1) == QStringLiteral("Итого")) {
      ++totals;
      EXPECT_EQ(match.captured(2).toLongLong(), calls) << line.toStdString();
      EXPECT_EQ(match.captured(3).toLongLong(), minutes) << line.toStdString();
      EXPECT_EQ(rowCost, cost) << line.toStdString();
      grand = QStringLiteral("%1|%2.%3")
                  .arg(minutes)
                  .arg(cost / 100)
                  .arg(cost % 100, 2, 10, QLatin1Char('0'));
      calls = minutes = cost = 0;
    } else {
      calls += match.captured(2).toLongLong();
      minutes += match.captured(3).toLongLong();
      cost += rowCost;
    }
  }
  EXPECT_EQ(totals, 4) << text.toStdString();  // three subscribers and the summary
  EXPECT_TRUE(text.contains(QStringLiteral("Счет абонента 20 за декабрь 2026")));
  EXPECT_TRUE(text.contains(QStringLiteral("Сводка по абонентам за декабрь 2026")));
  // The tax within each subscriber's total and within the grand total.
  EXPECT_TRUE(text.contains(QStringLiteral("В том числе НДС 20 %: 4,08 руб.")))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("В том числе НДС 20 %: 28,92 руб.")));
  EXPECT_GE(text.count(QStringLiteral("декабрь 2026 · тарифы: Norvel")), 4);  // in every footer
  // The summary's total is the CSV's grand total: charged minutes and cost.
  EXPECT_EQ(grand, QStringLiteral("72|173.50"));
}
