#include "ui/editor/ViewBitElement.h"

#include <QApplication>

#include "ui/editor/CellWidgets.h"
#include "ui/editor/ChangeMark.h"

ViewBitElementClass::ViewBitElementClass(QWidget* window, ViewControllerClass& controller)
    : QCheckBox(window), CellView(controller) {
  setAutoFillBackground(true);
  connect(this, &QCheckBox::toggled, this, [this] { Click(); });
}

void ViewBitElementClass::ShowChanged(bool changed) {
  ShowChangeMark(this, changed);
}

void ViewBitElementClass::Paint(bool highlighted) {
  // The current cell is the whole cell in the highlight colour, its box included, so that it
  // is plain at a glance even where the columns stand close together; the tick is drawn in
  // the highlighted text's colour on it.
  const QPalette system = QApplication::palette();
  QPalette colours = system;
  if (highlighted) {
    const QColor back = system.color(QPalette::Highlight);
    const QColor fore = system.color(QPalette::HighlightedText);
    for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base}) {
      colours.setColor(role, back);
    }
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
      colours.setColor(role, fore);
    }
  } else {
    colours.setColor(backgroundRole(), system.color(QPalette::Button));
  }
  setPalette(colours);
}
