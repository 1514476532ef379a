#include "ui/tables/PrgDVO2CL.h"

#include "core/image/ImageLayout.h"

TPrgDVO2CLForm::TPrgDVO2CLForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Program DVO-2 CityLine"),
                 QStringLiteral("ДВО-2 городских линий"),
                 {.helpTopic = kHelpTopic, .tabBetweenBlocks = false, .signsTypeHash = false}) {
  BuildByteTable({.rowHeader = QStringLiteral("№ГЛ"),
                  .subscribers = false,
                  .columnPrefix = QStringLiteral("ДС"),
                  .style = kServiceColumns,
                  .lastBit = 7,
                  .modeLabels = {},
                  .kinds = {DVO2Line},
                  .buttonsTop = kCityLineButtonsTop});
  Start();
}
