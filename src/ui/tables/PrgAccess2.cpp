#include "ui/tables/PrgAccess2.h"

#include "core/image/ImageLayout.h"

TPrgAccess2Form::TPrgAccess2Form(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, TableId::kLongDistanceAccess,
                 {.tabBetweenBlocks = false, .signsTypeHash = false}) {
  BuildByteTable(
      {.style = kAccessColumns, .lastBit = LastLine(context), .buttonsTop = kSubscriberButtonsTop});
  Start();
}
