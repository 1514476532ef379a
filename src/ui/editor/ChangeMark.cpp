#include "ui/editor/ChangeMark.h"

#include <QPainter>
#include <QPolygon>
#include <QVariant>
#include <QWidget>

namespace {

constexpr int kSize = 7;
const char kProperty[] = "norvelChangeMark";

class Mark : public QWidget {
 public:
  explicit Mark(QWidget* cell) : QWidget(cell) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    resize(kSize, kSize);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0x8A, 0x4B, 0x00));
    painter.setBrush(QColor(0xF2, 0x8C, 0x00));
    painter.drawPolygon(QPolygon({QPoint(0, 0), QPoint(kSize, 0), QPoint(kSize, kSize)}));
  }
};

Mark* MarkOf(const QWidget* cell) {
  return dynamic_cast<Mark*>(cell->property(kProperty).value<QObject*>());
}

}  // namespace

void ShowChangeMark(QWidget* cell, bool changed) {
  Mark* mark = MarkOf(cell);
  if (!changed) {
    if (mark) mark->hide();
    return;
  }
  if (!mark) {
    mark = new Mark(cell);
    cell->setProperty(kProperty, QVariant::fromValue<QObject*>(mark));
  }
  mark->move(cell->width() - kSize, 0);
  // Above the control's own children (a spin box's edit field).
  mark->raise();
  mark->show();
}

bool HasChangeMark(const QWidget* cell) {
  const Mark* mark = MarkOf(cell);
  return mark && !mark->isHidden();
}
