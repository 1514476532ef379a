#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <bit>

#include "ProgrammingFixture.h"
#include "ui/editor/ChangeMark.h"
#include "ui/tables/ConfigFindingsForm.h"
#include "ui/tables/PrgCityLine.h"

namespace {
using Programming = ProgrammingFixture;
}  // namespace

TEST_F(Programming, NightDvo1OfSubscriber20TouchesOnlyTheNightBytes) {
  Open(2, false);
  EXPECT_EQ(menu->TitleLabel->text(), QStringLiteral("Программирование в ночном режиме"));
  InTable(menu->DVO1AbonentButton, [](TTableForm& form) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Norvel Program DVO-1 Abonent"));
    EXPECT_EQ(form.TitleLabel->text(), QStringLiteral("ДВО-1 абонентов"));
    Key(form, Qt::Key_Return);
    Key(form, Qt::Key_Tab);
    Key(form, Qt::Key_Right);
    Key(form, Qt::Key_Plus);
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{260, start[260] ^ 0x01}, {388, start[388] | 0x02}}));
  EXPECT_TRUE(station->Modified());
}

TEST_F(Programming, Os3OfSubscriber25OnOneBoard) {
  Open(1, true);
  InTable(menu->DVO1AbonentButton, [](TTableForm& form) {
    EXPECT_EQ(form.MarkCount(), 6);
    EXPECT_EQ(form.Marks()[5]->text(), QStringLiteral("25"));
    Keys(form, Qt::Key_Down, 7);  // stops at the last row, 25
    Keys(form, Qt::Key_Right, 2);
    Key(form, Qt::Key_Return);
    QTest::mouseClick(form.ExitButton, Qt::LeftButton);
  });
  EXPECT_EQ(station->Image(), Expected({{44, start[44] ^ 0x04}}));
}

TEST_F(Programming, TabFollowsTheBlockOfAClickedCell) {
  Open(2, true);
  InTable(menu->DVO1AbonentButton, [](TTableForm& form) {
    // Subscriber 23, ОС5 of the basic block, then across and back.
    Keys(form, Qt::Key_Down, 3);
    Keys(form, Qt::Key_Right, 4);
    Key(form, Qt::Key_Tab);
    EXPECT_EQ(form.focusWidget()->objectName(), QStringLiteral("Lab274"));
    Key(form, Qt::Key_Tab);
    EXPECT_EQ(form.focusWidget()->objectName(), QStringLiteral("Lab34"));
    // A box of the right block chosen with the mouse: Tab goes back to the left block.
    auto* right = form.findChild<QWidget*>(QStringLiteral("Lab251"));
    QTest::mouseClick(right, Qt::LeftButton, {}, QPoint(5, 7));
    Key(form, Qt::Key_Tab);
    EXPECT_EQ(form.focusWidget()->objectName(), QStringLiteral("Lab11"));
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(
      station->Image(),
      Expected({{RegionOffset(RegionDescriptor(true, DVO1AbonentAdd), 1), start[132 + 8] ^ 0x02}}));
}

TEST_F(Programming, AccessColumnsAreCityLines) {
  Open(2, true);
  InTable(menu->GTSButton, [](TTableForm& form) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Norvel Access1"));
    // Headers 1..8 always; cells for the four lines of two boards.
    EXPECT_NE(form.findChild<QWidget*>(QStringLiteral("Lab3")), nullptr);
    EXPECT_EQ(form.findChild<QWidget*>(QStringLiteral("Lab4")), nullptr);
    Keys(form, Qt::Key_Right, 2);
    Key(form, Qt::Key_Return);  // column 3
    Key(form, Qt::Key_Left);
    Key(form, Qt::Key_Return);  // column 2
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{68, start[68] ^ 0x12}}));
}

TEST_F(Programming, NightMtsOfSubscriber26) {
  Open(2, false);
  InTable(menu->MTSButton, [](TTableForm& form) {
    Keys(form, Qt::Key_Down, 6);
    Key(form, Qt::Key_Return);
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{321, start[321] ^ 0x01}}));
}

TEST_F(Programming, CityLineServicesAndTheirTab) {
  Open(1, true);
  InTable(menu->DVO1LinesButton, [](TTableForm& form) {
    EXPECT_EQ(form.MarkCount(), 2);
    Key(form, Qt::Key_Down);
    Key(form, Qt::Key_Tab);
    Keys(form, Qt::Key_Right, 7);
    Key(form, Qt::Key_Return);  // ОС8 of line 2, additional mode
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{188, start[188] ^ 0x80}}));
  InTable(menu->DVO2LinesButton, [](TTableForm& form) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Norvel Program DVO-2 CityLine"));
    Key(form, Qt::Key_Tab);  // ignored
    Key(form, Qt::Key_Return);
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{188, start[188] ^ 0x80}, {48, start[48] ^ 0x01}}));
}

TEST_F(Programming, DelaySignOnLine3Column2) {
  Open(2, true);
  InTable(menu->CityLineButton, [](TTableForm& form) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("PrgCityLineForm"));
    EXPECT_EQ(form.HelpButton, nullptr);
    Keys(form, Qt::Key_Down, 2);
    Key(form, Qt::Key_Right);
    auto* cell = static_cast<QLineEdit*>(form.focusWidget());
    QTest::mouseClick(cell, Qt::LeftButton, {}, QPoint(cell->width() - 3, 12));
    Type(form, QStringLiteral("\b\b\b25 "));
    Type(form, QStringLiteral("+"));
    EXPECT_EQ(cell->text(), QStringLiteral("25+"));
    Key(form, Qt::Key_F1);
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->CityLineLayout(), true);
  EXPECT_EQ(host.ui.HelpTopics(), std::vector<int>{6400});
  EXPECT_EQ(station->Image(), Expected({{137, 0xE8}}));
}

TEST_F(Programming, AddedDigitOfLine4AtNight) {
  Open(2, false);
  InTable(menu->DigitsButton, [](TTableForm& form) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Norvel Add Digit"));
    Keys(form, Qt::Key_Down, 3);
    QTest::mouseClick(form.focusWidget(), Qt::LeftButton, {}, QPoint(25, 12));
    Type(form, QStringLiteral("\b\b0A"));
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{377, 0x0A}}));
}

TEST_F(Programming, GeneralFunctions) {
  Open(2, true);
  start[119] = 0x23;  // a seizure value that is more than its digit
  station->SetImage(start);
  InTable(menu->GeneralButton, [](TTableForm& form) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Norvel PrgGeneral"));
    auto* seizure = form.findChild<QLineEdit*>(QStringLiteral("Lab3"));
    ASSERT_NE(seizure, nullptr);
    EXPECT_EQ(seizure->text(), QStringLiteral("3"));
    Keys(form, Qt::Key_Down, 4);  // stops on the seizure cell
    EXPECT_EQ(form.focusWidget(), seizure);
    Key(form, Qt::Key_Tab);  // the seizure row has no "Доп." cell
    EXPECT_EQ(form.focusWidget(), seizure);
    Key(form, Qt::Key_Up);
    Key(form, Qt::Key_Up);
    Key(form, Qt::Key_Tab);  // selector 2, "Доп."
    EXPECT_EQ(form.focusWidget()->objectName(), QStringLiteral("Lab10"));
    QTest::mouseClick(form.focusWidget(), Qt::LeftButton, {}, QPoint(25, 12));
    Type(form, QStringLiteral("\b\b31"));
    Key(form, Qt::Key_Down);
    Key(form, Qt::Key_Down);  // no cell below selector 3
    EXPECT_EQ(form.focusWidget()->objectName(), QStringLiteral("Lab11"));
    Key(form, Qt::Key_Escape);
  });
  EXPECT_EQ(station->Image(), Expected({{125, 0x31}, {119, 0x03}}));
}

TEST_F(Programming, SwitchingTimesAndAdministratorPhones) {
  Open(2, true);
  start[252] = 0x00;  // time 3 not set
  start[253] = 0x1E;
  start[244] = 0x9E;  // hour 30: out of the spin box's range
  start[245] = 0x50;
  station->SetImage(start);
  QTest::mouseClick(splash->SwitchButton, Qt::LeftButton);
  ASSERT_TRUE(switcher->isVisible());
  EXPECT_EQ(switcher->StartStopH[2]->value(), -1);
  EXPECT_EQ(switcher->StartStopM[2]->value(), 0);
  EXPECT_EQ(switcher->StartStopH[0]->value(), 23);
  EXPECT_EQ(switcher->StartStopM[0]->value(), 59);
  switcher->StartStopH[4]->setValue(22);
  switcher->StartStopM[4]->setValue(15);
  switcher->AdminPhone2->setText(QStringLiteral("25"));
  switcher->AdminPhone1->setText(QStringLiteral("44"));  // no subscriber: left as it was
  QTest::mouseClick(switcher->ExitButton, Qt::LeftButton);
  EXPECT_FALSE(switcher->isVisible());
  EXPECT_EQ(
      station->Image(),
      Expected(
          {{244, 0x97}, {245, 59}, {252, 0x00}, {253, 0}, {500, 0x96}, {501, 0x0F}, {383, 0xA8}}));
}

TEST_F(Programming, AnUnchangedSwitchingWindowLeavesModifiedAlone) {
  Open(2, true);
  start[252] = 0x85;
  station->SetImage(start);
  host.ui.ExpectInfo(QStringLiteral("Запись выполнена успешно"), false);
  station->WriteAndSave();
  host.ui.Verify();
  EXPECT_FALSE(station->Modified());
  QTest::mouseClick(splash->SwitchButton, Qt::LeftButton);
  switcher->close();  // closing it any other way stores as "Выход" does
  EXPECT_FALSE(station->Modified());
}

TEST_F(Programming, OpeningAndLeavingEveryTableChangesNothing) {
  Open(2, true);
  for (QPushButton* button : {menu->DVO1AbonentButton, menu->DVO2AbonentButton, menu->GTSButton,
                              menu->MTSButton, menu->DVO1LinesButton, menu->DVO2LinesButton,
                              menu->DigitsButton, menu->CityLineButton, menu->GeneralButton}) {
    SCOPED_TRACE(button->text().toStdString());
    InTable(button, [](TTableForm& form) {
      // No close box: Esc and "Выход" are the ways out.
      EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
      EXPECT_FALSE(form.windowFlags() & Qt::WindowSystemMenuHint);
      Key(form, Qt::Key_F1);
      Key(form, Qt::Key_Escape);
    });
    EXPECT_EQ(host.ui.CurrentCursor(), OperatorUi::Cursor::Default);
  }
  EXPECT_EQ(host.ui.HelpTopics(), (std::vector<int>{30, 40, 50, 60, 70, 80, 90, 6400, 100}));
  EXPECT_FALSE(station->Modified());
  EXPECT_EQ(station->Image(), start);
  // Leaving the entry window asks nothing.
  QTest::mouseClick(splash->ExitButton, Qt::LeftButton);
  EXPECT_FALSE(splash->isVisible());
}

// A cell changes its own bit and nothing else: the bits of lines a smaller station does not
// have are kept as the image holds them, in every bit table and on every size of station.
TEST_F(Programming, OneToggledCellChangesOnlyItsOwnBit) {
  for (const int boards : {1, 2, 3}) {
    for (QPushButton* TProgrammingForm::*table :
         {&TProgrammingForm::DVO1AbonentButton, &TProgrammingForm::DVO2AbonentButton,
          &TProgrammingForm::GTSButton, &TProgrammingForm::MTSButton,
          &TProgrammingForm::DVO1LinesButton, &TProgrammingForm::DVO2LinesButton}) {
      ConfigImage image = StorableImage(boards);
      std::mt19937 random(7);
      for (const bool day : {true, false}) {
        for (const int kind : {GTSBasic, GTSAdd, MTS}) {
          for (int row = 0; row < 24; ++row)
            image[RegionOffset(RegionDescriptor(day, kind), row)] = random() | 0x80;
        }
      }
      TearDown();
      Open(boards, true, &image);
      SCOPED_TRACE(testing::Message()
                   << boards << " boards, " << (menu.get()->*table)->text().toStdString());
      InTable(menu.get()->*table, [](TTableForm& form) {
        Keys(form, Qt::Key_Down, 1);
        Key(form, Qt::Key_Right);
        Key(form, Qt::Key_Return);
        Key(form, Qt::Key_Escape);
      });
      int changedBits = 0;
      for (int offset = 0; offset < kImageSize; ++offset)
        changedBits += std::popcount(unsigned(station->Image()[offset] ^ start[offset]));
      EXPECT_EQ(changedBits, 1);
    }
  }
}

TEST_F(Programming, AClickWithoutAChangeStillCountsAsAnEdit) {
  Open(2, true);
  InTable(menu->DigitsButton, [](TTableForm& form) {
    QTest::mouseClick(form.focusWidget(), Qt::LeftButton, {}, QPoint(5, 12));
    Key(form, Qt::Key_Escape);
  });
  EXPECT_TRUE(station->Modified());
  EXPECT_EQ(station->Image(), start);
}

TEST_F(Programming, LeavingAfterAChangeAsksOnce) {
  Open(2, true);
  InTable(menu->DVO2AbonentButton, [](TTableForm& form) {
    Key(form, Qt::Key_Return);
    Key(form, Qt::Key_Escape);
  });
  host.ui.ExpectYesNo(QStringLiteral("Конфигурация была изменена.\r\nЗаписать в станцию?"), false,
                      false);
  QTest::mouseClick(splash->ExitButton, Qt::LeftButton);
  host.ui.Verify();
  splash->show();
  QTest::mouseClick(splash->ExitButton, Qt::LeftButton);  // asks nothing the second time
}

TEST_F(Programming, ClosingTheEntryWindowAnyWayAsksAsLeavingDoes) {
  Open(2, true);
  InTable(menu->DVO2AbonentButton, [](TTableForm& form) {
    Key(form, Qt::Key_Return);
    Key(form, Qt::Key_Escape);
  });
  host.ui.ExpectYesNo(QStringLiteral("Конфигурация была изменена.\r\nЗаписать в станцию?"), false,
                      false);
  splash->close();  // the title bar's close box
  host.ui.Verify();
  EXPECT_FALSE(splash->isVisible());
  EXPECT_FALSE(station->Modified());
}

TEST_F(Programming, AClosedTableWindowCommitsAsEscDoes) {
  Open(2, true);
  InTable(menu->DVO2AbonentButton, [](TTableForm& form) {
    Key(form, Qt::Key_Return);
    form.close();  // a close box the window manager shows all the same
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), 1);
  });
  EXPECT_EQ(station->Image(), Expected({{0, start[0] ^ 0x01}}));
}

TEST_F(Programming, EditsSurviveAFailedRereadAndTheLeaveQuestionOffersThem) {
  Open(2, true);
  InTable(menu->DVO2AbonentButton, [](TTableForm& form) {
    Key(form, Qt::Key_Return);
    Key(form, Qt::Key_Escape);
  });
  const ConfigImage edited = station->Image();
  line->Station().SetCablePulled(true);
  host.ui.ExpectYesNo(QString(), true, false);  // the cable question: no copy
  EXPECT_FALSE(station->StartProgramming());
  EXPECT_EQ(station->Image(), edited);
  host.ui.ExpectYesNo(QStringLiteral("Конфигурация была изменена.\r\nЗаписать в станцию?"), false,
                      false);
  QTest::mouseClick(splash->ExitButton, Qt::LeftButton);
  host.ui.Verify();
}

TEST_F(Programming, WritingFromTheEntryWindowVerifiesAndKeepsTheCopy) {
  Open(2, false);
  InTable(menu->DVO2AbonentButton, [](TTableForm& form) {
    Key(form, Qt::Key_Return);
    Key(form, Qt::Key_Escape);
  });
  host.ui.ExpectInfo(QStringLiteral("Запись выполнена успешно"), false);
  QTest::mouseClick(splash->WriteButton, Qt::LeftButton);
  host.ui.Verify();
  const ConfigImage expected = Expected({{256, start[256] ^ 0x01}});
  EXPECT_EQ(station->Image(), expected);
  EXPECT_TRUE(
      std::equal(expected.begin(), expected.end(), line->Station().Memory().begin() + 1280));
  const QByteArray copy = host.ReadFile(kConfigCopyFileName);
  EXPECT_EQ(copy, QByteArray(reinterpret_cast<const char*>(expected.data()), kImageSize));
  EXPECT_FALSE(station->Modified());
  EXPECT_EQ(host.ui.CurrentCursor(), OperatorUi::Cursor::Default);
}

TEST_F(Programming, TheCityLineWindowMadeAtStartUpBuildsNothing) {
  Open(2, true);
  {
    TPrgCityLineForm permanent(*context, nullptr);
    EXPECT_TRUE(permanent.findChildren<QLineEdit*>().isEmpty());
    EXPECT_EQ(host.ui.CurrentCursor(), OperatorUi::Cursor::Default);
    controller.Activate();
    controller.Edited = true;
  }
  EXPECT_FALSE(station->Modified());
}

TEST_F(Programming, TheBusyCursorLastsUntilTheTableIsFirstActive) {
  Open(2, true);
  InTable(menu->DVO2AbonentButton, [this](TTableForm& form) {
    if (!form.isActiveWindow()) {
      EXPECT_EQ(host.ui.CurrentCursor(), OperatorUi::Cursor::Busy);
      QApplication::setActiveWindow(&form);
    }
    EXPECT_EQ(host.ui.CurrentCursor(), OperatorUi::Cursor::Default);
    Key(form, Qt::Key_Escape);
  });
}

// What a write would change is marked in place: a cell edited in one showing of a table is
// marked while it differs from what the station holds, in the next showing too, and no more
// once the write has put it into the station; the switching window marks its values the same
// way.
TEST_F(Programming, ChangedCellsAreMarkedUntilTheyAreWritten) {
  Open(2, true);
  const auto marked = [](TTableForm& form) {
    QStringList names;
    for (QWidget* cell : form.findChildren<QWidget*>()) {
      if (HasChangeMark(cell)) names << cell->objectName();
    }
    names.sort();
    return names;
  };
  InTable(menu->DVO1AbonentButton, [&](TTableForm& form) {
    EXPECT_TRUE(marked(form).isEmpty());
    Key(form, Qt::Key_Return);  // ОС1 of subscriber 20
    QCoreApplication::processEvents();
    EXPECT_EQ(marked(form), QStringList({"Lab0"}));
    Key(form, Qt::Key_Return);  // and back: the station's value again
    QCoreApplication::processEvents();
    EXPECT_TRUE(marked(form).isEmpty());
    Key(form, Qt::Key_Return);
    Key(form, Qt::Key_Escape);
  });
  InTable(menu->CityLineButton, [&](TTableForm& form) {
    EXPECT_TRUE(marked(form).isEmpty());
    Keys(form, Qt::Key_Right, 2);
    QTest::keyClicks(form.focusWidget(), QStringLiteral("27"));
    QCoreApplication::processEvents();
    EXPECT_EQ(marked(form).size(), 1);
    Key(form, Qt::Key_Escape);
  });
  InTable(menu->DVO1AbonentButton, [&](TTableForm& form) {
    EXPECT_EQ(marked(form), QStringList({"Lab0"}));
    Key(form, Qt::Key_Escape);
  });
  QTest::mouseClick(splash->SwitchButton, Qt::LeftButton);
  switcher->StartStopH[1]->setValue(switcher->StartStopH[1]->value() == 5 ? 6 : 5);
  EXPECT_TRUE(HasChangeMark(switcher->StartStopH[1]));
  EXPECT_FALSE(HasChangeMark(switcher->StartStopM[1]));
  EXPECT_FALSE(HasChangeMark(switcher->AdminPhone1));
  // Not yet stored by its "Выход", the switching window's value is not in what a write sends,
  // so it stays marked through one.
  host.ui.ExpectInfo(QStringLiteral("Запись выполнена успешно"), false);
  QTest::mouseClick(splash->WriteButton, Qt::LeftButton);
  host.ui.Verify();
  EXPECT_TRUE(HasChangeMark(switcher->StartStopH[1]));
  QTest::mouseClick(switcher->ExitButton, Qt::LeftButton);
  host.ui.ExpectInfo(QStringLiteral("Запись выполнена успешно"), false);
  QTest::mouseClick(splash->WriteButton, Qt::LeftButton);
  host.ui.Verify();
  QTest::mouseClick(splash->SwitchButton, Qt::LeftButton);
  EXPECT_FALSE(HasChangeMark(switcher->StartStopH[1]));
  InTable(menu->DVO1AbonentButton, [&](TTableForm& form) {
    EXPECT_TRUE(marked(form).isEmpty());
    Key(form, Qt::Key_Escape);
  });
}

// The entry window's line counts the findings of the held image and opens their list; it asks
// nothing and the write goes on whatever it says.
TEST_F(Programming, TheEntryWindowShowsTheFindingsOfTheHeldImage) {
  Open(2, true);
  splash->RefreshFindings();
  const QString before = splash->FindingsButton->text();
  EXPECT_TRUE(before.startsWith(QStringLiteral("Проверка: ")));
  ConfigImage silent = station->Image();
  for (int column = 1; column <= 4; ++column) silent[IncomingCellOffset(true, 2, column)] = 0;
  station->SetImage(silent);
  splash->RefreshFindings();
  EXPECT_TRUE(splash->FindingsButton->text().contains(QStringLiteral("ошиб")))
      << splash->FindingsButton->text().toStdString();
  QTest::mouseClick(splash->FindingsButton, Qt::LeftButton);
  auto* list = splash->findChild<TConfigFindingsForm*>();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->isVisible());
  bool named = false;
  for (int row = 0; row < list->FindingsList->count(); ++row) {
    named = named || list->FindingsList->item(row)->text().contains(
                         QStringLiteral("входящие вызовы по ГЛ 2 днем в основном режиме"));
  }
  EXPECT_TRUE(named);
  list->close();

  // A write that fails keeps the design's boxes; the line then says what the station holds,
  // until a write succeeds.
  line->Station().SetProtected(true);
  host.ui.ExpectYesCancel({}, true, false);
  host.ui.ExpectInfo(QStringLiteral("Запись данных в станцию не может быть выполнена"), true);
  QTest::mouseClick(splash->WriteButton, Qt::LeftButton);
  host.ui.Verify();
  EXPECT_EQ(splash->FindingsButton->text(),
            QStringLiteral("Запись не выполнена. Станция содержит прежнюю конфигурацию."));
  line->Station().SetProtected(false);
  host.ui.ExpectInfo(QStringLiteral("Запись выполнена успешно"), false);
  QTest::mouseClick(splash->WriteButton, Qt::LeftButton);
  host.ui.Verify();
  EXPECT_TRUE(splash->FindingsButton->text().startsWith(QStringLiteral("Проверка: ")));
}
