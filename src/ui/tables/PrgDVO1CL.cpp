#include "ui/tables/PrgDVO1CL.h"

#include "core/image/ImageLayout.h"

TPrgDVO1CLForm::TPrgDVO1CLForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, TableId::kDVO1Lines,
                 {.tabBetweenBlocks = true, .signsTypeHash = false}) {
  BuildByteTable({.style = kServiceColumns, .lastBit = 7, .buttonsTop = kCityLineButtonsTop});
  Start();
}
