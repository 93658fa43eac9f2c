#include "msg/email_writer.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "base/paths.h"
#include "base/text.h"
#include "mapi/message_kind.h"
#include "msg/email_eml.h"
#include "msg/email_texts.h"
#include "msg/file_bytes.h"
#include "msg/messaging_session.h"
#include "msg/mimelib.h"
#include "msg/rtf_text.h"
#include "writers/item_body.h"
#include "writers/item_files.h"
#include "writers/value_format.h"
#include "writers/writer_support.h"

namespace bm {

namespace {

// The sender as the list and the record show it: the sender text for plain-text bodies, the
// bare name otherwise.
std::u16string SenderValue(const EmailTexts& texts, BodySource source) {
  return source == BodySource::kText ? SenderText(texts.sender_name, texts.sender_address)
                                     : texts.sender_name;
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

// The attachments the body may show as pictures: by-value attachments with a content id or
// a content location, under the names the attachment export gave them.
std::vector<InlinePart> InlineParts(const std::vector<mapi::AttachmentEntry>& entries,
                                    const AttachmentFiles& files) {
  std::vector<InlinePart> parts;
  for (std::size_t k = 0; k < files.paths.size() && k < files.entries.size(); ++k) {
    const mapi::AttachmentEntry& entry = entries[files.entries[k]];
    if (entry.method != mapi::attach_method::kByValue || files.paths[k].empty()) continue;
    if (entry.content_id.empty() && entry.content_location.empty()) continue;
    parts.push_back(InlinePart{.content_id = entry.content_id,
                               .content_location = entry.content_location,
                               .attachment_index = entry.index,
                               .file_name = FromPath(ToPath(files.paths[k]).filename()),
                               .size = entry.size});
  }
  return parts;
}

void AppendEmailRecord(const WriterEnv& env, const ItemTarget& target, const EmailTexts& texts,
                       const ItemBody& body, const RecipientLists& recipients,
                       std::u16string body_file_path, std::u16string sender,
                       std::u16string attachments, std::vector<InlinePart> inline_parts) {
  EmailRowRecord record;
  record.number = target.number;
  record.item_index = target.item_index;
  record.message_nid = target.message.nid();
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
  record.inline_parts = std::move(inline_parts);
  env.row_records.Append(std::move(record));
}

// What the report counts a written MSG file as: e-mails (feeds too) as "email", every other
// class under its own name.
std::u16string WrittenKind(std::u16string_view message_class) {
  return mapi::KindOfMessageClass(message_class) == mapi::MessageKind::kOther
             ? std::u16string(message_class.empty() ? u"(unknown)" : message_class)
             : std::u16string(u"email");
}

// Writes the MSG file, a copy of the stored message (every property, recipient and attachment
// as stored), through the messaging session. What the copy could not carry over keeps the
// item out of the written count, with the reason. False when a call of the session failed:
// the e-mail is then abandoned without a status text.
bool CopyToMsgFile(const WriterEnv& env, const mapi::EmailRecord& email, const ItemTarget& target,
                   const std::u16string& subject, const std::u16string& number) {
  const std::u16string_view folder_path = target.folder_path;
  if (Failed(env.messaging_session_status) || env.messaging_session == nullptr) {
    ReportFailed(env, folder_path, subject, u"the messaging component is not available");
    return true;
  }
  const std::u16string stem = TargetFileStem(subject);
  const std::u16string msg_path = FreeTargetPath(folder_path, stem, number, u".msg");
  std::unique_ptr<MsgMessage> message;
  const HResult made = env.messaging_session->MakeMsgFileMessage(
      msg_path, email.message_class.empty() ? u"IPM.Note" : email.message_class, kMsgUnicodeFormat,
      message);
  if (Failed(made) || !message) {
    ReportFailed(env, folder_path, subject, FailureText(Failed(made) ? made : E_POINTER));
    return false;
  }
  message->CopyFromStoreMessage(env.store, target.message);
  // The name is picked once the file is whole, in the item's turn: workers never race for it.
  message->ChooseNameWhenWhole([&env, folder_path, &stem, &number] {
    env.AwaitPlacementTurn();
    return ToPath(FreeTargetPath(folder_path, stem, number, u".msg"));
  });
  if (const HResult committed = message->CommitMessage(); Failed(committed)) {
    std::u16string reason(FailureText(committed));
    if (!message->failure().empty()) reason += u": " + FromUtf8(message->failure());
    ReportFailed(env, folder_path, subject, reason);
    return false;
  }
  if (message->warnings().empty()) {
    env.sink.Written(WrittenKind(email.message_class));
    return true;
  }
  std::u16string reason = u"the MSG file was written without part of the message: ";
  for (std::size_t i = 0; i < message->warnings().size(); ++i) {
    if (i > 0) reason += u"; ";
    reason += FromUtf8(message->warnings()[i]);
  }
  ReportFailed(env, folder_path, subject, reason);
  return true;
}

// Writes the EML file "<subject>--<number>.eml", composed from the record with the message's
// attachments, never replacing a file. What the composition could not carry keeps the item out
// of the written count, with the reason. False when nothing was written.
bool WriteEmlFile(const WriterEnv& env, const mapi::EmailRecord& email, const ItemTarget& target,
                  const std::u16string& subject, const std::u16string& number) {
  const std::u16string_view folder_path = target.folder_path;
  const Result<ComposedEml> composed = ComposeEmailEml(env.store, target.message, email);
  if (!composed) {
    ReportFailed(env, folder_path, subject, FromUtf8(composed.error().message()));
    return false;
  }
  env.AwaitPlacementTurn();
  const Result<std::u16string> written =
      WriteTargetFile(folder_path, TargetFileStem(subject), number, u".eml", composed->bytes);
  if (!written) {
    ReportFailed(env, folder_path, subject, FromUtf8(written.error().message()));
    return false;
  }
  if (composed->warnings.empty()) {
    env.sink.Written(WrittenKind(email.message_class));
    return true;
  }
  std::u16string reason = u"the EML file was written without part of the message: ";
  for (std::size_t i = 0; i < composed->warnings.size(); ++i) {
    if (i > 0) reason += u"; ";
    reason += FromUtf8(composed->warnings[i]);
  }
  ReportFailed(env, folder_path, subject, reason);
  return true;
}

// Conversion mode: the MSG or EML file, then the progress.
void ConvertEmail(const WriterEnv& env, const mapi::EmailRecord& email, const ItemTarget& target) {
  // One file, "<stem>--<number>.msg" (or .eml), whatever the message holds.
  env.DeclareNumberedNameOnly();
  const std::u16string subject = ReadEmailTexts(email).common.subject;
  const std::u16string number = target.NumberText();
  const bool written = env.output_format == OutputFormat::kEml
                           ? WriteEmlFile(env, email, target, subject, number)
                           : CopyToMsgFile(env, email, target, subject, number);
  if (!written) return;
  env.window.SetStatusText(u"Mail [" + number + u"]" + StatusPath(target.folder_path, subject));
}

}  // namespace

int WriteEmailItem(const WriterEnv& env, const mapi::EmailRecord& email, const ItemTarget& target) {
  const std::u16string_view folder_path = target.folder_path;
  if (folder_path.empty()) return -1;
  const int item_index = target.item_index;
  try {
    if (env.conversion_mode) {
      ConvertEmail(env, email, target);
      return 1;
    }
    const EmailTexts texts = ReadEmailTexts(email);
    const ItemBody body = EmailBody(email.bodies);
    std::u16string sender = SenderValue(texts, body.source);

    const std::u16string body_file_name = BodyFileName(item_index, body.kind());
    const std::u16string& temp_folder = env.temp_folder_path;
    const std::u16string body_file_path = JoinPath(temp_folder, body_file_name);
    const Result<std::u16string> body_written =
        WriteBodyFile(temp_folder, body_file_name, body.record);
    std::u16string preview_file_path = body_file_path;
    if (body.kind() == BodyKind::kRtf && body_written.ok()) {
      preview_file_path = PreviewFileOfRtfBody(temp_folder, body_file_name, item_index);
    }

    RecipientLists recipients;
    CollectRecipients(email.recipients, recipients);
    AttachmentContext context = AttachmentContextFor(env);
    // The preview's HTML file of an RTF body is no attachment's to take either.
    context.reserved_names = {body_file_name, BodyFileName(item_index, BodyKind::kHtml)};
    const AttachmentFiles attachments =
        ExportAttachments(context, target.message, email.attachments);
    const std::u16string number = target.NumberText();

    env.window.InsertListRow(
        target.number, ListRow{number, u"email", sender, texts.common.subject,
                               texts.common.creation_time, texts.common.flags, texts.common.size});
    // Without its body file (a full temp disk) the record names none, so no preview shows
    // the e-mail as if it had no body.
    AppendEmailRecord(env, target, texts, body, recipients,
                      body_written ? preview_file_path : std::u16string(), std::move(sender),
                      AttachmentListText(attachments.paths),
                      InlineParts(email.attachments, attachments));
  } catch (const std::exception& error) {
    ReportAbandonedItem(env, folder_path, error);
  }
  return 1;
}

}  // namespace bm
