#pragma once

#include <QCommandLineParser>
#include <functional>
#include <optional>
#include <vector>

struct CommandIo;

// One command's arguments through Qt's parser, the same way for every command: `--help`
// prints the command's own help on standard output, a wrong option prints what is wrong and
// where to read more on standard error, and numbers are checked against their range.
class CommandLine {
 public:
  // `command` as typed after "norvel" ("receive", "config diff"); `syntax` the positional
  // arguments as the usage line shows them ("A B").
  CommandLine(CommandIo& io, const QString& command, const QString& description,
              const QString& syntax = {});
  ~CommandLine();
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  void Add(const QCommandLineOption& option) { parser_.addOption(option); }
  // Parses; gives the exit code to leave with (after --help or an error), or none to go on.
  std::optional<int> Parse(const QStringList& arguments);

  bool IsSet(const QString& name) const { return parser_.isSet(name); }
  QString Value(const QString& name) const { return parser_.value(name); }
  QStringList Positional() const { return parser_.positionalArguments(); }
  // The option's whole number within [low, high], `fallback` when it is not given; none when
  // it is wrong, which has been said on standard error.
  std::optional<int> Number(const QString& name, int low, int high, int fallback);

  // The options several commands share, declared here once. --dir: the working directory;
  // --port: a port COM1..COM16, described for the command.
  void AddDirOption();
  void AddPortOption(const QString& description = QStringLiteral(
                         "The port COM<N> to use, 1 to 16, or a serial device server's port "
                         "rfc2217://HOST:PORT."));
  // The working directory: --dir, or the current one; none when it does not exist, which has
  // been said on standard error.
  std::optional<QString> WorkingDir();
  // The port given with --port, 0 when none; none when it is wrong, which has been said. A
  // device server's address is given a port number that stands for it while this lives.
  std::optional<int> Port();

  // Says what is wrong with the command line; gives the usage exit code.
  int Usage(const QString& problem);
  QString HelpText() const;

 private:
  CommandIo& io_;
  QString command_;
  QString syntax_;
  QCommandLineParser parser_;
  bool choseDevice_ = false;
};

// "-q", "--quiet": no progress bar and no summary line, only what went wrong.
QCommandLineOption QuietOption();

// A command made of subcommands (`norvel config show ...`): one table of them drives both the
// dispatch and the help, whose usage lines come from the table and whose `end` follows them.
struct Subcommand {
  const char* name;
  const char* usage;  // after "norvel COMMAND "
  std::function<int(const QStringList& arguments)> run;
};
QByteArray SubcommandHelp(const char* command, const std::vector<Subcommand>& subcommands,
                          const char* end);
// Runs the subcommand the first argument names; `--help` prints the help (exit 0), anything
// else says what is wrong with the help on standard error (exit 2).
int RunSubcommand(const char* command, const std::vector<Subcommand>& subcommands, const char* end,
                  const QStringList& arguments, CommandIo& io);
