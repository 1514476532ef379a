#pragma once

#include <QApplication>
#include <memory>
#include <optional>

#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/link/QtSerialTransport.h"
#include "ui/shell/AppForms.h"
#include "ui/shell/AppObjects.h"
#include "ui/shell/QtOperatorUi.h"
#include "ui/tables/TableForm.h"

// The application: the real clock, serial ports and operator interface, the permanent windows
// in their order of creation, and the general error handler for whatever escapes an event
// handler.
class NorvelApplication : public QApplication {
 public:
  NorvelApplication(int& argc, char** argv);
  ~NorvelApplication() override;

  // Creates the windows in order and shows the main menu.
  void CreateForms();
  // Programming without the station: the entry window and the table menu on a configuration
  // file, asked for when `path` is empty. No main menu, no station object, no port. The board
  // count is `boards`, else the working directory's NorvelWin.ini, else asked. False when
  // there is nothing to edit (the operator cancelled, or the file is no configuration; it has
  // been said).
  // `base` is the image a configuration text is applied to: a file, or "empty" for zeros.
  bool CreateOfflineForms(QString path, std::optional<int> boards, const QString& base = {});

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  // Makes a permanent window, keeps it in `slot` and in the windows freed at the end.
  template <class Form, class... Arguments>
  Form* AddWindow(Form*& slot, Arguments&&... arguments);
  // The entry window, the city-line table and the switching window, on the station or a file.
  void AddProgrammingWindows(class ProgrammingSession& session);

  SystemClock clock_;
  QtSerialPortFactory ports_;
  QtOperatorUi ui_;
  Environment env_;
  AppObjects objects_;
  AppForms forms_;
  std::unique_ptr<ProgrammingContext> programming_;
  std::unique_ptr<class OfflineProgramming> offline_;
  std::unique_ptr<class ViewControllerClass> offlineController_;
  std::vector<std::unique_ptr<QWidget>> windows_;
};
