#include "ui/tables/PrgDVO2Ab.h"

#include "core/image/ImageLayout.h"

TPrgDVO2AbForm::TPrgDVO2AbForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, TableId::kDVO2Subscribers,
                 {.tabBetweenBlocks = false, .signsTypeHash = false}) {
  BuildByteTable({.style = kServiceColumns, .lastBit = 7, .buttonsTop = kSubscriberButtonsTop});
  Start();
}
