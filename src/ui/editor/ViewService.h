#pragma once

#include <QString>
#include <array>

class ImageAccess;
class OperatorUi;
class QLabel;
class QWidget;

// The row marks: the column of subscriber or city-line numbers to the left of a table.
using RowMarks = std::array<QLabel*, 24>;

inline const QString kInvalidRowMarks = QStringLiteral("Invalid RowNumber in PrgDVO1Ab Form");

// One mark per subscriber (20..) or per city line (1..) of the station, from the reference
// label's left + 10 and just below it, pitch pixels apart. More than 24 are refused with an
// error box; the count is given back either way.
void BuildRowMarks(QWidget* window, const ImageAccess& station, OperatorUi& ui, int& count,
                   RowMarks& marks, const QWidget* reference, int pitch, bool subscribers);
void CreateRowMark(QWidget* window, RowMarks& marks, int number, int index, int left, int top);
// Frees the marks that were built, at most count of them.
void FreeRowMarks(RowMarks& marks, int count);
