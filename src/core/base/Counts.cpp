#include "core/base/Counts.h"

QString RussianWord(qint64 n, const char* one, const char* few, const char* many) {
  const qint64 tens = (n < 0 ? -n : n) % 100;
  const qint64 units = tens % 10;
  const char* word = (tens >= 11 && tens <= 14)   ? many
                     : units == 1                 ? one
                     : (units >= 2 && units <= 4) ? few
                                                  : many;
  return QString::fromUtf8(word);
}

QString RussianCount(qint64 n, const char* one, const char* few, const char* many) {
  return QString::number(n) + u' ' + RussianWord(n, one, few, many);
}

QString EnglishCount(qint64 n, const char* one, const char* many) {
  return QString::number(n) + u' ' + QString::fromUtf8(n == 1 ? one : many);
}
