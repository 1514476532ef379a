#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <random>

#include "FakeHost.h"
#include "StorableImage.h"
#include "core/editor/ViewControl.h"
#include "core/files/ConfigCopy.h"
#include "core/files/SettingsFile.h"
#include "core/image/ImageLayout.h"
#include "core/platform/SerialPlatform.h"
#include "core/station/StationCtrl.h"
#include "ui/shell/AppForms.h"
#include "ui/tables/ProgrSwitch.h"
#include "ui/tables/Programming.h"
#include "ui/tables/SplashProgramming.h"
#include "ui/tables/TableForm.h"

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

  void Open(int boards = 2, bool day = true, const ConfigImage* image = nullptr) {
    start = image ? *image : StorableImage(boards);
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
