#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The program's text files are Windows-1251 with CR LF line ends. This is the one place that
// converts between that code page and Qt strings and splits and joins lines.

QByteArray EncodeCp1251(QStringView text);
QString DecodeCp1251(QByteArrayView bytes);

inline constexpr char kLineEnd[] = "\r\n";

// Splits text into lines at CR LF or at LF alone. A line end after the last line does not make
// an empty line; a lone CR stays part of its line.
QStringList SplitLines(QStringView text);

// Joins lines, each followed by CR LF.
QString JoinLines(const QStringList& lines);
