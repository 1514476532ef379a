#include "core/base/Clock.h"

#include <QElapsedTimer>
#include <QThread>

namespace {
QElapsedTimer& Monotonic() {
  static QElapsedTimer timer = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return timer;
}
}  // namespace

SystemClock::SystemClock() : start_(Monotonic().elapsed()) {}

qint64 SystemClock::Tick() {
  return Monotonic().elapsed() - start_;
}

void SystemClock::Sleep(int milliseconds) {
  if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

QDateTime SystemClock::Now() {
  const QDateTime local = QDateTime::currentDateTime();
  return MakeDateTime(local.date(), local.time());
}
