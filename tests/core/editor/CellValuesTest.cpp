#include <gtest/gtest.h>

#include "FakeCells.h"
#include "core/editor/CellValues.h"

TEST(IntCellText, EveryByteInTwoDigitsReadsBack) {
  for (int value = 0; value < 256; ++value) {
    const QString text = IntCellText(static_cast<quint8>(value), 2);
    EXPECT_EQ(text, QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper()) << value;
    EXPECT_EQ(IntCellValue(text), value);
    EXPECT_EQ(IntCellValue(text.toLower()), value);
  }
}

TEST(IntCellText, AOneDigitCellKeepsTheLastDigitOfEveryByte) {
  ViewControllerClass controller;
  CellView* focus = nullptr;
  FakeIntCell cell(controller, focus);
  cell.Digits = 1;
  for (int value = 0; value < 256; ++value) {
    cell.SetValue(static_cast<quint8>(value));
    EXPECT_EQ(cell.text.size(), 1) << value;
    EXPECT_EQ(cell.Value(), value & 0x0F) << value;
  }
}

TEST(IntCellText, TextsThatAreNoNumberReadAsZero) {
  const std::pair<const char*, int> rows[] = {{"", 0},   {"G", 0},  {"ab", 0xAB}, {"1FF", 0xFF},
                                              {" 5", 0}, {"-1", 0}, {"+5", 0},    {"5 ", 0}};
  for (const auto& [text, value] : rows) EXPECT_EQ(IntCellValue(text), value) << text;
}

namespace {

struct Typing {
  const char* name;
  int digits;
  const char* before;
  int caret;
  const char* typed;
  const char* after;
};

}  // namespace

TEST(IntCellChange, TypingKeepsTheCellInShape) {
  const Typing rows[] = {
      {"a digit at the end pushes out the first", 2, "3A", 2, "B", "AB"},
      {"a digit in front is lost", 2, "3A", 0, "B", "3A"},
      {"no hex digit after one digit is dropped", 2, "5", 1, "G", "5"},
      {"no hex digit into an empty one-digit cell gives 0", 1, "", 0, "G", "0"},
      {"no hex digit into an empty two-digit cell stays", 2, "", 0, "G", "G"},
      {"and blocks what follows until it is removed", 2, "G", 1, "5", "G"},
      {"Backspace removes it", 2, "G", 1, "\b5", "5"},
      {"a one-digit cell takes the last digit typed", 1, "7", 1, "C", "C"},
      {"typing on after a push-out continues at the end", 2, "3A", 2, "BC", "BC"},
      {"Backspace empties a cell", 2, "AB", 2, "\b\b", ""},
      {"lower case stays as typed", 2, "", 0, "ab", "ab"},
  };
  ViewControllerClass controller;
  CellView* focus = nullptr;
  for (const Typing& row : rows) {
    SCOPED_TRACE(row.name);
    FakeIntCell cell(controller, focus);
    cell.Digits = static_cast<quint16>(row.digits);
    cell.text = row.before;
    cell.caret = row.caret;
    cell.Type(row.typed);
    EXPECT_EQ(cell.text, QString(row.after));
  }
}

TEST(CLineCellText, ValuesShowAndReadBack) {
  const std::pair<int, const char*> shown[] = {{0x88, "21 "}, {0xC8, "21+"}, {0x01, "** "},
                                               {0x00, ""},    {0x40, ""},    {0x80, "20 "},
                                               {0xEB, "43+"}, {0xAC, "** "}, {0x7F, "** "}};
  for (const auto& [value, text] : shown) EXPECT_EQ(CLineCellText(value), text) << value;
  const std::pair<const char*, int> read[] = {
      {"21+", 0xC8}, {"21 ", 0x88}, {"21", 0x88}, {"** ", 0}, {"19 ", 0},   {"44+", 0},
      {"2", 0},      {"", 0},       {"25+4", 0},  {"2x ", 0}, {"21-", 0x88}};
  for (const auto& [text, value] : read) EXPECT_EQ(CLineCellValue(text), value) << text;
  // Every byte that shows a subscriber reads back as itself.
  for (int value = 0; value < 256; ++value) {
    const QString text = CLineCellText(static_cast<quint8>(value));
    if (text.size() == 3 && text != kInvalidEntryText) {
      EXPECT_EQ(CLineCellValue(text), value);
    }
  }
}

TEST(CLineCellText, DelaySign) {
  const struct {
    const char* before;
    bool on;
    const char* after;
  } rows[] = {{"25 ", true, "25+"}, {"25+", false, "25 "}, {"", true, "+"},
              {"", false, " "},     {"** ", true, "** "},  {"2", true, "2+"}};
  ViewControllerClass controller;
  CellView* focus = nullptr;
  for (const auto& row : rows) {
    FakeCLineCell cell(controller, focus);
    cell.text = row.before;
    cell.SetDelaySign(row.on);
    EXPECT_EQ(cell.text, QString(row.after)) << row.before << " " << row.on;
  }
}

TEST(CLineCellChange, TypingKeepsTheCellInShape) {
  const Typing rows[] = {
      {"two digits stay as typed", 0, "", 0, "25", "25"},
      {"a blank after them stays", 0, "", 0, "25 ", "25 "},
      {"a third character that is no blank or sign gives the mark", 0, "", 0, "253", "** "},
      {"a digit in front of a number and blank", 0, "25 ", 0, "3", "** "},
      {"a blank after no number clears", 0, "", 0, "2x ", ""},
      {"the mark cannot be typed over", 0, "** ", 3, "5", "** "},
      {"nor in front", 0, "** ", 0, "25", "** "},
      {"only cleared with Backspace", 0, "** ", 3, "\b\b\b", ""},
      {"a hash typed in front of a number is taken out", 0, "25+", 0, "#", "25+"},
      {"a hash on the mark is taken out", 0, "** ", 0, "#", "** "},
      {"a hash beside a lone sign stays", 0, "+", 0, "#", "#+"},
      {"a number with the sign and one more stays", 0, "25+", 3, "4", "25+4"},
  };
  ViewControllerClass controller;
  CellView* focus = nullptr;
  for (const Typing& row : rows) {
    SCOPED_TRACE(row.name);
    FakeCLineCell cell(controller, focus);
    cell.text = row.before;
    cell.caret = row.caret;
    cell.Type(row.typed);
    EXPECT_EQ(cell.text, QString(row.after));
  }
}

TEST(CellChange, ChangesSetEditedOnlyWhileTheControllerIsActive) {
  ViewControllerClass controller;
  CellView* focus = nullptr;
  FakeIntCell cell(controller, focus);
  cell.SetValue(0x12);
  cell.Type("3");
  EXPECT_FALSE(controller.Edited);
  controller.Activate();
  cell.SetValue(0x34);
  EXPECT_TRUE(controller.Edited);
}
