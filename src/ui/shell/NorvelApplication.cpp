#include "ui/shell/NorvelApplication.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QPushButton>

#include "core/base/Handlers.h"
#include "core/editor/ViewControl.h"
#include "core/files/RegularFile.h"
#include "core/files/SettingsFile.h"
#include "core/station/OfflineProgramming.h"
#include "core/station/StationCtrl.h"
#include "core/tables/ConfigText.h"
#include "ui/link/Thermometer.h"
#include "ui/shell/MainUnit.h"
#include "ui/shell/QtTranslation.h"
#include "ui/shell/Tune.h"
#include "ui/shell/WindowManagerHints.h"
#include "ui/tables/PrgCityLine.h"
#include "ui/tables/ProgrSwitch.h"
#include "ui/tables/Programming.h"
#include "ui/tables/SplashProgramming.h"
#include "ui/tariff/FileViewer.h"
#include "ui/tariff/Tarification.h"

NorvelApplication::NorvelApplication(int& argc, char** argv)
    : QApplication(argc, argv), env_{ui_, clock_, ports_, QDir::currentPath()} {
  setApplicationName(QLatin1String(OperatorUi::kProgramName));
  // The title bar and the task bar show the program's icon; the desktop entry's name ties the
  // running program to its menu entry.
  setWindowIcon(QIcon(QStringLiteral(":/norvelwin.png")));
  setDesktopFileName(QStringLiteral("norvelwin"));
  setQuitOnLastWindowClosed(false);
  LoadQtRussian(*this);
  // The help is found in the working directory, beside the program, or where the package puts
  // it.
  ui_.SetHelpDirectories(
      {env_.workDir, applicationDirPath(),
       QDir(applicationDirPath()).filePath(QStringLiteral("../share/norvelwin"))});
}

NorvelApplication::~NorvelApplication() {
  // Windows go before the objects they refer to.
  while (!windows_.empty()) windows_.pop_back();
}

template <class Form, class... Arguments>
Form* NorvelApplication::AddWindow(Form*& slot, Arguments&&... arguments) {
  auto window = std::make_unique<Form>(std::forward<Arguments>(arguments)...);
  slot = window.get();
  windows_.push_back(std::move(window));
  return slot;
}

void NorvelApplication::AddProgrammingWindows(ProgrammingSession& session) {
  AddWindow(forms_.splash, ui_, session, forms_);
  // Made at start-up and never shown: it builds nothing until the table menu asks for it.
  AddWindow(forms_.cityLine, *programming_, nullptr);
  AddWindow(forms_.progrSwitch, *programming_);
}

void NorvelApplication::CreateForms() {
  // The main menu first: its creation makes the station object, whose settings messages may
  // appear before any window is shown. Then the other windows, hidden, in their fixed order.
  AddWindow(forms_.main, env_, objects_, forms_);

  // The programming windows work on the station object and the editor's controller, which the
  // main menu's creation made; without a station object there is nothing to program.
  StationCtrlClass* station = objects_.Station();
  if (station && objects_.Controller()) {
    programming_ = std::make_unique<ProgrammingContext>(
        ProgrammingContext{ui_, *station, *objects_.Controller()});
    AddWindow(forms_.programming, *programming_);
  }
  AddWindow(forms_.tarification, env_, forms_);
  AddWindow(forms_.tune, env_, objects_);
  ui_.SetThermometer(AddWindow(forms_.thermometer));
  AddWindow(forms_.viewer, env_);
  if (programming_) AddProgrammingWindows(*station);

  ShowWithKeyboard(forms_.main, forms_.main->ProgButton);
}

bool NorvelApplication::CreateOfflineForms(QString path, std::optional<int> boards,
                                           const QString& base) {
  const QString caption = QStringLiteral("NorvelWin — без станции");
  const QString filter =
      QStringLiteral("Конфигурация (*.cfg);;Текст конфигурации (*.txt);;Все файлы (*)");
  if (path.isEmpty()) {
    path = QFileDialog::getOpenFileName(nullptr, caption, env_.workDir, filter);
    if (path.isEmpty()) return false;
  }
  QString problem;
  const std::optional<OfflineProgramming::Opened> opened =
      OfflineProgramming::OpenFile(path, base, &problem);
  if (!opened) {
    ui_.InfoBox(problem, true);
    return false;
  }
  const ConfigImage* image = &opened->image;
  if (!boards && QFileInfo::exists(env_.FilePath(kSettingsFileName))) {
    const quint16 count = ReadSettingsFile(env_.workDir, ui_, clock_).boardCount;
    if (StationCtrlClass::IsValidBoardCount(count)) boards = count;
  }
  while (!boards) {
    const QString answer =
        ui_.InputBox(caption, QStringLiteral("Число плат станции (1..4):"), QString()).trimmed();
    if (answer.isEmpty()) return false;
    const int count = answer.toInt();
    if (count >= 1 && count <= 4) boards = count;
  }

  offline_ = std::make_unique<OfflineProgramming>(
      ui_,
      [caption, filter](const QString& suggested) {
        return QFileDialog::getSaveFileName(nullptr, caption, suggested, filter);
      },
      path, *image, static_cast<quint16>(*boards));
  if (opened->fromText) {
    offline_->AskNameOnFirstSave();
    offline_->MarkAgainst(opened->base);
  }
  offlineController_ = std::make_unique<ViewControllerClass>();
  programming_ =
      std::make_unique<ProgrammingContext>(ProgrammingContext{ui_, *offline_, *offlineController_});
  AddWindow(forms_.programming, *programming_);
  ui_.SetThermometer(AddWindow(forms_.thermometer));
  AddProgrammingWindows(*offline_);
  forms_.splash->SetOffline();
  // Leaving the entry window ends the program: there is no main menu to go back to.
  forms_.splash->SetLeaveAction([] { QCoreApplication::quit(); });

  ShowWithKeyboard(forms_.splash, forms_.splash->DayProgrButton);
  return true;
}

bool NorvelApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  RunHandler(ui_, [&] { handled = QApplication::notify(receiver, event); });
  return handled;
}
