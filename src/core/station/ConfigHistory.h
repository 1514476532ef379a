#pragma once

#include <QDateTime>
#include <QString>

#include "core/image/ConfigImage.h"

// Every attempt to write a configuration to the station leaves files in "history/" under the
// working directory, named by the moment of the attempt ("2026-12-07_09-15-02"): first, before
// the write frame goes out, "-before.cfg" with the image the station held (the last one read
// from it or written to it); then "-after.cfg" with the image written, once the read-back has
// verified it, or "-failed.cfg" with the image that was being written when the write did not
// succeed (the station may then hold part of it). All are 512 bytes, the form of "Norvel.cfg",
// so the configuration from before any write can always be restored: copy it over "Norvel.cfg"
// and write the copy to the station. The newest 200 attempts are kept.
inline constexpr char kHistoryDirName[] = "history";
inline constexpr int kHistoryAttempts = 200;

// One write attempt's files. Each call gives the system's reason when its file could not be
// kept (the write itself is not affected), an empty text when it was.
class ConfigHistoryEntry {
 public:
  ConfigHistoryEntry(const QString& workDir, const QDateTime& moment);

  QString KeepBefore(const ConfigImage& image);
  QString KeepAfter(const ConfigImage& image);
  QString KeepFailed(const ConfigImage& image);

  // The attempt's name, the moment and a number when two attempts share a second.
  const QString& Stem() const { return stem_; }
  // The name of the image from before the write, inside history/.
  QString BeforeName() const;

 private:
  QString Keep(const QString& suffix, const ConfigImage& image);

  QString workDir_;
  QString stem_;
};
