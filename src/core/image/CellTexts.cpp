#include "core/image/CellTexts.h"

#include "core/image/ImageLayout.h"

bool IsHexNumber(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar c : text) {
    if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'))) {
      return false;
    }
  }
  return true;
}

std::optional<int> DecimalNumber(const QString& text) {
  if (text.isEmpty()) return std::nullopt;
  int value = 0;
  for (QChar c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c.unicode() - u'0');
  }
  return value;
}

QString IntCellText(quint8 value, int digits) {
  return QString::number(value, 16).toUpper().rightJustified(digits, u'0');
}

quint8 IntCellValue(const QString& text) {
  if (!IsHexNumber(text)) return 0;
  unsigned value = 0;
  for (QChar c : text) value = (value << 4) | static_cast<unsigned>(QString(c).toUInt(nullptr, 16));
  return static_cast<quint8>(value & 0xFF);
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
