// Exporting a month of a million calls: time, how much the process grows while it runs (the
// month is streamed, so the growth must not depend on the file's size), and how the time
// compares with iconv and sort reading the same file in the same run.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "FakeClock.h"
#include "FakeSerial.h"
#include "core/base/Environment.h"
#include "core/costs/Bills.h"
#include "core/costs/Tariffs.h"
#include "core/files/CallExport.h"
#include "core/files/DataFiles.h"
#include "core/files/TextFiles.h"

namespace {

const char kTariffs[] =
    "strip = 9\ncharged = 1 2\n"
    "[Местная]\nprefixes =\nminute = 0\n"
    "[Город]\nprefixes = 2 3 4\nsetup = 0.50\nminute = 1.20\nminimum = 1\n"
    "[Межгород]\nprefixes = 8\nsetup = 1\nminute = 9.9999\nmaximum = 100\n";

// Writes a month file of `count` calls a block at a time.
void WriteMonth(const QString& path, int count) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) std::abort();
  file.write(EncodeCp1251(kDataFileHeader + QStringLiteral("\r\n")));
  QString block;
  for (int i = 0; i < count; ++i) {
    CallRecord r;
    r.StartTime = MakeDateTime(QDate(2026, 12, 1 + i % 28), QTime(i / 60 % 24, i % 60));
    r.Subscriber = static_cast<quint8>(20 + i % 24);
    r.Duration = i % 50 == 0 ? -1 : i % 37;
    r.CityLine = static_cast<quint8>(i % 9);
    r.CallType = static_cast<quint8>(i % 4);
    r.DialledNumber = QString::number(800000000 + i);
    block += CallRecordToText(r) + QStringLiteral("\r\n");
    if (block.size() > (1 << 20)) {
      file.write(EncodeCp1251(block));
      block.clear();
    }
  }
  file.write(EncodeCp1251(block));
}

// The best of three runs of f.
template <class F>
double BestSeconds(F&& f) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) best = std::min(best, Seconds(f));
  return best;
}

// The best of three runs of a command whose output goes to `outPath`; 0 when it cannot run.
double CommandSeconds(const QString& program, const QStringList& arguments,
                      const QString& outPath) {
  bool ran = true;
  const double seconds = BestSeconds([&] {
    QProcess process;
    process.setStandardOutputFile(outPath);
    process.start(program, arguments);
    ran = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
          process.exitCode() == 0;
  });
  return ran ? seconds : 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  FakeClock clock;
  SilentUi ui;
  FakePorts ports;
  QTemporaryDir dir;
  Environment env{ui, clock, ports, dir.path()};
  for (const int count : {100'000, 1'000'000}) {
    WriteMonth(env.FilePath(DataFileName(12)), count);
    for (const bool totals : {false, true}) {
      QFile out(dir.filePath(QStringLiteral("out.csv")));
      out.open(QIODevice::WriteOnly | QIODevice::Truncate);
      const long before = PeakKilobytes();
      qint64 exported = 0;
      const double seconds = BestSeconds([&] {
        out.seek(0);
        exported = ExportCalls(
            env.workDir, ExportOptions::Of(12, 0, 0, ExportOptions::Format::kCsv, totals), out);
      });
      out.close();
      std::printf("export %s of %lld calls: %.2f s, %.1f MB written, peak memory grew %ld KB\n",
                  totals ? "totals" : "rows", static_cast<long long>(exported), seconds,
                  static_cast<double>(QFileInfo(out).size()) / 1e6, PeakKilobytes() - before);
      if (count == 1'000'000 && !totals) {
        const QString month = env.FilePath(DataFileName(12));
        const QString copy = dir.filePath(QStringLiteral("reference.out"));
        const double iconv = CommandSeconds(QStringLiteral("iconv"),
                                            {QStringLiteral("-f"), QStringLiteral("CP1251"),
                                             QStringLiteral("-t"), QStringLiteral("UTF-8"), month},
                                            copy);
        const double sort = CommandSeconds(QStringLiteral("sort"), {month}, copy);
        if (iconv > 0) {
          std::printf("  iconv of the same file: %.3f s; export / iconv = %.2f (goal <= 4)\n",
                      iconv, seconds / iconv);
          // The same rows with their zone and cost from a tariff file.
          ExportOptions priced = ExportOptions::Of(12, 0, 0, ExportOptions::Format::kCsv, false);
          AddCostColumns(priced,
                         ParseTariffs(QString::fromUtf8(kTariffs), QStringLiteral("bench")));
          out.open(QIODevice::WriteOnly | QIODevice::Truncate);
          const double rated = BestSeconds([&] {
            out.seek(0);
            ExportCalls(env.workDir, priced, out);
          });
          out.close();
          std::printf("  with a tariff file: %.3f s; priced export / iconv = %.2f (goal <= 2.5)\n",
                      rated, rated / iconv);
        }
        if (sort > 0) {
          std::printf("  sort of the same file: %.3f s; export / sort = %.2f (goal <= 1)\n", sort,
                      seconds / sort);
        }
      }
    }
  }
  return 0;
}
