// The tariffication reception of the station object: fetching the call records, storing them
// in the monthly data files, and resetting the station's record area and clock.
#include <cstdlib>
#include <vector>

#include "files/CallRecords.h"
#include "files/DataFiles.h"
#include "files/DateTimeText.h"
#include "files/SettingsFile.h"
#include "shell/Clock.h"
#include "shell/Environment.h"
#include "shell/OperatorUi.h"
#include "station/StationCtrl.h"

namespace {
const QString kHeaderNotRead = QStringLiteral("Не удалось прочитать заголовок тарификации");
const QString kInconsistent1 = QStringLiteral("Данные в мини-АТС начиная с ");
const QString kInconsistent2 = QStringLiteral(" некорректны.");
const QString kResetQuestion = QStringLiteral("Выполнить сброс данных в станции?");
const QString kNoData = QStringLiteral("В АТС данные о тарификации отсутствуют начиная с ");
const QString kClockMismatch =
    QStringLiteral("Рассогласование во времени между компьютером и станцией");
const QString kRecordsNotRead = QStringLiteral("Не удалось прочесть данные тарификации");
constexpr int kClockTolerance = 5;  // minutes
}  // namespace

void StationCtrlClass::ReceiveTariffication() {
  const quint16 count = ReadRecordHeader();
  if (count == 0) return;
  std::vector<quint8> buffer(count + 1u, 0);
  // Records that did not arrive whole stay in the station for the next reception: nothing of
  // them is stored and the station is not reset.
  if (!ReadRecords(count, buffer.data())) return;
  std::vector<CallRecord> records;
  records.reserve((buffer.size() + 6) / 7);
  DecodeCallRecords(buffer.data(), static_cast<qsizetype>(buffer.size()), env_.clock.Now().date(),
                    records);
  // Throws when the files cannot take the records; they are then as before and the station
  // keeps its records.
  if (!records.empty()) AppendCallRecords(env_, records);
  ResetRecords();
}

quint16 StationCtrlClass::ReadRecordHeader() {
  if (!CheckLink()) RebuildLink();
  if (!link_->IsOpen()) {
    ReportNoLink();
    return 0;
  }
  const quint8 reception[] = {0x01, 0x03};
  link_->WriteMemory(kReceptionAddress, reception, sizeof reception);
  link_->Pause();

  quint8 header[6] = {};
  bool headerRead = false;
  const quint16 boards = ReadBoardCount();
  if (IsValidBoardCount(boards)) {
    if (boards != boardCount_) {
      SetBoardCount(boards);
      SaveLinkSettings(env_, link_->PortNumber(), boards);
    }
    headerRead = link_->ReadMemory(kRecordHeaderAddress, sizeof header, header);
  }
  if (!headerRead) {
    // The station keeps its records: they may well be fine, only the header did not come.
    env_.ui.InfoBox(kHeaderNotRead, true);
    return 0;
  }

  const quint16 end = static_cast<quint16>(header[2] | header[3] << 8);
  const quint16 count = static_cast<quint16>(end - kRecordsAddress);
  const bool consistent =
      header[4] == static_cast<quint8>(~header[2]) && header[5] == static_cast<quint8>(~header[3]);
  // An end pointer before the record area is as wrong as a mismatched complement.
  if (!consistent || end < kRecordsAddress) {
    const LinkSettings stored = ReadSettingsFile(env_);
    const QString question = kInconsistent1 + DateTimeToText(stored.resetMoment) + kInconsistent2 +
                             QStringLiteral("\r\n") + kResetQuestion;
    if (env_.ui.YesNoBox(question, true)) ResetRecords();
    return 0;
  }
  if (count < kMinRecordBytes) {
    const LinkSettings stored = ReadSettingsFile(env_);
    ResetRecords();
    env_.ui.InfoBox(kNoData + DateTimeToText(stored.resetMoment), false);
    return 0;
  }
  // The comparison stays within one day: 23:58 against 00:01 counts as far apart.
  const QTime now = env_.clock.Now().time();
  const int stationMinutes = header[1] * 60 + header[0];
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

void StationCtrlClass::ResetRecords() {
  const QDateTime now = env_.clock.Now();
  // Empty record area (end pointer 1792 and its complement) and the PC's time on the clock.
  const quint8 frame[] = {0x00,
                          static_cast<quint8>(now.time().minute()),
                          static_cast<quint8>(now.time().hour()),
                          0x00,
                          0x07,
                          0xFF,
                          0xF8,
                          0x00,
                          0x00};
  link_->WriteMemory(kResetFrameAddress, frame, sizeof frame);
  WriteSettingsFile(env_, link_->PortNumber(), boardCount_, now);
}
