#include <gtest/gtest.h>

#include <ctime>

#include "base/log.h"
#include "support/test_support.h"

namespace bm {
namespace {

TEST(LogTest, EntriesAreEightBitWithAnEmptyLineAfterEach) {
  test::TempDir dir;
  const auto log = dir.path() / "log.txt";
  ASSERT_TRUE(AppendLog(log, u"start scanning process"));
  // Units above 255 produce no byte; those up to 255 keep their value.
  ASSERT_TRUE(AppendLog(log, u"caf\u00e9 \u6771x"));
  EXPECT_EQ(test::ReadFile(log), "start scanning process\r\n\r\ncaf\xe9 x\r\n\r\n");
}

TEST(LogTest, AnEntryThatCannotBeWrittenIsDropped) {
  test::TempDir dir;
  EXPECT_FALSE(AppendLog(dir.path() / "missing" / "log.txt", u"x"));
  EXPECT_FALSE(AppendLog({}, u"x"));
}

TEST(LogTest, FileNameUsesLocalTimeWithDashes) {
  std::tm local{};
  local.tm_year = 2013 - 1900;
  local.tm_mon = 4;
  local.tm_mday = 7;
  local.tm_hour = 14;
  local.tm_min = 3;
  local.tm_sec = 59;
  local.tm_isdst = -1;
  const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
  EXPECT_EQ(BuildLogFileName(when), u"log-data-2013-05-07-14-03-59.txt");
}

}  // namespace
}  // namespace bm
