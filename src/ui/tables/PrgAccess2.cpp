#include "ui/tables/PrgAccess2.h"

#include "core/tables/ImageLayout.h"

TPrgAccess2Form::TPrgAccess2Form(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, QStringLiteral("Norvel Access2"),
                 QStringLiteral("Доступ абонентов к МТС"), {kHelpTopic, false, false}) {
  BuildByteTable(
      {QStringLiteral("№аб"), true, QString(), 8, LastLine(context), 21, 0, 42, 0, {}, {MTS}, 430});
  Start();
}
