#include "engine/dispatch.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <new>
#include <optional>

#include "base/text.h"
#include "base/value_text.h"
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
void ReportUnreadable(const ReportSink& sink, std::u16string_view folder, int item_index,
                      std::u16string_view reason) {
  sink.Failed(std::u16string(folder) + u" item " + DecimalText(item_index + 1),
              std::u16string(reason));
}

}  // namespace

void ReportSoftFaults(const ReportSink& sink, std::u16string_view folder, int item_index,
                      const pst::SoftFaultScope& faults) {
  if (faults.empty()) return;
  // The first few say where; a block read again and again is named once.
  constexpr std::size_t kNamed = 3;
  std::u16string causes;
  for (std::size_t i = 0; i < faults.faults().size() && i < kNamed; ++i) {
    if (i > 0) causes += u"; ";
    causes += FromUtf8(faults.faults()[i]);
  }
  if (faults.faults().size() > kNamed) {
    causes +=
        u"; and " + DecimalText(static_cast<long long>(faults.faults().size() - kNamed)) + u" more";
  }
  ReportUnreadable(sink, folder, item_index,
                   u"part of its data fails the store's own checks (" + causes +
                       u"): it is written as read, which may be wrong");
}

namespace {

// The report of a conversion, each failure tied to the item's folder and number so that its
// files can be found; a folder load keeps nothing.
ReportSink SinkFor(AppState& state, std::u16string_view folder, int number) {
  if (!state.conversion_mode) return ReportSink{};
  return ReportSink{.written = [&state](std::u16string_view kind) { state.ReportWritten(kind); },
                    .failed =
                        [&state, folder = std::u16string(folder), number](std::u16string item,
                                                                          std::u16string reason) {
                          state.ReportFailure(std::move(item), std::move(reason), folder, number);
                        }};
}

// Who names the parts of an item that the store cannot give: dispatch, or the writer itself
// (an MSG copy names each part it could not copy).
enum class DamageNamedBy { kDispatch, kWriter };

// The number an item shows: in a conversion its position in its folder, fixed before anything
// is written, so an item that fails keeps its number and never renumbers those after it; in a
// listing the count of the rows so far.
using NumberSource = std::function<std::int32_t()>;

// Reads the record of `Read`'s kind and hands it to `write`; a record that cannot be read is
// reported with its cause instead.
template <typename Record, typename Write>
void WriteRecord(const WriterEnv& env, const pst::Message& message, int item_index,
                 std::u16string_view target_directory, const NumberSource& number,
                 Result<Record> (*read)(const pst::Store&, const pst::Message&, mapi::Damage),
                 Write write, DamageNamedBy named_by) {
  std::optional<Result<Record>> read_record;
  try {
    read_record.emplace(
        read(env.store, message,
             env.conversion_mode ? mapi::Damage::kKeepReadable : mapi::Damage::kRefuse));
  } catch (const std::bad_alloc&) {
    throw;  // the whole listing or conversion ends with that reason
  } catch (const std::exception& error) {
    ReportUnreadable(env.sink, target_directory, item_index,
                     u"it cannot be read from the store: " + FromUtf8(error.what()));
    return;
  }
  Result<Record>& record = *read_record;
  if (!record) {
    ReportUnreadable(env.sink, target_directory, item_index, FromUtf8(record.error().message()));
    return;
  }
  const ItemTarget target{.message = message,
                          .folder_path = target_directory,
                          .item_index = item_index,
                          .number = number()};
  const bool named_here = named_by == DamageNamedBy::kDispatch && !record->unreadable.empty();
  if (!named_here) {
    write(env, *record, target);
    return;
  }
  // Written with what is readable, but reported as failed, so not counted as written too.
  const ReportSink sink{.written = {}, .failed = env.sink.failed};
  write(env.WithSink(sink), *record, target);
  std::u16string reason = u"written without what the store cannot give: ";
  for (std::size_t i = 0; i < record->unreadable.size(); ++i) {
    if (i > 0) reason += u"; ";
    reason += FromUtf8(record->unreadable[i].message());
  }
  ReportUnreadable(env.sink, target_directory, item_index, reason);
}

// Routes one message by its class to the writer of its kind.
void RouteItem(const WriterEnv& env, const pst::Message& message, int item_index,
               std::u16string_view target_directory, const NumberSource& number) {
  const Result<std::optional<std::u16string>> message_class =
      message.properties().String(mapi::pid::kMessageClass);
  if (!message_class) {
    ReportUnreadable(
        env.sink, target_directory, item_index,
        u"its kind cannot be read from the store: " + FromUtf8(message_class.error().message()));
    return;
  }
  const bool converting = env.conversion_mode;
  auto route = [&](auto read, auto write, DamageNamedBy named_by = DamageNamedBy::kDispatch) {
    WriteRecord(env, message, item_index, target_directory, number, read, write, named_by);
  };
  switch (mapi::KindOfMessageClass(message_class->value_or(std::u16string()))) {
    case mapi::MessageKind::kAppointment:
      route(&mapi::ReadAppointmentRecord, WriteAppointmentItem);
      break;
    case mapi::MessageKind::kEmail:
      route(&mapi::ReadEmailRecord, WriteEmailItem, DamageNamedBy::kWriter);
      break;
    case mapi::MessageKind::kContact:
      route(&mapi::ReadContactRecord, WriteContactItem);
      break;
    case mapi::MessageKind::kNote:
      route(&mapi::ReadNoteRecord, WriteNoteItem);
      break;
    case mapi::MessageKind::kRssFeed:
      // Feeds are converted like e-mails but not listed.
      if (converting) route(&mapi::ReadEmailRecord, WriteEmailItem, DamageNamedBy::kWriter);
      break;
    case mapi::MessageKind::kTask:
      route(&mapi::ReadTaskRecord, WriteTaskItem);
      break;
    case mapi::MessageKind::kOther:
      // Distribution lists, meeting and task requests, journal entries, posts, reports and
      // unknown classes: not listed, but converted like e-mails, as copies of the stored
      // message, and counted under their class.
      if (converting) route(&mapi::ReadEmailRecord, WriteEmailItem, DamageNamedBy::kWriter);
      break;
  }
}

}  // namespace

int export_handle_export_item(AppState& state, const pst::Message& message, int item_index,
                              std::u16string_view target_directory) {
  if (!state.session || !state.store) return -1;
  const ReportSink sink = SinkFor(state, target_directory, item_index + 1);
  const WriterEnv env{.window = state.main_window,
                      .row_records = state.row_records,
                      .sink = sink,
                      .store = *state.store,
                      .temp_folder_path = state.paths.temp_folder_path,
                      .conversion_mode = state.conversion_mode.load(),
                      .output_format = state.output_format,
                      .messaging_session = state.messaging_session.get(),
                      .messaging_session_status = state.messaging_session_status,
                      .compose_embedded = EmbeddedComposerFor(*state.store),
                      .await_placement_turn = {},
                      .declare_numbered_name_only = {}};
  const NumberSource number = [&state, item_index]() -> std::int32_t {
    if (state.conversion_mode) return state.running_item_number = item_index + 1;
    return ++state.running_item_number;
  };
  RouteItem(env, message, item_index, target_directory, number);
  return 1;
}

std::vector<pst::Nid> FolderMessages(AppState& state, pst::Nid folder,
                                     std::u16string_view target_directory) {
  pst::Store::FolderMessages found = state.store->MessagesWithContentsTable(folder);
  for (const pst::Nid nid : found.recovered) {
    if (state.conversion_mode) {
      state.Log(u"Recovered: " + std::u16string(target_directory) + u": message " + Hex32Text(nid) +
                u" is named by the folder's contents table only");
    }
  }
  for (const pst::Nid nid : found.missing) {
    // One in the list takes its place there and is named as that item when it fails to open.
    if (std::binary_search(found.messages.begin(), found.messages.end(), nid)) continue;
    state.ReportFailure(std::u16string(target_directory),
                        u"the folder's contents table names message " + Hex32Text(nid) +
                            u", which the store does not hold",
                        std::u16string(target_directory));
  }
  return std::move(found.messages);
}

void ListItem(const WriterEnv& env, const pst::Message& message, int item_index,
              std::u16string_view folder_path, const std::function<std::int32_t()>& number) {
  RouteItem(env, message, item_index, folder_path, number);
}

void ConvertItem(const WriterEnv& env, const pst::Message& message, int item_index,
                 std::u16string_view target_directory) {
  RouteItem(env, message, item_index, target_directory,
            [item_index]() -> std::int32_t { return item_index + 1; });
}

int export_handle_export_folder_items(AppState& state, pst::Nid folder,
                                      std::u16string_view target_directory) {
  state.running_item_number = 0;
  state.row_records.Clear();
  if (!state.session || !state.store || target_directory.empty()) return -1;

  const std::vector<pst::Nid> messages = FolderMessages(state, folder, target_directory);
  const int count = static_cast<int>(messages.size());
  // The progress range is a 16-bit value, as the window's progress bar takes it: a larger
  // folder's range wraps.
  state.main_window.SetProgressRange(0, count & 0xFFFF);
  if (count <= 0) return 1;

  int result = 1;
  for (int index = 0; index < count; ++index) {
    if (state.stop_flag.load() != 0) return -1;
    state.main_window.SetProgressPos(index);
    const pst::SoftFaultScope faults;
    const Result<pst::Message> message = state.store->OpenMessage(messages[index]);
    if (!message) {
      // An unreadable message in a damaged store must not cost the readable ones after it.
      ReportUnreadable(SinkFor(state, target_directory, index + 1), target_directory, index,
                       u"it cannot be read from the store: " + FromUtf8(message.error().message()));
      result = -1;
      continue;
    }
    export_handle_export_item(state, *message, index, target_directory);
    ReportSoftFaults(SinkFor(state, target_directory, index + 1), target_directory, index, faults);
    state.main_window.SetProgressPos(0);
  }
  return result;
}

}  // namespace bm
