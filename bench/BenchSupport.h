#pragma once

#include <QElapsedTimer>
#include <cstdio>
#include <ctime>

#include "core/base/OperatorUi.h"

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

// Wall-clock seconds of one run of f.
template <class F>
double Seconds(F&& f) {
  QElapsedTimer timer;
  timer.start();
  f();
  return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}
