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
       .columns = 8,
       .lastBit = 7,
       .step = 37,
       .cellShift = 8,
       .blockGap = 74,
       .modeLabelShift = 37,
       .modeLabels = {QStringLiteral("Основной режим"), QStringLiteral("Дополнительный режим")},
       .kinds = {DVO1LineBasic, DVO1LineAdd},
       .buttonsTop = kCityLineButtonsTop});
  Start();
}
