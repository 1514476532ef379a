#include "cli/ConfigCommand.h"

#include <QDir>
#include <QFile>
#include <optional>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "cli/NorvelCommand.h"
#include "core/base/Environment.h"
#include "core/files/ConfigCopy.h"
#include "core/station/StationCtrl.h"
#include "core/tables/ConfigDescription.h"

namespace {

constexpr int kDiffEqual = 0;
constexpr int kDiffDifferent = 1;
constexpr int kDiffError = 2;

const char kConfigHelp[] =
    "usage: norvel config show FILE [--boards N]\n"
    "       norvel config diff A B [--boards N]\n"
    "FILE, A and B are files in the form of Norvel.cfg, or \"station\" for the station's own.\n"
    "'norvel config show --help' and 'norvel config diff --help' say more.\n";

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

}  // namespace

int RunConfigCommand(const QStringList& arguments, CommandIo& io) {
  ConsoleUi ui(io.err, false);
  const QString what = arguments.value(0);
  const bool show = what == QLatin1String("show");
  const bool diff = what == QLatin1String("diff");
  if (!show && !diff) {
    if (what == QLatin1String("--help") || what == QLatin1String("-h")) {
      io.out.write(kConfigHelp);
      return kDiffEqual;
    }
    io.err.write(QStringLiteral("norvel config: %1\n%2")
                     .arg(what.isEmpty() ? QStringLiteral("show or diff is needed")
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
