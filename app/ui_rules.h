// The desktop program's decisions that need no widget: which controls are enabled in which
// phase, which input the main window swallows, where the browser goes, which icon a folder
// gets and how ticks spread through the tree. Kept free of Qt so tests call them directly.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bm::app {

// ---- Dialog units --------------------------------------------------------------------------

// A dialog's base units: the average character width and the character height of its font.
struct BaseUnits {
  int average_char_width = 6;
  int char_height = 13;
};

// The average width the way a dialog computes it: the width of the 52 Latin letters, rounded.
int AverageCharWidth(int width_of_52_letters);

// Dialog units to pixels (rounded like MulDiv).
int DialogUnitsToPixelsX(int units, const BaseUnits& base);
int DialogUnitsToPixelsY(int units, const BaseUnits& base);

// ---- What is enabled when ------------------------------------------------------------------

// Phases of the main window that change what the user may start.
enum class Phase {
  kStarted,         // the window has just opened
  kScanning,        // Open & Scan accepted, the scan worker runs
  kScanEnded,       // the scan worker returned (it enabled Convert itself when it succeeded)
  kLoadingFolder,   // a folder-load thread runs
  kFolderLoaded,    // it returned
  kConverting,      // the conversion worker runs
  kConversionEnded  // it returned
};

// Convert is button 1008 with menu command 32772; Browse is button 1007 with command 32771.
struct ControlStates {
  bool convert = false;
  bool browse = true;
  bool tree = true;
  friend bool operator==(const ControlStates&, const ControlStates&) = default;
};

// The states after entering `phase` from `before`. While a scan runs, Browse and the tree are
// greyed so that no second scan or folder load can start on a half-built folder list.
ControlStates StatesAfter(Phase phase, const ControlStates& before);

// ---- Input the main window swallows --------------------------------------------------------

enum class InputKind { kKeyPress, kMouseButton, kContextMenu, kOther };
enum class Key { kEnter, kEscape, kC, kOther };

struct InputEvent {
  InputKind kind = InputKind::kOther;
  Key key = Key::kOther;
  bool control_held = false;
  bool right_button = false;
};

// Enter and Escape would close the dialog, Ctrl+C would copy, right clicks would open menus:
// none of them does anything in the main window.
bool ShouldDiscard(const InputEvent& event);

// ---- Browser placement ---------------------------------------------------------------------

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The preview sits under the item list, as wide as it and `gap` pixels below it, and reaches
// down to `gap` pixels above `bottom_limit` (the top of the bottom line's frame). Placed by
// the controls around it, it covers none of them whatever the font and the window size.
PixelRect BrowserRect(const PixelRect& list, int bottom_limit, int gap);

// ---- Folder icons --------------------------------------------------------------------------

inline constexpr int kFolderImageCount = 17;
inline constexpr int kDefaultFolderImage = 0;

// The image index of a folder from its display name and kind name (whole, case-blind).
int FolderImageIndex(std::u16string_view display_name, std::u16string_view kind_name);

// ---- Tick propagation ----------------------------------------------------------------------

// Ticks or unticks `node` and its whole sub-tree (the opposite of its current state), then
// decides every ancestor from the parent upward: ticked exactly when none of its direct
// children is unticked. `Tree` supplies Parent(n) (a null node above the top), Children(n),
// IsChecked(n) and SetChecked(n, bool).
template <class Tree, class Node>
void ToggleCheck(Tree& tree, Node node) {
  const bool check = !tree.IsChecked(node);
  std::vector<Node> pending{node};
  while (!pending.empty()) {
    Node current = pending.back();
    pending.pop_back();
    tree.SetChecked(current, check);
    for (Node child : tree.Children(current)) pending.push_back(child);
  }
  for (Node parent = tree.Parent(node); parent; parent = tree.Parent(parent)) {
    bool all_checked = true;
    for (Node child : tree.Children(parent)) {
      if (!tree.IsChecked(child)) {
        all_checked = false;
        break;
      }
    }
    tree.SetChecked(parent, all_checked);
  }
}

// ---- After a conversion -------------------------------------------------------------------

struct ConversionCounts {
  std::vector<std::pair<std::u16string, int>> written;  // per kind, in the report's order
  int not_written = 0;                                  // failed plus skipped items
  long long elapsed_ms = 0;
  std::u16string destination;
};

// The status line after a conversion: what was written per kind, what was not, how long it
// took and where it went, e.g. "Written: 3 email, 1 contact; not written: 0; time 0:04;
// in /home/ann/out/convertPSTFile8122026143005".
std::u16string ConversionSummary(const ConversionCounts& counts);

// Elapsed time as minutes and seconds ("0:04", "12:30"), hours when needed ("1:02:03").
std::u16string ElapsedText(long long elapsed_ms);

// ---- Command line --------------------------------------------------------------------------

struct CommandLine {
  enum class Action { kRun, kHelp, kVersion, kError };
  Action action = Action::kRun;
  std::optional<std::string> pst_file;  // the store to open and scan at start
  std::string error;                    // for kError: what was wrong
};

// Reads the program's arguments (without the program name): "--help"/"-h", "--version"/"-v",
// at most one store path ("--" ends the options).
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText(std::string_view program_name);

// ---- Help ----------------------------------------------------------------------------------

inline constexpr std::string_view kManualFileName = "brindlemoor.html";

// The manual beside the program; an installed program finds it in its data directory.
std::vector<std::u16string> ManualCandidates(std::u16string_view program_directory);

// When `requested` names the manual beside the program (program directory + manual file name,
// optionally with "#section"), the section asked for (empty for the whole manual); nothing
// for any other path.
std::optional<std::u16string> ManualSection(std::u16string_view requested,
                                            std::u16string_view program_directory);

}  // namespace bm::app
