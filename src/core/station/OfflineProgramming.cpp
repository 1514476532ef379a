#include "core/station/OfflineProgramming.h"

#include <QDir>
#include <QFileInfo>

#include "core/base/OperatorUi.h"
#include "core/files/ConfigCopy.h"
#include "core/files/OutputFile.h"
#include "core/files/RegularFile.h"

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

OfflineProgramming::OfflineProgramming(OperatorUi& ui, AskSaveName askSaveName, const QString& path,
                                       const ConfigImage& image, quint16 boards)
    : ui_(ui),
      askSaveName_(std::move(askSaveName)),
      path_(QFileInfo(path).absoluteFilePath()),
      image_(image),
      saved_(image),
      boards_(boards) {}

void OfflineProgramming::SetImage(const ConfigImage& image) {
  image_ = image;
  modified_ = true;
}

void OfflineProgramming::WriteProgramming() {
  QString path = path_;
  if (QFileInfo(path).fileName().compare(QLatin1String(kConfigCopyFileName), Qt::CaseInsensitive) ==
      0) {
    // Norvel.cfg is the copy of what the station holds: an edit made without the station goes
    // to a file of its own.
    QFileInfo info(path);
    path = askSaveName_(info.dir().filePath(QStringLiteral("Norvel-offline.cfg")));
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
