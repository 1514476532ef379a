#pragma once

#include <QString>

#include "core/editor/ViewControl.h"

class ImageAccess;
class OperatorUi;

// The table window as its blocks see it: where cells are made (the window owns them and frees
// them with itself), the controller, the station's image and the operator for the blocks'
// own error box.
class CellHost {
 public:
  virtual ~CellHost() = default;

  virtual ViewControllerClass& Controller() = 0;
  virtual ImageAccess& Station() = 0;
  virtual OperatorUi& Ui() = 0;

  // A new cell on the window at the given place, shown and enabled.
  virtual CellView* NewBitCell(quint16 id, int left, int top) = 0;
  virtual CellView* NewIntCell(quint16 id, int left, int top, quint16 digits) = 0;
  virtual CellView* NewCLineCell(quint16 column, quint16 row, int left, int top) = 0;
};

// Cell creation as the blocks call it: the new cell goes into its slot and knows it.
void CreateBitCell(CellHost& window, quint16 id, int left, int top, ViewSlot& slot);
void CreateIntCell(CellHost& window, quint16 id, int left, int top, quint16 digits, ViewSlot& slot);
void CreateCLineCell(CellHost& window, quint16 column, quint16 row, int left, int top,
                     ViewSlot& slot);

inline const QString kInvalidRowNumber = QStringLiteral("Invalid RowNumber");
// A block's size check: more rows or cells than it can hold are refused with the error box.
bool RefuseSize(CellHost& window, int size, int maximum);
