#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <optional>

// What the last reception stored whose station reset is not yet known to have taken: the
// station's record bytes exactly as they were read, and the data files they went into. It is
// written and synced after the calls are stored and before the reset frame, and removed once a
// reset is confirmed. A reception that finds the station's record area beginning with exactly
// these bytes knows that their calls are in the files already.
struct ReceptionJournal {
  QDateTime stored;
  QStringList files;
  QByteArray bytes;
};

inline constexpr char kReceptionJournalName[] = "NorvelWin.jnl";

// None when there is no journal, or one that cannot be read whole.
std::optional<ReceptionJournal> ReadReceptionJournal(const QString& dir);
// Throws IoError with the system's reason when the journal cannot be written whole.
void WriteReceptionJournal(const QString& dir, const ReceptionJournal& journal);
void RemoveReceptionJournal(const QString& dir);
