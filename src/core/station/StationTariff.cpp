// The tariffication reception of the station object: fetching the call records, storing them
// in the monthly data files, and resetting the station's record area and clock.
//
// No call may be lost or stored twice, whatever the line does. So the record area is read
// until its end pointer stands still (calls that end during the download are fetched too),
// decoded whole, stored, and a journal of the stored bytes is synced before the reset frame is
// sent; after the frame the header is read once more to confirm the reset. A reset that did not
// take leaves the journal, and the next reception stores only what follows those bytes.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/base/Errors.h"
#include "core/base/OperatorUi.h"
#include "core/files/CallRecords.h"
#include "core/files/DataFiles.h"
#include "core/files/DateTimeText.h"
#include "core/files/SettingsFile.h"
#include "core/station/ReceptionJournal.h"
#include "core/station/StationCtrl.h"

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

}  // namespace

ReceptionResult StationCtrlClass::ReceiveTariffication() {
  ReceptionResult result;
  const quint16 count = ReadRecordHeader();
  if (count == 0) {
    result.outcome = headerOutcome_;
    return result;
  }
  std::vector<quint8> area;
  bool settled = false;
  if (!ReadRecordArea(count, area, settled)) return result;

  const std::optional<ReceptionJournal> journal = ReadReceptionJournal(env_.workDir);
  const qsizetype skip = journal && StartsWith(area, journal->bytes) ? journal->bytes.size() : 0;
  std::vector<CallRecord> records = DecodeArea(area, skip, env_.clock.Now().date());
  if (skip > 0) env_.ui.InfoBox(kAlreadyStored, false);

  ReceptionJournal stored;
  stored.stored = env_.clock.Now();
  stored.bytes =
      QByteArray(reinterpret_cast<const char*>(area.data()), static_cast<qsizetype>(area.size()));
  if (journal && skip > 0) stored.files = journal->files;
  // The journal is on disk before the reset frame goes out; if it cannot be written, the calls
  // are taken out of the files again and the station keeps them.
  const auto keepJournal = [&](const QStringList& files) {
    for (const QString& file : files) {
      if (!stored.files.contains(file)) stored.files.append(file);
    }
    WriteReceptionJournal(env_.workDir, stored);
  };
  if (records.empty()) {
    keepJournal({});
  } else {
    AppendCallRecords(env_.workDir, records, keepJournal);
  }

  for (const CallRecord& record : records) {
    ++result.storedPerFile[DataFileName(record.StartTime.date().month())];
  }
  result.outcome =
      records.empty() ? ReceptionResult::Outcome::kNothing : ReceptionResult::Outcome::kStored;

  const quint16 end = static_cast<quint16>(kRecordsAddress + area.size());
  // Calls kept ending during the download: resetting now would wipe the latest of them.
  result.cleared = settled && ResetRecords(end);
  if (!result.cleared) env_.ui.InfoBox(kNotCleared, true);
  return result;
}

quint16 StationCtrlClass::ReadRecordHeader() {
  headerOutcome_ = ReceptionResult::Outcome::kNoAnswer;
  if (!CheckLink()) RebuildLink();
  if (!link_->IsOpen()) {
    ReportNoLink();
    return 0;
  }
  const quint8 reception[] = {0x01, 0x03};
  link_->WriteMemory(kReceptionAddress, reception, sizeof reception);
  link_->Pause();

  Header header;
  bool headerRead = false;
  if (RefreshBoardCount()) {
    headerRead = link_->ReadMemory(kRecordHeaderAddress, sizeof header.bytes, header.bytes);
  }
  if (!headerRead) {
    // The station keeps its records: they may well be fine, only the header did not come.
    env_.ui.InfoBox(kHeaderNotRead, true);
    return 0;
  }

  const quint16 end = header.End();
  const quint16 count = static_cast<quint16>(end - kRecordsAddress);
  // An end pointer before the record area is as wrong as a mismatched complement.
  if (!header.Consistent() || end < kRecordsAddress) {
    // Our own reset frame, cut off after the calls it was to clear had been stored: finish it
    // rather than ask, since nothing in the station is left to lose.
    const std::optional<ReceptionJournal> journal = ReadReceptionJournal(env_.workDir);
    if (journal &&
        header.InterruptedResetOf(static_cast<quint16>(kRecordsAddress + journal->bytes.size()))) {
      if (ResetRecords(std::nullopt)) {
        headerOutcome_ = ReceptionResult::Outcome::kNothing;
        env_.ui.InfoBox(kResetFinished, false);
      } else {
        env_.ui.InfoBox(kHeaderNotRead, true);
      }
      return 0;
    }
    const LinkSettings stored = ReadSettingsFile(env_.workDir, env_.ui, env_.clock);
    const QString question = kInconsistent1 + DateTimeToText(stored.resetMoment) + kInconsistent2 +
                             kCrLf + kResetQuestion;
    if (env_.ui.YesNoBox(question, true)) {
      ResetRecords(std::nullopt);
      headerOutcome_ = ReceptionResult::Outcome::kNothing;
    } else {
      headerOutcome_ = ReceptionResult::Outcome::kInconsistent;
    }
    return 0;
  }
  if (count < kMinRecordBytes) {
    const LinkSettings stored = ReadSettingsFile(env_.workDir, env_.ui, env_.clock);
    ResetRecords(end);
    env_.ui.InfoBox(kNoData + DateTimeToText(stored.resetMoment), false);
    headerOutcome_ = ReceptionResult::Outcome::kNothing;
    return 0;
  }
  // The comparison stays within one day: 23:58 against 00:01 counts as far apart.
  const QTime now = env_.clock.Now().time();
  const int stationMinutes = header.bytes[1] * 60 + header.bytes[0];
  const int pcMinutes = now.hour() * 60 + now.minute();
  if (std::abs(stationMinutes - pcMinutes) > kClockTolerance) {
    env_.ui.InfoBox(kClockMismatch, true);
  }
  return count;
}

bool StationCtrlClass::ReadRecords(quint16 count, quint8* buffer) {
  const bool ok = link_->ReadMemory(kRecordsAddress, count, buffer);
  if (!ok) env_.ui.InfoBox(kRecordsNotRead, true);
  return ok;
}

bool StationCtrlClass::ReadRecordArea(quint16 count, std::vector<quint8>& area, bool& settled) {
  area.assign(count, 0);
  settled = false;
  // Records that did not arrive whole stay in the station for the next reception: nothing of
  // them is stored and the station is not reset.
  if (!ReadRecords(count, area.data())) return false;
  quint16 end = static_cast<quint16>(kRecordsAddress + count);
  for (int round = 0; round < kMaxFollowUpRounds; ++round) {
    Header header;
    if (!link_->ReadMemory(kRecordHeaderAddress, sizeof header.bytes, header.bytes) ||
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
    if (!link_->ReadMemory(end, more, area.data() + area.size() - more)) {
      env_.ui.InfoBox(kRecordsNotRead, true);
      return false;
    }
    end = header.End();
  }
  return true;
}

bool StationCtrlClass::ResetRecords(std::optional<quint16> oldEnd) {
  const QDateTime now = env_.clock.Now();
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
  link_->WriteMemory(kResetFrameAddress, frame, sizeof frame, false);
  // The reset counts once the header reads back consistent with the area emptied: the end
  // pointer below where it was (a call may already follow 1792 again).
  link_->Pause();
  Header header;
  const bool confirmed =
      link_->ReadMemory(kRecordHeaderAddress, sizeof header.bytes, header.bytes) &&
      header.Consistent() &&
      (header.End() == kRecordsAddress || (oldEnd && header.End() < *oldEnd) ||
       (!oldEnd && header.End() >= kRecordsAddress));
  if (!confirmed) return false;
  RemoveReceptionJournal(env_.workDir);
  WriteSettingsFile(env_.workDir, SettingsPort(), boardCount_, now);
  return true;
}
