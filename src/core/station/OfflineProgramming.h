#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "core/station/ProgrammingSession.h"
#include "core/station/WriteVerdict.h"

class OperatorUi;

// A saved configuration edited without the station: the tables work on the file's image as
// they work on the station's, and "Записать программирование" saves the file. No port is ever
// opened. The cells are marked against the file as it was opened (or last saved).
class OfflineProgramming : public ProgrammingSession {
 public:
  // Asks for the name of a file to save to, suggesting one; empty when the operator cancels.
  using AskSaveName = std::function<QString(const QString& suggested)>;

  // Reads the file (an image of 512 bytes, or the older form's 256): none, with the reason,
  // when it is no configuration.
  static std::optional<ConfigImage> ReadImageFile(const QString& path, QString* problem);

  // What a file opens as: its image, and the image the cells are marked against.
  struct Opened {
    ConfigImage image;
    ConfigImage base;
    bool fromText = false;
  };
  // An image opens as it is. A configuration text opens applied to `base` (an image file, or
  // "empty" for all bytes zero), which must be named. None, with the box's words, otherwise.
  static std::optional<Opened> OpenFile(const QString& path, const QString& base, QString* problem);

  OfflineProgramming(OperatorUi& ui, AskSaveName askSaveName, const QString& path,
                     const ConfigImage& image, quint16 boards);

  const QString& Path() const { return path_; }
  bool Modified() const { return modified_; }

  const ConfigImage& Image() const override { return image_; }
  void SetImage(const ConfigImage& image) override;
  const ConfigImage& StationImage() const override { return saved_; }
  bool DayMode() const override { return dayMode_; }
  void SetDayMode(bool day) override { dayMode_ = day; }
  quint16 SubscriberCount() const override { return static_cast<quint16>(6 * boards_); }
  quint16 CityLineCount() const override { return static_cast<quint16>(2 * boards_); }
  bool CityLineLayout() const override { return cityLineLayout_; }
  void SetCityLineLayout(bool on) override { cityLineLayout_ = on; }
  QString OfflineFile() const override;
  // The image was not read from Path() (a text imported onto a base): the first save asks for
  // a file name rather than writing over what was opened.
  void AskNameOnFirstSave() { askName_ = true; }
  // The cells are marked against `base` rather than the image opened: what a text changes.
  void MarkAgainst(const ConfigImage& base);

  quint16 BoardCount() const override { return boards_; }
  // Saves the image to the file, whole or not at all. The station's copy, Norvel.cfg, is never
  // overwritten by an offline edit: a new name is asked for instead.
  void WriteProgramming() override;
  void OfferWriteOnLeave() override;
  const WriteVerdict& LastWriteVerdict() const override { return verdict_; }

 private:
  OperatorUi& ui_;
  AskSaveName askSaveName_;
  QString path_;
  ConfigImage image_;
  ConfigImage saved_;
  quint16 boards_;
  bool modified_ = false;
  bool askName_ = false;
  bool dayMode_ = true;
  bool cityLineLayout_ = false;
  WriteVerdict verdict_;
};
