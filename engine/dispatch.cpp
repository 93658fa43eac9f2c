#include "engine/dispatch.h"

#include <exception>
#include <new>
#include <optional>

#include "base/text.h"
#include "engine/app_state.h"
#include "mapi/message_kind.h"
#include "mapi/records.h"
#include "msg/email_writer.h"
#include "msg/embedded_message.h"
#include "writers/item_writers.h"

namespace bm {

namespace {

// A conversion names every item it could not write: a message the store cannot give must not
// vanish from the run without a word.
void ReportUnreadable(AppState& state, std::u16string_view folder, int item_index,
                      std::u16string_view reason) {
  state.ReportFailure(std::u16string(folder) + u" item " + DecimalText(item_index + 1),
                      std::u16string(reason));
}

// The report of a conversion; a folder load keeps nothing.
ReportSink SinkFor(AppState& state) {
  if (!state.conversion_mode) return ReportSink{};
  return ReportSink{
      .written = [&state](std::u16string_view kind) { state.ReportWritten(kind); },
      .failed = [&state](std::u16string item,
                         std::u16string reason) { state.ReportFailure(item, reason); }};
}

// Reads the record of `Read`'s kind and hands it to `write`; a record that cannot be read is
// reported with its cause instead.
template <typename Record, typename Write>
void WriteRecord(AppState& state, const pst::Message& message, int item_index,
                 std::u16string_view target_directory,
                 Result<Record> (*read)(const pst::Store&, const pst::Message&), Write write) {
  std::optional<Result<Record>> read_record;
  try {
    read_record.emplace(read(*state.store, message));
  } catch (const std::bad_alloc&) {
    throw;  // the whole listing or conversion ends with that reason
  } catch (const std::exception& error) {
    ReportUnreadable(state, target_directory, item_index,
                     u"it cannot be read from the store: " + FromUtf8(error.what()));
    return;
  }
  Result<Record>& record = *read_record;
  if (!record) {
    ReportUnreadable(state, target_directory, item_index, FromUtf8(record.error().message()));
    return;
  }
  const ReportSink sink = SinkFor(state);
  const WriterEnv env{.window = state.main_window,
                      .row_records = state.row_records,
                      .sink = sink,
                      .store = *state.store,
                      .temp_folder_path = state.paths.temp_folder_path,
                      .conversion_mode = state.conversion_mode.load(),
                      .messaging_session = state.messaging_session.get(),
                      .messaging_session_status = state.messaging_session_status,
                      .compose_embedded = EmbeddedComposerFor(*state.store)};
  const ItemTarget target{.message = message,
                          .folder_path = target_directory,
                          .item_index = item_index,
                          .number = ++state.running_item_number};
  write(env, *record, target);
}

}  // namespace

int export_handle_export_item(AppState& state, const pst::Message& message, int item_index,
                              std::u16string_view target_directory) {
  if (!state.session || !state.store) return -1;
  const Result<std::optional<std::u16string>> message_class =
      message.properties().String(mapi::pid::kMessageClass);
  if (!message_class) {
    ReportUnreadable(
        state, target_directory, item_index,
        u"its kind cannot be read from the store: " + FromUtf8(message_class.error().message()));
    return 1;
  }
  const bool converting = state.conversion_mode;
  switch (mapi::KindOfMessageClass(message_class->value_or(std::u16string()))) {
    case mapi::MessageKind::kAppointment:
      WriteRecord(state, message, item_index, target_directory, &mapi::ReadAppointmentRecord,
                  WriteAppointmentItem);
      break;
    case mapi::MessageKind::kEmail:
      WriteRecord(state, message, item_index, target_directory, &mapi::ReadEmailRecord,
                  WriteEmailItem);
      break;
    case mapi::MessageKind::kContact:
      WriteRecord(state, message, item_index, target_directory, &mapi::ReadContactRecord,
                  WriteContactItem);
      break;
    case mapi::MessageKind::kNote:
      WriteRecord(state, message, item_index, target_directory, &mapi::ReadNoteRecord,
                  WriteNoteItem);
      break;
    case mapi::MessageKind::kRssFeed:
      // Feeds are converted like e-mails but not listed.
      if (converting) {
        WriteRecord(state, message, item_index, target_directory, &mapi::ReadEmailRecord,
                    WriteEmailItem);
      }
      break;
    case mapi::MessageKind::kTask:
      WriteRecord(state, message, item_index, target_directory, &mapi::ReadTaskRecord,
                  WriteTaskItem);
      break;
    case mapi::MessageKind::kOther:
      // Distribution lists, meeting and task requests, journal entries, posts, reports and
      // unknown classes: not listed, but converted like e-mails, as copies of the stored
      // message, and counted under their class.
      if (converting) {
        WriteRecord(state, message, item_index, target_directory, &mapi::ReadEmailRecord,
                    WriteEmailItem);
      }
      break;
  }
  return 1;
}

int export_handle_export_folder_items(AppState& state, pst::Nid folder,
                                      std::u16string_view target_directory) {
  state.running_item_number = 0;
  state.row_records.Clear();
  if (!state.session || !state.store || target_directory.empty()) return -1;

  const std::span<const pst::Nid> messages = state.store->Messages(folder);
  const int count = static_cast<int>(messages.size());
  // The progress range is a 16-bit value, as the window's progress bar takes it: a larger
  // folder's range wraps.
  state.main_window.SetProgressRange(0, count & 0xFFFF);
  if (count <= 0) return 1;

  int result = 1;
  for (int index = 0; index < count; ++index) {
    if (state.stop_flag.load() != 0) return -1;
    state.main_window.SetProgressPos(index);
    const Result<pst::Message> message = state.store->OpenMessage(messages[index]);
    if (!message) {
      // An unreadable message in a damaged store must not cost the readable ones after it.
      ReportUnreadable(state, target_directory, index,
                       u"it cannot be read from the store: " + FromUtf8(message.error().message()));
      result = -1;
      continue;
    }
    export_handle_export_item(state, *message, index, target_directory);
    state.main_window.SetProgressPos(0);
  }
  return result;
}

Status RunFolderLoad(AppState& state, TreeItem selected) {
  state.main_window.DeleteAllListRows();
  state.running_item_number = 0;
  state.conversion_mode = false;
  state.stop_flag = 0;
  for (const FolderNode& node : state.folder_nodes) {
    if (selected == kNoTreeItem || node.tree_item != selected) continue;
    state.main_window.EnableControl(control::kFolderTree, false);
    try {
      export_handle_export_folder_items(state, node.folder_nid, node.FolderPath());
    } catch (const std::bad_alloc&) {
      state.main_window.EnableControl(control::kFolderTree, true);
      state.main_window.SetStatusText(u"Not enough memory to list the folder");
      return Error("not enough memory to list the folder");
    }
    state.main_window.EnableControl(control::kFolderTree, true);
  }
  return {};
}

}  // namespace bm
