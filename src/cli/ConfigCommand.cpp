#include "cli/ConfigCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "cli/ExitCodes.h"
#include "cli/NorvelCommand.h"
#include "cli/PortDiagnosis.h"
#include "core/base/Environment.h"
#include "core/base/Ports.h"
#include "core/files/ConfigCopy.h"
#include "core/files/RegularFile.h"
#include "core/files/SettingsFile.h"
#include "core/platform/Processes.h"
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
      // A busy, missing or forbidden port is named, as receive names it.
      if (station.Link()) ui.Say(PortLine(station, station.Link()->PortNumber()));
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
  QString problem;
  const std::optional<ConfigFileBytes> read =
      ReadConfigFile(QDir(io.currentDir).filePath(source), &problem);
  if (!read) {
    ui.Say(QStringLiteral("cannot read %1: %2").arg(source, problem));
    return std::nullopt;
  }
  // A longer file is read as the copy is, to its 512th byte.
  const std::optional<ConfigImage> image = ImageFromCopyBytes(read->bytes.left(kImageSize));
  if (!image) {
    ui.Say(QStringLiteral("%1 is no configuration (512 or 256 bytes; it holds %2)")
               .arg(source)
               .arg(read->size));
  }
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

// What config write says at its end: a line, or one JSON object with --json.
struct WriteReport {
  int exitCode = exitcode::kOk;
  QString result;  // written, not_written, copy_not_saved, no_answer, history_not_kept
  QString line;
  WriteVerdict verdict;
};

int Finish(CommandIo& io, bool json, WriteReport report) {
  if (const int signal = OsTerminationSignal()) {
    report.exitCode = 128 + signal;
    report.line += QStringLiteral("; stopped by %1").arg(TerminationName(signal));
  }
  if (json) {
    const WriteVerdict& v = report.verdict;
    QJsonObject object{{QStringLiteral("exit_code"), report.exitCode},
                       {QStringLiteral("result"), report.result},
                       {QStringLiteral("station_holds"), v.holds == WriteVerdict::Holds::kNone
                                                             ? QJsonValue(QJsonValue::Null)
                                                             : QJsonValue(v.Name())}};
    if (v.holds == WriteVerdict::Holds::kMixed) {
      object.insert(QStringLiteral("new_bytes"), v.newBytes);
      object.insert(QStringLiteral("old_bytes"), v.oldBytes);
      object.insert(QStringLiteral("other_bytes"), v.otherBytes);
    }
    if (!v.beforeFile.isEmpty()) object.insert(QStringLiteral("before"), v.beforeFile);
    io.out.write(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
  } else {
    QString text = report.line + u'\n';
    if (!report.verdict.Sentence().isEmpty()) text += report.verdict.Sentence() + u'\n';
    io.out.write(text.toUtf8());
  }
  return report.exitCode;
}

// norvel config write FILE [--port N] [--yes] [--json]: the programming window's write,
// without it.
int Write(const QStringList& arguments, CommandIo& io) {
  CommandLine line(io, QStringLiteral("config write"),
                   QStringLiteral("Writes a saved configuration (a file in the form of "
                                  "Norvel.cfg, such as one from history/) to the station exactly "
                                  "as \"Записать программирование\" does: the image the station "
                                  "holds kept in history/ first, the write-enable test, the "
                                  "image, the read-back and comparison of all 512 bytes, then "
                                  "Norvel.cfg. The question about the programming switch is "
                                  "answered No unless --yes. Values for boards the station lacks "
                                  "are told, not refused. After a failed write the station is "
                                  "read again and what it holds is said, with the way back."),
                   QStringLiteral("FILE"));
  line.AddPortOption();
  line.AddDirOption();
  line.Add({QStringLiteral("yes"),
            QStringLiteral("Answer Yes to the question about the programming switch: it has been "
                           "set, try again.")});
  line.Add({QStringLiteral("json"),
            QStringLiteral("Print one JSON object: exit_code, result, station_holds (before, "
                           "written, mixed, unknown; null when written), before.")});
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  const std::optional<int> port = line.Port();
  if (!port) return exitcode::kUsage;
  if (line.Positional().size() != 1) return line.Usage(QStringLiteral("one FILE is needed"));
  const std::optional<QString> workDir = line.WorkingDir();
  if (!workDir) return exitcode::kUsage;
  const QString& dir = *workDir;
  const bool json = line.IsSet(QStringLiteral("json"));
  ConsoleUi ui(io.err, false, line.IsSet(QStringLiteral("yes")));

  const QString source = line.Positional().first();
  QString problem;
  const std::optional<ConfigFileBytes> read =
      ReadConfigFile(QDir(io.currentDir).filePath(source), &problem);
  if (!read) {
    ui.Say(QStringLiteral("Не удается прочитать файл %1: %2").arg(source, problem));
    return exitcode::kFilesFailed;
  }
  // Only a whole image is written: an old 256-byte copy would clear the night half.
  if (read->size != kImageSize || read->bytes.size() != kImageSize) {
    return line.Usage(QStringLiteral("%1 holds %2 bytes; a configuration to write holds %3")
                          .arg(source)
                          .arg(read->size)
                          .arg(kImageSize));
  }
  const ConfigImage image = *ImageFromCopyBytes(read->bytes);

  // SIGTERM and SIGINT end the conversation at the station's next reply byte, never inside a
  // frame; the write then says what the station holds, as after any failure.
  OsNoteTermination();
  Environment env{ui, io.clock, io.ports, QDir(dir).absolutePath()};
  StationCtrlClass station(env, *port > 0 ? std::optional<quint16>(*port) : std::nullopt);
  WriteReport report;
  // The station is read first, as the programming entry does: what it holds is kept in the
  // history before the write.
  if (!station.CheckLink() || !station.LoadFromStation()) {
    station.ReportNoLink();
    ui.Say(PortLine(station, station.Link() ? station.Link()->PortNumber() : *port));
    const std::optional<DeviceFault> fault = FindDeviceFault(station);
    report.exitCode = fault ? exitcode::kDeviceFault : exitcode::kNoAnswer;
    report.result = QStringLiteral("no_answer");
    report.line = QStringLiteral("not written: ") +
                  (fault ? fault->text : QStringLiteral("the station did not answer"));
    return Finish(io, json, report);
  }
  // The design writes the whole image: values for equipment this station lacks are written
  // with the rest and change nothing it has. They are told, never refused, so that an image the
  // station itself held (its history) can always be written back.
  for (const ConfigFinding& finding : CheckConfig(image, station.BoardCount())) {
    if (finding.rule != QLatin1String("values-beyond-station")) continue;
    ui.Say(QStringLiteral("%1 (%2 boards): %3: %4")
               .arg(source)
               .arg(station.BoardCount())
               .arg(finding.place, finding.text));
  }
  station.SetImage(image);
  const StationCtrlClass::WriteOutcome outcome = station.WriteAndSave();
  report.verdict = station.LastWriteVerdict();
  switch (outcome) {
    case StationCtrlClass::WriteOutcome::kWritten:
      report.result = QStringLiteral("written");
      report.line = QStringLiteral("written: %1 to the station (%2 boards) and Norvel.cfg")
                        .arg(source)
                        .arg(station.BoardCount());
      break;
    case StationCtrlClass::WriteOutcome::kCopyNotSaved:
      report.exitCode = exitcode::kFilesFailed;
      report.result = QStringLiteral("copy_not_saved");
      report.line = QStringLiteral("written to the station; Norvel.cfg could not be written");
      break;
    case StationCtrlClass::WriteOutcome::kHistoryNotKept:
      report.exitCode = exitcode::kFilesFailed;
      report.result = QStringLiteral("history_not_kept");
      report.line =
          QStringLiteral("not written: the image the station holds could not be kept in history/");
      break;
    case StationCtrlClass::WriteOutcome::kNotWritten:
      report.exitCode = exitcode::kNoAnswer;
      report.result = QStringLiteral("not_written");
      report.line = QStringLiteral("not written: the station refused or the read-back differs");
      break;
  }
  return Finish(io, json, report);
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
