// What can be said about a store file before the reader opens it: each way a path can fail to
// be a whole PST file gets its own one-line reason, for the log, the message box and the CLI.
#pragma once

#include <filesystem>

#include "base/result.h"

namespace bm {

// Fails, with the reason, when `path` is missing or unreadable, is a directory or another
// kind of non-file, is empty, does not start with the PST signature, or is shorter than the
// size its header gives (a store cut short). Success says only that the file may be opened.
Status CheckStoreFile(const std::filesystem::path& path);

}  // namespace bm
