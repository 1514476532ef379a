#include "ui/tables/PrgDVO1Ab.h"

#include "core/tables/ImageLayout.h"

TPrgDVO1AbForm::TPrgDVO1AbForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Program DVO-1 Abonent"),
                 QStringLiteral("ДВО-1 абонентов"), {kHelpTopic, true, false}) {
  BuildByteTable({QStringLiteral("№аб"),
                  true,
                  QStringLiteral("ОС"),
                  8,
                  7,
                  37,
                  8,
                  74,
                  37,
                  {QStringLiteral("Основной режим"), QStringLiteral("Дополнительный режим")},
                  {DVO1AbonentBasic, DVO1AbonentAdd},
                  470});
  Start();
}
