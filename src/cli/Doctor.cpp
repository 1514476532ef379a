#include "cli/Doctor.h"

#include "cli/NorvelCommand.h"
#include "core/base/ExitCodes.h"

// The checks look at Linux's devices, groups and /proc; elsewhere there is nothing to check.
#if defined(Q_OS_UNIX)
#include <grp.h>
#include <netdb.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "core/base/Environment.h"
#include "core/base/Errors.h"
#include "core/base/Ports.h"
#include "core/files/SettingsFile.h"
#include "core/link/RS232.h"
#include "core/link/Rfc2217Transport.h"
#include "core/platform/Processes.h"
#include "core/platform/SerialPlatform.h"
#include "core/platform/SerialRates.h"
#include "core/station/ReceptionLock.h"
#include "core/station/StationCtrl.h"

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

// The user whose permissions are checked: the one given with --as (the unit's user, say), or
// else the one running the doctor. Root is held to the mode bits too, since the users who will
// run the program are not root: run as root without --as, the doctor judges for the units' user
// norvel when there is one, so that no advice of its hands the directory to root.
struct CheckedUser {
  QString name;
  uid_t uid = 0;
  std::vector<gid_t> groups;
  bool chosenForRoot = false;  // norvel, chosen because root ran the doctor without --as
};

constexpr char kUnitUser[] = "norvel";

std::optional<CheckedUser> NamedUser(const QString& name) {
  const struct passwd* entry = getpwnam(QFile::encodeName(name).constData());
  if (!entry) return std::nullopt;
  CheckedUser user;
  user.name = name;
  user.uid = entry->pw_uid;
  int count = 64;
  user.groups.resize(static_cast<size_t>(count));
  if (getgrouplist(entry->pw_name, entry->pw_gid, user.groups.data(), &count) < 0) {
    user.groups.resize(static_cast<size_t>(count));
    getgrouplist(entry->pw_name, entry->pw_gid, user.groups.data(), &count);
  }
  user.groups.resize(static_cast<size_t>(count));
  return user;
}

std::optional<CheckedUser> FindUser(const QString& as) {
  if (!as.isEmpty()) return NamedUser(as);
  if (geteuid() == 0) {
    if (std::optional<CheckedUser> unit = NamedUser(QLatin1String(kUnitUser))) {
      unit->chosenForRoot = true;
      return unit;
    }
  }
  // This process's own groups, as this login has them: a group joined since the login does
  // not open the device yet, and the advice to log in again must not be skipped.
  CheckedUser user;
  const struct passwd* self = getpwuid(geteuid());
  user.name = self ? QString::fromLocal8Bit(self->pw_name) : QString::number(geteuid());
  user.uid = geteuid();
  user.groups.resize(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)) + 1);
  user.groups.resize(static_cast<size_t>(
      std::max(getgroups(static_cast<int>(user.groups.size()), user.groups.data()), 0)));
  user.groups.push_back(getegid());
  return user;
}

// The access the mode bits give the user: `bits` of the owner's (S_IRUSR | S_IWUSR, say),
// shifted for the group and the others.
bool ModeAllows(const struct stat& status, const CheckedUser& user, mode_t ownerBits) {
  if (status.st_uid == user.uid) return (status.st_mode & ownerBits) == ownerBits;
  const mode_t groupBits = ownerBits >> 3;
  for (gid_t group : user.groups) {
    if (group == status.st_gid) return (status.st_mode & groupBits) == groupBits;
  }
  const mode_t otherBits = ownerBits >> 6;
  return (status.st_mode & otherBits) == otherBits;
}

QString GroupName(gid_t gid) {
  const struct group* group = getgrgid(gid);
  return group ? QString::fromLocal8Bit(group->gr_name) : QString::number(gid);
}

QString OwnerName(uid_t uid) {
  const struct passwd* owner = getpwuid(uid);
  return owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(uid);
}

// The checks, one step each, in the order a person would look.
class Doctor {
 public:
  Doctor(CommandIo& io, Environment& env, int port, CheckedUser user, bool json)
      : io_(io),
        env_(env),
        port_(port),
        device_(ComPortDeviceName(port)),
        user_(std::move(user)),
        json_(json) {}

  int Run() {
    if (user_.chosenForRoot && !json_) {
      io_.out.write(QStringLiteral("judged for the user %1, who runs the units (--as USER for "
                                   "another)\n")
                        .arg(user_.name)
                        .toUtf8());
    }
    receptionHolder_ = OsFileLockHolder(env_.FilePath(QLatin1String(kReceptionLockName)));
    if (Rfc2217Transport::IsAddress(device_)) {
      // A device server: the network's steps in place of the device's.
      if (CheckNetworkPort()) CheckStation();
    } else if (CheckDevice()) {
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
    const int code = problems_ == 0 ? 0 : 1;
    if (json_) {
      const QJsonObject report{{QStringLiteral("exit_code"), code},
                               {QStringLiteral("user"), user_.name},
                               {QStringLiteral("steps"), steps_}};
      io_.out.write(QJsonDocument(report).toJson(QJsonDocument::Compact) + '\n');
    }
    return code;
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

  // 1 to 4 for a port behind a serial device server: the name, the connection, the RFC 2217
  // negotiation with its round trip, and the two rates as the server says it set them. False
  // when the station cannot be reached through it.
  bool CheckNetworkPort() {
    QString host;
    quint16 number = 0;
    Rfc2217Transport::ParseAddress(device_, &host, &number);  // the command line checked it
    const QString what = QStringLiteral("COM%1 is %2").arg(port_).arg(device_);
    const auto skipRest = [&](int from, const QString& why) {
      for (int step = from; step <= 5; ++step) Skip(step, why);
    };
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(QFile::encodeName(host).constData(), nullptr, &hints, &found);
    if (resolved != 0) {
      Wrong(1,
            what + QStringLiteral(", whose name %1 is not known here (%2)")
                       .arg(host, QString::fromLocal8Bit(gai_strerror(resolved))),
            QStringLiteral("give the device server's name or address: NORVEL_COM%1=rfc2217://"
                           "HOST:PORT NorvelWin")
                .arg(port_));
      skipRest(2, QStringLiteral("skipped, the device server's name is not known"));
      return false;
    }
    char numeric[NI_MAXHOST] = "";
    getnameinfo(found->ai_addr, found->ai_addrlen, numeric, sizeof numeric, nullptr, 0,
                NI_NUMERICHOST);
    freeaddrinfo(found);
    Ok(1, what + (host == QLatin1String(numeric)
                      ? QString()
                      : QStringLiteral(", %1 is %2").arg(host, QLatin1String(numeric))));
    Rfc2217Transport server;
    const bool open = server.Open(device_);
    if (!open && !server.Connected()) {
      Wrong(2,
            QStringLiteral("no connection to %1:%2: %3")
                .arg(host)
                .arg(number)
                .arg(server.OpenError()),
            QStringLiteral("start the device server (ser2net) on %1 and check its port %2, or "
                           "let the firewall between pass it")
                .arg(host)
                .arg(number));
      skipRest(3, QStringLiteral("skipped, the device server cannot be reached"));
      return false;
    }
    Ok(2, QStringLiteral("a connection to %1:%2").arg(host).arg(number));
    if (!open) {
      Wrong(3, server.OpenError(),
            QStringLiteral("make the device server's port speak RFC 2217 (ser2net: accepter: "
                           "telnet(rfc2217),tcp,%1), and let no other program hold it")
                .arg(number));
      skipRest(4, QStringLiteral("skipped, the device server does not set the line"));
      return false;
    }
    Ok(3, QStringLiteral("the device server speaks RFC 2217, answering in %1 ms")
              .arg(server.RoundTrip()));
    QStringList refused;
    for (const quint32 rate : {RS232Class::kWriteRate, RS232Class::kReadRate}) {
      LineSettings settings;
      settings.rate = rate;
      const bool set = server.Configure(settings);
      QDeadlineTimer answer(2000);
      quint32 accepted = set ? server.AcceptedRate() : 0;
      while (set && accepted != rate && !answer.hasExpired()) {
        server.WaitForInput(50);
        accepted = server.AcceptedRate();
      }
      if (accepted != rate) {
        refused << (accepted == 0 ? QStringLiteral("%1 bit/s (no answer)").arg(rate)
                                  : QStringLiteral("%1 bit/s (it set %2)").arg(rate).arg(accepted));
      }
    }
    server.Close();
    if (!refused.isEmpty()) {
      Wrong(4,
            QStringLiteral("the device server does not set %1")
                .arg(refused.join(QStringLiteral(" and "))),
            QStringLiteral("use a device server whose serial port takes any rate (ser2net on a "
                           "PC with a built-in port, or an FTDI or CP210x adapter)"));
      return true;
    }
    Ok(4, QStringLiteral("the device server sets %1 and %2 bit/s")
              .arg(RS232Class::kWriteRate)
              .arg(RS232Class::kReadRate));
    return true;
  }

  // 2. The permission to open it, for the user who will, and the mending that fits the
  // device's own owner, group and mode.
  void CheckPermission() {
    if (ModeAllows(status_, user_, S_IRUSR | S_IWUSR)) {
      Ok(2, QStringLiteral("permission to read and write it"));
      return;
    }
    const QString mode = QString::number(status_.st_mode & 07777, 8).rightJustified(4, u'0');
    const QString group = GroupName(status_.st_gid);
    if ((status_.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
      Wrong(2, QStringLiteral("no permission to open it: it belongs to group %1").arg(group),
            QStringLiteral("%1adduser %2 %3, then log in again").arg(Sudo(), user_.name, group),
            QStringLiteral("%1adduser %2 %3").arg(Sudo(), user_.name, group));
      return;
    }
    const QString kernelName = QFileInfo(QFileInfo(device_).canonicalFilePath()).fileName();
    Wrong(2,
          QStringLiteral("no permission to open it: it is open to its owner %1 alone (mode %2)")
              .arg(OwnerName(status_.st_uid), mode),
          QStringLiteral("give it to the group dialout with a udev rule: echo 'SUBSYSTEM==\"tty\", "
                         "KERNEL==\"%1\", GROUP=\"dialout\", MODE=\"0660\"' | %3tee "
                         "/etc/udev/rules.d/60-norvel.rules, plug the device in again, and %3"
                         "adduser %2 dialout")
              .arg(kernelName, user_.name, Sudo()));
  }

  // 3. Other programs holding it; false when one does, so that nothing here touches it. A
  // reception of this directory holding it is what should be, not a fault.
  bool CheckHolders() {
    holders_ = OsDeviceHolders(device_);
    if (holders_.isEmpty()) {
      Ok(3, QStringLiteral("no other program holds it"));
      return true;
    }
    if (holders_.size() == 1 && holders_.first() == receptionHolder_) {
      Skip(3,
           QStringLiteral("held by process %1, the reception running now").arg(receptionHolder_));
      return false;
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
            Sudo() + QStringLiteral("systemctl stop ModemManager (or disable it)"));
    }
    if (OsProcessRunning(QStringLiteral("brltty"))) {
      Wrong(3, QStringLiteral("brltty is running and takes USB serial adapters"),
            Sudo() + QStringLiteral("apt remove brltty"));
    }
  }

  // 4. The two line rates; the line's settings are put back afterwards. False when the device
  // cannot be opened at all, which says nothing about the cable.
  bool CheckRates() {
    QString failure;
    const std::optional<QList<unsigned>> refused =
        OsRefusedRates(device_, {RS232Class::kWriteRate, RS232Class::kReadRate}, &failure);
    if (!refused) {
      Wrong(4, QStringLiteral("cannot open it: %1").arg(failure), OpenFix(failure));
      Skip(5, QStringLiteral("the station's answer: skipped, the port cannot be opened"));
      return false;
    }
    if (refused->isEmpty()) {
      Ok(4, QStringLiteral("the driver takes %1 and %2 bit/s")
                .arg(RS232Class::kWriteRate)
                .arg(RS232Class::kReadRate));
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
      // A contact like any other: the test byte a cut-off write left in the station goes back.
      if (StationCtrlClass::WriteTestPending(env_.workDir)) {
        link.Close();
        StationCtrlClass station(env_, static_cast<quint16>(port_));
        station.SettlePendingWriteTest();
      }
    } else {
      Wrong(5, QStringLiteral("the station does not answer"),
            QStringLiteral("check the cable and the station's power, then run norvel doctor "
                           "again"));
    }
  }

  // 6. The working directory and the files a reception writes there, judged by their mode bits
  // for the user who will receive: nothing is created or opened here. The mending gives them
  // all to that user, so that following it never hands a file to another.
  void CheckWorkingDirectory() {
    const QString dir = QDir::toNativeSeparators(env_.workDir);
    if (!receptionHolder_.isEmpty()) {
      Ok(6, QStringLiteral("working directory %1; a reception is running now (%2)")
                .arg(dir, receptionHolder_));
      return;
    }
    const QString mend =
        QStringLiteral("%1chown -R %2 '%3' && %1chmod -R u+rwX '%3'").arg(Sudo(), user_.name, dir);
    const QString fix = QStringLiteral("give them to the user who receives: ") + mend;
    struct stat status {};
    if (::stat(QFile::encodeName(env_.workDir).constData(), &status) != 0 ||
        !ModeAllows(status, user_, S_IRUSR | S_IWUSR | S_IXUSR)) {
      Wrong(6, QStringLiteral("working directory %1 cannot be written by %2").arg(dir, user_.name),
            fix, mend);
      return;
    }
    QStringList barred;
    for (const QString& name :
         QDir(env_.workDir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name)) {
      if (::lstat(QFile::encodeName(env_.FilePath(name)).constData(), &status) != 0 ||
          !S_ISREG(status.st_mode) || ModeAllows(status, user_, S_IRUSR | S_IWUSR)) {
        continue;
      }
      barred << QStringLiteral("%1 (owner %2, mode %3)")
                    .arg(name == QLatin1String(kReceptionLockName)
                             ? QStringLiteral("the lock file ") + name
                             : name,
                         OwnerName(status.st_uid),
                         QString::number(status.st_mode & 07777, 8).rightJustified(4, u'0'));
    }
    if (!barred.isEmpty()) {
      constexpr int kNamed = 5;
      const QString more = barred.size() > kNamed
                               ? QStringLiteral(" and %1 more").arg(barred.size() - kNamed)
                               : QString();
      Wrong(6,
            QStringLiteral("in working directory %1, %2 cannot write %3%4")
                .arg(dir, user_.name, barred.mid(0, kNamed).join(QStringLiteral(", ")), more),
            fix, mend);
      return;
    }
    Ok(6, QStringLiteral("working directory %1 and its files can be written by %2")
              .arg(dir, user_.name));
  }

  // "sudo " for a user who needs it; root, who runs the mending as printed, does not.
  static QString Sudo() { return geteuid() == 0 ? QString() : QStringLiteral("sudo "); }

  static QString OpenFix(const QString& failure) {
    if (failure.contains(QStringLiteral("busy"), Qt::CaseInsensitive)) {
      return QStringLiteral("another program holds it; close it and run norvel doctor again");
    }
    if (failure.contains(QStringLiteral("ermission"))) {
      return QStringLiteral("give this user the device's group (see step 2)");
    }
    return {};
  }

  void Ok(int step, const QString& what) { Say(step, QStringLiteral("ok"), what, {}); }
  void Skip(int step, const QString& what) { Say(step, QStringLiteral("skipped"), what, {}); }
  // `command`, when there is one, is the mending alone, as a shell runs it (--json gives it).
  void Wrong(int step, const QString& what, const QString& fix, const QString& command = {}) {
    Say(step, QStringLiteral("wrong"), what, fix, command);
    ++problems_;
  }
  // One step's finding: a line (and its mending) as it is found, or a JSON object at the end.
  void Say(int step, const QString& state, const QString& what, const QString& fix,
           const QString& command = {}) {
    if (json_) {
      QJsonObject entry{{QStringLiteral("step"), step},
                        {QStringLiteral("state"), state},
                        {QStringLiteral("text"), what}};
      if (!fix.isEmpty()) entry.insert(QStringLiteral("fix"), fix);
      if (!command.isEmpty()) entry.insert(QStringLiteral("command"), command);
      steps_.append(entry);
      return;
    }
    const QString text = state == QLatin1String("ok") ? what + QStringLiteral(": OK") : what;
    // In the journal what is wrong shows with -p err, with its mending.
    const ConsoleUi::Priority priority =
        state == QLatin1String("wrong") ? ConsoleUi::Priority::kError : ConsoleUi::Priority::kInfo;
    io_.out.write(WithPriority(1, priority, QStringLiteral("%1. %2\n").arg(step).arg(text)));
    if (!fix.isEmpty()) io_.out.write(WithPriority(1, priority, "   fix: " + fix + u'\n'));
  }

  CommandIo& io_;
  Environment& env_;
  int port_;
  QString device_;
  struct stat status_ {};
  CheckedUser user_;
  bool json_;
  QString receptionHolder_;
  QStringList holders_;
  QJsonArray steps_;
  int problems_ = 0;
};

}  // namespace

int RunDoctor(const QStringList& arguments, CommandIo& io) {
  CommandLine line(io, QStringLiteral("doctor"),
                   QStringLiteral("Checks the way to the station step by step and says for each "
                                  "OK, or what is wrong and the command that mends it. A port "
                                  "another program holds is never opened, and nothing is "
                                  "created or changed. Exit 0 when all is well (a reception "
                                  "running now included), 1 otherwise."));
  line.AddPortOption(
      QStringLiteral("The port COM<N> to check, 1 to 16 (default: the working "
                     "directory's NorvelWin.ini, or 2), or a serial device server's port "
                     "rfc2217://HOST:PORT."));
  line.AddDirOption();
  line.Add({QStringLiteral("as"),
            QStringLiteral("Check the permissions as this user would have them (the unit's user "
                           "norvel, say), not as the user running the doctor."),
            QStringLiteral("USER")});
  line.Add({QStringLiteral("json"),
            QStringLiteral("Print one JSON object: exit_code, and the steps with their state "
                           "(ok, skipped, wrong), text and fix.")});
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  const std::optional<CheckedUser> user = FindUser(line.Value(QStringLiteral("as")));
  if (!user) {
    return line.Usage(QStringLiteral("no user '%1'").arg(line.Value(QStringLiteral("as"))));
  }
  std::optional<int> port = line.Port();
  if (!port) return exitcode::kUsage;
  const std::optional<QString> workDir = line.WorkingDir();
  if (!workDir) return exitcode::kUsage;
  const QString& dir = *workDir;
  ConsoleUi ui(io.err, false);
  Environment env{ui, io.clock, io.ports, QDir(dir).absolutePath()};
  bool settingsUnread = false;
  if (*port == 0) {
    // The port the program itself would use: the settings file's, or 2 without one. A settings
    // file that cannot be read is one of the findings, not the end of the checks.
    port = 2;
    if (QFileInfo::exists(env.FilePath(QLatin1String(kSettingsFileName)))) {
      try {
        port = ReadSettingsFile(env.workDir, env.ui, env.clock).portNumber;
      } catch (const NorvelError& error) {
        settingsUnread = true;
        // Before the steps on standard output; on standard error where that is JSON.
        (line.IsSet(QStringLiteral("json")) ? io.err : io.out)
            .write(QStringLiteral("0. %1; the checks below take port COM2\n   fix: remove or "
                                  "rewrite %2 (\"Настройки\" writes a new one)\n")
                       .arg(error.Message(), QLatin1String(kSettingsFileName))
                       .toUtf8());
      }
    }
  }
  const int code = Doctor(io, env, *port, *user, line.IsSet(QStringLiteral("json"))).Run();
  return settingsUnread && code == exitcode::kOk ? exitcode::kNoAnswer : code;
}

#else

int RunDoctor(const QStringList&, CommandIo& io) {
  io.err.write("norvel: doctor checks serial devices on Linux only\n");
  return exitcode::kUsage;
}

#endif
