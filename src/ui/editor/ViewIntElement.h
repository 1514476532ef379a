#pragma once

#include "ui/editor/EditCellWidget.h"

// An integer cell: one byte of the image as one or two hexadecimal digits.
class ViewIntElementClass : public EditCellWidget<IntCellView> {
  Q_OBJECT
 public:
  using EditCellWidget::EditCellWidget;

  static constexpr int kHeight = 24;
  // 20 pixels with one digit, 14 per digit otherwise.
  static int WidthFor(int digits) { return digits == 1 ? 20 : 14 * digits; }
};
