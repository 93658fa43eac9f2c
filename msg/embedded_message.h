// Composing a message that is attached to another as an RFC 822 file, so that the converted
// message carries it instead of dropping it.
#pragma once

#include <string>
#include <vector>

#include "msg/email_texts.h"
#include "msg/hresult.h"
#include "pst/store.h"
#include "writers/attachments.h"

namespace bm {

// How deep embedded messages are followed; a message nested deeper gets no file.
inline constexpr int kMaxEmbeddedDepth = 8;

// What ComposeEmlFile takes for one message.
struct ComposeInputs {
  std::u16string eml_path;
  std::u16string body_file_path;
  std::u16string sender_text;
  std::u16string to_list;
  std::u16string cc_list;
  std::u16string bcc_list;
  std::u16string date_text;                      // "MM/DD/YYYY hh:mm:ss.fffffffff"
  std::u16string body_kind;                      // "html", "rtf" or "txt"
  std::vector<std::u16string> attachment_paths;  // the files to attach, each a whole path
  std::u16string subject;
};

class Mimelib;

// Composes the message file through `mimelib`; the component's result.
HResult ComposeMessageFile(Mimelib& mimelib, const ComposeInputs& inputs);

// Composes the embedded message `message` of `store` (nested `depth` levels deep, from 1) into an
// RFC 822 file at `eml_path`, with its own body, recipients and attachments. Its working files go
// to a folder of their own beside `eml_path`, so that they overwrite nothing of the message that
// contains it. False when it could not be composed.
bool ComposeEmbeddedMessage(const pst::Store& store, const pst::Message& message,
                            const std::u16string& eml_path, int depth);

// What a conversion's writers use to compose the attached messages of `store`'s items.
EmbeddedComposer EmbeddedComposerFor(const pst::Store& store);

}  // namespace bm
