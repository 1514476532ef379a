#include "cli/Doctor.h"

#include "cli/NorvelCommand.h"

// The checks look at Linux's devices, groups and /proc; elsewhere there is nothing to check.
#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <vector>

#include "cli/ConsoleUi.h"
#include "core/base/Environment.h"
#include "core/files/SettingsFile.h"
#include "core/link/RS232.h"
#include "core/platform/SerialPlatform.h"
#include "core/platform/SerialRates.h"

namespace {

class Report {
 public:
  explicit Report(CommandIo& io) : io_(io) {}
  void Ok(int step, const QString& what) { Line(step, what + QStringLiteral(": OK")); }
  void Wrong(int step, const QString& what, const QString& fix) {
    Line(step, what);
    if (!fix.isEmpty()) io_.out.write(("   fix: " + fix + u'\n').toUtf8());
    ++problems_;
  }
  int Problems() const { return problems_; }

 private:
  void Line(int step, const QString& text) {
    io_.out.write(QStringLiteral("%1. %2\n").arg(step).arg(text).toUtf8());
  }
  CommandIo& io_;
  int problems_ = 0;
};

QStringList Candidates() {
  QStringList found;
  for (const QFileInfo& link :
       QDir(QStringLiteral("/dev/serial/by-id")).entryInfoList(QDir::System | QDir::Files)) {
    found << link.filePath();
  }
  for (const QString& device : QDir(QStringLiteral("/dev"))
                                   .entryList({QStringLiteral("ttyS*"), QStringLiteral("ttyUSB*"),
                                               QStringLiteral("ttyACM*")},
                                              QDir::System)) {
    found << QStringLiteral("/dev/") + device;
  }
  return found;
}

// Read and write by the device's mode bits for this user and its groups; root is held to them
// too, since the users who will run the program are not root.
bool ModeAllows(const struct stat& status) {
  const mode_t rw = S_IRUSR | S_IWUSR;
  if (status.st_uid == geteuid() && (status.st_mode & rw) == rw) return true;
  std::vector<gid_t> groups(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)) + 1);
  groups.resize(
      static_cast<size_t>(std::max(getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  groups.push_back(getegid());
  const mode_t groupRw = S_IRGRP | S_IWGRP;
  for (gid_t group : groups) {
    if (group == status.st_gid && (status.st_mode & groupRw) == groupRw) return true;
  }
  const mode_t otherRw = S_IROTH | S_IWOTH;
  return (status.st_mode & otherRw) == otherRw;
}

// Processes other than this one that have the device open: "1234 (minicom)".
QStringList Holders(const QString& device) {
  QStringList holders;
  const QString target = QFileInfo(device).canonicalFilePath();
  const QString self = QString::number(getpid());
  for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    if (pid.isEmpty() || !pid[0].isDigit() || pid == self) continue;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd :
         fds.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
      if (fd.symLinkTarget() == target) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        const QString name = comm.open(QIODevice::ReadOnly)
                                 ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                 : QString();
        holders << QStringLiteral("%1 (%2)").arg(pid, name);
        break;
      }
    }
  }
  return holders;
}

bool Running(const QString& name) {
  for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    if (pid.isEmpty() || !pid[0].isDigit()) continue;
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name.toLocal8Bit())
      return true;
  }
  return false;
}

}  // namespace

int RunDoctor(const QStringList& arguments, CommandIo& io) {
  ConsoleUi ui(io.err, false);
  int port = 0;
  if (arguments.size() == 2 && arguments[0] == QLatin1String("--port")) {
    bool ok = false;
    port = arguments[1].toInt(&ok);
    if (!ok || port < 1 || port > 16) port = -1;
  } else if (!arguments.isEmpty()) {
    port = -1;
  }
  if (port < 0) {
    io.err.write("norvel: doctor [--port N], N from 1 to 16\n");
    return exitcode::kUsage;
  }
  Environment env{ui, io.clock, io.ports, io.currentDir};
  if (port == 0) {
    // The port the program itself would use: the settings file's, or 2 without one.
    port = QFileInfo::exists(env.FilePath(QLatin1String(kSettingsFileName)))
               ? ReadSettingsFile(env.workDir, env.ui, env.clock).portNumber
               : 2;
  }
  Report report(io);
  const QString device = ComPortDeviceName(port);
  const QString what = QStringLiteral("COM%1 is %2").arg(port).arg(device);

  // 1. The device.
  struct stat status {};
  if (::stat(QFile::encodeName(device).constData(), &status) != 0) {
    const QStringList candidates = Candidates();
    report.Wrong(1,
                 what + QStringLiteral(", which does not exist; serial devices here: ") +
                     (candidates.isEmpty() ? QStringLiteral("none") : candidates.join(u' ')),
                 QStringLiteral("name the device: NORVEL_COM%1=/dev/ttyUSB0 NorvelWin (or a "
                                "name from /dev/serial/by-id/), or choose another port in "
                                "\"Настройки\"")
                     .arg(port));
    return 1;
  }
  report.Ok(1, what);

  // 2. The permission to open it.
  if (ModeAllows(status)) {
    report.Ok(2, QStringLiteral("permission to read and write it"));
  } else {
    const struct group* group = getgrgid(status.st_gid);
    const QString name =
        group ? QString::fromLocal8Bit(group->gr_name) : QString::number(status.st_gid);
    report.Wrong(2, QStringLiteral("no permission to open it: it belongs to group %1").arg(name),
                 QStringLiteral("sudo adduser $USER %1, then log in again").arg(name));
  }

  // 3. Other programs holding it.
  // A pseudo-terminal's other end (the station emulator) holds it by its nature.
  const bool pseudo = QFileInfo(device).canonicalFilePath().startsWith(QStringLiteral("/dev/pts/"));
  const QStringList holders = pseudo ? QStringList() : Holders(device);
  if (holders.isEmpty()) {
    report.Ok(3, QStringLiteral("no other program holds it"));
  } else {
    report.Wrong(
        3, QStringLiteral("held by process %1").arg(holders.join(QStringLiteral(", "))),
        QStringLiteral("close that program (kill %1)").arg(holders.first().section(u' ', 0, 0)));
  }
  const QString real = QFileInfo(device).canonicalFilePath();
  if (real.contains(QStringLiteral("ttyUSB")) || real.contains(QStringLiteral("ttyACM"))) {
    if (Running(QStringLiteral("ModemManager"))) {
      report.Wrong(3, QStringLiteral("ModemManager is running and probes USB serial adapters"),
                   QStringLiteral("sudo systemctl stop ModemManager (or disable it)"));
    }
    if (Running(QStringLiteral("brltty"))) {
      report.Wrong(3, QStringLiteral("brltty is running and takes USB serial adapters"),
                   QStringLiteral("sudo apt remove brltty"));
    }
  }

  // 4. The two line rates.
  const int descriptor =
      ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (descriptor < 0) {
    report.Wrong(4, QStringLiteral("cannot open it to try the line rates"), {});
  } else {
    QStringList refused;
    for (const unsigned rate : {325u, 976u}) {
      unsigned taken = 0;
      if (!OsTrySetRate(descriptor, rate, &taken) || taken != rate)
        refused << QString::number(rate);
    }
    ::close(descriptor);
    if (refused.isEmpty()) {
      report.Ok(4, QStringLiteral("the driver takes 325 and 976 bit/s"));
    } else {
      report.Wrong(
          4,
          QStringLiteral("the driver refuses %1 bit/s").arg(refused.join(QStringLiteral(" and "))),
          QStringLiteral("use a port or adapter whose driver takes any rate (a built-in "
                         "port, or an FTDI or CP210x adapter)"));
    }
  }

  // 5. The station's answer.
  RS232Class link(env, static_cast<quint16>(port));
  link.Open();
  quint8 check = 0;
  quint8 boards = 0;
  if (link.IsOpen() && link.ReadMemory(1791, 1, &check) && link.ReadMemory(743, 1, &boards)) {
    report.Ok(5, QStringLiteral("the station answers, with %1 boards").arg(boards + 1));
  } else {
    report.Wrong(5, QStringLiteral("the station does not answer"),
                 QStringLiteral("check the cable and the station's power, then run norvel doctor "
                                "again"));
  }
  return report.Problems() == 0 ? 0 : 1;
}

#else

int RunDoctor(const QStringList&, CommandIo& io) {
  io.err.write("norvel: doctor checks serial devices on Linux only\n");
  return exitcode::kUsage;
}

#endif
