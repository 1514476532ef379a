#pragma once

#include "core/editor/ViewControl.h"

class QObject;

// The three key handlers of a table window and its dispatcher. Windows deliver a key going
// down, a typed character and a key coming up; the handlers decide here, in one place, which
// of them act: Enter, Esc and F1 when the key goes down, Tab and the arrows when it comes up,
// "+" and "-" as typed characters. Every key-down and key-up is then swallowed (the key set to
// 0), so the focused cell never sees them; a typed character goes on to an edit cell.
class TableKeyHandlers {
 public:
  virtual ~TableKeyHandlers() = default;

  virtual void UserActiveKey(quint16 key, ShiftState shift) = 0;

  virtual void FormKeyDown(QObject* sender, quint16& key, ShiftState shift);
  // The character may be changed on its way to the cell; a 0 character stops it.
  virtual void FormKeyPress(QObject* sender, QChar& character);
  virtual void FormKeyUp(QObject* sender, quint16& key, ShiftState shift);
};
