#include "app/ui_rules.h"

#include <algorithm>
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

PixelRect BrowserRect(const PixelRect& list, int bottom_limit, int gap) {
  const int top = list.y + list.height + gap;
  return {.x = list.x,
          .y = top,
          .width = std::max(0, list.width),
          .height = std::max(0, bottom_limit - gap - top)};
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

std::u16string ElapsedText(long long elapsed_ms) {
  const long long seconds = std::max(0LL, elapsed_ms) / 1000;
  const long long hours = seconds / 3600;
  const long long minutes = seconds / 60 % 60;
  auto two_digits = [](long long value) {
    return FromUtf8((value < 10 ? "0" : "") + std::to_string(value));
  };
  std::u16string text;
  if (hours > 0)
    text = FromUtf8(std::to_string(hours)) + u":" + two_digits(minutes);
  else
    text = FromUtf8(std::to_string(minutes));
  return text + u":" + two_digits(seconds % 60);
}

std::u16string ConversionSummary(const ConversionCounts& counts) {
  std::u16string text = u"Written: ";
  if (counts.written.empty()) text += u"0";
  for (std::size_t i = 0; i < counts.written.size(); ++i) {
    if (i > 0) text += u", ";
    text += FromUtf8(std::to_string(counts.written[i].second)) + u" " + counts.written[i].first;
  }
  text += u"; not written: " + FromUtf8(std::to_string(counts.not_written));
  text += u"; time " + ElapsedText(counts.elapsed_ms);
  if (!counts.destination.empty()) text += u"; in " + counts.destination;
  return text;
}

namespace {

CommandLine Answer(CommandLine::Action action, std::string error = {}) {
  CommandLine line;
  line.action = action;
  line.error = std::move(error);
  return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool options_ended = false;
  for (const std::string& argument : arguments) {
    const bool is_option = !options_ended && argument.size() > 1 && argument.front() == '-';
    if (is_option && argument == "--") {
      options_ended = true;
    } else if (is_option && (argument == "--help" || argument == "-h")) {
      return Answer(CommandLine::Action::kHelp);
    } else if (is_option && (argument == "--version" || argument == "-v")) {
      return Answer(CommandLine::Action::kVersion);
    } else if (is_option) {
      return Answer(CommandLine::Action::kError, "unknown option " + argument);
    } else if (line.pst_file) {
      return Answer(CommandLine::Action::kError, "only one PST file can be opened");
    } else if (argument.empty()) {
      return Answer(CommandLine::Action::kError, "the PST file name is empty");
    } else {
      line.pst_file = argument;
    }
  }
  return line;
}

std::string UsageText(std::string_view program_name) {
  const std::string name(program_name);
  return "Usage: " + name +
         " [FILE.pst]\n"
         "Browse an Outlook PST file and convert its folders to MSG and text files.\n"
         "\n"
         "  FILE.pst       open and scan this file at start\n"
         "  -h, --help     show this help and exit\n"
         "  -v, --version  show the version and exit\n";
}

std::vector<std::u16string> ManualCandidates(std::u16string_view program_directory) {
  const std::u16string manual = FromUtf8(kManualFileName);
  return {JoinPath(program_directory, manual),
          JoinPath(JoinPath(program_directory, u"../share/brindlemoor"), manual)};
}

std::optional<std::u16string> ManualSection(std::u16string_view requested,
                                            std::u16string_view program_directory) {
  const std::u16string manual = std::u16string(program_directory) + FromUtf8(kManualFileName);
  if (program_directory.empty() || !requested.starts_with(manual)) return std::nullopt;
  const std::u16string_view rest = requested.substr(manual.size());
  if (rest.empty()) return std::u16string();
  if (rest.front() != u'#') return std::nullopt;
  return std::u16string(rest.substr(1));
}

}  // namespace bm::app
