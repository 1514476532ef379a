// The tariffication reception: fetching the call records, storing them in the monthly data
// files, and resetting the station's record area and clock.
//
// No call may be lost or stored twice, whatever the line or the PC does. So the record area is
// read until its end pointer stands still (calls that end during the download are fetched too)
// and decoded whole; a journal of what is about to be stored is synced before any month file is
// touched, marked complete once the files are synced, and given the reset's moment before the
// reset frame goes out; after the frame the header is read once more to confirm the reset, and
// the journal goes only once the settings file holds the reset's moment. The next reception
// resolves whatever journal it finds before anything else (see ReceptionJournal.h).
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

#include "core/base/Clock.h"
#include "core/base/DurableSteps.h"
#include "core/base/Environment.h"
#include "core/base/Errors.h"
#include "core/base/OperatorUi.h"
#include "core/files/CallRecords.h"
#include "core/files/DataFiles.h"
#include "core/files/DateTimeText.h"
#include "core/files/SettingsFile.h"
#include "core/link/RS232.h"
#include "core/platform/DurableFile.h"
#include "core/station/Reception.h"
#include "core/station/ReceptionJournal.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");
const QString kHeaderNotRead = QStringLiteral("Не удалось прочитать заголовок тарификации");
const QString kInconsistent1 = QStringLiteral("Данные в мини-АТС начиная с ");
const QString kInconsistent2 = QStringLiteral(" некорректны.");
const QString kResetQuestion = QStringLiteral("Выполнить сброс данных в станции?");
const QString kNoData = QStringLiteral("В АТС данные о тарификации отсутствуют начиная с ");
const QString kClockMismatch =
    QStringLiteral("Рассогласование во времени между компьютером и станцией");
const QString kRecordsNotRead = QStringLiteral("Не удалось прочесть данные тарификации");
const QString kNotCleared =
    QStringLiteral("Данные о разговорах записаны в файлы, но данные в станции не сброшены.") +
    kCrLf + QStringLiteral("При следующем приеме эти разговоры не будут записаны повторно.");
const QString kResetUnconfirmed =
    QStringLiteral(
        "Данные о разговорах записаны в файлы, но сброс данных в станции не удалось "
        "подтвердить.") +
    kCrLf +
    QStringLiteral(
        "При следующем приеме будет проверено, выполнен ли сброс; эти разговоры не "
        "будут записаны повторно.");
const QString kCannotTellApart =
    QStringLiteral("Разговоры в станции не удалось сверить с записанными при прошлом приеме:") +
    kCrLf +
    QStringLiteral("записаны все разговоры, часть из них может повторять записанные ранее.");
const QString kJournalDamaged =
    QStringLiteral("Файл журнала приема %1 поврежден: %2.") + kCrLf +
    QStringLiteral(
        "Прием данных не выполняется. Разговоры, о которых он говорит, находятся в "
        "станции или уже записаны в файлы.") +
    kCrLf +
    QStringLiteral(
        "Чтобы записать каждый разговор ровно один раз, выполните в этой папке: "
        "norvel journal settle (команда сверит журнал со станцией и файлами).");
const QString kAppendUndone = QStringLiteral(
    "Запись разговоров, прерванная при прошлом приеме, отменена: разговоры "
    "остались в станции и будут записаны сейчас.");
const QString kSettingsNotWritten =
    QStringLiteral("Файл NorvelWin.ini не записан: %1.") + kCrLf +
    QStringLiteral("Момент сброса данных в станции будет записан в него при следующем приеме.");

const QString kAlreadyStored =
    QStringLiteral("Часть разговоров осталась в станции после прошлого приема, хотя уже была") +
    kCrLf + QStringLiteral("записана в файлы. Повторно эти разговоры не записываются.");
const QString kResetFinished =
    QStringLiteral("Сброс данных в станции, прерванный при прошлом приеме, выполнен.") + kCrLf +
    QStringLiteral("Разговоры были записаны в файлы при прошлом приеме.");
constexpr int kClockTolerance = 5;  // minutes
// Rounds of re-reading the header while calls keep ending during the download.
constexpr int kMaxFollowUpRounds = 3;

// The reset frame's end pointer (1792) and its complement.
constexpr quint8 kEmptyArea[4] = {0x00, 0x07, 0xFF, 0xF8};

struct Header {
  quint8 bytes[6] = {};

  quint16 End() const { return static_cast<quint16>(bytes[2] | bytes[3] << 8); }
  bool Consistent() const {
    return bytes[4] == static_cast<quint8>(~bytes[2]) && bytes[5] == static_cast<quint8>(~bytes[3]);
  }
  // The end pointer and complement as a reset frame left them that stopped part-way through:
  // the first few of the four bytes are the reset's, the rest are still those of `end`.
  bool InterruptedResetOf(quint16 end) const {
    const quint8 old[4] = {static_cast<quint8>(end & 0xFF), static_cast<quint8>(end >> 8),
                           static_cast<quint8>(~(end & 0xFF)), static_cast<quint8>(~(end >> 8))};
    for (int written = 1; written < 4; ++written) {
      bool match = true;
      for (int i = 0; i < 4 && match; ++i)
        match = bytes[2 + i] == (i < written ? kEmptyArea[i] : old[i]);
      if (match) return true;
    }
    return false;
  }
};

bool StartsWith(const std::vector<quint8>& area, const QByteArray& prefix) {
  return static_cast<qsizetype>(area.size()) >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), area.begin(),
                    [](char a, quint8 b) { return static_cast<quint8>(a) == b; });
}

// Decodes the whole area at once (a day marker late in it dates every earlier call) and gives
// the calls that begin after the first `skip` bytes.
std::vector<CallRecord> DecodeArea(const std::vector<quint8>& area, qsizetype skip, QDate today) {
  std::vector<quint8> buffer(area);
  buffer.push_back(0);  // the spare byte for the decoder's end marker
  std::vector<CallRecord> records;
  records.reserve((buffer.size() + 6) / 7);
  DecodeCallRecords(buffer.data(), static_cast<qsizetype>(buffer.size()), today, records);
  if (skip > 0) {
    // The stored bytes were a whole record area, so the calls they hold are exactly the ones
    // that decoding them alone finds.
    std::vector<quint8> stored(area.begin(), area.begin() + skip);
    stored.push_back(0);
    std::vector<CallRecord> already;
    DecodeCallRecords(stored.data(), static_cast<qsizetype>(stored.size()), today, already);
    records.erase(records.begin(),
                  records.begin() + static_cast<long>(std::min(already.size(), records.size())));
  }
  return records;
}

// The month files the records go to, with their sizes before the append (-1: not there yet).
std::vector<JournalFile> FilesBefore(const QString& dir, const std::vector<CallRecord>& records) {
  std::set<int> months;
  for (const CallRecord& record : records) months.insert(record.StartTime.date().month());
  std::vector<JournalFile> files;
  for (int month : months) {
    const QString name = DataFileName(month);
    const QFileInfo info(QDir(dir).filePath(name));
    files.push_back({name, info.exists() ? info.size() : -1});
  }
  return files;
}

// Puts month files back to their sizes before an append that did not finish.
void CutBack(const QString& dir, const std::vector<JournalFile>& files) {
  for (const JournalFile& file : files) {
    const QString path = QDir(dir).filePath(file.name);
    QFile data(path);
    if (!data.exists()) continue;
    if (file.sizeBefore < 0) {
      if (!data.remove()) {
        throw IoError(
            QStringLiteral("Не удается удалить файл %1: %2").arg(file.name, data.errorString()));
      }
      DurableStepTaken("month file removed");
      continue;
    }
    // A file shorter than noted was changed by someone else since; it is left as it is.
    if (data.size() <= file.sizeBefore) continue;
    if (!data.open(QIODevice::ReadWrite) || !data.resize(file.sizeBefore) ||
        !SyncFileToDisk(data)) {
      throw IoError(
          QStringLiteral("Не удается восстановить файл %1: %2").arg(file.name, data.errorString()));
    }
    DurableStepTaken("month file cut back");
  }
}

}  // namespace

Reception::Reception(Environment& env, ReceptionStation& station) : env_(env), station_(station) {}

RS232Class& Reception::Link() {
  return *station_.Link();
}

ReceptionResult Reception::Receive() {
  ReceptionResult result;
  pending_.reset();
  resetTook_.reset();
  settingsFailure_.clear();
  resetSent_ = false;
  resetConfirmed_ = false;
  if (!ResolveJournal(result)) return result;
  const quint16 count = ReadRecordHeader();
  if (count == 0) {
    result.outcome = headerOutcome_;
    result.settingsFailure = settingsFailure_;
    result.resetSent = resetSent_;
    result.cleared = resetConfirmed_;
    return result;
  }
  std::vector<quint8> area;
  bool settled = false;
  const bool areaRead = ReadRecordArea(count, area, settled);
  result.bytesRead = areaArrived_;
  if (!areaRead) return result;

  const qsizetype skip = AlreadyStored(area);
  std::vector<CallRecord> records = DecodeArea(area, skip, env_.clock.Now().date());
  ReceptionJournal journal = StoreCalls(area, records);
  for (const CallRecord& record : records) {
    ++result.storedPerFile[DataFileName(record.StartTime.date().month())];
  }
  result.outcome =
      records.empty() ? ReceptionResult::Outcome::kNothing : ReceptionResult::Outcome::kStored;

  // Calls kept ending during the download: resetting now would wipe the latest of them.
  if (settled) {
    const quint16 end = static_cast<quint16>(kRecordsAddress + area.size());
    if (!ResetRecords(end, &journal)) env_.ui.InfoBox(kResetUnconfirmed, true);
    result.resetSent = resetSent_;
    result.cleared = resetConfirmed_;
  } else {
    env_.ui.InfoBox(kNotCleared, true);
  }
  if (!settingsFailure_.isEmpty()) {
    result.settingsFailure = settingsFailure_;
    result.outcome = ReceptionResult::Outcome::kSettingsNotWritten;
  }
  return result;
}

bool Reception::ResolveJournal(ReceptionResult& result) {
  const JournalReading reading = ReadReceptionJournal(env_.workDir);
  if (reading.state == JournalReading::State::kNone) return true;
  if (reading.state == JournalReading::State::kDamaged) {
    const QString path =
        QDir::toNativeSeparators(QDir(env_.workDir).filePath(QLatin1String(kReceptionJournalName)));
    env_.ui.InfoBox(kJournalDamaged.arg(path, reading.problem), true);
    result.outcome = ReceptionResult::Outcome::kJournalDamaged;
    return false;
  }
  const ReceptionJournal& journal = reading.journal;
  switch (journal.stage) {
    case ReceptionJournal::Stage::kAppending:
      // Cut off while storing: the calls are all still in the station.
      CutBack(env_.workDir, journal.files);
      RemoveReceptionJournal(env_.workDir);
      env_.ui.InfoBox(kAppendUndone, false);
      return true;
    case ReceptionJournal::Stage::kStored:
      pending_ = journal;
      return true;
    case ReceptionJournal::Stage::kReset:
      // The reset took; only its moment is still to be noted.
      if (!SaveResetMoment(journal.resetMoment)) {
        result.outcome = ReceptionResult::Outcome::kSettingsNotWritten;
        result.settingsFailure = settingsFailure_;
        return false;
      }
      RemoveReceptionJournal(env_.workDir);
      return true;
  }
  return true;
}

bool Reception::SaveResetMoment(const QDateTime& moment) {
  if (!moment.isValid()) return true;
  try {
    WriteSettingsFile(env_.workDir, station_.SettingsPort(), station_.BoardCount(), moment);
    return true;
  } catch (const NorvelError& error) {
    settingsFailure_ = error.Message();
    env_.ui.InfoBox(kSettingsNotWritten.arg(settingsFailure_), true);
    return false;
  }
}

quint16 Reception::ReadRecordHeader() {
  headerOutcome_ = ReceptionResult::Outcome::kNoAnswer;
  if (!station_.CheckLink()) station_.RebuildLink();
  if (!Link().IsOpen()) {
    station_.ReportNoLink();
    return 0;
  }
  // A write-enable test byte that a write cut off left in the station goes back at the next
  // contact; without such a write nothing is sent for it.
  station_.SettlePendingWriteTest();
  // Before the reception marks its start at 741: whether the last reset took. If it did, its
  // moment goes into the settings file now, so that every message of this reception quotes it.
  if (pending_) {
    resetTook_ = AskWhetherResetTook();
    if (resetTook_ == true) SaveResetMoment(pending_->resetMoment);
  }
  const quint8 reception[] = {0x01, 0x03};
  Link().WriteMemory(kReceptionAddress, reception, sizeof reception);
  Link().Pause();

  Header header;
  bool headerRead = false;
  // A new board count that cannot be saved stops the reception with SettingsFileError before
  // anything is fetched; the station keeps its calls.
  if (station_.RefreshBoardCount() && Link().IsOpen()) {
    headerRead = Link().ReadMemory(kRecordHeaderAddress, sizeof header.bytes, header.bytes);
  }
  if (!headerRead) {
    // The station keeps its records: they may well be fine, only the header did not come.
    env_.ui.InfoBox(kHeaderNotRead, true);
    return 0;
  }
  headerBytes_ = QByteArray(reinterpret_cast<const char*>(header.bytes), sizeof header.bytes);
  const quint16 end = header.End();
  // An end pointer before the record area is as wrong as a mismatched complement.
  if (!header.Consistent() || end < kRecordsAddress) return HandleInconsistentHeader(header.bytes);
  const quint16 count = static_cast<quint16>(end - kRecordsAddress);
  if (count < kMinRecordBytes) return HandleEmptyArea(header.bytes);
  CompareClocks(header.bytes);
  return count;
}

std::optional<bool> Reception::AskWhetherResetTook() {
  quint8 bytes[2] = {};
  if (!Link().ReadMemory(kReceptionAddress, sizeof bytes, bytes)) return std::nullopt;
  // The reset frame leaves 00 00; a reception's start, 01 03, stays until the next reset.
  if (bytes[0] == 0x00 && bytes[1] == 0x00) return true;
  if (bytes[0] == 0x01 && bytes[1] == 0x03) return false;
  return std::nullopt;
}

quint16 Reception::HandleInconsistentHeader(const quint8* bytes) {
  Header header;
  std::copy(bytes, bytes + sizeof header.bytes, header.bytes);
  // Our own reset frame, cut off after the calls it was to clear had been stored: finish it
  // rather than ask, since nothing in the station is left to lose.
  if (pending_ &&
      header.InterruptedResetOf(static_cast<quint16>(kRecordsAddress + pending_->bytes.size()))) {
    if (ResetRecords(std::nullopt, &*pending_)) {
      headerOutcome_ = settingsFailure_.isEmpty() ? ReceptionResult::Outcome::kNothing
                                                  : ReceptionResult::Outcome::kSettingsNotWritten;
      env_.ui.InfoBox(kResetFinished, false);
    } else {
      env_.ui.InfoBox(kHeaderNotRead, true);
    }
    return 0;
  }
  const LinkSettings stored = ReadSettingsFile(env_.workDir, env_.ui, env_.clock);
  const QString question =
      kInconsistent1 + DateTimeToText(stored.resetMoment) + kInconsistent2 + kCrLf + kResetQuestion;
  if (env_.ui.YesNoBox(question, true)) {
    ResetRecords(std::nullopt);
    headerOutcome_ = ReceptionResult::Outcome::kNothing;
  } else {
    headerOutcome_ = ReceptionResult::Outcome::kInconsistent;
  }
  return 0;
}

quint16 Reception::HandleEmptyArea(const quint8* bytes) {
  Header header;
  std::copy(bytes, bytes + sizeof header.bytes, header.bytes);
  const LinkSettings stored = ReadSettingsFile(env_.workDir, env_.ui, env_.clock);
  // A pending journal's calls are gone from the station, whichever reset took them.
  ResetRecords(header.End(), pending_ ? &*pending_ : nullptr);
  env_.ui.InfoBox(kNoData + DateTimeToText(stored.resetMoment), false);
  headerOutcome_ = settingsFailure_.isEmpty() ? ReceptionResult::Outcome::kNothing
                                              : ReceptionResult::Outcome::kSettingsNotWritten;
  return 0;
}

void Reception::CompareClocks(const quint8* header) {
  // The comparison stays within one day: 23:58 against 00:01 counts as far apart.
  const QTime now = env_.clock.Now().time();
  const int stationMinutes = header[1] * 60 + header[0];
  const int pcMinutes = now.hour() * 60 + now.minute();
  if (std::abs(stationMinutes - pcMinutes) > kClockTolerance) {
    env_.ui.InfoBox(kClockMismatch, true);
  }
}

qsizetype Reception::AlreadyStored(const std::vector<quint8>& area) {
  if (!pending_) return 0;
  // The earlier reset took and its confirmation was lost: the station holds only new calls,
  // however alike they look.
  if (resetTook_ == true) return 0;
  // The reset did not take (or the station could not say): the area still begins with the
  // stored calls, and an end pointer behind the one noted then would be a contradiction.
  const bool starts = StartsWith(area, pending_->bytes);
  Header noted;
  const bool behind = pending_->header.size() == 6 &&
                      (std::copy(pending_->header.begin(), pending_->header.end(), noted.bytes),
                       static_cast<qsizetype>(area.size()) + kRecordsAddress < noted.End());
  if (starts && !behind) {
    env_.ui.InfoBox(kAlreadyStored, false);
    return pending_->bytes.size();
  }
  // What the station holds cannot be told apart from what was stored: every call is kept.
  env_.ui.InfoBox(kCannotTellApart, true);
  return 0;
}

ReceptionJournal Reception::StoreCalls(const std::vector<quint8>& area,
                                       std::vector<CallRecord>& records) {
  ReceptionJournal journal;
  journal.stage = ReceptionJournal::Stage::kAppending;
  journal.moment = env_.clock.Now();
  journal.header = headerBytes_;
  journal.bytes =
      QByteArray(reinterpret_cast<const char*>(area.data()), static_cast<qsizetype>(area.size()));
  journal.files = FilesBefore(env_.workDir, records);
  // Written ahead: on disk before any month file is touched.
  WriteReceptionJournal(env_.workDir, journal);
  try {
    if (!records.empty()) AppendCallRecords(env_.workDir, records);
    journal.stage = ReceptionJournal::Stage::kStored;
    WriteReceptionJournal(env_.workDir, journal);
  } catch (...) {
    // The files are put back as they were; then the journal has nothing more to tell.
    try {
      CutBack(env_.workDir, journal.files);
      RemoveReceptionJournal(env_.workDir);
    } catch (...) {
      // The journal stays, and the next reception cuts the files back.
    }
    throw;
  }
  return journal;
}

bool Reception::ReadRecords(quint16 count, quint8* buffer) {
  const bool ok = Link().ReadMemory(kRecordsAddress, count, buffer);
  areaArrived_ += Link().ArrivedInLastRead();
  if (!ok) env_.ui.InfoBox(kRecordsNotRead, true);
  return ok;
}

bool Reception::ReadRecordArea(quint16 count, std::vector<quint8>& area, bool& settled) {
  area.assign(count, 0);
  areaArrived_ = 0;
  settled = false;
  // Records that did not arrive whole stay in the station for the next reception: nothing of
  // them is stored and the station is not reset.
  if (!ReadRecords(count, area.data())) return false;
  quint16 end = static_cast<quint16>(kRecordsAddress + count);
  for (int round = 0; round < kMaxFollowUpRounds; ++round) {
    Header header;
    if (!Link().ReadMemory(kRecordHeaderAddress, sizeof header.bytes, header.bytes) ||
        !header.Consistent() || header.End() < end) {
      // The area can no longer be told apart from what was read: leave it all to the next
      // reception.
      env_.ui.InfoBox(kHeaderNotRead, true);
      return false;
    }
    if (header.End() == end) {
      settled = true;
      return true;
    }
    const quint16 more = static_cast<quint16>(header.End() - end);
    area.resize(area.size() + more, 0);
    const bool moreRead = Link().ReadMemory(end, more, area.data() + area.size() - more);
    areaArrived_ += Link().ArrivedInLastRead();
    if (!moreRead) {
      env_.ui.InfoBox(kRecordsNotRead, true);
      return false;
    }
    end = header.End();
  }
  return true;
}

bool Reception::ResetRecords(std::optional<quint16> oldEnd, ReceptionJournal* journal) {
  const QDateTime now = env_.clock.Now();
  // The moment the station's clock will hold is noted before the frame goes out, so that a
  // later reception can put it into the settings file if the confirmation is lost.
  if (journal) {
    journal->resetMoment = now;
    WriteReceptionJournal(env_.workDir, *journal);
  }
  // Empty record area (end pointer 1792 and its complement) and the PC's time on the clock.
  const quint8 frame[] = {0x00,
                          static_cast<quint8>(now.time().minute()),
                          static_cast<quint8>(now.time().hour()),
                          kEmptyArea[0],
                          kEmptyArea[1],
                          kEmptyArea[2],
                          kEmptyArea[3],
                          0x00,
                          0x00};
  // A frame that did not leave whole is told by the confirmation below, in one message.
  resetSent_ = Link().WriteMemory(kResetFrameAddress, frame, sizeof frame, false);
  DurableStepTaken("reset frame sent");
  // The reset counts once the header reads back consistent with the area emptied: the end
  // pointer below where it was (a call may already follow 1792 again).
  Link().Pause();
  Header header;
  const bool confirmed =
      Link().IsOpen() &&
      Link().ReadMemory(kRecordHeaderAddress, sizeof header.bytes, header.bytes) &&
      header.Consistent() &&
      (header.End() == kRecordsAddress || (oldEnd && header.End() < *oldEnd) ||
       (!oldEnd && header.End() >= kRecordsAddress));
  if (!confirmed) return false;
  resetConfirmed_ = true;
  // The journal goes only once the settings file holds the reset's moment; if the file cannot
  // be written, the journal keeps the moment for the next reception.
  if (SaveResetMoment(now)) {
    RemoveReceptionJournal(env_.workDir);
  } else {
    ReceptionJournal kept = journal ? *journal : ReceptionJournal{};
    kept.stage = ReceptionJournal::Stage::kReset;
    kept.resetMoment = now;
    try {
      WriteReceptionJournal(env_.workDir, kept);
    } catch (const NorvelError&) {
      // Nothing is lost: the calls are stored and the station is clear; only the moment is.
    }
  }
  return true;
}
