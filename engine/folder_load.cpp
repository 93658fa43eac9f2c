#include "engine/folder_load.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "base/ordered_pool.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/dispatch.h"

namespace bm {

namespace {

// A display that keeps the list rows one item's writer inserts, so a worker can render an item
// without touching the real list.
class RowCapture final : public ItemDisplay {
 public:
  void SetStatusText(std::u16string_view) override {}
  void InsertListRow(int, const ListRow& row) override { rows.push_back(row); }

  std::vector<ListRow> rows;
};

// One item as a worker rendered it, before it has its number.
struct RenderedItem {
  bool opened = false;
  // A listed item whose record was read takes the next number, even when its writer then
  // failed: the numbers are those a one-by-one listing gives.
  bool numbered = false;
  std::vector<ListRow> rows;
  std::unique_ptr<RowRecordLists> records = std::make_unique<RowRecordLists>();
};

// What the workers share; read-only while the load runs.
struct LoadContext {
  const pst::Store& store;
  std::u16string folder_path;
  std::u16string temp_folder_path;
  MessagingSession* messaging_session = nullptr;
  std::int32_t messaging_session_status = -1;
};

// Opens message `item_index` and renders its rows and records into `item` when its kind is
// listed. The number the writers get is a placeholder: the consumer numbers the rows and
// records in folder order.
void RenderMessage(const LoadContext& context, pst::Nid nid, int item_index, RenderedItem& item) {
  const Result<pst::Message> message = context.store.OpenMessage(nid);
  if (!message) return;
  item.opened = true;
  RowCapture capture;
  const ReportSink sink;
  const WriterEnv env{.window = capture,
                      .row_records = *item.records,
                      .sink = sink,
                      .store = context.store,
                      .temp_folder_path = context.temp_folder_path,
                      .conversion_mode = false,
                      .messaging_session = context.messaging_session,
                      .messaging_session_status = context.messaging_session_status,
                      .await_placement_turn = {},
                      .declare_numbered_name_only = {}};
  ListItem(env, *message, item_index, context.folder_path, [&item]() -> std::int32_t {
    item.numbered = true;
    return 0;
  });
  item.rows = std::move(capture.rows);
}

// A worker's part: one message's rows and records, still without their number.
RenderedItem RenderItem(const LoadContext& context, pst::Nid nid, int item_index) {
  RenderedItem item;
  try {
    RenderMessage(context, nid, item_index, item);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    // A reader exception costs this item only; its row is left out.
    item.numbered = false;
    item.rows.clear();
  }
  return item;
}

// The consumer's part, on the loading thread in folder order: numbers the item and shows it.
void ShowItem(AppState& state, int item_index, RenderedItem& item) {
  state.main_window.SetProgressPos(item_index);
  if (!item.opened) return;
  if (item.numbered) {
    const std::int32_t number = ++state.running_item_number;
    const std::u16string number_text = DecimalText(number);
    for (ListRow& row : item.rows) {
      row[0] = number_text;
      state.main_window.InsertListRow(number, row);
    }
    item.records->MoveTo(state.row_records, number);
  }
  state.main_window.SetProgressPos(0);
}

unsigned WorkerCount(FolderLoadOptions options) {
  if (options.workers > 0) return options.workers;
  return std::max(1u, std::thread::hardware_concurrency());
}

// Lists one folder's messages. False when an input is missing or Stop ended the listing.
bool ListFolderItems(AppState& state, const FolderNode& node, FolderLoadOptions options) {
  state.running_item_number = 0;
  state.row_records.Clear();
  const std::u16string folder_path = node.FolderPath();
  if (!state.session || !state.store || folder_path.empty()) return false;

  const std::vector<pst::Nid> messages = FolderMessages(state, node.folder_nid, folder_path);
  const int count = static_cast<int>(messages.size());
  // The progress range is a 16-bit value, as the window's progress bar takes it: a larger
  // folder's range wraps.
  state.main_window.SetProgressRange(0, count & 0xFFFF);
  if (count <= 0) return true;

  const LoadContext context{.store = *state.store,
                            .folder_path = folder_path,
                            .temp_folder_path = state.paths.temp_folder_path,
                            .messaging_session = state.messaging_session.get(),
                            .messaging_session_status = state.messaging_session_status};
  auto stopped = [&state] { return state.stop_flag.load() != 0; };
  RunOrdered<RenderedItem>(
      messages.size(), OrderedPoolOptions{.workers = WorkerCount(options)},
      [&](std::size_t index) {
        return RenderItem(context, messages[index], static_cast<int>(index));
      },
      [&](std::size_t index, std::optional<RenderedItem> item) {
        // After Stop no further row is shown, also of items the workers had already read.
        if (!item || stopped()) return;
        ShowItem(state, static_cast<int>(index), *item);
      },
      stopped);
  return !stopped();
}

}  // namespace

Status RunFolderLoad(AppState& state, TreeItem selected, FolderLoadOptions options) {
  state.main_window.DeleteAllListRows();
  state.running_item_number = 0;
  state.conversion_mode = false;
  state.stop_flag = 0;
  for (const FolderNode& node : state.folder_nodes) {
    if (selected == kNoTreeItem || node.tree_item != selected) continue;
    state.main_window.EnableControl(control::kFolderTree, false);
    try {
      ListFolderItems(state, node, options);
    } catch (const std::bad_alloc&) {
      state.main_window.EnableControl(control::kFolderTree, true);
      state.main_window.SetStatusText(u"Not enough memory to list the folder");
      return Error("not enough memory to list the folder");
    }
    state.main_window.EnableControl(control::kFolderTree, true);
  }
  return {};
}

Status RunFolderLoad(AppState& state, TreeItem selected) {
  return RunFolderLoad(state, selected, FolderLoadOptions{});
}

}  // namespace bm
