#pragma once

#include <memory>
#include <vector>

#include "ScriptedUi.h"
#include "core/editor/CellHost.h"
#include "core/editor/CellValues.h"
#include "core/station/ImageAccess.h"

// The station's image as the tables see it, counting the hand-overs.
struct FakeImage : ImageAccess {
  ConfigImage image{};
  ConfigImage stationImage{};
  bool day = true;
  quint16 boards = 4;
  int handOvers = 0;

  const ConfigImage& Image() const override { return image; }
  void SetImage(const ConfigImage& changed) override {
    image = changed;
    ++handOvers;
  }
  const ConfigImage& StationImage() const override { return stationImage; }
  bool DayMode() const override { return day; }
  void SetDayMode(bool d) override { day = d; }
  quint16 SubscriberCount() const override { return static_cast<quint16>(6 * boards); }
  quint16 CityLineCount() const override { return static_cast<quint16>(2 * boards); }
  bool CityLineLayout() const override { return true; }
  void SetCityLineLayout(bool) override {}
};

class FakeCells;

// Cells without widgets: they keep their value or text, remember whether they are painted
// highlighted, and tell the host when they take the focus.
template <class Base>
class FakeCell : public Base {
 public:
  FakeCell(ViewControllerClass& controller, CellView*& focus) : Base(controller), focus_(focus) {}
  bool highlighted = false;

 protected:
  void Paint(bool on) override { highlighted = on; }
  void TakeFocus() override { focus_ = this; }

 private:
  CellView*& focus_;
};

class FakeBitCell : public FakeCell<CellView> {
 public:
  using FakeCell::FakeCell;
  bool checked = false;
  quint8 Value() const override { return checked; }
  // Like a check box: a change of state is a click, the same state is nothing.
  void SetValue(quint8 value) override {
    if (checked == (value != 0)) return;
    checked = value != 0;
    Click();
  }
};

// An edit cell with a caret; typing inserts at the caret and runs the change notification,
// as the edit control does.
template <class Base>
class FakeEditCell : public FakeCell<Base> {
 public:
  using FakeCell<Base>::FakeCell;
  QString text;
  int caret = 0;

  QString Text() const override { return text; }
  void Type(const QString& characters) {
    for (QChar c : characters) {
      if (c == u'\b') {
        if (caret == 0) continue;
        text.remove(--caret, 1);
      } else {
        text.insert(caret++, c);
      }
      this->Change();
    }
  }

 protected:
  void ReplaceText(const QString& t, bool caretAtEnd) override {
    text = t;
    caret = caretAtEnd ? static_cast<int>(t.size()) : 0;
  }
};
using FakeIntCell = FakeEditCell<IntCellView>;
using FakeCLineCell = FakeEditCell<CLineCellView>;

// A table window for the blocks, with the cells it made and where it put them.
class FakeCells : public CellHost {
 public:
  ViewControllerClass controller;
  FakeImage station;
  ScriptedUi ui;
  CellView* focus = nullptr;
  struct Placed {
    CellView* cell;
    int left;
    int top;
  };
  std::vector<Placed> placed;

  ViewControllerClass& Controller() override { return controller; }
  ImageAccess& Station() override { return station; }
  OperatorUi& Ui() override { return ui; }
  CellView* NewBitCell(quint16, int left, int top) override {
    return Keep(std::make_unique<FakeBitCell>(controller, focus), left, top);
  }
  CellView* NewIntCell(quint16, int left, int top, quint16 digits) override {
    auto cell = std::make_unique<FakeIntCell>(controller, focus);
    cell->Digits = digits;
    return Keep(std::move(cell), left, top);
  }
  CellView* NewCLineCell(quint16, quint16, int left, int top) override {
    return Keep(std::make_unique<FakeCLineCell>(controller, focus), left, top);
  }

  CellView* Current() const {
    const ViewSlot* slot = controller.GetCurrent();
    return slot ? slot->cell : nullptr;
  }
  // Starts the editing cycle as a window does after loading.
  void Activate() { controller.Activate(); }

 private:
  CellView* Keep(std::unique_ptr<CellView> cell, int left, int top) {
    CellView* raw = cell.get();
    owned_.push_back(std::move(cell));
    placed.push_back({raw, left, top});
    return raw;
  }
  std::vector<std::unique_ptr<CellView>> owned_;
};
