// norvel journal show|settle: what a reception journal holds, and the one safe way out of a
// damaged one.
#include <QDir>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "cli/NorvelCommand.h"
#include "cli/PortDiagnosis.h"
#include "core/base/Environment.h"
#include "core/files/CallRecords.h"
#include "core/station/JournalSettle.h"
#include "core/station/Reception.h"
#include "core/station/ReceptionJournal.h"
#include "core/station/ReceptionLock.h"
#include "core/station/StationCtrl.h"

namespace {

// The end of the help, after the usage line of each subcommand.
const char kJournalHelpEnd[] =
    "show prints what the reception journal holds, a damaged one as far as it can be read;\n"
    "settle stores the calls of a damaged journal that the month files lack, exactly once, and\n"
    "then receives as norvel receive does. 'norvel journal COMMAND --help' says more.\n";

QString Moment(const QDateTime& moment) {
  return moment.isValid() ? moment.toString(Qt::ISODate) : QStringLiteral("-");
}

int Show(const QStringList& arguments, CommandIo& io) {
  CommandLine line(io, QStringLiteral("journal show"),
                   QStringLiteral("Prints what the reception journal NorvelWin.jnl holds: its "
                                  "stage, moments, the station's header, the month files with "
                                  "their sizes before the append, and the calls of its record "
                                  "bytes; a damaged journal as far as it can be read, with the "
                                  "damage named. Exit 0 no journal or a sound one, 1 damaged."));
  line.AddDirOption();
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  const std::optional<QString> dir = line.WorkingDir();
  if (!dir) return exitcode::kUsage;
  const JournalSalvage salvage = SalvageReceptionJournal(*dir);
  QStringList text;
  if (!salvage.exists) {
    io.out.write("no reception journal\n");
    return exitcode::kOk;
  }
  const ReceptionJournal& j = salvage.journal;
  text << QStringLiteral("journal: %1")
              .arg(QDir::toNativeSeparators(
                  QDir(*dir).absoluteFilePath(QLatin1String(kReceptionJournalName))));
  text << (salvage.damage.isEmpty() ? QStringLiteral("state: sound")
                                    : QStringLiteral("state: damaged: %1")
                                          .arg(salvage.damage.join(QStringLiteral("; "))));
  static const char* const kStages[] = {"appending", "stored", "reset"};
  text << QStringLiteral("stage: %1")
              .arg(salvage.stageKnown ? QLatin1String(kStages[static_cast<int>(j.stage)])
                                      : QLatin1String("unknown"));
  text << QStringLiteral("moment: %1").arg(Moment(j.moment));
  text << QStringLiteral("header: %1")
              .arg(salvage.headerKnown ? QString::fromLatin1(j.header.toHex(' '))
                                       : QStringLiteral("unknown"));
  text << QStringLiteral("last reset: %1, reset sent: %2")
              .arg(Moment(j.lastReset), Moment(j.resetMoment));
  for (const JournalFile& file : j.files) {
    text << QStringLiteral("file: %1, %2")
                .arg(file.name, file.sizeBefore < 0
                                    ? QStringLiteral("not there before")
                                    : QStringLiteral("%1 bytes before").arg(file.sizeBefore));
  }
  if (!salvage.bytesKnown) {
    text << QStringLiteral("records: unknown");
  } else {
    std::vector<quint8> buffer(j.bytes.begin(), j.bytes.end());
    buffer.push_back(0);
    std::vector<CallRecord> records;
    DecodeCallRecords(buffer.data(), static_cast<qsizetype>(buffer.size()),
                      j.moment.isValid() ? j.moment.date() : QDate::currentDate(), records);
    text << QStringLiteral("records: %1 bytes, %2 calls").arg(j.bytes.size()).arg(records.size());
    for (const CallRecord& record : records)
      text << QStringLiteral("  ") + CallRecordToText(record);
  }
  if (!salvage.damage.isEmpty()) {
    text << QStringLiteral("to store its calls exactly once: norvel journal settle");
  }
  io.out.write((text.join(u'\n') + u'\n').toUtf8());
  return salvage.damage.isEmpty() ? exitcode::kOk : exitcode::kNoAnswer;
}

int Settle(const QStringList& arguments, CommandIo& io) {
  CommandLine line(
      io, QStringLiteral("journal settle"),
      QStringLiteral("Settles a damaged reception journal with the station: when the station was "
                     "reset after the reception, the month files hold its calls and the journal "
                     "goes; otherwise the station's record area is read, the calls the ends of "
                     "the month files lack are stored, and the journal is written sound. Then "
                     "the reception runs as norvel receive does, with its summary line and exit "
                     "codes. Every call is stored exactly once; the journal is trusted only as "
                     "far as the station confirms it."));
  line.AddDirOption();
  line.AddPortOption();
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  const std::optional<QString> dir = line.WorkingDir();
  const std::optional<int> port = line.Port();
  if (!dir || !port) return exitcode::kUsage;
  ConsoleUi ui(io.err, false);
  {
    Environment env{ui, io.clock, io.ports, QDir(*dir).absolutePath()};
    const ReceptionLock lock(env.workDir, QStringLiteral("norvel journal settle"));
    if (!lock.Held()) {
      ui.Say(ReceptionLockText(lock));
      return lock.Failed() ? exitcode::kFilesFailed : exitcode::kNoAnswer;
    }
    StationCtrlClass station(env, *port > 0 ? std::optional<quint16>(*port) : std::nullopt);
    const JournalSettlement settled = SettleReceptionJournal(env, station);
    switch (settled.outcome) {
      case JournalSettlement::Outcome::kNoJournal:
        io.out.write("no reception journal to settle\n");
        return exitcode::kOk;
      case JournalSettlement::Outcome::kNoAnswer:
        ui.Say(PortLine(station, station.Link() ? station.Link()->PortNumber() : *port));
        io.out.write("not settled: the station did not answer; the journal stays as it was\n");
        return exitcode::kNoAnswer;
      case JournalSettlement::Outcome::kSound:
        io.out.write("the journal is sound: the reception resolves it\n");
        break;
      case JournalSettlement::Outcome::kSettled:
        io.out.write(QStringLiteral("settled: %1\n").arg(settled.how).toUtf8());
        break;
    }
  }
  // The station and the lock are let go first: the reception takes its own.
  QStringList receive{QStringLiteral("--dir"), *dir};
  if (*port > 0) receive << QStringLiteral("--port") << QString::number(*port);
  return RunReceive(receive, io);
}

}  // namespace

int RunJournalCommand(const QStringList& arguments, CommandIo& io) {
  const std::vector<Subcommand> subcommands = {
      {"show", "show [--dir DIR]", [&](const QStringList& a) { return Show(a, io); }},
      {"settle", "settle [--dir DIR] [--port N]",
       [&](const QStringList& a) { return Settle(a, io); }},
  };
  return RunSubcommand("journal", subcommands, kJournalHelpEnd, arguments, io);
}
