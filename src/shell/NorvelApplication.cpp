#include "shell/NorvelApplication.h"

#include <QDir>

#include "link/Thermometer.h"
#include "shell/Handlers.h"
#include "shell/MainUnit.h"
#include "shell/Tune.h"
#include "tariff/FileViewer.h"
#include "tariff/Tarification.h"

NorvelApplication::NorvelApplication(int& argc, char** argv)
    : QApplication(argc, argv), env_{ui_, clock_, ports_, QDir::currentPath()} {
  setApplicationName(QLatin1String(OperatorUi::kProgramName));
  setQuitOnLastWindowClosed(false);
  ui_.SetHelpDirectories({env_.workDir, applicationDirPath()});
}

NorvelApplication::~NorvelApplication() {
  // Windows go before the objects they refer to.
  while (!windows_.empty()) windows_.pop_back();
}

void NorvelApplication::CreateForms() {
  // The main menu first: its creation makes the station object, whose settings messages may
  // appear before any window is shown. Then the other windows, hidden, in their fixed order.
  auto main = std::make_unique<TMainForm>(env_, forms_);
  forms_.main = main.get();
  windows_.push_back(std::move(main));

  auto tarification = std::make_unique<TTarificationForm>(env_, forms_);
  forms_.tarification = tarification.get();
  windows_.push_back(std::move(tarification));

  TMainForm* mainForm = forms_.main;
  auto tune = std::make_unique<TTuneForm>(env_, [mainForm] { return mainForm->Station(); });
  forms_.tune = tune.get();
  windows_.push_back(std::move(tune));

  auto thermometer = std::make_unique<TThermometerForm>();
  forms_.thermometer = thermometer.get();
  ui_.SetThermometer(thermometer.get());
  windows_.push_back(std::move(thermometer));

  auto viewer = std::make_unique<TFileViewerForm>(env_);
  forms_.viewer = viewer.get();
  windows_.push_back(std::move(viewer));

  forms_.main->show();
}

bool NorvelApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  RunHandler(ui_, [&] { handled = QApplication::notify(receiver, event); });
  return handled;
}
