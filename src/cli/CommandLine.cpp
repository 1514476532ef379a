#include "cli/CommandLine.h"

#include <QDir>
#include <QIODevice>

#include "cli/NorvelCommand.h"
#include "core/base/ExitCodes.h"
#include "core/base/Ports.h"
#include "core/link/Rfc2217Transport.h"
#include "core/platform/SerialPlatform.h"

namespace {

// The text broken into lines of at most `width` characters at blanks.
QString Wrapped(const QString& text, int width = 79) {
  QString wrapped;
  qsizetype lineLength = 0;
  for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
    if (lineLength > 0 && lineLength + 1 + word.size() > width) {
      wrapped += u'\n';
      lineLength = 0;
    } else if (lineLength > 0) {
      wrapped += u' ';
      ++lineLength;
    }
    wrapped += word;
    lineLength += word.size();
  }
  return wrapped;
}

}  // namespace

CommandLine::CommandLine(CommandIo& io, const QString& command, const QString& description,
                         const QString& syntax)
    : io_(io), command_(command), syntax_(syntax) {
  parser_.setApplicationDescription(Wrapped(description));
  parser_.addHelpOption();
  // "-qo FILE" is -q and -o FILE, as other Linux commands read it.
  parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
}

std::optional<int> CommandLine::Parse(const QStringList& arguments) {
  // The parser skips the first word as the program's name.
  if (!parser_.parse(QStringList{QStringLiteral("norvel")} + arguments)) {
    return Usage(parser_.errorText());
  }
  if (parser_.isSet(QStringLiteral("help")) || parser_.isSet(QStringLiteral("help-all"))) {
    io_.out.write(HelpText().toUtf8());
    return exitcode::kOk;
  }
  return std::nullopt;
}

std::optional<int> CommandLine::Number(const QString& name, int low, int high, int fallback) {
  if (!parser_.isSet(name)) return fallback;
  bool ok = false;
  const int value = parser_.value(name).toInt(&ok);
  if (!ok || value < low || value > high) {
    Usage(QStringLiteral("--%1 takes a number from %2 to %3, not '%4'")
              .arg(name)
              .arg(low)
              .arg(high)
              .arg(parser_.value(name)));
    return std::nullopt;
  }
  return value;
}

void CommandLine::AddDirOption() {
  Add({QStringLiteral("dir"), QStringLiteral("The working directory (default: the current one)."),
       QStringLiteral("DIR")});
}

void CommandLine::AddPortOption(const QString& description) {
  Add({QStringLiteral("port"), description, QStringLiteral("N|rfc2217://HOST:PORT")});
}

std::optional<QString> CommandLine::WorkingDir() {
  // A relative directory is taken from where the command was started.
  const QString dir = IsSet(QStringLiteral("dir"))
                          ? QDir(io_.currentDir).filePath(Value(QStringLiteral("dir")))
                          : io_.currentDir;
  if (QDir(dir).exists()) return dir;
  Usage(QStringLiteral("no directory '%1'").arg(dir));
  return std::nullopt;
}

CommandLine::~CommandLine() {
  if (choseDevice_) SetComPortDevice(0, {});
}

std::optional<int> CommandLine::Port() {
  const QString given = Value(QStringLiteral("port"));
  if (Rfc2217Transport::IsAddress(given)) {
    QString host;
    quint16 number = 0;
    if (!Rfc2217Transport::ParseAddress(given, &host, &number)) {
      Usage(QStringLiteral("--port %1 is no address rfc2217://HOST:PORT").arg(given));
      return std::nullopt;
    }
    // The address stands for the first port no NORVEL_COMn names, for as long as the command
    // runs, so that it is reached and named like any other port.
    int port = kFirstPort;
    while (port < kLastPort &&
           qEnvironmentVariableIsSet(qPrintable(QStringLiteral("NORVEL_COM%1").arg(port)))) {
      ++port;
    }
    SetComPortDevice(port, given);
    choseDevice_ = true;
    return port;
  }
  const std::optional<int> port = Number(QStringLiteral("port"), kFirstPort, kLastPort, 0);
  // A port mapped to a device server must name one: a mistake there is the caller's.
  const QString device = port && *port ? ComPortDeviceName(*port) : QString();
  QString host;
  quint16 number = 0;
  if (Rfc2217Transport::IsAddress(device) &&
      !Rfc2217Transport::ParseAddress(device, &host, &number)) {
    Usage(
        QStringLiteral("NORVEL_COM%1=%2 is no address rfc2217://HOST:PORT").arg(*port).arg(device));
    return std::nullopt;
  }
  return port;
}

int CommandLine::Usage(const QString& problem) {
  io_.err.write(
      QStringLiteral("norvel %1: %2\nTry 'norvel %1 --help'.\n").arg(command_, problem).toUtf8());
  return exitcode::kUsage;
}

QString CommandLine::HelpText() const {
  // Qt's text begins with a usage line naming the program's file; ours names the command.
  const QString qtText = parser_.helpText();
  const QString rest = qtText.section(u'\n', 1);
  QString usage = QStringLiteral("usage: norvel %1 [options]").arg(command_);
  if (!syntax_.isEmpty()) usage += u' ' + syntax_;
  return usage + u'\n' + rest;
}

QByteArray SubcommandHelp(const char* command, const std::vector<Subcommand>& subcommands,
                          const char* end) {
  QByteArray help;
  for (const Subcommand& subcommand : subcommands) {
    help += (help.isEmpty() ? "usage: " : "       ") + QByteArray("norvel ") + command + ' ' +
            subcommand.usage + '\n';
  }
  return help + end;
}

int RunSubcommand(const char* command, const std::vector<Subcommand>& subcommands, const char* end,
                  const QStringList& arguments, CommandIo& io) {
  const QString what = arguments.value(0);
  for (const Subcommand& subcommand : subcommands) {
    if (what == QLatin1String(subcommand.name)) return subcommand.run(arguments.mid(1));
  }
  const QByteArray help = SubcommandHelp(command, subcommands, end);
  if (what == QLatin1String("--help") || what == QLatin1String("-h")) {
    io.out.write(help);
    return exitcode::kOk;
  }
  QStringList names;
  for (const Subcommand& subcommand : subcommands) names << QLatin1String(subcommand.name);
  const QString needed = names.size() == 1
                             ? names.first()
                             : names.mid(0, names.size() - 1).join(QStringLiteral(", ")) +
                                   QStringLiteral(" or ") + names.last();
  io.err.write(QStringLiteral("norvel %1: %2\n%3")
                   .arg(QLatin1String(command),
                        what.isEmpty() ? needed + QStringLiteral(" is needed")
                                       : QStringLiteral("unknown '%1'").arg(what),
                        QString::fromUtf8(help))
                   .toUtf8());
  return exitcode::kUsage;
}

QCommandLineOption QuietOption() {
  return QCommandLineOption({QStringLiteral("q"), QStringLiteral("quiet")},
                            QStringLiteral("No progress bar and no summary line; only what went "
                                           "wrong, on standard error."));
}
