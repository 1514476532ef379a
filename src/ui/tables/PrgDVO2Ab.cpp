#include "ui/tables/PrgDVO2Ab.h"

#include "core/image/ImageLayout.h"

TPrgDVO2AbForm::TPrgDVO2AbForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Program DVO-2 Abonent"),
                 QStringLiteral("ДВО-2 абонентов"),
                 {.helpTopic = kHelpTopic, .tabBetweenBlocks = false, .signsTypeHash = false}) {
  BuildByteTable({.rowHeader = QStringLiteral("№аб"),
                  .subscribers = true,
                  .columnPrefix = QStringLiteral("ДС"),
                  .style = kServiceColumns,
                  .lastBit = 7,
                  .modeLabels = {},
                  .kinds = {DVO2Abonent},
                  .buttonsTop = kSubscriberButtonsTop});
  Start();
}
