#pragma once

#include <QHash>
#include <QHostAddress>
#include <mutex>

class Clock;

// At most `perSecond` requests a second from one address, as a bucket that refills evenly: a
// burst up to the limit passes, a steady flood beyond it is refused.
class RateLimit {
 public:
  RateLimit(Clock& clock, int perSecond) : clock_(clock), perSecond_(perSecond) {}
  bool Allow(const QHostAddress& from);

 private:
  struct Bucket {
    double tokens = 0;
    qint64 tick = 0;
  };
  Clock& clock_;
  int perSecond_;
  std::mutex mutex_;
  QHash<QString, Bucket> buckets_;
};
