// Elsewhere no progress bar is drawn: the command line is meant for timers and scripts there.
#include "core/platform/Terminal.h"

bool OsStandardErrorIsTerminal() {
  return false;
}

void OsIgnoreBrokenPipe() {}

bool OsStreamIsJournal(int) {
  return false;
}
