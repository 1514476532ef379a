#include "cli/ConfigCommand.h"

#include <QFile>
#include <optional>

#include "cli/ConsoleUi.h"
#include "cli/NorvelCommand.h"
#include "core/files/ConfigCopy.h"
#include "core/base/Environment.h"
#include "core/station/StationCtrl.h"
#include "core/tables/ConfigDescription.h"

namespace {

constexpr int kDiffEqual = 0;
constexpr int kDiffDifferent = 1;
constexpr int kDiffError = 2;

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
  QFile file(source);
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
  QStringList files;
  std::optional<int> boards;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == QLatin1String("--boards") && i + 1 < arguments.size()) {
      bool ok = false;
      boards = arguments[++i].toInt(&ok);
      if (!ok || *boards < 1 || *boards > 4) {
        ui.Say(QStringLiteral("--boards takes a number from 1 to 4"));
        return kDiffError;
      }
    } else {
      files << arguments[i];
    }
  }
  const QString what = files.isEmpty() ? QString() : files.takeFirst();
  if ((what == QLatin1String("show") && files.size() == 1) ||
      (what == QLatin1String("diff") && files.size() == 2)) {
    std::vector<ConfigImage> images;
    for (const QString& source : files) {
      const std::optional<ConfigImage> image = LoadImage(source, io, ui, boards);
      if (!image) return kDiffError;
      images.push_back(*image);
    }
    const int shownBoards = boards.value_or(4);
    if (what == QLatin1String("show")) {
      Print(io, ShowConfig(images[0], shownBoards));
      return kDiffEqual;
    }
    const QStringList differences = ConfigDifferences(images[0], images[1], shownBoards);
    Print(io, differences);
    return differences.isEmpty() ? kDiffEqual : kDiffDifferent;
  }
  io.err.write(("norvel: config show FILE | config diff A B, with FILE, A, B files or "
                "\"station\"\n\n" +
                NorvelHelpText())
                   .toUtf8());
  return kDiffError;
}
