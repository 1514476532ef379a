// Custom line rates are asked of Linux's termios2 only; elsewhere the driver is taken to refuse
// them, and `norvel doctor` says so.
#include "core/platform/SerialRates.h"

bool OsTrySetRate(int, unsigned, unsigned*) {
  return false;
}
