#include "ui/tables/PrgDVO2Ab.h"

#include "core/tables/ImageLayout.h"

TPrgDVO2AbForm::TPrgDVO2AbForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Program DVO-2 Abonent"),
                 QStringLiteral("ДВО-2 абонентов"), {kHelpTopic, false, false}) {
  BuildByteTable({QStringLiteral("№аб"),
                  true,
                  QStringLiteral("ДС"),
                  8,
                  7,
                  37,
                  8,
                  74,
                  37,
                  {},
                  {DVO2Abonent},
                  430});
  Start();
}
