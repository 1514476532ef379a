// The configuration checks on hand-made images: each rule fires where it must, and a sound
// configuration of every board count gives no finding at all.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/image/ImageLayout.h"
#include "core/tables/ConfigChecks.h"

namespace {

// A sound configuration: every line of the station rings a subscriber in all four modes, the
// switching times come in pairs, an administrator phone and the selectors are subscribers.
ConfigImage Sound(int boards) {
  ConfigImage image{};
  for (const bool day : {true, false}) {
    for (int line = 1; line <= 2 * boards; ++line) {
      image[IncomingCellOffset(day, line, 1)] = SubscriberCode(20);
      image[IncomingCellOffset(day, line, 2)] = SubscriberCode(21) | kDelaySign;
      image[IncomingCellOffset(day, line, 5)] = SubscriberCode(22);
    }
    image[RegionOffset(RegionDescriptor(day, SelectorBasic), 0)] = 0x21;
    image[RegionOffset(RegionDescriptor(day, SelectorAdd), 2)] = 0x25;
  }
  for (int t = 1; t <= 6; ++t) {
    image[SwitchTimeOffset(t)] = static_cast<quint8>(0x80 + 6 + t);
    image[SwitchTimeOffset(t) + 1] = 30;
  }
  image[AdminPhoneOffset(1)] = SubscriberCode(23);
  return image;
}

QStringList Rules(const std::vector<ConfigFinding>& findings) {
  QStringList rules;
  for (const ConfigFinding& finding : findings) rules << finding.rule;
  return rules;
}

}  // namespace

TEST(ConfigChecks, ASoundConfigurationOfEveryBoardCountHasNoFindings) {
  for (int boards = 1; boards <= 4; ++boards) {
    EXPECT_EQ(CheckConfig(Sound(boards), boards).size(), 0u) << boards << " boards";
  }
  // Nothing set at all: no line rings anyone in the day's basic mode, the only mode in force.
  const std::vector<ConfigFinding> empty = CheckConfig(ConfigImage{}, 1);
  EXPECT_EQ(Rules(empty), QStringList({"line-rings-no-one", "line-rings-no-one"}));
}

TEST(ConfigChecks, ALineThatRingsNoOneIsAnErrorWhereTheClockSwitchesTheModeOn) {
  ConfigImage image = Sound(2);
  // Line 3 at night in the basic mode: empty, a subscriber the station lacks, no valid entry.
  image[IncomingCellOffset(false, 3, 1)] = 0;
  image[IncomingCellOffset(false, 3, 2)] = SubscriberCode(41);
  image[IncomingCellOffset(false, 3, 3)] = 0x40;  // the delay sign alone is an empty cell
  std::vector<ConfigFinding> findings = CheckConfig(image, 2);
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].rule, QStringLiteral("line-rings-no-one"));
  EXPECT_EQ(findings[0].level, ConfigFinding::Level::kError);
  EXPECT_EQ(findings[0].Line(),
            QStringLiteral("ошибка: Вызовы с городских линий, ночь, ГЛ 3: входящие вызовы по ГЛ 3 "
                           "ночью в основном режиме не поступают ни одному абоненту станции "
                           "(байты 392, 393, 394, 395)"));
  EXPECT_EQ(findings[1].rule, QStringLiteral("entry-no-such-subscriber"));
  EXPECT_EQ(findings[1].place,
            QStringLiteral("Вызовы с городских линий, ночь, ГЛ 3, Основной режим 2"));
  EXPECT_EQ(findings[1].text,
            QStringLiteral("абонент 41 — такого абонента в станции нет (абоненты 20..31)"));
  // The same subscriber is the station's own with four boards.
  EXPECT_FALSE(Rules(CheckConfig(image, 4)).contains(QStringLiteral("entry-no-such-subscriber")));

  // Without night switching times, the night mode comes only from an administrator phone.
  for (const int t : {1, 2}) image[SwitchTimeOffset(t)] = 0;
  findings = CheckConfig(image, 2);
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].rule, QStringLiteral("line-rings-no-one-by-hand"));
  EXPECT_EQ(findings[0].level, ConfigFinding::Level::kWarning);
  // The second administrator phone alone switches it as well.
  image[AdminPhoneOffset(1)] = 0;
  image[AdminPhoneOffset(2)] = SubscriberCode(23);
  EXPECT_TRUE(Rules(CheckConfig(image, 2)).contains(QStringLiteral("line-rings-no-one-by-hand")));
  // And without an administrator phone it never comes.
  image[AdminPhoneOffset(2)] = 0;
  EXPECT_EQ(Rules(CheckConfig(image, 2)), QStringList({"entry-no-such-subscriber"}));
}

TEST(ConfigChecks, EntriesAndPhonesThatNameNoSubscriberOfTheStation) {
  ConfigImage image = Sound(2);
  image[IncomingCellOffset(true, 4, 6)] = 0x05;   // no valid entry
  image[IncomingCellOffset(false, 1, 5)] = 0x05;  // the first line, the first additional cell
  image[IncomingCellOffset(false, 1, 6)] = SubscriberCode(22);  // still ringing someone
  image[AdminPhoneOffset(2)] = SubscriberCode(40);
  image[AdminPhoneOffset(1)] = 0x07;
  image[RegionOffset(RegionDescriptor(false, SelectorBasic), 1)] = 0x3A;  // no decimal number
  image[RegionOffset(RegionDescriptor(true, SelectorAdd), 0)] = 0x35;     // beyond 2 boards
  const std::vector<ConfigFinding> findings = CheckConfig(image, 2);
  QStringList lines;
  for (const ConfigFinding& finding : findings) lines << finding.Line();
  EXPECT_EQ(
      lines.join(u'\n').toStdString(),
      QStringList(
          {
              "ошибка: Вызовы с городских линий, день, ГЛ 4, Дополнительный режим 2: неверная "
              "запись: байт 05 не означает абонента (окно показывает «** ») (байт 233)",
              "ошибка: Вызовы с городских линий, ночь, ГЛ 1, Дополнительный режим 1: неверная "
              "запись: байт 05 не означает абонента (окно показывает «** ») (байт 448)",
              "ошибка: Переключение режимов, Номер телефона 1 администратора: байт 07 — "
              "такого абонента в станции нет (абоненты 20..31) (байт 127)",
              "ошибка: Переключение режимов, Номер телефона 2 администратора: номер 40 — "
              "такого абонента в станции нет (абоненты 20..31) (байт 383)",
              "предупреждение: Общестанционные функции, день, Номер телефона 1 селектора, "
              "Доп.: номер 35 — не номер абонента станции (абоненты 20..31) (байт 124)",
              "предупреждение: Общестанционные функции, ночь, Номер телефона 2 селектора, "
              "Осн.: номер 3A — не номер абонента станции (абоненты 20..31) (байт 373)",
          })
          .join(u'\n')
          .toStdString());
}

TEST(ConfigChecks, SwitchingTimesComeInPairsOfDifferentMoments) {
  ConfigImage image = Sound(1);
  image[SwitchTimeOffset(2)] = 0;  // the night mode starts and never ends
  image[SwitchTimeOffset(3)] = 0;  // the day additional mode ends without starting
  image[SwitchTimeOffset(5)] = 0x80 + 12;
  image[SwitchTimeOffset(5) + 1] = 30;
  image[SwitchTimeOffset(6)] = 0x80 + 12;
  image[SwitchTimeOffset(6) + 1] = 30;
  QStringList lines;
  for (const ConfigFinding& finding : CheckConfig(image, 1)) lines << finding.Line();
  EXPECT_EQ(
      lines.join(u'\n').toStdString(),
      QStringList({
                      "ошибка: Переключение режимов, ночной режим: задано время начала (07:30), "
                      "но не задано время окончания (байты 244, 245, 246, 247)",
                      "ошибка: Переключение режимов, дневной дополнительный режим: задано время "
                      "окончания (10:30), но не задано время начала (байты 252, 253, 254, 255)",
                      "предупреждение: Переключение режимов, ночной дополнительный режим: время "
                      "начала и время окончания совпадают (12:30) (байты 500, 501, 502, 503)",
                  })
          .join(u'\n')
          .toStdString());
}

TEST(ConfigChecks, ValuesForEquipmentTheStationLacksAreOneWarningPerTable) {
  ConfigImage image = Sound(2);
  image[RegionOffset(RegionDescriptor(true, DVO1AbonentAdd), 20)] = 0x01;    // subscriber 40
  image[RegionOffset(RegionDescriptor(true, DVO1AbonentBasic), 13)] = 0x80;  // subscriber 33
  // Line 8 may be used by subscriber 20 in the night's city network access: no such line.
  image[RegionOffset(RegionDescriptor(false, GTSBasic), 0)] = ColumnsToLineBits(0x81);
  image[RegionOffset(RegionDescriptor(false, AddDigit), 6)] = 0x09;
  const std::vector<ConfigFinding> findings = CheckConfig(image, 2);
  ASSERT_EQ(findings.size(), 3u);
  EXPECT_EQ(findings[0].place, QStringLiteral("ДВО-1 абонентов, день"));
  EXPECT_EQ(findings[0].text,
            QStringLiteral("заданы значения для абонентов 32..43, которых в станции нет; они "
                           "ничего не делают (копия снята со станции с большим числом плат?)"));
  EXPECT_EQ(findings[0].bytes.size(), 2u);
  EXPECT_EQ(findings[1].place, QStringLiteral("Доступ абонентов к ГТС, ночь"));
  EXPECT_EQ(findings[2].place, QStringLiteral("Цифры донабора по ГЛ, ночь"));
  EXPECT_FALSE(Rules(CheckConfig(image, 4)).contains(QStringLiteral("values-beyond-station")));
}

TEST(ConfigChecks, TheSummaryAndTheJsonForTools) {
  ConfigImage image = Sound(1);
  image[SwitchTimeOffset(2)] = 0;
  image[AdminPhoneOffset(1)] = 0x07;
  image[RegionOffset(RegionDescriptor(true, SelectorBasic), 1)] = 0x99;
  const std::vector<ConfigFinding> findings = CheckConfig(image, 1);
  EXPECT_EQ(FindingsSummary(findings), QStringLiteral("2 ошибки, 1 предупреждение"));
  EXPECT_EQ(FindingsSummary({}), QStringLiteral("замечаний нет"));
  std::vector<ConfigFinding> many(21, findings[0]);
  EXPECT_EQ(FindingsSummary(many), QStringLiteral("21 ошибка"));
  many.resize(12);
  EXPECT_EQ(FindingsSummary(many), QStringLiteral("12 ошибок"));
  const QJsonArray json = QJsonDocument::fromJson(FindingsJson(findings)).array();
  ASSERT_EQ(json.size(), 3);
  EXPECT_EQ(json[0].toObject()["level"].toString(), QStringLiteral("error"));
  EXPECT_EQ(json[0].toObject()["rule"].toString(), QStringLiteral("admin-phone-no-subscriber"));
  EXPECT_EQ(json[0].toObject()["bytes"].toArray().first().toInt(), 127);
  EXPECT_EQ(json[1].toObject()["level"].toString(), QStringLiteral("warning"));
  EXPECT_EQ(json[2].toObject()["rule"].toString(), QStringLiteral("time-start-without-end"));
}
