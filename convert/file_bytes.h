// Whole-file reads and writes for the components.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/safe_files.h"
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
// `mode` is the new file's permissions (less the umask): kPrivateFileMode for the run's
// working files, kOutputFileMode for what the user keeps. The file is never written through
// a link.
HResult WriteFileBytes(const std::filesystem::path& path, std::string_view bytes,
                       ExistingFile existing = ExistingFile::kReplace,
                       mode_t mode = kOutputFileMode);

}  // namespace bm
