#include "core/files/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/base/Clock.h"
#include "core/base/Errors.h"
#include "core/base/OperatorUi.h"
#include "core/files/DateTimeText.h"
#include "core/files/RegularFile.h"
#include "core/files/TextFiles.h"
#include "core/platform/DurableFile.h"

namespace {

const QString kBadMoment =
    QStringLiteral("В файле NorvelWin.ini неверно указана дата/время. Принимается текущая дата ");
const QString kMomentComment = QStringLiteral(" ; Дата/Время");
const QString kPortComment = QStringLiteral(" ; Номер порта");
const QString kBoardComment = QStringLiteral(" ; К-во плат");

// Reads the settings file's bytes the way a text file reader reads values: a whole line, or
// the next word as a number.
class SettingsReader {
 public:
  explicit SettingsReader(const QByteArray& bytes) : bytes_(bytes) {}

  // The next line without its line end (CR LF or LF).
  QByteArray ReadLine() {
    qsizetype end = bytes_.indexOf('\n', pos_);
    if (end < 0) end = bytes_.size();
    qsizetype stop = end;
    if (stop > pos_ && bytes_[stop - 1] == '\r') --stop;
    QByteArray line = bytes_.mid(pos_, stop - pos_);
    pos_ = end < bytes_.size() ? end + 1 : end;
    ++line_;
    return line;
  }

  // Skips blanks and line breaks, then converts the word up to the next blank or control
  // character as a decimal integer, and drops the rest of the line. The end of the file before
  // any word gives 0.
  quint16 ReadNumberLine() {
    while (pos_ < bytes_.size()) {
      const char c = bytes_[pos_];
      if (c == ' ' || c == '\t' || c == '\r') {
        ++pos_;
      } else if (c == '\n') {
        ++pos_;
        ++line_;
      } else {
        break;
      }
    }
    if (pos_ >= bytes_.size()) return 0;
    const int wordLine = line_ + 1;
    const qsizetype start = pos_;
    while (pos_ < bytes_.size() && static_cast<unsigned char>(bytes_[pos_]) > ' ') ++pos_;
    const QByteArray word = bytes_.mid(start, pos_ - start);
    bool ok = false;
    const int value = word.toInt(&ok, 10);
    if (!ok) {
      throw SettingsFileError(QStringLiteral("Неверное число в файле %1, строка %2")
                                  .arg(QLatin1String(kSettingsFileName))
                                  .arg(wordLine));
    }
    ReadLine();  // the rest of the line is a comment
    return static_cast<quint16>(value);
  }

 private:
  const QByteArray& bytes_;
  qsizetype pos_ = 0;
  int line_ = 0;  // lines read so far
};

}  // namespace

LinkSettings ReadSettingsFile(const QString& dir, OperatorUi& ui, Clock& clock) {
  LinkSettings settings;
  const QString path = QDir(dir).filePath(QLatin1String(kSettingsFileName));
  if (!QFileInfo::exists(path)) {
    ui.InfoBox(QString::fromUtf8(kSettingsFileMissingText), true);
    settings.resetMoment = clock.Now();
    return settings;
  }
  QFile file(path);
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    throw SettingsFileError(QStringLiteral("Не удается прочитать файл %1: %2")
                                .arg(QLatin1String(kSettingsFileName), problem));
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    throw SettingsFileError(QStringLiteral("Не удается прочитать файл %1: %2")
                                .arg(QLatin1String(kSettingsFileName), file.errorString()));
  }
  file.close();

  SettingsReader reader(bytes);
  const QString first = DecodeCp1251(reader.ReadLine());
  const qsizetype semicolon = first.indexOf(u';');
  std::optional<QDateTime> moment;
  if (semicolon >= 0) moment = TextToDateTime(QStringView(first).left(semicolon));
  if (moment) {
    settings.resetMoment = *moment;
  } else {
    settings.resetMoment = clock.Now();
    ui.InfoBox(kBadMoment + DateTimeToText(settings.resetMoment), true);
  }
  // Both numbers are read before either is used, so a failed read hands out nothing.
  const quint16 port = reader.ReadNumberLine();
  const quint16 boards = reader.ReadNumberLine();
  settings.portNumber = port;
  settings.boardCount = boards;
  return settings;
}

void WriteSettingsFile(const QString& dir, quint16 portNumber, quint16 boardCount,
                       const QDateTime& resetMoment) {
  const QString text = JoinLines({DateTimeToText(resetMoment) + kMomentComment,
                                  QString::number(portNumber) + kPortComment,
                                  QString::number(boardCount) + kBoardComment});
  // The old file is replaced only by a complete new one, so a full disk never leaves a
  // half-written or empty settings file behind.
  QString reason;
  if (!ReplaceFileDurably(QDir(dir).filePath(QLatin1String(kSettingsFileName)), EncodeCp1251(text),
                          &reason)) {
    throw SettingsFileError(QStringLiteral("Не удается записать файл %1: %2")
                                .arg(QLatin1String(kSettingsFileName), reason));
  }
}

void SaveLinkSettings(const QString& dir, OperatorUi& ui, Clock& clock, quint16 portNumber,
                      quint16 boardCount) {
  const LinkSettings stored = ReadSettingsFile(dir, ui, clock);
  WriteSettingsFile(dir, portNumber, boardCount, stored.resetMoment);
}
