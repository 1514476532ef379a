// The programming tables played by keyboard alone, as a technician works: every table opened
// from the menu with a key, every value entered from the window's first selection with arrows,
// Tab and typing, and the whole image compared. No mouse event reaches any window here (a
// click moves the caret and would hide what the keyboard meets).
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSpinBox>

#include "ProgrammingFixture.h"

namespace {

// Counts every mouse event the application delivers while it lives.
class MouseWatch : public QObject {
 public:
  MouseWatch() { QApplication::instance()->installEventFilter(this); }
  ~MouseWatch() override { QApplication::instance()->removeEventFilter(this); }
  int events = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (dynamic_cast<QMouseEvent*>(event)) ++events;
    return false;
  }
};

struct KeyboardProgramming : ProgrammingFixture {
  // Opens the table behind a menu button with the Enter key and plays the script in it.
  void Play(QPushButton* button, const std::function<void(TTableForm&)>& script) {
    MouseWatch mouse;
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* form = qobject_cast<TTableForm*>(QApplication::activeModalWidget());
      ASSERT_NE(form, nullptr);
      script(*form);
      ran = true;
      if (form->isVisible()) {
        ADD_FAILURE() << "the table window is still open";
        form->done(1);
      }
    });
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_TRUE(ran);
    EXPECT_EQ(mouse.events, 0);
  }
  static QLineEdit* Edit(TTableForm& form) { return qobject_cast<QLineEdit*>(form.focusWidget()); }
};

}  // namespace

TEST_F(KeyboardProgramming, Selector2OfTheAdditionalModeTakesTheTypedDigits) {
  Open(2, true);
  Play(menu->GeneralButton, [](TTableForm& form) {
    Key(form, Qt::Key_Down);
    Key(form, Qt::Key_Tab);
    ASSERT_EQ(form.focusWidget()->objectName(), QStringLiteral("Lab10"));
    Type(form, QStringLiteral("31"));
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{125, 0x31}}));
  EXPECT_TRUE(station->Modified());
}

TEST_F(KeyboardProgramming, NightSelectorAndSeizureOffsets) {
  Open(2, false);
  start[375] = 0x23;
  station->SetImage(start);
  Play(menu->GeneralButton, [](TTableForm& form) {
    Type(form, QStringLiteral("7F"));  // selector 1, basic
    Keys(form, Qt::Key_Down, 3);       // the seizure cell, "3"
    EXPECT_EQ(Edit(form)->text(), QStringLiteral("3"));
    Type(form, QStringLiteral("c"));
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{372, 0x7F}, {375, 0x0C}}));
}

TEST_F(KeyboardProgramming, AddedDigitOfLine4AtNight) {
  Open(2, false);
  Play(menu->DigitsButton, [](TTableForm& form) {
    Keys(form, Qt::Key_Down, 3);
    Type(form, QStringLiteral("0A"));
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{377, 0x0A}}));
}

TEST_F(KeyboardProgramming, TwoDigitsTypedIntoAFullCellAndTheRulesOnWhatFollows) {
  Open(2, true);
  Play(menu->DigitsButton, [](TTableForm& form) {
    Type(form, QStringLiteral("ab"));  // line 1: reads as 0xAB
    Key(form, Qt::Key_Down);
    Type(form, QStringLiteral("3AB"));  // line 2: a third digit pushes out the first
    EXPECT_EQ(Edit(form)->text(), QStringLiteral("AB"));
    Key(form, Qt::Key_Down);
    Type(form, QStringLiteral("5G"));  // line 3: no hexadecimal digit after a single one
    EXPECT_EQ(Edit(form)->text(), QStringLiteral("5"));
    Key(form, Qt::Key_Down);
    Key(form, Qt::Key_Backspace);  // line 4: cleared, stored as 0
    EXPECT_EQ(Edit(form)->text(), QString());
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{112, 0xAB}, {120, 0xAB}, {113, 0x05}, {121, 0x00}}));
}

TEST_F(KeyboardProgramming, AOneDigitCellTakesItsDigitAndItsBackspace) {
  Open(2, true);
  start[119] = 0x0C;
  station->SetImage(start);
  Play(menu->GeneralButton, [](TTableForm& form) {
    Keys(form, Qt::Key_Down, 3);
    Key(form, Qt::Key_Backspace);
    EXPECT_EQ(Edit(form)->text(), QString());
    Type(form, QStringLiteral("G"));  // no digit: the cell shows 0
    EXPECT_EQ(Edit(form)->text(), QStringLiteral("0"));
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{119, 0x00}}));
}

TEST_F(KeyboardProgramming, DelaySignOnLine3Column2) {
  Open(2, true);
  Play(menu->CityLineButton, [](TTableForm& form) {
    Keys(form, Qt::Key_Down, 2);
    Key(form, Qt::Key_Right);
    QLineEdit* cell = Edit(form);
    Type(form, QStringLiteral("25"));
    Type(form, QStringLiteral("+"));
    EXPECT_EQ(cell->text(), QStringLiteral("25+"));
    EXPECT_NE(Edit(form), cell);  // the selection moved on to column 3
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{137, 0xE8}}));
}

TEST_F(KeyboardProgramming, AnInvalidEntryIsClearedWithBackspaceAndRetyped) {
  Open(2, true);
  start[128] = 0x05;  // line 1, column 1: no valid entry
  start[129] = 0x05;  // line 1, column 2: none either, left as it is on screen
  station->SetImage(start);
  Play(menu->CityLineButton, [](TTableForm& form) {
    EXPECT_EQ(Edit(form)->text(), QStringLiteral("** "));
    Key(form, Qt::Key_Backspace);
    EXPECT_EQ(Edit(form)->text(), QString());
    Type(form, QStringLiteral("25 "));
    Key(form, Qt::Key_Right);
    // "+" on "** " keeps it and moves on.
    Type(form, QStringLiteral("+"));
    EXPECT_EQ(qobject_cast<QLineEdit*>(form.findChild<QWidget*>(QStringLiteral("Lab1")))->text(),
              QStringLiteral("** "));
    Key(form, Qt::Key_Escape);
  });
  // An invalid entry becomes 0 once the table commits a change.
  EXPECT_EQ(station->Image(), Expected({{128, 0xA8}, {129, 0x00}}));
}

TEST_F(KeyboardProgramming, AnInvalidEntryLeftAloneStaysAsItWas) {
  Open(2, true);
  start[128] = 0x05;
  station->SetImage(start);
  const bool modifiedBefore = station->Modified();
  Play(menu->CityLineButton, [](TTableForm& form) {
    Key(form, Qt::Key_Right);
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image()[128], 0x05);
  EXPECT_EQ(station->Modified(), modifiedBefore);
}

TEST_F(KeyboardProgramming, ACityLineCellReachedByArrowsAndTypedIntoCountsAsAnEdit) {
  Open(2, false);
  Play(menu->CityLineButton, [](TTableForm& form) {
    Key(form, Qt::Key_Down);
    Keys(form, Qt::Key_Right, 5);  // line 2, additional mode, column 2
    Type(form, QStringLiteral("43"));
    Key(form, Qt::Key_Escape);
  });
  EXPECT_TRUE(station->Modified());
  EXPECT_EQ(station->Image(), Expected({{IncomingCellOffset(false, 2, 6), 0xAB}}));
}

TEST_F(KeyboardProgramming, TheSwitchingWindowOpensWithItsFirstFieldReadyForTyping) {
  Open(2, true);
  start[244] = 0x00;  // night mode's start not set: the field shows -1
  station->SetImage(start);
  MouseWatch mouse;
  splash->SwitchButton->setFocus();
  QTest::keyClick(splash->SwitchButton, Qt::Key_Return);
  ASSERT_TRUE(switcher->isVisible());
  ASSERT_EQ(switcher->focusWidget(), static_cast<QWidget*>(switcher->StartStopH[0]));
  QTest::keyClicks(switcher->focusWidget(), QStringLiteral("21"));
  QTest::keyClick(switcher->focusWidget(), Qt::Key_Tab);
  QTest::keyClicks(switcher->focusWidget(), QStringLiteral("30"));
  QTest::keyClick(switcher->ExitButton, Qt::Key_Return);
  EXPECT_FALSE(switcher->isVisible());
  EXPECT_EQ(mouse.events, 0);
  EXPECT_EQ(station->Image(), Expected({{244, 0x95}, {245, 30}}));
}
