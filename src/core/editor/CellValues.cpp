#include "core/editor/CellValues.h"

#include "core/image/CellTexts.h"

std::optional<TextCorrection> IntCellChange(const QString& text, int digits) {
  const qsizetype length = text.size();
  if (length == 0) return std::nullopt;
  if (length == digits) {
    if (IsHexNumber(text)) return std::nullopt;
    return TextCorrection{length == 1 ? QStringLiteral("0") : text.chopped(1), true};
  }
  // A digit typed into a full cell pushes out the first one. The caret goes to the end in
  // both corrections, so that typing goes on where the operator was typing.
  return TextCorrection{length > digits ? text.right(digits) : text, true};
}

std::optional<QString> CLineDelaySignText(const QString& text, bool on) {
  if (text == kInvalidEntryText) return std::nullopt;
  return text.left(2) + (on ? u'+' : u' ');
}

std::optional<TextCorrection> CLineCellChange(const QString& text) {
  const qsizetype length = text.size();
  const QChar third = length >= 3 ? text[2] : QChar();
  const bool numberExpected =
      (length == 3 && text != kInvalidEntryText && third == u' ') || third == u'+';
  if (numberExpected) {
    if (DecimalNumber(text.left(2))) return std::nullopt;
    return TextCorrection{QString(), false};
  }
  if (length < 3) return std::nullopt;
  // The city-line window types "#" for the "+" and "-" that set the delay sign; the cell takes
  // it out again, so the sign character itself never stays in the text.
  const qsizetype hash = text.indexOf(u'#');
  if (hash >= 0) return TextCorrection{QString(text).remove(hash, 1), false};
  if (text == kInvalidEntryText) return std::nullopt;
  return TextCorrection{kInvalidEntryText, false};
}

void EditCellView::SetText(const QString& text, bool caretAtEnd) {
  const bool changed = text != Text();
  ReplaceText(text, caretAtEnd);
  if (changed) Change();
}

void EditCellView::Apply(const std::optional<TextCorrection>& correction) {
  if (correction) SetText(correction->text, correction->caretAtEnd);
}

void IntCellView::Change() {
  Controller().SetEdited();
  Apply(IntCellChange(Text(), Digits));
}

void CLineCellView::SetDelaySign(bool on) {
  if (const std::optional<QString> text = CLineDelaySignText(Text(), on)) SetText(*text);
}

void CLineCellView::Change() {
  Controller().SetEdited();
  Apply(CLineCellChange(Text()));
}
