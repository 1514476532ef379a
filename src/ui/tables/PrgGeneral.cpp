#include "ui/tables/PrgGeneral.h"

#include <QLabel>

#include "core/image/ImageLayout.h"

TPrgGeneralForm::TPrgGeneralForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, TableId::kGeneral,
                 {.tabBetweenBlocks = true, .signsTypeHash = false}) {
  constexpr int kRowsTop = 60;
  constexpr int kBasic = 300;
  constexpr int kAdditional = 360;
  const QStringList rows = {
      QStringLiteral("Номер телефона 1 селектора"), QStringLiteral("Номер телефона 2 селектора"),
      QStringLiteral("Номер телефона 3 селектора"), QStringLiteral("Распределение занятия ГЛ")};
  for (int r = 0; r < rows.size(); ++r) AddLabel(rows[r], kLeft, kRowsTop + 24 * r, 270, 24);
  AddLabel(QStringLiteral("Осн."), kBasic, kModeTop, 50);
  AddLabel(QStringLiteral("Доп."), kAdditional, kModeTop, 50);
  // The placeholders mark where the cells go; the cells cover them.
  QLabel* one = AddLabel(QStringLiteral("1"), kBasic, kRowsTop, 20, 24);
  QLabel* two = AddLabel(QStringLiteral("2"), kBasic, kRowsTop + 3 * 24, 20, 24);
  QLabel* three = AddLabel(QStringLiteral("3"), kAdditional, kRowsTop, 20, 24);

  ViewIntBlockClass& left = cycle_.AddIntBlock({{SelectorBasic, 0}, {LineSeizure, 3}});
  left.Setup(cells_, 9, 0);
  left.AddCells(3, 0, one->x(), one->y(), 2);
  left.AddCells(1, 3, two->x(), two->y(), 1);
  ViewIntBlockClass& right = cycle_.AddIntBlock({{SelectorAdd, 0}});
  right.Setup(cells_, 9, 9);
  right.AddCells(3, 0, three->x(), three->y(), 2);

  constexpr int kButtonsTop = kRowsTop + 4 * 24 + 20;
  AddButtons(kButtonsTop);
  FitSize(kAdditional + 28 + 3 * kLeft, kButtonsTop + kButtonHeight + 12);
  Start();
}
