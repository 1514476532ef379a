// A terminal is told by isatty() on Unix.
#include "core/platform/Terminal.h"

#include <unistd.h>

bool OsStandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}
