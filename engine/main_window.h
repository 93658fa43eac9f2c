// MainWindow: everything the engine asks of a window. The desktop dialog, the console of the
// command-line tool and the recording window of the tests implement it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "preview/page_display.h"

namespace bm {

// Control ids of the main window; widgets carry them so tests and workers find them by id.
namespace control {
inline constexpr int kExitButton = 2;
inline constexpr int kFolderTree = 1000;
inline constexpr int kProgressBar = 1002;
inline constexpr int kBrowser = 1003;
inline constexpr int kGroupBox = 1004;
inline constexpr int kItemList = 1005;
inline constexpr int kPstPathEdit = 1006;
inline constexpr int kBrowseButton = 1007;
inline constexpr int kConvertButton = 1008;
inline constexpr int kStatusText = 1012;
inline constexpr int kLogo = 1016;
inline constexpr int kStopButton = 1017;
}  // namespace control

// Menu command ids.
namespace command {
inline constexpr int kOpenAndScan = 32771;
inline constexpr int kConvert = 32772;
inline constexpr int kExit = 32773;
inline constexpr int kSoftwareHelp = 32774;
inline constexpr int kAbout = 32775;
inline constexpr int kStopProcess = 32776;
}  // namespace command

// Message box styles and answers (the Windows values, kept so styles read the same everywhere).
namespace mb {
inline constexpr unsigned kOk = 0x0000;
inline constexpr unsigned kYesNo = 0x0004;
inline constexpr unsigned kIconQuestion = 0x0020;
inline constexpr unsigned kSystemModal = 0x1000;
inline constexpr unsigned kReport = kSystemModal | kIconQuestion | kOk;      // 0x1020
inline constexpr unsigned kConfirm = kSystemModal | kIconQuestion | kYesNo;  // 0x1024
inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
}  // namespace mb

// Message box captions: the product name and the trailing blanks each report uses.
inline constexpr std::u16string_view kCaption1 = u"Brindlemoor ";
inline constexpr std::u16string_view kCaption13 = u"Brindlemoor             ";
inline constexpr std::u16string_view kCaption14 = u"Brindlemoor              ";

// Whether a message box is owned by the main window or stands alone.
enum class BoxOwner { kNone, kMainWindow };

// A tree item handle; kNoTreeItem is the tree's invisible root.
using TreeItem = std::uint64_t;
inline constexpr TreeItem kNoTreeItem = 0;

// Deepest folder level that gets a tree item in the desktop tree.
inline constexpr int kShownTreeDepth = 27;

// The status line, the list rows and the browser are what the writers and the preview see of it.
class MainWindow : public PageDisplay {
 public:
  // Deepest folder level this window shows as tree items. Deeper folders still get folder
  // nodes, without a tree item of their own (see FolderNode::TickItem).
  virtual int ShownTreeDepth() const { return kShownTreeDepth; }

  // Both values are 16-bit: callers pass counts modulo 65536.
  virtual void SetProgressRange(int minimum, int maximum) = 0;
  virtual void SetProgressPos(int position) = 0;
  // Returns the button pressed (mb::kIdOk, mb::kIdYes, mb::kIdNo).
  virtual int MessageBox(std::u16string_view text, std::u16string_view caption, unsigned style,
                         BoxOwner owner) = 0;
  virtual void EnableControl(int control_id, bool enable) = 0;
  virtual void EnableMenuCommand(int command_id, bool enable) = 0;
  // Inserts a tree item as the last child of `parent` and returns it. `kind` picks the icon.
  virtual TreeItem InsertTreeItem(TreeItem parent, std::u16string_view text,
                                  std::u16string_view kind) = 0;
  virtual bool IsTreeItemChecked(TreeItem item) = 0;
  virtual void DeleteAllListRows() = 0;
  // Asks for a folder; nothing when the user cancels.
  virtual std::optional<std::u16string> BrowseForFolder(std::u16string_view title) = 0;
  // Opens a help page or file with the desktop's default handler.
  virtual void OpenExternal(std::u16string_view url_or_path) = 0;
};

}  // namespace bm
