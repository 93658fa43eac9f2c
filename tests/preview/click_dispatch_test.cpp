#include "preview/click_dispatch.h"
#include "engine/item_click.h"

#include <gtest/gtest.h>

#include <thread>

#include "preview_test_support.h"

namespace bm {
namespace {

using test::PreviewFixture;

TEST(ParseRowNumber, ReadsLikeAtoi) {
  EXPECT_EQ(ParseRowNumber(u"12"), 12);
  EXPECT_EQ(ParseRowNumber(u"  \t7x"), 7);
  EXPECT_EQ(ParseRowNumber(u"-3"), -3);
  EXPECT_EQ(ParseRowNumber(u"+4"), 4);
  EXPECT_EQ(ParseRowNumber(u"abc"), 0);
  EXPECT_EQ(ParseRowNumber(u""), 0);
  EXPECT_EQ(ParseRowNumber(u"- 5"), 0);
  EXPECT_EQ(ParseRowNumber(u"99999999999999999999"), 2147483647);
  EXPECT_EQ(ParseRowNumber(u"-99999999999999999999"), -2147483647 - 1);
}

TEST(FirstSelectedRow, TakesTheLowestSelectedIndex) {
  const std::vector<ListRow> rows = {
      {u"1", u"email", u"Ann"}, {u"2", u"note", u""}, {u"3", u"task", u""}};
  EXPECT_FALSE(FirstSelectedRow(rows, {}));
  EXPECT_FALSE(FirstSelectedRow(rows, {7}));
  const auto row = FirstSelectedRow(rows, {2, 7, 1});
  ASSERT_TRUE(row);
  EXPECT_EQ(row->number, u"2");
  EXPECT_EQ(row->kind, u"note");
}

class ClickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f_.state().row_records.Append(test::Email(1, u"s", u"Ann"));
    f_.state().row_records.Append(test::WithSubject<ContactRowRecord>(2, u"Bob"));
    f_.state().row_records.Append(test::WithSubject<AppointmentRowRecord>(3, u"Meet"));
    f_.state().row_records.Append(test::Note(4));
    f_.state().row_records.Append(test::WithSubject<TaskRowRecord>(5, u"Do"));
  }

  int Click(std::u16string number, std::u16string kind, std::u16string from = u"") {
    return OnClickItemList(f_.state(), ClickedRow{number, kind, from});
  }

  bool NothingShown() {
    return !f_.window().LastNavigation() && std::filesystem::is_empty(f_.File(""));
  }

  PreviewFixture f_;
};

TEST_F(ClickTest, EachKindWordReachesItsWriter) {
  EXPECT_EQ(Click(u"1", u"email", u"Ann"), 1);
  EXPECT_EQ(f_.window().LastNavigation(), f_.temp() + u"email.html");
  EXPECT_EQ(Click(u"2", u"contact"), 1);
  EXPECT_NE(test::ReadFile(f_.File("header.html")).find("Bob"), std::string::npos);
  EXPECT_EQ(Click(u"3", u"appointment"), 1);
  EXPECT_NE(test::ReadFile(f_.File("header.html")).find("Meet"), std::string::npos);
  EXPECT_EQ(Click(u"5", u"task"), 1);
  EXPECT_NE(test::ReadFile(f_.File("header.html")).find("Do"), std::string::npos);
  EXPECT_EQ(Click(u"4", u"note"), 1);
  EXPECT_EQ(f_.window().LastNavigation(), f_.temp() + u"textbody.txt");
  // Clicking the same row again rewrites and navigates again.
  f_.window().ClearCalls();
  EXPECT_EQ(Click(u"4", u"note"), 1);
  EXPECT_EQ(f_.window().CallsOf("navigate").size(), 1u);
}

TEST_F(ClickTest, NothingMatchesNothingShown) {
  EXPECT_EQ(OnClickItemList(f_.state(), std::nullopt), 0);
  EXPECT_EQ(Click(u"1", u"Email", u"Ann"), 0);    // kind words are case-sensitive
  EXPECT_EQ(Click(u"1", u"email ", u"Ann"), 0);   // and whole
  EXPECT_EQ(Click(u"1", u"email", u"ann"), 0);    // the sender must be equal
  EXPECT_EQ(Click(u"one", u"email", u"Ann"), 0);  // a non-numeric NO is 0
  EXPECT_EQ(Click(u"2", u"email", u""), 0);       // the number of another kind
  EXPECT_EQ(Click(u"1", u"contact"), 0);
  EXPECT_EQ(Click(u"1", u""), 0);
  EXPECT_TRUE(NothingShown());
}

TEST_F(ClickTest, EmailSenderDecidesBetweenEqualNumbers) {
  f_.state().row_records.Append(test::Email(1, u"other", u"Zed"));
  ASSERT_EQ(Click(u" 1", u"email", u"Zed"), 1);
  EXPECT_NE(test::ReadFile(f_.File("header.html")).find(test::Utf16Le(u"other", false)),
            std::string::npos);
}

TEST_F(ClickTest, RowsLeftAfterAConversionShowNothingUntilTheFolderIsListedAgain) {
  // A conversion empties the lists for each folder it converts, leaving the rows listed.
  f_.state().row_records.Clear();
  EXPECT_EQ(Click(u"2", u"contact"), 0);
  EXPECT_TRUE(NothingShown());
  // Selecting a folder lists it again, numbered from 1; clicks resolve against it alone.
  f_.state().row_records.Append(test::WithSubject<ContactRowRecord>(1, u"Carol"));
  EXPECT_EQ(Click(u"2", u"contact"), 0);
  EXPECT_EQ(Click(u"1", u"email", u"Ann"), 0);
  EXPECT_EQ(Click(u"1", u"contact"), 1);
  EXPECT_NE(test::ReadFile(f_.File("header.html")).find("Carol"), std::string::npos);
}

TEST(Click, WithoutATempFolderNothingIsWritten) {
  test::RecordingWindow window;
  AppState state(window);
  state.row_records.Append(test::Note(1));
  EXPECT_EQ(OnClickItemList(state, ClickedRow{u"1", u"note", u""}), 0);
  EXPECT_FALSE(window.LastNavigation());
}

TEST(Click, ClicksWhileAWorkerFillsTheLists) {
  PreviewFixture f;
  constexpr int kRecords = 300;
  std::thread worker([&] {
    for (int n = 1; n <= kRecords; ++n) {
      if (n == kRecords / 2) f.state().row_records.Clear();
      f.state().row_records.Append(test::Note(n, {{'x'}, BodyKind::kText}));
    }
  });
  for (int n = 1; n <= kRecords; ++n) {
    OnClickItemList(f.state(), ClickedRow{DecimalText(n), u"note", u""});
  }
  worker.join();
  EXPECT_EQ(OnClickItemList(f.state(), ClickedRow{DecimalText(kRecords), u"note", u""}), 1);
  EXPECT_EQ(OnClickItemList(f.state(), ClickedRow{u"1", u"note", u""}), 0);
}

}  // namespace
}  // namespace bm
