#include "cli/ConfigCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "cli/ExitCodes.h"
#include "cli/NorvelCommand.h"
#include "core/base/Environment.h"
#include "core/base/Ports.h"
#include "core/files/ConfigCopy.h"
#include "core/files/SettingsFile.h"
#include "core/station/StationCtrl.h"
#include "core/tables/ConfigChecks.h"
#include "core/tables/ConfigDescription.h"

namespace {

constexpr int kDiffEqual = 0;
constexpr int kDiffDifferent = 1;
constexpr int kDiffError = 2;

const char kConfigHelp[] =
    "usage: norvel config show FILE [--boards N]\n"
    "       norvel config diff A B [--boards N]\n"
    "       norvel config check FILE [--boards N] [--json]\n"
    "       norvel config write FILE [--port N] [--yes]\n"
    "FILE, A and B are files in the form of Norvel.cfg, or \"station\" for the station's own\n"
    "(not for write). 'norvel config COMMAND --help' says more.\n";

// An image from a file in the copy's form, or from the station (the programming entry's read,
// no write); `boards` takes the station's board count when it is asked.
std::optional<ConfigImage> LoadImage(const QString& source, CommandIo& io, ConsoleUi& ui,
                                     std::optional<int>& boards) {
  if (source == QLatin1String("station")) {
    Environment env{ui, io.clock, io.ports, io.currentDir};
    StationCtrlClass station(env);
    if (!station.CheckLink()) {
      ui.Say(QStringLiteral("the station does not answer"));
      return std::nullopt;
    }
    const quint16 count = station.ReadBoardCount();
    ConfigImage image{};
    if (!StationCtrlClass::IsValidBoardCount(count) || !station.ReadImage(image)) {
      ui.Say(QStringLiteral("the station's configuration could not be read"));
      return std::nullopt;
    }
    if (!boards) boards = count;
    return image;
  }
  QFile file(QDir(io.currentDir).filePath(source));
  if (!file.open(QIODevice::ReadOnly)) {
    ui.Say(QStringLiteral("cannot read %1: %2").arg(source, file.errorString()));
    return std::nullopt;
  }
  const std::optional<ConfigImage> image = ImageFromCopyBytes(file.read(kImageSize));
  if (!image) ui.Say(QStringLiteral("%1 is no configuration (512 or 256 bytes)").arg(source));
  return image;
}

void Print(CommandIo& io, const QStringList& lines) {
  for (const QString& line : lines) io.out.write((line + u'\n').toUtf8());
}

// norvel config check FILE|station [--boards N] [--json]
int Check(const QStringList& arguments, CommandIo& io, ConsoleUi& ui) {
  CommandLine line(io, QStringLiteral("config check"),
                   QStringLiteral("Checks a configuration before it is written: city lines whose "
                                  "calls ring no subscriber, entries naming subscribers the "
                                  "station does not have, administrator and selector phones, "
                                  "switching times with one end missing, values for equipment "
                                  "beyond the station's boards. One line per finding; exit 0 "
                                  "when there is none, 1 when there are findings, 2 on error."),
                   QStringLiteral("FILE|station"));
  line.Add({QStringLiteral("boards"),
            QStringLiteral("The station's boards, 1 to 4 (default: the station's own when it is "
                           "read, else the working directory's NorvelWin.ini, else 4)."),
            QStringLiteral("N")});
  line.Add({QStringLiteral("json"), QStringLiteral("Print the findings as one JSON array.")});
  if (const std::optional<int> code = line.Parse(arguments)) {
    return *code == exitcode::kOk ? kDiffEqual : kDiffError;
  }
  const std::optional<int> asked = line.Number(QStringLiteral("boards"), 1, 4, 0);
  if (!asked) return kDiffError;
  if (line.Positional().size() != 1) {
    line.Usage(QStringLiteral("one FILE (or \"station\") is needed"));
    return kDiffError;
  }
  std::optional<int> boards;
  if (*asked != 0) boards = *asked;
  const std::optional<ConfigImage> image = LoadImage(line.Positional().first(), io, ui, boards);
  if (!image) return kDiffError;
  if (!boards && QFileInfo::exists(QDir(io.currentDir).filePath(kSettingsFileName))) {
    Environment env{ui, io.clock, io.ports, io.currentDir};
    const quint16 count = ReadSettingsFile(env.workDir, env.ui, env.clock).boardCount;
    if (StationCtrlClass::IsValidBoardCount(count)) boards = count;
  }
  const std::vector<ConfigFinding> findings = CheckConfig(*image, boards.value_or(4));
  if (line.IsSet(QStringLiteral("json"))) {
    io.out.write(FindingsJson(findings));
  } else {
    for (const ConfigFinding& finding : findings) io.out.write((finding.Line() + u'\n').toUtf8());
  }
  return findings.empty() ? kDiffEqual : kDiffDifferent;
}

// norvel config write FILE [--port N] [--yes]: the programming window's write, without it.
int Write(const QStringList& arguments, CommandIo& io) {
  CommandLine line(io, QStringLiteral("config write"),
                   QStringLiteral("Writes a saved configuration (a file in the form of "
                                  "Norvel.cfg, such as one from history/) to the station exactly "
                                  "as \"Записать программирование\" does: the write-enable test, "
                                  "the image, the read-back and comparison, then Norvel.cfg and "
                                  "the history pair. The question about the programming switch "
                                  "is answered No unless --yes. A file that does not fit the "
                                  "station read at the start is refused with the reason."),
                   QStringLiteral("FILE"));
  line.AddPortOption();
  line.AddDirOption();
  line.Add({QStringLiteral("yes"),
            QStringLiteral("Answer Yes to the question about the programming switch: it has been "
                           "set, try again.")});
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  const std::optional<int> port = line.Port();
  if (!port) return exitcode::kUsage;
  if (line.Positional().size() != 1) return line.Usage(QStringLiteral("one FILE is needed"));
  const std::optional<QString> workDir = line.WorkingDir();
  if (!workDir) return exitcode::kUsage;
  const QString& dir = *workDir;
  ConsoleUi ui(io.err, false, line.IsSet(QStringLiteral("yes")));

  const QString source = line.Positional().first();
  QFile file(QDir(io.currentDir).filePath(source));
  if (!file.open(QIODevice::ReadOnly)) {
    ui.Say(QStringLiteral("Не удается прочитать файл %1: %2").arg(source, file.errorString()));
    return exitcode::kFilesFailed;
  }
  const QByteArray bytes = file.read(kImageSize + 1);
  // Only a whole image is written: an old 256-byte copy would clear the night half.
  if (bytes.size() != kImageSize) {
    return line.Usage(QStringLiteral("%1 holds %2 bytes; a configuration to write holds %3")
                          .arg(source)
                          .arg(bytes.size())
                          .arg(kImageSize));
  }
  const ConfigImage image = *ImageFromCopyBytes(bytes);

  Environment env{ui, io.clock, io.ports, QDir(dir).absolutePath()};
  StationCtrlClass station(env, *port > 0 ? std::optional<quint16>(*port) : std::nullopt);
  // The station is read first, as the programming entry does: its board count decides whether
  // the file fits, and what it holds is kept in the history before the write.
  if (!station.CheckLink() || !station.LoadFromStation()) {
    station.ReportNoLink();
    io.out.write("not written: the station did not answer\n");
    return exitcode::kNoAnswer;
  }
  for (const ConfigFinding& finding : CheckConfig(image, station.BoardCount())) {
    if (finding.rule != QLatin1String("values-beyond-station")) continue;
    return line.Usage(QStringLiteral("%1 does not fit this station (%2 boards): %3: %4")
                          .arg(source)
                          .arg(station.BoardCount())
                          .arg(finding.place, finding.text));
  }
  station.SetImage(image);
  switch (station.WriteAndSave()) {
    case StationCtrlClass::WriteOutcome::kWritten:
      io.out.write(QStringLiteral("written: %1 to the station (%2 boards) and Norvel.cfg\n")
                       .arg(source)
                       .arg(station.BoardCount())
                       .toUtf8());
      return exitcode::kOk;
    case StationCtrlClass::WriteOutcome::kCopyNotSaved:
      io.out.write("written to the station; Norvel.cfg could not be written\n");
      return exitcode::kFilesFailed;
    case StationCtrlClass::WriteOutcome::kNotWritten:
      break;
  }
  io.out.write("not written: the station refused or the read-back differs\n");
  return exitcode::kNoAnswer;
}

}  // namespace

int RunConfigCommand(const QStringList& arguments, CommandIo& io) {
  ConsoleUi ui(io.err, false);
  const QString what = arguments.value(0);
  if (what == QLatin1String("check")) return Check(arguments.mid(1), io, ui);
  if (what == QLatin1String("write")) return Write(arguments.mid(1), io);
  const bool show = what == QLatin1String("show");
  const bool diff = what == QLatin1String("diff");
  if (!show && !diff) {
    if (what == QLatin1String("--help") || what == QLatin1String("-h")) {
      io.out.write(kConfigHelp);
      return kDiffEqual;
    }
    io.err.write(QStringLiteral("norvel config: %1\n%2")
                     .arg(what.isEmpty() ? QStringLiteral("show, diff, check or write is needed")
                                         : QStringLiteral("unknown '%1'").arg(what),
                          QString::fromUtf8(kConfigHelp))
                     .toUtf8());
    return kDiffError;
  }
  CommandLine line(io, QStringLiteral("config ") + what,
                   show ? QStringLiteral("Prints a configuration in the words of the table "
                                         "windows. FILE is a file in the form of Norvel.cfg, or "
                                         "\"station\" for the station's own (read, never "
                                         "written).")
                        : QStringLiteral("Prints every difference between two configurations, "
                                         "one line each; A and B are files in the form of "
                                         "Norvel.cfg, or \"station\". Exit 0 equal, 1 "
                                         "different, 2 error."),
                   show ? QStringLiteral("FILE") : QStringLiteral("A B"));
  line.Add({QStringLiteral("boards"),
            QStringLiteral("Show the rows and lines of N boards, 1 to 4 (default: all four, or "
                           "the station's own when it is read)."),
            QStringLiteral("N")});
  if (const std::optional<int> code = line.Parse(arguments.mid(1))) {
    return *code == exitcode::kOk ? kDiffEqual : kDiffError;
  }
  const std::optional<int> asked = line.Number(QStringLiteral("boards"), 1, 4, 0);
  if (!asked) return kDiffError;
  std::optional<int> boards;
  if (*asked != 0) boards = *asked;
  const QStringList files = line.Positional();
  if (files.size() != (show ? 1 : 2)) {
    line.Usage(show ? QStringLiteral("one FILE is needed") : QStringLiteral("A and B are needed"));
    return kDiffError;
  }
  std::vector<ConfigImage> images;
  for (const QString& source : files) {
    const std::optional<ConfigImage> image = LoadImage(source, io, ui, boards);
    if (!image) return kDiffError;
    images.push_back(*image);
  }
  const int shownBoards = boards.value_or(4);
  if (show) {
    Print(io, ShowConfig(images[0], shownBoards));
    return kDiffEqual;
  }
  const QStringList differences = ConfigDifferences(images[0], images[1], shownBoards);
  Print(io, differences);
  return differences.isEmpty() ? kDiffEqual : kDiffDifferent;
}
