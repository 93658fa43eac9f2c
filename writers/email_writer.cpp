// The e-mail writer: the body file, list row and row record in preview mode; the composed
// message and its MSG file in conversion mode.
#include <filesystem>
#include <memory>
#include <system_error>

#include "base/paths.h"
#include "base/text.h"
#include "convert/file_bytes.h"
#include "convert/messaging_session.h"
#include "convert/mimelib.h"
#include "convert/rtf_text.h"
#include "engine/app_state.h"
#include "writers/email_texts.h"
#include "writers/embedded_message.h"
#include "writers/item_body.h"
#include "writers/item_files.h"
#include "writers/item_writers.h"
#include "writers/value_format.h"
#include "writers/writer_support.h"

namespace bm {

namespace {

constexpr std::u16string_view kComposedMessageName = u"temp.eml";

// A failing call of the messaging components: the rest of the e-mail is abandoned.
struct ComponentError {
  HResult result;
};

void Check(HResult result) {
  if (Failed(result)) throw ComponentError{result};
}

// The sender as the list and the record show it: the sender text for plain-text bodies, and
// in conversion mode also for HTML and RTF; the bare name otherwise.
std::u16string SenderValue(const EmailTexts& texts, BodySource source, bool conversion_mode) {
  const bool use_text =
      source == BodySource::kText || (conversion_mode && source != BodySource::kNone);
  return use_text ? SenderText(texts.sender_name, texts.sender_address) : texts.sender_name;
}

// UTF-8's byte order mark: it outranks any charset the HTML itself declares.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The preview's file for an RTF body: the HTML it encapsulates when it holds HTML (an HTML
// message as the store keeps it; its text alone may be empty, e.g. a picture and a blank
// line), beside the body file; otherwise the body file, rewritten in place by the component
// as the body's text.
std::u16string PreviewFileOfRtfBody(const std::u16string& temp_folder,
                                    const std::u16string& body_file_name, int item_index) {
  const std::u16string body_file_path = JoinPath(temp_folder, body_file_name);
  const std::optional<std::string> rtf = ReadFileBytes(ToPath(body_file_path));
  const std::optional<std::string> html = rtf ? ExtractRtfHtml(*rtf) : std::nullopt;
  if (html) {
    const std::u16string html_name = BodyFileName(item_index, BodyKind::kHtml);
    const std::string page = std::string(kUtf8Mark) + *html;
    const RecordBody html_body{.bytes = std::vector<std::uint8_t>(page.begin(), page.end()),
                               .kind = BodyKind::kHtml};
    if (const auto written = WriteBodyFile(temp_folder, html_name, html_body)) return *written;
  }
  std::unique_ptr<Mimelib> mimelib;
  if (!Failed(Mimelib::Create(mimelib)))
    mimelib->ConvertRtfBodyFile(body_file_path, body_file_path);
  return body_file_path;
}

void AppendEmailRecord(AppState& state, int item_index, std::u16string_view folder_path,
                       const EmailTexts& texts, const ItemBody& body, std::u16string body_file_path,
                       std::u16string sender, std::u16string attachments) {
  EmailRowRecord record;
  record.number = state.running_item_number;
  record.item_index = item_index;
  record.folder_path = std::u16string(folder_path);
  record.body_file_path = std::move(body_file_path);
  record.creation_time = texts.common.creation_time;
  record.size = texts.common.size;
  record.flags = texts.common.flags;
  record.subject = texts.common.subject;
  record.sender = std::move(sender);
  record.sender_address = texts.sender_address;
  record.body_size = body.reported_size;
  record.body_kind = body.kind();
  record.attachment_list = std::move(attachments);
  record.to_list = state.recipient_lists.to;
  record.cc_list = state.recipient_lists.cc;
  record.bcc_list = state.recipient_lists.bcc;
  state.row_records.Append(std::move(record));
}

// Turns the composed message file into the MSG file at `msg_path` through the messaging
// session, keeping the message as the current one. Throws ComponentError on a failing call.
void SaveMsgFile(AppState& state, const std::u16string& msg_path, const std::u16string& eml_path) {
  std::unique_ptr<MsgMessage> message;
  const HResult made =
      state.messaging_session->MakeMsgFileMessage(msg_path, u"IPM.Note", kMsgFormat, message);
  state.current_message = std::move(message);
  Check(made);
  if (!state.current_message) Check(E_POINTER);
  Check(state.current_message->LoadMessageFromFile(eml_path, kRfc822Type));
  Check(state.current_message->CommitMessage());
}

// A failure while writing into the temp folder: its disk is named, not the destination's.
std::u16string TempFolderFailureText(HResult result, std::u16string_view temp_folder) {
  if (result == STG_E_MEDIUMFULL) {
    return u"the disk of the temp folder " + std::u16string(temp_folder) + u" is full";
  }
  return std::u16string(FailureText(result)) + u" (in the temp folder " +
         std::u16string(temp_folder) + u")";
}

// Composes the message file and saves it as an MSG file in `folder_path`; a failing
// component call throws ComponentError. The item's outcome goes to the report: written, or
// `incomplete` when that names something of the item that could not be kept.
void ComposeAndSave(AppState& state, std::u16string_view folder_path, const ComposeInputs& inputs,
                    const std::u16string& number, const std::u16string& incomplete) {
  std::unique_ptr<Mimelib> mimelib;
  if (Failed(Mimelib::Create(mimelib))) {
    ReportFailed(state, folder_path, inputs.subject, u"the MIME component is not available");
    return;
  }
  // A message that could not be composed must not reach the MSG file.
  if (const HResult composed = ComposeMessageFile(*mimelib, inputs); Failed(composed)) {
    ReportFailed(state, folder_path, inputs.subject,
                 TempFolderFailureText(composed, state.paths.temp_folder_path));
    return;
  }
  if (Failed(state.messaging_session_status) || !state.messaging_session) {
    ReportFailed(state, folder_path, inputs.subject, u"the messaging component is not available");
    return;
  }
  const std::u16string msg_path =
      FreeTargetPath(folder_path, TargetFileStem(inputs.subject), number, u".msg");
  SaveMsgFile(state, msg_path, inputs.eml_path);
  if (incomplete.empty()) {
    state.ReportWritten(u"email");
  } else {
    ReportFailed(state, folder_path, inputs.subject, incomplete);
  }
}

// Conversion mode: composes the message in the temp folder and saves it as an MSG file in the
// target folder, then shows the progress. A failing component call abandons the e-mail
// without a status text; the report names it.
void ConvertEmail(AppState& state, std::u16string_view folder_path, const EmailTexts& texts,
                  const ItemBody& body, const std::u16string& body_file_path,
                  const AttachmentFiles& attachments, const std::u16string& number) {
  const std::u16string& subject = texts.common.subject;
  const std::u16string eml_path = JoinPath(state.paths.temp_folder_path, kComposedMessageName);
  // A message file left by the previous e-mail must never stand in for this one.
  std::error_code ignored;
  std::filesystem::remove(ToPath(eml_path), ignored);

  ComposeInputs inputs;
  inputs.eml_path = eml_path;
  inputs.body_file_path = body_file_path;
  inputs.sender_text = SenderText(texts.sender_name, texts.sender_address);
  inputs.to_list = state.recipient_lists.to;
  inputs.cc_list = state.recipient_lists.cc;
  inputs.bcc_list = state.recipient_lists.bcc;
  inputs.date_text = RewriteDateText(texts.common.creation_time);
  inputs.body_kind = BodyKindText(body.kind());
  for (const std::u16string& path : attachments.paths) {
    if (!path.empty()) inputs.attachment_paths.push_back(path);
  }
  inputs.subject = subject;
  // The MSG keeps what could be written; the report still names the item as not whole.
  const std::u16string incomplete =
      attachments.failures.empty() ? std::u16string() : attachments.failures.front();

  try {
    ComposeAndSave(state, folder_path, inputs, number, incomplete);
  } catch (const ComponentError& error) {
    ReportFailed(state, folder_path, subject, FailureText(error.result));
    return;
  }
  state.main_window.SetStatusText(u"Mail [" + number + u"]" + StatusPath(folder_path, subject));
}

}  // namespace

int WriteEmailItem(AppState& state, libpff_item_t* item, int item_index,
                   std::u16string_view folder_path) {
  if (!WriterInputsPresent(state, item, folder_path)) return -1;
  const RecipientListsReset reset(state);
  try {
    const bool conversion_mode = state.conversion_mode;
    const EmailTexts texts = ReadEmailTexts(item);
    const ItemBody body = ReadEmailBody(item);
    std::u16string sender = SenderValue(texts, body.source, conversion_mode);

    const std::u16string body_file_name = BodyFileName(item_index, body.kind());
    const std::u16string& temp_folder = state.paths.temp_folder_path;
    const std::u16string body_file_path = JoinPath(temp_folder, body_file_name);
    const Result<std::u16string> body_written =
        WriteBodyFile(temp_folder, body_file_name, body.record);
    std::u16string preview_file_path = body_file_path;
    if (!conversion_mode && body.kind() == BodyKind::kRtf && body_written.ok()) {
      preview_file_path = PreviewFileOfRtfBody(temp_folder, body_file_name, item_index);
    }

    CollectRecipients(item, state.recipient_lists);
    AttachmentContext context = AttachmentContextFor(state);
    // The preview's HTML file of an RTF body is no attachment's to take either.
    context.reserved_names = {body_file_name, BodyFileName(item_index, BodyKind::kHtml),
                              std::u16string(kComposedMessageName)};
    const AttachmentFiles attachments =
        ExportAttachments(context, item).value_or(AttachmentFiles());
    const std::u16string number = NextNumberText(state);

    if (conversion_mode) {
      if (!body_written) {
        // An MSG file without its body would pass for a whole conversion.
        ReportFailed(state, folder_path, texts.common.subject,
                     u"its body could not be written to the temp folder: " +
                         FromUtf8(body_written.error().message()));
        return 1;
      }
      ConvertEmail(state, folder_path, texts, body, body_file_path, attachments, number);
      return 1;
    }
    state.main_window.InsertListRow(
        state.running_item_number,
        ListRow{number, u"email", sender, texts.common.subject, texts.common.creation_time,
                texts.common.flags, texts.common.size});
    // Without its body file (a full temp disk) the record names none, so no preview shows
    // the e-mail as if it had no body.
    AppendEmailRecord(state, item_index, folder_path, texts, body,
                      body_written ? preview_file_path : std::u16string(), std::move(sender),
                      AttachmentListText(attachments.paths));
  } catch (const std::exception& error) {
    ReportAbandonedItem(state, folder_path, error);
  }
  return 1;
}

}  // namespace bm
