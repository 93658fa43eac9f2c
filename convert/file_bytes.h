// Whole-file reads and writes for the components.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "convert/hresult.h"

namespace bm {

// The file's bytes; nullopt when it cannot be opened or read (or is not a regular file).
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path);

// What WriteFileBytes does when the target is already there.
enum class ExistingFile {
  kReplace,  // the new bytes take its place
  kKeep,     // it stays, and the write fails with STG_E_FILEALREADYEXISTS
};

// Writes `bytes` to a temporary file beside `path` and moves it into place, so `path` is
// never seen half written and a failed write leaves the old file (or none). The temporary
// name is short, so any target name that fits the file system works. Mapped failures:
// STG_E_PATHNOTFOUND, STG_E_ACCESSDENIED, STG_E_MEDIUMFULL, STG_E_FILEALREADYEXISTS,
// STG_E_WRITEFAULT.
HResult WriteFileBytes(const std::filesystem::path& path, std::string_view bytes,
                       ExistingFile existing = ExistingFile::kReplace);

}  // namespace bm
