#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "base/paths.h"
#include "engine/folder_walk.h"
#include "engine/scan_worker.h"
#include "support/test_support.h"

namespace bm {
namespace {

TEST(FolderWalkTest, SanitisingReplacesForbiddenCharactersOnly) {
  EXPECT_EQ(SanitiseFolderName(u"a/b:c"), u"a_b_c");
  EXPECT_EQ(SanitiseFolderName(u"/\\!$%&*+:;<>?@~|"), u"________________");
  EXPECT_EQ(SanitiseFolderName(u"tab\there\x01"), u"tab_here_");
  // The double quote, dots, blanks and non-ASCII letters stay.
  EXPECT_EQ(SanitiseFolderName(u"\"Q\" 1.2 \u6536\u4ef6\u7bb1"), u"\"Q\" 1.2 \u6536\u4ef6\u7bb1");
  EXPECT_EQ(SanitiseFolderName(std::u16string(300, u'x')).size(), 255u);
  EXPECT_EQ(SanitiseFolderName(u""), u"");
}

TEST(FolderWalkTest, KindsFollowTheContainerClassExactly) {
  const std::u16string note = u"IPF.Note";
  const std::u16string sticky = u"IPF.StickyNote";
  const std::u16string lower = u"ipf.note";
  const std::u16string other = u"IPF.Configuration";
  const std::u16string appointment = u"IPF.Appointment";
  EXPECT_EQ(FolderKindText(nullptr), u"folder");
  EXPECT_EQ(FolderKindText(&note), u"email");
  EXPECT_EQ(FolderKindText(&sticky), u"note");
  EXPECT_EQ(FolderKindText(&appointment), u"calendar");
  EXPECT_EQ(FolderKindText(&lower), u"ipf.note");  // case-sensitive: passed through
  EXPECT_EQ(FolderKindText(&other), u"IPF.Configuration");
}

TEST(FolderWalkTest, RelativePathIsWhatFollowsTheItemsDirectory) {
  EXPECT_EQ(RelativeFolderPath(u"/tmp/QelTemp/xxxexportdata"), u"");
  EXPECT_EQ(RelativeFolderPath(u"/tmp/QelTemp/xxxexportdata/Top of Personal Folders/Inbox"),
            u"/Top of Personal Folders/Inbox");
  // A folder named like the items directory cuts the path at its second occurrence.
  EXPECT_EQ(RelativeFolderPath(u"/t/xxxexportdata/A/xxxexportdata/B"), u"/A/");
  EXPECT_EQ(RelativeFolderPath(u"/elsewhere"), u"");
}

}  // namespace
}  // namespace bm
