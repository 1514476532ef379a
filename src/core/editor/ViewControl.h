#pragma once

#include <functional>

#include <qnamespace.h>
#include <QChar>
#include <QtGlobal>

class CellView;

// The place in a block's cell table that holds one cell. The controller keeps the current slot,
// never the cell, and every cell knows its slot, so block, cell and controller agree on which
// cell is current.
struct ViewSlot {
  CellView* cell = nullptr;
};

// Key codes of the table windows: the Windows virtual-key codes, so that a typed "+" or "-"
// from either keyboard reaches the blocks as the keypad's code.
namespace viewkey {
inline constexpr quint16 kTab = 9;
inline constexpr quint16 kEnter = 13;
inline constexpr quint16 kEsc = 27;
inline constexpr quint16 kLeft = 37;
inline constexpr quint16 kUp = 38;
inline constexpr quint16 kRight = 39;
inline constexpr quint16 kDown = 40;
inline constexpr quint16 kPlus = 107;
inline constexpr quint16 kMinus = 109;
inline constexpr quint16 kF1 = 112;
}  // namespace viewkey

// The modifier keys held with a key; the blocks do not use them.
using ShiftState = Qt::KeyboardModifiers;

// The one editor controller of the program: which cell is current, whether cells react at all,
// and whether anything changed since the current table window opened. While it is not active
// (a window loading its cells) clicks, changes and highlighting have no effect.
class ViewControllerClass {
 public:
  ViewSlot* Current = nullptr;
  bool Active = false;
  bool Edited = false;

  ViewSlot* GetCurrent() const { return Active ? Current : nullptr; }
  void SetCurrent(ViewSlot* slot) {
    if (Active) Current = slot;
  }
  void SetEdited() {
    if (!Active) return;
    Edited = true;
    if (OnEdit) OnEdit();
  }
  // Runs at every edit while the controller is active, before the cell's value may have taken
  // the edit's final shape; the window showing the cells uses it to look again after the edit.
  std::function<void()> OnEdit;
  void Reset() {
    Current = nullptr;
    Active = false;
    Edited = false;
  }
  void Activate() { Active = true; }

  // A block going away drops its slot, so that the controller never points at freed memory
  // between one window's end and the next one's Reset.
  void Forget(const ViewSlot* slot) {
    if (Current == slot) Current = nullptr;
  }

  static quint16 CharToKey(QChar character);
  static bool IsCommandKey(quint16 key);
  static bool IsNavigationKey(quint16 key);
};

// What every cell is, whatever control shows it: its slot and position, its value, and the two
// things the control does for the editor (paint itself highlighted or not, take the keyboard
// focus). The widget cells and the tests' fake cells implement it.
class CellView {
 public:
  explicit CellView(ViewControllerClass& controller) : controller_(controller) {}
  virtual ~CellView() = default;
  CellView(const CellView&) = delete;
  CellView& operator=(const CellView&) = delete;

  ViewSlot* Slot = nullptr;
  quint16 Id = 0;      // bit cells: row id * 10 + bit; integer cells: the cell's number
  quint16 Column = 0;  // city-line cells: 0..3 basic, 4..7 additional mode
  quint16 Row = 0;     // city-line cells: city line - 1

  // The checked state (0 or 1) of a bit cell, the image byte of an edit cell.
  virtual quint8 Value() const = 0;
  virtual void SetValue(quint8 value) = 0;
  // City-line cells only.
  virtual void SetDelaySign(bool on) { Q_UNUSED(on); }
  // Marks the cell as holding a value that differs from the station's, which a write would
  // change; cells that cannot show it ignore it.
  virtual void ShowChanged(bool changed) { Q_UNUSED(changed); }

  // Makes this cell current, unhighlighting the one that was.
  void SelectSelf();
  // Runs after the control's own click behaviour (for a check box: any change of its state).
  void Click();
  void Highlight(bool on);

  ViewControllerClass& Controller() const { return controller_; }

 protected:
  virtual void Paint(bool highlighted) = 0;
  virtual void TakeFocus() = 0;

 private:
  ViewControllerClass& controller_;
};

// Moves the selection to the cell in a slot: the current cell loses its highlight, the slot
// becomes current and its cell is highlighted (and takes the focus).
void SelectSlot(ViewControllerClass& controller, ViewSlot& slot);
