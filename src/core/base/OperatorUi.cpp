#include "core/base/OperatorUi.h"

void OperatorUi::InfoBox(const QString& text, bool error) {
  SetBusy(true);
  ShowBox(BoxKind::Info, text, error);
}

bool OperatorUi::YesNoBox(const QString& text, bool error) {
  SetBusy(true);
  return ShowBox(BoxKind::YesNo, text, error);
}

bool OperatorUi::YesCancelBox(const QString& text, bool error) {
  SetBusy(true);
  return ShowBox(BoxKind::YesCancel, text, error);
}

void OperatorUi::ErrorBox(const QString& text) {
  SetBusy(true);
  ShowBox(BoxKind::Error, text, true);
}

void OperatorUi::SetBusy(bool release) {
  if (release) {
    SetScreenCursor(remembered_);
    return;
  }
  if (ScreenCursor() == Cursor::Busy) return;
  remembered_ = ScreenCursor();
  SetScreenCursor(Cursor::Busy);
}
