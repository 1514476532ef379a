// Costs of a month of a million calls: rating every call, the bills as CSV, and the report as
// a PDF, each timed on its own (best of three), with how much the process grew during it. The
// bills are streamed through scratch files, so their growth must not depend on the month's size.
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "core/costs/Bills.h"
#include "core/costs/CostReport.h"
#include "core/costs/Tariffs.h"
#include "core/files/DataFiles.h"
#include "report/ReportPainter.h"

namespace {

const char kTariffs[] =
    "strip = 9\n"
    "charged = 1 2\n"
    "[Местная]\nprefixes =\nminute = 0\n"
    "[Город]\nprefixes = 2 3 4\nsetup = 0.50\nminute = 1.20\nminimum = 1\n"
    "band = weekend 00:00-24:00 0.60\nband = weekdays 20:00-24:00 0.80\n"
    "[Межгород]\nprefixes = 8\nsetup = 1\nminute = 9.9999\nmaximum = 100\n"
    "[Москва]\nprefixes = 8495 8499\nminute = 4.35\n"
    "[Мобильные]\nprefixes = 89\nminute = 2.15\nminimum = 1\n";

template <class F>
double BestSeconds(F&& f) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) best = std::min(best, Seconds(f));
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QTemporaryDir dir;
  constexpr int kCalls = 1'000'000;
  WriteBenchMonth(dir.filePath(DataFileName(12)), kCalls);
  {
    QFile file(dir.filePath(QString::fromLatin1(kTariffFileName)));
    if (!file.open(QIODevice::WriteOnly)) std::abort();
    file.write(kTariffs);
  }
  const Tariffs tariffs = *LoadTariffs(dir.path());
  const ReportChoice month{12, 0, 0, 0};

  long before = PeakKilobytes();
  Money total = 0;
  const double rating = BestSeconds([&] {
    total = 0;
    ExportOptions options;
    options.month = 12;
    ForEachExportRow(dir.path(), options,
                     [&](const ExportRow& row) { total += RateCall(tariffs, row).cost; });
  });
  const long ratingGrowth = PeakKilobytes() - before;

  before = PeakKilobytes();
  const double bills = BestSeconds([&] {
    const BillBook book(dir.path(), month, tariffs);
    QFile out(dir.filePath(QStringLiteral("bills.csv")));
    if (!out.open(QIODevice::WriteOnly)) std::abort();
    WriteBillsCsv(book, out);
  });
  const long billsGrowth = PeakKilobytes() - before;

  before = PeakKilobytes();
  const double exported = BestSeconds([&] {
    ExportOptions options;
    options.month = 12;
    AddCostColumns(options, tariffs);
    QFile out(dir.filePath(QStringLiteral("export.csv")));
    if (!out.open(QIODevice::WriteOnly)) std::abort();
    ExportCalls(dir.path(), options, out);
  });
  const long exportGrowth = PeakKilobytes() - before;

  before = PeakKilobytes();
  ReportData data;
  const double figures = BestSeconds([&] { data = BuildReport(dir.path(), month, 8); });
  QString error;
  const double pdf = BestSeconds([&] {
    if (!WriteReportPdf(data, dir.filePath(QStringLiteral("report.pdf")), &error)) std::abort();
  });
  const long reportGrowth = PeakKilobytes() - before;

  std::printf("a month of %d calls, %s in all\n", kCalls, qPrintable(MoneyText(total)));
  std::printf("rating every call:            %.2f s (goal < 2 s), peak grew %ld KB\n", rating,
              ratingGrowth);
  std::printf(
      "bills as CSV (%lld KB):      %.2f s (goal < 2 s), peak grew %ld KB\n",
      static_cast<long long>(QFile(dir.filePath(QStringLiteral("bills.csv"))).size() / 1024), bills,
      billsGrowth);
  std::printf("export with zone and cost:    %.2f s, peak grew %ld KB\n", exported, exportGrowth);
  std::printf("report: figures %.2f s + PDF %.2f s = %.2f s (goal < 2 s), peak grew %ld KB\n",
              figures, pdf, figures + pdf, reportGrowth);
  return 0;
}
