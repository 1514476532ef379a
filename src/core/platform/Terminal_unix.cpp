// A terminal is told by isatty() on Unix.
#include "core/platform/Terminal.h"

#include <unistd.h>
#include <csignal>

bool OsStandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

void OsIgnoreBrokenPipe() {
  std::signal(SIGPIPE, SIG_IGN);
}
