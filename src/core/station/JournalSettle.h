#pragma once

#include <QMap>
#include <QString>

struct Environment;
class StationCtrlClass;

// Settles a reception journal that cannot be resolved as it stands (damaged, cut, of the first
// release), so that the next reception stores every call exactly once. The journal's contents
// are trusted only as far as the station confirms them; the truth is the station and the month
// files:
// - the station's reception bytes at 741 read 00 00: the reset took, and it is sent only after
//   the calls were stored, so the files hold them all: the journal simply goes;
// - otherwise the station still holds the journal's calls at the start of its record area. The
//   area is read and its calls looked for at the end of the month files (where the reception
//   appended them, in any order); those the files lack are stored. The journal is then
//   rewritten sound, stage "stored", with the area read, so the reception that follows leaves
//   exactly those calls out, stores the newer ones and resets the station.
// A journal that is sound needs none of this: the reception resolves it as it is.
struct JournalSettlement {
  enum class Outcome {
    kNoJournal,  // there is none
    kSound,      // it is sound; the reception resolves it
    kSettled,    // settled as above
    kNoAnswer,   // the station did not answer: the journal stays as it was
  };
  Outcome outcome = Outcome::kNoJournal;
  QMap<QString, int> added;  // calls stored per month file
  QString how;               // what was found, for the operator
};

// Throws IoError when the month files or the journal cannot be written.
JournalSettlement SettleReceptionJournal(Environment& env, StationCtrlClass& station);
