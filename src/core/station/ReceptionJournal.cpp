#include "core/station/ReceptionJournal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/base/DurableSteps.h"
#include "core/base/Errors.h"
#include "core/files/RegularFile.h"
#include "core/platform/DurableFile.h"

namespace {

// A small text file a person can read: a title line, "key: value" lines, the bytes in
// hexadecimal, and last the checksum of everything before it.
const QByteArray kTitle = "NorvelWin reception journal";
constexpr int kVersion = 2;
// A journal is a few hundred kilobytes at most; anything larger is not one.
constexpr qint64 kLargest = 1 << 20;

QString JournalPath(const QString& dir) {
  return QDir(dir).filePath(QLatin1String(kReceptionJournalName));
}

const char* StageName(ReceptionJournal::Stage stage) {
  switch (stage) {
    case ReceptionJournal::Stage::kAppending:
      return "appending";
    case ReceptionJournal::Stage::kStored:
      return "stored";
    case ReceptionJournal::Stage::kReset:
      return "reset";
  }
  return "";
}

QByteArray Checksum(const QByteArray& text) {
  return QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex();
}

QByteArray Moment(const QDateTime& moment) {
  return moment.isValid() ? moment.toString(Qt::ISODate).toLatin1() : QByteArray("-");
}

std::optional<QDateTime> ParseMoment(const QByteArray& text) {
  if (text == "-") return QDateTime();
  QDateTime moment = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
  if (!moment.isValid()) return std::nullopt;
  moment.setTimeSpec(Qt::UTC);  // wall-clock values, as everywhere in the program
  return moment;
}

std::optional<QByteArray> ParseHex(const QByteArray& text) {
  const QByteArray bytes = QByteArray::fromHex(text);
  if (bytes.size() * 2 != text.size()) return std::nullopt;
  return bytes;
}

// The journal of the first release: the bytes of calls stored before an unconfirmed reset,
// without version or checksum.
std::optional<ReceptionJournal> ReadFirstRelease(const QList<QByteArray>& lines) {
  if (lines.size() < 5 || lines[4].trimmed() != "end" || !lines[1].startsWith("stored: ") ||
      !lines[2].startsWith("files: ") || !lines[3].startsWith("bytes: ")) {
    return std::nullopt;
  }
  ReceptionJournal journal;
  journal.stage = ReceptionJournal::Stage::kStored;
  const std::optional<QDateTime> moment = ParseMoment(lines[1].mid(8).trimmed());
  const std::optional<QByteArray> bytes = ParseHex(lines[3].mid(7).trimmed());
  if (!moment || !bytes) return std::nullopt;
  journal.moment = *moment;
  journal.bytes = *bytes;
  for (const QByteArray& name : lines[2].mid(7).trimmed().split(';')) {
    if (!name.isEmpty()) journal.files.push_back({QString::fromUtf8(name), -1});
  }
  return journal;
}

}  // namespace

QByteArray JournalText(const ReceptionJournal& journal) {
  QByteArray text = kTitle + '\n';
  text += "version: " + QByteArray::number(kVersion) + '\n';
  text += QByteArray("stage: ") + StageName(journal.stage) + '\n';
  text += "moment: " + Moment(journal.moment) + '\n';
  text += "header: " + journal.header.toHex() + '\n';
  text += "last-reset: " + Moment(journal.lastReset) + '\n';
  text += "reset: " + Moment(journal.resetMoment) + '\n';
  for (const JournalFile& file : journal.files) {
    text += "file: " + QByteArray::number(file.sizeBefore) + ' ' + file.name.toUtf8() + '\n';
  }
  text += "bytes: " + journal.bytes.toHex() + '\n';
  text += "checksum: " + Checksum(text) + '\n';
  return text;
}

JournalSalvage SalvageReceptionJournal(const QString& dir) {
  JournalSalvage salvage;
  QFile file(JournalPath(dir));
  if (!file.exists() && !QFileInfo(file.fileName()).isSymLink()) return salvage;
  salvage.exists = true;
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    salvage.damage << QStringLiteral("не читается: %1").arg(problem);
    return salvage;
  }
  if (file.size() > kLargest) {
    salvage.damage << QStringLiteral("слишком велик (%1 байт)").arg(file.size());
  }
  const QByteArray text = file.read(kLargest);
  const QList<QByteArray> lines = text.split('\n');
  if (lines.isEmpty() || lines[0].trimmed() != kTitle) {
    salvage.damage << QStringLiteral("это не журнал приема");
    return salvage;
  }
  // The first release's journal has neither version nor checksum: nothing shows whether it
  // is whole or someone's, so it is read only as far as a damaged one is.
  if (const std::optional<ReceptionJournal> old = ReadFirstRelease(lines)) {
    salvage.damage << QStringLiteral("старый формат без версии и контрольной суммы");
    salvage.journal = *old;
    salvage.stageKnown = true;
    salvage.bytesKnown = true;
    return salvage;
  }
  const qsizetype sum = text.lastIndexOf("checksum: ");
  if (sum < 0 || text.mid(sum + 10).trimmed() != Checksum(text.left(sum))) {
    salvage.damage << QStringLiteral(
        "контрольная сумма не сходится (журнал записан не полностью или изменен)");
  }
  QList<QByteArray> body = (sum < 0 ? text : text.left(sum)).split('\n').mid(1);
  // Without its checksum line the file was cut: its last line may be cut too.
  if (sum < 0 && !text.endsWith('\n') && !body.isEmpty()) body.removeLast();
  bool version = false;
  for (const QByteArray& line : body) {
    if (line.isEmpty()) continue;
    const qsizetype colon = line.indexOf(": ");
    const QByteArray key = colon < 0 ? line : line.left(colon);
    const QByteArray value = colon < 0 ? QByteArray() : line.mid(colon + 2);
    ReceptionJournal& journal = salvage.journal;
    bool ok = true;
    if (key == "version") {
      version = value.toInt() == kVersion;
      ok = version;
    } else if (key == "stage") {
      salvage.stageKnown = true;
      if (value == "appending") {
        journal.stage = ReceptionJournal::Stage::kAppending;
      } else if (value == "stored") {
        journal.stage = ReceptionJournal::Stage::kStored;
      } else if (value == "reset") {
        journal.stage = ReceptionJournal::Stage::kReset;
      } else {
        ok = salvage.stageKnown = false;
      }
    } else if (key == "moment" || key == "last-reset" || key == "reset") {
      const std::optional<QDateTime> moment = ParseMoment(value);
      ok = moment.has_value();
      if (ok) {
        (key == "moment"  ? journal.moment
         : key == "reset" ? journal.resetMoment
                          : journal.lastReset) = *moment;
      }
    } else if (key == "header" || key == "bytes") {
      const std::optional<QByteArray> bytes = ParseHex(value);
      ok = bytes.has_value();
      if (ok) {
        (key == "header" ? journal.header : journal.bytes) = *bytes;
        (key == "header" ? salvage.headerKnown : salvage.bytesKnown) = true;
      }
    } else if (key == "file") {
      const qsizetype blank = value.indexOf(' ');
      const qint64 size = value.left(blank).toLongLong(&ok);
      ok = ok && blank > 0;
      if (ok) journal.files.push_back({QString::fromUtf8(value.mid(blank + 1)), size});
    } else {
      ok = false;
    }
    if (!ok && salvage.damage.size() < 8) {
      salvage.damage << QStringLiteral("неверная строка «%1»")
                            .arg(ShortEcho(QString::fromUtf8(line.left(400))).left(80));
    }
  }
  if (!version || !salvage.stageKnown) {
    salvage.damage << QStringLiteral("неизвестная версия журнала");
  }
  return salvage;
}

JournalReading ReadReceptionJournal(const QString& dir) {
  JournalSalvage salvage = SalvageReceptionJournal(dir);
  JournalReading reading;
  if (!salvage.exists) return reading;
  if (!salvage.damage.isEmpty()) {
    reading.state = JournalReading::State::kDamaged;
    reading.problem = salvage.damage.first();
    return reading;
  }
  reading.state = JournalReading::State::kRead;
  reading.journal = std::move(salvage.journal);
  return reading;
}

void WriteReceptionJournal(const QString& dir, const ReceptionJournal& journal) {
  QString reason;
  if (!ReplaceFileDurably(JournalPath(dir), JournalText(journal), &reason)) {
    throw IoError(QStringLiteral("Не удается записать файл %1: %2")
                      .arg(QLatin1String(kReceptionJournalName), reason));
  }
}

void RemoveReceptionJournal(const QString& dir) {
  if (QFile::remove(JournalPath(dir))) DurableStepTaken("journal removed");
}
