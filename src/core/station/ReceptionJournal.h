#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The reception journal, "NorvelWin.jnl": a write-ahead record of what a reception is doing to
// the month files and the station, so that a reception cut off at any moment (a power cut, a
// killed process, a pulled cable) never stores a call twice and never loses one. It is written
// and synced before the step it describes, and the next reception resolves it before anything
// else:
// - appending: the calls are about to go into the month files, whose sizes before are noted;
//   an unfinished append is cut back to those sizes (the calls are still in the station);
// - stored: the calls are in the files, the station is not known to be reset; the next
//   reception asks the station whether the reset took (a reset sets the reception bytes at 741
//   to 00 00, a reception's start to 01 03) and stores only the calls it does not hold yet;
// - reset: the station was reset and confirmed, the settings file still waits for the moment
//   of the reset.
// The file carries a version and a checksum; one that fails them is never taken for absent.
struct JournalFile {
  QString name;
  qint64 sizeBefore = -1;  // -1: the file did not exist
};

struct ReceptionJournal {
  enum class Stage { kAppending, kStored, kReset };
  Stage stage = Stage::kAppending;
  QDateTime moment;     // when the reception stored the calls
  QByteArray header;    // the station's record header (clock and end pointer) as first read
  QDateTime lastReset;  // the settings file's reset moment at the start of the reception
  QByteArray bytes;     // the station's record bytes whose calls go into the files
  std::vector<JournalFile> files;
  QDateTime resetMoment;  // the moment the reset frame carries, once it is to be sent
};

inline constexpr char kReceptionJournalName[] = "NorvelWin.jnl";

struct JournalReading {
  enum class State { kNone, kRead, kDamaged };
  State state = State::kNone;
  ReceptionJournal journal;
  QString problem;  // what is wrong with a damaged journal
};

// Reads the journal of the working directory `dir`. Only a whole journal of the current version
// with its checksum is read; anything else is damaged.
JournalReading ReadReceptionJournal(const QString& dir);

// What can be read of a journal, damaged or not: the fields found, and what is wrong with it
// (nothing for a sound journal). For `norvel journal show` and `norvel journal settle`, which
// trust none of it beyond what the station and the month files confirm.
struct JournalSalvage {
  bool exists = false;
  ReceptionJournal journal;
  bool stageKnown = false;
  bool headerKnown = false;
  bool bytesKnown = false;  // the record bytes were read whole
  QStringList damage;
};
JournalSalvage SalvageReceptionJournal(const QString& dir);
// Writes it whole and synced, replacing any former one; throws IoError with the system's reason
// when it cannot.
void WriteReceptionJournal(const QString& dir, const ReceptionJournal& journal);
void RemoveReceptionJournal(const QString& dir);
// The journal as written, for tests of damaged ones.
QByteArray JournalText(const ReceptionJournal& journal);
