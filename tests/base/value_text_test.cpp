#include <gtest/gtest.h>

#include "base/value_text.h"

namespace bm {
namespace {

TEST(ValueTextTest, FiletimeHasMonthDayYearTimeAndNineFractionDigits) {
  EXPECT_EQ(FiletimeText(130018682021234567ULL), u"Jan 05, 2013 14:03:22.123456700");
  EXPECT_EQ(FiletimeText(125911583990000000ULL), u"Dec 31, 1999 23:59:59.000000000");
  EXPECT_EQ(FiletimeText(0), u"Jan 01, 1601 00:00:00.000000000");
  // The largest FILETIME lies in year 58,000-odd: no four-digit text exists for it.
  EXPECT_EQ(FiletimeText(~0ULL), std::nullopt);
}

TEST(ValueTextTest, IntegerTexts) {
  EXPECT_EQ(Int32Text(-42), u"-42");
  EXPECT_EQ(Int32Text(2147483647), u"2147483647");
  EXPECT_EQ(Int32Text(-2147483647 - 1), u"-2147483648");
  EXPECT_EQ(Int32Text(0), u"0");
  EXPECT_EQ(Hex32Text(42), u"0x0000002a");
}

}  // namespace
}  // namespace bm
