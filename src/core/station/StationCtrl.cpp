#include "core/station/StationCtrl.h"

#include <QDir>
#include <QFile>
#include <algorithm>

#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/base/Errors.h"
#include "core/base/OperatorUi.h"
#include "core/files/ConfigCopy.h"
#include "core/files/SettingsFile.h"
#include "core/platform/DurableFile.h"
#include "core/station/ConfigHistory.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kCheckCable =
    QStringLiteral("Проверьте подключение соединительного кабеля к порту COM");
const QString kLoadCopy = QStringLiteral("Загрузить копию конфигурации?");
const QString kWriteFailedDot = QStringLiteral("Ошибка записи в АТС.");
const QString kSwitchQuestion =
    kWriteFailedDot + kCrLf +
    QStringLiteral("Проверьте положение переключателя \"Программирование\",") + kCrLf +
    QStringLiteral("переведите его в верхнее положение и повторите запись (Ok)") + kCrLf +
    QStringLiteral("или выберите \"Cancel\" для выхода");
const QString kCannotWrite = QStringLiteral("Запись данных в станцию не может быть выполнена");
const QString kReadBackDiffers = QStringLiteral("Ошибка записи/чтения из АТС");
const QString kReadFailed = QStringLiteral("Ошибка чтения из АТС");
const QString kMismatch =
    QStringLiteral("Обнаружено несовпадение программирования АТС") + kCrLf +
    QStringLiteral("и копии программирования.") + kCrLf +
    QStringLiteral("Вы можете записать в станцию копию или продолжить программирование.") + kCrLf +
    QStringLiteral("ЗАПИСАТЬ?");
const QString kChanged =
    QStringLiteral("Конфигурация была изменена.") + kCrLf + QStringLiteral("Записать в станцию?");
const QString kWritten = QStringLiteral("Запись выполнена успешно");
const QString kPreparing = QStringLiteral("Устанавливается и проверяется связь со станцией");
constexpr quint8 kWriteTestValue = 0xAA;
const QString kBadBoardCount =
    QStringLiteral("В файле NorvelWin.ini неверно указано количество плат (%1). Принимается %2");
constexpr quint16 kDefaultBoards = 2;
const QString kHistoryNotKept =
    QStringLiteral("История записей конфигурации (папка history) не сохранена: ");
const QString kWriteNotStarted = QStringLiteral(
    "Запись в станцию не начата: без этой копии к прежней конфигурации не вернуться.");
// The original of the byte at 1791 while the write-enable test has the test value there.
const QString kWriteTestFile = QStringLiteral("write-test.pending");

}  // namespace

StationCtrlClass::StationCtrlClass(Environment& env, std::optional<quint16> port)
    : env_(env),
      portOverride_(port),
      reception_(std::make_unique<Reception>(env, static_cast<ReceptionStation&>(*this))) {
  RebuildLink();
}

StationCtrlClass::~StationCtrlClass() = default;

ReceptionResult StationCtrlClass::ReceiveTariffication() {
  return reception_->Receive();
}

void StationCtrlClass::RebuildLink() {
  link_.reset();
  LinkSettings settings;
  try {
    settings = ReadSettingsFile(env_.workDir, env_.ui, env_.clock);
  } catch (const NorvelError& error) {
    // A damaged settings file must not leave the station object without a link: the error is
    // shown and the defaults serve until the file is written again.
    env_.ui.ErrorBox(error.Message());
    settings = LinkSettings{env_.clock.Now(), kDefaultPort, 2};
  }
  // A station has 1 to 4 boards; any other count would lay out rows no station has, and edits
  // in them would go nowhere. The file is put right by the next save of the board count.
  if (!IsValidBoardCount(settings.boardCount)) {
    env_.ui.InfoBox(kBadBoardCount.arg(settings.boardCount).arg(kDefaultBoards), true);
    settings.boardCount = kDefaultBoards;
  }
  SetBoardCount(settings.boardCount);
  settingsPort_ = settings.portNumber;
  link_ = std::make_unique<RS232Class>(env_, portOverride_.value_or(settings.portNumber));
  link_->SetFinishing(finishing_);
  link_->Open();
  if (!CheckLink()) link_->Close();
}

bool StationCtrlClass::CheckLink() {
  if (!link_ || !link_->IsOpen()) return false;
  quint8 byte = 0;
  return link_->ReadMemory(kLinkCheckAddress, 1, &byte);
}

void StationCtrlClass::ReportNoLink() {
  env_.ui.InfoBox(kCheckCable + QString::number(link_->PortNumber()), true);
}

quint16 StationCtrlClass::ReadBoardCount() {
  quint8 byte = 0;
  if (!link_->ReadMemory(kBoardCountAddress, 1, &byte)) return 0;
  return static_cast<quint16>(byte + 1);
}

bool StationCtrlClass::RefreshBoardCount() {
  const quint16 count = ReadBoardCount();
  if (!IsValidBoardCount(count)) return false;
  if (count != boardCount_) {
    SetBoardCount(count);
    SaveLinkSettings(env_.workDir, env_.ui, env_.clock, SettingsPort(), count);
  }
  return true;
}

void StationCtrlClass::SetBoardCount(quint16 count) {
  boardCount_ = count;
  subscriberCount_ = static_cast<quint16>(6 * count);
  cityLineCount_ = static_cast<quint16>(2 * count);
}

bool StationCtrlClass::ReadImage(ConfigImage& buffer) {
  return link_->ReadMemory(kImageAddress, kImageSize, buffer.data());
}

bool StationCtrlClass::CompareImages(const ConfigImage& a, const ConfigImage& b) {
  return std::equal(a.begin(), a.begin() + kComparedBytes, b.begin());
}

bool StationCtrlClass::StartProgramming() {
  // Modified is cleared only where a new image replaces the held one: a failed read keeps the
  // held image with its edits, and the leave question must still offer to write them.
  if (!CheckLink()) RebuildLink();

  if (!link_->IsOpen()) {
    const QString question =
        kCheckCable + QString::number(link_->PortNumber()) + u'.' + kCrLf + kLoadCopy;
    if (!env_.ui.YesNoBox(question, true)) return false;
    if (!ReadConfigCopy(env_.workDir, env_.ui, image_)) return false;
    modified_ = false;
    return true;
  }

  // The image is read into a buffer of its own and taken only when it arrived whole, so a
  // failed read never spoils the image that open windows may still write to the station.
  if (!LoadFromStation()) {
    env_.ui.InfoBox(kReadFailed, true);
    return false;
  }

  ConfigImage copy{};
  const bool copyLoaded = ReadConfigCopy(env_.workDir, env_.ui, copy);
  if (copyLoaded && CompareImages(image_, copy)) return true;
  // Without a loaded copy there is nothing to write: "&Yes" then goes on like "&No".
  if (env_.ui.YesNoBox(kMismatch, false) && copyLoaded) return WriteImage(copy);
  return true;
}

bool StationCtrlClass::LoadFromStation() {
  if (!RefreshBoardCount()) return false;
  SettleWriteTest(nullptr);
  ConfigImage fresh{};
  if (!ReadImage(fresh)) return false;
  image_ = fresh;
  stationImage_ = fresh;
  modified_ = false;
  verdict_ = {};  // what the station holds is known again
  return true;
}

bool StationCtrlClass::WriteImage(const ConfigImage& image) {
  image_ = image;
  verdict_ = {};
  const ConfigImage before = stationImage_;
  ConfigHistoryEntry history(env_.workDir, env_.clock.Now());
  // What the station holds is kept before anything of the write goes out: it is the way back,
  // so without it the write does not start.
  const QString notKept = history.KeepBefore(before);
  if (!notKept.isEmpty()) {
    historyRefused_ = true;
    verdict_.holds = WriteVerdict::Holds::kBefore;
    env_.ui.InfoBox(kHistoryNotKept + notKept + kCrLf + kWriteNotStarted, true);
    return false;
  }
  historyRefused_ = false;
  const QString beforeFile = QDir(QLatin1String(kHistoryDirName)).filePath(history.BeforeName());
  stationTouched_ = false;
  // Once the frame has gone out, a stop asked meanwhile waits for the read-back: what the
  // station holds is told from it, not guessed.
  // The link may be rebuilt on the way (a vanished device): the state is the station object's,
  // and every link it makes takes it.
  struct Finishing {
    StationCtrlClass& station;
    ~Finishing() {
      station.finishing_ = false;
      if (station.link_) station.link_->SetFinishing(false);
    }
  };
  const bool sent = SendImage();
  const Finishing finishing{*this};
  finishing_ = true;
  link_->SetFinishing(true);
  if (!sent) {
    JudgeFailedWrite(before, beforeFile);
    return false;
  }
  // A device that vanished during the frame is not asked for the read-back: the frame's own
  // message has said how far it got.
  bool written = link_->IsOpen();
  if (written) {
    link_->Pause();
    ConfigImage readBack{};
    written = link_->IsOpen() && link_->ReadMemory(kImageAddress, kImageSize, readBack.data());
    // Every byte written is checked, the last five too: the comparison of the programming
    // entry leaves them out, but a write that lost them has not written the image.
    if (written && readBack != image_) {
      // Noise on the line garbles a byte of the read as easily as one of the write: the
      // station is read again, and only what two reads agree on counts as what it holds.
      readBack = ReconciledReadBack(readBack);
      env_.ui.InfoBox(kReadBackDiffers, true);
      NoteHistory(history.KeepFailed(image_));
      SettleWriteTest(&readBack);
      stationImage_ = readBack;
      verdict_ = WriteVerdict::Judge(before, image_, readBack);
      verdict_.beforeFile = beforeFile;
      return false;
    }
  }
  if (!written) {
    env_.ui.InfoBox(kWriteFailedDot, true);
    NoteHistory(history.KeepFailed(image_));
    JudgeFailedWrite(before, beforeFile);
    return false;
  }
  ForgetWriteTest();
  NoteHistory(history.KeepAfter(image_));
  stationImage_ = image_;
  return true;
}

ConfigImage StationCtrlClass::ReconciledReadBack(const ConfigImage& first) {
  std::vector<ConfigImage> reads{first};
  for (int again = 0; again < 2; ++again) {
    ConfigImage read{};
    link_->Pause();
    if (!link_->IsOpen() || !link_->ReadMemory(kImageAddress, kImageSize, read.data())) break;
    reads.push_back(read);
    if (read == reads[reads.size() - 2]) break;  // two reads agree on every byte
  }
  ConfigImage held = reads.back();
  for (int i = 0; i < kImageSize; ++i) {
    // A byte two reads agree on is the station's; the others stay as last read.
    for (size_t a = 0; a < reads.size(); ++a) {
      for (size_t b = a + 1; b < reads.size(); ++b) {
        if (reads[a][i] == reads[b][i]) held[i] = reads[a][i];
      }
    }
  }
  return held;
}

void StationCtrlClass::JudgeFailedWrite(const ConfigImage& before, const QString& beforeFile) {
  // Nothing went out, or the station refused the test byte: it holds what it held.
  if (!stationTouched_) {
    verdict_.holds = WriteVerdict::Holds::kBefore;
    return;
  }
  verdict_.beforeFile = beforeFile;
  if (!CheckLink()) RebuildLink();
  ConfigImage held{};
  if (!link_->IsOpen() || !ReadImage(held)) {
    verdict_.holds = WriteVerdict::Holds::kUnknown;
    return;
  }
  SettleWriteTest(&held);
  verdict_ = WriteVerdict::Judge(before, image_, held);
  verdict_.beforeFile = beforeFile;
  stationImage_ = held;
}

void StationCtrlClass::NoteHistory(const QString& failure) {
  // Told once a run: the images after the write never decide it.
  if (failure.isEmpty() || historyFailureShown_) return;
  historyFailureShown_ = true;
  env_.ui.InfoBox(kHistoryNotKept + failure, true);
}

bool StationCtrlClass::SendImage() {
  if (!PrepareWrite()) return false;
  stationTouched_ = true;
  link_->WriteMemory(kImageAddress, image_.data(), kImageSize);
  return true;
}

QString StationCtrlClass::WriteTestPath() const {
  return QDir(env_.workDir).filePath(QLatin1String(kHistoryDirName) + u'/' + kWriteTestFile);
}

bool StationCtrlClass::WriteTestPending(const QString& workDir) {
  return QFile::exists(
      QDir(workDir).filePath(QLatin1String(kHistoryDirName) + u'/' + kWriteTestFile));
}

bool StationCtrlClass::KeepWriteTest(quint8 original, QString* reason) {
  // One still unsettled holds the true original; the byte read now may be its test value.
  if (QFile::exists(WriteTestPath())) return true;
  if (!QDir(env_.workDir).mkpath(QLatin1String(kHistoryDirName))) {
    *reason = QStringLiteral("не удается создать папку %1").arg(kHistoryDirName);
    return false;
  }
  return ReplaceFileDurably(WriteTestPath(), QByteArray::number(original) + '\n', reason);
}

void StationCtrlClass::ForgetWriteTest() {
  QFile::remove(WriteTestPath());
}

void StationCtrlClass::SettleWriteTest(ConfigImage* held) {
  QFile file(WriteTestPath());
  if (!file.open(QIODevice::ReadOnly)) return;
  bool number = false;
  const uint original = file.read(16).trimmed().toUInt(&number);
  file.close();
  if (!number || original > 0xFF) {
    ForgetWriteTest();
    return;
  }
  quint8 now = 0;
  if (held) {
    now = (*held)[kImageSize - 1];
  } else if (!link_->ReadMemory(kLinkCheckAddress, 1, &now)) {
    return;  // asked again at the next contact
  }
  // Anything but the test value means the byte was put back or written since.
  if (now != kWriteTestValue || (held && image_[kImageSize - 1] == kWriteTestValue)) {
    ForgetWriteTest();
    return;
  }
  const auto value = static_cast<quint8>(original);
  link_->Pause();
  link_->WriteMemory(kLinkCheckAddress, &value, 1);
  link_->Pause();
  quint8 readBack = 0;
  if (link_->ReadMemory(kLinkCheckAddress, 1, &readBack) && readBack == value) {
    if (held) (*held)[kImageSize - 1] = value;
    ForgetWriteTest();
  }
}

bool StationCtrlClass::PrepareWrite() {
  if (!CheckLink()) RebuildLink();
  if (!link_->IsOpen()) {
    ReportNoLink();
    return false;
  }
  // A test byte an earlier write left in the station when the line was lost goes back first.
  SettleWriteTest(nullptr);
  env_.ui.StartProgress(kPreparing, 5);
  env_.ui.SetProgress(1);
  quint8 previous = 0;
  bool ok = link_->ReadMemory(kLinkCheckAddress, 1, &previous);
  QString notKept;
  if (ok && !KeepWriteTest(previous, &notKept)) {
    env_.ui.EndProgress();
    env_.ui.InfoBox(kHistoryNotKept + notKept + kCrLf + kWriteNotStarted, true);
    return false;
  }
  if (ok) {
    stationTouched_ = true;
    ok = TestWriteEnable(kWriteTestValue);
    // The switch is asked about only when the station answered and kept its own byte; a
    // station that stopped answering (the cable pulled) is a matter of the cable, not of the
    // switch, and turning the switch would not help.
    if (!ok && !testRefused_) ReportNoLink();
    if (!ok && testRefused_ && env_.ui.YesCancelBox(kSwitchQuestion, true)) {
      RebuildLink();
      ok = TestWriteEnable(kWriteTestValue);
    }
    if (ok) {
      // The test byte is put back, so a successful preparation leaves the station unchanged.
      env_.ui.SetProgress(3);
      link_->WriteMemory(kLinkCheckAddress, &previous, 1);
      env_.ui.SetProgress(4);
      link_->Pause();
    } else if (testRefused_) {
      // The station kept its own byte: nothing of this write reached it.
      stationTouched_ = false;
      ForgetWriteTest();
    }
  }
  env_.ui.EndProgress();
  if (!ok) env_.ui.InfoBox(kCannotWrite, true);
  return ok;
}

bool StationCtrlClass::TestWriteEnable(quint8 value) {
  // A write-protected station keeps its old byte, so the read-back tells.
  link_->Pause();
  link_->WriteMemory(kLinkCheckAddress, &value, 1);
  env_.ui.SetProgress(2);
  link_->Pause();
  quint8 readBack = 0;
  const bool read = link_->ReadMemory(kLinkCheckAddress, 1, &readBack);
  testRefused_ = read && readBack != value;
  return read && readBack == value;
}

StationCtrlClass::WriteOutcome StationCtrlClass::WriteAndSave() {
  if (!WriteImage(image_)) {
    return historyRefused_ ? WriteOutcome::kHistoryNotKept : WriteOutcome::kNotWritten;
  }
  if (!WriteConfigCopy(env_.workDir, env_.ui, image_)) return WriteOutcome::kCopyNotSaved;
  env_.ui.InfoBox(kWritten, false);
  modified_ = false;
  return WriteOutcome::kWritten;
}

void StationCtrlClass::OfferWriteOnLeave() {
  if (!modified_) return;
  modified_ = false;
  if (env_.ui.YesNoBox(kChanged, false)) WriteAndSave();
}

void StationCtrlClass::SetImage(const ConfigImage& image) {
  image_ = image;
  modified_ = true;
}
