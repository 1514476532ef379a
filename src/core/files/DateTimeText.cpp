#include "core/files/DateTimeText.h"

#include "core/base/Clock.h"

namespace {

void AppendTwoDigits(QString& out, int value) {
  out += QChar(u'0' + value / 10);
  out += QChar(u'0' + value % 10);
}

// Reads 1 to maxDigits decimal digits at pos; gives -1 when there are none.
int ReadNumber(QStringView text, qsizetype& pos, int maxDigits, int* digits = nullptr) {
  int value = 0;
  int count = 0;
  while (pos < text.size() && count < maxDigits && text[pos] >= u'0' && text[pos] <= u'9') {
    value = value * 10 + (text[pos].unicode() - u'0');
    ++pos;
    ++count;
  }
  if (digits) *digits = count;
  return count == 0 ? -1 : value;
}

bool IsBlank(QChar c) {
  return c == u' ' || c == u'\t';
}

}  // namespace

QString DateToText(QDate date) {
  QString out;
  out.reserve(10);
  AppendTwoDigits(out, date.day());
  out += u'.';
  AppendTwoDigits(out, date.month());
  out += u'.';
  out += QString::number(date.year()).rightJustified(4, u'0');
  return out;
}

QString TimeToTextWithoutSeconds(QTime time) {
  QString out = QString::number(time.hour());
  out += u':';
  AppendTwoDigits(out, time.minute());
  return out;
}

QString TimeToText(QTime time) {
  QString out = TimeToTextWithoutSeconds(time);
  out += u':';
  AppendTwoDigits(out, time.second());
  return out;
}

QString DateTimeToText(const QDateTime& moment) {
  QString out = DateToText(moment.date());
  const QTime time = moment.time();
  if (time.hour() != 0 || time.minute() != 0 || time.second() != 0) {
    out += u' ';
    out += TimeToText(time);
  }
  return out;
}

std::optional<QDateTime> TextToDateTime(QStringView text) {
  qsizetype pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;

  const int day = ReadNumber(text, pos, 2);
  if (day < 0 || pos >= text.size() || text[pos] != u'.') return std::nullopt;
  ++pos;
  const int month = ReadNumber(text, pos, 2);
  if (month < 0 || pos >= text.size() || text[pos] != u'.') return std::nullopt;
  ++pos;
  int yearDigits = 0;
  int year = ReadNumber(text, pos, 4, &yearDigits);
  if (year < 0 || yearDigits == 3) return std::nullopt;
  if (yearDigits <= 2) year += 2000;
  const QDate date(year, month, day);
  if (!date.isValid()) return std::nullopt;

  QTime time(0, 0);
  qsizetype afterDate = pos;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos < text.size()) {
    if (pos == afterDate) return std::nullopt;  // the time must be set off by a blank
    const int hour = ReadNumber(text, pos, 2);
    if (hour < 0 || pos >= text.size() || text[pos] != u':') return std::nullopt;
    ++pos;
    int minuteDigits = 0;
    const int minute = ReadNumber(text, pos, 2, &minuteDigits);
    if (minute < 0) return std::nullopt;
    int second = 0;
    if (pos < text.size() && text[pos] == u':') {
      ++pos;
      second = ReadNumber(text, pos, 2);
      if (second < 0) return std::nullopt;
    }
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos != text.size()) return std::nullopt;
    time = QTime(hour, minute, second);
    if (!time.isValid()) return std::nullopt;
  }
  return MakeDateTime(date, time);
}
