#pragma once

#include <QString>

#include "core/image/ConfigImage.h"

// What the station holds after a configuration write that failed, found by reading its image
// again and comparing it with the image before the write and the image being written. Without
// it the operator could only guess: a frame cut by a pulled cable leaves part of the new image,
// a read-back cut the same way leaves all of it.
struct WriteVerdict {
  enum class Holds {
    kNone,     // no write has failed (or the last one succeeded)
    kBefore,   // the image from before the write, every byte
    kWritten,  // the whole new image: only the check failed
    kMixed,    // part of each
    kUnknown,  // the station did not answer the reading
  };
  Holds holds = Holds::kNone;
  // Of the bytes the write changes: those holding the new value, the old one, and neither.
  int newBytes = 0;
  int oldBytes = 0;
  int otherBytes = 0;
  // The image from before the write in history/, relative to the working directory; empty when
  // it was not kept.
  QString beforeFile;
  // The command that writes beforeFile back, as it runs where it is printed; empty: the plain
  // "norvel config write history/…" from the working directory.
  QString wayBack;

  // Compares what the station holds now with the images before and after.
  static WriteVerdict Judge(const ConfigImage& before, const ConfigImage& written,
                            const ConfigImage& held);

  // One sentence for the operator, with the way back where the station may have changed.
  QString Sentence() const;
  // "before", "written", "mixed", "unknown"; empty for kNone.
  QString Name() const;
};
