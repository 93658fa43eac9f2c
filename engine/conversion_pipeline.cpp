#include "engine/conversion_pipeline.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <new>
#include <thread>
#include <utility>

#include "base/ordered_pool.h"
#include "base/paths.h"
#include "base/safe_files.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/dispatch.h"
#include "msg/embedded_message.h"
#include "writers/row_records.h"
#include "writers/writer_support.h"

namespace bm {

namespace {

// Results that may wait for their turn, per worker: enough to keep every worker busy behind
// one slow item, few enough that memory stays flat on any number of items.
constexpr std::size_t kWindowPerWorker = 16;

// What writing one item did, kept until the calling thread takes it in item order.
struct ItemOutcome {
  bool started = false;  // false: the stop flag kept the item from being written
  std::vector<std::u16string> written;
  std::vector<ConversionReport::Failure> failures;
  std::optional<std::u16string> status_text;
};

// Stands in for the window while an item is written on a worker: the status text is kept for
// the calling thread to show in item order.
class ItemWindow final : public ItemDisplay {
 public:
  explicit ItemWindow(std::optional<std::u16string>& status_text) : status_text_(status_text) {}
  void SetStatusText(std::u16string_view text) override { status_text_ = std::u16string(text); }
  void InsertListRow(int, const ListRow&) override {}

 private:
  std::optional<std::u16string>& status_text_;
};

// A scratch folder of its own for each worker inside the run's temp folder: writers compose
// working files there under names of their own choosing (an attached message's subject), which
// two items written at once could share.
class ScratchFolders {
 public:
  ScratchFolders(const std::u16string& temp_folder, unsigned count) {
    for (unsigned i = 1; i <= count; ++i) {
      std::u16string folder;
      if (!temp_folder.empty()) {
        const Result<std::filesystem::path> made =
            CreateFreshDirectory(ToPath(JoinPath(temp_folder, u"job" + DecimalText(i))));
        // Without it the item's working files fail with their own cause, one by one.
        if (made) folder = FromPath(*made) + kSeparator;
      }
      free_.push_back(std::move(folder));
    }
  }

  class Lease {
   public:
    Lease(ScratchFolders& owner, std::u16string folder)
        : owner_(owner), folder_(std::move(folder)) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() { owner_.Return(std::move(folder_)); }
    const std::u16string& folder() const { return folder_; }

   private:
    ScratchFolders& owner_;
    std::u16string folder_;
  };

  Lease Acquire() {
    std::unique_lock lock(mutex_);
    returned_.wait(lock, [this] { return !free_.empty(); });
    std::u16string folder = std::move(free_.back());
    free_.pop_back();
    return Lease(*this, std::move(folder));
  }

 private:
  void Return(std::u16string folder) {
    {
      std::lock_guard lock(mutex_);
      free_.push_back(std::move(folder));
    }
    returned_.notify_one();
  }

  std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<std::u16string> free_;
};

struct ItemRef {
  std::uint32_t folder = 0;  // index into the run's folders
  std::uint32_t index = 0;   // position in that folder
};

// Marks an item's turn done however its writing ends.
class TurnDone {
 public:
  TurnDone(PlacementTurns& turns, std::size_t index) : turns_(turns), index_(index) {}
  TurnDone(const TurnDone&) = delete;
  TurnDone& operator=(const TurnDone&) = delete;
  ~TurnDone() { turns_.Done(index_); }

 private:
  PlacementTurns& turns_;
  std::size_t index_;
};

// What every worker reads; only the turns and the scratch folders change, under their locks.
struct RunContext {
  const AppState& state;
  std::span<const ConversionFolder> folders;
  std::vector<std::vector<pst::Nid>> messages;  // per folder
  std::vector<ItemRef> items;                   // in walk order
  PlacementTurns turns;
  ScratchFolders scratch;
};

ItemOutcome WriteOneItem(RunContext& run, std::size_t position) {
  const TurnDone done(run.turns, position);
  ItemOutcome outcome;
  if (run.state.stop_flag.load() != 0) return outcome;
  outcome.started = true;
  const ItemRef item = run.items[position];
  const std::u16string& directory = run.folders[item.folder].directory;
  const auto item_index = static_cast<int>(item.index);
  const ReportSink sink{
      .written = [&outcome](std::u16string_view kind) { outcome.written.emplace_back(kind); },
      .failed =
          [&outcome, &directory, item_index](std::u16string name, std::u16string reason) {
            outcome.failures.push_back({.item = std::move(name),
                                        .reason = std::move(reason),
                                        .folder = directory,
                                        .number = item_index + 1});
          }};
  const ScratchFolders::Lease scratch = run.scratch.Acquire();
  ItemWindow window(outcome.status_text);
  RowRecordLists unused_rows;  // a conversion lists nothing
  const AppState& state = run.state;
  bool numbered = false;  // the item said it writes one file named by its number
  const WriterEnv env{
      .window = window,
      .row_records = unused_rows,
      .sink = sink,
      .store = *state.store,
      .temp_folder_path = scratch.folder(),
      .conversion_mode = true,
      .output_format = state.output_format,
      .messaging_session = state.messaging_session.get(),
      .messaging_session_status = state.messaging_session_status,
      .compose_embedded = EmbeddedComposerFor(*state.store),
      .await_placement_turn = [&run, &numbered, position] { run.turns.Wait(position, numbered); },
      .declare_numbered_name_only =
          [&run, &numbered, position] {
            numbered = true;
            run.turns.DeclareNumberedNameOnly(position);
          }};
  const std::u16string item_name = directory + u" item " + DecimalText(item_index + 1);
  try {
    const pst::SoftFaultScope faults;
    const Result<pst::Message> message =
        state.store->OpenMessage(run.messages[item.folder][item.index]);
    if (!message) {
      // An unreadable message in a damaged store must not cost the readable ones after it.
      sink.Failed(item_name,
                  u"it cannot be read from the store: " + FromUtf8(message.error().message()));
      return outcome;
    }
    ConvertItem(env, *message, item_index, directory);
    ReportSoftFaults(sink, directory, item_index, faults);
  } catch (const std::bad_alloc&) {
    throw;  // the whole run ends with that reason
  } catch (const std::exception& error) {
    sink.Failed(item_name, u"it could not be converted: " + FromUtf8(error.what()));
  }
  return outcome;
}

// The calling thread's side: folder starts, progress, status, report and log, in item order.
class ItemFeed {
 public:
  ItemFeed(AppState& state, std::span<const ConversionFolder> folders,
           const std::vector<std::vector<pst::Nid>>& messages)
      : state_(state), folders_(folders), messages_(messages) {}

  void Take(const ItemRef& item, std::optional<ItemOutcome> outcome) {
    EnterFolder(item.folder);
    if (!outcome || !outcome->started) {
      NotWritten(item);
      return;
    }
    MainWindow& window = state_.main_window;
    const auto index = static_cast<int>(item.index);
    state_.running_item_number = index + 1;
    for (const std::u16string& kind : outcome->written) state_.ReportWritten(kind);
    for (ConversionReport::Failure& failure : outcome->failures) {
      state_.ReportFailure(std::move(failure.item), std::move(failure.reason),
                           std::move(failure.folder), failure.number);
    }
    if (outcome->status_text) window.SetStatusText(*outcome->status_text);
    // The items of the folder done so far: the window coalesces positions, so a position taken
    // back at once would never be seen.
    window.SetProgressPos(index + 1);
  }

  void Start() {
    if (!folders_.empty()) EnterFolder(0);
  }

  // Announces the folders after the last item (empty ones, those whose directory failed).
  void Finish() {
    if (!folders_.empty()) EnterFolder(static_cast<std::uint32_t>(folders_.size() - 1));
    FlushNotWritten();
  }

 private:
  struct Run {
    std::uint32_t folder = 0;
    std::uint32_t first = 0;
    std::uint32_t last = 0;
  };

  void EnterFolder(std::uint32_t folder) {
    while (entered_ <= folder) Announce(entered_++);
  }

  void Announce(std::uint32_t folder) {
    FlushNotWritten();
    const ConversionFolder& entry = folders_[folder];
    if (entry.directory_error) {
      // None of the folder's items can be written; the report says so once, with the cause.
      state_.ReportFailure(
          entry.node->FolderPath(),
          u"its folder cannot be made in the destination: " + *entry.directory_error);
      return;
    }
    if (!entry.node->unreadable_cause.empty()) {
      // Its items are written, but under a name that is not the folder's own.
      state_.ReportFailure(entry.node->FolderPath(),
                           u"its name cannot be read from the store (" +
                               entry.node->unreadable_cause + u"): it is written as \"" +
                               entry.node->name + u"\" with the items the store still gives",
                           entry.directory);
    }
    if (state_.store && state_.store->Rehung(entry.node->folder_nid)) {
      // Its items are written, but not where the store would have them: the report says so.
      state_.ReportFailure(entry.node->FolderPath(),
                           u"its place in the store is damaged (it names itself or one of its "
                           u"sub-folders as parent): it is written under the top of the store",
                           entry.directory);
    }
    // The progress range is a 16-bit value, as the window's progress bar takes it: a larger
    // folder's range wraps.
    state_.main_window.SetProgressRange(0, static_cast<int>(messages_[folder].size()) & 0xFFFF);
  }

  // Items the stop flag kept from being written, named as runs ("items 4 to 90"), so a stop
  // early in a large folder names its items without a line for each.
  void NotWritten(const ItemRef& item) {
    if (not_written_ && not_written_->folder == item.folder &&
        not_written_->last + 1 == item.index) {
      not_written_->last = item.index;
      return;
    }
    FlushNotWritten();
    not_written_ = Run{item.folder, item.index, item.index};
  }

  void FlushNotWritten() {
    if (!not_written_) return;
    const Run run = *not_written_;
    not_written_.reset();
    std::u16string name = folders_[run.folder].directory;
    if (run.first == run.last) {
      name += u" item " + DecimalText(run.first + 1LL);
    } else {
      name += u" items " + DecimalText(run.first + 1LL) + u" to " + DecimalText(run.last + 1LL);
    }
    state_.ReportFailure(std::move(name), u"the run was stopped before it was written");
  }

  AppState& state_;
  std::span<const ConversionFolder> folders_;
  const std::vector<std::vector<pst::Nid>>& messages_;
  std::uint32_t entered_ = 0;
  std::optional<Run> not_written_;
};

}  // namespace

unsigned DefaultConversionJobs() {
  return std::max(1u, std::thread::hardware_concurrency());
}

void PlacementTurns::DeclareNumberedNameOnly(std::size_t index) {
  {
    std::lock_guard lock(mutex_);
    if (index < settled_) return;
    numbered_.insert(index);
    Advance();
  }
  turn_changed_.notify_all();
}

void PlacementTurns::Wait(std::size_t index, bool numbered_name_only) {
  std::unique_lock lock(mutex_);
  turn_changed_.wait(lock, [&] { return (numbered_name_only ? settled_ : next_) >= index; });
}

void PlacementTurns::Done(std::size_t index) {
  {
    std::lock_guard lock(mutex_);
    if (index < next_) return;
    ahead_.insert(index);
    Advance();
  }
  turn_changed_.notify_all();
}

void PlacementTurns::Advance() {
  while (!ahead_.empty() && *ahead_.begin() == next_) {
    ahead_.erase(ahead_.begin());
    ++next_;
  }
  settled_ = std::max(settled_, next_);
  while (true) {
    const bool numbered = numbered_.erase(settled_) > 0;
    if (!numbered && !ahead_.contains(settled_)) break;
    ++settled_;
  }
}

void ConvertFolderItems(AppState& state, std::span<const ConversionFolder> folders, unsigned jobs) {
  if (!state.store) return;
  const unsigned workers = jobs == 0 ? DefaultConversionJobs() : jobs;
  RunContext run{.state = state,
                 .folders = folders,
                 .messages = {},
                 .items = {},
                 .turns = {},
                 .scratch = ScratchFolders(state.paths.temp_folder_path, workers)};
  run.messages.reserve(folders.size());
  for (std::size_t f = 0; f < folders.size(); ++f) {
    std::vector<pst::Nid> messages;
    if (!folders[f].directory_error) {
      messages = FolderMessages(state, folders[f].node->folder_nid, folders[f].directory);
    }
    for (std::size_t i = 0; i < messages.size(); ++i) {
      run.items.push_back({static_cast<std::uint32_t>(f), static_cast<std::uint32_t>(i)});
    }
    run.messages.push_back(std::move(messages));
  }

  ItemFeed feed(state, folders, run.messages);
  // The first folder's progress range is shown before any item is written, so a stop pressed
  // at the start keeps every item from being written.
  feed.Start();
  // The stop flag is looked at inside each item, so an item it keeps from running still has
  // its turn marked done and is named in the report.
  RunOrdered<ItemOutcome>(
      run.items.size(), {.workers = workers, .window = kWindowPerWorker * workers},
      [&run](std::size_t position) { return WriteOneItem(run, position); },
      [&feed, &run](std::size_t position, std::optional<ItemOutcome> outcome) {
        feed.Take(run.items[position], std::move(outcome));
      },
      [] { return false; });
  feed.Finish();
}

}  // namespace bm
