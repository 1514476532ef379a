#include "core/sync/RowWriter.h"

#include <cstring>

#include "core/files/DecimalText.h"
#include "core/image/ImageLayout.h"
#include "core/sync/DatabaseConnection.h"
#include "core/sync/SqlDialect.h"

CallFields RowWriter::Fields(const ExportRow& row) const {
  CallFields fields;
  char* p = fields.start;
  WriteDigits(p, row.year, 4);
  p[4] = '-';
  WriteDigits(p + 5, row.month, 2);
  p[7] = '-';
  WriteDigits(p + 8, row.day, 2);
  p[10] = ' ';
  WriteDigits(p + 11, row.hour, 2);
  p[13] = ':';
  WriteDigits(p + 14, row.minute, 2);
  std::memcpy(p + 16, ":00", 4);
  if (tariffs_) {
    const Rated rated = RateCall(*tariffs_, row);
    if (rated.kind == Rated::Kind::kCharged) {
      fields.zone = &zones_[static_cast<size_t>(rated.zone)];
      fields.chargedMinutes = rated.minutes;
      fields.cost = rated.cost;
    }
  }
  if (row.subscriber >= kFirstSubscriber && row.subscriber <= kLastSubscriber) {
    const size_t at = static_cast<size_t>(row.subscriber);
    if (!names_[at].isEmpty()) fields.name = &names_[at];
    if (!departments_[at].isEmpty()) fields.department = &departments_[at];
  }
  return fields;
}

QByteArray CallRecordKey(const ExportRow& row) {
  QByteArray key;
  key.reserve(24 + row.number.size());
  AppendDecimal(key, row.subscriber);
  key += ' ';
  AppendDecimal(key, row.duration >= 0 ? row.duration : -1);
  key += ' ';
  AppendDecimal(key, row.cityLine);
  key += ' ';
  AppendDecimal(key, row.callType);
  key += ' ';
  key += QByteArray(row.number).replace('\0', "");
  return key;
}

std::unique_ptr<RowWriter> MakeRowWriter(DatabaseConnection& c, const QString& station, int month,
                                         const std::optional<Tariffs>& tariffs,
                                         const SubscriberDirectory* directory, bool rerate,
                                         bool fresh) {
  return c.Dialect().Rows(c, station, month, tariffs, directory, rerate, fresh);
}
