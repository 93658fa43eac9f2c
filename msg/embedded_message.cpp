#include "msg/embedded_message.h"

#include "base/paths.h"
#include "mapi/records.h"
#include "msg/email_eml.h"
#include "msg/file_bytes.h"

namespace bm {

bool ComposeEmbeddedMessage(const pst::Store& store, const pst::Message& message,
                            const std::u16string& eml_path) {
  const Result<mapi::EmailRecord> record = mapi::ReadEmailRecord(store, message);
  if (!record) return false;
  const Result<ComposedEml> composed = ComposeEmailEml(store, message, *record);
  if (!composed) return false;
  return Succeeded(
      WriteFileBytes(ToPath(eml_path), composed->bytes, ExistingFile::kReplace, kPrivateFileMode));
}

EmbeddedComposer EmbeddedComposerFor(const pst::Store& store) {
  return [&store](const pst::Message& message, const std::u16string& eml_path) {
    return ComposeEmbeddedMessage(store, message, eml_path);
  };
}

}  // namespace bm
