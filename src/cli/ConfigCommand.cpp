#include "cli/ConfigCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <functional>
#include <optional>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "cli/NorvelCommand.h"
#include "cli/PortDiagnosis.h"
#include "core/base/Counts.h"
#include "core/base/Environment.h"
#include "core/base/ExitCodes.h"
#include "core/base/Ports.h"
#include "core/files/ConfigCopy.h"
#include "core/files/OutputFile.h"
#include "core/files/RegularFile.h"
#include "core/files/SettingsFile.h"
#include "core/platform/Processes.h"
#include "core/station/StationCtrl.h"
#include "core/tables/ConfigChecks.h"
#include "core/tables/ConfigDescription.h"
#include "core/tables/ConfigText.h"

namespace {

constexpr int kDiffEqual = 0;
constexpr int kDiffDifferent = 1;
constexpr int kDiffError = 2;

// The end of the help, after the usage line of each subcommand.
const char kConfigHelpEnd[] =
    "FILE, A and B are files in the form of Norvel.cfg, configurations as text (from export),\n"
    "or \"station\" for the station's own (not for write). 'norvel config COMMAND --help' says\n"
    "more.\n";

// A configuration as text read onto `base`; its mistakes are said, one line each.
std::optional<ConfigImage> ImageFromText(const QString& source, const ConfigFileBytes& text,
                                         const ConfigImage& base, ConsoleUi& ui) {
  if (text.size > kLargestConfigText) {
    ui.Say(QStringLiteral("%1 is no configuration: %2 bytes, where a configuration text holds at "
                          "most %3")
               .arg(source)
               .arg(text.size)
               .arg(kLargestConfigText));
    return std::nullopt;
  }
  ConfigTextResult result = ConfigFromText(text.bytes, base);
  for (const QString& error : result.errors) ui.Say(source + QStringLiteral(": ") + error);
  if (result.image && result.settings == 0) {
    ui.Say(QStringLiteral("%1 holds no setting: nothing to apply").arg(source));
    return std::nullopt;
  }
  return result.image;
}

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
    // A test byte a cut-off write left in the station goes back before the image is read, or
    // it would show as a change of byte 511.
    station.SettlePendingWriteTest();
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
      ReadConfigFile(QDir(io.currentDir).filePath(source), &problem, kLargestConfigText + 1);
  if (!read) {
    ui.Say(QStringLiteral("cannot read %1: %2").arg(source, problem));
    return std::nullopt;
  }
  if (IsConfigTextName(source, read->size)) return ImageFromText(source, *read, ConfigImage{}, ui);
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

// The board count asked for, else the station's when it was read, else the working
// directory's NorvelWin.ini, else four.
int StationBoards(std::optional<int> boards, CommandIo& io, ConsoleUi& ui) {
  if (!boards && QFileInfo::exists(QDir(io.currentDir).filePath(kSettingsFileName))) {
    Environment env{ui, io.clock, io.ports, io.currentDir};
    const quint16 count = ReadSettingsFile(env.workDir, env.ui, env.clock).boardCount;
    if (StationCtrlClass::IsValidBoardCount(count)) boards = count;
  }
  return boards.value_or(4);
}

// A command on one configuration, FILE or "station", with --boards: its command line parsed and
// the image loaded; none, with the exit code in `code`, when the command ends here.
struct OneConfig {
  QString source;
  ConfigImage image{};
  std::optional<int> boards;  // asked for, or the station's when it was read
};
std::optional<OneConfig> ParseOneConfig(CommandLine& line, const QStringList& arguments,
                                        CommandIo& io, ConsoleUi& ui, int* code) {
  if (const std::optional<int> parsed = line.Parse(arguments)) {
    *code = *parsed == exitcode::kOk ? kDiffEqual : kDiffError;
    return std::nullopt;
  }
  *code = kDiffError;
  const std::optional<int> asked = line.Number(QStringLiteral("boards"), 1, 4, 0);
  if (!asked) return std::nullopt;
  if (line.Positional().size() != 1) {
    line.Usage(QStringLiteral("one FILE (or \"station\") is needed"));
    return std::nullopt;
  }
  OneConfig config;
  config.source = line.Positional().first();
  if (*asked != 0) config.boards = *asked;
  const std::optional<ConfigImage> image = LoadImage(config.source, io, ui, config.boards);
  if (!image) return std::nullopt;
  config.image = *image;
  return config;
}

// Writes `bytes` to -o's file, whole or not at all, or to standard output for "-".
bool WriteOutput(const QString& output, const QByteArray& bytes, CommandIo& io, ConsoleUi& ui) {
  if (output == QLatin1String("-")) {
    io.out.write(bytes);
    return true;
  }
  OutputFile file(QDir(io.currentDir).filePath(output));
  QString error;
  QFile* out = file.Open(&error);
  if (!out || !WriteWhole(*out, bytes) || !file.Commit(OutputFile::Kind::kAny, &error)) {
    if (error.isEmpty() && out) error = out->errorString();
    ui.Say(QStringLiteral("cannot write %1: %2").arg(output, error));
    return false;
  }
  return true;
}

// norvel config export FILE|station [--boards N] [-o TEXT]
int Export(const QStringList& arguments, CommandIo& io, ConsoleUi& ui) {
  CommandLine line(io, QStringLiteral("config export"),
                   QStringLiteral("Writes a configuration as text: one setting per line in the "
                                  "table windows' words, \"table, half, row, column = value\", "
                                  "grouped by table with a comment naming each, in a stable "
                                  "order (UTF-8). Bytes no window shows whole are written as "
                                  "\"байт N = 0xAB\", so import gives the same 512 bytes back. "
                                  "Exit 0 written, 2 on error."),
                   QStringLiteral("FILE|station"));
  line.Add({QStringLiteral("boards"),
            QStringLiteral("The station's boards, 1 to 4, whose rows and lines are written as "
                           "settings (default: the station's own when it is read, else the "
                           "working directory's NorvelWin.ini, else 4)."),
            QStringLiteral("N")});
  line.Add({{QStringLiteral("o"), QStringLiteral("output")},
            QStringLiteral("Write the text to TEXT (default: standard output)."),
            QStringLiteral("TEXT")});
  int code = kDiffError;
  const std::optional<OneConfig> config = ParseOneConfig(line, arguments, io, ui, &code);
  if (!config) return code;
  const QString output =
      line.IsSet(QStringLiteral("o")) ? line.Value(QStringLiteral("o")) : QStringLiteral("-");
  const QByteArray text =
      ConfigToText(config->image, StationBoards(config->boards, io, ui), config->source);
  return WriteOutput(output, text, io, ui) ? kDiffEqual : kDiffError;
}

// norvel config import TEXT [--base FILE|station] -o FILE.cfg
int Import(const QStringList& arguments, CommandIo& io, ConsoleUi& ui) {
  CommandLine line(io, QStringLiteral("config import"),
                   QStringLiteral("Reads a configuration as text (from export, or a template "
                                  "with only some settings) and writes the image in the form of "
                                  "Norvel.cfg. The text's settings are applied to the base; every "
                                  "other byte stays as the base has it. A mistake is named with "
                                  "its line and setting, and then nothing is written. Exit 0 "
                                  "written, 2 on error."),
                   QStringLiteral("TEXT"));
  line.Add({QStringLiteral("base"),
            QStringLiteral("The image the text is applied to: a file in the form of Norvel.cfg, "
                           "\"station\", or \"empty\" for all bytes zero (a template on zeros "
                           "leaves the station unable to ring anyone, so it is asked for by "
                           "name)."),
            QStringLiteral("FILE|station|empty")});
  line.Add({{QStringLiteral("o"), QStringLiteral("output")},
            QStringLiteral("The image file to write."),
            QStringLiteral("FILE.cfg")});
  if (const std::optional<int> code = line.Parse(arguments)) {
    return *code == exitcode::kOk ? kDiffEqual : kDiffError;
  }
  if (line.Positional().size() != 1) {
    line.Usage(QStringLiteral("one TEXT is needed"));
    return kDiffError;
  }
  if (!line.IsSet(QStringLiteral("o"))) {
    line.Usage(QStringLiteral("-o FILE.cfg is needed"));
    return kDiffError;
  }
  if (!line.IsSet(QStringLiteral("base"))) {
    line.Usage(
        QStringLiteral("--base FILE|station is needed, or --base empty for an image whose "
                       "other bytes are all zero"));
    return kDiffError;
  }
  ConfigImage base{};
  if (line.Value(QStringLiteral("base")) != QLatin1String("empty")) {
    std::optional<int> boards;
    const std::optional<ConfigImage> read =
        LoadImage(line.Value(QStringLiteral("base")), io, ui, boards);
    if (!read) return kDiffError;
    base = *read;
  }
  const QString source = line.Positional().first();
  QString problem;
  const std::optional<ConfigFileBytes> text =
      ReadConfigFile(QDir(io.currentDir).filePath(source), &problem, kLargestConfigText + 1);
  if (!text) {
    ui.Say(QStringLiteral("cannot read %1: %2").arg(source, problem));
    return kDiffError;
  }
  const std::optional<ConfigImage> image = ImageFromText(source, *text, base, ui);
  if (!image) return kDiffError;
  const QByteArray bytes(reinterpret_cast<const char*>(image->data()), kImageSize);
  return WriteOutput(line.Value(QStringLiteral("o")), bytes, io, ui) ? kDiffEqual : kDiffError;
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
  int code = kDiffError;
  const std::optional<OneConfig> config = ParseOneConfig(line, arguments, io, ui, &code);
  if (!config) return code;
  const std::vector<ConfigFinding> findings =
      CheckConfig(config->image, StationBoards(config->boards, io, ui));
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

// What a write is asked to do besides the image: where, through which port, and whether the
// checks' errors are accepted.
struct WriteOptions {
  QString dir;
  int port = 0;
  bool json = false;
  bool acceptErrors = false;
  QString dirGiven;  // --dir as it was typed
  QString wayBack;   // the options the way back needs, " --dir work --port 2"
};

int CountErrors(const std::vector<ConfigFinding>& findings) {
  return static_cast<int>(std::count_if(findings.begin(), findings.end(), [](const auto& f) {
    return f.level == ConfigFinding::Level::kError;
  }));
}

// Prints the checks' findings of the image to write, those the station already has apart from
// those the write brings; says how many errors the write brings.
int TellFindings(ConsoleUi& ui, const QString& source, const ConfigImage& held,
                 const ConfigImage& image, int boards) {
  const std::vector<ConfigFinding> before = CheckConfig(held, boards);
  const auto hadIt = [&before](const ConfigFinding& finding) {
    return std::any_of(before.begin(), before.end(), [&finding](const ConfigFinding& old) {
      return old.rule == finding.rule && old.place == finding.place && old.text == finding.text;
    });
  };
  int newErrors = 0;
  QStringList already;
  for (const ConfigFinding& finding : CheckConfig(image, boards)) {
    if (hadIt(finding)) {
      already << finding.Line();
    } else if (finding.rule == QLatin1String("values-beyond-station")) {
      // The design writes the whole image: values for equipment this station lacks are written
      // with the rest and change nothing it has. They are told, never refused, so that an
      // image the station itself held (its history) can always be written back.
      ui.Say(QStringLiteral("%1 (%2 boards): %3: %4")
                 .arg(source)
                 .arg(boards)
                 .arg(finding.place, finding.text));
    } else {
      ui.Say(source + QStringLiteral(": ") + finding.Line());
      if (finding.level == ConfigFinding::Level::kError) ++newErrors;
    }
  }
  for (const QString& finding : already)
    ui.Say(QStringLiteral("already in the station: ") + finding);
  return newErrors;
}

int WriteToStation(
    CommandIo& io, ConsoleUi& ui, const WriteOptions& options, const QString& source,
    const std::function<std::optional<ConfigImage>(const StationCtrlClass&)>& imageToWrite);

// A word as a POSIX shell reads it back: quoted when it holds anything but plain characters.
QString ShellWord(const QString& word) {
  static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=+-]+$"));
  if (plain.match(word).hasMatch()) return word;
  QString quoted = word;
  quoted.replace(u'\'', QStringLiteral("'\\''"));
  return u'\'' + quoted + u'\'';
}

// The options of this command line, and those the way back after a failed write needs to run
// as printed: the working directory and port given.
WriteOptions Options(CommandLine& line, const QString& dir, int port) {
  WriteOptions options{
      dir, port, line.IsSet(QStringLiteral("json")), line.IsSet(QStringLiteral("accept-errors")),
      {},  {}};
  if (line.IsSet(QStringLiteral("dir"))) {
    options.dirGiven = line.Value(QStringLiteral("dir"));
    options.wayBack += QStringLiteral(" --dir ") + ShellWord(options.dirGiven);
  }
  if (line.IsSet(QStringLiteral("port")))
    options.wayBack += QStringLiteral(" --port ") + line.Value(QStringLiteral("port"));
  return options;
}

void AddAcceptErrors(CommandLine& line) {
  line.Add({QStringLiteral("accept-errors"),
            QStringLiteral("Write even when the checks find errors the station does not have yet "
                           "(they are printed first in any case).")});
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
  AddAcceptErrors(line);
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  const std::optional<int> port = line.Port();
  if (!port) return exitcode::kUsage;
  if (line.Positional().size() != 1) return line.Usage(QStringLiteral("one FILE is needed"));
  const std::optional<QString> workDir = line.WorkingDir();
  if (!workDir) return exitcode::kUsage;
  const QString& dir = *workDir;
  ConsoleUi ui(io.err, false, line.IsSet(QStringLiteral("yes")));

  const QString source = line.Positional().first();
  // A directory, a pipe or a device is no saved configuration: the command line is wrong.
  const QFileInfo what(QDir(io.currentDir).filePath(source));
  if (what.exists() && !what.isFile()) {
    return line.Usage(
        QStringLiteral("%1 is not a file (a directory, a pipe or a device)").arg(source));
  }
  QString problem;
  const std::optional<ConfigFileBytes> read =
      ReadConfigFile(QDir(io.currentDir).filePath(source), &problem);
  if (!read) {
    ui.Say(QStringLiteral("Не удается прочитать файл %1: %2").arg(source, problem));
    return exitcode::kFilesFailed;
  }
  // A text written as the image would program the station with its letters.
  if (read->size == kImageSize && ReadsAsConfigText(source, read->bytes)) {
    ui.Say(QStringLiteral("%1: это текст конфигурации, а не образ: norvel config apply %1 (или "
                          "config import %1 --base ФАЙЛ -o ФАЙЛ.cfg)")
               .arg(source));
    return exitcode::kUsage;
  }
  // Only a whole image is written: an old 256-byte copy would clear the night half.
  if (read->size != kImageSize || read->bytes.size() != kImageSize) {
    return line.Usage(QStringLiteral("%1 holds %2 bytes; a configuration to write holds %3")
                          .arg(source)
                          .arg(read->size)
                          .arg(kImageSize));
  }
  const ConfigImage image = *ImageFromCopyBytes(read->bytes);
  return WriteToStation(io, ui, Options(line, dir, *port), source,
                        [&image](const StationCtrlClass&) { return std::optional(image); });
}

// norvel config apply TEXT [--port N] [--yes] [--dry-run] [--json]
int Apply(const QStringList& arguments, CommandIo& io) {
  CommandLine line(io, QStringLiteral("config apply"),
                   QStringLiteral("Applies a configuration as text (a template with some "
                                  "settings, or a whole export) to the station: the station's "
                                  "image is read, the text's settings are applied to it, every "
                                  "difference is printed in the windows' words, and the result "
                                  "is written as config write writes (history/, the read-back "
                                  "check, Norvel.cfg). A text with a mistake is refused before "
                                  "the station is called."),
                   QStringLiteral("TEXT"));
  line.AddPortOption();
  line.AddDirOption();
  line.Add({QStringLiteral("yes"),
            QStringLiteral("Answer Yes to the question about the programming switch.")});
  line.Add({QStringLiteral("dry-run"), QStringLiteral("Print the differences and write nothing.")});
  line.Add({QStringLiteral("json"), QStringLiteral("Print the end as config write --json does.")});
  AddAcceptErrors(line);
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  const std::optional<int> port = line.Port();
  if (!port) return exitcode::kUsage;
  if (line.Positional().size() != 1) return line.Usage(QStringLiteral("one TEXT is needed"));
  const std::optional<QString> workDir = line.WorkingDir();
  if (!workDir) return exitcode::kUsage;
  ConsoleUi ui(io.err, false, line.IsSet(QStringLiteral("yes")));
  const QString source = line.Positional().first();
  QString problem;
  const std::optional<ConfigFileBytes> text =
      ReadConfigFile(QDir(io.currentDir).filePath(source), &problem, kLargestConfigText + 1);
  if (!text) {
    ui.Say(QStringLiteral("cannot read %1: %2").arg(source, problem));
    return exitcode::kFilesFailed;
  }
  // Mistakes are found before the station is called: they do not depend on its image.
  if (!ImageFromText(source, *text, ConfigImage{}, ui)) return exitcode::kUsage;
  const bool dryRun = line.IsSet(QStringLiteral("dry-run"));
  bool nothingToDo = false;
  const int code = WriteToStation(
      io, ui, Options(line, *workDir, *port), source,
      [&](const StationCtrlClass& station) -> std::optional<ConfigImage> {
        const ConfigImage image = *ConfigFromText(text->bytes, station.Image()).image;
        const QStringList differences =
            ConfigDifferences(station.Image(), image, station.BoardCount());
        Print(io, differences);
        if (differences.isEmpty()) {
          io.out.write("nothing to write: the station holds every setting of the text\n");
        } else if (dryRun) {
          io.out.write(QStringLiteral("not written (--dry-run): %1\n")
                           .arg(EnglishCount(differences.size(), "difference", "differences"))
                           .toUtf8());
        }
        nothingToDo = differences.isEmpty() || dryRun;
        if (nothingToDo) return std::nullopt;
        return image;
      });
  return nothingToDo ? exitcode::kOk : code;
}

// Reads the station, makes the image to write from what it holds (none: nothing is written and
// the caller has said why), and writes it as "Записать программирование" does.
int WriteToStation(
    CommandIo& io, ConsoleUi& ui, const WriteOptions& options, const QString& source,
    const std::function<std::optional<ConfigImage>(const StationCtrlClass&)>& imageToWrite) {
  const QString& dir = options.dir;
  const int port = options.port;
  const bool json = options.json;
  // SIGTERM and SIGINT end the conversation at the station's next reply byte, never inside a
  // frame; the write then says what the station holds, as after any failure.
  OsNoteTermination();
  Environment env{ui, io.clock, io.ports, QDir(dir).absolutePath()};
  StationCtrlClass station(env, port > 0 ? std::optional<quint16>(port) : std::nullopt);
  WriteReport report;
  // The station is read first, as the programming entry does: what it holds is kept in the
  // history before the write.
  if (!station.CheckLink() || !station.LoadFromStation()) {
    station.ReportNoLink();
    ui.Say(PortLine(station, station.Link() ? station.Link()->PortNumber() : port));
    const std::optional<DeviceFault> fault = FindDeviceFault(station);
    report.exitCode = fault ? exitcode::kDeviceFault : exitcode::kNoAnswer;
    report.result = QStringLiteral("no_answer");
    report.line = QStringLiteral("not written: ") +
                  (fault ? fault->text : QStringLiteral("the station did not answer"));
    return Finish(io, json, report);
  }
  const ConfigImage held = station.Image();
  const std::optional<ConfigImage> made = imageToWrite(station);
  if (!made) return exitcode::kOk;
  const ConfigImage& image = *made;
  const int newErrors = TellFindings(ui, source, held, image, station.BoardCount());
  if (newErrors > 0 && !options.acceptErrors) {
    report.exitCode = exitcode::kUsage;
    report.result = QStringLiteral("errors_not_accepted");
    report.line = QStringLiteral(
                      "not written: %1 brings %2 error(s) the station does not have (above); "
                      "write it anyway with --accept-errors")
                      .arg(source)
                      .arg(newErrors);
    return Finish(io, json, report);
  }
  station.SetImage(image);
  const StationCtrlClass::WriteOutcome outcome = station.WriteAndSave();
  report.verdict = station.LastWriteVerdict();
  if (!report.verdict.beforeFile.isEmpty()) {
    // Printed to be run from where this command was started, with what it needs there.
    report.verdict.wayBack =
        QStringLiteral("norvel config write ") +
        ShellWord(options.dirGiven.isEmpty()
                      ? report.verdict.beforeFile
                      : QDir(options.dirGiven).filePath(report.verdict.beforeFile)) +
        options.wayBack;
    if (CountErrors(CheckConfig(held, station.BoardCount())) > 0)
      report.verdict.wayBack += QStringLiteral(" --accept-errors");
  }
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

// Shows one configuration, or the differences between two (`what` is "show" or "diff").
int ShowOrDiff(const QString& what, const QStringList& arguments, CommandIo& io, ConsoleUi& ui) {
  const bool show = what == QLatin1String("show");
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
  if (const std::optional<int> code = line.Parse(arguments)) {
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

}  // namespace

int RunConfigCommand(const QStringList& arguments, CommandIo& io) {
  ConsoleUi ui(io.err, false);
  const std::vector<Subcommand> subcommands = {
      {"show", "show FILE [--boards N]",
       [&](const QStringList& a) { return ShowOrDiff(QStringLiteral("show"), a, io, ui); }},
      {"diff", "diff A B [--boards N]",
       [&](const QStringList& a) { return ShowOrDiff(QStringLiteral("diff"), a, io, ui); }},
      {"check", "check FILE [--boards N] [--json]",
       [&](const QStringList& a) { return Check(a, io, ui); }},
      {"export", "export FILE [--boards N] [-o TEXT]",
       [&](const QStringList& a) { return Export(a, io, ui); }},
      {"import", "import TEXT --base FILE|station|empty -o FILE.cfg",
       [&](const QStringList& a) { return Import(a, io, ui); }},
      {"write", "write FILE [--port N] [--yes]",
       [&](const QStringList& a) { return Write(a, io); }},
      {"apply", "apply TEXT [--port N] [--yes] [--dry-run]",
       [&](const QStringList& a) { return Apply(a, io); }},
  };
  return RunSubcommand("config", subcommands, kConfigHelpEnd, arguments, io);
}
