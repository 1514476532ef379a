#include "core/files/DataFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

#include "core/base/DurableSteps.h"
#include "core/base/Errors.h"
#include "core/files/RegularFile.h"
#include "core/files/TextFiles.h"
#include "core/image/ImageLayout.h"
#include "core/platform/DurableFile.h"

const QString kDataFileHeader =
    QStringLiteral("  Дата   Время Абон.   Длит. НомерГЛ   Тип      Тел.Номер");

namespace {

constexpr qint64 kHeaderSize = 57;
constexpr qint64 kEstimatedLineSize = 28;
constexpr qint64 kReadBlock = 1 << 20;

// How a data file looked before this append, so that it can be put back.
struct FileBefore {
  bool existed = false;
  qint64 size = 0;
};

void Restore(const QMap<QString, FileBefore>& before) {
  for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
    if (!it->existed) {
      QFile::remove(it.key());
    } else {
      QFile::resize(it.key(), it->size);
    }
  }
}

bool EndsWithLineEnd(const QString& path, qint64 size) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || !file.seek(size - 1)) return true;
  char last = 0;
  return file.read(&last, 1) != 1 || last == '\n';
}

// The system's reason for a failed write; a file that failed to sync says so itself.
QString WriteFailure(const QFile& file) {
  if (file.error() != QFileDevice::NoError) return file.errorString();
  return QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

QString DataFileName(int month) {
  return QStringLiteral("Data") + QString::number(month).rightJustified(2, u' ') +
         QStringLiteral(".txt");
}

int CompareStartTime(const CallRecord& a, const CallRecord& b) {
  if (a.StartTime < b.StartTime) return -1;
  if (b.StartTime < a.StartTime) return 1;
  return 0;
}

void AppendCallRecords(const QString& dir, std::vector<CallRecord>& records) {
  SortCallRecords(records.data(), static_cast<qsizetype>(records.size()), CompareStartTime);
  QMap<QString, FileBefore> before;
  QStringList written;
  QString failure;
  size_t i = 0;
  while (i < records.size() && failure.isEmpty()) {
    // One run of records of the same month goes to its file in one opening.
    const QDate first = records[i].StartTime.date();
    const QString name = DataFileName(first.month());
    const QString path = QDir(dir).filePath(name);
    const bool exists = QFileInfo::exists(path);
    const qint64 size = exists ? QFileInfo(path).size() : 0;
    if (!before.contains(path)) {
      before.insert(path, {exists, size});
      written.append(name);
    }

    QString text;
    // An empty file gets its heading, or the first call would be taken for it; a last line
    // without its line end is ended first, or the call would be glued onto it.
    if (size == 0) {
      text = kDataFileHeader + QLatin1String(kLineEnd);
    } else if (!EndsWithLineEnd(path, size)) {
      text = QLatin1String(kLineEnd);
    }
    for (; i < records.size(); ++i) {
      const QDate date = records[i].StartTime.date();
      if (date.month() != first.month()) break;
      text += CallRecordToText(records[i]);
      text += QLatin1String(kLineEnd);
    }
    QFile file(path);
    const QByteArray bytes = EncodeCp1251(text);
    // The reason is taken before the file is closed, which would forget it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() ||
        !SyncFileToDisk(file)) {
      failure = QStringLiteral("Не удается записать файл %1: %2").arg(name, WriteFailure(file));
    }
    // A new month file's name must reach the disk too, or a power cut could lose the file
    // whose calls the station then no longer holds.
    QString notSynced;
    if (failure.isEmpty() && !exists && !SyncDirectoryOf(path, &notSynced)) {
      failure = QStringLiteral("Не удается записать файл %1: %2").arg(name, notSynced);
    }
    file.close();
    if (failure.isEmpty() && file.error() != QFileDevice::NoError) {
      failure = QStringLiteral("Не удается записать файл %1: %2").arg(name, file.errorString());
    }
    if (failure.isEmpty()) DurableStepTaken("month file appended");
  }
  if (!failure.isEmpty()) {
    Restore(before);
    throw IoError(failure);
  }
}

qsizetype EstimateRecordCount(const QString& dir, int month) {
  const QFileInfo info(QDir(dir).filePath(DataFileName(month)));
  if (!info.exists()) return 0;
  const qint64 estimate = (info.size() - kHeaderSize) / kEstimatedLineSize + 1;
  return static_cast<qsizetype>(qMax<qint64>(estimate, 0));
}

void ForEachCallRecord(const QString& dir, int month, int day, int subscriberChoice,
                       const std::function<void(CallRecord&&)>& each) {
  const QString name = DataFileName(month);
  QFile file(QDir(dir).filePath(name));
  if (!file.exists()) return;
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, problem));
  }
  // The file is read a block at a time, so a month of any size takes the same memory.
  QStringDecoder decoder = Cp1251Decoder();
  QString pending;
  int lineNumber = 0;
  bool atEnd = false;
  while (!atEnd) {
    const QByteArray block = file.read(kReadBlock);
    if (file.error() != QFileDevice::NoError) {
      throw IoError(
          QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
    }
    atEnd = block.isEmpty();
    pending += decoder.decode(block);
    const QStringView text(pending);
    qsizetype start = 0;
    for (;;) {
      qsizetype end = text.indexOf(u'\n', start);
      if (end < 0) {
        if (!atEnd || start >= text.size()) break;
        end = text.size();  // the last line may lack its line end
      }
      qsizetype stop = end;
      if (stop > start && text[stop - 1] == u'\r') --stop;
      ++lineNumber;
      const QStringView line = text.mid(start, stop - start);
      start = end + 1;
      if (lineNumber == 1) continue;  // the first line is the header, whatever it holds
      CallRecord record;
      try {
        record = TextToCallRecord(line);
      } catch (const ConvertError& error) {
        throw ConvertError(
            QStringLiteral("%1 (%2, строка %3)").arg(error.Message(), name).arg(lineNumber));
      }
      if (subscriberChoice != 0 && record.Subscriber != subscriberChoice + kFirstSubscriber - 1)
        continue;
      if (day != 0 && record.StartTime.date().day() != day) continue;
      each(std::move(record));
    }
    pending.remove(0, std::min(start, pending.size()));
  }
}

void LoadCallRecords(const QString& dir, int month, int day, int subscriberChoice,
                     std::vector<CallRecord>& records) {
  ForEachCallRecord(dir, month, day, subscriberChoice,
                    [&records](CallRecord&& record) { records.push_back(std::move(record)); });
}
