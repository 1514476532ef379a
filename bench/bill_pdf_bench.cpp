// The PDF bills of every subscriber for a month of 100,000 calls, against the least Qt drawing
// of the same cells (the same strings, one font, the same rows per page): how much of the time
// is the program's own. Processor time, best of two.
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <ctime>

#include "BenchSupport.h"
#include "core/costs/Bills.h"
#include "core/files/DataFiles.h"
#include "report/ReportPainter.h"

namespace {

const char kTariffs[] =
    "strip = 9\ncharged = 1 2\n"
    "[Местная]\nprefixes =\nminute = 0\n"
    "[Город]\nprefixes = 2 3 4\nsetup = 0.50\nminute = 1.20\nminimum = 1\n"
    "[Межгород]\nprefixes = 8\nsetup = 1\nminute = 9.9999\nmaximum = 100\n";

template <class F>
double BestCpuSeconds(F&& f) {
  double best = 1e9;
  for (int i = 0; i < 2; ++i) {
    const std::clock_t start = std::clock();
    f();
    best = std::min(best, static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
  }
  return best;
}

// The same cells drawn with nothing but QPainter: 8 per call, 55 calls a page.
void MinimalDrawing(const BillBook& book, const QString& path) {
  QPdfWriter writer(path);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setResolution(150);
  QPainter painter(&writer);
  painter.setWindow(0, 0, 1000, 1414);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(13);
  painter.setFont(font);
  const int widths[] = {100, 60, 70, 170, 170, 80, 90, 140};
  int rows = 0;
  for (const auto& entry : book.Subscribers()) {
    book.ForEachCall(entry.first, [&](const ReportCall& call) {
      const ExportRow& r = call.row;
      const QString cells[] = {QStringLiteral("%1.%2.%3").arg(r.day).arg(r.month).arg(r.year),
                               QStringLiteral("%1:%2").arg(r.hour).arg(r.minute),
                               QString::number(r.subscriber),
                               QString::fromUtf8(r.number).trimmed(),
                               book.ZoneText(call.rated),
                               QString::number(r.duration),
                               QString::number(call.rated.minutes),
                               MoneyText(call.rated.cost)};
      if (rows == 55) {
        writer.newPage();
        rows = 0;
      }
      int x = 60;
      for (int c = 0; c < 8; ++c) {
        painter.drawText(QRect(x + 4, 120 + rows * 22, widths[c] - 8, 22), Qt::AlignVCenter,
                         cells[c]);
        x += widths[c];
      }
      ++rows;
    });
  }
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QTemporaryDir dir;
  constexpr int kCalls = 100'000;
  WriteBenchMonth(dir.filePath(DataFileName(12)), kCalls);
  const Tariffs tariffs = ParseTariffs(QString::fromUtf8(kTariffs), QStringLiteral("bench"));
  const BillBook book(dir.path(), {12, 0, 0, 0}, tariffs);
  const BillHeading heading{QStringLiteral("bench"),
                            QStringLiteral("декабрь 2026"),
                            QStringLiteral("NorvelTariffs.txt от 01.12.2026"),
                            false,
                            {}};
  QString error;
  const double ours = BestCpuSeconds([&] {
    if (!WriteBillsPdf(book, heading, dir.filePath(QStringLiteral("bills.pdf")), &error)) {
      std::abort();
    }
  });
  const double minimal =
      BestCpuSeconds([&] { MinimalDrawing(book, dir.filePath(QStringLiteral("minimal.pdf"))); });
  std::printf("PDF bills of %d calls: %.2f s of processor time\n", kCalls, ours);
  std::printf("the same cells drawn by a minimal Qt program: %.2f s\n", minimal);
  std::printf("ratio %.2f (goal 1.1); a month of 1,000,000 calls: about %.0f s\n", ours / minimal,
              ours * 10);
  return 0;
}
