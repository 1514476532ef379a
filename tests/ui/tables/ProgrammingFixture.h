#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <random>

#include "FakeHost.h"
#include "core/editor/ViewControl.h"
#include "core/files/ConfigCopy.h"
#include "core/files/SettingsFile.h"
#include "core/platform/SerialPlatform.h"
#include "core/station/StationCtrl.h"
#include "core/image/ImageLayout.h"
#include "ui/shell/AppForms.h"
#include "ui/tables/ProgrSwitch.h"
#include "ui/tables/Programming.h"
#include "ui/tables/SplashProgramming.h"
#include "ui/tables/TableForm.h"

// A random image that every table can store back unchanged: access rows hold only the lines a
// station of this size has, call-distribution cells hold valid entries, the seizure value fits
// its one digit, and the switching times are times.
inline ConfigImage StorableImage(int boards, unsigned seed = 42) {
  std::mt19937 random(seed);
  ConfigImage image;
  for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
  std::uint8_t columns = 0;
  for (int line = 0; line < 2 * boards; ++line) columns |= static_cast<std::uint8_t>(1u << line);
  const std::uint8_t lines = ColumnsToLineBits(columns);
  for (const bool day : {true, false}) {
    for (const int kind : {GTSBasic, GTSAdd, MTS}) {
      for (int row = 0; row < 24; ++row)
        image[RegionOffset(RegionDescriptor(day, kind), row)] &= lines;
    }
    for (int line = 1; line <= 8; ++line) {
      for (int column = 1; column <= 8; ++column) {
        std::uint8_t& cell = image[IncomingCellOffset(day, line, column)];
        cell = cell % 3 == 0 ? 0 : SubscriberCode(20 + cell % 24) + (cell % 3 == 2 ? 0x40 : 0);
      }
    }
    image[RegionOffset(RegionDescriptor(day, LineSeizure), 0)] &= 0x0F;
  }
  for (int t = 1; t <= 6; ++t) {
    const int offset = SwitchTimeOffset(t);
    image[offset] =
        image[offset] % 5 == 0 ? 0 : static_cast<std::uint8_t>(0x80 + image[offset] % 24);
    image[offset + 1] = image[offset] ? image[offset + 1] % 60 : 0;
  }
  image[511] = 0x11;
  return image;
}

// Presses a table menu button and runs `drive` on the table window while it is shown modally;
// a window that `drive` leaves open fails the test and is closed.
inline void RunInTable(QPushButton* button, const std::function<void(TTableForm&)>& drive) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    auto* form = qobject_cast<TTableForm*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr);
    drive(*form);
    ran = true;
    if (form->isVisible()) {
      ADD_FAILURE() << "the table window is still open";
      form->done(1);
    }
  });
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_TRUE(ran);
}

// A PC with a station whose programming has been read, and the programming windows on it.
struct ProgrammingFixture : ::testing::Test {
  FakeHost host;
  station::StationOptions options;
  std::unique_ptr<FakeLine> line;
  std::unique_ptr<StationCtrlClass> station;
  ViewControllerClass controller;
  std::unique_ptr<ProgrammingContext> context;
  AppForms forms;
  std::unique_ptr<TProgrammingForm> menu;
  std::unique_ptr<TSplashProgrForm> splash;
  std::unique_ptr<TProgrSwitchForm> switcher;
  ConfigImage start{};

  void Open(int boards = 2, bool day = true) {
    start = StorableImage(boards);
    options.boards = boards;
    options.image = std::vector<std::uint8_t>(start.begin(), start.end());
    line = std::make_unique<FakeLine>(host.clock, options);
    host.ports.Plug(ComPortDeviceName(2), line.get());
    WriteSettingsFile(host.env.workDir, 2, static_cast<quint16>(boards), host.clock.Now());
    host.WriteFile(kConfigCopyFileName,
                   QByteArray(reinterpret_cast<const char*>(start.data()), kImageSize));
    station = std::make_unique<StationCtrlClass>(host.env);
    ASSERT_TRUE(station->StartProgramming());
    context =
        std::make_unique<ProgrammingContext>(ProgrammingContext{host.ui, *station, controller});
    menu = std::make_unique<TProgrammingForm>(*context);
    switcher = std::make_unique<TProgrSwitchForm>(*context);
    forms.programming = menu.get();
    forms.progrSwitch = switcher.get();
    splash = std::make_unique<TSplashProgrForm>(host.ui, *station, forms);
    forms.splash = splash.get();
    splash->show();
    QTest::mouseClick(day ? splash->DayProgrButton : splash->NightProgrButton, Qt::LeftButton);
  }
  void TearDown() override {
    splash.reset();
    switcher.reset();
    menu.reset();
    station.reset();
  }

  static void InTable(QPushButton* button, const std::function<void(TTableForm&)>& drive) {
    RunInTable(button, drive);
  }
  // A key as the operator presses it, on the cell that has the focus.
  static void Key(TTableForm& form, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(form.focusWidget(), key, modifiers);
  }
  static void Keys(TTableForm& form, Qt::Key key, int times) {
    for (int i = 0; i < times; ++i) Key(form, key);
  }
  static void Type(TTableForm& form, const QString& text) {
    QTest::keyClicks(form.focusWidget(), text);
  }
  ConfigImage Expected(std::initializer_list<std::pair<int, int>> changes) const {
    ConfigImage expected = start;
    for (const auto& [offset, value] : changes) expected[offset] = static_cast<std::uint8_t>(value);
    return expected;
  }
};
