#include "ui/tables/PrgDVO1Ab.h"

#include "core/image/ImageLayout.h"

TPrgDVO1AbForm::TPrgDVO1AbForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, TableId::kDVO1Subscribers,
                 {.tabBetweenBlocks = true, .signsTypeHash = false}) {
  BuildByteTable({.style = kServiceColumns, .lastBit = 7, .buttonsTop = kServicePairButtonsTop});
  Start();
}
