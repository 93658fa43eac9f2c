// Property keys for the fidelity bench: what a stored message holds and what an MSG file
// holds, each as "id/type" ("0x0037/001F") or, for named properties, "{guid}:name/type";
// recipients' and attachments' keys prefixed with "recipient N " and "attachment N ".
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "pst/store.h"

namespace bm::msgcopy {

struct KeySet {
  std::string subject;  // UTF-8
  std::set<std::string> keys;
};

// The properties an MSG copy of `message` should carry (the store's bookkeeping left out).
KeySet StoredKeys(const pst::Store& store, const pst::Message& message);

// The properties of an MSG file; nullopt when it is not a compound file.
std::optional<KeySet> MsgKeys(const std::filesystem::path& path);

}  // namespace bm::msgcopy
