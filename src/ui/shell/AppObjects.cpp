#include "ui/shell/AppObjects.h"

#include "core/base/Environment.h"
#include "core/base/Handlers.h"
#include "core/editor/ViewControl.h"
#include "core/station/StationCtrl.h"

AppObjects::AppObjects() = default;

AppObjects::~AppObjects() {
  Free();
}

void AppObjects::Create(Environment& env) {
  // The settings file's messages may appear here, before any window is shown.
  RunHandler(env.ui, [&] { station_ = std::make_unique<StationCtrlClass>(env); });
  controller_ = std::make_unique<ViewControllerClass>();
}

void AppObjects::Free() {
  controller_.reset();
  station_.reset();
}
