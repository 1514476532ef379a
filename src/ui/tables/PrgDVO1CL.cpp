#include "ui/tables/PrgDVO1CL.h"

#include "core/image/ImageLayout.h"

TPrgDVO1CLForm::TPrgDVO1CLForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Program DVO-1 CityLine"),
                 QStringLiteral("ДВО-1 городских линий"),
                 {.helpTopic = kHelpTopic, .tabBetweenBlocks = true, .signsTypeHash = false}) {
  BuildByteTable(
      {.rowHeader = QStringLiteral("№ГЛ"),
       .subscribers = false,
       .columnPrefix = QStringLiteral("ОС"),
       .style = kServiceColumns,
       .lastBit = 7,
       .modeLabels = {QStringLiteral("Основной режим"), QStringLiteral("Дополнительный режим")},
       .kinds = {DVO1LineBasic, DVO1LineAdd},
       .buttonsTop = kCityLineButtonsTop});
  Start();
}
