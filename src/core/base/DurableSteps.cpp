#include "core/base/DurableSteps.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

void DurableStepTaken(const char* what) {
  static const int stopAt = qEnvironmentVariableIntValue("NORVEL_STOP_AT_STEP");
  static int taken = 0;
  if (stopAt <= 0 || ++taken != stopAt) return;
  std::fprintf(stderr, "norvel: stopped after step %d (%s)\n", taken, what);
  std::_Exit(97);
}
