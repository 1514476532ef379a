#pragma once

#include "core/base/Clock.h"

// Simulated time: pauses cost nothing, and the in-memory serial line moves it forward while the
// driver waits.
class FakeClock : public Clock {
 public:
  explicit FakeClock(QDateTime start = MakeDateTime(QDate(2026, 12, 7), QTime(10, 0)))
      : start_(start) {}

  qint64 Tick() override { return nowUs_ / 1000; }
  void Sleep(int milliseconds) override {
    if (milliseconds > 0) AdvanceUs(static_cast<qint64>(milliseconds) * 1000);
  }
  QDateTime Now() override { return start_.addMSecs(nowUs_ / 1000); }

  qint64 NowUs() const { return nowUs_; }
  void AdvanceUs(qint64 us) { nowUs_ += us; }
  void AdvanceToUs(qint64 us) {
    if (us > nowUs_) nowUs_ = us;
  }
  // Moves the wall clock without moving the tick.
  void SetNow(const QDateTime& now) { start_ = now.addMSecs(-(nowUs_ / 1000)); }

 private:
  QDateTime start_;
  qint64 nowUs_ = 0;
};
