#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>

#include "FakeCells.h"
#include "core/editor/ViewByteBlock.h"
#include "core/editor/ViewCLineBlock.h"
#include "core/editor/ViewIntBlock.h"
#include "core/image/ImageLayout.h"
#include "ui/editor/KeyRouter.h"
#include "ui/editor/ViewBitElement.h"
#include "ui/editor/ViewCLineElement.h"
#include "ui/editor/ViewIntElement.h"
#include "ui/editor/ViewService.h"
#include "ui/editor/WidgetCells.h"

namespace {

using namespace viewkey;

// A window hosting real blocks: two byte blocks, a city-line block and an integer block with a
// gap. Its dispatcher passes keys to the block that holds the current cell, as a table window
// does; Tab and Esc are only counted.
class TestTable : public QWidget, public TableKeyHandlers {
 public:
  TestTable(ImageAccess& station, OperatorUi& ui, ViewControllerClass& controller, int boards)
      : controller_(controller),
        ui_(ui),
        router_(*this, this),
        cells_(this, controller, station, ui, router_) {
    resize(640, 420);
    router_.Watch(this);
    const quint16 subscribers = station.SubscriberCount();
    const quint16 lines = station.CityLineCount();
    basic.Setup(cells_, 3, 0, 7, 40, 20, 37);
    access.Setup(cells_, subscribers, 24, static_cast<quint16>(lines - 1), 360, 20, 21);
    calls.Setup(cells_, 2);
    calls.CreateCells(2, 40, 240, 140, 47);
    ints.Setup(cells_, 9, 9);
    ints.AddCells(3, 0, 40, 220, 2);
    ints.AddCells(1, 3, 100, 220, 1);
    Q_UNUSED(boards);

    controller.Reset();
    const ConfigImage& image = station.Image();
    basic.LoadFromImage(image, RegionDescriptor(true, DVO1AbonentBasic));
    access.LoadFromImage(image, RegionDescriptor(true, GTSBasic));
    calls.LoadFromImage(image, true);
    ints.LoadFromImage(image, RegionDescriptor(true, SelectorBasic), 0);
    ints.LoadFromImage(image, RegionDescriptor(true, LineSeizure), 3);
  }
  void Start() {
    controller_.Activate();
    basic.Select(0, 0);
  }

  void UserActiveKey(quint16 key, ShiftState shift) override {
    if (key == kEsc) {
      ++escapes;
      return;
    }
    if (key == kF1) {
      ui_.ShowHelp(77);
      return;
    }
    if (key == kTab) {
      ++tabs;
      return;
    }
    const ViewSlot* slot = controller_.GetCurrent();
    if (!slot) return;
    if (qobject_cast<ViewBitElementClass*>(dynamic_cast<QObject*>(slot->cell))) {
      (basic.Contains(slot->cell->Id / 10) ? basic : access).HandleKey(key, shift);
    } else if (qobject_cast<ViewCLineElementClass*>(dynamic_cast<QObject*>(slot->cell))) {
      calls.HandleKey(key, shift);
    } else {
      ints.HandleKey(key, shift);
    }
  }
  // The city-line window's substitute: the sign goes on to the cell as "#".
  void FormKeyPress(QObject* sender, QChar& character) override {
    TableKeyHandlers::FormKeyPress(sender, character);
    if (hashForSigns && (character == u'+' || character == u'-')) character = u'#';
  }

  QWidget* Focused() const { return QApplication::focusWidget(); }
  QCheckBox* Bit(ViewByteBlockClass& block, int row, int bit) {
    return dynamic_cast<QCheckBox*>(block.Elements[row].Cells[bit].cell);
  }
  QLineEdit* Line(int column, int row) {
    return dynamic_cast<QLineEdit*>(calls.Cells[row * 8 + column].cell);
  }
  QLineEdit* Int(int slot) { return dynamic_cast<QLineEdit*>(ints.Cells[slot].cell); }
  CellView* Current() const {
    const ViewSlot* slot = controller_.GetCurrent();
    return slot ? slot->cell : nullptr;
  }

  ViewByteBlockClass basic;
  ViewByteBlockClass access;
  ViewCLineBlockClass calls;
  ViewIntBlockClass ints;
  int escapes = 0;
  int tabs = 0;
  bool hashForSigns = false;

 private:
  ViewControllerClass& controller_;
  OperatorUi& ui_;
  KeyRouter router_;
  WidgetCells cells_;
};

// The share of a widget's pixels, as it draws itself, that are of a colour.
double ShareOfColour(QWidget* widget, const QColor& colour) {
  const QImage image = widget->grab().toImage();
  int matching = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) matching += image.pixelColor(x, y) == colour;
  }
  return double(matching) / (image.width() * image.height());
}

struct CellWidgets : ::testing::Test {
  FakeImage station;
  ScriptedUi ui;
  ViewControllerClass controller;
  std::unique_ptr<TestTable> table;

  void Open(int boards = 4) {
    station.boards = static_cast<quint16>(boards);
    table = std::make_unique<TestTable>(station, ui, controller, boards);
    table->show();
    QApplication::setActiveWindow(table.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(table.get()));
    table->Start();
  }
  void TearDown() override { table.reset(); }
  // Keys go to whatever has the focus, as a person's keyboard does.
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(table->Focused(), key, modifiers);
  }
  void Type(const QString& text) { QTest::keyClicks(table->Focused(), text); }
  void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {},
                      QPoint(widget->width() - 3, widget->height() / 2));
  }
};

}  // namespace

TEST_F(CellWidgets, LoadingChangesNothingAndSelectingTheFirstCellHighlightsIt) {
  station.image[4] = 0xFF;  // subscriber 20's services: every bit loads with a change
  station.boards = 4;
  table = std::make_unique<TestTable>(station, ui, controller, 4);
  EXPECT_FALSE(controller.Edited);
  EXPECT_EQ(table->Current(), nullptr);
  EXPECT_TRUE(table->Bit(table->basic, 0, 7)->isChecked());
  const QColor highlight = QApplication::palette().color(QPalette::Highlight);
  EXPECT_NE(table->Bit(table->basic, 0, 0)->palette().color(QPalette::Button), highlight);

  table->show();
  QApplication::setActiveWindow(table.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(table.get()));
  table->Start();
  QCheckBox* first = table->Bit(table->basic, 0, 0);
  EXPECT_EQ(table->Focused(), first);
  EXPECT_EQ(first->palette().color(first->backgroundRole()), highlight);
  EXPECT_FALSE(controller.Edited);
  // As drawn: the whole cell in the highlight colour, box included (only its border and the
  // tick differ).
  EXPECT_GT(ShareOfColour(first, highlight), 0.5);
  Key(Qt::Key_Right);
  EXPECT_EQ(first->palette().color(first->backgroundRole()),
            QApplication::palette().color(QPalette::Button));
  EXPECT_LT(ShareOfColour(first, highlight), 0.05);
  QCheckBox* ticked = table->Bit(table->basic, 0, 7);
  for (int i = 0; i < 6; ++i) Key(Qt::Key_Right);
  ASSERT_EQ(table->Focused(), ticked);
  EXPECT_GT(ShareOfColour(ticked, highlight), 0.5);
}

TEST_F(CellWidgets, CellsHaveTheirNamesSizesAndFont) {
  Open();
  const QCheckBox* bit = table->Bit(table->access, 2, 3);
  EXPECT_EQ(bit->objectName(), QStringLiteral("Lab263"));
  EXPECT_EQ(bit->geometry(), QRect(360 + 3 * 21, 20 + 2 * 15, 20, 15));
  EXPECT_EQ(bit->font().pointSize(), 10);
  EXPECT_EQ(table->Line(5, 1)->objectName(), QStringLiteral("Lab13"));
  EXPECT_EQ(table->Line(5, 1)->geometry(), QRect(240 + 47, 140 + 24, 36, 24));
  EXPECT_EQ(table->Int(2)->size(), QSize(28, 24));
  EXPECT_EQ(table->Int(3)->size(), QSize(20, 24));
  EXPECT_EQ(table->Int(3)->objectName(), QStringLiteral("Lab12"));
}

TEST_F(CellWidgets, EnterTogglesSpaceAndDeleteDoNothing) {
  Open();
  QCheckBox* first = table->Bit(table->basic, 0, 0);
  Key(Qt::Key_Space);
  Key(Qt::Key_Delete);
  EXPECT_FALSE(first->isChecked());
  EXPECT_FALSE(controller.Edited);
  // Enter acts as it goes down.
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  QApplication::sendEvent(first, &down);
  EXPECT_TRUE(first->isChecked());
  QKeyEvent up(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  QApplication::sendEvent(first, &up);
  EXPECT_TRUE(first->isChecked());
  Key(Qt::Key_Enter);
  EXPECT_FALSE(first->isChecked());
  EXPECT_TRUE(controller.Edited);
  EXPECT_EQ(table->Focused(), first);
}

TEST_F(CellWidgets, ArrowsActOnReleaseAndAHeldArrowMovesOnce) {
  Open();
  QWidget* start = table->Focused();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  QApplication::sendEvent(start, &press);
  EXPECT_EQ(table->Focused(), start);  // nothing on the way down
  for (int i = 0; i < 5; ++i) {
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(table->Focused(), &release);
    QKeyEvent again(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(table->Focused(), &again);
  }
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
  QApplication::sendEvent(table->Focused(), &release);
  EXPECT_EQ(table->Focused(), table->Bit(table->basic, 0, 1));
}

TEST_F(CellWidgets, ByteBlockNavigationWrapsAtBothEnds) {
  Open();
  const struct {
    const char* name;
    int row, bit;
    Qt::Key key;
    int toRow, toBit;
  } rows[] = {
      {"Right wraps", 0, 7, Qt::Key_Right, 1, 0},
      {"Left wraps back", 1, 0, Qt::Key_Left, 0, 7},
      {"Right at the very end", 2, 7, Qt::Key_Right, 2, 7},
      {"Left at the very start", 0, 0, Qt::Key_Left, 0, 0},
      {"Down", 1, 4, Qt::Key_Down, 2, 4},
      {"Up", 1, 4, Qt::Key_Up, 0, 4},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    table->basic.Select(static_cast<quint16>(row.row), static_cast<quint16>(row.bit));
    Key(row.key);
    EXPECT_EQ(table->Focused(), table->Bit(table->basic, row.toRow, row.toBit));
  }
}

TEST_F(CellWidgets, PlusAndMinusFromEitherKeyboardSetAndMoveRight) {
  Open();
  Key(Qt::Key_Plus);
  EXPECT_TRUE(table->Bit(table->basic, 0, 0)->isChecked());
  EXPECT_EQ(table->Focused(), table->Bit(table->basic, 0, 1));
  Key(Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_TRUE(table->Bit(table->basic, 0, 1)->isChecked());
  table->basic.Select(2, 7);
  Key(Qt::Key_Plus);
  EXPECT_TRUE(table->Bit(table->basic, 2, 7)->isChecked());
  EXPECT_EQ(table->Focused(), table->Bit(table->basic, 2, 7));
  Key(Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_FALSE(table->Bit(table->basic, 2, 7)->isChecked());
}

TEST_F(CellWidgets, TabAndEscReachTheWindowAndQtFocusNavigationIsOff) {
  Open();
  QWidget* start = table->Focused();
  Key(Qt::Key_Tab);
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(table->tabs, 2);
  EXPECT_EQ(table->Focused(), start);
  Key(Qt::Key_Escape);
  EXPECT_EQ(table->escapes, 1);
  Key(Qt::Key_F1);
  ASSERT_EQ(ui.HelpTopics().size(), 1u);
  EXPECT_EQ(ui.HelpTopics()[0], 77);
}

TEST_F(CellWidgets, AMouseClickOnABitTicksAndSelectsIt) {
  Open();
  QCheckBox* bit = table->Bit(table->basic, 1, 5);
  QTest::mouseClick(bit, Qt::LeftButton, {}, QPoint(6, 7));
  EXPECT_TRUE(bit->isChecked());
  EXPECT_EQ(table->Focused(), bit);
  EXPECT_EQ(table->Current()->Id, 15);
  EXPECT_TRUE(controller.Edited);
}

TEST_F(CellWidgets, AClickOnAnEditCellWithoutTypingSetsEdited) {
  Open();
  QLineEdit* cell = table->Int(1);
  Click(cell);
  EXPECT_TRUE(controller.Edited);
  EXPECT_EQ(table->Focused(), cell);
  EXPECT_EQ(table->Current()->Id, 10);
}

TEST_F(CellWidgets, IntegerBlockWithAGapMovesByIds) {
  Open();
  table->ints.Select(9);
  Key(Qt::Key_Up);
  EXPECT_EQ(table->Focused(), table->Int(0));
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  EXPECT_EQ(table->Focused(), table->Int(3));  // across to the second column
  Key(Qt::Key_Down);
  EXPECT_EQ(table->Focused(), table->Int(3));  // slot 4 holds no cell
  Key(Qt::Key_Left);
  EXPECT_EQ(table->Focused(), table->Int(3));
}

TEST_F(CellWidgets, TypingIntoIntegerCells) {
  Open();
  QLineEdit* two = table->Int(0);
  table->ints.Select(9);
  // Clear it as a person would, with Backspace from the end.
  Click(two);
  Type(QStringLiteral("\b\b\b"));
  EXPECT_EQ(two->text(), QString());
  Type(QStringLiteral("3A"));
  EXPECT_EQ(two->text(), QStringLiteral("3A"));
  Type(QStringLiteral("B"));
  EXPECT_EQ(two->text(), QStringLiteral("AB"));

  // A cell selected by the program holds its whole text selected: typing replaces it.
  table->ints.Cells[1].cell->SetValue(0x3A);
  table->ints.Select(10);
  QLineEdit* second = table->Int(1);
  EXPECT_EQ(second->selectedText(), QStringLiteral("3A"));
  Type(QStringLiteral("B"));
  EXPECT_EQ(second->text(), QStringLiteral("B"));
  // B typed in front of 3A, with the caret put there by the mouse, is lost.
  table->ints.Cells[1].cell->SetValue(0x3A);
  QTest::mouseClick(second, Qt::LeftButton, {}, QPoint(1, second->height() / 2));
  EXPECT_EQ(second->cursorPosition(), 0);
  EXPECT_FALSE(second->hasSelectedText());
  Type(QStringLiteral("B"));
  EXPECT_EQ(second->text(), QStringLiteral("3A"));

  table->ints.Cells[2].cell->SetValue(0);
  table->ints.Select(11);
  Click(table->Int(2));
  Type(QStringLiteral("\b\b5G"));
  EXPECT_EQ(table->Int(2)->text(), QStringLiteral("5"));
  Type(QStringLiteral("c"));
  EXPECT_EQ(table->Int(2)->text(), QStringLiteral("5c"));
  EXPECT_EQ(table->ints.Cells[2].cell->Value(), 0x5C);

  QLineEdit* one = table->Int(3);
  table->ints.Select(12);
  Click(one);
  Type(QStringLiteral("\b\bG"));
  EXPECT_EQ(one->text(), QStringLiteral("0"));
  // Delete, Home and End do nothing in a cell.
  Key(Qt::Key_Home);
  Key(Qt::Key_Delete);
  EXPECT_EQ(one->text(), QStringLiteral("0"));
  EXPECT_EQ(one->cursorPosition(), 1);
}

TEST_F(CellWidgets, TypingIntoCityLineCells) {
  station.image[IncomingCellOffset(true, 1, 1)] = 0x01;  // no valid entry
  Open();
  table->hashForSigns = true;
  QLineEdit* cell = table->Line(1, 0);
  table->calls.Select(1, 0);
  Click(cell);
  Type(QStringLiteral("25 "));
  EXPECT_EQ(cell->text(), QStringLiteral("25 "));
  Type(QStringLiteral("+"));
  EXPECT_EQ(cell->text(), QStringLiteral("25+"));
  EXPECT_EQ(table->Focused(), table->Line(2, 0));
  table->calls.Select(1, 0);
  Type(QStringLiteral("-"));
  EXPECT_EQ(cell->text(), QStringLiteral("25 "));

  QLineEdit* next = table->Line(2, 0);
  table->calls.Select(2, 0);
  Type(QStringLiteral("253"));
  EXPECT_EQ(next->text(), QStringLiteral("** "));

  QLineEdit* invalid = table->Line(0, 0);
  EXPECT_EQ(invalid->text(), QStringLiteral("** "));
  table->calls.Select(0, 0);
  Click(invalid);
  Type(QStringLiteral("27"));
  EXPECT_EQ(invalid->text(), QStringLiteral("** "));
  Type(QStringLiteral("+"));  // the sign on the mark: no change, and on to the next column
  EXPECT_EQ(invalid->text(), QStringLiteral("** "));
  EXPECT_EQ(table->Focused(), table->Line(1, 0));
  table->calls.Select(0, 0);
  Click(invalid);
  Type(QStringLiteral("\b\b\b"));
  EXPECT_EQ(invalid->text(), QString());
}

TEST_F(CellWidgets, AMarkedCityLineEntryIsWrittenBackAsEmpty) {
  const int offset = IncomingCellOffset(true, 2, 6);
  station.image[offset] = 0x07;
  Open();
  EXPECT_EQ(table->Line(5, 1)->text(), QStringLiteral("** "));
  ConfigImage copy = station.image;
  table->calls.StoreToImage(copy, true);
  EXPECT_EQ(copy[offset], 0);
}

TEST_F(CellWidgets, CityLineBlockOfTwoRowsWrapsRightOnly) {
  Open();
  table->calls.Select(7, 0);
  Key(Qt::Key_Right);
  EXPECT_EQ(table->Focused(), table->Line(0, 1));
  Key(Qt::Key_Left);
  EXPECT_EQ(table->Focused(), table->Line(0, 1));
  table->calls.Select(7, 1);
  Key(Qt::Key_Right);
  Key(Qt::Key_Down);
  EXPECT_EQ(table->Focused(), table->Line(7, 1));
}

// A one-board station shows two lines of each access row; the bits of the other six stay as
// the image holds them, whatever is clicked.
TEST_F(CellWidgets, AccessRowsOfAOneBoardStationChangeOnlyItsTwoLines) {
  station.image[68] = 0x11;  // subscriber 20: lines 1 and 2
  Open(1);
  EXPECT_EQ(table->access.Elements[0].LastBit, 1);
  EXPECT_TRUE(table->Bit(table->access, 0, 0)->isChecked());
  EXPECT_TRUE(table->Bit(table->access, 0, 1)->isChecked());
  ConfigImage copy = station.image;
  table->access.StoreToImage(copy);
  EXPECT_EQ(copy[68], 0x11);

  station.image[76] = 0xFF;  // subscriber 21 with every line, as a four-board station kept it
  table = std::make_unique<TestTable>(station, ui, controller, 1);
  table->Start();
  table->access.Select(25, 1);
  table->access.HandleKey(kEnter, {});
  copy = station.image;
  table->access.StoreToImage(copy);
  EXPECT_EQ(copy[76], static_cast<quint8>(0xFF & ~ColumnsToLineBits(0x02)));
}

TEST_F(CellWidgets, APairWithoutEditsHandsNothingOver) {
  Open();
  table->basic.Select(1, 1);
  Key(Qt::Key_Down);
  table->basic.StorePairIfEdited(table->access);
  EXPECT_EQ(station.handOvers, 0);
  Key(Qt::Key_Return);
  table->basic.StorePairIfEdited(table->access);
  EXPECT_EQ(station.handOvers, 1);
}

TEST(RowMarks, ThreeBoardsGiveSubscribers20To37AndLines1To6) {
  FakeImage station;
  station.boards = 3;
  ScriptedUi ui;
  QWidget window;
  auto* reference = new QLabel(QStringLiteral("Абонент"), &window);
  reference->setGeometry(12, 30, 60, 18);
  RowMarks subscribers{};
  int subscriberCount = 0;
  BuildRowMarks(&window, station, ui, subscriberCount, subscribers, reference, 15, true);
  ASSERT_EQ(subscriberCount, 18);
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(subscribers[i]->text(), QString::number(20 + i));
    EXPECT_EQ(subscribers[i]->objectName(), QStringLiteral("Mark%1").arg(20 + i));
    EXPECT_EQ(subscribers[i]->geometry(), QRect(22, 48 + 15 * i, 20, 15));
  }
  EXPECT_EQ(subscribers[18], nullptr);
  RowMarks lines{};
  int lineCount = 0;
  BuildRowMarks(&window, station, ui, lineCount, lines, reference, 24, false);
  ASSERT_EQ(lineCount, 6);
  EXPECT_EQ(lines[5]->text(), QStringLiteral("6"));
  EXPECT_EQ(lines[5]->y(), 48 + 24 * 5);
  FreeRowMarks(subscribers, subscriberCount);
  FreeRowMarks(lines, lineCount);
  EXPECT_EQ(window.findChildren<QLabel*>().size(), 1);

  station.boards = 5;
  ui.ExpectInfo(QStringLiteral("Invalid RowNumber in PrgDVO1Ab Form"), true);
  RowMarks tooMany{};
  int count = 0;
  BuildRowMarks(&window, station, ui, count, tooMany, reference, 15, true);
  EXPECT_EQ(count, 30);
  EXPECT_EQ(tooMany[0], nullptr);
}
