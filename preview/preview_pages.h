// The preview page writers: a row record becomes a header page, a body file and a frameset
// page in the temp folder, and the browser is pointed at them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"
#include "preview/page_display.h"
#include "pst/store.h"
#include "writers/row_records.h"

namespace bm {

// What the page writers need: where the page is shown, the row records of the listed folder
// and the run's temp folder (ends with a separator; empty when there is none, and then
// nothing is previewed).
struct PreviewEnv {
  PageDisplay& window;
  const RowRecordLists& row_records;
  std::u16string temp_folder_path;
  // The open store: a click writes the pictures an e-mail's HTML shows from it.
  const pst::Store* store = nullptr;
};

// Names of the files the preview writes into the temp folder; every click overwrites them.
inline constexpr std::u16string_view kHeaderPageName = u"header.html";
inline constexpr std::u16string_view kFramesetPageName = u"email.html";
inline constexpr std::u16string_view kHtmlBodyName = u"htmlbody.html";
inline constexpr std::u16string_view kRtfBodyName = u"rtfbody.txt";
inline constexpr std::u16string_view kNoteRtfBodyName = u"rtfbody.rtf";
inline constexpr std::u16string_view kTextBodyName = u"textbody.txt";

// Header page texts. Every inserted value is escaped; the temp folder path is removed from
// the attachment list so it shows bare file names.
std::u16string EmailHeaderPage(const EmailRowRecord& record, std::u16string_view temp_folder);
std::u16string ContactHeaderPage(const ContactRowRecord& record, std::u16string_view temp_folder);
std::u16string AppointmentHeaderPage(const AppointmentRowRecord& record,
                                     std::u16string_view temp_folder);
std::u16string TaskHeaderPage(const TaskRowRecord& record, std::u16string_view temp_folder);

// Frameset page texts: header above body (e-mail) or header beside body (the others). The
// frame sources are file:// URLs of the two paths.
std::u16string EmailFramesetPage(std::u16string_view header_path, std::u16string_view body_path);
std::u16string SideBySideFramesetPage(std::u16string_view header_path,
                                      std::u16string_view body_path);

// Writes a record's body into the temp folder by its kind and returns the path to show: for
// RTF the body is turned into text, the RTF file removed and the text file's path returned.
// The reason when a file could not be written whole.
Result<std::u16string> WriteBodyFile(const RecordBody& body, std::u16string_view temp_folder,
                                     bool is_note);

// The page writers. `number` and `from` are the texts of columns 0 and 2 of the clicked row.
// Each returns 1 after it wrote the files and navigated, 0 when no record matched (nothing is
// written then), -1 when a page could not be written whole: nothing is shown then and the
// status text says why.
int ShowEmailPreview(const PreviewEnv& env, std::u16string_view number, std::u16string_view from);
int ShowContactPreview(const PreviewEnv& env, std::u16string_view number, std::u16string_view from);
int ShowAppointmentPreview(const PreviewEnv& env, std::u16string_view number,
                           std::u16string_view from);
int ShowTaskPreview(const PreviewEnv& env, std::u16string_view number, std::u16string_view from);
int ShowNotePreview(const PreviewEnv& env, std::u16string_view number, std::u16string_view from);

}  // namespace bm
