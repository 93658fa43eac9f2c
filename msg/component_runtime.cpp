#include "msg/component_runtime.h"

#include <gmime/gmime.h>
#include <gsf/gsf-utils.h>

#include <mutex>

namespace bm {

namespace {

bool MimeRuntimeUsable() {
  // g_mime_init fills the default parser and format options; without them nothing works.
  return g_mime_parser_options_get_default() != nullptr &&
         g_mime_format_options_get_default() != nullptr;
}

}  // namespace

HResult StartMimeRuntime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
  return MimeRuntimeUsable() ? S_OK : REGDB_E_CLASSNOTREG;
}

HResult StartMessagingRuntime() {
  const HResult mime = StartMimeRuntime();
  if (Failed(mime)) return mime;
  static std::once_flag once;
  std::call_once(once, [] { gsf_init(); });
  return S_OK;
}

}  // namespace bm
