#include "ui/tables/PrgDVO2CL.h"

#include "core/tables/ImageLayout.h"

TPrgDVO2CLForm::TPrgDVO2CLForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Program DVO-2 CityLine"),
                 QStringLiteral("ДВО-2 городских линий"), {kHelpTopic, false, false}) {
  BuildByteTable({QStringLiteral("№ГЛ"),
                  false,
                  QStringLiteral("ДС"),
                  8,
                  7,
                  37,
                  8,
                  74,
                  37,
                  {},
                  {DVO2Line},
                  kCityLineButtonsTop});
  Start();
}
