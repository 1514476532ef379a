#include "ui/tables/PrgAccess1.h"

#include "core/image/ImageLayout.h"

TPrgAccess1Form::TPrgAccess1Form(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Access1"),
                 QStringLiteral("Доступ абонентов к ГТС"),
                 {.helpTopic = kHelpTopic, .tabBetweenBlocks = true, .signsTypeHash = false}) {
  BuildByteTable({.rowHeader = QStringLiteral("№аб"),
                  .subscribers = true,
                  .columnPrefix = QString(),
                  .style = kAccessColumns,
                  .lastBit = LastLine(context),
                  .modeLabels = {QStringLiteral("Основной режим"), QStringLiteral("Дополн. режим")},
                  .kinds = {GTSBasic, GTSAdd},
                  .buttonsTop = kAccessPairButtonsTop});
  Start();
}
