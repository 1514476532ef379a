#pragma once

#include <QtGlobal>

#include "core/files/ConfigImage.h"

// What the programming tables may see of the station object: the image and the station's size,
// never the link. A window loads its cells from Image and hands a changed copy to SetImage.
class ImageAccess {
 public:
  virtual ~ImageAccess() = default;
  virtual const ConfigImage& Image() const = 0;
  virtual void SetImage(const ConfigImage& image) = 0;
  virtual bool DayMode() const = 0;
  virtual quint16 SubscriberCount() const = 0;
  virtual quint16 CityLineCount() const = 0;
  virtual bool CityLineLayout() const = 0;
};
