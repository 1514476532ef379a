#include "core/station/OfflineProgramming.h"

#include <QDir>
#include <QFileInfo>

#include "core/base/OperatorUi.h"
#include "core/files/ConfigCopy.h"
#include "core/files/OutputFile.h"
#include "core/files/RegularFile.h"
#include "core/tables/ConfigText.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}  // namespace

std::optional<ConfigImage> OfflineProgramming::ReadImageFile(const QString& path,
                                                             QString* problem) {
  const std::optional<ConfigFileBytes> read = ReadConfigFile(path, problem);
  if (!read) return std::nullopt;
  const std::optional<ConfigImage> image =
      read->size == read->bytes.size() ? ImageFromCopyBytes(read->bytes) : std::nullopt;
  if (!image) {
    *problem =
        QStringLiteral("файл не является конфигурацией (%1 байт вместо 512)").arg(read->size);
  }
  return image;
}

std::optional<OfflineProgramming::Opened> OfflineProgramming::OpenFile(const QString& path,
                                                                       const QString& base,
                                                                       QString* problem) {
  const auto cannotRead = [problem](const QString& file, const QString& why) {
    *problem = QStringLiteral("Не удается прочитать файл %1: %2").arg(file, why);
    return std::nullopt;
  };
  QString why;
  const std::optional<ConfigFileBytes> read = ReadConfigFile(path, &why, kLargestConfigText + 1);
  if (!read) return cannotRead(path, why);
  if (!ReadsAsConfigText(path, read->bytes)) {
    const std::optional<ConfigImage> image = ReadImageFile(path, &why);
    if (!image) return cannotRead(path, why);
    return Opened{*image, *image, false};
  }
  // A text is a set of settings: it is applied to a base image, named on purpose.
  const QString name = QFileInfo(path).fileName();
  if (base.isEmpty()) {
    *problem = QStringLiteral("Файл %1 - текст конфигурации, а не образ.").arg(name) + kCrLf +
               QStringLiteral(
                   "Откройте его на образе: NorvelWin --offline %1 --base ФАЙЛ.cfg "
                   "(или --base empty - все байты нулевые).")
                   .arg(name);
    return std::nullopt;
  }
  if (read->size > kLargestConfigText) {
    return cannotRead(path, QStringLiteral("%1 байт, а текст конфигурации - не более %2")
                                .arg(read->size)
                                .arg(kLargestConfigText));
  }
  ConfigImage baseImage{};
  if (base != QLatin1String("empty")) {
    const std::optional<ConfigImage> image = ReadImageFile(base, &why);
    if (!image) return cannotRead(base, why);
    baseImage = *image;
  }
  const ConfigTextResult result = ConfigFromText(read->bytes, baseImage);
  if (!result.image) {
    *problem = QStringLiteral("Файл %1 не применен:").arg(name) + kCrLf +
               result.errors.mid(0, 10).join(kCrLf);
    return std::nullopt;
  }
  return Opened{*result.image, baseImage, true};
}

OfflineProgramming::OfflineProgramming(OperatorUi& ui, AskSaveName askSaveName, const QString& path,
                                       const ConfigImage& image, quint16 boards)
    : ui_(ui),
      askSaveName_(std::move(askSaveName)),
      path_(QFileInfo(path).absoluteFilePath()),
      image_(image),
      saved_(image),
      boards_(boards) {}

QString OfflineProgramming::OfflineFile() const {
  return QFileInfo(path_).fileName();
}

void OfflineProgramming::MarkAgainst(const ConfigImage& base) {
  saved_ = base;
  modified_ = image_ != base;
}

void OfflineProgramming::SetImage(const ConfigImage& image) {
  image_ = image;
  modified_ = true;
}

void OfflineProgramming::WriteProgramming() {
  QString path = path_;
  const bool stationCopy = QFileInfo(path).fileName().compare(QLatin1String(kConfigCopyFileName),
                                                              Qt::CaseInsensitive) == 0;
  if (stationCopy || askName_) {
    // Norvel.cfg is the copy of what the station holds: an edit made without the station goes
    // to a file of its own. An image made from a text is saved beside it, not over it.
    QFileInfo info(path);
    path = askSaveName_(info.dir().filePath(stationCopy ? QStringLiteral("Norvel-offline.cfg")
                                                        : info.completeBaseName() + ".cfg"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).fileName().compare(QLatin1String(kConfigCopyFileName),
                                           Qt::CaseInsensitive) == 0) {
      ui_.InfoBox(
          QStringLiteral("Файл %1 - копия программирования станции.").arg(kConfigCopyFileName) +
              kCrLf + QStringLiteral("Выберите другое имя."),
          true);
      return;
    }
  }
  OutputFile file(path);
  QString error;
  QFile* out = file.Open(&error);
  const bool written = out && WriteWhole(*out, QByteArrayView(image_.data(), kImageSize)) &&
                       file.Commit(OutputFile::Kind::kAny, &error);
  if (!written) {
    if (error.isEmpty() && out) error = out->errorString();
    ui_.InfoBox(QStringLiteral("Не удается записать файл %1: %2").arg(path, error), true);
    return;
  }
  path_ = QFileInfo(path).absoluteFilePath();
  askName_ = false;
  saved_ = image_;
  modified_ = false;
  ui_.InfoBox(QStringLiteral("Программирование записано в файл ") + path_, false);
}

void OfflineProgramming::OfferWriteOnLeave() {
  if (!modified_) return;
  modified_ = false;
  if (ui_.YesNoBox(QStringLiteral("Конфигурация была изменена.") + kCrLf +
                       QStringLiteral("Записать в файл?"),
                   false)) {
    WriteProgramming();
  }
}
