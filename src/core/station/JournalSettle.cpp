#include "core/station/JournalSettle.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <vector>

#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/base/Errors.h"
#include "core/files/DataFiles.h"
#include "core/files/RegularFile.h"
#include "core/files/TextFiles.h"
#include "core/link/RS232.h"
#include "core/platform/DurableFile.h"
#include "core/station/Reception.h"
#include "core/station/ReceptionJournal.h"
#include "core/station/StationCtrl.h"

namespace {

// How far back the day of an unknown reception is looked for.
constexpr int kDaysBack = 62;

std::vector<CallRecord> Decode(const std::vector<quint8>& area, qsizetype length, QDate day) {
  std::vector<quint8> buffer(area.begin(), area.begin() + length);
  buffer.push_back(0);  // the spare byte for the decoder's end marker
  std::vector<CallRecord> records;
  DecodeCallRecords(buffer.data(), static_cast<qsizetype>(buffer.size()), day, records);
  return records;
}

// The month file's call lines (the heading left out) as stored; a last line without its line
// end, cut by an append that stopped, is cut off the file first.
QStringList CallLines(const QString& dir, const QString& name) {
  const QString path = QDir(dir).filePath(name);
  QFile file(path);
  if (!file.exists()) return {};
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, problem));
  }
  QByteArray bytes = file.readAll();
  file.close();
  const qsizetype end = bytes.lastIndexOf('\n') + 1;
  if (end < bytes.size()) {
    QFile cut(path);
    if (!cut.open(QIODevice::ReadWrite) || !cut.resize(end) || !SyncFileToDisk(cut)) {
      throw IoError(
          QStringLiteral("Не удается восстановить файл %1: %2").arg(name, cut.errorString()));
    }
    bytes.truncate(end);
  }
  QStringList lines = DecodeCp1251(bytes).split(QLatin1String(kLineEnd));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  if (!lines.isEmpty()) lines.removeFirst();  // the heading
  return lines;
}

// The calls among `records` that the ends of their month files lack: each file's last lines,
// as many as the calls for it, are matched with the calls as a multiset (the reception appended
// them sorted, so their order proves nothing).
std::vector<CallRecord> Missing(const QString& dir, const std::vector<CallRecord>& records,
                                int* found) {
  QMap<QString, std::vector<const CallRecord*>> perFile;
  for (const CallRecord& record : records) {
    perFile[DataFileName(record.StartTime.date().month())].push_back(&record);
  }
  std::vector<CallRecord> missing;
  *found = 0;
  for (auto it = perFile.cbegin(); it != perFile.cend(); ++it) {
    const QStringList lines = CallLines(dir, it.key());
    QHash<QString, int> tail;
    for (qsizetype i = std::max<qsizetype>(0, lines.size() - qsizetype(it.value().size()));
         i < lines.size(); ++i) {
      ++tail[lines[i]];
    }
    for (const CallRecord* record : it.value()) {
      int& left = tail[CallRecordToText(*record)];
      if (left > 0) {
        --left;
        ++*found;
      } else {
        missing.push_back(*record);
      }
    }
  }
  return missing;
}

}  // namespace

JournalSettlement SettleReceptionJournal(Environment& env, StationCtrlClass& station) {
  JournalSettlement settlement;
  const JournalSalvage salvage = SalvageReceptionJournal(env.workDir);
  if (!salvage.exists) return settlement;
  if (salvage.damage.isEmpty()) {
    settlement.outcome = JournalSettlement::Outcome::kSound;
    return settlement;
  }
  settlement.outcome = JournalSettlement::Outcome::kNoAnswer;
  if (!station.CheckLink()) station.RebuildLink();
  RS232Class* link = station.Link();
  if (!link || !link->IsOpen()) return settlement;

  quint8 reception[2] = {};
  if (!link->ReadMemory(Reception::kReceptionAddress, sizeof reception, reception)) {
    return settlement;
  }
  if (reception[0] == 0x00 && reception[1] == 0x00) {
    RemoveReceptionJournal(env.workDir);
    settlement.outcome = JournalSettlement::Outcome::kSettled;
    settlement.how = QStringLiteral(
        "станция сброшена после приема: все разговоры журнала уже в файлах; журнал удален");
    return settlement;
  }

  quint8 header[6] = {};
  if (!link->ReadMemory(Reception::kRecordHeaderAddress, sizeof header, header)) return settlement;
  const auto end = static_cast<quint16>(header[2] | header[3] << 8);
  const bool consistent =
      header[4] == static_cast<quint8>(~header[2]) && header[5] == static_cast<quint8>(~header[3]);
  std::vector<quint8> area;
  if (consistent && end > Reception::kRecordsAddress) {
    area.assign(end - Reception::kRecordsAddress, 0);
    if (!link->ReadMemory(Reception::kRecordsAddress, static_cast<quint16>(area.size()),
                          area.data())) {
      return settlement;
    }
  }
  // The journal's calls are the start of the area. Its bytes say how many, when they are the
  // station's own; otherwise the whole area is looked for in the files.
  qsizetype length = static_cast<qsizetype>(area.size());
  const QByteArray& bytes = salvage.journal.bytes;
  if (salvage.bytesKnown && bytes.size() <= length &&
      std::equal(bytes.begin(), bytes.end(), area.begin(),
                 [](char a, quint8 b) { return static_cast<quint8>(a) == b; })) {
    length = bytes.size();
  }
  // The calls are dated back from the day of the reception; where the journal does not say it,
  // the day that finds the most of them in the files is taken.
  QDate day = salvage.journal.moment.date();
  std::vector<CallRecord> missing;
  int found = 0;
  if (day.isValid()) {
    missing = Missing(env.workDir, Decode(area, length, day), &found);
  } else {
    int best = -1;
    const QDate today = env.clock.Now().date();
    for (int back = 0; back <= kDaysBack; ++back) {
      int hits = 0;
      std::vector<CallRecord> left =
          Missing(env.workDir, Decode(area, length, today.addDays(-back)), &hits);
      if (hits > best) {
        best = hits;
        found = hits;
        day = today.addDays(-back);
        missing = std::move(left);
      }
    }
  }
  if (!missing.empty()) {
    for (const CallRecord& record : missing) {
      ++settlement.added[DataFileName(record.StartTime.date().month())];
    }
    AppendCallRecords(env.workDir, missing);
  }
  // A sound journal of the calls now all in the files: the reception leaves them out.
  ReceptionJournal sound;
  sound.stage = ReceptionJournal::Stage::kStored;
  sound.moment = salvage.journal.moment.isValid() ? salvage.journal.moment : env.clock.Now();
  sound.header = QByteArray(reinterpret_cast<const char*>(header), sizeof header);
  sound.lastReset = salvage.journal.lastReset;
  sound.bytes = QByteArray(reinterpret_cast<const char*>(area.data()), length);
  WriteReceptionJournal(env.workDir, sound);
  settlement.outcome = JournalSettlement::Outcome::kSettled;
  settlement.how = QStringLiteral(
                       "в станции %1 байт записей; из них в файлах уже %2 разговоров, "
                       "дописано %3")
                       .arg(length)
                       .arg(found)
                       .arg(missing.size());
  return settlement;
}
