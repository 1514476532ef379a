#pragma once

#include <QLineEdit>

#include "editor/CellValues.h"

// A city-line cell: one call-distribution byte, shown as the subscriber number followed by a
// blank or by the delay sign "+". Text settings work as in the integer cell.
class ViewCLineElementClass : public QLineEdit, public CLineCellView {
  Q_OBJECT
 public:
  ViewCLineElementClass(QWidget* window, ViewControllerClass& controller);
  QString Text() const override { return text(); }

  static constexpr int kWidth = 36;
  static constexpr int kHeight = 24;

 protected:
  void ReplaceText(const QString& text, bool caretAtEnd) override;
  void Paint(bool highlighted) override;
  void TakeFocus() override { setFocus(); }
  void mouseReleaseEvent(QMouseEvent* event) override;
};
