#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "core/image/ConfigImage.h"

// The configuration as a text a person can read, review and keep in version control: one
// setting per line, "table, half, row, column = value", in the table windows' own words and in
// their order, with a comment naming each table. A byte whose value no window shows whole
// (an invalid entry, a switching time out of range, equipment beyond the boards) is written as
// "байт N = 0xAB", so the text always gives the exact image back.
//
// On reading, the byte lines are applied first and the settings after them: a setting edited
// by hand wins over a byte line written for the same byte.

// The whole image. `source` is named in the heading comment; `boards` chooses the rows and
// lines written as settings (the rest, where not zero, as byte lines).
QByteArray ConfigToText(const ConfigImage& image, int boards, const QString& source);

struct ConfigTextResult {
  std::optional<ConfigImage> image;
  // "line N: ..." for every mistake; the image is given only when there is none.
  QStringList errors;
  int settings = 0;  // the setting and byte lines read
};

// A file that is a configuration as text rather than an image: one named *.txt, one of
// another size than an image's 256 or 512 bytes, or one of an image's size whose bytes read as
// setting lines (a template padded to 512 bytes): an image's bytes never do without a mistake.
// A whole export of four boards is about 400 KB; a larger file is no configuration.
inline constexpr qint64 kLargestConfigText = 4 << 20;

bool IsConfigTextName(const QString& path, qint64 size);
bool ReadsAsConfigText(const QString& path, const QByteArray& bytes);

// Applies the text's settings and byte lines to `base` and leaves every other byte as it is.
ConfigTextResult ConfigFromText(const QByteArray& text, const ConfigImage& base);
