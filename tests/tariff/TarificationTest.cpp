#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include "TariffFixture.h"
#include "tariff/FileViewer.h"
#include "tariff/Tarification.h"

namespace {

// Clicks a radio button on its indicator, where a click always lands.
void ClickRadio(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

struct TarificationTest : ::testing::Test {
  FakeHost host;
  AppForms forms;
  std::unique_ptr<TFileViewerForm> viewer;
  std::unique_ptr<TTarificationForm> form;

  void SetUp() override {
    form = std::make_unique<TTarificationForm>(host.env, forms);
    forms.tarification = form.get();
    viewer = std::make_unique<TFileViewerForm>(host.env);
    forms.viewer = viewer.get();
  }
};

}  // namespace

TEST_F(TarificationTest, ItsGroupsAndButtons) {
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Norvel Tarification"));
  EXPECT_EQ(form->TitleLabel->text(), QStringLiteral("Тарификация"));
  EXPECT_EQ(form->MonthButton(0)->text(), QStringLiteral("Январь"));
  EXPECT_EQ(form->MonthButton(11)->text(), QStringLiteral("Декабрь"));
  EXPECT_EQ(form->DayButton(0)->text(), QStringLiteral("Все дни месяца"));
  EXPECT_EQ(form->DayButton(31)->objectName(), QStringLiteral("Day32"));
  EXPECT_EQ(form->DayButton(31)->text(), QStringLiteral("31"));
  EXPECT_EQ(form->DayButton(30)->objectName(), QStringLiteral("Day30"));
  EXPECT_EQ(form->AbonentButton(0)->text(), QStringLiteral("Все абоненты"));
  EXPECT_EQ(form->AbonentButton(24)->objectName(), QStringLiteral("Abonent24"));
  EXPECT_EQ(form->AbonentButton(24)->text(), QStringLiteral("43"));
  EXPECT_EQ(form->ExecButton->text(), QStringLiteral("Просмотр"));
  EXPECT_EQ(form->HelpButton->text(), QStringLiteral("Помощь"));
  EXPECT_EQ(form->ExitButton->text(), QStringLiteral("Выход"));
  // The current month (the fake clock says December), all days, all subscribers.
  EXPECT_TRUE(form->MonthButton(11)->isChecked());
  EXPECT_EQ(form->MonthValue(), 12);
  EXPECT_EQ(form->DayValue(), 0);
  EXPECT_EQ(form->AbonentValue(), 0);
}

TEST_F(TarificationTest, DaysAndSubscribersStandInThreeColumns) {
  form->show();
  const int x1 = form->DayButton(1)->x();
  EXPECT_EQ(form->DayButton(11)->x(), x1);
  EXPECT_GT(form->DayButton(12)->x(), x1);
  EXPECT_EQ(form->DayButton(12)->y(), form->DayButton(1)->y());
  EXPECT_EQ(form->DayButton(23)->y(), form->DayButton(1)->y());
  EXPECT_GT(form->DayButton(1)->y(), form->DayButton(0)->y());
  EXPECT_EQ(form->AbonentButton(23)->y(), form->AbonentButton(1)->y());   // 42 beside 20
  EXPECT_GT(form->AbonentButton(12)->x(), form->AbonentButton(11)->x());  // 31 right of 30
}

TEST_F(TarificationTest, ChoicesGoToTheLoader) {
  WriteMonth(
      host, 3,
      {Rec(31, 9, 0, 43, 1, 1, "1"), Rec(30, 9, 0, 43, 1, 1, "2"), Rec(31, 9, 0, 20, 1, 1, "3")});
  ClickRadio(form->MonthButton(2));
  ClickRadio(form->DayButton(31));
  ClickRadio(form->AbonentButton(24));
  EXPECT_EQ(form->DayValue(), 31);
  EXPECT_EQ(form->AbonentValue(), 24);
  QTest::mouseClick(form->ExecButton, Qt::LeftButton);
  EXPECT_TRUE(viewer->isVisible());
  ASSERT_EQ(viewer->Viewer().ShownCount(), 1);
  EXPECT_EQ(viewer->Viewer().ShownRecord(0).DialledNumber, QStringLiteral("1"));
  EXPECT_EQ(viewer->MemoWin->model()->rowCount(), 1);
}

TEST_F(TarificationTest, NoDataForAMissingFileOrOtherSubscribersOnly) {
  host.ui.ExpectInfo(QStringLiteral("Данные тарификации отсутствуют"), false);
  QTest::mouseClick(form->ExecButton, Qt::LeftButton);
  EXPECT_FALSE(viewer->isVisible());

  WriteMonth(host, 12, {Rec(1, 9, 0, 20, 1, 1, "1")});
  ClickRadio(form->AbonentButton(2));
  host.ui.ExpectInfo(QStringLiteral("Данные тарификации отсутствуют"), false);
  QTest::mouseClick(form->ExecButton, Qt::LeftButton);
  EXPECT_FALSE(viewer->isVisible());
}

TEST_F(TarificationTest, HelpAndExit) {
  form->show();
  QTest::mouseClick(form->HelpButton, Qt::LeftButton);
  QTest::keyClick(form->MonthButton(0), Qt::Key_F1);
  EXPECT_EQ(host.ui.HelpTopics(), (std::vector<int>{150, 150}));
  QTest::mouseClick(form->ExitButton, Qt::LeftButton);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(TarificationTest, TheViewerWindow) {
  EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Norvel File Viewer"));
  EXPECT_EQ(
      viewer->Label1->text(),
      QStringLiteral("Дата   Время   Або-    Длит.   Номер    Тип                Тел. номер"));
  EXPECT_EQ(viewer->Label2->text(), QStringLiteral(" нент    (мин)        ГЛ"));
  EXPECT_TRUE(QFontInfo(viewer->Label1->font()).fixedPitch());
  EXPECT_TRUE(QFontInfo(viewer->MemoWin->font()).fixedPitch());
  EXPECT_EQ(viewer->MemoWin->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(viewer->GroupBox1->title(), QStringLiteral("Сортировка по"));
  EXPECT_EQ(viewer->SortGLButton->text(), QStringLiteral("номеру ГЛ"));
  EXPECT_EQ(viewer->GroupBox2->title(), QStringLiteral("Выборка по"));
  EXPECT_EQ(viewer->SelectAllButton->text(), QStringLiteral("Все"));
  EXPECT_EQ(viewer->Print2Button->text(), QStringLiteral("Печать 2"));

  WriteMonth(host, 12, {Rec(1, 9, 0, 20, 1, 2, "1"), Rec(2, 9, 0, 21, 1, 0, "2")});
  ASSERT_TRUE(viewer->LoadRecords(12, 0, 0));
  viewer->show();
  // The memo shows the lines in the columns of the headings.
  const QString shown = viewer->MemoWin->model()->index(0, 0).data().toString();
  EXPECT_EQ(shown.mid(17, 3), QStringLiteral("20 "));
  EXPECT_EQ(shown.mid(25, 1), QStringLiteral("1"));
  EXPECT_EQ(shown.mid(33, 1), QStringLiteral("2"));
  EXPECT_EQ(shown.mid(42, 1), QStringLiteral("1"));
  EXPECT_EQ(shown.mid(61), QStringLiteral("1"));
  EXPECT_EQ(viewer->Label1->text().indexOf(QStringLiteral("Або-")) + 2, 17);
  // A click on the window's background sorts by city line.
  QTest::mouseClick(viewer.get(), Qt::LeftButton, {}, QPoint(2, viewer->height() - 2));
  EXPECT_EQ(viewer->Viewer().SortMode(), 3);
  EXPECT_EQ(viewer->Viewer().ShownRecord(0).DialledNumber, QStringLiteral("2"));
  QTest::keyClick(viewer->MemoWin, Qt::Key_F1);
  EXPECT_EQ(host.ui.HelpTopics(), std::vector<int>{160});
  QTest::mouseClick(viewer->ExitButton, Qt::LeftButton);
  EXPECT_FALSE(viewer->isVisible());
}
