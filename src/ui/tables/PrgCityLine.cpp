#include "ui/tables/PrgCityLine.h"

#include <QLabel>

#include "core/station/ImageAccess.h"

TPrgCityLineForm::TPrgCityLineForm(ProgrammingContext& context, QWidget* owner)
    : TTableForm(context, owner, TableId::kCityLineCalls,
                 {.tabBetweenBlocks = false, .signsTypeHash = true},
                 context.station.CityLineLayout()) {
  if (!context.station.CityLineLayout()) return;
  RowHeader = AddLabel(QStringLiteral("№ГЛ"), kLeft, kHeaderTop, 40);
  // Headers 50 pixels apart; the additional mode's first 100 pixels after the basic "4".
  const int basic = kLeft + 50;
  const int additional = basic + 3 * 50 + 100;
  for (int c = 0; c < 4; ++c) {
    AddLabel(QString::number(c + 1), basic + 50 * c, kHeaderTop, 36);
    AddLabel(QString::number(c + 1), additional + 50 * c, kHeaderTop, 36);
  }
  AddLabel(QStringLiteral("Основной режим"), basic, kModeTop, 190);
  AddLabel(QStringLiteral("Дополнительный режим"), additional, kModeTop, 190);
  BuildRowMarks(RowHeader, 24, false);

  const quint16 lines = context.station.CityLineCount();
  ViewCLineBlockClass& block = cycle_.AddCLineBlock();
  block.Setup(cells_, lines);
  block.CreateCells(lines, basic, additional - 10, kHeaderTop + kHeaderHeight - 1, 47);

  const int buttonsTop = kHeaderTop + kHeaderHeight + 8 * 24 + 12;
  AddButtons(buttonsTop, false);
  FitSize(additional + 3 * 50 + 36 + kLeft, buttonsTop + kButtonHeight + 12);
  Start();
}
