#pragma once

#include <QString>

inline constexpr char kReceptionLockName[] = "NorvelWin.lock";

// One reception at a time in a working directory: the window's reception and `norvel receive`
// both hold an exclusive lock on "NorvelWin.lock" for the whole reception, so two of them never
// append to the same month files at once. The lock goes with the process, however it ends.
class ReceptionLock {
 public:
  // Tries to take the lock for `holder` ("NorvelWin", "norvel receive").
  ReceptionLock(const QString& dir, const QString& holder);
  ~ReceptionLock();
  ReceptionLock(const ReceptionLock&) = delete;
  ReceptionLock& operator=(const ReceptionLock&) = delete;

  bool Held() const { return descriptor_ >= 0; }
  // Who holds it, when it was not taken: "norvel receive, process 1234".
  const QString& Holder() const { return holder_; }

 private:
  int descriptor_ = -1;
  QString holder_;
};

// The message when the lock is taken: which reception is running.
QString ReceptionRunningText(const ReceptionLock& lock);
