// Suspicious calls in a month of a million calls: every kind of rule at once (numbers abroad at
// night, long and costly calls, silent subscribers and lines, a subscriber's usual over the two
// months before, auto-dialler bursts), best of three, with how much the process grew. A tenth
// of the month first: the growth must not follow the month's size.
#include <QFile>
#include <QTemporaryDir>
#include <map>

#include "BenchSupport.h"
#include "core/costs/Alerts.h"
#include "core/costs/Tariffs.h"
#include "core/files/DataFiles.h"

namespace {

// Rules as a station would have them: they find a few thousand calls of the million (the
// silent subscriber on line 8), not most of them.
const char kRules[] =
    "[Заграница ночью]\nlevel = тревога\nprefixes = 810, 00\nwhen = outside_hours\n"
    "[Долгие ночью]\nlevel = тревога\nlonger_than = 60\nwhen = outside_hours\n"
    "[Дорогие]\ncost_above = 1000\n"
    "[Молчащий]\nsubscribers = 43\nlines = 8\n"
    "[Больше обычного]\nusual = minutes\ntimes = 3\n"
    "[Больше обычного, рубли]\nusual = cost\ntimes = 5\npart = night\n"
    "[Автодозвон]\nburst = 40 calls in 10 minutes\n"
    "[Автодозвон на линии]\nburst = 60 calls in 10 minutes\nby = line\n";

const char kTariffs[] =
    "strip = 9\n"
    "[Город]\nprefixes = 2 3 4\nsetup = 0.50\nminute = 1.20\n"
    "[Межгород]\nprefixes = 8\nsetup = 1\nminute = 9.9999\n";

double Check(const QString& dir, const AlertRules& rules, const Tariffs& tariffs,
             std::map<QString, int>* found) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    best = std::min(
        best, Seconds([&] {
          found->clear();
          for (const AlertFinding& finding :
               FindAlerts(dir, rules, tariffs, QDate(2026, 12, 1), QDate(2026, 12, 31)).findings) {
            ++(*found)[finding.rule];
          }
        }));
  }
  return best;
}

}  // namespace

// A month of `count` calls in the order a station records them (by start), spread over the
// days and hours with more by day than by night; a call in 5000 is abroad, one in 2000 is long.
void WriteChronologicalMonth(const QString& path, int count) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) std::abort();
  file.write(EncodeCp1251(kDataFileHeader + QStringLiteral("\r\n")));
  static const char* const kNumbers[] = {"92345678", "3456789", "84951234567", "2223344",
                                         "89161234567"};
  QString block;
  const qint64 minutes = 31 * 24 * 60;
  for (int i = 0; i < count; ++i) {
    const qint64 at = qint64(i) * minutes / count;
    CallRecord r;
    r.StartTime =
        MakeDateTime(QDate(2026, 12, 1 + int(at / 1440)), QTime(int(at % 1440 / 60), int(at % 60)));
    r.Subscriber = static_cast<quint8>(20 + (i * 7 + i / 24) % 24);
    r.Duration = i % 2000 == 0 ? 95 : i % 23;
    r.CityLine = static_cast<quint8>(1 + (i * 5 + i / 8) % 8);
    r.CallType = 1;
    r.DialledNumber = QString::fromLatin1(i % 5000 == 0 ? "981044207946000" : kNumbers[i % 5]);
    block += CallRecordToText(r) + QStringLiteral("\r\n");
    if (block.size() > (1 << 20)) {
      file.write(EncodeCp1251(block));
      block.clear();
    }
  }
  file.write(EncodeCp1251(block));
}

int main() {
  const AlertRules rules = ParseAlertRules(QString::fromUtf8(kRules), QStringLiteral("bench"));
  const Tariffs tariffs = ParseTariffs(QString::fromUtf8(kTariffs), QStringLiteral("bench"));
  for (const int calls : {100'000, 1'000'000}) {
    QTemporaryDir dir;
    WriteChronologicalMonth(dir.filePath(DataFileName(12)), calls);
    // The two months before, for the subscribers' usual (their calls are dated December by the
    // writer, so these files hold only what the rule reads: none of December).
    for (const int month : {10, 11}) {
      QFile file(dir.filePath(DataFileName(month)));
      if (!file.open(QIODevice::WriteOnly)) std::abort();
      file.write(EncodeCp1251(kDataFileHeader + QStringLiteral("\r\n")));
    }
    const long before = PeakKilobytes();
    std::map<QString, int> found;
    const double seconds = Check(dir.path(), rules, tariffs, &found);
    QStringList counts;
    for (const auto& [rule, count] : found) counts << QStringLiteral("%1 %2").arg(rule).arg(count);
    std::printf("%7d calls, %zu rules: %.2f s (best of three), process grew %ld KB; found: %s\n",
                calls, rules.rules.size(), seconds, PeakKilobytes() - before,
                qPrintable(counts.join(QStringLiteral(", "))));
  }
  return 0;
}
