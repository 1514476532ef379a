#pragma once

#include "core/station/ImageAccess.h"

struct WriteVerdict;

// What the programming entry window works on: the held image and its tables' choices, the
// station's size, and the write. The station object is one; a configuration file edited
// without the station is the other.
class ProgrammingSession : public ImageAccess {
 public:
  virtual quint16 BoardCount() const = 0;
  // "Записать программирование": to the station, or offline to the file.
  virtual void WriteProgramming() = 0;
  // Leaving with changes not yet written asks whether to write them.
  virtual void OfferWriteOnLeave() = 0;
  // What the station holds after the last write that failed; Holds::kNone otherwise.
  virtual const WriteVerdict& LastWriteVerdict() const = 0;
};
