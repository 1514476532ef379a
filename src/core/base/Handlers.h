#pragma once

#include <QString>
#include <exception>
#include <new>

#include "core/base/Errors.h"
#include "core/base/OperatorUi.h"

// Runs an event handler. An error that escapes it (an unreadable settings file, a data line
// that is no call record) ends the operator's action: it is shown in the general error box and
// the program goes on.
inline constexpr char kOutOfMemory[] = "Недостаточно памяти для выполнения операции";

template <class Handler>
void RunHandler(OperatorUi& ui, Handler&& handler) {
  try {
    handler();
  } catch (const NorvelError& error) {
    ui.ErrorBox(error.Message());
  } catch (const std::bad_alloc&) {
    ui.ErrorBox(QString::fromUtf8(kOutOfMemory));
  } catch (const std::exception& error) {
    ui.ErrorBox(QString::fromLocal8Bit(error.what()));
  }
}
