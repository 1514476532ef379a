#include "core/tables/ConfigDescription.h"

#include <array>

#include "core/image/CellTexts.h"
#include "core/image/ImageLayout.h"
#include "core/tables/TableDescriptors.h"

namespace {

const QString kDay = QStringLiteral("день");
const QString kNight = QStringLiteral("ночь");
const QString kBasic = QString::fromUtf8(kBasicMode);
const QString kAdditional = QString::fromUtf8(kAdditionalMode);

QString Heading(TableId table) {
  return QString::fromUtf8(Table(table).heading);
}

QString Half(bool day) {
  return day ? kDay : kNight;
}

QString RowName(bool subscribers, int row) {
  return subscribers ? QStringLiteral("абонент %1").arg(kFirstSubscriber + row)
                     : QStringLiteral("ГЛ %1").arg(row + 1);
}

// A table of check boxes over one or two regions (the modes).
void AddBitTable(std::vector<ConfigItem>& items, const TableDescriptor& table, int boards) {
  const int rows = table.Subscribers() ? 6 * boards : 2 * boards;
  for (const bool day : {true, false}) {
    for (int row = 0; row < rows; ++row) {
      for (int m = 0; m < table.blocks; ++m) {
        const int kind = table.kinds[m];
        const bool lineBits = IsLineBitRegion(kind);
        const int columns = lineBits ? 2 * boards : 8;
        const int offset = RegionOffset(RegionDescriptor(day, kind), row);
        for (int c = 0; c < columns; ++c) {
          const int bit = lineBits ? ColumnsToLineBits(static_cast<quint8>(1u << c)) : 1 << c;
          ConfigItem item;
          item.table = QString::fromUtf8(table.heading);
          item.half = Half(day);
          item.row = RowName(table.Subscribers(), row);
          const QString column = QString::fromUtf8(table.columnPrefix) + QString::number(c + 1);
          item.column =
              table.blocks > 1 ? QString::fromUtf8(table.modes[m]) + u' ' + column : column;
          item.bits = {{offset, static_cast<quint8>(bit)}};
          item.kind = ConfigItem::Kind::kBit;
          items.push_back(item);
        }
      }
    }
  }
}

ConfigItem Item(const QString& table, const QString& half, const QString& row,
                const QString& column, std::vector<std::pair<int, quint8>> bits,
                ConfigItem::Kind kind) {
  ConfigItem item;
  item.table = table;
  item.half = half;
  item.row = row;
  item.column = column;
  item.bits = std::move(bits);
  item.kind = kind;
  return item;
}

QString Hex(quint8 byte) {
  return QString::number(byte, 16).rightJustified(2, u'0').toUpper();
}

}  // namespace

QString ConfigItem::Name() const {
  QStringList parts = {table};
  for (const QString& part : {half, row, column}) {
    if (!part.isEmpty()) parts << part;
  }
  return parts.join(QStringLiteral(", "));
}

QString ConfigItem::Text(const ConfigImage& image) const {
  const quint8 byte = image[bits.front().first];
  switch (kind) {
    case Kind::kBit:
      return (byte & bits.front().second) ? QStringLiteral("да") : QStringLiteral("нет");
    case Kind::kCityLineCell: {
      const QString text = CLineCellText(byte).trimmed();
      return text.isEmpty() ? QStringLiteral("пусто") : text;
    }
    case Kind::kTwoDigits:
      return IntCellText(byte, 2);
    case Kind::kOneDigit:
      return IntCellText(byte & 0x0F, 1);
    case Kind::kSwitchTime:
      if (!(byte & 0x80)) return QStringLiteral("не задано");
      // As the window's spin boxes show them, within 0..23 and 0..59.
      return QStringLiteral("%1:%2")
          .arg(qMin(byte & 0x7F, 23), 2, 10, QLatin1Char('0'))
          .arg(qMin<int>(image[bits.back().first], 59), 2, 10, QLatin1Char('0'));
    case Kind::kAdminPhone: {
      const int subscriber = SubscriberFromCode(byte);
      return subscriber > 0 ? QString::number(subscriber) : QStringLiteral("нет");
    }
  }
  return {};
}

std::vector<ConfigItem> DescribeConfig(int boards) {
  boards = qBound(1, boards, 4);
  std::vector<ConfigItem> items;
  for (const TableId table :
       {TableId::kDVO1Subscribers, TableId::kDVO2Subscribers, TableId::kCityAccess,
        TableId::kLongDistanceAccess, TableId::kDVO1Lines, TableId::kDVO2Lines}) {
    AddBitTable(items, Table(table), boards);
  }

  const QString calls = Heading(TableId::kCityLineCalls);
  const QString digits = Heading(TableId::kAddDigits);
  const QString general = Heading(TableId::kGeneral);
  for (const bool day : {true, false}) {
    for (int line = 1; line <= 2 * boards; ++line) {
      for (int column = 1; column <= 8; ++column) {
        items.push_back(Item(calls, Half(day), RowName(false, line - 1),
                             (column <= 4 ? kBasic : kAdditional) + u' ' +
                                 QString::number(column <= 4 ? column : column - 4),
                             {{IncomingCellOffset(day, line, column), 0xFF}},
                             ConfigItem::Kind::kCityLineCell));
      }
    }
    for (int line = 0; line < 2 * boards; ++line) {
      items.push_back(Item(digits, Half(day), RowName(false, line), QStringLiteral("Цифра"),
                           {{RegionOffset(RegionDescriptor(day, AddDigit), line), 0xFF}},
                           ConfigItem::Kind::kTwoDigits));
    }
    for (int selector = 0; selector < 3; ++selector) {
      const QString row = QStringLiteral("Номер телефона %1 селектора").arg(selector + 1);
      items.push_back(Item(general, Half(day), row, QStringLiteral("Осн."),
                           {{RegionOffset(RegionDescriptor(day, SelectorBasic), selector), 0xFF}},
                           ConfigItem::Kind::kTwoDigits));
      items.push_back(Item(general, Half(day), row, QStringLiteral("Доп."),
                           {{RegionOffset(RegionDescriptor(day, SelectorAdd), selector), 0xFF}},
                           ConfigItem::Kind::kTwoDigits));
    }
    items.push_back(Item(general, Half(day), QStringLiteral("Распределение занятия ГЛ"),
                         QStringLiteral("Осн."),
                         {{RegionOffset(RegionDescriptor(day, LineSeizure), 0), 0x0F}},
                         ConfigItem::Kind::kOneDigit));
  }
  const QString switching = Heading(TableId::kSwitching);
  const char* const times[6] = {"Время начала ночного режима",
                                "Время окончания ночного режима",
                                "Время начала дневого дополнительного режима",
                                "Время окончания дневного дополнительного режима",
                                "Время начала ночного дополнительного режима",
                                "Время окончания ночного дополнительного режима"};
  for (int t = 1; t <= 6; ++t) {
    const int hour = SwitchTimeOffset(t);
    items.push_back(Item(switching, {}, QString::fromUtf8(times[t - 1]),
                         QStringLiteral("Час.:Мин."), {{hour, 0xFF}, {hour + 1, 0xFF}},
                         ConfigItem::Kind::kSwitchTime));
  }
  for (int k = 1; k <= 2; ++k) {
    items.push_back(Item(switching, {}, QStringLiteral("Номер телефона %1 администратора").arg(k),
                         {}, {{AdminPhoneOffset(k), 0xFF}}, ConfigItem::Kind::kAdminPhone));
  }
  return items;
}

QStringList ConfigDifferences(const ConfigImage& a, const ConfigImage& b, int boards) {
  QStringList lines;
  std::array<quint8, kImageSize> explained{};
  for (const ConfigItem& item : DescribeConfig(boards)) {
    const QString before = item.Text(a);
    const QString after = item.Text(b);
    if (before == after) continue;
    lines << item.Name() + QStringLiteral(": ") + before + QStringLiteral(" → ") + after;
    for (const auto& [offset, mask] : item.bits) explained[offset] |= mask;
  }
  for (int offset = 0; offset < kImageSize; ++offset) {
    const quint8 changed = a[offset] ^ b[offset];
    if (changed & ~explained[offset]) {
      lines << QStringLiteral("байт %1: %2 → %3").arg(offset).arg(Hex(a[offset]), Hex(b[offset]));
    }
  }
  return lines;
}

QStringList ShowConfig(const ConfigImage& image, int boards) {
  QStringList lines;
  QString table;
  QString row;
  // The values of the row, grouped by mode: ticked boxes by their headings, values as they show.
  QStringList groups;
  QStringList values;
  QString group;
  const auto endGroup = [&] {
    if (!group.isNull())
      groups << (group.isEmpty() ? QString() : group + QStringLiteral(": ")) +
                    (values.isEmpty() ? QStringLiteral("-") : values.join(u' '));
    values.clear();
    group = QString();
  };
  const auto endRow = [&] {
    endGroup();
    if (!row.isEmpty())
      lines << QStringLiteral("  ") + row + QStringLiteral(": ") +
                   groups.join(QStringLiteral("; "));
    groups.clear();
  };
  for (const ConfigItem& item : DescribeConfig(boards)) {
    const QString heading =
        item.half.isEmpty() ? item.table : item.table + QStringLiteral(", ") + item.half;
    if (heading != table || item.row != row) {
      endRow();
      if (heading != table) lines << heading;
      table = heading;
      row = item.row;
    }
    const QString text = item.Text(image);
    if (item.kind == ConfigItem::Kind::kBit) {
      // "Основной режим ОС3": the mode, then the box's heading.
      const qsizetype space = item.column.lastIndexOf(u' ');
      const QString mode = space < 0 ? QStringLiteral("") : item.column.left(space);
      if (group.isNull() || mode != group) {
        endGroup();
        group = mode;
      }
      if (text == QStringLiteral("да")) values << item.column.mid(space + 1);
    } else {
      endGroup();
      groups << (item.column.isEmpty() ? text : item.column + QStringLiteral(" ") + text);
    }
  }
  endRow();
  return lines;
}
