#pragma once

#include <QDateTime>
#include <QString>
#include <vector>

inline constexpr int kMinutesPerDay = 24 * 60;

// One charged call as the station recorded it.
struct CallRecord {
  QDateTime StartTime;  // to the minute
  quint8 Subscriber = 0;
  qint32 Duration = 0;  // whole minutes; -1 when the stored times give no valid length
  quint8 CityLine = 0;  // 1..8; 0 when the record names no city line
  quint8 CallType = 0;
  QString DialledNumber;  // at most 18 characters, one per digit

  bool operator==(const CallRecord&) const = default;
};

inline constexpr int kMaxDialledDigits = 18;

// Decodes the station's raw record stream. The buffer holds the n downloaded bytes and one
// spare byte (length n + 1), into which the end marker 0xE0 is written. Records are dated from
// today, each day marker (0xFF) after a record moving it a day further back. The records are
// appended to `records`, whose reserved room the caller chooses.
void DecodeCallRecords(quint8* buffer, qsizetype length, QDate today,
                       std::vector<CallRecord>& records);

// The one-line text form: start "dd.MM.yyyy H:mm", subscriber, duration, city line, call type
// and dialled number, joined by TABs.
QString CallRecordToText(const CallRecord& record);

// Parses a text line. A first field that is not a date-time throws ConvertError; the number
// fields take the value of their leading digits, or 0.
CallRecord TextToCallRecord(QStringView line);

// A text as it may be shown in a message: characters that cannot be shown (control bytes of a
// damaged line) written as \xNN, and the backslash doubled.
QString EscapedText(QStringView text);
