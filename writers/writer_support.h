// What the five item writers share: what dispatch hands them, the texts every item shows, the
// attachment context and the converted text file.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "mapi/records.h"
#include "pst/store.h"
#include "writers/attachments.h"
#include "writers/item_display.h"
#include "writers/output_format.h"
#include "writers/row_records.h"

namespace bm {

class MessagingSession;

// Where the writers report what a conversion wrote and what it could not write. A folder
// load gives a sink that keeps nothing.
struct ReportSink {
  std::function<void(std::u16string_view kind)> written;
  std::function<void(std::u16string item, std::u16string reason)> failed;

  void Written(std::u16string_view kind) const {
    if (written) written(kind);
  }
  void Failed(std::u16string item, std::u16string reason) const {
    if (failed) failed(std::move(item), std::move(reason));
  }
};

// What every writer of one run needs besides its item: made by dispatch, never the
// application state itself, so that nothing of one item is left for the next.
struct WriterEnv {
  ItemDisplay& window;
  RowRecordLists& row_records;
  const ReportSink& sink;
  const pst::Store& store;
  std::u16string temp_folder_path;  // ends with a separator
  bool conversion_mode = false;
  OutputFormat output_format = OutputFormat::kMsg;
  // The messaging session of a conversion and its creation result.
  MessagingSession* messaging_session = nullptr;
  std::int32_t messaging_session_status = -1;
  // Composes an embedded message into an RFC 822 file (conversion mode); the messaging layer
  // above the writers provides it. Without it, embedded messages get an entry but no file.
  EmbeddedComposer compose_embedded = {};
  // Set when several items are written at once: waits until every item before this one has
  // placed its files, so free names ("... (2)") go in item order, never to whichever worker
  // is first. Writers call it (through AwaitPlacementTurn) right before they pick a name.
  std::function<void()> await_placement_turn;
  // Set with it: a writer whose item writes just one file, "<stem>--<number>.<ext>", says so
  // before it writes, so its turn need not wait for items before it that did the same (no such
  // names can clash).
  std::function<void()> declare_numbered_name_only;

  void AwaitPlacementTurn() const {
    if (await_placement_turn) await_placement_turn();
  }
  void DeclareNumberedNameOnly() const {
    if (declare_numbered_name_only) declare_numbered_name_only();
  }

  // The same environment, reporting to `other` (which must outlive the copy).
  WriterEnv WithSink(const ReportSink& other) const {
    return WriterEnv{.window = window,
                     .row_records = row_records,
                     .sink = other,
                     .store = store,
                     .temp_folder_path = temp_folder_path,
                     .conversion_mode = conversion_mode,
                     .output_format = output_format,
                     .messaging_session = messaging_session,
                     .messaging_session_status = messaging_session_status,
                     .compose_embedded = compose_embedded,
                     .await_placement_turn = await_placement_turn,
                     .declare_numbered_name_only = declare_numbered_name_only};
  }
};

// One item to write: the message it was read from (attachment data is read from it), where it
// goes, and the running number dispatch gave it.
struct ItemTarget {
  const pst::Message& message;
  std::u16string_view folder_path;
  int item_index = 0;
  std::int32_t number = 0;

  std::u16string NumberText() const;
};

// The texts of the list columns every kind fills the same way.
struct CommonTexts {
  std::u16string size;           // 0x0E08, decimal bytes
  std::u16string flags;          // one word for the message flags
  std::u16string creation_time;  // "Jan 05, 2013 14:03:22.123456700"
  std::u16string subject;        // the subject, or the conversation topic
};

CommonTexts ReadCommonTexts(const mapi::MessageRecord& record);

// The head of an item's row record: the target's number and folder, its list row's texts and
// its attachment list.
RowRecordHead RowRecordHeadOf(const ItemTarget& target, const CommonTexts& common,
                              std::u16string attachment_list);

// The attachment context of the current export (temp folder, mode, embedded messages).
AttachmentContext AttachmentContextFor(const WriterEnv& env);

// The attachment files of an item that is written as a text file "<stem>--<number>.txt":
// in a conversion they go beside it in the target folder, each named "<stem>--<number> " and
// its attachment name, never replacing a file; in preview mode they are only named.
AttachmentFiles TextItemAttachments(const WriterEnv& env, const ItemTarget& target,
                                    const mapi::MessageRecord& record, std::u16string_view subject);

// "Attachment:\t\t" and the list, then `line_ends`, when the item has attachments.
void AppendAttachmentLine(std::u16string& text, const AttachmentFiles& files,
                          std::u16string_view line_ends);

// "<folder path><separator><subject>", the tail of every status text.
std::u16string StatusPath(std::u16string_view folder_path, std::u16string_view subject);

// In a conversion, an item that did not reach the disk, named by its folder and subject.
void ReportFailed(const WriterEnv& env, std::u16string_view folder_path,
                  std::u16string_view subject, std::u16string_view reason);
// In a conversion, an item of `folder_path` whose handling ended with `error`.
void ReportAbandonedItem(const WriterEnv& env, std::u16string_view folder_path,
                         const std::exception& error);

// Writes a converted item's labelled text file "<subject>--<number>.txt" into the target
// folder (never replacing a file) and reports the item under `kind`. A file that could not be
// written whole is removed: the report names the item instead, as it does an item whose
// attachment files could not all be written (its text file stays).
void WriteConvertedTextFile(const WriterEnv& env, std::u16string_view kind,
                            const ItemTarget& target, std::u16string_view subject,
                            std::u16string_view text, const RecordBody& body,
                            const AttachmentFiles& attachments);

// Runs one writer's work; any exception ends the item's handling, which still counts as
// handled. Nothing reaches the window from inside a writer and the next item goes on, but a
// conversion's report names the item that was lost.
template <typename Work>
int HandleItem(const WriterEnv& env, std::u16string_view folder_path, Work&& work) {
  try {
    work();
  } catch (const std::exception& error) {
    ReportAbandonedItem(env, folder_path, error);
  }
  return 1;
}

}  // namespace bm
