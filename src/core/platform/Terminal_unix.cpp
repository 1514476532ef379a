// A terminal is told by isatty() on Unix, the journal by the stream systemd names or by the
// socket the stream is joined to.
#include "core/platform/Terminal.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Where journald takes the standard streams of services and of systemd-cat.
constexpr char kJournalStreamSocket[] = "/run/systemd/journal/stdout";

bool JoinedToJournalSocket(int descriptor) {
  struct sockaddr_un peer {};
  socklen_t length = sizeof peer;
  if (::getpeername(descriptor, reinterpret_cast<struct sockaddr*>(&peer), &length) != 0) {
    return false;
  }
  if (peer.sun_family != AF_UNIX || length <= offsetof(struct sockaddr_un, sun_path)) return false;
  const size_t pathLength =
      ::strnlen(peer.sun_path, length - offsetof(struct sockaddr_un, sun_path));
  return pathLength == sizeof kJournalStreamSocket - 1 &&
         std::memcmp(peer.sun_path, kJournalStreamSocket, pathLength) == 0;
}
}  // namespace

bool OsStandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

void OsIgnoreBrokenPipe() {
  std::signal(SIGPIPE, SIG_IGN);
}

bool OsStreamIsJournal(int descriptor) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) return false;
  // A service's streams: systemd names the journal's stream as "device:inode" in
  // JOURNAL_STREAM.
  if (const char* stream = std::getenv("JOURNAL_STREAM")) {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && status.st_dev == device &&
        status.st_ino == inode) {
      return true;
    }
  }
  // systemd-cat and the like join the stream to journald's socket without saying so; journald
  // reads a priority prefix there too.
  return S_ISSOCK(status.st_mode) && JoinedToJournalSocket(descriptor);
}
