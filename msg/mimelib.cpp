#include "msg/mimelib.h"

#include "base/paths.h"
#include "base/text.h"
#include "msg/charset.h"
#include "msg/eml_compose.h"
#include "msg/file_bytes.h"
#include "msg/html_text.h"
#include "msg/rtf_text.h"

namespace bm {

namespace {

template <typename Convert>
HResult ConvertBodyFile(const std::u16string& source, const std::u16string& target,
                        Convert convert) {
  if (source.empty() || target.empty()) return E_INVALIDARG;
  const std::optional<std::string> bytes = ReadFileBytes(ToPath(source));
  if (!bytes) return STG_E_FILENOTFOUND;
  return WriteFileBytes(ToPath(target), ToCrLf(convert(*bytes)), ExistingFile::kReplace,
                        kPrivateFileMode);
}

}  // namespace

Mimelib::~Mimelib() = default;

HResult Mimelib::Create(std::unique_ptr<Mimelib>& out) {
  return Create(out, StartMimeRuntime);
}

HResult Mimelib::Create(std::unique_ptr<Mimelib>& out, const ComponentStarter& start) {
  out.reset();
  const HResult started = start ? start() : E_POINTER;
  if (Failed(started)) return started;
  out = std::make_unique<Mimelib>(ConstructionKey());
  return S_OK;
}

HResult Mimelib::ComposeEmlFile(const std::u16string& eml_path,
                                const std::u16string& body_file_path,
                                const std::u16string& sender_text, const std::u16string& to_list,
                                const std::u16string& date_text, const std::u16string& body_kind,
                                const std::vector<std::u16string>& attachment_paths,
                                const std::u16string& subject, const std::u16string& cc_list,
                                const std::u16string& bcc_list) {
  if (eml_path.empty()) return E_INVALIDARG;
  ComposeInput input;
  if (!body_file_path.empty()) {
    // A missing body file is an e-mail without body, not a reason to lose the e-mail.
    input.body = ReadFileBytes(ToPath(body_file_path)).value_or(std::string());
  }
  input.body_kind = ParseBodyKind(body_kind);
  input.sender = ParseSenderText(sender_text);
  input.to = ParseRecipientList(to_list);
  input.cc = ParseRecipientList(cc_list);
  input.bcc = ParseRecipientList(bcc_list);
  input.date = ParseDateText(date_text);
  input.subject = ToUtf8(subject);
  for (const std::u16string& path : attachment_paths) input.attachments.push_back(ToPath(path));
  ComposeOutput output;
  if (const HResult composed = ComposeMessage(input, output); Failed(composed)) return composed;
  if (const HResult written = WriteFileBytes(ToPath(eml_path), output.message,
                                             ExistingFile::kReplace, kPrivateFileMode);
      Failed(written)) {
    return written;
  }
  return output.unreadable.empty() ? S_OK : S_FALSE;
}

HResult Mimelib::ConvertRtfBodyFile(const std::u16string& source, const std::u16string& target) {
  return ConvertBodyFile(source, target, [](const std::string& rtf) { return RtfToText(rtf); });
}

HResult Mimelib::ConvertHtmlBodyFile(const std::u16string& source, const std::u16string& target) {
  return ConvertBodyFile(source, target, [](const std::string& html) { return HtmlToText(html); });
}

}  // namespace bm
