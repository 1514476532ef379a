#pragma once

#include <QLineEdit>

#include "editor/CellValues.h"

// An integer cell: one byte of the image as one or two hexadecimal digits. The program's own
// settings of the text put the caret where the rules expect it and then run the change
// notification once; typing runs it through the edit's own change signal.
class ViewIntElementClass : public QLineEdit, public IntCellView {
  Q_OBJECT
 public:
  ViewIntElementClass(QWidget* window, ViewControllerClass& controller);
  QString Text() const override { return text(); }

  static constexpr int kHeight = 24;
  // 20 pixels with one digit, 14 per digit otherwise.
  static int WidthFor(int digits) { return digits == 1 ? 20 : 14 * digits; }

 protected:
  void ReplaceText(const QString& text, bool caretAtEnd) override;
  void Paint(bool highlighted) override;
  void TakeFocus() override { setFocus(); }
  void mouseReleaseEvent(QMouseEvent* event) override;
};
