#include "core/editor/ViewIntBlock.h"

#include "core/editor/CellHost.h"
#include "core/image/ImageLayout.h"

ViewIntBlockClass::~ViewIntBlockClass() {
  Forget(Cells.data(), Cells.size());
}

void ViewIntBlockClass::Setup(CellHost& window, quint16 capacity, quint16 firstId) {
  if (!Attach(window, capacity, kMaxCapacity)) return;
  Capacity = capacity;
  FirstId = firstId;
}

CellView* ViewIntBlockClass::Cell(int slot) const {
  return slot >= 0 && slot < Capacity ? Cells[slot].cell : nullptr;
}

void ViewIntBlockClass::AddCells(quint16 n, quint16 firstSlot, int left, int top, quint16 digits) {
  if (!window_) return;
  for (quint16 f = 0; f < n && firstSlot + f < Capacity; ++f) {
    const quint16 slot = static_cast<quint16>(firstSlot + f);
    CreateIntCell(*window_, static_cast<quint16>(FirstId + slot), left, top + 24 * f, digits,
                  Cells[slot]);
  }
}

void ViewIntBlockClass::LoadFromImage(const ConfigImage& image, quint8 descriptor,
                                      quint16 firstSlot) {
  for (int i = 0; i < RegionRowCount(descriptor) && i < Capacity; ++i) {
    if (CellView* cell = Cell(firstSlot + i)) cell->SetValue(image[RegionOffset(descriptor, i)]);
  }
}

void ViewIntBlockClass::StoreToImage(ConfigImage& buffer, quint8 descriptor,
                                     quint16 firstSlot) const {
  for (int i = 0; i < RegionRowCount(descriptor) && i < Capacity; ++i) {
    if (CellView* cell = Cell(firstSlot + i)) buffer[RegionOffset(descriptor, i)] = cell->Value();
  }
}

void ViewIntBlockClass::Select(quint16 id) {
  if (!Contains(id) || !Cell(id - FirstId)) return;
  SelectSlot(*controller_, Cells[id - FirstId]);
}

std::optional<quint16> ViewIntBlockClass::CurrentPosition() const {
  if (!controller_) return std::nullopt;
  const ViewSlot* current = controller_->GetCurrent();
  if (!current || !current->cell) return std::nullopt;
  return current->cell->Id;
}

std::optional<CellPlace> ViewIntBlockClass::CurrentPlace() const {
  const CellView* cell = CurrentOf(Cells.data(), Cells.size());
  if (!cell) return std::nullopt;
  return CellPlace{cell->Id - FirstId, 0};
}

void ViewIntBlockClass::SelectPlace(CellPlace place) {
  if (place.index >= 0) Select(static_cast<quint16>(FirstId + place.index));
}

void ViewIntBlockClass::Load(const ConfigImage& image) {
  for (const auto& [descriptor, firstSlot] : regions_) LoadFromImage(image, descriptor, firstSlot);
}

void ViewIntBlockClass::Store(ConfigImage& buffer) const {
  for (const auto& [descriptor, firstSlot] : regions_) StoreToImage(buffer, descriptor, firstSlot);
}

void ViewIntBlockClass::HandleKey(quint16 key, ShiftState shift) {
  Q_UNUSED(shift);
  const std::optional<quint16> id = CurrentPosition();
  if (!id || !Contains(*id)) return;
  // Ids run through the slots in order, so Up and Down cross from one column to the next.
  if (key == viewkey::kUp && *id > FirstId) Select(*id - 1);
  if (key == viewkey::kDown && *id + 1 < FirstId + Capacity) Select(*id + 1);
}

void ViewIntBlockClass::ForEachCell(const CellVisitor& visit) const {
  for (const auto& [descriptor, firstSlot] : regions_) {
    for (int i = 0; i < RegionRowCount(descriptor) && i < Capacity; ++i) {
      if (CellView* cell = Cell(firstSlot + i)) visit(*cell, RegionOffset(descriptor, i), 0xFF);
    }
  }
}
