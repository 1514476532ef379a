#pragma once

#include <QMap>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "core/files/CallRecords.h"
#include "core/image/ConfigImage.h"
#include "core/link/RS232.h"
#include "core/station/ImageAccess.h"
#include "core/station/ReceptionJournal.h"

struct Environment;
class ConfigHistoryEntry;

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
  qsizetype bytesRead = 0;
  bool resetSent = false;
  bool cleared = false;     // the reset was sent and confirmed
  QString settingsFailure;  // the system's reason, when the settings file was not written
  int Stored() const {
    int total = 0;
    for (int count : storedPerFile) total += count;
    return total;
  }
};

// The one station object: it holds the configuration image and the station's size, owns the
// serial link and rebuilds it from the settings file whenever the link is in doubt, and runs
// every conversation with the station: reading and writing the programming, and receiving the
// call records.
class StationCtrlClass : public ImageAccess {
 public:
  // Reads the settings file and opens and checks the link; the port stays open exactly when the
  // station answered. A port given here is used instead of the settings file's, which keeps
  // its own.
  explicit StationCtrlClass(Environment& env, std::optional<quint16> port = std::nullopt);
  ~StationCtrlClass() override;
  StationCtrlClass(const StationCtrlClass&) = delete;
  StationCtrlClass& operator=(const StationCtrlClass&) = delete;

  // The current link; replaced by every RebuildLink, so nobody keeps it across operations.
  RS232Class* Link() const { return link_.get(); }
  quint16 BoardCount() const { return boardCount_; }
  quint16 SubscriberCount() const override { return subscriberCount_; }
  quint16 CityLineCount() const override { return cityLineCount_; }
  const ConfigImage& Image() const override { return image_; }
  // The image last read from the station or written to it: what a write would change.
  const ConfigImage& StationImage() const override { return stationImage_; }
  bool Modified() const { return modified_; }
  bool DayMode() const override { return dayMode_; }
  void SetDayMode(bool day) override { dayMode_ = day; }
  bool CityLineLayout() const override { return cityLineLayout_; }
  void SetCityLineLayout(bool on) override { cityLineLayout_ = on; }

  // Programming.
  bool StartProgramming();
  // Reads the station's board count and image; the image becomes the held one and the one a
  // write starts from. False, with the held image untouched, when either did not come whole.
  bool LoadFromStation();
  // "Записать программирование": writes the image with its read-back check, then the copy.
  enum class WriteOutcome { kWritten, kNotWritten, kCopyNotSaved };
  WriteOutcome WriteAndSave();
  void OfferWriteOnLeave();
  bool WriteImage(const ConfigImage& image);
  void SetImage(const ConfigImage& image) override;

  bool CheckLink();
  void RebuildLink();
  void ReportNoLink();
  quint16 ReadBoardCount();
  static bool IsValidBoardCount(quint16 count) { return count >= 1 && count <= 4; }
  void SetBoardCount(quint16 count);
  // Reads the station's board count; a valid one that differs from the held one is taken and
  // saved in the settings file. False when the count did not come or is no station's.
  bool RefreshBoardCount();
  bool ReadImage(ConfigImage& buffer);
  // Equal when the first 507 bytes are; the last five are the station's own.
  static bool CompareImages(const ConfigImage& a, const ConfigImage& b);
  bool PrepareWrite();
  bool TestWriteEnable(quint8 value);
  // With a history entry, the image the station holds is kept before the frame goes out.
  bool SendImage(ConfigHistoryEntry* history = nullptr);

  // Tariffication: fetch the call records, store them, reset the record area and clock.
  // Throws IoError when the data files cannot take the calls; they are then as before and the
  // station keeps its calls.
  ReceptionResult ReceiveTariffication();
  quint16 ReadRecordHeader();
  // A journal left by an earlier reception is dealt with before anything else; false when the
  // reception must stop (a damaged journal, a settings file that cannot be written).
  bool ResolveJournal(ReceptionResult& result);
  bool ReadRecords(quint16 count, quint8* buffer);
  // Reads count record bytes, then re-reads the header and fetches whatever calls were added
  // meanwhile, a few rounds at most; `settled` tells whether the end pointer stood still.
  bool ReadRecordArea(quint16 count, std::vector<quint8>& area, bool& settled);
  // Sends the reset frame and reads the header back; true when the area was emptied, and only
  // then the settings file gets the moment of the reset. `oldEnd` is the end pointer the reset
  // is to clear, when known. A journal of calls being stored notes the moment the frame carries
  // before the frame goes out.
  bool ResetRecords(std::optional<quint16> oldEnd, ReceptionJournal* journal = nullptr);

  // Station addresses.
  static constexpr quint16 kResetFrameAddress = 734;
  static constexpr quint16 kRecordHeaderAddress = 735;
  static constexpr quint16 kReceptionAddress = 741;
  static constexpr quint16 kBoardCountAddress = 743;
  static constexpr quint16 kImageAddress = 1280;
  static constexpr quint16 kLinkCheckAddress = 1791;
  static constexpr quint16 kRecordsAddress = 1792;
  static constexpr int kComparedBytes = 507;
  // Fewer record bytes than this hold no complete record (a call without digits takes six).
  static constexpr quint16 kMinRecordBytes = 6;

 private:
  Environment& env_;
  std::unique_ptr<RS232Class> link_;
  quint16 boardCount_ = 0;
  quint16 subscriberCount_ = 0;
  quint16 cityLineCount_ = 0;
  ConfigImage image_{};
  // The image last read from the station or written to it.
  ConfigImage stationImage_{};
  bool modified_ = false;
  bool dayMode_ = false;
  bool cityLineLayout_ = false;
  bool historyFailureShown_ = false;
  void NoteHistory(const QString& failure);
  // The port the settings file names: the link's own, unless a port was given at creation.
  quint16 SettingsPort() const { return portOverride_ ? settingsPort_ : link_->PortNumber(); }

  std::optional<quint16> portOverride_;
  quint16 settingsPort_ = 2;
  // Why the last ReadRecordHeader gave no count.
  ReceptionResult::Outcome headerOutcome_ = ReceptionResult::Outcome::kNoAnswer;

  // The reception's steps.
  std::optional<bool> AskWhetherResetTook();
  quint16 HandleInconsistentHeader(const quint8* header);
  quint16 HandleEmptyArea(const quint8* header);
  void CompareClocks(const quint8* header);
  qsizetype AlreadyStored(const std::vector<quint8>& area);
  ReceptionJournal StoreCalls(const std::vector<quint8>& area, std::vector<CallRecord>& records);
  // Puts the moment of a reset into the settings file; false (with the operator told) when the
  // file cannot be written.
  bool SaveResetMoment(const QDateTime& moment);

  // A journal of calls an earlier reception stored while the reset was not known to take, and
  // what the station says of that reset (none when it could not be asked).
  std::optional<ReceptionJournal> pending_;
  std::optional<bool> resetTook_;
  QByteArray headerBytes_;
  QDateTime lastReset_;
  QString settingsFailure_;
  // What this reception's reset did on the line: the frame went out whole, and the header
  // read back showed it taken.
  bool resetSent_ = false;
  bool resetConfirmed_ = false;
};
