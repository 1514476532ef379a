#pragma once

#include "ui/editor/EditCellWidget.h"

// A city-line cell: one call-distribution byte, shown as the subscriber number followed by a
// blank or by the delay sign "+".
class ViewCLineElementClass : public EditCellWidget<CLineCellView> {
  Q_OBJECT
 public:
  using EditCellWidget::EditCellWidget;

  static constexpr int kWidth = 36;
  static constexpr int kHeight = 24;
};
