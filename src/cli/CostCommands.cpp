// norvel bill and norvel report: what the calls cost, per subscriber, and the month's report
// with its charts. Both read the month file once and the working directory's tariff file.
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "cli/Drawing.h"
#include "cli/NorvelCommand.h"
#include "cli/TerminalProgress.h"
#include "cli/XlsxExport.h"
#include "core/base/Clock.h"
#include "core/base/Errors.h"
#include "core/costs/Bills.h"
#include "core/costs/CostReport.h"
#include "core/files/CallExport.h"
#include "core/files/DataFiles.h"
#include "core/files/OutputFile.h"
#include "core/image/ImageLayout.h"
#include "core/platform/DurableFile.h"
#include "core/sync/StationIdentity.h"

namespace {

// The report as one PDF, put in place only when complete.
bool WriteReportPdf(const Drawing& drawing, const ReportData& data, const QString& path,
                    QString* error) {
  OutputFile file(path);
  return drawing.reportPdf(data, file.UnfinishedPath(), error) &&
         file.Commit(OutputFile::Kind::kPdf, error);
}

// The report's pages as PNG images, replaced as a set: every page is drawn into a scratch
// folder beside them first, and only when all are complete do they take the old pages' places;
// pages of an older, longer set are removed, so the set on disk is always one report's.
bool WriteReportPngSet(const Drawing& drawing, const ReportData& data, const QString& path,
                       QString* error) {
  const QFileInfo target(path);
  QTemporaryDir scratch(
      target.absoluteDir().filePath(QStringLiteral(".%1.pages-XXXXXX").arg(target.fileName())));
  if (!scratch.isValid()) {
    *error = scratch.errorString();
    return false;
  }
  QStringList pages;
  // The drawing names the scratch page it could not write, without a reason: the reason is
  // looked for at that page, and the message is about the pages asked for.
  const auto failedPage = [&](int number) {
    return scratch.filePath(number == 1 ? target.fileName()
                                        : QStringLiteral("%1-%2.%3")
                                              .arg(target.completeBaseName())
                                              .arg(number)
                                              .arg(target.suffix()));
  };
  if (!drawing.reportPngs(data, scratch.filePath(target.fileName()), &pages, error)) {
    *error = CutShortReason(failedPage(static_cast<int>(pages.size()) + 1));
    return false;
  }
  for (const QString& page : pages) {
    if (!OutputFile::Complete(page, OutputFile::Kind::kPng)) {
      *error = QStringLiteral("%1: %2").arg(QFileInfo(page).fileName(), CutShortReason(page));
      return false;
    }
  }
  for (const QString& page : pages) {
    if (!PlaceFileDurably(page, target.absoluteDir().filePath(QFileInfo(page).fileName()), error)) {
      return false;
    }
  }
  // Pages of an older, longer set go, whatever their numbers.
  const QRegularExpression numbered(QStringLiteral("^%1-(\\d+)\\.%2$")
                                        .arg(QRegularExpression::escape(target.completeBaseName()),
                                             QRegularExpression::escape(target.suffix())));
  for (const QString& name : target.absoluteDir().entryList(QDir::Files)) {
    const QRegularExpressionMatch match = numbered.match(name);
    if (match.hasMatch() && match.captured(1).toLongLong() > pages.size()) {
      QFile::remove(target.absoluteDir().filePath(name));
    }
  }
  return true;
}

// The options both commands share: which month, year, day and subscriber, and where from.
struct Choice {
  ReportChoice choice;
  QString dir;
  QString output;
};

// What every page of the printed bills names: the station (its sync name, else the working
// directory's), the month and year, and the tariff file with its date.
BillHeading Heading(const Choice& choice, const BillBook& book) {
  BillHeading heading;
  try {
    heading.station = ReadStationIdentity(choice.dir).name;
  } catch (const NorvelError&) {
    // A damaged identity file is the sync's business; the bills name the directory instead.
  }
  if (heading.station.isEmpty()) heading.station = QDir(choice.dir).dirName();
  heading.period = QStringLiteral("%1 %2").arg(MonthName(choice.choice.month)).arg(book.Year());
  const QFileInfo file(QDir(choice.dir).filePath(QLatin1String(kTariffFileName)));
  heading.tariffs = QStringLiteral("%1 от %2")
                        .arg(QLatin1String(kTariffFileName),
                             file.lastModified().toString(QStringLiteral("dd.MM.yyyy")));
  return heading;
}

void AddChoiceOptions(CommandLine& line, bool withDay) {
  line.Add({QStringLiteral("month"), QStringLiteral("The month, 1 to 12 (required)."),
            QStringLiteral("M")});
  line.Add({QStringLiteral("year"), QStringLiteral("The year (default: the latest in the file)."),
            QStringLiteral("Y")});
  if (withDay) {
    line.Add(
        {QStringLiteral("day"), QStringLiteral("Only this day, 1 to 31."), QStringLiteral("D")});
  }
  line.Add({QStringLiteral("subscriber"), QStringLiteral("Only this subscriber, 20 to 43."),
            QStringLiteral("S")});
  line.AddDirOption();
}

// --by department|subscriber: the order of bills and subscriber pages.
void AddByOption(CommandLine& line) {
  line.Add({QStringLiteral("by"),
            QStringLiteral("subscriber (the default) or department: with department, the "
                           "subscribers follow their departments (NorvelSubscribers.txt) and "
                           "each department's total is given."),
            QStringLiteral("WHAT")});
}

// Whether --by asks for departments; none for a value it does not take (the usage said).
std::optional<bool> ReadBy(CommandLine& line) {
  const QString by = line.Value(QStringLiteral("by"));
  if (by.isEmpty() || by == QLatin1String("subscriber")) return false;
  if (by == QLatin1String("department")) return true;
  line.Usage(QStringLiteral("--by takes subscriber or department, not '%1'").arg(by));
  return std::nullopt;
}

std::optional<int> ReadChoice(CommandLine& line, bool withDay, Choice& out) {
  const std::optional<int> month = line.Number(QStringLiteral("month"), 1, 12, 0);
  const std::optional<int> year = line.Number(QStringLiteral("year"), 1, 9999, 0);
  const std::optional<int> day =
      withDay ? line.Number(QStringLiteral("day"), 1, 31, 0) : std::optional<int>(0);
  const std::optional<int> subscriber =
      line.Number(QStringLiteral("subscriber"), kFirstSubscriber, kLastSubscriber, 0);
  if (!month || !year || !day || !subscriber) return exitcode::kUsage;
  if (*month == 0) return line.Usage(QStringLiteral("--month is required"));
  if (!line.Positional().isEmpty()) {
    return line.Usage(QStringLiteral("unexpected '%1'").arg(line.Positional().first()));
  }
  out.choice = {*month, *year, *day, *subscriber};
  const std::optional<QString> dir = line.WorkingDir();
  if (!dir) return exitcode::kUsage;
  out.dir = QDir(*dir).absolutePath();
  return std::nullopt;
}

// A month with no month file is no month without calls: a reception that failed would give a
// zero bill ready to sign. Said, and the command ends as when a month file cannot be read.
bool MonthFileThere(const Choice& choice, const QString& what, ConsoleUi& ui) {
  const QString name = DataFileName(choice.choice.month);
  if (QFileInfo::exists(QDir(choice.dir).filePath(name))) return true;
  ui.Say(QStringLiteral("нет файла %1 в %2: разговоров за этот месяц нет, %3 не составлен")
             .arg(name, QDir::toNativeSeparators(choice.dir), what));
  return false;
}

// What the hand-written files probably get wrong, said before the document is made from them.
void SayFileWarnings(const Tariffs* tariffs, const SubscriberDirectory* directory, int year,
                     const QDate& today, ConsoleUi& ui) {
  QStringList warnings;
  if (tariffs) warnings << TariffWarnings(*tariffs, today, year);
  if (directory) warnings << directory->Warnings();
  for (const QString& warning : warnings) ui.Say(warning, ConsoleUi::Priority::kWarning);
}

// A month file with no calls of the chosen month and year: said as plainly, for the same reason.
bool CallsThere(const Choice& choice, qint64 calls, int year, const QString& what, ConsoleUi& ui) {
  if (calls > 0) return true;
  ui.Say(QStringLiteral("в файле %1 нет разговоров за %2%3: %4 не составлен")
             .arg(DataFileName(choice.choice.month), MonthName(choice.choice.month).toLower(),
                  year > 0 ? QStringLiteral(" %1").arg(year) : QString(), what));
  return false;
}

}  // namespace

int RunBill(const QStringList& arguments, CommandIo& io) {
  CommandLine line(io, QStringLiteral("bill"),
                   QStringLiteral("Writes the month's bills from the tariff file NorvelTariffs.txt "
                                  "of the working directory: per subscriber every call with its "
                                  "zone, charged minutes and cost, the totals per zone, then a "
                                  "summary of all subscribers. CSV, or PDF or XLSX when FILE "
                                  "ends in .pdf or .xlsx."));
  AddChoiceOptions(line, false);
  AddByOption(line);
  line.Add({{QStringLiteral("o"), QStringLiteral("output")},
            QStringLiteral("Write to FILE (.csv, .pdf or .xlsx; replaced only by complete bills); "
                           "'-' or "
                           "none: CSV on standard output."),
            QStringLiteral("FILE")});
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  Choice choice;
  if (const std::optional<int> code = ReadChoice(line, false, choice)) return *code;
  const std::optional<bool> by = ReadBy(line);
  if (!by) return exitcode::kUsage;
  const bool byDepartment = *by;
  const QString output =
      line.IsSet(QStringLiteral("o")) ? line.Value(QStringLiteral("o")) : QStringLiteral("-");
  ConsoleUi ui(io.err, false);
  if (!MonthFileThere(choice, QStringLiteral("счет"), ui)) return exitcode::kFilesFailed;
  const bool pdf = output.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
  const bool xlsx = output.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive);
  const Drawing* drawing = pdf ? Drawing::Load() : nullptr;
  if (pdf && !drawing) {
    ui.Say(Drawing::Missing());
    return exitcode::kUsage;
  }
  try {
    const std::optional<Tariffs> tariffs = LoadTariffs(choice.dir);
    if (!tariffs) {
      ui.Say(QStringLiteral("в рабочей папке нет файла тарифов %1: счета не из чего составить")
                 .arg(QLatin1String(kTariffFileName)));
      return exitcode::kFilesFailed;
    }
    const BillBook book(choice.dir, choice.choice, *tariffs);
    if (book.OtherYearsLeftOut() > 0) {
      ui.Say(QStringLiteral("%1 calls of other years left out; these bills hold %2 (choose "
                            "another with --year)")
                 .arg(book.OtherYearsLeftOut())
                 .arg(book.Year()),
             ConsoleUi::Priority::kWarning);
    }
    if (book.OutOfRange() > 0) {
      ui.Say(OutOfRangeNote(choice.choice.month, book.OutOfRange()), ConsoleUi::Priority::kWarning);
    }
    if (book.UnfinishedLine() > 0) {
      ui.Say(UnfinishedLineNote(choice.choice.month, book.UnfinishedLine()),
             ConsoleUi::Priority::kWarning);
    }
    if (!CallsThere(choice, book.All().calls, book.Year(), QStringLiteral("счет"), ui))
      return exitcode::kFilesFailed;
    SayFileWarnings(&book.TariffTable(), book.Directory(), book.Year(), io.clock.Now().date(), ui);
    if (output == QLatin1String("-")) {
      WriteBillsCsv(book, io.out, byDepartment);
    } else {
      // Written beside the old file first, so that a failure leaves the old one as it was.
      OutputFile file(QDir(io.currentDir).filePath(output));
      QString error;
      bool written = false;
      if (pdf) {
        TerminalProgress progress(io.err, io.terminal, io.clock, QStringLiteral("Счета"),
                                  QStringLiteral("разговоров"));
        BillHeading heading = Heading(choice, book);
        heading.byDepartment = byDepartment;
        heading.progress = [&](qint64 done, qint64 total) { progress.Update(done, total); };
        written = drawing->billsPdf(book, heading, file.UnfinishedPath(), &error) &&
                  file.Commit(OutputFile::Kind::kPdf, &error);
      } else if (xlsx) {
        WriteBillsXlsx(book, file.UnfinishedPath(), byDepartment);
        written = file.Commit(OutputFile::Kind::kAny, &error);
      } else if (QFile* csv = file.Open(&error)) {
        WriteBillsCsv(book, *csv, byDepartment);
        written = file.Commit(OutputFile::Kind::kAny, &error);
      }
      if (!written) {
        ui.Say(QStringLiteral("Не удается записать файл %1: %2").arg(output, error));
        return exitcode::kFilesFailed;
      }
    }
  } catch (const NorvelError& error) {
    ui.Say(WriteFailure(output, error));
    return exitcode::kFilesFailed;
  }
  return exitcode::kOk;
}

int RunReport(const QStringList& arguments, CommandIo& io) {
  CommandLine line(io, QStringLiteral("report"),
                   QStringLiteral("Writes the month's report: the summary with minutes and cost "
                                  "per subscriber and calls per day, the city lines' load by hour "
                                  "with the lines-needed estimate (Erlang B), the longest and "
                                  "costliest calls and those outside working hours, and one page "
                                  "per subscriber. A PDF, or PNG images (FILE for the first page, "
                                  "NAME-2.png and on for the next). Runs without a display."));
  AddChoiceOptions(line, true);
  AddByOption(line);
  line.Add({{QStringLiteral("o"), QStringLiteral("output")},
            QStringLiteral("Write to FILE, .pdf or .png (required)."),
            QStringLiteral("FILE")});
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  Choice choice;
  if (const std::optional<int> code = ReadChoice(line, true, choice)) return *code;
  const std::optional<bool> byDepartment = ReadBy(line);
  if (!byDepartment) return exitcode::kUsage;
  const QString output = line.Value(QStringLiteral("o"));
  const bool pdf = output.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
  const bool png = output.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
  if (!pdf && !png) return line.Usage(QStringLiteral("-o FILE ending in .pdf or .png is needed"));
  ConsoleUi ui(io.err, false);
  const Drawing* drawing = Drawing::Load();
  if (!drawing) {
    ui.Say(Drawing::Missing());
    return exitcode::kUsage;
  }
  if (!MonthFileThere(choice, QStringLiteral("отчет"), ui)) return exitcode::kFilesFailed;
  try {
    bool linesKnown = false;
    const int lines = StationCityLines(choice.dir, &linesKnown);
    ReportData data = BuildReport(choice.dir, choice.choice, lines);
    data.byDepartment = *byDepartment;
    data.cityLinesAssumed = !linesKnown;
    if (!CallsThere(choice, data.calls, data.year, QStringLiteral("отчет"), ui))
      return exitcode::kFilesFailed;
    SayFileWarnings(data.tariffs ? &*data.tariffs : nullptr,
                    data.directory ? &*data.directory : nullptr, data.year, io.clock.Now().date(),
                    ui);
    if (data.outOfRange > 0) {
      ui.Say(OutOfRangeNote(choice.choice.month, data.outOfRange), ConsoleUi::Priority::kWarning);
    }
    if (data.unfinishedLine > 0) {
      ui.Say(UnfinishedLineNote(choice.choice.month, data.unfinishedLine),
             ConsoleUi::Priority::kWarning);
    }
    if (data.otherYearsLeftOut > 0) {
      ui.Say(QStringLiteral("%1 calls of other years left out; this report holds %2 (choose "
                            "another with --year)")
                 .arg(data.otherYearsLeftOut)
                 .arg(data.year));
    }
    QString error;
    const QString path = QDir(io.currentDir).filePath(output);
    TerminalProgress progress(io.err, io.terminal, io.clock, QStringLiteral("Отчет"),
                              QStringLiteral("страниц"));
    data.progress = [&](qint64 done, qint64 total) { progress.Update(done, total); };
    const bool written = pdf ? WriteReportPdf(*drawing, data, path, &error)
                             : WriteReportPngSet(*drawing, data, path, &error);
    if (!written) {
      ui.Say(QStringLiteral("Не удается записать файл %1: %2").arg(output, error));
      return exitcode::kFilesFailed;
    }
  } catch (const NorvelError& error) {
    ui.Say(WriteFailure(output, error));
    return exitcode::kFilesFailed;
  }
  return exitcode::kOk;
}
