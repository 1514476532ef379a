#include <QProcess>
#include <QStandardPaths>

#include "TariffFixture.h"
#include "core/files/TextFiles.h"
#include "ui/tariff/PrinterOutput.h"

namespace {

const QString kQuestion = QStringLiteral(
    "Вывод данных в промежуточный файл PrintFile.txt (да) или непосредственно на принтер (нет)?");
const QString kPrinted = QStringLiteral("Файл печати сформирован");
const QString kFailed = QStringLiteral("Ошибка печати");

struct PrintTest : ::testing::Test {
  FakeHost host;
  FakePrinters printers;
  RecordViewer viewer{host.env, printers};
  std::vector<bool> cursor;  // the viewer's hourglass, as it was switched

  void SetUp() override {
    viewer.onPrinting = [this](bool busy) { cursor.push_back(busy); };
  }
  void Load(const std::vector<CallRecord>& records) {
    WriteMonth(host, 12, records);
    ASSERT_TRUE(viewer.LoadRecords(12, 0, 0));
  }
  // Runs a print to the file and gives the file's lines.
  QStringList PrintToFile(bool grouped) {
    host.ui.ExpectYesNo(kQuestion, false, true).ExpectInfo(kPrinted, false);
    grouped ? viewer.Print2ButtonClick() : viewer.Print1ButtonClick();
    const QByteArray bytes = host.ReadFile(kPrintFileName);
    EXPECT_TRUE(bytes.isEmpty() || bytes.endsWith("\r\n"));
    QString text = DecodeCp1251(bytes);
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    return lines;
  }
};

const std::vector<CallRecord> kCalls = {
    Rec(1, 8, 0, 20, 5, 1, "111"), Rec(1, 9, 0, 21, 3, 2, "222"), Rec(2, 8, 0, 20, 5, 1, "333"),
    Rec(2, 9, 0, 22, -1, 0, "444"), Rec(3, 8, 0, 21, 3, 1, "555")};

}  // namespace

TEST_F(PrintTest, Print1WritesTheHeadingAndTheShownText) {
  Load(kCalls);
  QStringList expected = {kDataFileHeader};
  expected << LinesOf(kCalls);
  EXPECT_EQ(PrintToFile(false), expected);
  EXPECT_EQ(host.ReadFile(kPrintFileName).left(2), QByteArray("  "));
  EXPECT_EQ(cursor, (std::vector<bool>{true, false}));
}

TEST_F(PrintTest, Print1OfAnEmptyListWritesTheHeadingOnly) {
  Load(kCalls);
  host.ui.AnswerInput(QStringLiteral("9"));
  viewer.SelectPhoneButtonClick();
  EXPECT_EQ(PrintToFile(false), QStringList{kDataFileHeader});
  // Print 2 of an empty list writes nothing and still reports.
  viewer.SortAbonentButtonClick();
  host.ui.AnswerInput(QStringLiteral("9"));
  viewer.SelectPhoneButtonClick();
  EXPECT_TRUE(PrintToFile(true).isEmpty());
  EXPECT_EQ(host.ReadFile(kPrintFileName).size(), 0);
}

TEST_F(PrintTest, Print2GroupsByTheKeyOfTheLastSort) {
  Load(kCalls);
  viewer.SortDurationButtonClick();
  const QStringList sorted = ShownLines(viewer);  // 5, 5, 3, 3, -1
  EXPECT_EQ(PrintToFile(true), (QStringList{kDataFileHeader, sorted[0], sorted[1], QString(),
                                            QString(), kDataFileHeader, sorted[2], sorted[3],
                                            QString(), QString(), kDataFileHeader, sorted[4]}));

  viewer.SortAbonentButtonClick();
  const QStringList bySubscriber = ShownLines(viewer);  // 20, 20, 21, 21, 22
  EXPECT_EQ(PrintToFile(true).count(kDataFileHeader), 3);

  // A selection shown after the sort prints in groups as well.
  host.ui.AnswerInput(QStringLiteral("5"));
  viewer.SelectDurationButtonClick();
  EXPECT_EQ(PrintToFile(true), (QStringList{kDataFileHeader, bySubscriber[0], bySubscriber[1]}));
}

TEST_F(PrintTest, Print2OfOneKeyIsOneGroup) {
  Load({Rec(1, 8, 0, 20, -1, 1, "1"), Rec(2, 8, 0, 21, -1, 2, "2"), Rec(3, 8, 0, 22, -1, 0, "3")});
  viewer.SortDurationButtonClick();
  QStringList expected = {kDataFileHeader};
  expected << ShownLines(viewer);
  EXPECT_EQ(PrintToFile(true), expected);
}

TEST_F(PrintTest, Print2BeforeAnySortIsPrint1AndAsksOnce) {
  Load(kCalls);
  const QStringList print1 = PrintToFile(false);
  EXPECT_EQ(PrintToFile(true), print1);
}

TEST_F(PrintTest, EachPrintReplacesTheFile) {
  Load(kCalls);
  PrintToFile(false);
  host.ui.AnswerInput(QStringLiteral("111"));
  viewer.SelectPhoneButtonClick();
  EXPECT_EQ(PrintToFile(false).size(), 2);
}

TEST_F(PrintTest, ToThePrinterTheLinesGoInOrder) {
  Load(kCalls);
  host.ui.ExpectYesNo(kQuestion, false, false).ExpectInfo(kPrinted, false);
  viewer.Print1ButtonClick();
  QStringList expected = {kDataFileHeader};
  expected << LinesOf(kCalls);
  EXPECT_EQ(printers.printed, expected);
  EXPECT_TRUE(printers.closed);
  EXPECT_FALSE(host.Exists(kPrintFileName));
}

TEST_F(PrintTest, FailuresSayErrorAndPutTheCursorBack) {
  Load(kCalls);
  printers.available = false;  // no printer configured
  host.ui.ExpectYesNo(kQuestion, false, false).ExpectInfo(kFailed, true);
  viewer.Print1ButtonClick();
  EXPECT_EQ(cursor, (std::vector<bool>{true, false}));

  // A shown line that does not read back as a record stops Print 2.
  std::vector<CallRecord> odd = kCalls;
  odd.back().DialledNumber = QStringLiteral("55\r");
  viewer.SortDurationButtonClick();
  Load(odd);
  viewer.SortAbonentButtonClick();
  host.ui.ExpectYesNo(kQuestion, false, true).ExpectInfo(kFailed, true);
  viewer.Print2ButtonClick();
}

TEST(PrinterOutput, APdfFileGetsTheLinesInOrderOnAsManyPagesAsNeeded) {
  const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext is not installed";
  QTemporaryDir dir;
  const QString pdf = dir.filePath(QStringLiteral("print.pdf"));
  QtPrinterOutputFactory factory(pdf);
  auto out = factory.CreatePrinterOutput();
  ASSERT_TRUE(out->Open());
  ASSERT_TRUE(out->WriteLine(kDataFileHeader));
  for (int i = 0; i < 150; ++i) {
    ASSERT_TRUE(out->WriteLine(QStringLiteral("01.12.2026 9:%1\t20\t%2\t1\t0\t8495")
                                   .arg(i % 60, 2, 10, QLatin1Char('0'))
                                   .arg(i)));
  }
  ASSERT_TRUE(out->Close());

  QProcess process;
  process.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  ASSERT_TRUE(process.waitForFinished(20000));
  const QString text = QString::fromUtf8(process.readAllStandardOutput());
  const QStringList pages = text.split(u'\f', Qt::SkipEmptyParts);
  EXPECT_GE(pages.size(), 2);
  EXPECT_TRUE(pages[0].contains(QStringLiteral("Дата   Время Абон.")));
  // Every line is there, in order.
  qsizetype at = 0;
  for (int i = 0; i < 150; ++i) {
    const QString line = QStringLiteral("01.12.2026 9:%1").arg(i % 60, 2, 10, QLatin1Char('0'));
    const QString tail = QStringLiteral(" %1 ").arg(i);
    const qsizetype found = text.indexOf(line, at);
    ASSERT_GE(found, 0) << i;
    EXPECT_GE(text.indexOf(tail, found), found) << i;
    at = found + 1;
  }
}

TEST(PrinterOutput, FieldsStandInTheirColumnsWhateverTheLengthOfTheHour) {
  EXPECT_EQ(LayOutColumns(QStringLiteral("07.12.2026 9:05\t35\t67\t3\t1\t123450"), kPrintColumns),
            QStringLiteral("07.12.2026 9:05 35      67      3       1       123450"));
  EXPECT_EQ(LayOutColumns(QStringLiteral("07.12.2026 19:05\t35\t-1\t3\t1\t1"), kPrintColumns),
            QStringLiteral("07.12.2026 19:05 35     -1      3       1       1"));
  // A field longer than its column pushes the next one a blank further; later TABs go to
  // stops every eight characters.
  EXPECT_EQ(LayOutColumns(QStringLiteral("a\tbbbbbbbbbb\tc"), {2, 4}),
            QStringLiteral("a bbbbbbbbbb c"));
  EXPECT_EQ(LayOutColumns(QStringLiteral("a\tb\tc\td"), {2}), QStringLiteral("a b     c       d"));
  EXPECT_EQ(LayOutColumns(QStringLiteral("no tabs"), kPrintColumns), QStringLiteral("no tabs"));
}
