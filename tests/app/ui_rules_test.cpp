// The window's decisions that need no widget: dialog units, the phase table, the input filter,
// the browser's place, folder icons, tick propagation and the temp folder and manual paths.
#include "app/ui_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "app/browse_file_dlg.h"

namespace bm::app {
namespace {

TEST(DialogUnits, FollowTheFontsBaseUnits) {
  EXPECT_EQ(AverageCharWidth(312), 6);  // 6.0
  EXPECT_EQ(AverageCharWidth(337), 6);  // 6.48 rounds down
  EXPECT_EQ(AverageCharWidth(338), 7);  // 6.5 rounds up
  const BaseUnits base{6, 13};
  EXPECT_EQ(DialogUnitsToPixelsX(127, base), 191);  // 190.5 rounds half up
  EXPECT_EQ(DialogUnitsToPixelsY(177, base), 288);  // 287.6
  EXPECT_EQ(DialogUnitsToPixelsX(0, base), 0);
  EXPECT_EQ(DialogUnitsToPixelsY(8, BaseUnits{7, 16}), 16);
}

TEST(PhaseTable, FollowsTheLifeOfTheWindow) {
  ControlStates states = StatesAfter(Phase::kStarted, {true, false, false});
  EXPECT_EQ(states, (ControlStates{.convert = false, .browse = true, .tree = true}));

  // A scan greys Browse and the tree, leaves Convert as it was; the scan itself enables
  // Convert on success, and the end of the worker gives Browse and the tree back.
  states = StatesAfter(Phase::kScanning, states);
  EXPECT_EQ(states, (ControlStates{.convert = false, .browse = false, .tree = false}));
  states.convert = true;
  states = StatesAfter(Phase::kScanEnded, states);
  EXPECT_EQ(states, (ControlStates{.convert = true, .browse = true, .tree = true}));

  states = StatesAfter(Phase::kLoadingFolder, states);
  EXPECT_EQ(states, (ControlStates{.convert = true, .browse = true, .tree = false}));
  states = StatesAfter(Phase::kFolderLoaded, states);
  EXPECT_EQ(states, (ControlStates{.convert = true, .browse = true, .tree = true}));

  states = StatesAfter(Phase::kConverting, states);
  EXPECT_EQ(states, (ControlStates{.convert = false, .browse = false, .tree = false}));
  states = StatesAfter(Phase::kConversionEnded, states);
  EXPECT_EQ(states, (ControlStates{.convert = true, .browse = true, .tree = true}));
}

TEST(PhaseTable, AFailedScanLeavesConvertAsItWas) {
  const ControlStates before{.convert = false, .browse = true, .tree = true};
  const ControlStates during = StatesAfter(Phase::kScanning, before);
  EXPECT_FALSE(StatesAfter(Phase::kScanEnded, during).convert);
}

TEST(InputFilter, SwallowsEnterEscapeCopyAndRightClicks) {
  auto key = [](Key k, bool control) {
    return InputEvent{.kind = InputKind::kKeyPress, .key = k, .control_held = control};
  };
  EXPECT_TRUE(ShouldDiscard(key(Key::kEnter, false)));
  EXPECT_TRUE(ShouldDiscard(key(Key::kEscape, false)));
  EXPECT_TRUE(ShouldDiscard(key(Key::kC, true)));
  EXPECT_FALSE(ShouldDiscard(key(Key::kC, false)));
  EXPECT_FALSE(ShouldDiscard(key(Key::kOther, true)));
  EXPECT_TRUE(ShouldDiscard({.kind = InputKind::kMouseButton, .right_button = true}));
  EXPECT_FALSE(ShouldDiscard({.kind = InputKind::kMouseButton, .right_button = false}));
  EXPECT_TRUE(ShouldDiscard({.kind = InputKind::kContextMenu}));
  EXPECT_FALSE(ShouldDiscard({.kind = InputKind::kOther}));
}

TEST(BrowserPlacement, UnderTheListDownToTheBottomLine) {
  // The template's places at base units 6 x 13: list 127,79 423x94, bottom frame at 289.
  EXPECT_EQ(BrowserRect({191, 128, 634, 153}, 470, 7), (PixelRect{191, 288, 634, 175}));
  // A wider font moves the list right; the preview follows it and leaves the tree alone.
  EXPECT_EQ(BrowserRect({222, 128, 740, 153}, 470, 7).x, 222);
  // A window too low for it: an empty preview, never a negative size.
  EXPECT_EQ(BrowserRect({191, 128, 634, 153}, 250, 7), (PixelRect{191, 288, 634, 0}));
  EXPECT_EQ(BrowserRect({191, 128, -5, 153}, 470, 7).width, 0);
}

TEST(ConversionOutcome, CountsPerKindTheRestTheTimeAndThePlace) {
  EXPECT_EQ(ConversionSummary({.written = {{u"contact", 1}, {u"email", 4}},
                               .not_written = 2,
                               .elapsed_ms = 65'400,
                               .destination = u"/home/ann/out/convertPSTFile8122026"}),
            u"Written: 1 contact, 4 email; not written: 2; time 1:05; "
            u"in /home/ann/out/convertPSTFile8122026");
  EXPECT_EQ(ConversionSummary({}), u"Written: 0; not written: 0; time 0:00");
  EXPECT_EQ(ElapsedText(999), u"0:00");
  EXPECT_EQ(ElapsedText(59'999), u"0:59");
  EXPECT_EQ(ElapsedText(600'000), u"10:00");
  EXPECT_EQ(ElapsedText(3'723'000), u"1:02:03");
  EXPECT_EQ(ElapsedText(-5), u"0:00");
}

TEST(CommandLine, AFileHelpVersionAndMistakes) {
  using Action = CommandLine::Action;
  EXPECT_EQ(ParseCommandLine({}).action, Action::kRun);
  EXPECT_FALSE(ParseCommandLine({}).pst_file);
  const CommandLine file = ParseCommandLine({"mail/store.pst"});
  EXPECT_EQ(file.action, Action::kRun);
  EXPECT_EQ(file.pst_file, "mail/store.pst");
  EXPECT_EQ(ParseCommandLine({"--help"}).action, Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"a.pst", "-h"}).action, Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"--version"}).action, Action::kVersion);
  EXPECT_EQ(ParseCommandLine({"-v"}).action, Action::kVersion);
  // After "--" everything is a file, also what looks like an option.
  EXPECT_EQ(ParseCommandLine({"--", "--help"}).pst_file, "--help");
  EXPECT_EQ(ParseCommandLine({"-"}).pst_file, "-");
  const CommandLine unknown = ParseCommandLine({"--frobnicate"});
  EXPECT_EQ(unknown.action, Action::kError);
  EXPECT_NE(unknown.error.find("--frobnicate"), std::string::npos);
  EXPECT_EQ(ParseCommandLine({"a.pst", "b.pst"}).action, Action::kError);
  EXPECT_EQ(ParseCommandLine({""}).action, Action::kError);
  EXPECT_NE(UsageText("brindlemoor").find("Usage: brindlemoor [FILE.pst]"), std::string::npos);
}

TEST(FolderIcons, NameFirstThenKindRowByRow) {
  EXPECT_EQ(FolderImageIndex(u"Inbox", u""), 7);
  EXPECT_EQ(FolderImageIndex(u"iNbOx", u""), 7);
  EXPECT_EQ(FolderImageIndex(u"INBOX1", u""), 0);
  EXPECT_EQ(FolderImageIndex(u"INBOX1", u"task"), 13);
  EXPECT_EQ(FolderImageIndex(u"People", u"Contact"), 4);
  EXPECT_EQ(FolderImageIndex(u"Contact", u""), 0);        // only CONTACTS matches the name
  EXPECT_EQ(FolderImageIndex(u"Inbox", u"CALENDAR"), 3);  // row 1 is tried first
  EXPECT_EQ(FolderImageIndex(u"Deleted Items", u""), 5);
  EXPECT_EQ(FolderImageIndex(u"Drafts", u""), 6);
  EXPECT_EQ(FolderImageIndex(u"Journal", u""), 8);
  EXPECT_EQ(FolderImageIndex(u"Junk E-mails", u""), 9);
  EXPECT_EQ(FolderImageIndex(u"x", u"note"), 10);
  EXPECT_EQ(FolderImageIndex(u"Outbox", u""), 11);
  EXPECT_EQ(FolderImageIndex(u"Sent Items", u""), 12);
  EXPECT_EQ(FolderImageIndex(u"Sync Issues", u""), 14);
  EXPECT_EQ(FolderImageIndex(u"Sent  Items", u""), 0);  // whole-string comparison
  EXPECT_EQ(FolderImageIndex(u"", u""), 0);
  EXPECT_EQ(FolderImageIndex(u"Outbox", u"DELETED ITEMS"), 11);  // those rows have no kind
}

// A tree of numbered nodes for the tick rules: 0 is "no node".
struct NumberTree {
  std::map<int, int> parent;
  std::map<int, std::vector<int>> children;
  std::map<int, bool> checked;

  void Add(int node, int parent_node) {
    parent[node] = parent_node;
    if (parent_node) children[parent_node].push_back(node);
    checked[node] = false;
  }
  int Parent(int node) const { return parent.at(node); }
  std::vector<int> Children(int node) const {
    const auto found = children.find(node);
    return found == children.end() ? std::vector<int>{} : found->second;
  }
  bool IsChecked(int node) const { return checked.at(node); }
  void SetChecked(int node, bool value) { checked[node] = value; }
};

// 1 (store) - 2 (top) - {3 (inbox) - {5, 6}, 4 (sent)}
class Ticks : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.Add(1, 0);
    tree.Add(2, 1);
    tree.Add(3, 2);
    tree.Add(4, 2);
    tree.Add(5, 3);
    tree.Add(6, 3);
  }
  NumberTree tree;
};

TEST_F(Ticks, TickingTheStoreTicksEverything) {
  ToggleCheck(tree, 1);
  for (int node = 1; node <= 6; ++node) EXPECT_TRUE(tree.IsChecked(node)) << node;
}

TEST_F(Ticks, UntickingALeafUnticksEveryAncestorButNotItsSiblings) {
  ToggleCheck(tree, 1);
  ToggleCheck(tree, 5);
  EXPECT_FALSE(tree.IsChecked(5));
  EXPECT_TRUE(tree.IsChecked(6));
  EXPECT_TRUE(tree.IsChecked(4));
  EXPECT_FALSE(tree.IsChecked(3));
  EXPECT_FALSE(tree.IsChecked(2));
  EXPECT_FALSE(tree.IsChecked(1));
}

TEST_F(Ticks, TickingTheLastUntickedChildTicksTheAncestors) {
  ToggleCheck(tree, 4);
  ToggleCheck(tree, 5);
  EXPECT_FALSE(tree.IsChecked(3));
  EXPECT_FALSE(tree.IsChecked(2));
  ToggleCheck(tree, 6);
  EXPECT_TRUE(tree.IsChecked(3));
  EXPECT_TRUE(tree.IsChecked(2));
  EXPECT_TRUE(tree.IsChecked(1));
}

TEST_F(Ticks, UntickingAMiddleNodeClearsItsSubTree) {
  ToggleCheck(tree, 1);
  ToggleCheck(tree, 3);
  EXPECT_FALSE(tree.IsChecked(5));
  EXPECT_FALSE(tree.IsChecked(6));
  EXPECT_TRUE(tree.IsChecked(4));
  EXPECT_FALSE(tree.IsChecked(1));
}

TEST(TempFolder, LiesInTheChosenFolderWithOneSeparator) {
  EXPECT_EQ(TempFolderUnder(u"/work"), u"/work/");
  EXPECT_EQ(TempFolderUnder(u"/work/"), u"/work/");
  EXPECT_EQ(TempFolderUnder(u"/"), u"/");
  const std::u16string system_temp = SystemTempPath();
  ASSERT_FALSE(system_temp.empty());
  EXPECT_EQ(system_temp.back(), u'/');
}

TEST(Manual, BesideTheProgramFirst) {
  const std::vector<std::u16string> candidates = ManualCandidates(u"/opt/bm/bin/");
  ASSERT_EQ(candidates.size(), 2u);
  EXPECT_EQ(candidates[0], u"/opt/bm/bin/brindlemoor.html");
  EXPECT_EQ(candidates[1], u"/opt/bm/bin/../share/brindlemoor/brindlemoor.html");
}

TEST(Manual, SectionsAskedForByTheManualBesideTheProgram) {
  EXPECT_EQ(ManualSection(u"/opt/bm/bin/brindlemoor.html#mime-component", u"/opt/bm/bin/"),
            u"mime-component");
  EXPECT_EQ(ManualSection(u"/opt/bm/bin/brindlemoor.html", u"/opt/bm/bin/"), u"");
  EXPECT_EQ(ManualSection(u"/opt/bm/bin/brindlemoor.htmlx", u"/opt/bm/bin/"), std::nullopt);
  EXPECT_EQ(ManualSection(u"/home/ann/brindlemoor.html#x", u"/opt/bm/bin/"), std::nullopt);
  EXPECT_EQ(ManualSection(u"/home/ann/out#1", u"/opt/bm/bin/"), std::nullopt);
  EXPECT_EQ(ManualSection(u"brindlemoor.html#x", u""), std::nullopt);
}

}  // namespace
}  // namespace bm::app
