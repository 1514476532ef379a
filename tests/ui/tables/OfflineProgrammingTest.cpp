// Programming without the station: a saved configuration edited in the table windows by
// keyboard alone, saved to a file of its own, and that file then written to the station
// emulator.
#include <QFile>

#include "Emulator.h"
#include "ProgrammingFixture.h"
#include "core/base/Clock.h"
#include "core/link/QtSerialTransport.h"
#include "core/station/OfflineProgramming.h"

namespace {

QByteArray Bytes(const ConfigImage& image) {
  return QByteArray(reinterpret_cast<const char*>(image.data()), kImageSize);
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST(OfflineProgramming, KeyboardEditsSavedBesideTheCopyThenWrittenToTheStation) {
  ConfigImage start = StorableImage(2, 3);
  start[244] = 0x00;  // night mode's start not set: its field is ready for typing
  start[245] = 0x00;
  ScriptedUi ui;
  QTemporaryDir dir;
  const QString copy = dir.filePath(kConfigCopyFileName);
  {
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Bytes(start));
  }
  QString suggested;
  const QString site = dir.filePath(QStringLiteral("site.cfg"));
  QString problem;
  const std::optional<ConfigImage> opened = OfflineProgramming::ReadImageFile(copy, &problem);
  ASSERT_TRUE(opened) << problem.toStdString();
  OfflineProgramming offline(
      ui,
      [&](const QString& name) {
        suggested = name;
        return site;
      },
      copy, *opened, 2);
  ViewControllerClass controller;
  ProgrammingContext context{ui, offline, controller};
  AppForms forms;
  auto menu = std::make_unique<TProgrammingForm>(context);
  auto switcher = std::make_unique<TProgrSwitchForm>(context);
  forms.programming = menu.get();
  forms.progrSwitch = switcher.get();
  auto splash = std::make_unique<TSplashProgrForm>(ui, offline, forms);
  forms.splash = splash.get();
  splash->SetOffline();
  EXPECT_EQ(splash->windowTitle(),
            QStringLiteral("без станции: Norvel.cfg — Norvel SplashProgramming"));
  splash->show();

  splash->DayProgrButton->setFocus();
  QTest::keyClick(splash->DayProgrButton, Qt::Key_Return);
  ASSERT_TRUE(menu->isVisible());
  RunInTable(menu->DVO1AbonentButton, [](TTableForm& form) {
    QTest::keyClick(form.focusWidget(), Qt::Key_Minus);  // ОС1 of subscriber 20 off
    QTest::keyClick(form.focusWidget(), Qt::Key_Escape);
  });
  splash->SwitchButton->setFocus();
  QTest::keyClick(splash->SwitchButton, Qt::Key_Return);
  ASSERT_TRUE(switcher->isVisible());
  QTest::keyClicks(switcher->focusWidget(), QStringLiteral("21"));
  QTest::keyClick(switcher->focusWidget(), Qt::Key_Tab);
  QTest::keyClicks(switcher->focusWidget(), QStringLiteral("30"));
  QTest::keyClick(switcher->ExitButton, Qt::Key_Return);

  ConfigImage expected = start;
  expected[4] &= ~0x01;
  expected[244] = 0x95;
  expected[245] = 30;
  ASSERT_EQ(offline.Image(), expected);
  // The marks are against the file as it was opened.
  EXPECT_EQ(offline.StationImage(), start);

  ui.ExpectInfo(QStringLiteral("Программирование записано в файл ") + site, false);
  splash->WriteButton->setFocus();
  QTest::keyClick(splash->WriteButton, Qt::Key_Return);
  ui.Verify();
  EXPECT_EQ(suggested, dir.filePath(QStringLiteral("Norvel-offline.cfg")));
  // Every window says there is no station, and the caption follows the save to a new name.
  EXPECT_EQ(splash->windowTitle(),
            QStringLiteral("без станции: site.cfg — Norvel SplashProgramming"));
  EXPECT_EQ(menu->windowTitle(), QStringLiteral("без станции: site.cfg — Norvel Programming"));
  EXPECT_EQ(switcher->windowTitle(), QStringLiteral("без станции: site.cfg — ProgrSwitchForm"));
  RunInTable(menu->GTSButton, [](TTableForm& form) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("без станции: site.cfg — Norvel Access1"));
    QTest::keyClick(form.focusWidget(), Qt::Key_Escape);
  });
  EXPECT_EQ(ReadFile(site), Bytes(expected));
  EXPECT_EQ(ReadFile(copy), Bytes(start));  // the station's copy is never an offline edit's
  EXPECT_EQ(offline.StationImage(), expected);
  EXPECT_FALSE(offline.Modified());
  splash.reset();
  switcher.reset();
  menu.reset();

  // On site: the saved file written to the station as any saved configuration is.
  station::StationOptions options;
  options.boards = 2;
  options.image = std::vector<std::uint8_t>(start.begin(), start.end());
  EmulatorProcess emulator(options);
  ASSERT_TRUE(emulator.Start());
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));
  QTemporaryDir siteDir;
  SystemClock clock;
  QtSerialPortFactory ports;
  Environment env{ui, clock, ports, siteDir.path()};
  WriteSettingsFile(env.workDir, 2, 2, clock.Now());
  {
    StationCtrlClass station(env);
    ASSERT_TRUE(station.CheckLink());
    ASSERT_TRUE(station.LoadFromStation());
    station.SetImage(*OfflineProgramming::ReadImageFile(site, &problem));
    ui.ExpectInfo(QStringLiteral("Запись выполнена успешно"), false);
    EXPECT_EQ(station.WriteAndSave(), StationCtrlClass::WriteOutcome::kWritten);
    ui.Verify();
  }
  emulator.Stop();
  qunsetenv("NORVEL_COM2");
  EXPECT_EQ(emulator.Memory().mid(1280, kImageSize), Bytes(expected));
}

TEST(OfflineProgramming, SavingAndLeaving) {
  ScriptedUi ui;
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("office.cfg"));
  int asked = 0;
  QString answer = dir.filePath(QStringLiteral("Norvel.cfg"));
  ConfigImage image{};
  OfflineProgramming offline(
      ui,
      [&](const QString&) {
        ++asked;
        return answer;
      },
      path, image, 1);
  image[4] = 0x01;
  offline.SetImage(image);
  // Leaving with an edit asks; Yes saves a file of any other name in place, without a question
  // of its name.
  ui.ExpectYesNo(QStringLiteral("Конфигурация была изменена.\r\nЗаписать в файл?"), false, true)
      .ExpectInfo(QStringLiteral("Программирование записано в файл ") + path, false);
  offline.OfferWriteOnLeave();
  ui.Verify();
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(ReadFile(path), Bytes(image));

  // Opened as the station's copy, the copy's own name is refused and a cancel saves nothing.
  OfflineProgramming onCopy(
      ui,
      [&](const QString&) {
        ++asked;
        return answer;
      },
      dir.filePath(QStringLiteral("Norvel.cfg")), image, 1);
  ui.ExpectInfo(QString(), true);
  onCopy.WriteProgramming();
  answer.clear();
  onCopy.WriteProgramming();
  ui.Verify();
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("Norvel.cfg"))));
  EXPECT_FALSE(
      OfflineProgramming::ReadImageFile(dir.filePath(QStringLiteral("none.cfg")), &answer));
}

// A configuration text opens only applied to a base named on purpose, and is saved as an image
// beside it, never over it; an image opens as it is.
TEST(OfflineProgramming, ATextOpensOnABaseAndIsSavedAsAnImageBesideIt) {
  QTemporaryDir dir;
  const auto write = [&dir](const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  };
  const ConfigImage base = StorableImage(2, 5);
  const QByteArray setting = "Доступ абонентов к МТС, ночь, абонент 20, 1 = нет\n";
  const QString text = write(QStringLiteral("t.txt"), setting);
  const QString padded = write(QStringLiteral("padded.cfg"), setting.leftJustified(512, ' '));
  const QString image = write(QStringLiteral("office.cfg"), Bytes(base));
  const QString wrong = write(QStringLiteral("wrong.txt"), "Доступ абонентов к МТС = может\n");
  ConfigImage onBase = base;
  onBase[RegionOffset(RegionDescriptor(false, MTS), 0)] &= ~ColumnsToLineBits(0x01);
  ConfigImage onZeros{};
  struct Row {
    const char* name;
    QString path;
    QString base;
    std::optional<ConfigImage> image;
    const char* problem;
  };
  const Row rows[] = {
      {"a text without a base", text, {}, std::nullopt, "текст конфигурации, а не образ"},
      {"a text padded to an image's size", padded, {}, std::nullopt, "--base ФАЙЛ.cfg"},
      {"a text on an image", text, image, onBase, ""},
      {"a text on zeros, asked for", text, QStringLiteral("empty"), onZeros, ""},
      {"a text with a mistake", wrong, QStringLiteral("empty"), std::nullopt, "line 1"},
      {"an image", image, {}, base, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QString problem;
    const auto opened = OfflineProgramming::OpenFile(row.path, row.base, &problem);
    ASSERT_EQ(opened.has_value(), row.image.has_value()) << problem.toStdString();
    EXPECT_TRUE(problem.contains(QString::fromUtf8(row.problem))) << problem.toStdString();
    if (opened) {
      EXPECT_EQ(opened->image, *row.image);
    }
  }

  ScriptedUi ui;
  const auto opened = OfflineProgramming::OpenFile(text, image, nullptr);
  ASSERT_TRUE(opened);
  QString suggested;
  OfflineProgramming offline(
      ui,
      [&](const QString& name) {
        suggested = name;
        return name;
      },
      text, opened->image, 2);
  offline.AskNameOnFirstSave();
  offline.MarkAgainst(opened->base);
  EXPECT_TRUE(offline.Modified());  // the text's change is what a save would keep
  EXPECT_EQ(offline.StationImage(), base);
  ui.ExpectInfo(QStringLiteral("Программирование записано в файл ") + dir.filePath("t.cfg"), false);
  offline.WriteProgramming();
  ui.Verify();
  EXPECT_EQ(ReadFile(text), setting);
  EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("t.cfg"))), Bytes(onBase));
  EXPECT_EQ(offline.OfflineFile(), QStringLiteral("t.cfg"));
}
