#include "core/files/ConfigCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/base/OperatorUi.h"
#include "core/files/RegularFile.h"

namespace {
const QString kMissing = QStringLiteral("Не найден файл Norvel.cfg");
const QString kReadError = QStringLiteral("Ошибка чтения файла Norvel.cfg");
const QString kOldForm = QStringLiteral(
    "Ошибка чтения файла Norvel.cfg Возможно используется устаревший формат файла (256 байт). "
    "Продолжить?");
const QString kWriteError = QStringLiteral("Ошибка записи данных в файл Norvel.cfg");
constexpr qint64 kOldFormSize = 256;
}  // namespace

bool ReadConfigCopy(const QString& dir, OperatorUi& ui, ConfigImage& image) {
  const QString path = QDir(dir).filePath(QLatin1String(kConfigCopyFileName));
  if (!QFileInfo::exists(path)) {
    ui.InfoBox(kMissing, true);
    return false;
  }
  QFile file(path);
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    ui.InfoBox(kReadError, true);
    return false;
  }
  const QByteArray bytes = file.read(kImageSize);
  file.close();
  if (bytes.size() == kOldFormSize && !ui.YesNoBox(kOldForm, true)) return false;
  const std::optional<ConfigImage> loaded = ImageFromCopyBytes(bytes);
  if (!loaded) {
    ui.InfoBox(kReadError, true);
    return false;
  }
  image = *loaded;
  return true;
}

std::optional<ConfigImage> ImageFromCopyBytes(const QByteArray& bytes) {
  if (bytes.size() != kImageSize && bytes.size() != kOldFormSize) return std::nullopt;
  ConfigImage image{};  // the older form's night half is zeros
  std::copy(bytes.begin(), bytes.end(), image.begin());
  return image;
}

bool WriteConfigCopy(const QString& dir, OperatorUi& ui, const ConfigImage& image) {
  QFile file(QDir(dir).filePath(QLatin1String(kConfigCopyFileName)));
  // ReadWrite neither truncates an existing file nor refuses a missing one.
  bool ok = file.open(QIODevice::ReadWrite);
  if (ok) {
    ok = file.write(reinterpret_cast<const char*>(image.data()), kImageSize) == kImageSize;
    ok = file.flush() && ok;
    file.close();
    ok = ok && file.error() == QFileDevice::NoError;
  }
  if (!ok) ui.InfoBox(kWriteError, true);
  return ok;
}
