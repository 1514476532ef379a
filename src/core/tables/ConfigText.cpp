#include "core/tables/ConfigText.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <array>
#include <vector>

#include "core/files/RegularFile.h"
#include "core/image/CellTexts.h"
#include "core/image/ImageLayout.h"
#include "core/tables/ConfigDescription.h"

namespace {

const QString kByteKey = QStringLiteral("байт");
constexpr qsizetype kMostErrors = 20;

struct NamedItem {
  ConfigItem item;
  QString name;
  QString heading;  // the table and its half: the comment above the table's lines
};

// The settings a station of this many boards shows, with their names, made once.
const std::vector<NamedItem>& Described(int boards) {
  static const std::array<std::vector<NamedItem>, 4> described = [] {
    std::array<std::vector<NamedItem>, 4> all;
    for (int b = 1; b <= 4; ++b) {
      for (const ConfigItem& item : DescribeConfig(b)) {
        all[b - 1].push_back(
            {item, item.Name(),
             item.half.isEmpty() ? item.table : item.table + QStringLiteral(", ") + item.half});
      }
    }
    return all;
  }();
  return described[boards - 1];
}

// Every setting of the largest station by its key: a text names the rows it wants, whatever
// the board count it was written for.
const QHash<QString, ConfigItem>& ItemsByKey() {
  static const QHash<QString, ConfigItem> items = [] {
    QHash<QString, ConfigItem> byKey;
    for (const NamedItem& named : Described(4)) byKey.insert(named.name, named.item);
    return byKey;
  }();
  return items;
}

// Latin letters that look like Russian ones, and the Russian letter each is taken for.
const QHash<QChar, QChar>& LookAlikes() {
  static const QHash<QChar, QChar> letters = [] {
    const QString latin = QStringLiteral("aceopxyABCEHKMOPTX");
    const QString cyrillic = QStringLiteral("асеорхуАВСЕНКМОРТХ");
    QHash<QChar, QChar> map;
    for (qsizetype i = 0; i < latin.size(); ++i) map.insert(latin[i], cyrillic[i]);
    return map;
  }();
  return letters;
}

// A hint for a word written with a Latin look-alike among Russian letters (a keyboard left in
// the other layout for one key): what those letters are, or nothing.
QString LookAlikeHint(const QString& text) {
  bool russian = false;
  QString latin;
  for (const QChar c : text) {
    if (c.script() == QChar::Script_Cyrillic) russian = true;
    if (LookAlikes().contains(c) && !latin.contains(c)) latin += c;
  }
  if (!russian || latin.isEmpty()) return {};
  return QStringLiteral(" (латинская буква \"%1\" вместо русской)").arg(latin);
}

std::optional<int> Number(const QString& text, int low, int high) {
  const std::optional<int> value = text.size() <= 3 ? DecimalNumber(text) : std::nullopt;
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

// Writes a setting's value into the image, as the setting's window would. Values that name no
// window's value are refused with the reason.
bool Apply(const ConfigItem& item, const QString& given, ConfigImage& image, QString* problem) {
  // The windows' words in any case: "Да", "НЕТ", "Пусто".
  const QString value = given.toLower();
  const int offset = item.bits.front().first;
  quint8& byte = image[offset];
  switch (item.kind) {
    case ConfigItem::Kind::kBit: {
      const quint8 mask = item.bits.front().second;
      if (value == QStringLiteral("да")) {
        byte |= mask;
      } else if (value == QStringLiteral("нет")) {
        byte &= static_cast<quint8>(~mask);
      } else {
        *problem = QStringLiteral("\"да\" or \"нет\" is needed");
        return false;
      }
      return true;
    }
    case ConfigItem::Kind::kCityLineCell: {
      if (value == QStringLiteral("пусто")) {
        byte = 0;
        return true;
      }
      const bool delay = value.endsWith(u'+');
      const std::optional<int> subscriber =
          Number(delay ? value.chopped(1) : value, kFirstSubscriber, kLastSubscriber);
      if (!subscriber) {
        *problem = QStringLiteral(
                       "\"пусто\", a subscriber %1..%2, or one followed by \"+\" is "
                       "needed")
                       .arg(kFirstSubscriber)
                       .arg(kLastSubscriber);
        return false;
      }
      byte = SubscriberCode(*subscriber) | (delay ? kDelaySign : 0);
      return true;
    }
    case ConfigItem::Kind::kTwoDigits:
    case ConfigItem::Kind::kOneDigit: {
      const int digits = item.kind == ConfigItem::Kind::kTwoDigits ? 2 : 1;
      if (!IsHexNumber(value) || value.size() > digits) {
        *problem = QStringLiteral("%1 hexadecimal digit%2 needed")
                       .arg(digits == 2 ? QStringLiteral("one or two") : QStringLiteral("one"),
                            digits == 2 ? QStringLiteral("s are") : QStringLiteral(" is"));
        return false;
      }
      const quint8 mask = item.bits.front().second;
      byte = static_cast<quint8>((byte & ~mask) | (IntCellValue(value) & mask));
      return true;
    }
    case ConfigItem::Kind::kSwitchTime: {
      quint8& minute = image[item.bits.back().first];
      if (value == QStringLiteral("не задано")) {
        byte = 0;
        minute = 0;
        return true;
      }
      const QStringList parts = value.split(u':');
      const std::optional<int> hours = parts.size() == 2 ? Number(parts[0], 0, 23) : std::nullopt;
      const std::optional<int> minutes = parts.size() == 2 ? Number(parts[1], 0, 59) : std::nullopt;
      if (!hours || !minutes || parts[0].isEmpty() || parts[0].size() > 2 || parts[1].size() != 2) {
        *problem = QStringLiteral("\"не задано\" or a time Ч:ММ (0:00..23:59) is needed");
        return false;
      }
      byte = static_cast<quint8>(0x80 | *hours);
      minute = static_cast<quint8>(*minutes);
      return true;
    }
    case ConfigItem::Kind::kAdminPhone: {
      if (value == QStringLiteral("нет")) {
        byte = 0;
        return true;
      }
      const std::optional<int> subscriber = Number(value, kFirstSubscriber, kLastSubscriber);
      if (!subscriber) {
        *problem = QStringLiteral("\"нет\" or a subscriber %1..%2 is needed")
                       .arg(kFirstSubscriber)
                       .arg(kLastSubscriber);
        return false;
      }
      byte = SubscriberCode(*subscriber);
      return true;
    }
  }
  return false;
}

QString Hex(quint8 byte) {
  return QStringLiteral("0x") + QString::number(byte, 16).toUpper().rightJustified(2, u'0');
}

}  // namespace

QByteArray ConfigToText(const ConfigImage& image, int boards, const QString& source) {
  boards = qBound(1, boards, 4);
  QStringList lines;
  lines.reserve(4096);
  lines << QStringLiteral("# Конфигурация станции: %1, плат: %2").arg(source).arg(boards)
        << QStringLiteral(
               "# Строка: таблица, режим, строка, столбец = значение. Строки "
               "\"байт N = 0xAB\" задают байт образа целиком.");
  // The bits the written settings give: a byte with any other bit is written as a byte line
  // too, so that the text gives the whole image whatever it is read onto.
  std::array<quint8, kImageSize> covered{};
  QString group;
  ConfigImage check = image;
  for (const auto& [item, name, heading] : Described(boards)) {
    if (heading != group) {
      lines << QString() << QStringLiteral("# ") + heading;
      group = heading;
    }
    // A setting whose window's value does not give its bytes back (an invalid entry, a time out
    // of range) is left to its byte lines; the comment says what the window shows.
    const QString value = item.Text(image);
    QString problem;
    bool exact = Apply(item, value, check, &problem);
    for (const auto& [offset, mask] : item.bits) {
      exact = exact && check[offset] == image[offset];
      check[offset] = image[offset];
    }
    if (exact) {
      for (const auto& [offset, mask] : item.bits) covered[offset] |= mask;
      lines << name + QStringLiteral(" = ") + value;
    } else {
      lines << QStringLiteral("# ") + name + QStringLiteral(": в окне \"") + value +
                   QStringLiteral("\", задано байтами ниже");
    }
  }
  QStringList bytes;
  for (int offset = 0; offset < kImageSize; ++offset) {
    if (covered[offset] == 0xFF) continue;
    bytes << QStringLiteral("%1 %2 = %3").arg(kByteKey).arg(offset).arg(Hex(image[offset]));
  }
  if (!bytes.isEmpty()) {
    lines << QString() << QStringLiteral("# Байты, которых окна не показывают целиком") << bytes;
  }
  return (lines.join(u'\n') + u'\n').toUtf8();
}

ConfigTextResult ConfigFromText(const QByteArray& text, const ConfigImage& base) {
  ConfigTextResult result;
  // Without ConvertInitialBom the decoder drops a byte order mark at the start of the text.
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = decoder(text);
  if (decoder.hasError()) {
    result.errors << QStringLiteral("the text is not UTF-8");
    return result;
  }
  static const QRegularExpression byteKey(QStringLiteral("^байт\\s+(\\d{1,3})$"));
  static const QRegularExpression byteValue(QStringLiteral("^0[xX]([0-9A-Fa-f]{1,2})$"));
  struct Setting {
    int line;
    const ConfigItem* item;
    QString key;
    QString value;
  };
  std::vector<Setting> settings;
  QHash<QString, int> seen;
  seen.reserve(4096);
  ConfigImage image = base;
  const QStringList lines = decoded.split(u'\n');
  for (int i = 0; i < lines.size(); ++i) {
    const int number = i + 1;
    QString line = lines[i].trimmed();
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0) {
      result.errors
          << QStringLiteral("line %1: \"%2\" has no \"=\"").arg(number).arg(ShortEcho(line));
      continue;
    }
    QString key = line.left(equals).trimmed();
    if (key.contains(QStringLiteral("  ")) || key.contains(u'\t')) key = key.simplified();
    QString value = line.mid(equals + 1);
    // A comment may follow the value, as in the tariff and alert files: no value holds "#".
    if (const qsizetype hash = value.indexOf(u'#'); hash >= 0) value.truncate(hash);
    value = value.trimmed();
    if (const auto first = seen.constFind(key); first != seen.constEnd()) {
      result.errors << QStringLiteral("line %1: \"%2\" is given again (first on line %3)")
                           .arg(number)
                           .arg(key)
                           .arg(*first);
      continue;
    }
    seen.insert(key, number);
    if (const QRegularExpressionMatch raw =
            key.startsWith(kByteKey) ? byteKey.match(key) : QRegularExpressionMatch();
        raw.hasMatch()) {
      const int offset = raw.captured(1).toInt();
      const QRegularExpressionMatch hex = byteValue.match(value);
      if (offset >= kImageSize || !hex.hasMatch()) {
        result.errors
            << QStringLiteral("line %1: \"%2\": %3")
                   .arg(number)
                   .arg(key)
                   .arg(offset >= kImageSize
                            ? QStringLiteral("the image has bytes 0..%1").arg(kImageSize - 1)
                            : QStringLiteral("a byte 0x00..0xFF is needed"));
        continue;
      }
      image[offset] = static_cast<quint8>(hex.captured(1).toUInt(nullptr, 16));
      ++result.settings;
      continue;
    }
    const auto item = ItemsByKey().constFind(key);
    if (item == ItemsByKey().constEnd()) {
      result.errors << QStringLiteral("line %1: \"%2\" is no setting%3")
                           .arg(number)
                           .arg(ShortEcho(key), LookAlikeHint(key));
      continue;
    }
    settings.push_back({number, &*item, key, value});
    ++result.settings;
  }
  for (const Setting& setting : settings) {
    QString problem;
    if (!Apply(*setting.item, setting.value, image, &problem)) {
      result.errors << QStringLiteral("line %1: \"%2\" = \"%3\": %4%5")
                           .arg(setting.line)
                           .arg(setting.key, ShortEcho(setting.value), problem,
                                LookAlikeHint(setting.value));
    }
  }
  if (result.errors.isEmpty()) {
    result.image = image;
  } else if (result.errors.size() > kMostErrors) {
    // A file that is no configuration at all would fill the screen with its every line.
    const qsizetype more = result.errors.size() - kMostErrors;
    result.errors.resize(kMostErrors);
    result.errors << QStringLiteral("and %1 more mistakes").arg(more);
  }
  return result;
}

bool IsConfigTextName(const QString& path, qint64 size) {
  return path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive) ||
         (size != kImageSize && size != kImageSize / 2);
}

bool ReadsAsConfigText(const QString& path, const QByteArray& bytes) {
  return IsConfigTextName(path, bytes.size()) ||
         (bytes.contains('=') && ConfigFromText(bytes, ConfigImage{}).image.has_value());
}
