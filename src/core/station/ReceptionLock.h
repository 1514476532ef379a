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
  // Another reception holds it: "norvel receive, process 1234".
  bool HeldElsewhere() const { return !holder_.isEmpty(); }
  const QString& Holder() const { return holder_; }
  // The lock file could not be opened or locked at all (no permission, a read-only disk): no
  // reception is running, and waiting will not help.
  bool Failed() const { return !failure_.isEmpty(); }
  const QString& Failure() const { return failure_; }
  const QString& Path() const { return path_; }

 private:
  QString path_;
  int descriptor_ = -1;
  QString holder_;
  QString failure_;
};

// Why a reception cannot start, when the lock was not taken: which reception is running, or
// why the lock file could not be opened, with its path.
QString ReceptionLockText(const ReceptionLock& lock);
