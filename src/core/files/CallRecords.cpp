#include "core/files/CallRecords.h"

#include "core/base/Clock.h"
#include "core/base/Errors.h"
#include "core/files/DateTimeText.h"
#include "core/files/DecimalText.h"

namespace {

constexpr quint8 kEndMarker = 0xE0;
constexpr quint8 kDayMarker = 0xFF;
constexpr int kHeaderBytes = 6;
constexpr int kMaxDigitBytes = 9;

// City line for the low four bits of B5.
constexpr quint8 kCityLines[16] = {1, 3, 5, 7, 0, 0, 0, 0, 2, 4, 6, 8, 0, 0, 0, 0};
// Character for each half-byte of a digit byte.
constexpr char16_t kDigitChars[16] = {u' ', u'1', u'2', u'3', u'4', u'5', u'6', u'7',
                                      u'8', u'9', u'0', u'*', u'#', u'?', u'?', u'?'};

bool HasTopThreeBits(quint8 byte) {
  return (byte & 0xE0) == 0xE0;
}

bool IsRecordStart(const quint8* buffer, qsizetype length, qsizetype p) {
  return HasTopThreeBits(buffer[p]) && buffer[p] != kDayMarker && p + 1 < length &&
         (buffer[p + 1] & 0xC0) == 0xC0;
}

}  // namespace

QString EscapedText(QStringView text) {
  // A damaged line may be megabytes long: its first 200 characters tell what it is.
  constexpr qsizetype kShown = 200;
  QString shown;
  for (QChar c : text.left(kShown)) {
    if (c == u'\\') {
      shown += QStringLiteral("\\\\");
    } else if (c.isPrint()) {
      shown += c;
    } else {
      shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    }
  }
  if (text.size() > kShown) shown += QStringLiteral("… (%1 знаков)").arg(text.size());
  return shown;
}

void DecodeCallRecords(quint8* buffer, qsizetype length, QDate today,
                       std::vector<CallRecord>& records) {
  if (length <= 0) return;
  buffer[length - 1] = kEndMarker;
  const qsizetype downloaded = length - 1;
  const size_t first = records.size();
  qsizetype p = 0;
  int days = 0;
  for (;;) {
    while (p < length && !IsRecordStart(buffer, length, p)) {
      if (buffer[p] == kDayMarker) ++days;
      ++p;
    }
    // A record needs its six header bytes within the download. A final call without digits
    // has nothing after them; the station is reset after the reception, so it is decoded
    // rather than lost.
    if (p >= length || p > downloaded - kHeaderBytes) break;

    const quint8* b = buffer + p;
    const int startHour = b[0] & 0x1F;
    const int startMinute = b[1] & 0x3F;
    const int endHour = b[2] & 0x1F;
    const int endMinute = b[3] & 0x3F;

    CallRecord record;
    record.StartTime =
        MakeDateTime(today.addDays(days), QTime(qMin(startHour, 23), qMin(startMinute, 59)));
    const int x = b[4] & 0x3F;
    record.Subscriber = static_cast<quint8>(20 + 6 * (x & 0x03) + (x >> 3));
    const int start = startHour * 60 + startMinute;
    int end = endHour * 60 + endMinute;
    if (end < start) end += kMinutesPerDay;
    record.Duration = end - start > kMinutesPerDay ? -1 : end - start;
    record.CityLine = (b[5] & 0xB0) == 0xB0 ? kCityLines[b[5] & 0x0F] : 0;
    record.CallType = static_cast<quint8>(b[2] >> 6);

    int digitBytes = 0;
    QChar digits[2 * kMaxDigitBytes];
    while (digitBytes < kMaxDigitBytes && p + kHeaderBytes + digitBytes < length &&
           !HasTopThreeBits(b[kHeaderBytes + digitBytes])) {
      const quint8 byte = b[kHeaderBytes + digitBytes];
      digits[2 * digitBytes] = kDigitChars[byte >> 4];
      digits[2 * digitBytes + 1] = kDigitChars[byte & 0x0F];
      ++digitBytes;
    }
    record.DialledNumber = QString(digits, 2 * digitBytes);
    records.push_back(std::move(record));
    p += kHeaderBytes + digitBytes;
  }
  if (days != 0) {
    for (size_t i = first; i < records.size(); ++i) {
      records[i].StartTime = records[i].StartTime.addDays(-days);
    }
  }
}

QString CallRecordToText(const CallRecord& r) {
  QString line;
  line.reserve(48);
  line += DateToText(r.StartTime.date());
  line += u' ';
  line += TimeToTextWithoutSeconds(r.StartTime.time());
  line += u'\t';
  line += QString::number(r.Subscriber);
  line += u'\t';
  line += QString::number(r.Duration);
  line += u'\t';
  line += QString::number(r.CityLine);
  line += u'\t';
  line += QString::number(r.CallType);
  line += u'\t';
  line += r.DialledNumber;
  return line;
}

CallRecord TextToCallRecord(QStringView line) {
  QStringView fields[5];
  for (QStringView& field : fields) {
    const qsizetype tab = line.indexOf(u'\t');
    if (tab < 0) continue;  // the field is empty and the line stays as it is
    field = line.left(tab);
    line = line.mid(tab + 1);
  }
  CallRecord record;
  const std::optional<QDateTime> start = TextToDateTime(fields[0]);
  if (!start) {
    throw ConvertError(QStringLiteral("«%1» — неверные дата и время").arg(EscapedText(fields[0])));
  }
  record.StartTime = *start;
  record.Subscriber = static_cast<quint8>(LeadingNumber(fields[1]));
  record.Duration = static_cast<qint32>(LeadingNumber(fields[2]));
  record.CityLine = static_cast<quint8>(LeadingNumber(fields[3]));
  record.CallType = static_cast<quint8>(LeadingNumber(fields[4]));
  record.DialledNumber = line.left(kMaxDialledDigits).toString();
  return record;
}
