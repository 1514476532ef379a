#include "web/RateLimit.h"

#include <algorithm>

#include "core/base/Clock.h"

bool RateLimit::Allow(const QHostAddress& from) {
  if (perSecond_ <= 0) return true;
  const qint64 now = clock_.Tick();
  const QString key = from.toString();
  std::lock_guard lock(mutex_);
  auto found = buckets_.find(key);
  if (found == buckets_.end()) {
    // A bounded table: a flood of new addresses cannot grow it without end.
    if (buckets_.size() > 10'000) buckets_.clear();
    found = buckets_.insert(key, Bucket{static_cast<double>(perSecond_), now});
  }
  Bucket& bucket = *found;
  bucket.tokens =
      std::min<double>(perSecond_, bucket.tokens + (now - bucket.tick) * perSecond_ / 1000.0);
  bucket.tick = now;
  if (bucket.tokens < 1) return false;
  bucket.tokens -= 1;
  return true;
}
