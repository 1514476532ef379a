#include "ui/tables/PrgAccess1.h"

#include "core/tables/ImageLayout.h"

TPrgAccess1Form::TPrgAccess1Form(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Access1"),
                 QStringLiteral("Доступ абонентов к ГТС"), {kHelpTopic, true, false}) {
  BuildByteTable({QStringLiteral("№аб"),
                  true,
                  QString(),
                  8,
                  LastLine(context),
                  21,
                  0,
                  42,
                  0,
                  {QStringLiteral("Основной режим"), QStringLiteral("Дополн. режим")},
                  {GTSBasic, GTSAdd},
                  450});
  Start();
}
