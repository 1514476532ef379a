#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "core/image/ConfigImage.h"

// What a configuration probably does wrong, found before it is written: a city line whose calls
// ring nobody, entries naming subscribers the station does not have, switching times with one
// end missing, and the like. Each finding is told in the words of the table windows.
struct ConfigFinding {
  enum class Level { kError, kWarning };  // the station will misbehave; probably a mistake
  Level level = Level::kError;
  QString rule;            // the rule's name, for tools: "line-rings-no-one"
  QString place;           // "Вызовы с городских линий, ночь, ГЛ 3"
  QString text;            // what is wrong, in Russian
  std::vector<int> bytes;  // the image offsets it concerns

  // "ошибка: place: text (байты 392..395)"
  QString Line() const;
};

// The findings for a station with this many boards, in the order of the rules.
std::vector<ConfigFinding> CheckConfig(const ConfigImage& image, int boards);

// The findings as a JSON array of objects: level, rule, place, text, bytes.
QByteArray FindingsJson(const std::vector<ConfigFinding>& findings);

// "2 ошибки, 1 предупреждение", or "замечаний нет".
QString FindingsSummary(const std::vector<ConfigFinding>& findings);
