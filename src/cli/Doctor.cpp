#include "cli/Doctor.h"

#include "cli/ExitCodes.h"
#include "cli/NorvelCommand.h"

// The checks look at Linux's devices, groups and /proc; elsewhere there is nothing to check.
#if defined(Q_OS_UNIX)
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "core/base/Environment.h"
#include "core/base/Ports.h"
#include "core/files/SettingsFile.h"
#include "core/link/RS232.h"
#include "core/platform/Processes.h"
#include "core/platform/SerialPlatform.h"
#include "core/platform/SerialRates.h"
#include "core/station/ReceptionLock.h"

namespace {

constexpr quint16 kLinkCheckAddress = 1791;
constexpr quint16 kBoardCountAddress = 743;

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

// The checks, one step each, in the order a person would look.
class Doctor {
 public:
  Doctor(CommandIo& io, Environment& env, int port)
      : io_(io), env_(env), port_(port), device_(ComPortDeviceName(port)) {}

  int Run() {
    if (CheckDevice()) {
      CheckPermission();
      const bool free = CheckHolders();
      CheckHelpers();
      if (free) {
        if (CheckRates()) CheckStation();
      } else {
        const QString holders = holders_.join(QStringLiteral(", "));
        Skip(4, QStringLiteral("line rates: skipped, the port is in use by %1").arg(holders));
        Skip(
            5,
            QStringLiteral("the station's answer: skipped, the port is in use by %1").arg(holders));
      }
    }
    CheckWorkingDirectory();
    return problems_ == 0 ? 0 : 1;
  }

 private:
  // 1. The device the port stands for.
  bool CheckDevice() {
    const QString what = QStringLiteral("COM%1 is %2").arg(port_).arg(device_);
    if (::stat(QFile::encodeName(device_).constData(), &status_) != 0) {
      const QStringList candidates = Candidates();
      Wrong(1,
            what + QStringLiteral(", which does not exist; serial devices here: ") +
                (candidates.isEmpty() ? QStringLiteral("none") : candidates.join(u' ')),
            QStringLiteral("name the device: NORVEL_COM%1=/dev/ttyUSB0 NorvelWin (or a name "
                           "from /dev/serial/by-id/), or choose another port in \"Настройки\"")
                .arg(port_));
      return false;
    }
    Ok(1, what);
    return true;
  }

  // 2. The permission to open it.
  void CheckPermission() {
    if (ModeAllows(status_)) {
      Ok(2, QStringLiteral("permission to read and write it"));
      return;
    }
    const struct group* group = getgrgid(status_.st_gid);
    const QString name =
        group ? QString::fromLocal8Bit(group->gr_name) : QString::number(status_.st_gid);
    Wrong(2, QStringLiteral("no permission to open it: it belongs to group %1").arg(name),
          QStringLiteral("sudo adduser $USER %1, then log in again").arg(name));
  }

  // 3. Other programs holding it; false when one does, so that nothing here touches it.
  bool CheckHolders() {
    holders_ = OsDeviceHolders(device_);
    if (holders_.isEmpty()) {
      Ok(3, QStringLiteral("no other program holds it"));
      return true;
    }
    Wrong(3, QStringLiteral("held by process %1").arg(holders_.join(QStringLiteral(", "))),
          QStringLiteral("wait for it to finish, or close that program (kill %1)")
              .arg(holders_.first().section(u' ', 0, 0)));
    return false;
  }

  // Services that take USB serial adapters for their own.
  void CheckHelpers() {
    const QString real = QFileInfo(device_).canonicalFilePath();
    if (!real.contains(QStringLiteral("ttyUSB")) && !real.contains(QStringLiteral("ttyACM"))) {
      return;
    }
    if (OsProcessRunning(QStringLiteral("ModemManager"))) {
      Wrong(3, QStringLiteral("ModemManager is running and probes USB serial adapters"),
            QStringLiteral("sudo systemctl stop ModemManager (or disable it)"));
    }
    if (OsProcessRunning(QStringLiteral("brltty"))) {
      Wrong(3, QStringLiteral("brltty is running and takes USB serial adapters"),
            QStringLiteral("sudo apt remove brltty"));
    }
  }

  // 4. The two line rates; the line's settings are put back afterwards. False when the device
  // cannot be opened at all, which says nothing about the cable.
  bool CheckRates() {
    QString failure;
    const std::optional<QList<unsigned>> refused = OsRefusedRates(device_, {325, 976}, &failure);
    if (!refused) {
      Wrong(4, QStringLiteral("cannot open it: %1").arg(failure), OpenFix(failure));
      Skip(5, QStringLiteral("the station's answer: skipped, the port cannot be opened"));
      return false;
    }
    if (refused->isEmpty()) {
      Ok(4, QStringLiteral("the driver takes 325 and 976 bit/s"));
      return true;
    }
    QStringList rates;
    for (const unsigned rate : *refused) rates << QString::number(rate);
    Wrong(4, QStringLiteral("the driver refuses %1 bit/s").arg(rates.join(QStringLiteral(" and "))),
          QStringLiteral("use a port or adapter whose driver takes any rate (a built-in port, or "
                         "an FTDI or CP210x adapter)"));
    return true;
  }

  // 5. The station's answer, through the program's own link.
  void CheckStation() {
    RS232Class link(env_, static_cast<quint16>(port_));
    link.Open();
    if (!link.IsOpen()) {
      Wrong(5, QStringLiteral("cannot open it: %1").arg(link.OpenFailure()),
            OpenFix(link.OpenFailure()));
      return;
    }
    quint8 check = 0;
    quint8 boards = 0;
    if (link.ReadMemory(kLinkCheckAddress, 1, &check) &&
        link.ReadMemory(kBoardCountAddress, 1, &boards)) {
      Ok(5, QStringLiteral("the station answers, with %1 boards").arg(boards + 1));
    } else {
      Wrong(5, QStringLiteral("the station does not answer"),
            QStringLiteral("check the cable and the station's power, then run norvel doctor "
                           "again"));
    }
  }

  // 6. The working directory and its reception lock.
  void CheckWorkingDirectory() {
    const QString dir = QDir::toNativeSeparators(env_.workDir);
    const QString lockPath = env_.FilePath(QLatin1String(kReceptionLockName));
    const QString holder = OsFileLockHolder(lockPath);
    if (!holder.isEmpty()) {
      Ok(6,
         QStringLiteral("working directory %1; a reception is running now (%2)").arg(dir, holder));
      return;
    }
    // Opened, never locked: a reception starting meanwhile must find the lock free.
    QFile lock(lockPath);
    if (!lock.open(QIODevice::ReadWrite)) {
      Wrong(6,
            QStringLiteral("the lock file %1 cannot be opened: %2")
                .arg(QDir::toNativeSeparators(lockPath), lock.errorString()),
            QStringLiteral("give it to the user who receives: sudo chown $USER '%1' (or remove "
                           "it)")
                .arg(QDir::toNativeSeparators(lockPath)));
      return;
    }
    lock.close();
    if (!QFileInfo(env_.workDir).isWritable()) {
      Wrong(6, QStringLiteral("working directory %1 cannot be written").arg(dir),
            QStringLiteral("sudo chown -R $USER '%1'").arg(dir));
      return;
    }
    Ok(6, QStringLiteral("working directory %1 and its lock file can be written").arg(dir));
  }

  static QString OpenFix(const QString& failure) {
    if (failure.contains(QStringLiteral("busy"), Qt::CaseInsensitive)) {
      return QStringLiteral("another program holds it; close it and run norvel doctor again");
    }
    if (failure.contains(QStringLiteral("ermission"))) {
      return QStringLiteral("give this user the device's group (see step 2)");
    }
    return {};
  }

  void Ok(int step, const QString& what) { Line(step, what + QStringLiteral(": OK")); }
  void Skip(int step, const QString& what) { Line(step, what); }
  void Wrong(int step, const QString& what, const QString& fix) {
    Line(step, what);
    if (!fix.isEmpty()) io_.out.write(("   fix: " + fix + u'\n').toUtf8());
    ++problems_;
  }
  void Line(int step, const QString& text) {
    io_.out.write(QStringLiteral("%1. %2\n").arg(step).arg(text).toUtf8());
  }

  CommandIo& io_;
  Environment& env_;
  int port_;
  QString device_;
  struct stat status_ {};
  QStringList holders_;
  int problems_ = 0;
};

}  // namespace

int RunDoctor(const QStringList& arguments, CommandIo& io) {
  CommandLine line(io, QStringLiteral("doctor"),
                   QStringLiteral("Checks the way to the station step by step and says for each "
                                  "OK, or what is wrong and the command that mends it. A port "
                                  "another program holds is never opened. Exit 0 when all is "
                                  "well, 1 otherwise."));
  line.AddPortOption(
      QStringLiteral("The port COM<N> to check, 1 to 16 (default: the working "
                     "directory's NorvelWin.ini, or 2)."));
  line.AddDirOption();
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  std::optional<int> port = line.Port();
  if (!port) return exitcode::kUsage;
  const std::optional<QString> workDir = line.WorkingDir();
  if (!workDir) return exitcode::kUsage;
  const QString& dir = *workDir;
  ConsoleUi ui(io.err, false);
  Environment env{ui, io.clock, io.ports, QDir(dir).absolutePath()};
  if (*port == 0) {
    // The port the program itself would use: the settings file's, or 2 without one.
    port = QFileInfo::exists(env.FilePath(QLatin1String(kSettingsFileName)))
               ? ReadSettingsFile(env.workDir, env.ui, env.clock).portNumber
               : 2;
  }
  return Doctor(io, env, *port).Run();
}

#else

int RunDoctor(const QStringList&, CommandIo& io) {
  io.err.write("norvel: doctor checks serial devices on Linux only\n");
  return exitcode::kUsage;
}

#endif
