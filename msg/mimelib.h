// The mimelib component: composes the RFC 5322 message file that the messaging session turns
// into an MSG file, and turns HTML or RTF body files into plain text.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "msg/component_runtime.h"
#include "msg/hresult.h"

namespace bm {

class Mimelib {
  // Only Create can name this, so only Create makes instances.
  struct ConstructionKey {
    explicit ConstructionKey() = default;
  };

 public:
  // Creates the component; fails (out empty, negative result) when GMime cannot be started.
  static HResult Create(std::unique_ptr<Mimelib>& out);
  // The same with the runtime start supplied by the caller (tests inject failures here).
  static HResult Create(std::unique_ptr<Mimelib>& out, const ComponentStarter& start);

  explicit Mimelib(ConstructionKey) {}
  Mimelib(const Mimelib&) = delete;
  Mimelib& operator=(const Mimelib&) = delete;
  ~Mimelib();

  // Writes a MIME message at `eml_path`.
  //  body_kind: "txt" (UTF-8 text; invalid UTF-8 read as windows-1252), "html" (HTML bytes;
  //    multipart/alternative with a derived text/plain part) or "rtf" (raw RTF; derived
  //    text/plain plus a text/rtf part).
  //  sender_text: "From:Name <addr > " or "From:Name".
  //  to_list, cc_list, bcc_list: entries "Name [addr]," or "Name,".
  //  date_text: "MM/DD/YYYY hh:mm:ss.fffffffff" in UTC.
  //  attachment_paths: the files to attach, each a whole path taken as it is (never split);
  //    a file ending ".eml" that holds an RFC 822 message is attached as message/rfc822.
  // Every file the component writes is a working file: mode 0600, never through a link.
  HResult ComposeEmlFile(const std::u16string& eml_path, const std::u16string& body_file_path,
                         const std::u16string& sender_text, const std::u16string& to_list,
                         const std::u16string& date_text, const std::u16string& body_kind,
                         const std::vector<std::u16string>& attachment_paths,
                         const std::u16string& subject, const std::u16string& cc_list,
                         const std::u16string& bcc_list);

  // Reads RTF from `source` and writes its plain text (UTF-8) to `target`; both may be the
  // same file.
  HResult ConvertRtfBodyFile(const std::u16string& source, const std::u16string& target);

  // Reads HTML from `source` and writes its readable text (UTF-8) to `target`; both may be
  // the same file.
  HResult ConvertHtmlBodyFile(const std::u16string& source, const std::u16string& target);
};

}  // namespace bm
