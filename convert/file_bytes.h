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

// Replaces the file with `bytes` through a temporary file in the same directory, so a failed
// write leaves the old file (or none). Mapped failures: STG_E_PATHNOTFOUND,
// STG_E_ACCESSDENIED, STG_E_MEDIUMFULL, STG_E_WRITEFAULT.
HResult WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);

// GLib takes file names as UTF-8 on Windows and as the native bytes elsewhere.
std::string GlibFileName(const std::filesystem::path& path);

}  // namespace bm
