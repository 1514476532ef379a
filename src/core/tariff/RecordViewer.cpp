#include "core/tariff/RecordViewer.h"

#include "core/base/Environment.h"
#include "core/base/Errors.h"
#include "core/base/OperatorUi.h"
#include "core/files/DataFiles.h"
#include "core/files/TextFiles.h"
#include "core/tariff/PrintOutput.h"

const QString RecordViewer::kPhoneCaption = QStringLiteral("Укажите (левую) часть тел. номера");
const QString RecordViewer::kDurationCaption =
    QStringLiteral("Укажите длительность разговора (мин)");

namespace {
const QString kPrintQuestion = QStringLiteral(
    "Вывод данных в промежуточный файл PrintFile.txt (да) или непосредственно на принтер (нет)?");
const QString kPrinted = QStringLiteral("Файл печати сформирован");
const QString kPrintFailed = QStringLiteral("Ошибка печати");
// Print 2 looks for the end of a shown line from this character on.
constexpr qsizetype kLineScanStart = 22;

int Compare(qint64 a, qint64 b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}
}  // namespace

RecordViewer::RecordViewer(Environment& env, PrinterOutputFactory& printers)
    : env_(env),
      printers_(printers),
      records_(std::make_shared<std::vector<CallRecord>>()),
      shownSet_(records_) {}

int RecordViewer::CompareSubscriber(const CallRecord& a, const CallRecord& b) {
  if (a.Subscriber != b.Subscriber) return Compare(a.Subscriber, b.Subscriber);
  return CompareStartTime(a, b);
}

int RecordViewer::CompareDuration(const CallRecord& a, const CallRecord& b) {
  // Longest first, so the -1 of an invalid length comes last; equal lengths newest first.
  if (a.Duration != b.Duration) return Compare(b.Duration, a.Duration);
  return CompareStartTime(b, a);
}

int RecordViewer::CompareCityLine(const CallRecord& a, const CallRecord& b) {
  if (a.CityLine != b.CityLine) return Compare(a.CityLine, b.CityLine);
  return CompareStartTime(a, b);
}

bool RecordViewer::LoadRecords(int month, int day, int subscriberChoice) {
  auto records = std::make_shared<std::vector<CallRecord>>();
  records->reserve(static_cast<size_t>(EstimateRecordCount(env_.workDir, month)));
  records_ = records;
  sortMode_ = 0;
  // A line that is no record throws; the record set then holds the records before it.
  LoadCallRecords(env_.workDir, month, day, subscriberChoice, *records);
  if (records->empty()) return false;
  ShowAll();
  return true;
}

template <class Keep>
void RecordViewer::ShowWhere(Keep keep) {
  shownSet_ = records_;
  shownRows_.clear();
  const std::vector<CallRecord>& records = *records_;
  for (size_t i = 0; i < records.size(); ++i) {
    if (keep(records[i])) shownRows_.push_back(static_cast<qint32>(i));
  }
  if (onShownChanged) onShownChanged();
}

void RecordViewer::ShowAll() {
  ShowWhere([](const CallRecord&) { return true; });
}

void RecordViewer::Sort(int mode) {
  std::vector<CallRecord>& records = *records_;
  const auto count = static_cast<qsizetype>(records.size());
  switch (mode) {
    case 1:
      SortCallRecords(records.data(), count, CompareSubscriber);
      break;
    case 2:
      SortCallRecords(records.data(), count, CompareDuration);
      break;
    case 3:
      SortCallRecords(records.data(), count, CompareCityLine);
      break;
    default:
      return;
  }
  sortMode_ = mode;
  ShowAll();
}

void RecordViewer::SelectPhone(const QString& prefix) {
  ShowWhere([&prefix](const CallRecord& r) { return r.DialledNumber.startsWith(prefix); });
}

void RecordViewer::SelectDuration(int minimum) {
  if (minimum <= -1) {
    ShowAll();
    return;
  }
  ShowWhere([minimum](const CallRecord& r) { return r.Duration >= minimum; });
}

void RecordViewer::SelectPhoneButtonClick() {
  const QString prefix = env_.ui.InputBox(kPhoneCaption, QString(), QString());
  if (prefix.isEmpty()) return;
  SelectPhone(prefix);
}

void RecordViewer::SelectDurationButtonClick() {
  QString prompt;
  for (;;) {
    const QString answer = env_.ui.InputBox(kDurationCaption, prompt, QString());
    if (answer.isEmpty()) return;
    bool ok = false;
    const int minimum = answer.trimmed().toInt(&ok, 10);
    if (ok) {
      SelectDuration(minimum);
      return;
    }
    // Asked again, with the rejected text as the prompt.
    prompt = answer;
  }
}

QString RecordViewer::ShownText() const {
  QString text;
  text.reserve(ShownCount() * 40);
  for (qsizetype row = 0; row < ShownCount(); ++row) {
    text += ShownLine(row);
    text += QLatin1String(kLineEnd);
  }
  return text;
}

void RecordViewer::Print(bool grouped) {
  if (grouped && sortMode_ == 0) grouped = false;  // no sort yet: the same as Print 1
  if (onPrinting) onPrinting(true);
  std::unique_ptr<PrintOutput> out;
  if (env_.ui.YesNoBox(kPrintQuestion, false)) {
    out = std::make_unique<PrintFileOutput>(env_.workDir);
  } else {
    out = printers_.CreatePrinterOutput();
  }
  bool ok = out && out->Open() && WritePrint(*out, grouped);
  // After a failure the output is left unfinished: a print job is not sent.
  if (ok) ok = out->Close();
  out.reset();
  if (ok) {
    env_.ui.InfoBox(kPrinted, false);
  } else {
    env_.ui.InfoBox(kPrintFailed, true);
  }
  if (onPrinting) onPrinting(false);
}

bool RecordViewer::WritePrint(PrintOutput& out, bool grouped) {
  if (!grouped) {
    if (!out.WriteLine(kDataFileHeader)) return false;
    for (qsizetype row = 0; row < ShownCount(); ++row) {
      if (!out.WriteLine(ShownLine(row))) return false;
    }
    return true;
  }
  // Groups by the key of the last sort, each under its own heading, read back from the shown
  // text line by line.
  const QString text = ShownText();
  const QStringView all(text);
  qsizetype pos = 0;
  bool first = true;
  qint64 previousKey = 0;
  while (pos < all.size()) {
    const qsizetype cr = all.indexOf(u'\r', qMin(pos + kLineScanStart, all.size()));
    const qsizetype end = cr < 0 ? all.size() : cr;
    const QStringView line = all.mid(pos, end - pos);
    pos = end + 1;
    if (pos < all.size() && all[pos] == u'\n') ++pos;
    CallRecord record;
    try {
      record = TextToCallRecord(line);
    } catch (const ConvertError&) {
      return false;
    }
    const qint64 key = sortMode_ == 1   ? record.Subscriber
                       : sortMode_ == 2 ? record.Duration
                                        : record.CityLine;
    if (first || key != previousKey) {
      if (!first && (!out.WriteLine(QString()) || !out.WriteLine(QString()))) return false;
      if (!out.WriteLine(kDataFileHeader)) return false;
    }
    if (!out.WriteLine(line.toString())) return false;
    first = false;
    previousKey = key;
  }
  return true;
}
