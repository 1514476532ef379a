#include "ui/tables/PrgAccess1.h"

#include "core/image/ImageLayout.h"

TPrgAccess1Form::TPrgAccess1Form(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, TableId::kCityAccess,
                 {.tabBetweenBlocks = true, .signsTypeHash = false}) {
  BuildByteTable(
      {.style = kAccessColumns, .lastBit = LastLine(context), .buttonsTop = kAccessPairButtonsTop});
  Start();
}
