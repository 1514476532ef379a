#pragma once

#include <QMap>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "core/files/CallRecords.h"
#include "core/image/ConfigImage.h"
#include "core/link/RS232.h"
#include "core/station/ProgrammingSession.h"
#include "core/station/Reception.h"
#include "core/station/WriteVerdict.h"

struct Environment;
class ConfigHistoryEntry;

// The one station object: it holds the configuration image and the station's size, owns the
// serial link and rebuilds it from the settings file whenever the link is in doubt, and runs
// every conversation with the station: reading and writing the programming, and receiving the
// call records.
class StationCtrlClass : public ProgrammingSession, private ReceptionStation {
 public:
  // Reads the settings file and opens and checks the link; the port stays open exactly when the
  // station answered. A port given here is used instead of the settings file's, which keeps
  // its own.
  explicit StationCtrlClass(Environment& env, std::optional<quint16> port = std::nullopt);
  ~StationCtrlClass() override;
  StationCtrlClass(const StationCtrlClass&) = delete;
  StationCtrlClass& operator=(const StationCtrlClass&) = delete;

  // The current link; replaced by every RebuildLink, so nobody keeps it across operations.
  RS232Class* Link() const override { return link_.get(); }
  quint16 BoardCount() const override { return boardCount_; }
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
  // kHistoryNotKept: the image the station held could not be kept in history/, so nothing was
  // sent.
  enum class WriteOutcome { kWritten, kNotWritten, kCopyNotSaved, kHistoryNotKept };
  WriteOutcome WriteAndSave();
  void WriteProgramming() override { WriteAndSave(); }
  void OfferWriteOnLeave() override;
  bool WriteImage(const ConfigImage& image);
  // What the station holds after the last write that failed (read again when the write may have
  // reached it); Holds::kNone after a write that succeeded, or before any.
  const WriteVerdict& LastWriteVerdict() const override { return verdict_; }
  void SetImage(const ConfigImage& image) override;

  bool CheckLink() override;
  void RebuildLink() override;
  void ReportNoLink() override;
  quint16 ReadBoardCount();
  static bool IsValidBoardCount(quint16 count) { return count >= 1 && count <= 4; }
  void SetBoardCount(quint16 count);
  bool ReadImage(ConfigImage& buffer);
  // Equal when the first 507 bytes are; the last five are the station's own.
  static bool CompareImages(const ConfigImage& a, const ConfigImage& b);
  bool PrepareWrite();
  bool TestWriteEnable(quint8 value);
  // The write-enable test, then the image frame; false when the test did not pass.
  bool SendImage();

  // Tariffication: fetch the call records, store them, reset the record area and clock (see
  // Reception). Throws IoError when the data files cannot take the calls; they are then as
  // before and the station keeps its calls.
  // Its steps (the record header, the records, the reset) are the reception's own.
  ReceptionResult ReceiveTariffication();

  // Station addresses of the programming.
  static constexpr quint16 kBoardCountAddress = 743;
  static constexpr quint16 kImageAddress = 1280;
  static constexpr quint16 kLinkCheckAddress = 1791;
  static constexpr int kComparedBytes = 507;

 private:
  // Reads the station's board count; a valid one that differs from the held one is taken and
  // saved in the settings file. False when the count did not come or is no station's.
  bool RefreshBoardCount() override;

  Environment& env_;
  std::unique_ptr<RS232Class> link_;
  bool finishing_ = false;  // a write past its frame: reads go on after a stop request
  // The image after a read-back that differs, read up to twice more.
  ConfigImage ReconciledReadBack(const ConfigImage& first);
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
  bool historyRefused_ = false;
  // Whether the write has sent anything the station may have taken (the test byte included).
  bool stationTouched_ = false;
  // The last write-enable test read back a byte other than the test value.
  bool testRefused_ = false;
  WriteVerdict verdict_;
  void NoteHistory(const QString& failure);
  // Reads the station again after a failed write and says what it holds.
  void JudgeFailedWrite(const ConfigImage& before, const QString& beforeFile);
  // The test byte's original, kept in history/ while the test value may be in the station: a
  // line lost before it is put back would leave the test value in byte 1791 with no trace. The
  // next contact (or the reading after a failed write, `held`) puts it back and forgets it.
  QString WriteTestPath() const;
  bool KeepWriteTest(quint8 original, QString* reason);
  void ForgetWriteTest();
  void SettleWriteTest(ConfigImage* held);

 public:
  // Puts back the test byte a cut-off write left in the station, when history/ says there is
  // one; sends nothing otherwise.
  void SettlePendingWriteTest() override { SettleWriteTest(nullptr); }
  // Whether a cut-off write left its test byte's original in the working directory's history/.
  static bool WriteTestPending(const QString& workDir);

 private:
  // The port the settings file names: the link's own, unless a port was given at creation.
  quint16 SettingsPort() const override {
    return portOverride_ ? settingsPort_ : link_->PortNumber();
  }

  std::optional<quint16> portOverride_;
  quint16 settingsPort_ = kDefaultPort;
  std::unique_ptr<Reception> reception_;
};
