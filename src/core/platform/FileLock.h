#pragma once

#include <QByteArray>
#include <QString>

// An exclusive lock on a file, which goes with the process however it ends.
struct FileLockAttempt {
  enum class Outcome { kTaken, kHeld, kFailed };
  Outcome outcome = Outcome::kFailed;
  int descriptor = -1;  // the open lock file, when taken
  QString holder;       // what its holder wrote into the file, when it is held
  QString reason;       // the system's words, when the file could not be opened or locked
};

// Takes the lock on `path` (creating the file) and writes `holderText` into it. A lock another
// process holds is told apart from a file that cannot be opened at all (no permission, a
// read-only disk), which no waiting will mend.
FileLockAttempt OsTakeFileLock(const QString& path, const QByteArray& holderText);
void OsReleaseFileLock(int descriptor);

// Holds a shared lock on an existing file without writing it, as a sign that a run is still
// going; -1 when it cannot (the file is gone, or the platform has no such locks).
int OsHoldFileLock(const QString& path);
