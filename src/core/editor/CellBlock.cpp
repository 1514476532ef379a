#include "core/editor/CellBlock.h"

#include "core/editor/CellHost.h"

bool CellBlock::Attach(CellHost& window, int size, int maximum) {
  window_ = &window;
  controller_ = &window.Controller();
  return !RefuseSize(window, size, maximum);
}

const CellView* CellBlock::CurrentOf(const ViewSlot* first, size_t count) const {
  if (!controller_) return nullptr;
  const ViewSlot* current = controller_->GetCurrent();
  if (!current || !current->cell || current < first || current >= first + count) return nullptr;
  return current->cell;
}

void CellBlock::Forget(const ViewSlot* first, size_t count) {
  if (!controller_) return;
  for (size_t i = 0; i < count; ++i) controller_->Forget(&first[i]);
}
