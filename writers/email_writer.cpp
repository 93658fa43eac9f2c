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

void AppendEmailRecord(const WriterEnv& env, const ItemTarget& target, const EmailTexts& texts,
                       const ItemBody& body, const RecipientLists& recipients,
                       std::u16string body_file_path, std::u16string sender,
                       std::u16string attachments) {
  EmailRowRecord record;
  record.number = target.number;
  record.item_index = target.item_index;
  record.folder_path = std::u16string(target.folder_path);
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
  record.to_list = recipients.to;
  record.cc_list = recipients.cc;
  record.bcc_list = recipients.bcc;
  env.row_records.Append(std::move(record));
}

// Turns the composed message file into the MSG file at `msg_path` through the messaging
// session. Throws ComponentError on a failing call.
void SaveMsgFile(MessagingSession& session, const std::u16string& msg_path,
                 const std::u16string& eml_path) {
  std::unique_ptr<MsgMessage> message;
  Check(session.MakeMsgFileMessage(msg_path, u"IPM.Note", kMsgFormat, message));
  if (!message) Check(E_POINTER);
  Check(message->LoadMessageFromFile(eml_path, kRfc822Type));
  Check(message->CommitMessage());
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
void ComposeAndSave(const WriterEnv& env, std::u16string_view folder_path,
                    const ComposeInputs& inputs, const std::u16string& number,
                    const std::u16string& incomplete) {
  std::unique_ptr<Mimelib> mimelib;
  if (Failed(Mimelib::Create(mimelib))) {
    ReportFailed(env, folder_path, inputs.subject, u"the MIME component is not available");
    return;
  }
  // A message that could not be composed must not reach the MSG file.
  if (const HResult composed = ComposeMessageFile(*mimelib, inputs); Failed(composed)) {
    ReportFailed(env, folder_path, inputs.subject,
                 TempFolderFailureText(composed, env.temp_folder_path));
    return;
  }
  if (Failed(env.messaging_session_status) || env.messaging_session == nullptr) {
    ReportFailed(env, folder_path, inputs.subject, u"the messaging component is not available");
    return;
  }
  const std::u16string msg_path =
      FreeTargetPath(folder_path, TargetFileStem(inputs.subject), number, u".msg");
  SaveMsgFile(*env.messaging_session, msg_path, inputs.eml_path);
  if (incomplete.empty()) {
    env.sink.Written(u"email");
  } else {
    ReportFailed(env, folder_path, inputs.subject, incomplete);
  }
}

// Conversion mode: composes the message in the temp folder and saves it as an MSG file in the
// target folder, then shows the progress. A failing component call abandons the e-mail
// without a status text; the report names it.
void ConvertEmail(const WriterEnv& env, std::u16string_view folder_path, const EmailTexts& texts,
                  const ItemBody& body, const RecipientLists& recipients,
                  const std::u16string& body_file_path, const AttachmentFiles& attachments,
                  const std::u16string& number) {
  const std::u16string& subject = texts.common.subject;
  const std::u16string eml_path = JoinPath(env.temp_folder_path, kComposedMessageName);
  // A message file left by the previous e-mail must never stand in for this one.
  std::error_code ignored;
  std::filesystem::remove(ToPath(eml_path), ignored);

  ComposeInputs inputs;
  inputs.eml_path = eml_path;
  inputs.body_file_path = body_file_path;
  inputs.sender_text = SenderText(texts.sender_name, texts.sender_address);
  inputs.to_list = recipients.to;
  inputs.cc_list = recipients.cc;
  inputs.bcc_list = recipients.bcc;
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
    ComposeAndSave(env, folder_path, inputs, number, incomplete);
  } catch (const ComponentError& error) {
    ReportFailed(env, folder_path, subject, FailureText(error.result));
    return;
  }
  env.window.SetStatusText(u"Mail [" + number + u"]" + StatusPath(folder_path, subject));
}

}  // namespace

int WriteEmailItem(const WriterEnv& env, const mapi::EmailRecord& email, const ItemTarget& target) {
  const std::u16string_view folder_path = target.folder_path;
  if (folder_path.empty()) return -1;
  const int item_index = target.item_index;
  try {
    const bool conversion_mode = env.conversion_mode;
    const EmailTexts texts = ReadEmailTexts(email);
    const ItemBody body = EmailBody(email.bodies);
    std::u16string sender = SenderValue(texts, body.source, conversion_mode);

    const std::u16string body_file_name = BodyFileName(item_index, body.kind());
    const std::u16string& temp_folder = env.temp_folder_path;
    const std::u16string body_file_path = JoinPath(temp_folder, body_file_name);
    const Result<std::u16string> body_written =
        WriteBodyFile(temp_folder, body_file_name, body.record);
    std::u16string preview_file_path = body_file_path;
    if (!conversion_mode && body.kind() == BodyKind::kRtf && body_written.ok()) {
      preview_file_path = PreviewFileOfRtfBody(temp_folder, body_file_name, item_index);
    }

    RecipientLists recipients;
    CollectRecipients(email.recipients, recipients);
    AttachmentContext context = AttachmentContextFor(env);
    // The preview's HTML file of an RTF body is no attachment's to take either.
    context.reserved_names = {body_file_name, BodyFileName(item_index, BodyKind::kHtml),
                              std::u16string(kComposedMessageName)};
    const AttachmentFiles attachments =
        ExportAttachments(context, target.message, email.attachments);
    const std::u16string number = target.NumberText();

    if (conversion_mode) {
      if (!body_written) {
        // An MSG file without its body would pass for a whole conversion.
        ReportFailed(env, folder_path, texts.common.subject,
                     u"its body could not be written to the temp folder: " +
                         FromUtf8(body_written.error().message()));
        return 1;
      }
      ConvertEmail(env, folder_path, texts, body, recipients, body_file_path, attachments, number);
      return 1;
    }
    env.window.InsertListRow(
        target.number, ListRow{number, u"email", sender, texts.common.subject,
                               texts.common.creation_time, texts.common.flags, texts.common.size});
    // Without its body file (a full temp disk) the record names none, so no preview shows
    // the e-mail as if it had no body.
    AppendEmailRecord(env, target, texts, body, recipients,
                      body_written ? preview_file_path : std::u16string(), std::move(sender),
                      AttachmentListText(attachments.paths));
  } catch (const std::exception& error) {
    ReportAbandonedItem(env, folder_path, error);
  }
  return 1;
}

}  // namespace bm
