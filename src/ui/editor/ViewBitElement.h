#pragma once

#include <QCheckBox>

#include "core/editor/ViewControl.h"

// A bit cell: a check box for one bit of the image. Any change of its checked state, by the
// mouse, a key or the program, runs Click; setting the state it already has does nothing.
class ViewBitElementClass : public QCheckBox, public CellView {
  Q_OBJECT
 public:
  ViewBitElementClass(QWidget* window, ViewControllerClass& controller);

  quint8 Value() const override { return isChecked() ? 1 : 0; }
  void SetValue(quint8 value) override { setChecked(value != 0); }
  void ShowChanged(bool changed) override;

  static constexpr int kWidth = 20;
  static constexpr int kHeight = 15;

 protected:
  void Paint(bool highlighted) override;
  void TakeFocus() override { setFocus(); }
};
