// What the five item writers share: the texts every item shows, the running number, the
// attachment context and the converted text file.
#pragma once

#include <libpff.h>

#include <exception>
#include <string>
#include <string_view>

#include "preview/row_records.h"
#include "writers/attachments.h"

namespace bm {

class AppState;

// The texts of the list columns every kind fills the same way.
struct CommonTexts {
  std::u16string size;           // 0x0E08, decimal bytes
  std::u16string flags;          // one word for the message flags
  std::u16string creation_time;  // "Jan 05, 2013 14:03:22.123456700"
  std::u16string subject;        // the subject, or the conversation topic
};

CommonTexts ReadCommonTexts(libpff_item_t* item);

// A writer runs only with a session, an item and a folder path.
bool WriterInputsPresent(const AppState& state, const libpff_item_t* item,
                         std::u16string_view folder_path);

// The attachment context of the current export (temp folder, mode, embedded messages).
AttachmentContext AttachmentContextFor(AppState& state);

// The attachment files of an item that is written as a text file "<stem>--<number>.txt":
// in a conversion they go beside it in `folder_path`, each named "<stem>--<number> " and its
// attachment name, never replacing a file; in preview mode they are only named. No files when
// the list cannot be given.
AttachmentFiles TextItemAttachments(AppState& state, libpff_item_t* item,
                                    std::u16string_view folder_path, std::u16string_view subject,
                                    std::u16string_view number_text);

// "Attachment:\t\t" and the list, then `line_ends`, when the item has attachments.
void AppendAttachmentLine(std::u16string& text, const AttachmentFiles& files,
                          std::u16string_view line_ends);

// Counts the item and returns its number as decimal text.
std::u16string NextNumberText(AppState& state);

// "<folder path><separator><subject>", the tail of every status text.
std::u16string StatusPath(std::u16string_view folder_path, std::u16string_view subject);

// In a conversion, an item that did not reach the disk, named by its folder and subject.
void ReportFailed(AppState& state, std::u16string_view folder_path, std::u16string_view subject,
                  std::u16string_view reason);
// In a conversion, an item of `folder_path` whose handling ended with `error`.
void ReportAbandonedItem(AppState& state, std::u16string_view folder_path,
                         const std::exception& error);

// Writes a converted item's labelled text file "<subject>--<number>.txt" into `folder_path`
// (never replacing a file) and reports the item under `kind`. A file that could not be
// written whole is removed: the report names the item instead, as it does an item whose
// attachment files could not all be written (its text file stays).
void WriteConvertedTextFile(AppState& state, std::u16string_view kind,
                            std::u16string_view folder_path, std::u16string_view subject,
                            std::u16string_view number_text, std::u16string_view text,
                            const RecordBody& body, const AttachmentFiles& attachments);

// Empties the To, CC and BCC lists when the writer is done with an item, however it ends.
class RecipientListsReset {
 public:
  explicit RecipientListsReset(AppState& state) : state_(state) {}
  ~RecipientListsReset();
  RecipientListsReset(const RecipientListsReset&) = delete;
  RecipientListsReset& operator=(const RecipientListsReset&) = delete;

 private:
  AppState& state_;
};

// Runs one writer's work; any exception ends the item's handling, which still counts as
// handled. Nothing reaches the window from inside a writer and the next item goes on, but a
// conversion's report names the item that was lost.
template <typename Work>
int HandleItem(AppState& state, std::u16string_view folder_path, Work&& work) {
  try {
    work();
  } catch (const std::exception& error) {
    ReportAbandonedItem(state, folder_path, error);
  }
  return 1;
}

}  // namespace bm
