#include "engine/convert_command.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <system_error>

#include "base/paths.h"
#include "base/safe_files.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/conversion_pipeline.h"
#include "engine/dispatch.h"
#include "msg/messaging_session.h"
#include "msg/mimelib.h"

namespace bm {

namespace {

namespace fs = std::filesystem;

// Anchors of the manual that lies beside the program.
constexpr std::u16string_view kMimelibHelp = u"brindlemoor.html#mime-component";
constexpr std::u16string_view kMessagingHelp = u"brindlemoor.html#messaging-component";
constexpr std::u16string_view kMessagingProblemHelp = u"brindlemoor.html#messaging-problem";

// Longest directory name the file system takes, in UTF-8 bytes, less room for a suffix.
constexpr std::size_t kMaxDirectoryNameBytes = 240;

void OpenHelp(AppState& state, std::u16string_view page) {
  state.main_window.OpenExternal(state.paths.program_directory + std::u16string(page));
}

bool CreateMessagingSession(AppState& state, const ComponentStarter& start) {
  state.messaging_session.reset();
  state.messaging_session_status = MessagingSession::Create(state.messaging_session, start);
  return state.messaging_session_status >= 0;
}

bool AnyFolderTicked(AppState& state) {
  for (const FolderNode& node : state.folder_nodes) {
    if (state.main_window.IsTreeItemChecked(node.TickItem())) return true;
  }
  return false;
}

void EnableStartControls(MainWindow& window, bool enable) {
  window.EnableControl(control::kFolderTree, enable);
  window.EnableControl(control::kBrowseButton, enable);
  window.EnableControl(control::kConvertButton, enable);
  window.EnableMenuCommand(command::kConvert, enable);
  window.EnableMenuCommand(command::kOpenAndScan, enable);
}

// A folder name as a directory name: never "." or "..", never empty, short enough for the
// file system, and with the top folder's blanks turned into dashes as the tree always had.
std::string MirrorDirectoryName(const std::u16string& folder_name) {
  std::u16string name = folder_name;
  ReplaceAll(name, u"Top of Personal Folders", u"Top-of-Personal-Folders");
  if (name.empty() || name == u"." || name == u"..") name = std::u16string(name.size() + 1, u'_');
  std::string utf8 = ToUtf8(name);
  if (utf8.size() > kMaxDirectoryNameBytes) {
    std::size_t cut = kMaxDirectoryNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    utf8.resize(cut);
  }
  return utf8;
}

// One mirror directory per node, in list order, each under its parent's (the list is in
// pre-order, so the parent is the last directory made one level up; this holds for folders
// the tree does not show too); siblings with the same name get distinct directories so
// neither overwrites the other's items.
std::vector<Result<fs::path>> CreateMirrorDirectories(const FolderNodeList& nodes,
                                                      const fs::path& destination_root) {
  std::vector<fs::path> by_depth{destination_root};
  std::vector<Result<fs::path>> mirrors;
  mirrors.reserve(nodes.size());
  for (const FolderNode& node : nodes) {
    const auto depth = static_cast<std::size_t>(std::max(node.depth, 1));
    if (by_depth.size() > depth) by_depth.resize(depth);
    const fs::path wanted = by_depth.back() / MirrorDirectoryName(node.name);
    Result<fs::path> mirror = CreateFreshDirectory(wanted);
    // A folder below one that could not be made is still placed where it belongs, so that
    // its own failure names the right place.
    by_depth.push_back(mirror ? *mirror : wanted);
    mirrors.push_back(std::move(mirror));
  }
  return mirrors;
}

void ConvertTickedFolders(AppState& state, const fs::path& destination) {
  // Made here and nowhere else (mkdir, never an existing directory): two runs never share one.
  const Result<fs::path> made = CreateFreshDirectory(
      destination / ToPath(DestinationRootName(std::chrono::system_clock::now())));
  if (!made) throw std::runtime_error(made.error().message());
  const fs::path& root = *made;
  state.report.SetDestinationRoot(FromPath(root));
  const std::vector<Result<fs::path>> mirrors = CreateMirrorDirectories(state.folder_nodes, root);
  state.stop_flag = 0;
  std::vector<ConversionFolder> folders;
  for (std::size_t i = 0; i < state.folder_nodes.size() && i < mirrors.size(); ++i) {
    const FolderNode& node = state.folder_nodes[i];
    if (!state.main_window.IsTreeItemChecked(node.TickItem())) continue;
    ConversionFolder folder;
    folder.node = &node;
    if (mirrors[i]) {
      folder.directory = FromPath(*mirrors[i]);
    } else {
      folder.directory_error = FromUtf8(mirrors[i].error().message());
    }
    folders.push_back(std::move(folder));
  }
  ConvertFolderItems(state, folders, state.conversion_jobs);
}

}  // namespace

Status PrepareDestination(const fs::path& destination) {
  const std::string shown = destination.string();
  std::error_code ec;
  const fs::file_status status = fs::status(destination, ec);
  if (fs::exists(status) && !fs::is_directory(status)) {
    return Error("the destination " + shown + " is not a directory");
  }
  if (!fs::exists(status)) {
    fs::create_directories(destination, ec);
    if (ec) return Error("the destination " + shown + " cannot be created: " + ec.message());
  }
  // Asked of the file system itself, so a read-only mount is found even by root.
  if (::access(destination.c_str(), W_OK | X_OK) != 0) {
    return Error("the destination " + shown + " cannot be written: " + ErrnoText(errno));
  }
  return {};
}

std::u16string DestinationRootName(std::chrono::system_clock::time_point now) {
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const std::string stamp = std::to_string(local.tm_mday) + std::to_string(local.tm_mon + 1) +
                            std::to_string(local.tm_year + 1900) + std::to_string(local.tm_hour) +
                            std::to_string(local.tm_min) + std::to_string(local.tm_sec);
  return u"convertPSTFile" + FromUtf8(stamp);
}

bool ConvertCommand(AppState& state, std::u16string& destination,
                    const ComponentStarters& starters) {
  MainWindow& window = state.main_window;
  std::unique_ptr<Mimelib> mimelib;
  if (Mimelib::Create(mimelib, starters.mime) < 0) {
    window.MessageBox(u"mimelib.dll file is not register. read more how to register dll file...",
                      kCaption1, mb::kReport, BoxOwner::kMainWindow);
    OpenHelp(state, kMimelibHelp);
    return false;
  }
  if (!CreateMessagingSession(state, starters.messaging)) {
    window.MessageBox(
        u"Outlook NOT Installed/Configured Properly \n\n or \n\nRedemption.dll file is not "
        u"register! Read more how to register dll file!",
        kCaption14, mb::kReport, BoxOwner::kNone);
    OpenHelp(state, kMessagingHelp);
    return false;
  }
  try {
    if (!AnyFolderTicked(state)) {
      window.MessageBox(
          u"Which Folder you want to convert? Please select the Folder from Left Tree Hierarchy",
          kCaption1, mb::kOk, BoxOwner::kNone);
      return false;
    }
    state.conversion_mode = true;
    const std::optional<std::u16string> chosen =
        window.BrowseForFolder(u"Select the Destination Path");
    if (!chosen || chosen->empty()) return false;
    // A destination that cannot take the run is found now, before anything is written.
    if (const Status usable = PrepareDestination(ToPath(*chosen)); !usable) {
      window.MessageBox(FromUtf8(usable.error().message()), kCaption14, mb::kReport,
                        BoxOwner::kNone);
      return false;
    }
    destination = *chosen;
    return true;
  } catch (const std::exception&) {
    window.MessageBox(u"Outlook NOT Installed/Configured Properly", kCaption14, mb::kReport,
                      BoxOwner::kNone);
    OpenHelp(state, kMessagingProblemHelp);
    return false;
  }
}

void RunConversionWorker(AppState& state, const std::u16string& destination) {
  MainWindow& window = state.main_window;
  EnableStartControls(window, false);
  state.report.Clear();
  try {
    ConvertTickedFolders(state, ToPath(destination));
  } catch (const std::bad_alloc&) {
    state.ReportFailure(u"(conversion)", u"not enough memory to go on");
  } catch (const std::exception& e) {
    // The controls come back and the run still says how it ended.
    state.ReportFailure(u"(conversion)", FromUtf8(e.what()));
  }
  EnableStartControls(window, true);
  if (state.stop_flag.load() == 1) {
    window.SetStatusText(u"Process stopped by user");
    window.MessageBox(u"Process stopped by user!", kCaption14, mb::kReport, BoxOwner::kNone);
  } else {
    // Items that did not reach the disk are never passed over in silence.
    const std::size_t failed = state.report.Failures().size();
    window.SetStatusText(failed == 0 ? std::u16string()
                                     : DecimalText(static_cast<long long>(failed)) +
                                           u" item(s) could not be converted; the log names them");
    window.MessageBox(u"Saving Completed", kCaption13, mb::kReport, BoxOwner::kNone);
  }
}

}  // namespace bm
