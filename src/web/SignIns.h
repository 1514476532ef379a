#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <functional>
#include <mutex>

class Clock;

// The sign-ins of the web view. The password key takes a fifth of a second to derive, by
// design, so a header once found right is remembered (by its digest, never the password) for a
// quarter of an hour and later pages cost a lookup. Wrong passwords slow further tries down,
// per user and per address: after a few, each try waits twice as long as the one before,
// without the key being derived at all.
class SignIns {
 public:
  // `verify` tells whether an "Authorization" header names a user with the right password.
  SignIns(Clock& clock, std::function<bool(const QByteArray&)> verify)
      : clock_(clock), verify_(std::move(verify)) {}

  struct Verdict {
    enum class Kind { kAllowed, kRefused, kWait } kind = Kind::kRefused;
    int waitSeconds = 0;  // kWait: how long until the next try is taken
    QString user;         // the name the header gave, for the log
    int wrongInARow = 0;  // kRefused: the wrong tries for this user so far
  };
  Verdict Check(const QByteArray& authorization, const QHostAddress& from);

  static constexpr qint64 kRemembered = 15 * 60 * 1000;   // ms a right header is taken as right
  static constexpr int kFreeTries = 5;                    // wrong tries before any wait
  static constexpr qint64 kLongestWait = 15 * 60 * 1000;  // ms

 private:
  struct Failures {
    int count = 0;
    qint64 until = 0;  // tick before which no try is taken
  };
  void Failed(Failures& failures, qint64 now);

  Clock& clock_;
  std::function<bool(const QByteArray&)> verify_;
  std::mutex mutex_;                // the tables below; checks come from several threads at once
  QHash<QByteArray, qint64> good_;  // digest of a right header -> tick it was found right
  QHash<QString, Failures> byUser_;
  QHash<QString, Failures> byAddress_;
};
