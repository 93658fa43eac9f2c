// A message attached to an item that is written as a text file: composed into an RFC 822
// file, so that the converted item carries it instead of dropping it.
#pragma once

#include <string>

#include "pst/store.h"
#include "writers/attachments.h"

namespace bm {

// Composes `message` of `store` (with its own body, recipients, attachments and attached
// messages) into the working file `eml_path` (mode 0600, replacing the file of an earlier
// item). False when it could not be read, composed or written.
bool ComposeEmbeddedMessage(const pst::Store& store, const pst::Message& message,
                            const std::u16string& eml_path);

// What a conversion's writers use to compose the attached messages of `store`'s items.
EmbeddedComposer EmbeddedComposerFor(const pst::Store& store);

}  // namespace bm
