#include "writers/writer_support.h"

#include <filesystem>
#include <system_error>

#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "writers/embedded_message.h"
#include "writers/item_files.h"
#include "writers/value_format.h"

namespace bm {

RecipientListsReset::~RecipientListsReset() {
  state_.recipient_lists.Clear();
}

CommonTexts ReadCommonTexts(libpff_item_t* item) {
  CommonTexts texts;
  texts.size = PropertyTextOrEmpty(item, 0, prop::kMessageSize);
  texts.flags = MessageFlagsText(item).value_or(std::u16string());
  texts.creation_time = PropertyTextOrEmpty(item, 0, prop::kCreationTime);
  texts.subject = SubjectOrTopic(item);
  return texts;
}

bool WriterInputsPresent(const AppState& state, const libpff_item_t* item,
                         std::u16string_view folder_path) {
  return state.session != nullptr && item != nullptr && !folder_path.empty();
}

AttachmentContext AttachmentContextFor(AppState& state) {
  AttachmentContext context;
  context.temp_folder_path = state.paths.temp_folder_path;
  context.conversion_mode = state.conversion_mode.load();
  if (context.conversion_mode) {
    context.compose_embedded = [](libpff_item_t* message, const std::u16string& eml_path) {
      return ComposeEmbeddedMessage(message, eml_path, 1);
    };
  }
  return context;
}

AttachmentFiles TextItemAttachments(AppState& state, libpff_item_t* item,
                                    std::u16string_view folder_path, std::u16string_view subject,
                                    std::u16string_view number_text) {
  AttachmentContext context = AttachmentContextFor(state);
  if (context.conversion_mode) {
    context.target_folder = std::u16string(folder_path);
    context.name_prefix = TargetFileStem(subject) + u"--" + std::u16string(number_text) + u" ";
  }
  return ExportAttachments(context, item).value_or(AttachmentFiles());
}

void AppendAttachmentLine(std::u16string& text, const AttachmentFiles& files,
                          std::u16string_view line_ends) {
  if (files.paths.empty()) return;
  text += u"Attachment:\t\t";
  text += AttachmentListText(files.paths);
  text += line_ends;
}

std::u16string NextNumberText(AppState& state) {
  ++state.running_item_number;
  return DecimalText(state.running_item_number);
}

std::u16string StatusPath(std::u16string_view folder_path, std::u16string_view subject) {
  std::u16string text(folder_path);
  text += kSeparatorText;
  text += subject;
  return text;
}

void ReportFailed(AppState& state, std::u16string_view folder_path, std::u16string_view subject,
                  std::u16string_view reason) {
  state.ReportFailure(StatusPath(folder_path, subject), std::u16string(reason));
}

void ReportAbandonedItem(AppState& state, std::u16string_view folder_path,
                         const std::exception& error) {
  state.ReportFailure(std::u16string(folder_path),
                      u"an item could not be converted: " + FromUtf8(error.what()));
}

void WriteConvertedTextFile(AppState& state, std::u16string_view kind,
                            std::u16string_view folder_path, std::u16string_view subject,
                            std::u16string_view number_text, std::u16string_view text,
                            const RecordBody& body, const AttachmentFiles& attachments) {
  const Result<std::u16string> path =
      WriteTargetTextFile(folder_path, TargetFileStem(subject), number_text, u".txt", text, body);
  if (!path) {
    ReportFailed(state, folder_path, subject, FromUtf8(path.error().message()));
    return;
  }
  if (!attachments.failures.empty()) {
    ReportFailed(state, folder_path, subject, attachments.failures.front());
    return;
  }
  state.ReportWritten(kind);
}

}  // namespace bm
