#include "app/ui_rules.h"

#include <array>
#include <cmath>

#include "base/paths.h"
#include "base/text.h"

namespace bm::app {

int AverageCharWidth(int width_of_52_letters) {
  return (width_of_52_letters + 26) / 52;
}

namespace {

// MulDiv: value * numerator / denominator, rounded half away from zero.
int MulDiv(int value, int numerator, int denominator) {
  return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

}  // namespace

int DialogUnitsToPixelsX(int units, const BaseUnits& base) {
  return MulDiv(units, base.average_char_width, 4);
}

int DialogUnitsToPixelsY(int units, const BaseUnits& base) {
  return MulDiv(units, base.char_height, 8);
}

ControlStates StatesAfter(Phase phase, const ControlStates& before) {
  switch (phase) {
    case Phase::kStarted:
      return {.convert = false, .browse = true, .tree = true};
    case Phase::kScanning:
      return {.convert = before.convert, .browse = false, .tree = false};
    case Phase::kScanEnded:
      return {.convert = before.convert, .browse = true, .tree = true};
    case Phase::kLoadingFolder:
      return {.convert = before.convert, .browse = before.browse, .tree = false};
    case Phase::kFolderLoaded:
      return {.convert = before.convert, .browse = before.browse, .tree = true};
    case Phase::kConverting:
      return {.convert = false, .browse = false, .tree = false};
    case Phase::kConversionEnded:
      return {.convert = true, .browse = true, .tree = true};
  }
  return before;
}

bool ShouldDiscard(const InputEvent& event) {
  switch (event.kind) {
    case InputKind::kKeyPress:
      return event.key == Key::kEnter || event.key == Key::kEscape ||
             (event.key == Key::kC && event.control_held);
    case InputKind::kMouseButton:
      return event.right_button;
    case InputKind::kContextMenu:
      return true;
    case InputKind::kOther:
      return false;
  }
  return false;
}

PixelRect BrowserRect(int client_width, int client_height) {
  return {.x = 193, .y = 285, .width = client_width - 200, .height = client_height - 355};
}

namespace {

std::u16string AsciiUpper(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return upper;
}

struct IconRule {
  std::u16string_view display_name;
  std::u16string_view kind_name;  // empty: the row has no kind name
  int image;
};

// Tried in this order; the first row whose display name or kind name matches decides.
constexpr std::array<IconRule, 12> kIconRules{{
    {u"CALENDAR", u"CALENDAR", 3},
    {u"CONTACTS", u"CONTACT", 4},
    {u"DELETED ITEMS", u"", 5},
    {u"DRAFTS", u"", 6},
    {u"INBOX", u"", 7},
    {u"JOURNAL", u"JOURNAL", 8},
    {u"JUNK E-MAILS", u"", 9},
    {u"NOTES", u"NOTE", 10},
    {u"OUTBOX", u"", 11},
    {u"SENT ITEMS", u"", 12},
    {u"TASKS", u"TASK", 13},
    {u"SYNC ISSUES", u"", 14},
}};

}  // namespace

int FolderImageIndex(std::u16string_view display_name, std::u16string_view kind_name) {
  const std::u16string name = AsciiUpper(display_name);
  const std::u16string kind = AsciiUpper(kind_name);
  for (const IconRule& rule : kIconRules) {
    if (name == rule.display_name) return rule.image;
    if (!rule.kind_name.empty() && kind == rule.kind_name) return rule.image;
  }
  return kDefaultFolderImage;
}

std::vector<std::u16string> ManualCandidates(std::u16string_view program_directory) {
  const std::u16string manual = FromUtf8(kManualFileName);
  return {JoinPath(program_directory, manual),
          JoinPath(JoinPath(program_directory, u"../share/brindlemoor"), manual)};
}

}  // namespace bm::app
