#include "core/tables/ConfigChecks.h"

#include "core/base/Counts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/image/CellTexts.h"
#include "core/image/ImageLayout.h"
#include "core/tables/TableDescriptors.h"

namespace {

// How a mode of a half comes into force: by the clock (the day's basic mode always), only by
// hand from an administrator phone, or not at all.
enum class Reach { kAutomatic, kByHand, kNever };

// The image as the rules look at it.
struct Station {
  const ConfigImage& image;
  int boards;
  int Subscribers() const { return 6 * boards; }
  int LastSubscriber() const { return kFirstSubscriber + Subscribers() - 1; }
  int Lines() const { return 2 * boards; }
  bool Has(int subscriber) const {
    return subscriber >= kFirstSubscriber && subscriber <= LastSubscriber();
  }
  bool TimeSet(int t) const { return image[SwitchTimeOffset(t)] & 0x80; }
  bool AdminPhoneSet() const {
    return SubscriberFromCode(image[AdminPhoneOffset(1)]) > 0 ||
           SubscriberFromCode(image[AdminPhoneOffset(2)]) > 0;
  }
  Reach ModeReach(bool day, bool additional) const {
    if (day && !additional) return Reach::kAutomatic;
    // The switching times that start and end the mode: night 1-2, day additional 3-4, night
    // additional 5-6.
    const int first = !additional ? 1 : day ? 3 : 5;
    if (TimeSet(first) || TimeSet(first + 1)) return Reach::kAutomatic;
    return AdminPhoneSet() ? Reach::kByHand : Reach::kNever;
  }
};

struct Rule;
using Findings = std::vector<ConfigFinding>;
using Check = void (*)(const Station&, const Rule&, Findings&);

// One rule: its name, its level, its text (with %1.. for what the check fills in) and the
// check that finds it. A new rule is one more entry in kRules.
struct Rule {
  const char* id;
  ConfigFinding::Level level;
  const char* text;
  Check check;
};

const QString kCalls = QString::fromUtf8(Table(TableId::kCityLineCalls).heading);
const QString kSwitching = QString::fromUtf8(Table(TableId::kSwitching).heading);

QString Half(bool day) {
  return day ? QStringLiteral("день") : QStringLiteral("ночь");
}
QString Mode(bool additional) {
  return QString::fromUtf8(additional ? kAdditionalMode : kBasicMode);
}
QString Hex(quint8 byte) {
  return QString::number(byte, 16).rightJustified(2, u'0').toUpper();
}

void Add(Findings& findings, const Rule& rule, const QString& place, const QStringList& args,
         std::vector<int> bytes) {
  QString text = QString::fromUtf8(rule.text);
  for (const QString& arg : args) text = text.arg(arg);
  findings.push_back({rule.level, QString::fromLatin1(rule.id), place, text, std::move(bytes)});
}

// The four cells of a line in one mode.
std::vector<int> LineCells(bool day, int line, bool additional) {
  std::vector<int> cells;
  for (int column = 1; column <= 4; ++column) {
    cells.push_back(IncomingCellOffset(day, line, additional ? column + 4 : column));
  }
  return cells;
}

// Calls arriving on a line reach no subscriber of the station in a mode that comes into force
// (the rule's reach: by the clock, or by hand only).
void CheckLinesRingSomeone(const Station& station, const Rule& rule, Findings& findings,
                           Reach reach) {
  for (const bool day : {true, false}) {
    for (const bool additional : {false, true}) {
      if (station.ModeReach(day, additional) != reach) continue;
      for (int line = 1; line <= station.Lines(); ++line) {
        const std::vector<int> cells = LineCells(day, line, additional);
        bool rings = false;
        for (const int offset : cells) {
          rings = rings || station.Has(SubscriberFromCode(station.image[offset] & ~kDelaySign));
        }
        if (rings) continue;
        Add(findings, rule, QStringLiteral("%1, %2, ГЛ %3").arg(kCalls, Half(day)).arg(line),
            {QString::number(line), day ? QStringLiteral("днем") : QStringLiteral("ночью"),
             additional ? QStringLiteral("дополнительном") : QStringLiteral("основном")},
            cells);
      }
    }
  }
}

void LinesRingByClock(const Station& s, const Rule& r, Findings& f) {
  CheckLinesRingSomeone(s, r, f, Reach::kAutomatic);
}
void LinesRingByHand(const Station& s, const Rule& r, Findings& f) {
  CheckLinesRingSomeone(s, r, f, Reach::kByHand);
}

// Each cell of the station's lines: a subscriber the station does not have, or no valid entry.
template <bool kInvalid>
void CheckCells(const Station& station, const Rule& rule, Findings& findings) {
  for (const bool day : {true, false}) {
    for (int line = 1; line <= station.Lines(); ++line) {
      for (int column = 1; column <= 8; ++column) {
        const int offset = IncomingCellOffset(day, line, column);
        const quint8 byte = station.image[offset];
        const quint8 code = byte & ~kDelaySign;
        const int subscriber = SubscriberFromCode(code);
        const QString place = QStringLiteral("%1, %2, ГЛ %3, %4 %5")
                                  .arg(kCalls, Half(day))
                                  .arg(line)
                                  .arg(Mode(column > 4))
                                  .arg(column > 4 ? column - 4 : column);
        if (kInvalid && code != 0 && subscriber == 0) {
          Add(findings, rule, place, {Hex(byte)}, {offset});
        } else if (!kInvalid && subscriber > 0 && !station.Has(subscriber)) {
          Add(findings, rule, place,
              {QString::number(subscriber), QString::number(station.LastSubscriber())}, {offset});
        }
      }
    }
  }
}

void CheckAdminPhones(const Station& station, const Rule& rule, Findings& findings) {
  for (int phone = 1; phone <= 2; ++phone) {
    const int offset = AdminPhoneOffset(phone);
    const quint8 byte = station.image[offset];
    if (byte == 0) continue;  // not set
    const int subscriber = SubscriberFromCode(byte);
    if (station.Has(subscriber)) continue;
    const QString what = subscriber > 0 ? QStringLiteral("номер %1").arg(subscriber)
                                        : QStringLiteral("байт %1").arg(Hex(byte));
    Add(findings, rule,
        QStringLiteral("%1, Номер телефона %2 администратора").arg(kSwitching).arg(phone),
        {what, QString::number(station.LastSubscriber())}, {offset});
  }
}

void CheckSelectors(const Station& station, const Rule& rule, Findings& findings) {
  for (const bool day : {true, false}) {
    for (const bool additional : {false, true}) {
      for (int selector = 0; selector < 3; ++selector) {
        const int offset =
            RegionOffset(RegionDescriptor(day, additional ? SelectorAdd : SelectorBasic), selector);
        const quint8 byte = station.image[offset];
        if (byte == 0) continue;  // not set
        // The number is typed as its decimal digits and kept as hexadecimal ones: 25 is 0x25.
        const QString digits = IntCellText(byte, 2);
        bool decimal = false;
        const int number = digits.toInt(&decimal, 10);
        if (decimal && station.Has(number)) continue;
        Add(findings, rule,
            QStringLiteral("Общестанционные функции, %1, Номер телефона %2 селектора, %3")
                .arg(Half(day))
                .arg(selector + 1)
                .arg(additional ? QStringLiteral("Доп.") : QStringLiteral("Осн.")),
            {digits, QString::number(station.LastSubscriber())}, {offset});
      }
    }
  }
}

// The switching times in pairs: start and end of one mode.
struct TimePair {
  int start;
  const char* mode;
};
constexpr TimePair kTimePairs[] = {
    {1, "ночной режим"}, {3, "дневной дополнительный режим"}, {5, "ночной дополнительный режим"}};

QString TimeText(const Station& station, int t) {
  const int offset = SwitchTimeOffset(t);
  return QStringLiteral("%1:%2")
      .arg(qMin(station.image[offset] & 0x7F, 23), 2, 10, QLatin1Char('0'))
      .arg(qMin<int>(station.image[offset + 1], 59), 2, 10, QLatin1Char('0'));
}

enum class TimeFault { kNoEnd, kNoStart, kSame };

template <TimeFault kFault>
void CheckTimes(const Station& station, const Rule& rule, Findings& findings) {
  for (const TimePair& pair : kTimePairs) {
    const bool start = station.TimeSet(pair.start);
    const bool end = station.TimeSet(pair.start + 1);
    const std::vector<int> bytes = {SwitchTimeOffset(pair.start), SwitchTimeOffset(pair.start) + 1,
                                    SwitchTimeOffset(pair.start + 1),
                                    SwitchTimeOffset(pair.start + 1) + 1};
    const QString place = kSwitching + QStringLiteral(", ") + QString::fromUtf8(pair.mode);
    if (kFault == TimeFault::kNoEnd && start && !end) {
      Add(findings, rule, place, {TimeText(station, pair.start)}, bytes);
    } else if (kFault == TimeFault::kNoStart && !start && end) {
      Add(findings, rule, place, {TimeText(station, pair.start + 1)}, bytes);
    } else if (kFault == TimeFault::kSame && start && end &&
               TimeText(station, pair.start) == TimeText(station, pair.start + 1)) {
      Add(findings, rule, place, {TimeText(station, pair.start)}, bytes);
    }
  }
}

// Values kept for subscribers or lines beyond the station's boards: they do nothing there.
void CheckBeyondStation(const Station& station, const Rule& rule, Findings& findings) {
  if (station.boards >= 4) return;
  const TableId subscriberTables[] = {TableId::kDVO1Subscribers, TableId::kDVO2Subscribers,
                                      TableId::kCityAccess, TableId::kLongDistanceAccess};
  const TableId lineTables[] = {TableId::kDVO1Lines, TableId::kDVO2Lines, TableId::kAddDigits};
  const QString subscribers =
      QStringLiteral("абонентов %1..%2").arg(station.LastSubscriber() + 1).arg(kLastSubscriber);
  const QString lines = QStringLiteral("ГЛ %1..%2").arg(station.Lines() + 1).arg(kMaxCityLines);
  for (const bool day : {true, false}) {
    const auto report = [&](TableId table, const QString& whom, std::vector<int> bytes) {
      if (bytes.empty()) return;
      Add(findings, rule,
          QString::fromUtf8(Table(table).heading) + QStringLiteral(", ") + Half(day), {whom},
          std::move(bytes));
    };
    for (const TableId id : subscriberTables) {
      const TableDescriptor& table = Table(id);
      std::vector<int> bytes;
      for (int b = 0; b < table.blocks; ++b) {
        const int kind = table.kinds[b];
        const quint8 descriptor = RegionDescriptor(day, kind);
        for (int row = 0; row < kMaxSubscribers; ++row) {
          const int offset = RegionOffset(descriptor, row);
          // Rows of the station: only their bits of lines it does not have.
          const quint8 beyond =
              row >= station.Subscribers() ? 0xFF
              : IsLineBitRegion(kind)
                  ? ColumnsToLineBits(static_cast<quint8>(0xFF << station.Lines()))
                  : 0;
          if (station.image[offset] & beyond) bytes.push_back(offset);
        }
      }
      const bool lineBits = IsLineBitRegion(table.kinds.front());
      report(id, lineBits ? subscribers + QStringLiteral(" или ") + lines : subscribers, bytes);
    }
    for (const TableId id : lineTables) {
      const TableDescriptor& table = Table(id);
      std::vector<int> bytes;
      for (int b = 0; b < table.blocks; ++b) {
        for (int row = station.Lines(); row < kMaxCityLines; ++row) {
          const int offset = RegionOffset(RegionDescriptor(day, table.kinds[b]), row);
          if (station.image[offset] != 0) bytes.push_back(offset);
        }
      }
      report(id, lines, bytes);
    }
    std::vector<int> cells;
    for (int line = station.Lines() + 1; line <= kMaxCityLines; ++line) {
      for (int column = 1; column <= 8; ++column) {
        const int offset = IncomingCellOffset(day, line, column);
        if (station.image[offset] != 0) cells.push_back(offset);
      }
    }
    report(TableId::kCityLineCalls, lines, cells);
  }
}

const Rule kRules[] = {
    {"line-rings-no-one", ConfigFinding::Level::kError,
     "входящие вызовы по ГЛ %1 %2 в %3 режиме не поступают ни одному абоненту станции",
     LinesRingByClock},
    {"line-rings-no-one-by-hand", ConfigFinding::Level::kWarning,
     "входящие вызовы по ГЛ %1 %2 в %3 режиме не поступают ни одному абоненту станции (режим "
     "включается только вручную, с телефона администратора)",
     LinesRingByHand},
    {"entry-no-such-subscriber", ConfigFinding::Level::kError,
     "абонент %1 — такого абонента в станции нет (абоненты 20..%2)", CheckCells<false>},
    {"entry-invalid", ConfigFinding::Level::kError,
     "неверная запись: байт %1 не означает абонента (окно показывает «** »)", CheckCells<true>},
    {"admin-phone-no-subscriber", ConfigFinding::Level::kError,
     "%1 — такого абонента в станции нет (абоненты 20..%2)", CheckAdminPhones},
    {"selector-no-subscriber", ConfigFinding::Level::kWarning,
     "номер %1 — не номер абонента станции (абоненты 20..%2)", CheckSelectors},
    {"time-start-without-end", ConfigFinding::Level::kError,
     "задано время начала (%1), но не задано время окончания", CheckTimes<TimeFault::kNoEnd>},
    {"time-end-without-start", ConfigFinding::Level::kError,
     "задано время окончания (%1), но не задано время начала", CheckTimes<TimeFault::kNoStart>},
    {"time-start-equals-end", ConfigFinding::Level::kWarning,
     "время начала и время окончания совпадают (%1)", CheckTimes<TimeFault::kSame>},
    {"values-beyond-station", ConfigFinding::Level::kWarning,
     "заданы значения для %1, которых в станции нет; они ничего не делают (копия снята со "
     "станции с большим числом плат?)",
     CheckBeyondStation},
};

}  // namespace

QString ConfigFinding::Line() const {
  QString line =
      (level == Level::kError ? QStringLiteral("ошибка: ") : QStringLiteral("предупреждение: ")) +
      place + QStringLiteral(": ") + text;
  if (!bytes.empty()) {
    QStringList offsets;
    for (const int offset : bytes) offsets << QString::number(offset);
    line += (bytes.size() == 1 ? QStringLiteral(" (байт ") : QStringLiteral(" (байты ")) +
            offsets.join(QStringLiteral(", ")) + u')';
  }
  return line;
}

std::vector<ConfigFinding> CheckConfig(const ConfigImage& image, int boards) {
  const Station station{image, qBound(1, boards, 4)};
  std::vector<ConfigFinding> findings;
  for (const Rule& rule : kRules) rule.check(station, rule, findings);
  return findings;
}

QByteArray FindingsJson(const std::vector<ConfigFinding>& findings) {
  QJsonArray array;
  for (const ConfigFinding& finding : findings) {
    QJsonArray bytes;
    for (const int offset : finding.bytes) bytes.append(offset);
    array.append(QJsonObject{{QStringLiteral("level"), finding.level == ConfigFinding::Level::kError
                                                           ? QStringLiteral("error")
                                                           : QStringLiteral("warning")},
                             {QStringLiteral("rule"), finding.rule},
                             {QStringLiteral("place"), finding.place},
                             {QStringLiteral("text"), finding.text},
                             {QStringLiteral("bytes"), bytes}});
  }
  return QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n';
}

QString FindingsSummary(const std::vector<ConfigFinding>& findings) {
  qsizetype errors = 0;
  for (const ConfigFinding& finding : findings) {
    if (finding.level == ConfigFinding::Level::kError) ++errors;
  }
  const qsizetype warnings = static_cast<qsizetype>(findings.size()) - errors;
  if (errors == 0 && warnings == 0) return QStringLiteral("замечаний нет");
  QStringList parts;
  if (errors > 0) parts << RussianCount(errors, "ошибка", "ошибки", "ошибок");
  if (warnings > 0) {
    parts << RussianCount(warnings, "предупреждение", "предупреждения", "предупреждений");
  }
  return parts.join(QStringLiteral(", "));
}
