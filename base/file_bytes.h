// Whole files: read without following a link, written through a temporary name and moved into
// place (see PendingFile), at any folder depth.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "base/pending_file.h"
#include "base/safe_files.h"

namespace bm {

// The bytes of the regular file `path`; nullopt when it cannot be opened or read, when it is
// not a regular file (a FIFO is refused without waiting on it), or when a link stands in its
// place.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path);

}  // namespace bm
