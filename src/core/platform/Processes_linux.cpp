// Processes and their open files, read from /proc, and the signals that end a process.
#include "core/platform/Processes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

namespace {

QStringList ProcessIds() {
  QStringList ids;
  const QString self = QString::number(getpid());
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    if (!entry.isEmpty() && entry[0].isDigit() && entry != self) ids << entry;
  }
  return ids;
}

QString ProcessName(const QString& pid) {
  QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
  return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                        : QString();
}

QString Described(const QString& pid) {
  return QStringLiteral("%1 (%2)").arg(pid, ProcessName(pid));
}

// The open files of a process: descriptor number and what it points at.
QList<QPair<QString, QString>> OpenFiles(const QString& pid) {
  QList<QPair<QString, QString>> files;
  const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
  for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
    files.append({fd.fileName(), fd.symLinkTarget()});
  }
  return files;
}

// The pseudo-terminal number a master descriptor stands for, from its fdinfo; -1 if none.
int PtyIndex(const QString& pid, const QString& fd) {
  QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid, fd));
  if (!info.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : info.readAll().split('\n')) {
    if (line.startsWith("tty-index:")) {
      bool ok = false;
      const int index = line.mid(10).trimmed().toInt(&ok);
      return ok ? index : -1;
    }
  }
  return -1;
}

}  // namespace

QStringList OsDeviceHolders(const QString& device) {
  const QString target = QFileInfo(device).canonicalFilePath();
  if (target.isEmpty()) return {};
  int ptyIndex = -1;
  if (target.startsWith(QStringLiteral("/dev/pts/"))) {
    bool ok = false;
    ptyIndex = QFileInfo(target).fileName().toInt(&ok);
    if (!ok) ptyIndex = -1;
  }
  struct stat wanted {};
  if (::stat(QFile::encodeName(target).constData(), &wanted) != 0) return {};
  // The same name may stand for another file in another mount namespace (a container's own
  // /dev/pts/0): only the very file, by its inode, counts.
  const auto same = [&wanted](const QString& pid, const QString& fd) {
    struct stat open {};
    return ::stat(QFile::encodeName(QStringLiteral("/proc/%1/fd/%2").arg(pid, fd)).constData(),
                  &open) == 0 &&
           open.st_dev == wanted.st_dev && open.st_ino == wanted.st_ino;
  };
  QStringList holders;
  for (const QString& pid : ProcessIds()) {
    bool holds = false;
    bool farEnd = false;
    for (const auto& [fd, file] : OpenFiles(pid)) {
      if (file == target && same(pid, fd)) holds = true;
      if (ptyIndex >= 0 &&
          (file == QLatin1String("/dev/ptmx") || file == QLatin1String("/dev/pts/ptmx"))) {
        farEnd = farEnd || PtyIndex(pid, fd) == ptyIndex;
      }
    }
    if (holds && !farEnd) holders << Described(pid);
  }
  return holders;
}

bool OsProcessRunning(const QString& name) {
  for (const QString& pid : ProcessIds()) {
    if (ProcessName(pid) == name) return true;
  }
  return false;
}

QString OsFileLockHolder(const QString& path) {
  struct stat status {};
  if (::stat(QFile::encodeName(path).constData(), &status) != 0) return {};
  // Lines such as "1: FLOCK  ADVISORY  WRITE 1234 08:01:131090 0 EOF"; the third field from
  // the device on names the inode.
  QFile locks(QStringLiteral("/proc/locks"));
  if (!locks.open(QIODevice::ReadOnly)) return {};
  const QByteArray file = QStringLiteral("%1:%2:%3")
                              .arg(major(status.st_dev), 2, 16, QLatin1Char('0'))
                              .arg(minor(status.st_dev), 2, 16, QLatin1Char('0'))
                              .arg(static_cast<qulonglong>(status.st_ino))
                              .toLatin1();
  for (const QByteArray& line : locks.readAll().split('\n')) {
    const QList<QByteArray> fields = line.simplified().split(' ');
    if (fields.size() < 6 || fields[1] == "->") continue;
    if (fields[5] == file) return Described(QString::fromLatin1(fields[4]));
  }
  return {};
}

bool OsProcessAlive(qint64 pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

namespace {
// What the signal handler removes: paths prepared beforehand, since a handler may only make
// plain system calls.
char gScratchFile[4096];
char gScratchDir[4096];
char gOutputFile[4096];

// Empties the scratch directory: besides the named file, a library may hold a scratch file of
// its own there for the moment between making it and unlinking it. Only plain system calls.
void EmptyScratchDir() {
  const int dir = ::open(gScratchDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  alignas(8) static char entries[4096];
  for (;;) {
    const long size = ::syscall(SYS_getdents64, dir, entries, sizeof entries);
    if (size <= 0) break;
    for (long at = 0; at < size;) {
      // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name.
      unsigned short length = 0;
      std::memcpy(&length, entries + at + 16, sizeof length);
      const char* name = entries + at + 19;
      if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) ::unlinkat(dir, name, 0);
      at += length;
    }
  }
  ::close(dir);
}

void RemoveScratchAndEnd(int number) {
  if (gOutputFile[0] != '\0') ::unlink(gOutputFile);
  if (gScratchFile[0] != '\0') ::unlink(gScratchFile);
  if (gScratchDir[0] != '\0') {
    EmptyScratchDir();
    ::rmdir(gScratchDir);
  }
  std::signal(number, SIG_DFL);
  std::raise(number);
}
}  // namespace

void OsRemoveOutputOnTermination(const QString& file) {
  const QByteArray f = QFile::encodeName(file);
  if (f.size() >= qsizetype(sizeof gOutputFile)) return;
  std::memcpy(gOutputFile, f.constData(), static_cast<size_t>(f.size()) + 1);
  if (file.isEmpty()) return;
  // Only where nothing else handles the signal: a command that notes it ends by itself.
  for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction current {};
    ::sigaction(number, nullptr, &current);
    if (current.sa_handler == SIG_DFL) std::signal(number, RemoveScratchAndEnd);
  }
}

void OsRemoveOnTermination(const QString& file, const QString& dir) {
  const QByteArray f = QFile::encodeName(file);
  const QByteArray d = QFile::encodeName(dir);
  if (file.isEmpty() || f.size() >= qsizetype(sizeof gScratchFile) ||
      d.size() >= qsizetype(sizeof gScratchDir)) {
    gScratchFile[0] = gScratchDir[0] = '\0';
    // An output file being written still wants the handler.
    if (gOutputFile[0] == '\0') {
      std::signal(SIGTERM, SIG_DFL);
      std::signal(SIGINT, SIG_DFL);
      std::signal(SIGHUP, SIG_DFL);
    }
    return;
  }
  std::memcpy(gScratchFile, f.constData(), static_cast<size_t>(f.size()) + 1);
  std::memcpy(gScratchDir, d.constData(), static_cast<size_t>(d.size()) + 1);
  std::signal(SIGTERM, RemoveScratchAndEnd);
  std::signal(SIGINT, RemoveScratchAndEnd);
  std::signal(SIGHUP, RemoveScratchAndEnd);
}

namespace {
volatile std::sig_atomic_t gTermination = 0;
void NoteTermination(int number) {
  gTermination = number;
}
}  // namespace

void OsNoteTermination() {
  struct sigaction action {};
  action.sa_handler = NoteTermination;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a wait in progress ends at once
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  // A hang-up (an SSH session dropped, a terminal closed) is a stop like any other.
  ::sigaction(SIGHUP, &action, nullptr);
}

int OsTerminationSignal() {
  return gTermination;
}

QString OsReplaceWith(const QString& program, const QStringList& arguments) {
  std::vector<QByteArray> bytes;
  for (const QString& argument : arguments) bytes.push_back(argument.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& argument : bytes) argv.push_back(argument.data());
  argv.push_back(nullptr);
  execv(QFile::encodeName(program).constData(), argv.data());
  return QString::fromLocal8Bit(std::strerror(errno));
}

QString OsExecutablePath(const char* argv0) {
  const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  return self.isEmpty() ? QFileInfo(QString::fromLocal8Bit(argv0)).absoluteFilePath() : self;
}
