#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "FakeHost.h"
#include "core/files/SettingsFile.h"
#include "core/platform/SerialPlatform.h"
#include "core/station/StationCtrl.h"
#include "ui/shell/AppObjects.h"
#include "ui/shell/Tune.h"

namespace {

// Clicks a radio button on its indicator, where a click always lands.
void ClickRadio(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

struct TuneTest : ::testing::Test {
  FakeHost host;
  FakeLine com2{host.clock, {}};
  FakeLine com3{host.clock, {}};
  AppObjects objects;
  StationCtrlClass* station = nullptr;
  std::unique_ptr<TTuneForm> form;
  QDateTime moment = MakeDateTime(QDate(2026, 10, 1), QTime(7, 30, 0));

  void SetUp() override {
    host.ports.Plug(ComPortDeviceName(2), &com2);
    host.ports.Plug(ComPortDeviceName(3), &com3);
    WriteSettingsFile(host.env.workDir, 2, 2, moment);
    objects.Create(host.env);
    station = objects.Station();
    form = std::make_unique<TTuneForm>(host.env, objects);
  }
  void Open() {
    form->SetLink(station->Link());
    form->show();
  }
};

}  // namespace

TEST_F(TuneTest, ShowsItsControls) {
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Norvel Tune"));
  EXPECT_EQ(form->Label1->text(), QStringLiteral("Выбор COM- порта"));
  EXPECT_EQ(form->Label2->text(), QStringLiteral("Версия 1.14 от 10.06.02"));
  EXPECT_EQ(form->ExitButton->text(), QStringLiteral("Выход"));
  EXPECT_EQ(form->Com4Button->text(), QStringLiteral("COM4"));
  form->show();
  QTest::keyClick(form.get(), Qt::Key_F1);
  EXPECT_EQ(host.ui.HelpTopics(), std::vector<int>{170});
}

TEST_F(TuneTest, TheLinksPortIsCheckedAndNoneForOtherPorts) {
  Open();
  EXPECT_TRUE(form->Com2Button->isChecked());
  EXPECT_EQ(form->ChosenPort(), 2);
  ClickRadio(form->Com4Button);
  EXPECT_EQ(form->ChosenPort(), 4);
  EXPECT_FALSE(form->Com2Button->isChecked());
  form->hide();
  RS232Class other(host.env, 9);
  form->SetLink(&other);
  EXPECT_EQ(form->ChosenPort(), 0);
}

TEST_F(TuneTest, LeavingWithoutAClickChangesNothing) {
  const QByteArray before = host.ReadFile(kSettingsFileName);
  Open();
  QTest::mouseClick(form->ExitButton, Qt::LeftButton);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(station->Link()->PortNumber(), 2);
  EXPECT_EQ(host.ReadFile(kSettingsFileName), before);
}

TEST_F(TuneTest, ChoosingCom3MovesTheLinkAndSavesThePortWithTheOldMoment) {
  Open();
  ClickRadio(form->Com3Button);
  QTest::mouseClick(form->ExitButton, Qt::LeftButton);
  EXPECT_EQ(station->Link()->PortNumber(), 3);
  EXPECT_TRUE(com3.InUse());
  EXPECT_FALSE(com2.InUse());
  const LinkSettings saved = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
  EXPECT_EQ(saved.portNumber, 3);
  EXPECT_EQ(saved.boardCount, 2);
  EXPECT_EQ(saved.resetMoment, moment);
}

TEST_F(TuneTest, ClosingTheWindowAppliesTheChoiceToo) {
  Open();
  ClickRadio(form->Com3Button);
  form->close();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock).portNumber, 3);
}

TEST_F(TuneTest, WithoutASettingsFileTheMessageComesAndTheFileIsCreated) {
  Open();
  QFile::remove(host.Path(kSettingsFileName));
  ClickRadio(form->Com3Button);
  // The message comes while the window still stands.
  bool visibleDuringTheMessage = false;
  host.ui.ExpectInfo(QStringLiteral("Не найден файл NorvelWin.ini"), true).Then([&] {
    visibleDuringTheMessage = form->isVisible();
  });
  QTest::mouseClick(form->ExitButton, Qt::LeftButton);
  EXPECT_TRUE(visibleDuringTheMessage);
  EXPECT_FALSE(form->isVisible());
  const LinkSettings saved = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
  EXPECT_EQ(saved.portNumber, 3);
  EXPECT_EQ(saved.resetMoment.toSecsSinceEpoch(), host.clock.Now().toSecsSinceEpoch());
}

TEST_F(TuneTest, ALinkReplacedWhileTheWindowIsOpenIsNotUsed) {
  Open();
  station->RebuildLink();  // the link handed to SetLink is gone
  ClickRadio(form->Com3Button);
  QTest::mouseClick(form->ExitButton, Qt::LeftButton);
  EXPECT_EQ(station->Link()->PortNumber(), 3);
}

TEST_F(TuneTest, AChoiceMadeByTheProgramOrTheKeyboardIsTheOneSaved) {
  Open();
  ASSERT_TRUE(form->Com2Button->isChecked());
  // Checked from code: the others go off, and leaving saves this one.
  form->Com1Button->setChecked(true);
  EXPECT_FALSE(form->Com2Button->isChecked());
  EXPECT_EQ(form->ChosenPort(), 1);
  QTest::mouseClick(form->ExitButton, Qt::LeftButton);
  EXPECT_EQ(ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock).portNumber, 1);

  // Through the keyboard: from COM1 down to COM2.
  Open();
  QApplication::setActiveWindow(form.get());
  form->Com1Button->setFocus();
  ASSERT_TRUE(form->Com1Button->hasFocus());
  QTest::keyClick(form->Com1Button, Qt::Key_Down);
  EXPECT_TRUE(form->Com2Button->isChecked());
  EXPECT_FALSE(form->Com1Button->isChecked());
  QTest::mouseClick(form->ExitButton, Qt::LeftButton);
  EXPECT_EQ(ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock).portNumber, 2);
}
