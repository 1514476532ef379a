#include "TariffFixture.h"
#include "core/base/Errors.h"

namespace {

struct ViewerTest : ::testing::Test {
  FakeHost host;
  FakePrinters printers;
  RecordViewer viewer{host.env, printers};
  int refreshes = 0;

  // A day of calls with ties in every key.
  const std::vector<CallRecord> calls = {
      Rec(3, 9, 0, 22, 5, 2, "8495123"), Rec(1, 8, 0, 20, -1, 1, "2345678"),
      Rec(2, 10, 0, 21, 12, 0, " 112"),  Rec(1, 9, 30, 20, 5, 3, "89031234567"),
      Rec(2, 11, 0, 22, 0, 1, "84"),     Rec(4, 12, 0, 21, -1, 0, "8"),
  };

  void SetUp() override {
    viewer.onShownChanged = [this] { ++refreshes; };
    WriteMonth(host, 12, calls);
    ASSERT_TRUE(viewer.LoadRecords(12, 0, 0));
  }
  std::vector<CallRecord> Pick(std::initializer_list<int> indexes) {
    std::vector<CallRecord> out;
    for (int i : indexes) out.push_back(calls[static_cast<size_t>(i)]);
    return out;
  }
};

}  // namespace

TEST_F(ViewerTest, LoadingShowsAllRecordsInFileOrder) {
  EXPECT_EQ(viewer.SortMode(), 0);
  EXPECT_EQ(viewer.Records(), calls);
  EXPECT_EQ(ShownLines(viewer), LinesOf(calls));
  EXPECT_EQ(viewer.ShownText(), LinesOf(calls).join(QStringLiteral("\r\n")) + "\r\n");
  EXPECT_GT(refreshes, 0);
}

TEST_F(ViewerTest, SortBySubscriberThenOldestFirst) {
  viewer.SortAbonentButtonClick();
  EXPECT_EQ(viewer.SortMode(), 1);
  EXPECT_EQ(ShownLines(viewer), LinesOf(Pick({1, 3, 2, 5, 4, 0})));
}

TEST_F(ViewerTest, SortByDurationLongestFirstInvalidLastNewestFirstOnTies) {
  viewer.SortDurationButtonClick();
  EXPECT_EQ(viewer.SortMode(), 2);
  EXPECT_EQ(ShownLines(viewer), LinesOf(Pick({2, 0, 3, 4, 5, 1})));
}

TEST_F(ViewerTest, SortByCityLineWithoutLineFirst) {
  viewer.SortCityLineButtonClick();
  EXPECT_EQ(viewer.SortMode(), 3);
  EXPECT_EQ(ShownLines(viewer), LinesOf(Pick({2, 5, 1, 4, 0, 3})));
}

TEST_F(ViewerTest, SelectingByTheStartOfTheNumber) {
  host.ui.AnswerInput(QStringLiteral("8"));
  viewer.SelectPhoneButtonClick();
  EXPECT_EQ(ShownLines(viewer), LinesOf(Pick({0, 3, 4, 5})));
  EXPECT_EQ(host.ui.Inputs().last(), RecordViewer::kPhoneCaption + u'|');

  host.ui.AnswerInput(QStringLiteral(" 1"));  // a leading blank matches only a leading blank
  viewer.SelectPhoneButtonClick();
  EXPECT_EQ(ShownLines(viewer), LinesOf(Pick({2})));

  host.ui.AnswerInput(QStringLiteral("849"));  // longer than "84" and "8": they do not match
  viewer.SelectPhoneButtonClick();
  EXPECT_EQ(ShownLines(viewer), LinesOf(Pick({0})));

  host.ui.AnswerInput(QStringLiteral("7"));  // nothing matches: an empty list, no message
  viewer.SelectPhoneButtonClick();
  EXPECT_EQ(viewer.ShownCount(), 0);

  host.ui.AnswerInput(QString());  // an empty answer changes nothing
  viewer.SelectPhoneButtonClick();
  EXPECT_EQ(viewer.ShownCount(), 0);
  EXPECT_EQ(viewer.SortMode(), 0);
}

TEST_F(ViewerTest, SelectingByDurationAsksAgainWithTheRejectedText) {
  host.ui.AnswerInput(QStringLiteral("abc")).AnswerInput(QStringLiteral("5"));
  viewer.SelectDurationButtonClick();
  EXPECT_EQ(host.ui.Inputs(),
            (QStringList{RecordViewer::kDurationCaption + u'|',
                         RecordViewer::kDurationCaption + QStringLiteral("|abc")}));
  EXPECT_EQ(ShownLines(viewer), LinesOf(Pick({0, 2, 3})));

  host.ui.AnswerInput(QStringLiteral("-1"));
  viewer.SelectDurationButtonClick();
  EXPECT_EQ(viewer.ShownCount(), 6);

  host.ui.AnswerInput(QStringLiteral("0"));
  viewer.SelectDurationButtonClick();
  EXPECT_EQ(viewer.ShownCount(), 4);
  host.ui.AnswerInput(QStringLiteral("-7"));
  viewer.SelectDurationButtonClick();
  EXPECT_EQ(viewer.ShownCount(), 6);

  host.ui.AnswerInput(QStringLiteral("x")).AnswerInput(QString());  // given up: no change
  viewer.SelectDurationButtonClick();
  EXPECT_EQ(viewer.ShownCount(), 6);
}

TEST_F(ViewerTest, AllShowsTheOrderOfTheLastSortAndASortEndsASelection) {
  viewer.SortDurationButtonClick();
  host.ui.AnswerInput(QStringLiteral("8"));
  viewer.SelectPhoneButtonClick();
  EXPECT_EQ(ShownLines(viewer), LinesOf(Pick({0, 3, 4, 5})));
  EXPECT_EQ(viewer.SortMode(), 2);
  viewer.SelectAllButtonClick();
  EXPECT_EQ(ShownLines(viewer), LinesOf(Pick({2, 0, 3, 4, 5, 1})));
  host.ui.AnswerInput(QStringLiteral("8"));
  viewer.SelectPhoneButtonClick();
  viewer.SortAbonentButtonClick();
  EXPECT_EQ(viewer.ShownCount(), 6);
}

TEST_F(ViewerTest, ALoadThatFindsNothingKeepsTheShownText) {
  viewer.SortCityLineButtonClick();
  const QString shown = viewer.ShownText();
  EXPECT_FALSE(viewer.LoadRecords(12, 31, 0));
  EXPECT_EQ(viewer.ShownText(), shown);
  EXPECT_TRUE(viewer.Records().empty());
  EXPECT_EQ(viewer.SortMode(), 0);
  EXPECT_FALSE(viewer.LoadRecords(5, 0, 0));  // no file at all

  // With an empty record set every button still works.
  viewer.SortDurationButtonClick();
  EXPECT_EQ(viewer.ShownCount(), 0);
  EXPECT_EQ(viewer.SortMode(), 2);
  viewer.SelectAllButtonClick();
  host.ui.AnswerInput(QStringLiteral("5"));
  viewer.SelectDurationButtonClick();
  EXPECT_EQ(viewer.ShownCount(), 0);
}

TEST_F(ViewerTest, LoadingFiltersDayAndSubscriber) {
  ASSERT_TRUE(viewer.LoadRecords(12, 2, 0));
  EXPECT_EQ(ShownLines(viewer), LinesOf(Pick({2, 4})));
  ASSERT_TRUE(viewer.LoadRecords(12, 0, 2));  // subscriber 21
  EXPECT_EQ(ShownLines(viewer), LinesOf(Pick({2, 5})));
}

TEST_F(ViewerTest, ABadLineEndsTheLoadAndKeepsTheFormerText) {
  const QString shown = viewer.ShownText();
  host.WriteFile(DataFileName(1), Cp1251(kDataFileHeader + QStringLiteral("\r\n") +
                                         CallRecordToText(calls[0]) + "\r\nnonsense\r\n"));
  EXPECT_THROW(viewer.LoadRecords(1, 0, 0), ConvertError);
  EXPECT_EQ(viewer.ShownText(), shown);
  EXPECT_EQ(viewer.Records().size(), 1u);
}
