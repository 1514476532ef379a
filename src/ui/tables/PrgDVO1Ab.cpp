#include "ui/tables/PrgDVO1Ab.h"

#include "core/image/ImageLayout.h"

TPrgDVO1AbForm::TPrgDVO1AbForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Program DVO-1 Abonent"),
                 QStringLiteral("ДВО-1 абонентов"),
                 {.helpTopic = kHelpTopic, .tabBetweenBlocks = true, .signsTypeHash = false}) {
  BuildByteTable(
      {.rowHeader = QStringLiteral("№аб"),
       .subscribers = true,
       .columnPrefix = QStringLiteral("ОС"),
       .style = kServiceColumns,
       .lastBit = 7,
       .modeLabels = {QStringLiteral("Основной режим"), QStringLiteral("Дополнительный режим")},
       .kinds = {DVO1AbonentBasic, DVO1AbonentAdd},
       .buttonsTop = kServicePairButtonsTop});
  Start();
}
