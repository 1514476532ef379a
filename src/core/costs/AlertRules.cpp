#include "core/costs/AlertRules.h"

#include <QCryptographicHash>
#include <QHash>
#include <QRegularExpression>

#include "core/base/Errors.h"
#include "core/costs/AlertDelivery.h"
#include "core/files/CallRecords.h"
#include "core/files/RegularFile.h"
#include "core/image/ImageLayout.h"

namespace {

const QString kAlarm = QStringLiteral("тревога");
const QString kWarning = QStringLiteral("предупреждение");

const char* const kWhenNames[] = {"always", "outside_hours", "days_off"};
const char* const kMeasureNames[] = {"calls", "minutes", "cost"};
const char* const kPartNames[] = {"both", "day", "night"};

template <class Enum, size_t N>
std::optional<Enum> Named(const QString& value, const char* const (&names)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (value == QLatin1String(names[i])) return static_cast<Enum>(i);
  }
  return std::nullopt;
}

template <size_t N>
QString Choices(const char* const (&names)[N]) {
  QStringList all;
  for (const char* name : names) all << QStringLiteral("«%1»").arg(QLatin1String(name));
  return all.join(QStringLiteral(", "));
}

class Parser {
 public:
  explicit Parser(const QString& fileName) : fileName_(fileName) {}

  AlertRules Parse(const QString& text) {
    const QStringList lines = text.split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
      line_ = i + 1;
      const std::optional<HandWrittenLine> read = ReadHandWrittenLine(lines[i]);
      if (!read) continue;
      if (read->kind == HandWrittenLine::Kind::kBadHeading) {
        Fail(QStringLiteral("неверный заголовок правила"));
      }
      if (read->kind == HandWrittenLine::Kind::kNoEquals) Fail(QStringLiteral("нет знака «=»"));
      if (read->kind == HandWrittenLine::Kind::kHeading) {
        EndRule();
        const QString& name = read->name;
        for (const AlertRule& rule : rules_.rules) {
          if (rule.name == name) {
            Fail(QStringLiteral("правило «%1» уже есть (строка %2)").arg(name).arg(rule.line));
          }
        }
        rules_.rules.push_back({});
        rules_.rules.back().name = name;
        rules_.rules.back().line = line_;
        keys_.clear();
        continue;
      }
      const QString& key = read->name;
      const QString& value = read->value;
      if (keys_.contains(key)) {
        Fail(QStringLiteral("«%1» задан второй раз (первый раз в строке %2)")
                 .arg(key)
                 .arg(keys_.value(key)));
      }
      keys_.insert(key, line_);
      if (rules_.rules.empty()) {
        Global(key, value);
      } else {
        Rule(rules_.rules.back(), key, value);
      }
    }
    EndRule();
    return rules_;
  }

 private:
  [[noreturn]] void Fail(const QString& what) const {
    throw ConvertError(
        QStringLiteral("Файл %1, строка %2: %3").arg(fileName_).arg(line_).arg(what));
  }

  void Global(const QString& key, const QString& value) {
    if (key == QLatin1String("mail")) {
      for (const QString& address : List(key, value)) {
        // An address goes on sendmail's command line: nothing that could read as an option or
        // break the header. A user of this machine (root, the default) is an address too.
        static const QRegularExpression shape(
            QStringLiteral("^[^\\s@<>,;\"'-][^\\s@<>,;\"']*@[^\\s@<>,;\"']+$"));
        static const QRegularExpression localUser(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.-]*$"));
        if (!shape.match(address).hasMatch() && !localUser.match(address).hasMatch())
          Fail(QStringLiteral("«mail»: «%1» - не адрес").arg(address));
        rules_.mail << address;
      }
    } else if (key == QLatin1String("station")) {
      rules_.station = value;
    } else if (key == QLatin1String("command")) {
      if (!value.startsWith(u'/')) Fail(QStringLiteral("«command»: нужен полный путь к программе"));
      rules_.command = value;
    } else if (key == QLatin1String("command_format")) {
      if (value != QLatin1String("text") && value != QLatin1String("json")) {
        Fail(QStringLiteral("«command_format»: нужно «text» или «json»"));
      }
      rules_.commandJson = value == QLatin1String("json");
    } else if (key == QLatin1String("sendmail")) {
      QString host;
      quint16 port = 0;
      if (!value.startsWith(u'/') && !ParseSmtpAddress(value, &host, &port)) {
        Fail(QStringLiteral("«sendmail»: нужен полный путь к программе или smtp://сервер:порт"));
      }
      rules_.sendmail = value;
    } else {
      Fail(QStringLiteral("неизвестный ключ «%1» (до первого правила: %2)")
               .arg(key, QString::fromLatin1(kAlertGlobalKeys).replace(u' ', QLatin1String(", "))));
    }
  }

  QStringList List(const QString& key, const QString& value) const {
    QStringList items;
    for (const QString& item : value.split(u',')) {
      if (!item.trimmed().isEmpty()) items << item.trimmed();
    }
    if (items.isEmpty()) Fail(QStringLiteral("«%1»: пустой список").arg(key));
    return items;
  }

  int Number(const QString& key, const QString& value, int low, int high) const {
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!ok || number < low || number > high) {
      Fail(QStringLiteral("«%1»: нужно число от %2 до %3, а не «%4»")
               .arg(key)
               .arg(low)
               .arg(high)
               .arg(value));
    }
    return number;
  }

  // A factor above 1 and at most 1000, with a decimal point or comma: "3", "2.5", "1,5".
  double Factor(const QString& key, const QString& value) const {
    bool ok = false;
    const double factor = QString(value).replace(u',', u'.').toDouble(&ok);
    if (!ok || !(factor > 1) || factor > 1000) {
      Fail(QStringLiteral("«%1»: нужно число больше 1 и не больше 1000, например 2.5, а не «%2»")
               .arg(key, value));
    }
    return factor;
  }

  std::vector<int> Numbers(const QString& key, const QString& value, int low, int high) const {
    std::vector<int> numbers;
    for (const QString& item : List(key, value)) numbers.push_back(Number(key, item, low, high));
    return numbers;
  }

  void Rule(AlertRule& rule, const QString& key, const QString& value) {
    if (key == QLatin1String("level")) {
      if (value == kAlarm) {
        rule.level = AlertRule::Level::kAlarm;
      } else if (value == kWarning) {
        rule.level = AlertRule::Level::kWarning;
      } else {
        Fail(QStringLiteral("«level»: нужно «%1» или «%2»").arg(kWarning, kAlarm));
      }
    } else if (key == QLatin1String("prefixes")) {
      rule.prefixes = Digits(key, value);
    } else if (key == QLatin1String("longer_than")) {
      rule.longerThan = Number(key, value, 0, kMinutesPerDay);
    } else if (key == QLatin1String("cost_above")) {
      const std::optional<Price> price = ParsePrice(value);
      if (!price) Fail(QStringLiteral("«cost_above»: неверная сумма «%1»").arg(value));
      // Kept in kopecks, as a call's cost is; a part of a kopeck counts up.
      rule.costAbove = (*price + kPricePerMoney - 1) / kPricePerMoney;
    } else if (key == QLatin1String("subscribers")) {
      rule.subscribers = Numbers(key, value, kFirstSubscriber, kLastSubscriber);
    } else if (key == QLatin1String("lines")) {
      rule.cityLines = Numbers(key, value, 1, kMaxCityLines);
    } else if (key == QLatin1String("when")) {
      const std::optional<AlertRule::When> when = Named<AlertRule::When>(value, kWhenNames);
      if (!when) Fail(QStringLiteral("«when»: нужно одно из %1").arg(Choices(kWhenNames)));
      rule.when = *when;
    } else if (key == QLatin1String("usual")) {
      const std::optional<AlertRule::Measure> measure =
          Named<AlertRule::Measure>(value, kMeasureNames);
      if (!measure) Fail(QStringLiteral("«usual»: нужно одно из %1").arg(Choices(kMeasureNames)));
      rule.kind = AlertRule::Kind::kUsual;
      rule.measure = *measure;
    } else if (key == QLatin1String("times")) {
      rule.times = Factor(key, value);
    } else if (key == QLatin1String("part")) {
      const std::optional<AlertRule::Part> part = Named<AlertRule::Part>(value, kPartNames);
      if (!part) Fail(QStringLiteral("«part»: нужно одно из %1").arg(Choices(kPartNames)));
      rule.part = *part;
    } else if (key == QLatin1String("burst")) {
      static const QRegularExpression shape(
          QStringLiteral("^([0-9]{1,4})\\s+calls\\s+in\\s+([0-9]{1,4})\\s+minutes$"));
      const QRegularExpressionMatch match = shape.match(value);
      if (!match.hasMatch()) Fail(QStringLiteral("«burst»: нужно «N calls in M minutes»"));
      rule.kind = AlertRule::Kind::kBurst;
      rule.burstCalls = Number(key, match.captured(1), 2, 1000);
      rule.burstMinutes = Number(key, match.captured(2), 1, kMinutesPerDay);
    } else if (key == QLatin1String("by")) {
      if (value != QLatin1String("subscriber") && value != QLatin1String("line")) {
        Fail(QStringLiteral("«by»: нужно «subscriber» или «line»"));
      }
      rule.byLine = value == QLatin1String("line");
    } else if (key == QLatin1String("silent_days")) {
      rule.kind = AlertRule::Kind::kSilence;
      rule.silentDays = Number(key, value, 1, kMostSilentDays);
    } else if (key == QLatin1String("at_least")) {
      rule.atLeast = Number(key, value, 0, 100000);
    } else if (key == QLatin1String("usual_floor")) {
      rule.usualFloor = Number(key, value, 0, 100000);
    } else if (key == QLatin1String("except_subscribers")) {
      rule.exceptSubscribers = Numbers(key, value, kFirstSubscriber, kLastSubscriber);
    } else if (key == QLatin1String("except_numbers")) {
      rule.exceptNumbers = Digits(key, value);
    } else if (key == QLatin1String("hours")) {
      static const QRegularExpression shape(
          QStringLiteral("^([0-9]{1,2}):([0-9]{2})\\s*-\\s*([0-9]{1,2}):([0-9]{2})$"));
      const QRegularExpressionMatch match = shape.match(value);
      const auto minute = [&](int at) {
        return match.captured(at).toInt() * 60 + match.captured(at + 1).toInt();
      };
      if (!match.hasMatch() || match.captured(2).toInt() > 59 || match.captured(4).toInt() > 59 ||
          minute(1) >= kMinutesPerDay || minute(3) > kMinutesPerDay || minute(1) == minute(3)) {
        Fail(QStringLiteral("«hours»: нужно «ЧЧ:ММ-ЧЧ:ММ», например 22:00-07:00, а не «%1»")
                 .arg(value));
      }
      rule.hoursFrom = minute(1);
      rule.hoursTo = minute(3);
    } else if (key == QLatin1String("own_hours")) {
      if (value != QLatin1String("yes") && value != QLatin1String("no")) {
        Fail(QStringLiteral("«own_hours»: нужно «yes» или «no»"));
      }
      rule.ownHours = value == QLatin1String("yes");
    } else {
      Fail(QStringLiteral("неизвестный ключ «%1» (%2)")
               .arg(key, QString::fromLatin1(kAlertRuleKeys).replace(u' ', QLatin1String(", "))));
    }
  }

  QStringList Digits(const QString& key, const QString& value) const {
    const QStringList prefixes = List(key, value);
    for (const QString& prefix : prefixes) {
      for (const QChar c : prefix) {
        if (!c.isDigit()) Fail(QStringLiteral("«%1»: «%2» - не цифры").arg(key, prefix));
      }
    }
    return prefixes;
  }

  // A rule is of one kind, and says what it looks for: a rule on calls without a condition
  // would alert on every call.
  void EndRule() {
    if (rules_.rules.empty()) return;
    const AlertRule& rule = rules_.rules.back();
    const int line = line_;
    const auto fail = [&](const QString& what) {
      line_ = rule.line;
      Fail(QStringLiteral("правило «%1»: %2").arg(rule.name, what));
    };
    const auto only = [&](std::initializer_list<const char*> allowed, const char* kind) {
      for (auto key = keys_.constBegin(); key != keys_.constEnd(); ++key) {
        bool fits = key.key() == QLatin1String("level");
        for (const char* name : allowed) fits = fits || key.key() == QLatin1String(name);
        if (!fits) {
          line_ = key.value();
          Fail(QStringLiteral("«%1» не подходит к правилу с «%2»")
                   .arg(key.key(), QLatin1String(kind)));
        }
      }
    };
    if (rule.ownHours && rule.when != AlertRule::When::kOutsideHours) {
      fail(QStringLiteral("«own_hours» - только с «when = outside_hours»"));
    }
    switch (rule.kind) {
      case AlertRule::Kind::kCall:
        only({"prefixes", "longer_than", "cost_above", "subscribers", "lines", "when",
              "except_subscribers", "except_numbers", "hours", "own_hours"},
             "prefixes");
        if (rule.prefixes.isEmpty() && rule.longerThan < 0 && rule.costAbove < 0 &&
            rule.subscribers.empty() && rule.cityLines.empty()) {
          fail(
              QStringLiteral("нет условия (prefixes, longer_than, cost_above, subscribers, "
                             "lines, usual или burst): оно сработало бы на каждый разговор"));
        }
        break;
      case AlertRule::Kind::kUsual:
        only({"usual", "times", "part", "at_least", "usual_floor", "except_subscribers"}, "usual");
        if (rule.times == 0) fail(QStringLiteral("нет «times» (во сколько раз больше обычного)"));
        break;
      case AlertRule::Kind::kBurst:
        only({"burst", "by", "when", "except_subscribers", "except_numbers", "hours"}, "burst");
        break;
      case AlertRule::Kind::kSilence:
        only({"silent_days", "except_subscribers"}, "silent_days");
        break;
    }
    line_ = line;
  }

  QString fileName_;
  int line_ = 0;
  AlertRules rules_;
  QHash<QString, int> keys_;
};

QString Joined(const std::vector<int>& numbers) {
  QStringList texts;
  for (const int number : numbers) texts << QString::number(number);
  return texts.join(QStringLiteral(", "));
}

QString ClockText(int minute) {
  return QStringLiteral("%1:%2")
      .arg(minute / 60, 2, 10, QLatin1Char('0'))
      .arg(minute % 60, 2, 10, QLatin1Char('0'));
}

// A rule's conditions in the file's syntax, its heading and level left out.
QStringList ConditionLines(const AlertRule& rule) {
  QStringList lines;
  switch (rule.kind) {
    case AlertRule::Kind::kCall:
      if (!rule.prefixes.isEmpty())
        lines << QStringLiteral("prefixes = ") + rule.prefixes.join(QStringLiteral(", "));
      if (rule.longerThan >= 0) lines << QStringLiteral("longer_than = %1").arg(rule.longerThan);
      if (rule.costAbove >= 0) lines << QStringLiteral("cost_above = ") + MoneyText(rule.costAbove);
      if (!rule.subscribers.empty())
        lines << QStringLiteral("subscribers = ") + Joined(rule.subscribers);
      if (!rule.cityLines.empty()) lines << QStringLiteral("lines = ") + Joined(rule.cityLines);
      break;
    case AlertRule::Kind::kUsual:
      lines << QStringLiteral("usual = %1").arg(QLatin1String(kMeasureNames[int(rule.measure)]))
            << QStringLiteral("times = %1").arg(QString::number(rule.times));
      if (rule.part != AlertRule::Part::kBoth) {
        lines << QStringLiteral("part = %1").arg(QLatin1String(kPartNames[int(rule.part)]));
      }
      if (rule.atLeast > 0) lines << QStringLiteral("at_least = %1").arg(rule.atLeast);
      if (rule.usualFloor > 0) lines << QStringLiteral("usual_floor = %1").arg(rule.usualFloor);
      break;
    case AlertRule::Kind::kBurst:
      lines << QStringLiteral("burst = %1 calls in %2 minutes")
                   .arg(rule.burstCalls)
                   .arg(rule.burstMinutes)
            << QStringLiteral("by = %1").arg(rule.byLine ? QStringLiteral("line")
                                                         : QStringLiteral("subscriber"));
      break;
    case AlertRule::Kind::kSilence:
      lines << QStringLiteral("silent_days = %1").arg(rule.silentDays);
      break;
  }
  if (!rule.exceptSubscribers.empty())
    lines << QStringLiteral("except_subscribers = ") + Joined(rule.exceptSubscribers);
  if (!rule.exceptNumbers.isEmpty())
    lines << QStringLiteral("except_numbers = ") + rule.exceptNumbers.join(QStringLiteral(", "));
  if (rule.hoursFrom >= 0) {
    lines
        << QStringLiteral("hours = %1-%2").arg(ClockText(rule.hoursFrom), ClockText(rule.hoursTo));
  }
  if ((rule.kind == AlertRule::Kind::kCall || rule.kind == AlertRule::Kind::kBurst) &&
      rule.when != AlertRule::When::kAlways) {
    lines << QStringLiteral("when = %1").arg(QLatin1String(kWhenNames[int(rule.when)]));
  }
  if (rule.ownHours) lines << QStringLiteral("own_hours = yes");
  return lines;
}

}  // namespace

QString AlertRule::Identity() const {
  const QByteArray conditions = ConditionLines(*this).join(u'\n').toUtf8();
  return QString::fromLatin1(
      QCryptographicHash::hash(conditions, QCryptographicHash::Sha256).toHex().left(12));
}

QString AlertLevelName(AlertRule::Level level) {
  return level == AlertRule::Level::kAlarm ? kAlarm : kWarning;
}

AlertRules BuiltInAlertRules() {
  AlertRules rules;
  rules.builtIn = true;
  AlertRule international;
  international.name = QStringLiteral("Международные вне рабочего времени");
  international.level = AlertRule::Level::kAlarm;
  international.prefixes = {QStringLiteral("810"), QStringLiteral("00")};
  international.when = AlertRule::When::kOutsideHours;
  rules.rules.push_back(international);
  AlertRule longCall;
  longCall.name = QStringLiteral("Долгий разговор вне рабочего времени");
  longCall.level = AlertRule::Level::kAlarm;
  longCall.longerThan = 60;
  longCall.when = AlertRule::When::kOutsideHours;
  rules.rules.push_back(longCall);
  // Early starters and people who stay late call abroad and talk long in their own hours:
  // those calls are theirs, not a fraud's.
  for (AlertRule& rule : rules.rules) rule.ownHours = true;
  AlertRule many;
  many.name = QStringLiteral("Звонков втрое больше обычного");
  many.kind = AlertRule::Kind::kUsual;
  many.measure = AlertRule::Measure::kCalls;
  many.times = 3;
  many.atLeast = 10;
  many.usualFloor = 5;
  rules.rules.push_back(many);
  AlertRule silent;
  silent.name = QStringLiteral("Звонит молчавший абонент");
  silent.level = AlertRule::Level::kAlarm;
  silent.kind = AlertRule::Kind::kSilence;
  silent.silentDays = 28;
  rules.rules.push_back(silent);
  return rules;
}

AlertRules ParseAlertRules(const QString& text, const QString& fileName) {
  AlertRules rules = Parser(fileName).Parse(text);
  // A file without rules would check nothing and say all is clear, while no file at all gives
  // the built-in rules: an emptied file is a mistake, not a wish for silence.
  if (rules.rules.empty()) {
    throw ConvertError(QStringLiteral("Файл %1: нет ни одного правила ([Название] и его строки): "
                                      "проверять нечего. Без файла действуют встроенные правила")
                           .arg(fileName));
  }
  return rules;
}

AlertRules LoadAlertRules(const QString& dir) {
  const std::optional<QString> text =
      ReadHandWrittenFile(dir, QLatin1String(kAlertRulesFileName), 1 << 20);
  if (!text) return BuiltInAlertRules();
  return ParseAlertRules(*text, QLatin1String(kAlertRulesFileName));
}

QString AlertRulesText(const AlertRules& rules) {
  QStringList lines;
  lines << QStringLiteral("# %1: правила подозрительных вызовов. \"#\" начинает комментарий.")
               .arg(QLatin1String(kAlertRulesFileName));
  if (rules.builtIn) lines << QStringLiteral("# Действуют встроенные правила: файла нет.");
  if (!rules.station.isEmpty()) lines << QStringLiteral("station = ") + rules.station;
  lines << (rules.mail.isEmpty()
                ? QStringLiteral("# mail = security@example.com")
                : QStringLiteral("mail = ") + rules.mail.join(QStringLiteral(", ")))
        << (rules.command.isEmpty() ? QStringLiteral("# command = /usr/local/bin/chat-hook")
                                    : QStringLiteral("command = ") + rules.command);
  if (rules.sendmail != AlertRules().sendmail)
    lines << QStringLiteral("sendmail = ") + rules.sendmail;
  if (rules.commandJson) lines << QStringLiteral("command_format = json");
  for (const AlertRule& rule : rules.rules) {
    lines << QString() << QStringLiteral("[%1]").arg(rule.name)
          << QStringLiteral("level = ") + AlertLevelName(rule.level) << ConditionLines(rule);
  }
  return lines.join(u'\n') + u'\n';
}
