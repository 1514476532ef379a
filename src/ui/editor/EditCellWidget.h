#pragma once

#include <QLineEdit>
#include <QMouseEvent>

#include "core/editor/CellValues.h"
#include "ui/editor/CellWidgets.h"
#include "ui/editor/ChangeMark.h"

// An edit cell on the screen: a one-line edit whose text the cell's rules keep in shape. The
// program's own settings of the text put the caret where the rules expect it and then run the
// change notification once; typing runs it through the edit's own change signal.
//
// A cell made current by the keyboard or by the program selects its whole text, as the
// platform's edit controls do when they get the focus other than by the mouse: what the
// operator types then replaces the value instead of landing in front of it, and Backspace
// clears it. A mouse click places the caret where the mouse is.
template <class Cell>
class EditCellWidget : public QLineEdit, public Cell {
 public:
  EditCellWidget(QWidget* window, ViewControllerClass& controller)
      : QLineEdit(window), Cell(controller) {
    QObject::connect(this, &QLineEdit::textChanged, this, [this] { this->Change(); });
  }
  QString Text() const override { return text(); }
  void ShowChanged(bool changed) override { ShowChangeMark(this, changed); }

 protected:
  void ReplaceText(const QString& text, bool caretAtEnd) override {
    ReplaceEditText(this, text, caretAtEnd);
  }
  void Paint(bool highlighted) override { PaintEdit(this, highlighted); }
  void TakeFocus() override {
    setFocus();
    if (!clicking_) selectAll();
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    QLineEdit::mouseReleaseEvent(event);
    if (!IsClick(this, event)) return;
    clicking_ = true;
    this->Click();
    clicking_ = false;
  }

 private:
  bool clicking_ = false;
};
