#pragma once

#include <QString>
#include <exception>

#include "shell/Errors.h"
#include "shell/OperatorUi.h"

// Runs an event handler. An error that escapes it (an unreadable settings file, a data line
// that is no call record) ends the operator's action: it is shown in the general error box and
// the program goes on.
template <class Handler>
void RunHandler(OperatorUi& ui, Handler&& handler) {
  try {
    handler();
  } catch (const NorvelError& error) {
    ui.ErrorBox(error.Message());
  } catch (const std::exception& error) {
    ui.ErrorBox(QString::fromLocal8Bit(error.what()));
  }
}
