#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <mutex>
#include <optional>

class Clock;

// The signed-in browsers of the web view: a sign-in gives a random token, kept by the browser
// as a cookie, and each page looks the token up instead of deriving the password key again.
// A token unused for a working day ends, as does any token at sign-out; the table is bounded,
// so a flood of sign-ins cannot grow it without end. Safe to use from several threads.
class Sessions {
 public:
  explicit Sessions(Clock& clock) : clock_(clock) {}

  // A new session of `user`: its token, 43 characters of base64url.
  QByteArray Open(const QString& user);
  // The user whose session `token` is, if it is one and has not ended; the session is kept
  // alive by the use.
  std::optional<QString> UserOf(const QByteArray& token);
  void Close(const QByteArray& token);
  qsizetype Size() {
    std::lock_guard lock(mutex_);
    return open_.size();
  }

  static constexpr qint64 kIdle = 8 * 60 * 60 * 1000;  // ms of no page that end a session
  static constexpr int kMost = 10'000;                 // sessions kept at once

 private:
  struct Session {
    QString user;
    qint64 used = 0;  // tick of the last page
  };
  Clock& clock_;
  std::mutex mutex_;
  QHash<QByteArray, Session> open_;  // by the token's digest
};
