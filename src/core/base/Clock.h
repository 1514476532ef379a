#pragma once

#include <QDateTime>

// The source of time for everything that waits or dates: the millisecond tick that idle limits
// are measured with, the blocking pause between station transactions, and the local date and
// time. Tests substitute a clock whose pauses cost nothing.
//
// Date-times in this program are wall-clock values without a time zone (the station, the
// settings file and the data files know none). They are held as QDateTime marked Qt::UTC, so
// that arithmetic on them never meets a daylight-saving gap.
class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds from an arbitrary start; never goes backwards.
  virtual qint64 Tick() = 0;
  // Blocks the calling thread without serving the event loop.
  virtual void Sleep(int milliseconds) = 0;
  // The local date and time as a wall-clock value (see above).
  virtual QDateTime Now() = 0;
};

class SystemClock : public Clock {
 public:
  SystemClock();
  qint64 Tick() override;
  void Sleep(int milliseconds) override;
  QDateTime Now() override;

 private:
  qint64 start_;
};

// Makes a wall-clock date-time from its parts.
inline QDateTime MakeDateTime(QDate date, QTime time = QTime(0, 0)) {
  return QDateTime(date, time, Qt::UTC);
}
