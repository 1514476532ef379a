#include "ui/tables/PrgDVO1CL.h"

#include "core/tables/ImageLayout.h"

TPrgDVO1CLForm::TPrgDVO1CLForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Program DVO-1 CityLine"),
                 QStringLiteral("ДВО-1 городских линий"), {kHelpTopic, true, false}) {
  BuildByteTable({QStringLiteral("№ГЛ"),
                  false,
                  QStringLiteral("ОС"),
                  8,
                  7,
                  37,
                  8,
                  74,
                  37,
                  {QStringLiteral("Основной режим"), QStringLiteral("Дополнительный режим")},
                  {DVO1LineBasic, DVO1LineAdd},
                  kCityLineButtonsTop});
  Start();
}
