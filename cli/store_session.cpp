#include "cli/store_session.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "cli/visible_text.h"
#include "engine/scan_worker.h"

namespace bm::cli {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Normalised(std::string_view path) {
  std::string out(path);
  while (!out.empty() && out.back() == '/') out.pop_back();
  if (out.empty() || out.front() != '/') out.insert(out.begin(), '/');
  return out;
}

}  // namespace

std::string FolderPathText(const FolderNode& node) {
  return ToUtf8(node.FolderPath());
}

Status StoreSession::Scan(const std::string& pst_path, const std::string& temp_parent) {
  if (Status prepared = PrepareScan(state_, FromUtf8(pst_path), FromUtf8(temp_parent)); !prepared) {
    // The temp folder could not be made: say why, and open nothing.
    window_.SetStatusText(state_.temp_folder_error);
    return prepared;
  }
  state_.root_tree_item = window_.InsertTreeItem(kNoTreeItem, state_.paths.pst_path, u"");
  window_.set_show_boxes(false);
  Status scanned = ScanStore(state_);
  window_.set_show_boxes(true);
  return scanned;
}

bool StoreSession::ScanOrSayWhy(const std::string& pst_path, const std::string& temp_parent) {
  const Status scanned = Scan(pst_path, temp_parent);
  if (scanned) return true;
  if (!state_.temp_folder) {
    std::fprintf(stderr, "brindlemoor-cli: %s\n", VisibleUtf8(scanned.error().message()).c_str());
    return false;
  }
  std::fprintf(stderr, "brindlemoor-cli: cannot open %s: %s\n", VisibleUtf8(pst_path).c_str(),
               VisibleUtf8(scanned.error().message()).c_str());
  return false;
}

const FolderNode* StoreSession::FindFolderOrSayWhy(std::string_view folder_text) const {
  std::string error;
  const FolderNode* node = FindFolder(folder_text, error);
  if (node == nullptr) {
    std::fprintf(stderr, "brindlemoor-cli: %s\n", VisibleUtf8(error, LineBreaks::kKept).c_str());
  }
  return node;
}

const FolderNode* StoreSession::FindFolder(std::string_view folder_text, std::string& error) const {
  const FolderNodeList& nodes = state_.folder_nodes;
  std::size_t position = 0;
  const auto [end, ec] =
      std::from_chars(folder_text.data(), folder_text.data() + folder_text.size(), position);
  if (ec == std::errc() && end == folder_text.data() + folder_text.size()) {
    if (position >= 1 && position <= nodes.size()) return &nodes[position - 1];
    error = "no folder at position " + std::string(folder_text) + " (the store has " +
            std::to_string(nodes.size()) + " folders)";
    return nullptr;
  }

  const std::string wanted = Normalised(folder_text);
  for (const FolderNode& node : nodes) {
    if (FolderPathText(node) == wanted) return &node;
  }

  std::vector<std::pair<std::size_t, std::string>> ranked;
  for (const FolderNode& node : nodes) {
    const std::string path = FolderPathText(node);
    ranked.emplace_back(EditDistance(Lower(path), Lower(wanted)), path);
  }
  std::sort(ranked.begin(), ranked.end());
  error = "no folder " + wanted + " in the store";
  if (!ranked.empty()) {
    error += "; nearest:";
    for (std::size_t i = 0; i < std::min<std::size_t>(5, ranked.size()); ++i) {
      error += "\n  " + ranked[i].second;
    }
  }
  return nullptr;
}

}  // namespace bm::cli
