#include "web/SignIns.h"

#include <QCryptographicHash>
#include <algorithm>

#include "core/base/Clock.h"

namespace {

// The user a Basic header names; empty for none.
QString UserOf(const QByteArray& authorization) {
  if (!authorization.startsWith("Basic ")) return {};
  const QByteArray pair = QByteArray::fromBase64(authorization.mid(6).trimmed());
  const qsizetype colon = pair.indexOf(':');
  return colon > 0 ? QString::fromUtf8(pair.left(colon)) : QString();
}

// Tables bounded in size: a flood of names or addresses cannot grow them without end.
template <class Table>
void Bound(Table& table) {
  if (table.size() > 10'000) table.clear();
}

}  // namespace

SignIns::Verdict SignIns::Check(const QByteArray& authorization, const QHostAddress& from) {
  const qint64 now = clock_.Tick();
  Verdict verdict;
  verdict.user = UserOf(authorization);
  // A request without a header is a browser that has not asked its user yet: no try.
  if (authorization.isEmpty()) return verdict;
  const QByteArray digest = QCryptographicHash::hash(authorization, QCryptographicHash::Sha256);
  const QString address = from.toString();
  {
    std::lock_guard lock(mutex_);
    if (const auto found = good_.constFind(digest);
        found != good_.cend() && now - *found < kRemembered) {
      verdict.kind = Verdict::Kind::kAllowed;
      return verdict;
    }
    Failures& user = byUser_[verdict.user];
    Failures& by = byAddress_[address];
    const qint64 until = std::max(user.until, by.until);
    if (now < until) {
      verdict.kind = Verdict::Kind::kWait;
      verdict.waitSeconds = static_cast<int>((until - now + 999) / 1000);
      return verdict;
    }
    // The try counts as wrong until the key says otherwise, so that tries sent at once are
    // held back as if sent one after another.
    Failed(user, now);
    Failed(by, now);
    verdict.wrongInARow = user.count;
    Bound(byUser_);
    Bound(byAddress_);
  }
  // The key is derived with no lock held: other pages go on meanwhile.
  const bool right = verify_(authorization);
  std::lock_guard lock(mutex_);
  if (!right) return verdict;
  verdict.wrongInARow = 0;
  byUser_.remove(verdict.user);
  byAddress_.remove(address);
  Bound(good_);
  good_.insert(digest, now);
  verdict.kind = Verdict::Kind::kAllowed;
  return verdict;
}

void SignIns::Failed(Failures& failures, qint64 now) {
  ++failures.count;
  if (failures.count < kFreeTries) return;
  // One second after the fifth wrong try, then twice as long after each further one.
  const int doublings = std::min(failures.count - kFreeTries, 20);
  failures.until = now + std::min<qint64>(qint64(1000) << doublings, kLongestWait);
}
