#pragma once

#include <QString>
#include <optional>

#include "core/editor/ViewControl.h"
#include "core/image/CellTexts.h"

// The edit cells and the rules that keep their texts in shape while the operator types.

// One correction of a cell's text: the new text, and whether the caret goes after its last
// character (otherwise it goes to the front, where the control puts it when the program sets a
// text).
struct TextCorrection {
  QString text;
  bool caretAtEnd = false;
};

// Integer cells: the correction after a change of the text.
// The correction the cell makes after a change of its text, or none when the text stands.
std::optional<TextCorrection> IntCellChange(const QString& text, int digits);

// City-line cells.
// The text with the delay sign set or cleared; none for "** ", which keeps its text.
std::optional<QString> CLineDelaySignText(const QString& text, bool on);
std::optional<TextCorrection> CLineCellChange(const QString& text);

// An edit cell as the editor sees it: a text that the program sets or the operator types, and
// the control's change notification after every change of it.
class EditCellView : public CellView {
 public:
  using CellView::CellView;

  virtual QString Text() const = 0;
  // Sets the text as the program does; the change notification runs when it differs.
  void SetText(const QString& text, bool caretAtEnd = false);
  // Runs after every change of the text, typed or set.
  virtual void Change() = 0;

 protected:
  // Puts the text in place and the caret where asked, without the change notification.
  virtual void ReplaceText(const QString& text, bool caretAtEnd) = 0;
  void Apply(const std::optional<TextCorrection>& correction);
};

class IntCellView : public EditCellView {
 public:
  using EditCellView::EditCellView;
  quint16 Digits = 2;

  quint8 Value() const override { return IntCellValue(Text()); }
  void SetValue(quint8 value) override { SetText(IntCellText(value, Digits)); }
  void Change() override;
};

class CLineCellView : public EditCellView {
 public:
  using EditCellView::EditCellView;

  quint8 Value() const override { return CLineCellValue(Text()); }
  void SetValue(quint8 value) override { SetText(CLineCellText(value)); }
  void SetDelaySign(bool on) override;
  void Change() override;
};
