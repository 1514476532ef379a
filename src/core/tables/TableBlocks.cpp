#include "core/tables/TableBlocks.h"

bool ByteTableBlock::HoldsCurrent() const {
  const auto position = block.CurrentPosition();
  return position && block.Contains(position->rowId);
}

void ByteTableBlock::SelectCounterpartOf(const TableBlock& from) {
  const auto* other = dynamic_cast<const ByteTableBlock*>(&from);
  if (!other) return;
  const auto position = other->block.CurrentPosition();
  if (!position) return;
  // Row ids differ by the blocks' first rows (24 between a window's two blocks).
  block.Select(static_cast<quint16>(position->rowId - other->block.FirstRow + block.FirstRow),
               position->bit);
}

bool IntTableBlock::HoldsCurrent() const {
  const auto id = block.CurrentPosition();
  return id && block.Contains(*id);
}

void IntTableBlock::SelectCounterpartOf(const TableBlock& from) {
  const auto* other = dynamic_cast<const IntTableBlock*>(&from);
  if (!other) return;
  const auto id = other->block.CurrentPosition();
  if (!id) return;
  block.Select(static_cast<quint16>(*id - other->block.FirstId + block.FirstId));
}

void IntTableBlock::Load(const ConfigImage& image) {
  for (const auto& [descriptor, firstSlot] : regions_) {
    block.LoadFromImage(image, descriptor, firstSlot);
  }
}

void IntTableBlock::Store(ConfigImage& buffer) const {
  for (const auto& [descriptor, firstSlot] : regions_) {
    block.StoreToImage(buffer, descriptor, firstSlot);
  }
}
