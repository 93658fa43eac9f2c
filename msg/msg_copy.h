// WriteMsgCopy: an e-mail (or any item) as an Outlook MSG file that is a property copy of the
// stored message: every property with its stored type, every recipient row, every attachment
// (by value, by reference, OLE storage, embedded messages as message objects), the bodies
// exactly as stored, and the named properties re-mapped into the MSG's own name-to-id map.
//
//   bm::msg::CopyOptions options;
//   options.warn = [](const std::string& text) { log(text); };
//   bm::Status written = bm::msg::WriteMsgCopy(*store, *message, "out/Hello.msg", options);
//
// Thread-safe for distinct targets: the store is only read.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "base/result.h"
#include "pst/store.h"

namespace bm::msg {

// Embedded messages nested deeper than this are not written as message objects (the copy
// recurses once per level). Far beyond what mail clients make; a chain that reaches it is
// written up to it and the rest is named in a warning.
inline constexpr int kMaxEmbeddingDepth = 100;

struct CopyOptions {
  // Told each thing the copy could not carry over as it should while the file is still
  // written: an embedded message nested too deep, a named property the store cannot name, a
  // PT_OBJECT value other than an attachment's data, an OLE object that is not a compound file
  // (kept as binary data), more than 2048 recipients or attachments, and every part the store
  // cannot give in full (a property, the recipients, an attachment, an embedded message: "not
  // copied in full: ..."). Each text names where ("attachment 2: embedded message: ...").
  // Empty: such things pass silently.
  std::function<void(const std::string&)> warn;
  int max_embedding_depth = kMaxEmbeddingDepth;
  // Asked once the file is whole, just before it is moved into place: the name to give it (in
  // `target`'s folder) instead of `target`. Lets a caller that writes many files at once pick
  // free names in its own order, after the slow part. Empty: `target`.
  std::function<std::filesystem::path()> name_when_whole;
};

// Writes the MSG file to a temporary file beside `target` and moves it into place only when
// whole; an existing `target` is never replaced (an error says so). What the store cannot give
// is left out (a value keeps what was readable) and named through CopyOptions::warn, so a
// damaged part never costs the rest of the message. A failure to write (a full disk) is an
// error with its cause, and leaves no file behind.
Status WriteMsgCopy(const pst::Store& store, const pst::Message& message,
                    const std::filesystem::path& target, const CopyOptions& options);
Status WriteMsgCopy(const pst::Store& store, const pst::Message& message,
                    const std::filesystem::path& target);

}  // namespace bm::msg
