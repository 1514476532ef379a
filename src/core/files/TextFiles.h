#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

// The program's text files are Windows-1251 with CR LF line ends. This is the one place that
// converts between that code page and Qt strings (whole texts, or a stream of blocks through
// the decoder given here) and splits and joins lines.

// The byte order mark that makes spreadsheet programs read a CSV file as UTF-8.
inline const QByteArray kUtf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");

QByteArray EncodeCp1251(QStringView text);
QString DecodeCp1251(QByteArrayView bytes);
// A decoder for text read a block at a time: a character cut between two blocks is decoded
// whole when its second half comes.
QStringDecoder Cp1251Decoder();

inline constexpr char kLineEnd[] = "\r\n";

// Splits text into lines at CR LF or at LF alone. A line end after the last line does not make
// an empty line; a lone CR stays part of its line.
QStringList SplitLines(QStringView text);

// Joins lines, each followed by CR LF.
QString JoinLines(const QStringList& lines);
