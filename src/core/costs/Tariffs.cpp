#include "core/costs/Tariffs.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

#include "core/base/Errors.h"
#include "core/files/CallExport.h"
#include "core/files/RegularFile.h"

namespace {

constexpr qint64 kLargestPriceUnits = 1'000'000;
static_assert((kLargestPriceUnits * 10000 + 9999) * 2 * 44'640 * 24 < (qint64(1) << 62),
              "the largest month's sums fit");

}  // namespace

std::optional<Price> ParsePrice(QString text) {
  text = text.trimmed();
  text.replace(u',', u'.');
  static const QRegularExpression shape(QStringLiteral("^([0-9]{1,9})(?:\\.([0-9]{1,4}))?$"));
  const QRegularExpressionMatch match = shape.match(text);
  if (!match.hasMatch()) return std::nullopt;
  const Price units = match.captured(1).toLongLong();
  // The largest month (24 subscribers, 44,640 minutes each) at the largest price must still add
  // up within 64-bit integers: a million a minute is far beyond any tariff and keeps it so.
  if (units > kLargestPriceUnits) return std::nullopt;
  const QString places = match.captured(2).leftJustified(4, u'0');
  return units * 10000 + places.toLongLong();
}

namespace {

// "08:00" .. "24:00" as a minute of the day; none for anything else.
std::optional<int> ParseMinute(const QString& text) {
  static const QRegularExpression shape(QStringLiteral("^([0-9]{1,2}):([0-9]{2})$"));
  const QRegularExpressionMatch match = shape.match(text);
  if (!match.hasMatch()) return std::nullopt;
  const int hour = match.captured(1).toInt();
  const int minute = match.captured(2).toInt();
  if (minute > 59 || hour > 24 || (hour == 24 && minute != 0)) return std::nullopt;
  return hour * 60 + minute;
}

// "weekdays 08:00-20:00": the days and the hours of a band or of the working hours.
bool ParseDaysAndHours(const QString& days, const QString& hours, TimeBand& band) {
  if (days == QLatin1String("weekdays")) {
    band.weekend = false;
  } else if (days == QLatin1String("weekend")) {
    band.weekdays = false;
  } else if (days != QLatin1String("all")) {
    return false;
  }
  const QStringList ends = hours.split(u'-');
  if (ends.size() != 2) return false;
  const std::optional<int> from = ParseMinute(ends[0]);
  const std::optional<int> to = ParseMinute(ends[1]);
  if (!from || !to || *from >= *to) return false;
  band.fromMinute = *from;
  band.toMinute = *to;
  return true;
}

class Parser {
 public:
  explicit Parser(const QString& fileName) : fileName_(fileName) {}

  Tariffs Parse(const QString& text) {
    const QStringList lines = text.split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
      line_ = i + 1;
      const std::optional<HandWrittenLine> read = ReadHandWrittenLine(lines[i]);
      if (!read) continue;
      if (read->kind == HandWrittenLine::Kind::kBadHeading) {
        Fail(QStringLiteral("неверный заголовок зоны"));
      }
      if (read->kind == HandWrittenLine::Kind::kNoEquals) Fail(QStringLiteral("нет знака «=»"));
      if (read->kind == HandWrittenLine::Kind::kHeading) {
        EndZone();
        const QString& name = read->name;
        keys_.clear();
        bandLines_.clear();
        later_ = nullptr;
        for (size_t z = 0; z < tariffs_.zones.size(); ++z) {
          if (tariffs_.zones[z].name == name) {
            // The same name again: the zone's prices from a later day, which it must name.
            TariffZone& zone = tariffs_.zones[z];
            const TariffZone& previous = zone.later.empty() ? zone : zone.later.back();
            zone.later.push_back(previous);
            zone.later.back().validFrom = QDate();
            zone.later.back().later.clear();
            later_ = &zone;
            laterLine_ = line_;
            firstLine_ = zoneLines_[z];
            break;
          }
        }
        if (later_) continue;
        tariffs_.zones.push_back({});
        tariffs_.zones.back().name = name;
        zoneLines_.push_back(line_);
        continue;
      }
      Setting(read->name, read->value);
    }
    if (tariffs_.zones.empty()) {
      line_ = std::max(1, static_cast<int>(lines.size()) - (lines.back().isEmpty() ? 1 : 0));
      Fail(QStringLiteral("нет ни одной зоны ([Название зоны])"));
    }
    EndZone();
    for (const TariffZone& zone : tariffs_.zones) {
      tariffs_.dated = tariffs_.dated || zone.validFrom.isValid() || !zone.later.empty();
    }
    return tariffs_;
  }

 private:
  [[noreturn]] void Fail(const QString& what) const {
    throw ConvertError(
        QStringLiteral("Файл %1, строка %2: %3").arg(fileName_).arg(line_).arg(what));
  }
  Price PriceOf(const QString& key, const QString& value) const {
    const std::optional<Price> price = ParsePrice(value);
    if (!price) {
      Fail(QStringLiteral("«%1»: неверная сумма «%2» (от 0 до 1000000, не больше четырех знаков "
                          "после точки)")
               .arg(key, value));
    }
    return *price;
  }

  [[noreturn]] void TwoZonesOfOneName() const {
    Fail(QStringLiteral("зона «%1» уже есть (строка %2): у двух зон были бы две строки «итого» "
                        "(цены зоны с другого дня: ее имя еще раз и «valid_from = ГГГГ-ММ-ДД»)")
             .arg(later_->name)
             .arg(firstLine_));
  }

  // A zone whose numbers are not named would match none: it is a mistake, not a zone. A zone's
  // later prices name their day, after the day of the prices before them.
  void EndZone() {
    if (later_) {
      const int line = line_;
      line_ = laterLine_;
      const TariffZone& added = later_->later.back();
      if (!added.validFrom.isValid()) TwoZonesOfOneName();
      const TariffZone& before =
          later_->later.size() > 1 ? later_->later[later_->later.size() - 2] : *later_;
      if (before.validFrom.isValid() && added.validFrom <= before.validFrom) {
        Fail(QStringLiteral("цены зоны «%1» с %2 идут после цен с %3: дни по порядку")
                 .arg(later_->name, added.validFrom.toString(Qt::ISODate),
                      before.validFrom.toString(Qt::ISODate)));
      }
      line_ = line;
      return;
    }
    if (tariffs_.zones.empty() || keys_.contains(QStringLiteral("prefixes"))) return;
    line_ = zoneLines_.back();
    Fail(QStringLiteral("у зоны «%1» нет «prefixes»: она не подошла бы ни одному номеру (для "
                        "всех остальных номеров: «prefixes =» без цифр)")
             .arg(tariffs_.zones.back().name));
  }

  void Setting(const QString& key, const QString& value) {
    // Every key but a band or the holidays is given once: a second one would silently win.
    if (key != QLatin1String("band") && key != QLatin1String("holidays")) {
      if (keys_.contains(key)) {
        Fail(QStringLiteral("«%1» задан второй раз (первый раз в строке %2)")
                 .arg(key)
                 .arg(keys_.value(key)));
      }
      keys_.insert(key, line_);
    }
    if (tariffs_.zones.empty()) {
      Global(key, value);
    } else if (later_) {
      if (key == QLatin1String("prefixes")) {
        // Without a day these are two zones of one name; with one, only prices change.
        if (!later_->later.back().validFrom.isValid()) {
          line_ = laterLine_;
          TwoZonesOfOneName();
        }
        Fail(QStringLiteral("номера зоны «%1» даны в ее первой части (строка %2); с другого дня "
                            "меняются только цены")
                 .arg(later_->name)
                 .arg(firstLine_));
      }
      // A band given here replaces the earlier prices' bands as a whole.
      if (key == QLatin1String("band") && bandLines_.empty()) later_->later.back().bands.clear();
      Zone(later_->later.back(), key, value);
    } else {
      Zone(tariffs_.zones.back(), key, value);
    }
  }

  void Global(const QString& key, const QString& value) {
    if (key == QLatin1String("currency")) {
      tariffs_.currency = value;
    } else if (key == QLatin1String("strip")) {
      tariffs_.strip = value.split(u' ', Qt::SkipEmptyParts);
      for (const QString& prefix : tariffs_.strip) Digits(key, prefix);
    } else if (key == QLatin1String("charged")) {
      if (value.isEmpty()) {
        Fail(
            QStringLiteral("«charged» без типов вызова: ни один разговор не стоил бы ничего "
                           "(типы 0..3 через пробел; без строки «charged» оплачиваются все)"));
      }
      tariffs_.charged = {};
      for (const QString& type : value.split(u' ', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int code = type.toInt(&ok);
        if (!ok || code < 0 || code > 3) {
          Fail(QStringLiteral("«charged»: тип вызова «%1» — не число от 0 до 3").arg(type));
        }
        tariffs_.charged[static_cast<size_t>(code)] = true;
      }
    } else if (key == QLatin1String("working_hours")) {
      TimeBand hours;
      const QStringList parts = value.split(u' ', Qt::SkipEmptyParts);
      if (parts.size() != 2 || parts[0] != QLatin1String("weekdays") ||
          !ParseDaysAndHours(parts[0], parts[1], hours)) {
        Fail(QStringLiteral("«working_hours»: нужно «weekdays ЧЧ:ММ-ЧЧ:ММ», а не «%1»").arg(value));
      }
      tariffs_.workFromMinute = hours.fromMinute;
      tariffs_.workToMinute = hours.toMinute;
    } else if (key == QLatin1String("vat")) {
      // A percentage with up to two decimals, parsed as a price is (in ten-thousandths).
      const std::optional<Price> percent = ParsePrice(value);
      if (!percent || *percent > 100 * 10000 || *percent % 100 != 0) {
        Fail(QStringLiteral("«vat»: неверный процент «%1» (от 0 до 100, не больше двух знаков "
                            "после точки)")
                 .arg(value));
      }
      tariffs_.vatHundredths = static_cast<int>(*percent / 100);
    } else if (key == QLatin1String("holidays")) {
      for (const QString& text : value.split(u',', Qt::SkipEmptyParts)) {
        const QDate day = Day(key, text.trimmed());
        if (std::find(tariffs_.holidays.begin(), tariffs_.holidays.end(), day) ==
            tariffs_.holidays.end()) {
          tariffs_.holidays.push_back(day);
        }
      }
      std::sort(tariffs_.holidays.begin(), tariffs_.holidays.end());
    } else {
      Fail(QStringLiteral("неизвестный параметр «%1» (до первой зоны: currency, strip, charged, "
                          "working_hours, holidays, vat)")
               .arg(key));
    }
  }

  void Zone(TariffZone& zone, const QString& key, const QString& value) {
    if (key == QLatin1String("prefixes")) {
      zone.prefixes = value.split(u' ', Qt::SkipEmptyParts);
      for (const QString& prefix : zone.prefixes) Digits(key, prefix);
      if (zone.prefixes.isEmpty()) zone.prefixes = {QString()};  // every number
      // The longest prefix decides: the same prefix in two zones leaves one of them dead.
      for (const QString& prefix : zone.prefixes) {
        const auto taken = prefixes_.constFind(prefix);
        if (taken != prefixes_.cend()) {
          Fail(prefix.isEmpty()
                   ? QStringLiteral("вторая зона для всех остальных номеров: первая — «%1» "
                                    "(строка %2)")
                         .arg(taken->first)
                         .arg(taken->second)
                   : QStringLiteral("префикс «%1» уже в зоне «%2» (строка %3)")
                         .arg(prefix, taken->first)
                         .arg(taken->second));
        }
        prefixes_.insert(prefix, {zone.name, line_});
      }
    } else if (key == QLatin1String("valid_from")) {
      zone.validFrom = Day(key, value);
    } else if (key == QLatin1String("setup")) {
      zone.setup = PriceOf(key, value);
    } else if (key == QLatin1String("minute")) {
      zone.perMinute = PriceOf(key, value);
    } else if (key == QLatin1String("minimum")) {
      bool ok = false;
      zone.minimumMinutes = value.toInt(&ok);
      if (!ok || zone.minimumMinutes < 0 || zone.minimumMinutes > kMinutesPerDay) {
        Fail(QStringLiteral("«minimum»: неверное число минут «%1»").arg(value));
      }
    } else if (key == QLatin1String("maximum")) {
      zone.maximum = PriceOf(key, value);
    } else if (key == QLatin1String("band")) {
      const QStringList parts = value.split(u' ', Qt::SkipEmptyParts);
      TimeBand band;
      if (parts.size() != 3 || !ParseDaysAndHours(parts[0], parts[1], band)) {
        Fail(QStringLiteral("«band»: нужно «weekdays|weekend|all ЧЧ:ММ-ЧЧ:ММ цена», а не «%1»")
                 .arg(value));
      }
      band.perMinute = PriceOf(key, parts[2]);
      // Bands of the same kind of day that share hours: only the first would ever hold. (A
      // band of every day after one of the weekend is how a weekend price is kept apart.)
      for (size_t b = 0; b < zone.bands.size(); ++b) {
        const TimeBand& other = zone.bands[b];
        const bool sameDays = band.weekdays == other.weekdays && band.weekend == other.weekend;
        if (sameDays && band.fromMinute < other.toMinute && other.fromMinute < band.toMinute) {
          Fail(QStringLiteral("«band» пересекается с полосой строки %1").arg(bandLines_[b]));
        }
      }
      // A band every minute of which an earlier band already holds, on each kind of day it
      // names, never decides a price: a weekend band after an "all 00:00-24:00" one, or an
      // "all" band after weekday and weekend bands of its hours.
      bool reached = false;
      for (const bool weekend : {false, true}) {
        if (!(weekend ? band.weekend : band.weekdays)) continue;
        for (int minute = band.fromMinute; minute < band.toMinute && !reached; ++minute) {
          reached = std::none_of(zone.bands.begin(), zone.bands.end(), [&](const TimeBand& b) {
            return (weekend ? b.weekend : b.weekdays) && b.fromMinute <= minute &&
                   minute < b.toMinute;
          });
        }
      }
      if (!reached) {
        QStringList earlier;
        for (const int line : bandLines_) earlier << QString::number(line);
        Fail(QStringLiteral("«band» не действует ни в одну минуту: ее дни и часы уже заняты "
                            "полосами строк %1 (цену дает первая подходящая полоса)")
                 .arg(earlier.join(QStringLiteral(", "))));
      }
      zone.bands.push_back(band);
      bandLines_.push_back(line_);
    } else {
      Fail(QStringLiteral("неизвестный параметр зоны «%1» (prefixes, valid_from, setup, minute, "
                          "band, minimum, maximum)")
               .arg(key));
    }
  }

  // "2026-07-01".
  QDate Day(const QString& key, const QString& text) const {
    const QDate day = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid()) {
      Fail(QStringLiteral("«%1»: «%2» — не день ГГГГ-ММ-ДД").arg(key, text));
    }
    return day;
  }

  void Digits(const QString& key, const QString& prefix) const {
    for (const QChar c : prefix) {
      if (!c.isDigit() && c != u'*' && c != u'#') {
        Fail(QStringLiteral("«%1»: «%2» — не цифры номера").arg(key, prefix));
      }
    }
  }

  QString fileName_;
  int line_ = 0;
  Tariffs tariffs_;
  std::vector<int> zoneLines_;   // the heading line of each zone
  QHash<QString, int> keys_;     // the keys of the current part, with their lines
  std::vector<int> bandLines_;   // the lines of the current zone's bands
  TariffZone* later_ = nullptr;  // the zone whose later prices are being read
  int laterLine_ = 0;            // their heading's line
  int firstLine_ = 0;            // the heading line of the zone's first part
  QHash<QString, std::pair<QString, int>> prefixes_;  // prefix -> its zone and line
};

}  // namespace

void AppendMoneyText(QByteArray& out, Money money) {
  const bool negative = money < 0;
  const quint64 value = negative ? 0 - static_cast<quint64>(money) : static_cast<quint64>(money);
  // Digits from the right: two of kopecks, the point, then the roubles (at least a 0).
  char text[32];
  char* p = text + sizeof text;
  quint64 rest = value;
  *--p = static_cast<char>('0' + rest % 10);
  rest /= 10;
  *--p = static_cast<char>('0' + rest % 10);
  rest /= 10;
  *--p = '.';
  do {
    *--p = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (negative) *--p = '-';
  out.append(p, text + sizeof text - p);
}

QString MoneyText(Money money) {
  QByteArray text;
  AppendMoneyText(text, money);
  return QString::fromLatin1(text);
}

QString RussianMoney(Money money) {
  const bool negative = money < 0;
  const quint64 value = negative ? 0 - static_cast<quint64>(money) : static_cast<quint64>(money);
  QString units = QString::number(value / 100);
  for (qsizetype at = units.size() - 3; at > 0; at -= 3) units.insert(at, QChar(0x00A0));
  return QStringLiteral("%1%2,%3")
      .arg(negative ? QStringLiteral("-") : QString(), units)
      .arg(value % 100, 2, 10, QLatin1Char('0'));
}

bool TimeBand::Holds(int dayOfWeek, int minuteOfDay) const {
  const bool weekendDay = dayOfWeek >= 6;
  if (weekendDay ? !weekend : !weekdays) return false;
  return minuteOfDay >= fromMinute && minuteOfDay < toMinute;
}

const TariffZone* TariffZone::PricesOn(const QDate& day) const {
  if (validFrom.isValid() && day.isValid() && day < validFrom) return nullptr;
  const TariffZone* prices = this;
  for (const TariffZone& next : later) {
    if (day.isValid() && day < next.validFrom) break;
    prices = &next;
  }
  return prices;
}

Money Tariffs::VatIn(Money amount) const {
  // amount × vat / (100 % + vat), in parts that cannot overflow for any month's total.
  const qint64 whole = 10000 + vatHundredths;
  const bool negative = amount < 0;
  const qint64 value = negative ? -amount : amount;
  const qint64 tax =
      value / whole * vatHundredths + (value % whole * vatHundredths + whole / 2) / whole;
  return negative ? -tax : tax;
}

QString Tariffs::VatName() const {
  QString percent = QString::number(vatHundredths / 100);
  if (vatHundredths % 100 != 0) {
    percent += u',' + QStringLiteral("%1").arg(vatHundredths % 100, 2, 10, QLatin1Char('0'));
  }
  return QStringLiteral("НДС %1 %").arg(percent);
}

bool Tariffs::DayOff(int year, int month, int day) const {
  if (DayOfWeek(year, month, day) >= 6) return true;
  return !holidays.empty() &&
         std::binary_search(holidays.begin(), holidays.end(), QDate(year, month, day));
}

int Tariffs::ZoneOf(const QString& number, const QDate& day) const {
  int best = -1;
  qsizetype bestLength = -1;
  for (int z = 0; z < static_cast<int>(zones.size()); ++z) {
    const TariffZone& zone = zones[static_cast<size_t>(z)];
    if (day.isValid() && zone.validFrom.isValid() && day < zone.validFrom) continue;
    for (const QString& prefix : zone.prefixes) {
      if (prefix.size() > bestLength && number.startsWith(prefix)) {
        best = z;
        bestLength = prefix.size();
      }
    }
  }
  return best;
}

QString Tariffs::Dialled(const QString& recorded) const {
  QString number = recorded;
  while (number.endsWith(u' ')) number.chop(1);
  qsizetype longest = 0;
  for (const QString& prefix : strip) {
    if (prefix.size() > longest && number.size() > prefix.size() && number.startsWith(prefix)) {
      longest = prefix.size();
    }
  }
  return number.mid(longest);
}

Tariffs ParseTariffs(const QString& text, const QString& fileName) {
  return Parser(fileName).Parse(text);
}

std::optional<Tariffs> LoadTariffs(const QString& dir) {
  // A tariff file is a few kilobytes; a file far larger is not one and is not read whole.
  const std::optional<QString> text =
      ReadHandWrittenFile(dir, QLatin1String(kTariffFileName), 4 << 20);
  if (!text) return std::nullopt;
  return ParseTariffs(*text, QLatin1String(kTariffFileName));
}

int DayOfWeek(int year, int month, int day) {
  // Sakamoto's method: 0 = Sunday.
  static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) --year;
  const int sunday0 = (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
  return sunday0 == 0 ? 7 : sunday0;
}

Rated RateCall(const Tariffs& tariffs, const ExportRow& row) {
  Rated rated;
  if (row.callType < 0 || static_cast<size_t>(row.callType) >= tariffs.charged.size() ||
      !tariffs.charged[static_cast<size_t>(row.callType)]) {
    rated.kind = Rated::Kind::kNotCharged;
    return rated;
  }
  if (row.duration < 0) {
    rated.kind = Rated::Kind::kUnknownDuration;
    return rated;
  }
  // The prices in force on the call's day, where the file gives prices from some day on.
  const QDate day = tariffs.dated ? QDate(row.year, row.month, row.day) : QDate();
  rated.zone = tariffs.ZoneOf(tariffs.Dialled(QString::fromUtf8(row.number)), day);
  if (rated.zone < 0) {
    rated.kind = Rated::Kind::kNoZone;
    return rated;
  }
  const TariffZone& zone = *tariffs.zones[static_cast<size_t>(rated.zone)].PricesOn(day);
  rated.kind = Rated::Kind::kCharged;
  rated.minutes = std::max(row.duration, zone.minimumMinutes);
  Price perMinute = zone.perMinute;
  // A holiday's prices are a Sunday's.
  const int dayOfWeek =
      tariffs.DayOff(row.year, row.month, row.day) ? 7 : DayOfWeek(row.year, row.month, row.day);
  const int minuteOfDay = row.hour * 60 + row.minute;
  for (const TimeBand& band : zone.bands) {
    if (band.Holds(dayOfWeek, minuteOfDay)) {
      perMinute = band.perMinute;
      break;
    }
  }
  Price cost = zone.setup + perMinute * rated.minutes;
  if (zone.maximum > 0) cost = std::min(cost, zone.maximum);
  rated.cost = (cost + kPricePerMoney / 2) / kPricePerMoney;  // once per call, half up
  return rated;
}

QStringList TariffWarnings(const Tariffs& tariffs, const QDate& today, int callsYear) {
  QStringList warnings;
  const QString file = QLatin1String(kTariffFileName);
  if (!tariffs.holidays.empty() && callsYear > 0 &&
      std::none_of(tariffs.holidays.begin(), tariffs.holidays.end(),
                   [callsYear](const QDate& day) { return day.year() == callsYear; })) {
    warnings << QStringLiteral(
                    "%1: в «holidays» нет ни одного дня %2 года: праздники этого "
                    "года считаются рабочими днями")
                    .arg(file)
                    .arg(callsYear);
  }
  const auto ahead = [&](const TariffZone& zone, const QString& name) {
    if (zone.validFrom.isValid() && zone.validFrom > today.addYears(1)) {
      warnings << QStringLiteral("%1: цены зоны «%2» действуют с %3, больше чем через год")
                      .arg(file, name, zone.validFrom.toString(Qt::ISODate));
    }
  };
  for (const TariffZone& zone : tariffs.zones) {
    ahead(zone, zone.name);
    for (const TariffZone& later : zone.later) ahead(later, zone.name);
  }
  return warnings;
}
