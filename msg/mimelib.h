// The mimelib component: turns HTML or RTF body files into plain text for the previews. (It
// composes internet messages from e-mail records too: convert/email_eml.h.)
#pragma once

#include <memory>
#include <string>

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

  // Reads RTF from `source` and writes its plain text (UTF-8) to `target`; both may be the
  // same file.
  HResult ConvertRtfBodyFile(const std::u16string& source, const std::u16string& target);

  // Reads HTML from `source` and writes its readable text (UTF-8) to `target`; both may be
  // the same file.
  HResult ConvertHtmlBodyFile(const std::u16string& source, const std::u16string& target);
};

}  // namespace bm
