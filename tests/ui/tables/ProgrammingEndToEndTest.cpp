// A programming run from the main menu against the station emulator, in real time.
#include <QFile>
#include <QSpinBox>

#include "Emulator.h"
#include "ProgrammingFixture.h"
#include "core/base/Clock.h"
#include "core/link/QtSerialTransport.h"
#include "ui/shell/MainUnit.h"

TEST(ProgrammingEndToEnd, NightEditsInTwoTablesAndTheSwitchingWindowReachTheStation) {
  const ConfigImage start = StorableImage(2, 7);
  station::StationOptions options;
  options.image = std::vector<std::uint8_t>(start.begin(), start.end());
  EmulatorProcess emulator(options);
  ASSERT_TRUE(emulator.Start());
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));

  SystemClock clock;
  QtSerialPortFactory ports;
  ScriptedUi ui;
  QTemporaryDir dir;
  Environment env{ui, clock, ports, dir.path()};
  WriteSettingsFile(env.workDir, 2, 2, clock.Now());
  {
    QFile copy(env.FilePath(kConfigCopyFileName));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(reinterpret_cast<const char*>(start.data()), kImageSize);
  }

  AppObjects objects;
  AppForms forms;
  auto main = std::make_unique<TMainForm>(env, objects, forms);
  forms.main = main.get();
  ASSERT_NE(objects.Station(), nullptr);
  ProgrammingContext context{ui, *objects.Station(), *objects.Controller()};
  auto menu = std::make_unique<TProgrammingForm>(context);
  auto switcher = std::make_unique<TProgrSwitchForm>(context);
  forms.programming = menu.get();
  forms.progrSwitch = switcher.get();
  auto splash = std::make_unique<TSplashProgrForm>(ui, *objects.Station(), forms);
  forms.splash = splash.get();

  QTest::mouseClick(main->ProgButton, Qt::LeftButton);
  ASSERT_TRUE(splash->isVisible());
  QTest::mouseClick(splash->NightProgrButton, Qt::LeftButton);
  ASSERT_TRUE(menu->isVisible());
  RunInTable(menu->DVO1AbonentButton, [](TTableForm& form) {
    QTest::keyClick(form.focusWidget(), Qt::Key_Plus);  // ОС1 of subscriber 20
    QTest::keyClick(form.focusWidget(), Qt::Key_Escape);
  });
  RunInTable(menu->GTSButton, [](TTableForm& form) {
    QTest::keyClick(form.focusWidget(), Qt::Key_Down);
    QTest::keyClick(form.focusWidget(), Qt::Key_Return);  // line 1 of subscriber 21
    QTest::keyClick(form.focusWidget(), Qt::Key_Escape);
  });
  QTest::mouseClick(splash->SwitchButton, Qt::LeftButton);
  switcher->StartStopH[4]->setValue(22);
  switcher->StartStopM[4]->setValue(15);
  QTest::mouseClick(switcher->ExitButton, Qt::LeftButton);

  ui.ExpectInfo(QStringLiteral("Запись выполнена успешно"), false);
  QTest::mouseClick(splash->WriteButton, Qt::LeftButton);
  ui.Verify();

  ConfigImage expected = start;
  expected[260] |= 0x01;
  expected[256 + 76] ^= 0x01;
  expected[500] = 0x96;
  expected[501] = 0x0F;
  const QByteArray edited(reinterpret_cast<const char*>(expected.data()), kImageSize);
  QFile copy(env.FilePath(kConfigCopyFileName));
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
  EXPECT_EQ(copy.readAll(), edited);

  splash.reset();
  switcher.reset();
  menu.reset();
  main.reset();
  emulator.Stop();
  qunsetenv("NORVEL_COM2");
  EXPECT_EQ(emulator.Memory().mid(1280, kImageSize), edited);
}
