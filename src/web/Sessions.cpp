#include "web/Sessions.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include "core/base/Clock.h"

namespace {

// The table holds digests, so that a look at the server's memory gives no token a browser
// could send.
QByteArray Key(const QByteArray& token) {
  return QCryptographicHash::hash(token, QCryptographicHash::Sha256);
}

}  // namespace

QByteArray Sessions::Open(const QString& user) {
  quint32 words[8];
  QRandomGenerator::system()->fillRange(words);
  const QByteArray token =
      QByteArray(reinterpret_cast<const char*>(words), sizeof words)
          .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
  const qint64 now = clock_.Tick();
  std::lock_guard lock(mutex_);
  if (open_.size() >= kMost) {
    // Ended sessions go first; if none has, the one unused longest.
    open_.removeIf([now](const auto& entry) { return now - entry.value().used >= kIdle; });
    if (open_.size() >= kMost) {
      auto oldest = open_.begin();
      for (auto it = open_.begin(); it != open_.end(); ++it) {
        if (it->used < oldest->used) oldest = it;
      }
      open_.erase(oldest);
    }
  }
  open_.insert(Key(token), Session{user, now});
  return token;
}

std::optional<QString> Sessions::UserOf(const QByteArray& token) {
  if (token.isEmpty()) return std::nullopt;
  const qint64 now = clock_.Tick();
  std::lock_guard lock(mutex_);
  const auto found = open_.find(Key(token));
  if (found == open_.end()) return std::nullopt;
  if (now - found->used >= kIdle) {
    open_.erase(found);
    return std::nullopt;
  }
  found->used = now;
  return found->user;
}

void Sessions::Close(const QByteArray& token) {
  std::lock_guard lock(mutex_);
  open_.remove(Key(token));
}
