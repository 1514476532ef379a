#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

#include "core/files/CallRecords.h"

struct ExportRow;

// Money in exact integer amounts. Prices are kept in ten-thousandths of the currency unit (so a
// price per minute of 1.5525 is exact); a call's cost is rounded once, half up, to hundredths
// (kopecks), and all sums are sums of those rounded costs.
using Money = qint64;  // hundredths of the currency unit
using Price = qint64;  // ten-thousandths of the currency unit
inline constexpr Price kPricePerMoney = 100;

// A decimal amount with up to four places ("1.5525", "12,5"), in ten-thousandths; none for
// anything else or above a million.
std::optional<Price> ParsePrice(QString text);

// "12.34"; negative amounts keep their sign. For files a program reads.
QString MoneyText(Money money);
// The same text added to `out`, digit by digit: for a million rows of an export.
void AppendMoneyText(QByteArray& out, Money money);
// "8 670 522,85" as Russian print writes amounts: groups of three digits apart by a no-break
// space, a decimal comma. For printed pages.
QString RussianMoney(Money money);

// A price that holds at some hours of some days instead of a zone's own price per minute.
struct TimeBand {
  bool weekdays = true;           // Monday to Friday
  bool weekend = true;            // Saturday and Sunday
  int fromMinute = 0;             // minute of the day the band starts, 0..1439
  int toMinute = kMinutesPerDay;  // minute of the day it ends (exclusive), 1..1440
  Price perMinute = 0;
  bool Holds(int dayOfWeek, int minuteOfDay) const;
};

// A destination zone: the numbers it covers (by prefix; the longest prefix of all zones wins,
// and an empty prefix matches every number) and what a call to it costs.
struct TariffZone {
  QString name;
  QStringList prefixes;
  // The day its prices hold from (none: always). A zone whose first prices hold from a day
  // covers no number before it; `later` holds its later prices, by day.
  QDate validFrom;
  Price setup = 0;
  Price perMinute = 0;
  std::vector<TimeBand> bands;    // the first band that holds decides the price
  int minimumMinutes = 0;         // charged at least this many minutes
  Price maximum = 0;              // the most a call costs; 0 for no limit
  std::vector<TariffZone> later;  // the prices from later days (name and prefixes unused)

  // The prices in force on a day: this zone's own or a later one's; none before the zone holds.
  const TariffZone* PricesOn(const QDate& day) const;
};

// The tariff table of a working directory: the file an administrator writes by hand.
struct Tariffs {
  QString currency = QStringLiteral("руб.");
  QStringList strip;  // digits the station records before the number (an access digit)
  std::array<bool, 4> charged = {true, true, true, true};  // by the station's call type 0..3
  // Working hours, for the report's calls outside them: weekdays from..to.
  int workFromMinute = 8 * 60;
  int workToMinute = 18 * 60;
  // Days that count as days off (a weekend's bands, outside the working days), as
  // "holidays = 2026-01-01, 2026-01-02".
  std::vector<QDate> holidays;
  bool dated = false;  // some zone's prices hold from a day
  // Value added tax in the prices, in hundredths of a percent ("vat = 20": 2000); 0: none shown.
  int vatHundredths = 0;
  // The tax within an amount that includes it, rounded half up to the hundredth.
  Money VatIn(Money amount) const;
  // "НДС 20 %".
  QString VatName() const;
  std::vector<TariffZone> zones;

  // The zone of a number already stripped; -1 when none matches. With a day, only the zones
  // that hold on it.
  int ZoneOf(const QString& number, const QDate& day = QDate()) const;
  // Saturday, Sunday or a holiday.
  bool DayOff(int year, int month, int day) const;
  // The number as it is dialled to the network: without the filler blank and access digits.
  QString Dialled(const QString& recorded) const;
};

inline constexpr char kTariffFileName[] = "NorvelTariffs.txt";

// Reads the working directory's tariff file; none when there is no such file. A file with any
// mistake throws ConvertError naming the file, the line and what is wrong: nothing is rated
// with half a table.
std::optional<Tariffs> LoadTariffs(const QString& dir);
// The same from text, for tests and tools; `fileName` names it in messages.
Tariffs ParseTariffs(const QString& text, const QString& fileName);

// What a tariff file probably gets wrong for calls of `callsYear` (0: not known): holidays of
// other years only, prices that start more than a year after `today`.
QStringList TariffWarnings(const Tariffs& tariffs, const QDate& today, int callsYear);

// What one call costs.
struct Rated {
  enum class Kind {
    kCharged,          // priced by its zone
    kUnknownDuration,  // the station gave no valid length: no cost, counted apart
    kNotCharged,       // a call type the table does not charge
    kNoZone,           // no zone covers the number: no cost, counted apart
  };
  Kind kind = Kind::kNotCharged;
  int zone = -1;
  int minutes = 0;  // charged minutes
  Money cost = 0;
};

// Day of the week of a date, 1 (Monday) .. 7 (Sunday).
int DayOfWeek(int year, int month, int day);

Rated RateCall(const Tariffs& tariffs, const ExportRow& row);
