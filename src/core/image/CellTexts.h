#pragma once

#include <QString>
#include <optional>

// Image bytes as the table cells show them, and back: the windows, the configuration
// description and the checks all speak of a byte in these words.

// A text of hexadecimal digits only, at least one.
bool IsHexNumber(const QString& text);
// A whole decimal number of 0 or more: digits only, no sign and no blanks.
std::optional<int> DecimalNumber(const QString& text);

// Integer cells: one byte as one or two hexadecimal digits.
QString IntCellText(quint8 value, int digits);
// An empty text, or one that is no hexadecimal number, reads as 0; otherwise the low 8 bits.
quint8 IntCellValue(const QString& text);

// City-line cells: empty, a subscriber number followed by a blank or by "+" (the delay sign),
// or "** " for a byte that held no valid entry.
inline const QString kInvalidEntryText = QStringLiteral("** ");
QString CLineCellText(quint8 value);
quint8 CLineCellValue(const QString& text);
