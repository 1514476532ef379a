#include "editor/ViewBitElement.h"

#include <QApplication>

#include "editor/CellWidgets.h"

ViewBitElementClass::ViewBitElementClass(QWidget* window, ViewControllerClass& controller)
    : QCheckBox(window), CellView(controller) {
  setAutoFillBackground(true);
  connect(this, &QCheckBox::toggled, this, [this] { Click(); });
}

void ViewBitElementClass::Paint(bool highlighted) {
  QPalette colours = palette();
  colours.setColor(backgroundRole(), QApplication::palette().color(highlighted ? QPalette::Highlight
                                                                               : QPalette::Button));
  setPalette(colours);
}
