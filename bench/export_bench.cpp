// Exporting a month of a million calls: time, and how much the process grows while it runs (the
// month is streamed, so the growth must not depend on the file's size).
#include <sys/resource.h>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "FakeClock.h"
#include "FakeSerial.h"
#include "core/base/Environment.h"
#include "core/files/CallExport.h"
#include "core/files/DataFiles.h"
#include "core/files/TextFiles.h"

namespace {

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

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
      const double seconds = Seconds([&] {
        exported = ExportCalls(env.workDir, {12, 0, 0, ExportOptions::Format::kCsv, totals}, out);
      });
      out.close();
      std::printf("export %s of %lld calls: %.2f s, %.1f MB written, peak memory grew %ld KB\n",
                  totals ? "totals" : "rows", static_cast<long long>(exported), seconds,
                  static_cast<double>(QFileInfo(out).size()) / 1e6, PeakKilobytes() - before);
    }
  }
  return 0;
}
