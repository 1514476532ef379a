#pragma once

#include <QString>
#include <QtGlobal>

#include "core/image/ConfigImage.h"

// What the programming tables and their menu may see of the station object: the image, the
// station's size and the choices the menu makes for the tables (day or night, the city-line
// table's layout), never the link. A window loads its cells from Image and hands a changed copy
// to SetImage.
class ImageAccess {
 public:
  virtual ~ImageAccess() = default;
  virtual const ConfigImage& Image() const = 0;
  virtual void SetImage(const ConfigImage& image) = 0;
  // The image last read from the station or written to it; the windows mark the cells whose
  // values differ from it, which a write would change.
  virtual const ConfigImage& StationImage() const = 0;
  virtual bool DayMode() const = 0;
  virtual void SetDayMode(bool day) = 0;
  virtual quint16 SubscriberCount() const = 0;
  virtual quint16 CityLineCount() const = 0;
  virtual bool CityLineLayout() const = 0;
  virtual void SetCityLineLayout(bool on) = 0;
  // The file edited without the station, by name; empty when the image is the station's.
  virtual QString OfflineFile() const { return {}; }
};
