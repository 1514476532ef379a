#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <iostream>

#include "TariffFixture.h"
#include "ui/tariff/ColumnFont.h"
#include "ui/tariff/FileViewer.h"
#include "ui/tariff/Tarification.h"

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
  EXPECT_EQ(viewer->Label2->text(), QStringLiteral(" нент    (мин)   ГЛ"));
  // The columns line up: the headings, the lines and the printer share one font in which every
  // digit, letter and blank takes the same width.
  EXPECT_EQ(viewer->Label1->font(), ColumnFont());
  EXPECT_EQ(viewer->MemoWin->font(), ColumnFont());
  EXPECT_TRUE(HasEvenColumns(viewer->MemoWin->font()))
      << QFontInfo(viewer->MemoWin->font()).family().toStdString();
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
  // Every heading word stands over its column: Label1 two characters in, Label2 sixteen.
  const QString first = viewer->Label1->text();
  const QString second = viewer->Label2->text();
  EXPECT_EQ(first.indexOf(QStringLiteral("Або-")) + 2, 17);
  EXPECT_EQ(second.indexOf(QStringLiteral("нент")) + 16, 17);
  EXPECT_EQ(first.indexOf(QStringLiteral("Длит.")) + 2, 25);
  EXPECT_EQ(second.indexOf(QStringLiteral("(мин)")) + 16, 25);
  EXPECT_EQ(first.indexOf(QStringLiteral("Номер")) + 2, 33);
  EXPECT_EQ(second.indexOf(QStringLiteral("ГЛ")) + 16, 33);
  EXPECT_EQ(first.indexOf(QStringLiteral("Тип")) + 2, 42);
  EXPECT_EQ(first.indexOf(QStringLiteral("Тел. номер")) + 2, 61);
  // And on screen: the heading's "ГЛ" starts where the city-line column does.
  const QFontMetrics metrics(viewer->Label2->font());
  const int glX = viewer->Label2->mapTo(viewer.get(), QPoint(viewer->Label2->indent(), 0)).x() +
                  metrics.horizontalAdvance(second.left(second.indexOf(QStringLiteral("ГЛ"))));
  const QRect row = viewer->MemoWin->visualRect(viewer->MemoWin->model()->index(0, 0));
  const int columnX = viewer->MemoWin->viewport()->mapTo(viewer.get(), row.topLeft()).x() +
                      metrics.horizontalAdvance(shown.left(33));
  EXPECT_NEAR(glX, columnX, metrics.horizontalAdvance(u'0') / 2 + 2);
  // A click on the window's background sorts by city line.
  QTest::mouseClick(viewer.get(), Qt::LeftButton, {}, QPoint(2, viewer->height() - 2));
  EXPECT_EQ(viewer->Viewer().SortMode(), 3);
  EXPECT_EQ(viewer->Viewer().ShownRecord(0).DialledNumber, QStringLiteral("2"));
  QTest::keyClick(viewer->MemoWin, Qt::Key_F1);
  EXPECT_EQ(host.ui.HelpTopics(), std::vector<int>{160});
  QTest::mouseClick(viewer->ExitButton, Qt::LeftButton);
  EXPECT_FALSE(viewer->isVisible());
}

TEST(ColumnFontTest, MeasuresTheWidthsRatherThanTrustingTheFixedPitchFlag) {
  const QFont chosen = ColumnFont();
  const QString family = QFontInfo(chosen).family();
  RecordProperty("column_font", family.toStdString());
  std::cout << "columns laid out in " << family.toStdString() << "\n";
  EXPECT_TRUE(HasEvenColumns(chosen)) << family.toStdString();
  // A proportional font is refused.
  EXPECT_FALSE(HasEvenColumns(QFont(QStringLiteral("DejaVu Sans"))));
  // Noto Sans Mono, which Qt does not call fixed, is taken when it is there.
  if (QFontDatabase::families().contains(QStringLiteral("Noto Sans Mono"))) {
    EXPECT_TRUE(HasEvenColumns(QFont(QStringLiteral("Noto Sans Mono"))));
  }
}

TEST_F(TarificationTest, TheSelectionWindowFocusesTheCheckedMonth) {
  form->show();
  QApplication::setActiveWindow(form.get());
  const int month = host.clock.Now().date().month();
  EXPECT_TRUE(form->MonthButton(month - 1)->isChecked());
  EXPECT_EQ(form->focusWidget(), form->MonthButton(month - 1));
  // A Space on it switches nothing.
  QTest::keyClick(form->focusWidget(), Qt::Key_Space);
  EXPECT_EQ(form->MonthValue(), month);
}

TEST_F(TarificationTest, SortsAndSelectionsShowTheTopOfTheList) {
  std::vector<CallRecord> records;
  for (int i = 0; i < 400; ++i)
    records.push_back(Rec(1 + i % 28, i % 24, i % 60, 20 + i % 24, i % 50, 1, "1"));
  WriteMonth(host, 12, records);
  ASSERT_TRUE(viewer->LoadRecords(12, 0, 0));
  viewer->resize(860, 560);
  viewer->show();
  QScrollBar* bar = viewer->MemoWin->verticalScrollBar();
  for (QPushButton* button : {viewer->SortDurationButton, viewer->SortAbonentButton,
                              viewer->SortGLButton, viewer->SelectAllButton}) {
    bar->setValue(bar->maximum());
    ASSERT_GT(bar->value(), 0);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(bar->value(), 0) << button->text().toStdString();
  }
}

TEST_F(TarificationTest, TheReportButtonOpensTheChosenReportInAPreview) {
  form->show();
  // Beside the window's own buttons, which keep their order at the right edge.
  EXPECT_EQ(form->ReportButton->text(), QStringLiteral("Отчет"));
  EXPECT_LT(form->ReportButton->x(), form->ExecButton->x());
  EXPECT_LT(form->ExecButton->x(), form->HelpButton->x());
  EXPECT_LT(form->HelpButton->x(), form->ExitButton->x());
  form->ReportButton->setFocus();
  QTest::keyClick(form->ReportButton, Qt::Key_F1);
  form->ExecButton->setFocus();
  QTest::keyClick(form->ExecButton, Qt::Key_F1);
  EXPECT_EQ(host.ui.HelpTopics(), (std::vector<int>{180, 150}));

  host.ui.ExpectInfo(QStringLiteral("Данные тарификации отсутствуют"), false);
  QTest::mouseClick(form->ReportButton, Qt::LeftButton);
  EXPECT_EQ(form->findChild<QPrintPreviewDialog*>(), nullptr);
  host.ui.Verify();

  WriteMonth(host, 12,
             {Rec(1, 9, 0, 20, 3, 1, "2345"), Rec(1, 9, 30, 21, 5, 2, "2346"),
              Rec(2, 10, 0, 20, 1, 1, "2347")});
  ClickRadio(form->AbonentButton(1));  // subscriber 20
  QTest::mouseClick(form->ReportButton, Qt::LeftButton);
  auto* preview = form->findChild<QPrintPreviewDialog*>(QStringLiteral("ReportPreview"));
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(preview->isVisible());
  EXPECT_EQ(preview->windowTitle(), QStringLiteral("Отчет: декабрь 2026"));
  auto* pages = preview->findChild<QPrintPreviewWidget*>();
  ASSERT_NE(pages, nullptr);
  QApplication::processEvents();
  // The summary, the line load, the lists, the suspicious calls and subscriber 20's page.
  EXPECT_EQ(pages->pageCount(), 5);
  EXPECT_EQ(host.ui.CurrentCursor(), OperatorUi::Cursor::Default);
  preview->close();

  // A tariff file with a mistake: the operator reads where, and no report opens.
  host.WriteFile(QStringLiteral("NorvelTariffs.txt"), "[Город]\nminute = 1.2.3\n");
  host.ui.ExpectError(
      QStringLiteral("Файл NorvelTariffs.txt, строка 2: «minute»: неверная сумма «1.2.3» (от 0 до "
                     "1000000, не больше четырех знаков после точки)"));
  QTest::mouseClick(form->ReportButton, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(form->findChild<QPrintPreviewDialog*>(), nullptr);
  EXPECT_EQ(host.ui.CurrentCursor(), OperatorUi::Cursor::Default);
}
