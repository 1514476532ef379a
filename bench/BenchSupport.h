#pragma once

#include <sys/resource.h>

#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <ctime>

#include "core/base/Clock.h"
#include "core/base/OperatorUi.h"
#include "core/files/CallRecords.h"
#include "core/files/DataFiles.h"
#include "core/files/TextFiles.h"

// An operator who is never asked anything in a benchmark.
class SilentUi : public OperatorUi {
 public:
  void StartProgress(const QString&, quint16) override {}
  void SetProgress(quint16) override {}
  void EndProgress() override {}
  QString InputBox(const QString&, const QString&, const QString& d) override { return d; }
  void ShowHelp(int) override {}

 protected:
  bool ShowBox(BoxKind, const QString& text, bool) override {
    std::fprintf(stderr, "unexpected box: %s\n", qPrintable(text));
    return false;
  }
  Cursor ScreenCursor() const override { return Cursor::Default; }
  void SetScreenCursor(Cursor) override {}
};

inline double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The most memory the process has held so far, in kilobytes.
inline long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Wall-clock seconds of one run of f.
template <class F>
double Seconds(F&& f) {
  QElapsedTimer timer;
  timer.start();
  f();
  return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// A month of `count` calls spread over its days, hours, subscribers, lines and zones.
// `inOrder`: the calls one after the other through the month, as a station's file has them;
// otherwise a day apart from one line to the next, every day's calls interleaved.
// `days` and `firstDay`: the days of December the calls in order are spread over.
inline void WriteBenchMonth(const QString& path, int count, bool inOrder = false, int days = 31,
                            int firstDay = 1) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) std::abort();
  file.write(EncodeCp1251(kDataFileHeader + QStringLiteral("\r\n")));
  static const char* const kNumbers[] = {"92345678",    "3456789", "84951234567", "89161234567",
                                         "83412223344", "101",     "2223344",     "84997654321"};
  QString block;
  for (int i = 0; i < count; ++i) {
    CallRecord r;
    if (inOrder) {
      const qint64 minute = static_cast<qint64>(i) * days * 24 * 60 / count;
      r.StartTime =
          MakeDateTime(QDate(2026, 12, firstDay + static_cast<int>(minute / 1440)),
                       QTime(static_cast<int>(minute % 1440 / 60), static_cast<int>(minute % 60)));
    } else {
      r.StartTime = MakeDateTime(QDate(2026, 12, 1 + i % 31), QTime(i / 31 % 24, i / 7 % 60));
    }
    r.Subscriber = static_cast<quint8>(20 + i % 24);
    r.Duration = i % 50 == 0 ? -1 : i % 37;
    r.CityLine = static_cast<quint8>(i % 9);
    r.CallType = static_cast<quint8>(i % 4);
    r.DialledNumber = QString::fromLatin1(kNumbers[i % 8]);
    block += CallRecordToText(r) + QStringLiteral("\r\n");
    if (block.size() > (1 << 20)) {
      file.write(EncodeCp1251(block));
      block.clear();
    }
  }
  file.write(EncodeCp1251(block));
}
