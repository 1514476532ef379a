#include "ui/editor/ViewService.h"

#include <QLabel>

#include "core/base/OperatorUi.h"
#include "core/station/ImageAccess.h"

void BuildRowMarks(QWidget* window, const ImageAccess& station, OperatorUi& ui, int& count,
                   RowMarks& marks, const QWidget* reference, int pitch, bool subscribers) {
  count = subscribers ? station.SubscriberCount() : station.CityLineCount();
  if (count > static_cast<int>(marks.size())) {
    ui.InfoBox(kInvalidRowMarks, true);
    return;
  }
  const int left = reference->x() + 10;
  const int top = reference->y() + reference->height();
  for (int i = 0; i < count; ++i) {
    CreateRowMark(window, marks, subscribers ? 20 + i : 1 + i, i, left, top + pitch * i);
  }
}

void CreateRowMark(QWidget* window, RowMarks& marks, int number, int index, int left, int top) {
  const QString digits = QString::number(number).left(3);
  auto* mark = new QLabel(digits, window);
  mark->setObjectName(QStringLiteral("Mark") + digits);
  QFont font = mark->font();
  font.setPointSize(10);
  mark->setFont(font);
  mark->setGeometry(left, top, 20, 15);
  mark->show();
  marks[index] = mark;
}

void FreeRowMarks(RowMarks& marks, int count) {
  for (int i = 0; i < count && i < static_cast<int>(marks.size()); ++i) {
    delete marks[i];
    marks[i] = nullptr;
  }
}
