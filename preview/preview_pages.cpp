#include "preview/preview_pages.h"

#include <cstdio>
#include <memory>
#include <system_error>

#include "base/paths.h"
#include "base/text.h"
#include "base/utf16_file.h"
#include "mapi/contact_fields.h"
#include "preview/click_dispatch.h"
#include "preview/inline_pictures.h"
#include "preview/page_files.h"
#include "preview/rtf_reader.h"
#include "preview/xhtml.h"

namespace bm {

namespace {

constexpr std::u16string_view kPageStart =
    u"<!DOCTYPE html PUBLIC '-//W3C//DTD XHTML 1.0 Transitional//EN' "
    u"'http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd'>"
    u"<html xmlns='http://www.w3.org/1999/xhtml'>"
    u"<head>"
    u"<meta http-equiv='Content-Type' content='text/html; charset=utf-8' />"
    u"<style type='text/css'>"
    u"<!--"
    u"body,td,th {"
    u"\tfont-family: Verdana, Arial, Helvetica, sans-serif;"
    u"\tfont-size: 11px;"
    u"\tcolor: #666666;"
    u"}"
    u"body {"
    u"\tmargin-left: 0px;"
    u"\tmargin-top: 0px;"
    u"\tmargin-right: 0px;"
    u"\tmargin-bottom: 0px;"
    u"}"
    u"a {"
    u"\tfont-family: Verdana, Arial, Helvetica, sans-serif;"
    u"\tfont-size: 10px;"
    u"}"
    u"-->"
    u"</style></head>"
    u"<body>"
    u"<table width='100%' border='0' cellspacing='0' cellpadding='0'>";

constexpr std::u16string_view kPageEnd = u"</table></body></html>";

// The attachment list with the temp folder path removed: bare file names separated by ";".
std::u16string AttachmentNames(std::u16string_view attachment_list,
                               std::u16string_view temp_folder) {
  std::u16string names(attachment_list);
  if (!temp_folder.empty()) ReplaceAll(names, temp_folder, u"");
  return names;
}

void AppendFieldRow(std::u16string& page, std::u16string_view label, std::u16string_view value) {
  if (value.empty()) return;
  page += u"  <tr>   <td height='20'><b>";
  page += label;
  page += u": </b> ";
  page += EscapeXhtml(value);
  page += u"</td> </tr>";
}

// The attachment row of a header page; `cell_start` carries the e-mail page's colspan.
void AppendAttachmentRow(std::u16string& page, std::u16string_view cell_start,
                         std::u16string_view attachment_list, std::u16string_view temp_folder) {
  const std::u16string names = AttachmentNames(attachment_list, temp_folder);
  if (names.empty()) return;
  page += u"<tr>";
  page += cell_start;
  page += u"<b>Attachment: </b><span color='red'>";
  page += EscapeXhtml(names);
  page += u"</span></td> </tr>";
}

std::u16string SenderCell(const EmailRowRecord& record) {
  std::u16string cell = record.sender;
  if (!record.sender_address.empty()) cell += u"[" + record.sender_address + u"]";
  return cell;
}

std::u16string FramesetPage(std::u16string_view frameset_attributes,
                            std::u16string_view header_path, std::u16string_view body_path) {
  std::u16string page = u"<html><head></head><frameset ";
  page += frameset_attributes;
  page += u" border='0'><frame src='";
  page += EscapeXhtml(FileUrl(header_path));
  page += u"'  scrolling='auto' frameborder='1'><frame src='";
  page += EscapeXhtml(FileUrl(body_path));
  page += u"'></frameset></html>";
  return page;
}

std::u16string_view BodyFileName(BodyKind kind, bool is_note) {
  switch (kind) {
    case BodyKind::kHtml:
      return kHtmlBodyName;
    case BodyKind::kRtf:
      return is_note ? kNoteRtfBodyName : kRtfBodyName;
    case BodyKind::kText:
      return kTextBodyName;
  }
  return {};
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The text of the RTF file at `path`, or nothing when it cannot be opened. The reader's
// result code is not needed: what it extracted before an error is what the preview shows.
std::u16string RtfFileText(const std::filesystem::path& path) {
  std::u16string text;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
  if (file) ConvertRtfToText(file.get(), text);
  return text;
}

std::u16string TempFile(const PreviewEnv& env, std::u16string_view name) {
  return env.temp_folder_path + std::u16string(name);
}

// The header page, the body file and the frameset of a contact, appointment or task; the
// frameset's path, or why a page could not be written.
Result<std::u16string> WriteSideBySide(const PreviewEnv& env, std::u16string_view header_page,
                                       const RecordBody& body) {
  const std::u16string header_path = TempFile(env, kHeaderPageName);
  if (Status written = WriteUtf8TextFile(ToPath(header_path), header_page); !written) {
    return written.error();
  }
  const Result<std::u16string> body_path = WriteBodyFile(body, env.temp_folder_path, false);
  if (!body_path) return body_path.error();
  // With its byte-order mark, like the e-mail's: without one the browser cannot tell the page
  // is UTF-16 and shows its source as garbled text.
  const std::u16string frameset_path = TempFile(env, kFramesetPageName);
  if (Status written = WriteUtf16TextFile(ToPath(frameset_path),
                                          SideBySideFramesetPage(header_path, *body_path));
      !written) {
    return written.error();
  }
  return frameset_path;
}

// Shows the page written, or says why there is none: a page cut short is never shown.
int Show(const PreviewEnv& env, const Result<std::u16string>& page) {
  if (!page) {
    env.window.SetStatusText(u"The preview could not be written: " +
                             FromUtf8(page.error().message()));
    return -1;
  }
  env.window.Navigate(*page);
  return 1;
}

// Without a temp folder there is nowhere the preview may write.
bool CanPreview(const PreviewEnv& env) {
  return !env.temp_folder_path.empty();
}

}  // namespace

std::u16string EmailHeaderPage(const EmailRowRecord& record, std::u16string_view temp_folder) {
  std::u16string page(kPageStart);
  page += u"  <tr>   <td height='20'><b>From :</b>";
  page += EscapeXhtml(SenderCell(record));
  page += u"</td>   <td height='20'><b>Date:</b >";
  page += EscapeXhtml(record.creation_time);
  page += u"</td> </tr>";
  page += u"  <tr>   <td height='20'><b>Subject: </b> ";
  page += EscapeXhtml(record.subject);
  page += u"</td>    <td height='20'><b>To:</b> ";
  page += EscapeXhtml(record.to_list);
  page += u"</td> </tr>";
  AppendAttachmentRow(page, u"   <td height='20' colspan='2'>", record.attachment_list,
                      temp_folder);
  page += kPageEnd;
  return page;
}

std::u16string ContactHeaderPage(const ContactRowRecord& record, std::u16string_view temp_folder) {
  std::u16string page(kPageStart);
  AppendFieldRow(page, u"Subject", record.subject);
  for (std::size_t i = 0; i < kContactFieldCount; ++i) {
    AppendFieldRow(page, mapi::kContactFields[i].page_label, record.fields[i]);
  }
  AppendAttachmentRow(page, u"   <td height='20'>", record.attachment_list, temp_folder);
  page += kPageEnd;
  return page;
}

std::u16string AppointmentHeaderPage(const AppointmentRowRecord& record,
                                     std::u16string_view temp_folder) {
  std::u16string page(kPageStart);
  AppendFieldRow(page, u"Subject", record.subject);
  AppendFieldRow(page, u"Start Time", record.texts.start_time);
  AppendFieldRow(page, u"End Time", record.texts.end_time);
  AppendFieldRow(page, u"Duration", record.texts.duration);
  AppendFieldRow(page, u"Location", record.texts.location);
  AppendFieldRow(page, u"Recurrence Pattern", record.texts.recurrence_pattern);
  AppendFieldRow(page, u"First Effective Time", record.texts.first_effective_time);
  AppendFieldRow(page, u"Last Effective Time", record.texts.last_effective_time);
  AppendFieldRow(page, u"Busy Status", record.texts.busy_status);
  AppendAttachmentRow(page, u"   <td height='20'>", record.attachment_list, temp_folder);
  page += kPageEnd;
  return page;
}

std::u16string TaskHeaderPage(const TaskRowRecord& record, std::u16string_view temp_folder) {
  std::u16string page(kPageStart);
  AppendFieldRow(page, u"Subject", record.subject);
  AppendFieldRow(page, u"From", record.texts.sender_name);
  AppendFieldRow(page, u"Start Date", record.texts.start_date);
  AppendFieldRow(page, u"Due Date", record.texts.due_date);
  AppendFieldRow(page, u"Status", record.texts.status);
  AppendFieldRow(page, u"Percentage Complete", record.texts.percent_complete);
  AppendFieldRow(page, u"Actual Effort", record.texts.actual_effort);
  AppendFieldRow(page, u"Total Effort", record.texts.total_effort);
  AppendFieldRow(page, u"Is Complete", record.texts.complete);
  AppendFieldRow(page, u"Version", record.texts.version);
  AppendAttachmentRow(page, u"   <td height='20'>", record.attachment_list, temp_folder);
  page += kPageEnd;
  return page;
}

std::u16string EmailFramesetPage(std::u16string_view header_path, std::u16string_view body_path) {
  return FramesetPage(u"rows='28%,*'", header_path, body_path);
}

std::u16string SideBySideFramesetPage(std::u16string_view header_path,
                                      std::u16string_view body_path) {
  return FramesetPage(u"cols='50%,50%*'", header_path, body_path);
}

Result<std::u16string> WriteBodyFile(const RecordBody& body, std::u16string_view temp_folder,
                                     bool is_note) {
  std::u16string body_path(temp_folder);
  const std::u16string_view name = BodyFileName(body.kind, is_note);
  // An unknown body kind has no file of its own; the path stays the folder and shows nothing.
  if (name.empty()) return body_path;
  body_path += name;
  if (Status written = WriteBinaryFile(ToPath(body_path), body.bytes); !written) {
    return written.error();
  }
  if (body.kind != BodyKind::kRtf) return body_path;

  const std::u16string text = RtfFileText(ToPath(body_path));
  std::error_code ignored;
  std::filesystem::remove(ToPath(body_path), ignored);
  body_path += kTextBodyName;
  if (Status written = WriteByteTextFile(ToPath(body_path), text); !written) {
    return written.error();
  }
  return body_path;
}

int ShowEmailPreview(const PreviewEnv& env, std::u16string_view number, std::u16string_view from) {
  if (!CanPreview(env)) return 0;
  const auto record = env.row_records.FindEmail(ParseRowNumber(number), from);
  if (!record) return 0;
  // The body file is written when the folder is listed; an e-mail whose body could not be
  // written whole then has no body file, and a preview without it would show an empty body.
  if (record->body_file_path.empty()) {
    return Show(env, Error("the body of this e-mail could not be written to the temp folder " +
                           ToUtf8(env.temp_folder_path)));
  }
  // The pictures its HTML shows from its own attachments are written for this click.
  BodyToShow body{.path = record->body_file_path, .failures = {}};
  if (env.store) {
    Result<BodyToShow> with_pictures =
        WriteBodyWithPictures(*env.store, *record, env.temp_folder_path);
    if (!with_pictures) return Show(env, with_pictures.error());
    body = std::move(*with_pictures);
  }
  const std::u16string header_path = TempFile(env, kHeaderPageName);
  const std::u16string frameset_path = TempFile(env, kFramesetPageName);
  Status written =
      WriteUtf16TextFile(ToPath(header_path), EmailHeaderPage(*record, env.temp_folder_path));
  if (written) {
    written = WriteUtf16TextFile(ToPath(frameset_path), EmailFramesetPage(header_path, body.path));
  }
  if (!written) return Show(env, written.error());
  const int shown = Show(env, frameset_path);
  // The message shows without them; the status text says which could not be written and why.
  if (!body.failures.empty()) {
    std::string reasons;
    for (const std::string& failure : body.failures) {
      reasons += reasons.empty() ? "" : "; ";
      reasons += failure;
    }
    env.window.SetStatusText(u"Some pictures of this e-mail could not be shown: " +
                             FromUtf8(reasons));
  }
  return shown;
}

int ShowContactPreview(const PreviewEnv& env, std::u16string_view number, std::u16string_view) {
  if (!CanPreview(env)) return 0;
  const auto record = env.row_records.FindContact(ParseRowNumber(number));
  if (!record) return 0;
  return Show(env,
              WriteSideBySide(env, ContactHeaderPage(*record, env.temp_folder_path), record->body));
}

int ShowAppointmentPreview(const PreviewEnv& env, std::u16string_view number, std::u16string_view) {
  if (!CanPreview(env)) return 0;
  const auto record = env.row_records.FindAppointment(ParseRowNumber(number));
  if (!record) return 0;
  return Show(env, WriteSideBySide(env, AppointmentHeaderPage(*record, env.temp_folder_path),
                                   record->body));
}

int ShowTaskPreview(const PreviewEnv& env, std::u16string_view number, std::u16string_view) {
  if (!CanPreview(env)) return 0;
  const auto record = env.row_records.FindTask(ParseRowNumber(number));
  if (!record) return 0;
  return Show(env,
              WriteSideBySide(env, TaskHeaderPage(*record, env.temp_folder_path), record->body));
}

int ShowNotePreview(const PreviewEnv& env, std::u16string_view number, std::u16string_view) {
  if (!CanPreview(env)) return 0;
  const auto record = env.row_records.FindNote(ParseRowNumber(number));
  if (!record) return 0;
  return Show(env, WriteBodyFile(record->body, env.temp_folder_path, true));
}

}  // namespace bm
