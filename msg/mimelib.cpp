#include "msg/mimelib.h"

#include "base/paths.h"
#include "msg/charset.h"
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

HResult Mimelib::ConvertRtfBodyFile(const std::u16string& source, const std::u16string& target) {
  return ConvertBodyFile(source, target, [](const std::string& rtf) { return RtfToText(rtf); });
}

HResult Mimelib::ConvertHtmlBodyFile(const std::u16string& source, const std::u16string& target) {
  return ConvertBodyFile(source, target, [](const std::string& html) { return HtmlToText(html); });
}

}  // namespace bm
