// norvel export: a month's calls for a spreadsheet. A file named with -o is replaced only by a
// complete export, so a failed run never destroys the previous one.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "cli/NorvelCommand.h"
#include "cli/StandardOutput.h"
#include "cli/XlsxExport.h"
#include "core/base/Errors.h"
#include "core/costs/Bills.h"
#include "core/files/CallExport.h"
#include "core/files/DataFiles.h"
#include "core/files/OutputFile.h"
#include "core/image/ImageLayout.h"
#include "core/platform/Processes.h"

namespace {

constexpr qint64 kCopyBlock = 1 << 20;

enum class Format { kCsv, kTsv, kXlsx };

// The format asked for, or the one the output file's extension names, or CSV for standard
// output and a name without an extension. An extension no format has (out.ods) is refused
// rather than filled with CSV.
std::optional<Format> ChosenFormat(const QString& asked, const QString& output) {
  const QString name = asked.isEmpty() ? QFileInfo(output).suffix().toLower() : asked;
  if (name == QLatin1String("tsv")) return Format::kTsv;
  if (name == QLatin1String("xlsx")) return Format::kXlsx;
  if (name == QLatin1String("csv") || name.isEmpty()) return Format::kCsv;
  return std::nullopt;
}

constexpr char kScratchPrefix[] = "norvel-xlsx-";

// Scratch directories of exports that were killed (kill -9 leaves them): each is named after
// its process, and those whose process is gone are removed.
void RemoveStaleScratch() {
  const QDir temp(QDir::tempPath());
  for (const QString& name :
       temp.entryList({QLatin1String(kScratchPrefix) + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool number = false;
    const qint64 pid =
        name.mid(qsizetype(sizeof kScratchPrefix) - 1).section(u'-', 0, 0).toLongLong(&number);
    if (number && pid != QCoreApplication::applicationPid() && !OsProcessAlive(pid)) {
      QDir(temp.filePath(name)).removeRecursively();
    }
  }
}

// The spreadsheet's own directory under the temporary one, named after this process. The
// signal handler learns its path before it is made, so a SIGTERM at any moment, even while it
// is being made, leaves nothing behind; a name already taken is tried again with another.
struct ScratchDir {
  QString path;

  ScratchDir() {
    const QString stem = QDir(QDir::tempPath())
                             .filePath(QLatin1String(kScratchPrefix) +
                                       QString::number(QCoreApplication::applicationPid()) + u'-');
    for (int attempt = 0; attempt < 100; ++attempt) {
      path = stem + QString::number(QRandomGenerator::global()->generate() % 1000000000u, 36);
      OsRemoveOnTermination(path + QStringLiteral("/export.xlsx"), path);
      if (QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) return;
      OsRemoveOnTermination({}, {});
      if (!QFileInfo::exists(path)) break;
    }
    throw IoError(
        QStringLiteral("Не удается записать выгрузку: не создается каталог %1").arg(path));
  }
  ~ScratchDir() {
    QDir(path).removeRecursively();
    OsRemoveOnTermination({}, {});
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
};

// Copies a finished file into the output.
void CopyInto(const QString& path, QIODevice& out) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(path, file.errorString()));
  }
  for (;;) {
    const QByteArray block = file.read(kCopyBlock);
    if (block.isEmpty()) break;
    if (!WriteWhole(out, block)) {
      throw IoError(QStringLiteral("Не удается записать выгрузку: %1").arg(out.errorString()));
    }
  }
}

// Writes the export into `out`; a spreadsheet file is made beside it first, since its writer
// wants a file of its own.
ExportSelection WriteExport(const QString& dir, ExportOptions options, Format format,
                            QIODevice& out) {
  ExportSelection selection;
  if (format != Format::kXlsx) {
    options.format =
        format == Format::kCsv ? ExportOptions::Format::kCsv : ExportOptions::Format::kTsv;
    ExportCalls(dir, options, out, &selection);
    return selection;
  }
  RemoveStaleScratch();
  const ScratchDir scratch;
  const QString path = scratch.path + QStringLiteral("/export.xlsx");
  ExportCallsXlsx(dir, options, path, &selection);
  CopyInto(path, out);
  return selection;
}

}  // namespace

int RunExport(const QStringList& arguments, CommandIo& io) {
  CommandLine line(io, QStringLiteral("export"),
                   QStringLiteral("Writes a month's calls, filtered by year, day and subscriber, "
                                  "one row per call, or with --totals one row per subscriber and "
                                  "the total. A month file gathers that month of every year; one "
                                  "year is exported, the latest unless --year says otherwise."));
  line.Add({QStringLiteral("month"), QStringLiteral("The month, 1 to 12 (required)."),
            QStringLiteral("M")});
  line.Add({QStringLiteral("year"), QStringLiteral("The year (default: the latest in the file)."),
            QStringLiteral("Y")});
  line.Add({QStringLiteral("day"), QStringLiteral("Only this day, 1 to 31."), QStringLiteral("D")});
  line.Add({QStringLiteral("subscriber"), QStringLiteral("Only this subscriber, 20 to 43."),
            QStringLiteral("S")});
  line.AddDirOption();
  line.Add({QStringLiteral("format"),
            QStringLiteral("csv (UTF-8 with a byte order mark), tsv or xlsx; default: the "
                           "extension of FILE, or csv."),
            QStringLiteral("FORMAT")});
  line.Add({QStringLiteral("totals"), QStringLiteral("One row per subscriber, then the total.")});
  line.Add({{QStringLiteral("o"), QStringLiteral("output")},
            QStringLiteral("Write to FILE (replaced only by a complete export); '-' or none: "
                           "standard output."),
            QStringLiteral("FILE")});
  line.Add(QuietOption());
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  const std::optional<int> month = line.Number(QStringLiteral("month"), 1, 12, 0);
  const std::optional<int> year = line.Number(QStringLiteral("year"), 1, 9999, 0);
  const std::optional<int> day = line.Number(QStringLiteral("day"), 1, 31, 0);
  const std::optional<int> subscriber =
      line.Number(QStringLiteral("subscriber"), kFirstSubscriber, kLastSubscriber, 0);
  if (!month || !year || !day || !subscriber) return exitcode::kUsage;
  if (*month == 0) return line.Usage(QStringLiteral("--month is required"));
  if (!line.Positional().isEmpty()) {
    return line.Usage(QStringLiteral("unexpected '%1'").arg(line.Positional().first()));
  }
  const QString output =
      line.IsSet(QStringLiteral("o")) ? line.Value(QStringLiteral("o")) : QStringLiteral("-");
  const std::optional<Format> format = ChosenFormat(line.Value(QStringLiteral("format")), output);
  if (!format) {
    return line.Usage(
        line.Value(QStringLiteral("format")).isEmpty()
            ? QStringLiteral("%1 names no format; --format is csv, tsv or xlsx").arg(output)
            : QStringLiteral("--format is csv, tsv or xlsx"));
  }
  const std::optional<QString> workDir = line.WorkingDir();
  if (!workDir) return exitcode::kUsage;
  const QString& dir = *workDir;

  ExportOptions what;
  what.month = *month;
  what.year = *year;
  what.day = *day;
  what.subscriber = *subscriber;
  what.totals = line.IsSet(QStringLiteral("totals"));
  ConsoleUi ui(io.err, false);
  if (!QFileInfo::exists(QDir(dir).filePath(DataFileName(*month)))) {
    ui.Say(QStringLiteral("no calls of month %1: there is no %2 in %3")
               .arg(*month)
               .arg(DataFileName(*month), QDir::toNativeSeparators(QDir(dir).absolutePath())),
           ConsoleUi::Priority::kWarning);
  }
  try {
    // With a tariff table, each call's zone and cost follow its number.
    if (const std::optional<Tariffs> tariffs = LoadTariffs(QDir(dir).absolutePath())) {
      AddCostColumns(what, *tariffs);
    }
    // With a subscriber directory, each call's name and department follow.
    if (const auto directory = LoadSubscriberDirectory(QDir(dir).absolutePath())) {
      AddSubscriberColumns(what, *directory);
    }
    ExportSelection selection;
    if (output == QLatin1String("-")) {
      selection = WriteExport(QDir(dir).absolutePath(), what, *format, io.out);
    } else {
      // Written beside the old file and put in its place only when complete.
      OutputFile file(QDir(io.currentDir).filePath(output));
      QString problem;
      QFile* device = file.Open(&problem);
      if (!device) {
        ui.Say(QStringLiteral("Не удается записать файл %1: %2").arg(output, problem));
        return exitcode::kFilesFailed;
      }
      selection = WriteExport(QDir(dir).absolutePath(), what, *format, *device);
      if (!file.Commit(OutputFile::Kind::kAny, &problem)) {
        ui.Say(QStringLiteral("Не удается записать файл %1: %2").arg(output, problem));
        return exitcode::kFilesFailed;
      }
    }
    if (selection.outOfRange > 0 && !line.IsSet(QStringLiteral("quiet"))) {
      ui.Say(OutOfRangeNote(*month, selection.outOfRange), ConsoleUi::Priority::kWarning);
    }
    // Told even with --quiet: a call left out changes the totals.
    if (selection.unfinishedLine > 0) {
      ui.Say(UnfinishedLineNote(*month, selection.unfinishedLine), ConsoleUi::Priority::kWarning);
    }
    if (selection.leftOut > 0 && !line.IsSet(QStringLiteral("quiet"))) {
      ui.Say(QStringLiteral("%1 calls of other years left out; this export holds %2 (choose "
                            "another with --year)")
                 .arg(selection.leftOut)
                 .arg(selection.year),
             ConsoleUi::Priority::kWarning);
    }
  } catch (const NorvelError& error) {
    // A reader that went away (`| head`) has what it wanted; that is no news to anyone.
    const auto* standard = dynamic_cast<const StandardOutput*>(&io.out);
    if (output != QLatin1String("-") || !standard || standard->Failure() != EPIPE) {
      ui.Say(WriteFailure(output, error));
    }
    return exitcode::kFilesFailed;
  }
  return exitcode::kOk;
}
