#include "core/editor/CellValues.h"

#include "core/tables/ImageLayout.h"

namespace {

bool IsHexNumber(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar c : text) {
    if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'))) {
      return false;
    }
  }
  return true;
}

// A whole decimal number of 0 or more: digits only, no sign and no blanks.
std::optional<int> DecimalNumber(const QString& text) {
  if (text.isEmpty()) return std::nullopt;
  int value = 0;
  for (QChar c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c.unicode() - u'0');
  }
  return value;
}

}  // namespace

QString IntCellText(quint8 value, int digits) {
  return QString::number(value, 16).toUpper().rightJustified(digits, u'0');
}

quint8 IntCellValue(const QString& text) {
  if (!IsHexNumber(text)) return 0;
  unsigned value = 0;
  for (QChar c : text) value = (value << 4) | static_cast<unsigned>(QString(c).toUInt(nullptr, 16));
  return static_cast<quint8>(value & 0xFF);
}

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

QString CLineCellText(quint8 value) {
  const bool sign = value & kDelaySign;
  const quint8 code = value & ~kDelaySign;
  const int subscriber = SubscriberFromCode(code);
  if (subscriber > 0) return QString::number(subscriber) + (sign ? u'+' : u' ');
  return code != 0 ? kInvalidEntryText : QString();
}

quint8 CLineCellValue(const QString& text) {
  if (text == kInvalidEntryText) return 0;
  if (text.size() != 2 && text.size() != 3) return 0;
  const std::optional<int> subscriber = DecimalNumber(text.left(2));
  if (!subscriber || *subscriber < kFirstSubscriber || *subscriber > kLastSubscriber) return 0;
  quint8 value = SubscriberCode(*subscriber);
  if (text.size() == 3 && text[2] == u'+') value |= kDelaySign;
  return value;
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
