#include "core/editor/ViewControl.h"

quint16 ViewControllerClass::CharToKey(QChar character) {
  if (character == u'+') return viewkey::kPlus;
  if (character == u'-') return viewkey::kMinus;
  return 0;
}

bool ViewControllerClass::IsCommandKey(quint16 key) {
  return key == viewkey::kEnter || key == viewkey::kEsc || key == viewkey::kF1;
}

bool ViewControllerClass::IsNavigationKey(quint16 key) {
  return key == viewkey::kTab || (key >= viewkey::kLeft && key <= viewkey::kDown);
}

namespace {

// The current cell loses its highlight.
void UnhighlightCurrent(const ViewControllerClass& controller) {
  if (ViewSlot* current = controller.GetCurrent(); current && current->cell) {
    current->cell->Highlight(false);
  }
}

}  // namespace

void CellView::SelectSelf() {
  UnhighlightCurrent(controller_);
  controller_.SetCurrent(Slot);
}

void CellView::Click() {
  SelectSelf();
  Highlight(true);
  controller_.SetEdited();
}

void CellView::Highlight(bool on) {
  if (!controller_.Active) return;
  if (on) TakeFocus();
  Paint(on);
}

void SelectSlot(ViewControllerClass& controller, ViewSlot& slot) {
  UnhighlightCurrent(controller);
  controller.SetCurrent(&slot);
  if (slot.cell) slot.cell->Highlight(true);
}
