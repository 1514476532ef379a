#include "core/costs/Bills.h"

#include <array>
#include <cerrno>
#include <map>

#include <QFile>

#include "core/base/Errors.h"
#include "core/files/DecimalText.h"
#include "core/files/OutputFile.h"
#include "core/files/TextFiles.h"

namespace {

constexpr qint64 kScratchBuffer = 1 << 16;

QString ScratchName(int subscriber) {
  return QStringLiteral("%1.calls").arg(subscriber);
}

[[noreturn]] void ScratchFailed(const QString& what) {
  throw IoError(QStringLiteral("Не удается записать временный файл счетов: %1").arg(what));
}

// A call in the scratch files: a fixed part copied as it lies in memory (the files live only
// as long as the book, in this process), then the number's bytes.
struct ScratchCall {
  qint64 cost;
  qint32 duration;
  qint32 minutes;
  qint16 year;
  qint16 zone;
  qint8 month, day, hour, minute, cityLine, callType, kind;
  quint8 numberSize;
};

void Append(QByteArray& out, const ReportCall& call) {
  const ExportRow& r = call.row;
  const qsizetype numberSize = std::min<qsizetype>(r.number.size(), 255);
  const ScratchCall fixed{call.rated.cost,
                          r.duration,
                          call.rated.minutes,
                          static_cast<qint16>(r.year),
                          static_cast<qint16>(call.rated.zone),
                          static_cast<qint8>(r.month),
                          static_cast<qint8>(r.day),
                          static_cast<qint8>(r.hour),
                          static_cast<qint8>(r.minute),
                          static_cast<qint8>(r.cityLine),
                          static_cast<qint8>(r.callType),
                          static_cast<qint8>(call.rated.kind),
                          static_cast<quint8>(numberSize)};
  out.append(reinterpret_cast<const char*>(&fixed), sizeof fixed);
  out.append(r.number.constData(), numberSize);
}

bool Read(QFile& file, int subscriber, ReportCall& call) {
  ScratchCall fixed{};
  if (file.read(reinterpret_cast<char*>(&fixed), sizeof fixed) != sizeof fixed) return false;
  QByteArray number(fixed.numberSize, Qt::Uninitialized);
  if (file.read(number.data(), number.size()) != number.size()) return false;
  call.row = ExportRow{fixed.year, fixed.month,    fixed.day,      fixed.hour,     fixed.minute,
                       subscriber, fixed.duration, fixed.cityLine, fixed.callType, number};
  call.rated = Rated{static_cast<Rated::Kind>(fixed.kind), fixed.zone, fixed.minutes, fixed.cost};
  return true;
}

void AppendMoney(QByteArray& out, Money money) {
  if (money < 0) {
    out.append('-');
    money = -money;
  }
  AppendDecimal(out, money / 100);
  out.append('.');
  AppendDigits(out, static_cast<int>(money % 100), 2);
}

// A heading or totals row. (In the rows of calls the number, column 3, is always quoted, so
// that spreadsheets keep it as text.)
QString CsvLine(const QStringList& fields) {
  QStringList quoted;
  for (const QString& field : fields) quoted << CsvField(field);
  return quoted.join(u',') + QStringLiteral("\r\n");
}

}  // namespace

BillBook::BillBook(const QString& dir, const ReportChoice& choice, const Tariffs& tariffs)
    : tariffs_(tariffs), directory_(LoadSubscriberDirectory(dir)) {
  if (!dir_.isValid()) ScratchFailed(dir_.errorString());
  ExportOptions options;
  options.month = choice.month;
  options.year = choice.year;
  options.day = choice.day;
  options.subscriber = choice.subscriber;
  std::map<int, QByteArray> pending;
  const auto flush = [&](int subscriber, QByteArray& bytes) {
    QFile file(dir_.filePath(ScratchName(subscriber)));
    errno = 0;
    if (!file.open(QIODevice::Append) || file.write(bytes) != bytes.size()) {
      // A write cut short (a full disk, a file size limit) leaves Qt without a reason of its
      // own: the system's is taken.
      const int code = errno;
      ScratchFailed(file.error() == QFileDevice::NoError || code != 0 ? qt_error_string(code)
                                                                      : file.errorString());
    }
    bytes.clear();
  };
  const ExportSelection selection = ForEachExportRow(dir, options, [&](const ExportRow& row) {
    const ReportCall call{row, RateCall(tariffs_, row)};
    for (SubscriberReport* totals : {&subscribers_[row.subscriber], &all_}) {
      ++totals->calls;
      if (row.duration < 0) {
        ++totals->unknownDuration;
      } else {
        totals->minutes += row.duration;
      }
      if (call.rated.kind == Rated::Kind::kCharged) {
        totals->cost += call.rated.cost;
        ZoneTotals& zone = totals->zones[call.rated.zone];
        ++zone.calls;
        zone.minutes += call.rated.minutes;
        zone.cost += call.rated.cost;
      }
    }
    QByteArray& bytes = pending[row.subscriber];
    Append(bytes, call);
    if (bytes.size() >= kScratchBuffer) flush(row.subscriber, bytes);
  });
  for (auto& [subscriber, bytes] : pending) {
    if (!bytes.isEmpty()) flush(subscriber, bytes);
  }
  year_ = selection.year;
  leftOut_ = selection.leftOut;
  outOfRange_ = selection.outOfRange;
  unfinishedLine_ = selection.unfinishedLine;
}

BillBook::~BillBook() = default;

void BillBook::ForEachCall(int subscriber,
                           const std::function<void(const ReportCall&)>& each) const {
  QFile file(dir_.filePath(ScratchName(subscriber)));
  if (!file.open(QIODevice::ReadOnly)) return;
  ReportCall call;
  while (Read(file, subscriber, call)) each(call);
}

QString BillBook::ZoneText(const Rated& rated) const {
  return ::ZoneText(tariffs_, rated);
}

std::vector<int> BillBook::Order(bool byDepartment) const {
  std::vector<int> order;
  for (const auto& entry : subscribers_) order.push_back(entry.first);
  if (byDepartment && directory_) {
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      return directory_->DepartmentOf(a) < directory_->DepartmentOf(b);
    });
  }
  return order;
}

std::map<QString, SubscriberReport> BillBook::Departments() const {
  return DepartmentTotals(subscribers_, Directory());
}

void AddCostColumns(ExportOptions& options, const Tariffs& tariffs) {
  options.extraHeading = {QStringLiteral("zone"), QStringLiteral("cost")};
  // The zone texts in UTF-8 once, not once a row: a row's fields are then copied bytes and a
  // cost written digit by digit.
  std::vector<QByteArray> zones;
  for (const TariffZone& zone : tariffs.zones) zones.push_back(zone.name.toUtf8());
  const auto kindText = [&tariffs](Rated::Kind kind) {
    Rated rated;
    rated.kind = kind;
    return ZoneText(tariffs, rated).toUtf8();
  };
  options.extraFields = [tariffs, zones, unknown = kindText(Rated::Kind::kUnknownDuration),
                         notCharged = kindText(Rated::Kind::kNotCharged),
                         noZone = kindText(Rated::Kind::kNoZone)](const ExportRow& row,
                                                                  ExportOptions::Fields& fields) {
    const Rated rated = RateCall(tariffs, row);
    fields.resize(2);
    fields[1].truncate(0);
    switch (rated.kind) {
      case Rated::Kind::kCharged:
        fields[0] = zones[static_cast<size_t>(rated.zone)];
        AppendMoneyText(fields[1], rated.cost);
        break;
      case Rated::Kind::kUnknownDuration:
        fields[0] = unknown;
        break;
      case Rated::Kind::kNotCharged:
        fields[0] = notCharged;
        break;
      case Rated::Kind::kNoZone:
        fields[0] = noZone;
        break;
    }
  };
}

void AddSubscriberColumns(ExportOptions& options, const SubscriberDirectory& directory) {
  options.extraHeading << QStringLiteral("name") << QStringLiteral("department")
                       << QStringLiteral("cost_centre");
  // Every subscriber's three texts in UTF-8 once; empty for one the directory does not name.
  std::map<int, std::array<QByteArray, 3>> texts;
  for (int subscriber = 0; subscriber < 256; ++subscriber) {
    if (const SubscriberEntry* entry = directory.Of(subscriber)) {
      texts[subscriber] = {entry->name.toUtf8(), entry->department.toUtf8(),
                           entry->costCentre.toUtf8()};
    }
  }
  options.extraFields = [before = options.extraFields, texts = std::move(texts)](
                            const ExportRow& row, ExportOptions::Fields& fields) {
    if (before) {
      before(row, fields);
    } else {
      fields.clear();
    }
    const auto entry = texts.find(row.subscriber);
    for (int i = 0; i < 3; ++i) {
      fields.push_back(entry == texts.end() ? QByteArray() : entry->second[i]);
    }
  };
}

QString ZoneText(const Tariffs& tariffs, const Rated& rated) {
  switch (rated.kind) {
    case Rated::Kind::kCharged:
      return tariffs.zones[static_cast<size_t>(rated.zone)].name;
    case Rated::Kind::kUnknownDuration:
      return QStringLiteral("длительность неизвестна");
    case Rated::Kind::kNotCharged:
      return QStringLiteral("не оплачивается");
    case Rated::Kind::kNoZone:
      return QStringLiteral("нет зоны");
  }
  return {};
}

void WriteBillsCsv(const BillBook& book, QIODevice& out, bool byDepartment) {
  QByteArray buffer = kUtf8Bom;
  buffer.reserve(kScratchBuffer + 1024);
  const auto flushBuffer = [&] {
    if (!WriteWhole(out, buffer)) {
      throw IoError(QStringLiteral("Не удается записать счета: %1").arg(out.errorString()));
    }
    buffer.clear();
  };
  // A subscriber's name and department end each of its rows, where the directory names them.
  const SubscriberDirectory* directory = book.Directory();
  const auto named = [&](int subscriber) {
    if (!directory) return QStringList();
    const SubscriberEntry* entry = directory->Of(subscriber);
    return QStringList{entry ? entry->name : QString(), entry ? entry->department : QString()};
  };
  int rowOf = 0;  // the subscriber whose rows are being written; 0: none
  const auto put = [&](const QStringList& fields) {
    buffer += CsvLine(fields + (rowOf != 0  ? named(rowOf)
                                : directory ? QStringList{QString(), QString()}
                                            : QStringList()))
                  .toUtf8();
    if (buffer.size() >= kScratchBuffer) flushBuffer();
  };
  // The zone column's text of each zone and of each reason for no cost, made once.
  std::vector<QByteArray> zoneNames;
  for (const TariffZone& zone : book.TariffTable().zones) {
    zoneNames.push_back(CsvField(zone.name).toUtf8());
  }
  std::array<QByteArray, 4> reasons;
  for (const Rated::Kind kind :
       {Rated::Kind::kUnknownDuration, Rated::Kind::kNotCharged, Rated::Kind::kNoZone}) {
    reasons[static_cast<size_t>(kind)] = CsvField(book.ZoneText(Rated{kind, -1, 0, 0})).toUtf8();
  }
  const auto zoneText = [&](const Rated& rated) -> const QByteArray& {
    return rated.kind == Rated::Kind::kCharged ? zoneNames[static_cast<size_t>(rated.zone)]
                                               : reasons[static_cast<size_t>(rated.kind)];
  };
  const auto totals = [&](const QString& who, const SubscriberReport& report, bool perZone) {
    if (perZone) {
      for (const auto& [zone, sum] : report.zones) {
        put({who,
             {},
             {},
             {},
             QStringLiteral("итого: ") + book.TariffTable().zones[static_cast<size_t>(zone)].name,
             QString::number(sum.minutes),
             MoneyText(sum.cost)});
      }
    }
    qint64 charged = 0;
    for (const auto& entry : report.zones) charged += entry.second.minutes;
    put({who,
         {},
         {},
         {},
         QStringLiteral("итого"),
         QString::number(charged),
         MoneyText(report.cost)});
  };
  QStringList heading = {QStringLiteral("subscriber"), QStringLiteral("date"),
                         QStringLiteral("time"),       QStringLiteral("number"),
                         QStringLiteral("zone"),       QStringLiteral("minutes"),
                         QStringLiteral("cost")};
  if (directory) heading << QStringLiteral("name") << QStringLiteral("department");
  buffer += CsvLine(heading).toUtf8();
  for (const int subscriber : book.Order(byDepartment)) {
    const SubscriberReport& report = book.Subscribers().at(subscriber);
    const QString who = QString::number(subscriber);
    const QByteArray whoBytes = who.toUtf8();
    rowOf = subscriber;
    QByteArray tail;  // ",name,department" of its call rows
    for (const QString& field : named(subscriber)) tail += ',' + CsvField(field).toUtf8();
    book.ForEachCall(subscriber, [&](const ReportCall& call) {
      // The rows of calls are the bulk of the file: their bytes are put together directly.
      const ExportRow& r = call.row;
      const bool charged = call.rated.kind == Rated::Kind::kCharged;
      buffer += whoBytes;
      buffer += ',';
      AppendDecimal(buffer, r.year);
      buffer += '-';
      AppendDigits(buffer, r.month, 2);
      buffer += '-';
      AppendDigits(buffer, r.day, 2);
      buffer += ',';
      AppendDigits(buffer, r.hour, 2);
      buffer += ':';
      AppendDigits(buffer, r.minute, 2);
      buffer += ',';
      if (!r.number.isEmpty()) {
        buffer += '"';
        for (const char c : r.number) {
          if (c == '"') buffer += '"';
          buffer += c;
        }
        buffer += '"';
      }
      buffer += ',';
      buffer += zoneText(call.rated);
      buffer += ',';
      if (charged) {
        AppendDecimal(buffer, call.rated.minutes);
      } else if (r.duration >= 0) {
        AppendDecimal(buffer, r.duration);
      }
      buffer += ',';
      if (charged) AppendMoney(buffer, call.rated.cost);
      buffer += tail;
      buffer += "\r\n";
      if (buffer.size() >= kScratchBuffer) flushBuffer();
    });
    totals(who, report, true);
  }
  for (const int subscriber : book.Order(byDepartment)) {
    const SubscriberReport& report = book.Subscribers().at(subscriber);
    rowOf = subscriber;
    qint64 charged = 0;
    for (const auto& entry : report.zones) charged += entry.second.minutes;
    put({QStringLiteral("сводка"),
         {},
         {},
         {},
         QStringLiteral("абонент %1").arg(subscriber),
         QString::number(charged),
         MoneyText(report.cost)});
  }
  rowOf = 0;
  if (byDepartment) {
    for (const auto& [department, report] : book.Departments()) {
      qint64 charged = 0;
      for (const auto& entry : report.zones) charged += entry.second.minutes;
      put({QStringLiteral("отдел"),
           {},
           {},
           {},
           department,
           QString::number(charged),
           MoneyText(report.cost)});
    }
  }
  totals(QStringLiteral("всего"), book.All(), true);
  flushBuffer();
}
