#include "ui/tables/PrgAddDigit.h"

#include <QLabel>

#include "core/image/ImageLayout.h"
#include "core/station/ImageAccess.h"

TPrgAddDigitForm::TPrgAddDigitForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, TableId::kAddDigits,
                 {.tabBetweenBlocks = false, .signsTypeHash = false}) {
  RowHeader = AddLabel(QStringLiteral("№ГЛ"), kLeft, kHeaderTop, 40);
  QLabel* digit = AddLabel(QStringLiteral("Цифра"), 70, kHeaderTop, 60);
  BuildRowMarks(RowHeader, 24, false);
  const quint16 lines = context.station.CityLineCount();
  ViewIntBlockClass& block = cycle_.AddIntBlock({{AddDigit, 0}});
  block.Setup(cells_, lines, 0);
  block.AddCells(lines, 0, digit->x() + 10, digit->y() + digit->height() - 1, 2);
  constexpr int kButtonsTop = 300;
  AddButtons(kButtonsTop);
  FitSize(2 * kButtonWidth + 3 * kLeft, kButtonsTop + kButtonHeight + 12);
  Start();
}
