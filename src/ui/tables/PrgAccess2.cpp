#include "ui/tables/PrgAccess2.h"

#include "core/image/ImageLayout.h"

TPrgAccess2Form::TPrgAccess2Form(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Access2"),
                 QStringLiteral("Доступ абонентов к МТС"),
                 {.helpTopic = kHelpTopic, .tabBetweenBlocks = false, .signsTypeHash = false}) {
  BuildByteTable({.rowHeader = QStringLiteral("№аб"),
                  .subscribers = true,
                  .columnPrefix = QString(),
                  .style = kAccessColumns,
                  .lastBit = LastLine(context),
                  .modeLabels = {},
                  .kinds = {MTS},
                  .buttonsTop = kSubscriberButtonsTop});
  Start();
}
