#pragma once

#include <QFont>
#include <QString>

// The record lines and their headings stand in columns, on screen and on paper, only when every
// character they hold takes the same width. A font's own "fixed pitch" flag is not enough to
// tell: Qt reports Noto Sans Mono, whose glyphs are all one width, as not fixed, and a fixed
// font without Cyrillic glyphs borrows wider ones from another font. So the widths themselves
// are measured.

// Digits, Latin and Cyrillic letters, the blank and the signs of the lines and headings.
extern const QString kColumnSample;

// Every character of the sample takes the same, non-zero advance in the font.
bool HasEvenColumns(const QFont& font);

// The font the viewer and the printer lay their columns out in: the system's fixed-pitch font
// when its columns are even; otherwise the first installed family whose columns are (fixed
// families first); the system's fixed font when none is.
QFont ColumnFont();
