#pragma once

class QWidget;

// A small orange corner over a cell (or any control of a programming window) whose value
// differs from what the station holds, so that the technician sees in place what "Записать
// программирование" will change. It stays clear of the cell's text and tick, does not take
// the mouse, and keeps its colour under the highlight of the current cell.
void ShowChangeMark(QWidget* cell, bool changed);

// Whether the cell shows the mark (for tests and screenshots).
bool HasChangeMark(const QWidget* cell);
