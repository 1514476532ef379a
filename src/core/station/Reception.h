#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <optional>
#include <vector>

#include "core/files/CallRecords.h"
#include "core/station/ReceptionJournal.h"

struct Environment;
class RS232Class;

// What a reception needs of the station object, and no more: its link (rebuilt from the
// settings when in doubt), its board count, the port the settings file names, and the test
// byte a cut-off write may have left.
class ReceptionStation {
 public:
  virtual RS232Class* Link() const = 0;
  virtual bool CheckLink() = 0;
  virtual void RebuildLink() = 0;
  virtual void ReportNoLink() = 0;
  virtual quint16 BoardCount() const = 0;
  // Reads the board count again; false when it did not come or is no station's.
  virtual bool RefreshBoardCount() = 0;
  virtual quint16 SettingsPort() const = 0;
  virtual void SettlePendingWriteTest() = 0;

 protected:
  ~ReceptionStation() = default;
};

// How a reception ended, for callers that report it (the command line): the calls stored per
// data file, and why nothing was stored when nothing was.
struct ReceptionResult {
  enum class Outcome {
    kStored,          // calls were stored (the station may still hold them; see cleared)
    kNothing,         // the station held no calls, or only calls stored before
    kNoAnswer,        // no link, or the header or the records did not come: all left in the station
    kInconsistent,    // the header was inconsistent and the station was left alone
    kJournalDamaged,  // the reception journal could not be read; nothing was done
    kSettingsNotWritten,  // the settings file could not be written (see settingsFailure)
  };
  Outcome outcome = Outcome::kNoAnswer;
  QMap<QString, int> storedPerFile;
  qsizetype bytesRead = 0;  // record bytes that arrived, all of them or up to a failure
  bool resetSent = false;   // the reset frame went out whole
  bool cleared = false;     // the reset was sent and confirmed
  QString settingsFailure;  // the system's reason, when the settings file was not written
  int Stored() const {
    int total = 0;
    for (int count : storedPerFile) total += count;
    return total;
  }
};

// The tariffication reception on the station's link: fetching the call records, storing them
// in the month files under a journal, resetting the station's record area and clock and
// confirming the reset. The station object owns one and hands its reception operations to it.
class Reception {
 public:
  Reception(Environment& env, ReceptionStation& station);

  // The whole reception. Throws IoError when the data files cannot take the calls; they are
  // then as before and the station keeps its calls.
  ReceptionResult Receive();
  // Marks the reception's start and reads the record header; the number of record bytes to
  // fetch, 0 when there is nothing to fetch (the reason in the result of Receive).
  quint16 ReadRecordHeader();
  bool ReadRecords(quint16 count, quint8* buffer);
  // Sends the reset frame and reads the header back; true when the area was emptied, and only
  // then the settings file gets the moment of the reset. `oldEnd` is the end pointer the reset
  // is to clear, when known. A journal of calls being stored notes the moment the frame carries
  // before the frame goes out.
  bool ResetRecords(std::optional<quint16> oldEnd, ReceptionJournal* journal = nullptr);

  // Station addresses of the reception.
  static constexpr quint16 kResetFrameAddress = 734;
  static constexpr quint16 kRecordHeaderAddress = 735;
  static constexpr quint16 kReceptionAddress = 741;
  static constexpr quint16 kRecordsAddress = 1792;
  // Fewer record bytes than this hold no complete record (a call without digits takes six).
  static constexpr quint16 kMinRecordBytes = 6;

 private:
  RS232Class& Link();
  // A journal left by an earlier reception is dealt with before anything else; false when the
  // reception must stop (a damaged journal, a settings file that cannot be written).
  bool ResolveJournal(ReceptionResult& result);
  // Reads count record bytes, then re-reads the header and fetches whatever calls were added
  // meanwhile, a few rounds at most; `settled` tells whether the end pointer stood still.
  bool ReadRecordArea(quint16 count, std::vector<quint8>& area, bool& settled);
  std::optional<bool> AskWhetherResetTook();
  quint16 HandleInconsistentHeader(const quint8* header);
  quint16 HandleEmptyArea(const quint8* header);
  void CompareClocks(const quint8* header);
  qsizetype AlreadyStored(const std::vector<quint8>& area);
  ReceptionJournal StoreCalls(const std::vector<quint8>& area, std::vector<CallRecord>& records);
  // Puts the moment of a reset into the settings file; false (with the operator told) when the
  // file cannot be written.
  bool SaveResetMoment(const QDateTime& moment);

  Environment& env_;
  ReceptionStation& station_;
  // Why the last ReadRecordHeader gave no count.
  ReceptionResult::Outcome headerOutcome_ = ReceptionResult::Outcome::kNoAnswer;
  // A journal of calls an earlier reception stored while the reset was not known to take, and
  // what the station says of that reset (none when it could not be asked).
  std::optional<ReceptionJournal> pending_;
  std::optional<bool> resetTook_;
  QByteArray headerBytes_;
  QString settingsFailure_;
  // What this reception's reset did on the line: the frame went out whole, and the header
  // read back showed it taken.
  bool resetSent_ = false;
  bool resetConfirmed_ = false;
  // Record bytes that arrived in the last ReadRecordArea, whole or not.
  qsizetype areaArrived_ = 0;
};
