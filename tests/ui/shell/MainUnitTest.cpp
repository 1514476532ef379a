#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "FakeHost.h"
#include "core/files/ConfigCopy.h"
#include "core/files/SettingsFile.h"
#include "core/platform/SerialPlatform.h"
#include "core/station/ReceptionLock.h"
#include "core/station/StationCtrl.h"
#include "ui/shell/MainUnit.h"
#include "ui/shell/Tune.h"
#include "ui/tariff/Tarification.h"

namespace {

struct MainFormTest : ::testing::Test {
  FakeHost host;
  FakeLine line{host.clock, {}};
  AppObjects objects;
  AppForms forms;
  std::unique_ptr<TMainForm> main;
  std::unique_ptr<TTuneForm> tune;
  std::unique_ptr<TTarificationForm> tarification;

  void Create(bool withSettings = true) {
    if (withSettings) WriteSettingsFile(host.env.workDir, 2, 2, host.clock.Now());
    host.ports.Plug(ComPortDeviceName(2), &line);
    main = std::make_unique<TMainForm>(host.env, objects, forms);
    forms.main = main.get();
    tune = std::make_unique<TTuneForm>(host.env, objects);
    forms.tune = tune.get();
    tarification = std::make_unique<TTarificationForm>(host.env, forms);
    forms.tarification = tarification.get();
  }
  void TearDown() override {
    tarification.reset();
    tune.reset();
    main.reset();
  }
};

}  // namespace

TEST_F(MainFormTest, FiveButtonsStackedWithTheirCaptionsAndTabOrder) {
  Create();
  EXPECT_EQ(main->windowTitle(), QStringLiteral("Norvel MainForm"));
  const QList<QPushButton*> buttons = {main->ProgButton, main->TarifReceiveButton,
                                       main->TarifAnalysisButton, main->TuneButton,
                                       main->QuitButton};
  const QStringList captions = {"Программирование", "Тарификация. Прием данных",
                                "Тарификация. Анализ", "Настройки", "Выход"};
  for (int i = 0; i < buttons.size(); ++i) {
    EXPECT_EQ(buttons[i]->text(), captions[i]);
    EXPECT_EQ(buttons[i]->geometry(), QRect(0, 40 * i, 297, 33)) << i;
    if (i + 1 < buttons.size()) {
      EXPECT_EQ(buttons[i]->nextInFocusChain(), buttons[i + 1]);
    }
  }
  EXPECT_EQ(main->size(), QSize(297, 193));
}

TEST_F(MainFormTest, TheSettingsMessageComesBeforeTheWindowIsShown) {
  bool anyWindowVisible = true;
  host.ui.ExpectInfo(QStringLiteral("Не найден файл NorvelWin.ini"), true).Then([&] {
    anyWindowVisible = false;
    for (QWidget* w : QApplication::topLevelWidgets()) anyWindowVisible |= w->isVisible();
  });
  Create(false);
  EXPECT_FALSE(anyWindowVisible);
  ASSERT_NE(objects.Station(), nullptr);
  EXPECT_EQ(objects.Station()->BoardCount(), 2);
}

TEST_F(MainFormTest, F1OnTheProgrammingButtonOpensTopic10AndTakesEveryKey) {
  Create();
  main->show();
  main->ProgButton->setFocus();
  QTest::keyClick(main->ProgButton, Qt::Key_F1);
  EXPECT_EQ(host.ui.HelpTopics(), std::vector<int>{10});
  // Space would press the button, but the handler takes it: no programming starts.
  QTest::keyClick(main->ProgButton, Qt::Key_Space);
  QTest::keyClick(main->ProgButton, Qt::Key_A);
  EXPECT_EQ(TrafficOf(line.Trace()).size(), 1);  // the link check at creation only
  // Other buttons carry no help.
  QTest::keyClick(main->TuneButton, Qt::Key_F1);
  EXPECT_EQ(host.ui.HelpTopics().size(), 1u);
}

TEST_F(MainFormTest, ProgrammingRunsUnderTheBusyCursorAndReadsAnewEachTime) {
  Create();
  const ConfigImage image = [this] {
    ConfigImage i;
    std::copy_n(line.Station().Memory().begin() + 1280, kImageSize, i.begin());
    return i;
  }();
  host.WriteFile(kConfigCopyFileName,
                 QByteArray(reinterpret_cast<const char*>(image.data()), kImageSize));
  QTest::mouseClick(main->ProgButton, Qt::LeftButton);
  EXPECT_EQ(host.ui.CurrentCursor(), OperatorUi::Cursor::Default);
  QTest::mouseClick(main->ProgButton, Qt::LeftButton);
  const QStringList traffic = TrafficOf(line.Trace());
  EXPECT_EQ(traffic.count(QStringLiteral("R 1280 512")), 2);
}

TEST_F(MainFormTest, SettingsOpenWithThePortOfTheCurrentLink) {
  Create();
  QTest::mouseClick(main->TuneButton, Qt::LeftButton);
  EXPECT_TRUE(tune->isVisible());
  EXPECT_TRUE(tune->Com2Button->isChecked());
  tune->hide();
  // The link is rebuilt from a settings file that now names COM3 (where nothing answers).
  WriteSettingsFile(host.env.workDir, 3, 2, host.clock.Now());
  objects.Station()->RebuildLink();
  QTest::mouseClick(main->TuneButton, Qt::LeftButton);
  EXPECT_TRUE(tune->Com3Button->isChecked());
  EXPECT_FALSE(tune->Com2Button->isChecked());
}

TEST_F(MainFormTest, TariffButtonsReachTheirWork) {
  Create();
  host.ui.ExpectInfo({}, false);  // no records in the station
  QTest::mouseClick(main->TarifReceiveButton, Qt::LeftButton);
  EXPECT_TRUE(TrafficOf(line.Trace()).contains(QStringLiteral("R 735 6")));
  QTest::mouseClick(main->TarifAnalysisButton, Qt::LeftButton);
  EXPECT_TRUE(tarification->isVisible());
}

TEST_F(MainFormTest, EnterPressesEveryFocusedButton) {
  Create();
  QTest::keyClick(main->TarifAnalysisButton, Qt::Key_Return);
  EXPECT_TRUE(tarification->isVisible());
  QTest::keyClick(main->TuneButton, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_TRUE(tune->isVisible());
}

TEST_F(MainFormTest, AnErrorInAHandlerIsShownAndTheProgramGoesOn) {
  Create();
  host.WriteFile(kSettingsFileName, "07.12.2026 ; x\r\ntwo\r\n2\r\n");
  host.ui.ExpectError(QStringLiteral("Неверное число в файле NorvelWin.ini, строка 2"));
  objects.Station()->SetBoardCount(3);  // so that the reception saves the station's own count
  QTest::mouseClick(main->TarifReceiveButton, Qt::LeftButton);
  EXPECT_EQ(host.ui.CurrentCursor(), OperatorUi::Cursor::Default);
  EXPECT_TRUE(main->TarifReceiveButton->isEnabled());
}

TEST_F(MainFormTest, QuittingClosesTheMainWindowAndFreesTheStation) {
  Create();
  main->show();
  QTest::mouseClick(main->QuitButton, Qt::LeftButton);
  EXPECT_FALSE(main->isVisible());
  EXPECT_EQ(objects.Station(), nullptr);
  EXPECT_FALSE(line.InUse());
}

TEST_F(MainFormTest, AReceptionRunningElsewhereIsReportedAndNothingIsSent) {
  Create();
  const ReceptionLock running(host.env.workDir, QStringLiteral("norvel receive"));
  ASSERT_TRUE(running.Held());
  const size_t before = line.Trace().size();
  host.ui.ExpectInfo(QStringLiteral("Прием данных уже выполняется (norvel receive, process %1)")
                         .arg(QCoreApplication::applicationPid()),
                     true);
  QTest::mouseClick(main->TarifReceiveButton, Qt::LeftButton);
  host.ui.Verify();
  EXPECT_EQ(line.Trace().size(), before);
}

TEST_F(MainFormTest, UnwrittenChangesAreOfferedBeforeTheStationIsReadAgainAndBeforeQuitting) {
  Create();
  ConfigImage image;
  std::copy_n(line.Station().Memory().begin() + 1280, kImageSize, image.begin());
  host.WriteFile(kConfigCopyFileName,
                 QByteArray(reinterpret_cast<const char*>(image.data()), kImageSize));
  QTest::mouseClick(main->ProgButton, Qt::LeftButton);
  // A table closed after "Выход" of the entry window changed the image; the table menu stays.
  ConfigImage edited = image;
  edited[44] ^= 0x04;
  objects.Station()->SetImage(edited);
  host.ui.ExpectYesNo(QStringLiteral("Конфигурация была изменена.\r\nЗаписать в станцию?"), false,
                      false);
  QTest::mouseClick(main->ProgButton, Qt::LeftButton);
  host.ui.Verify();
  EXPECT_EQ(objects.Station()->Image(), image);  // read anew once the question was answered

  objects.Station()->SetImage(edited);
  main->show();
  host.ui.ExpectYesNo(QStringLiteral("Конфигурация была изменена.\r\nЗаписать в станцию?"), false,
                      false);
  QTest::mouseClick(main->QuitButton, Qt::LeftButton);
  host.ui.Verify();
  EXPECT_EQ(objects.Station(), nullptr);
}
