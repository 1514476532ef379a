#include "ui/tables/PrgDVO2CL.h"

#include "core/image/ImageLayout.h"

TPrgDVO2CLForm::TPrgDVO2CLForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, TableId::kDVO2Lines,
                 {.tabBetweenBlocks = false, .signsTypeHash = false}) {
  BuildByteTable({.style = kServiceColumns, .lastBit = 7, .buttonsTop = kCityLineButtonsTop});
  Start();
}
