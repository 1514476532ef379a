// A terminal is told by isatty() on Unix, the journal by the stream systemd names.
#include "core/platform/Terminal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

bool OsStandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

void OsIgnoreBrokenPipe() {
  std::signal(SIGPIPE, SIG_IGN);
}

bool OsStreamIsJournal(int descriptor) {
  // systemd names the journal's stream as "device:inode" in JOURNAL_STREAM.
  const char* stream = std::getenv("JOURNAL_STREAM");
  struct stat status {};
  if (!stream || ::fstat(descriptor, &status) != 0) return false;
  unsigned long long device = 0;
  unsigned long long inode = 0;
  if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  return status.st_dev == device && status.st_ino == inode;
}
