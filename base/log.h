// The per-scan log file: 8-bit entries, each followed by an empty line.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace bm {

// Appends one entry: every UTF-16 unit up to 255 as one byte, larger units dropped, then
// CR LF CR LF. The file is opened and closed for each entry; an entry that cannot be
// written is dropped (false) and the caller goes on.
bool AppendLog(const std::filesystem::path& log_file, std::u16string_view message);

// "log-data-" + local time as %Y-%m-%d-%X with ':' replaced by '-' + ".txt".
std::u16string BuildLogFileName(std::chrono::system_clock::time_point now);

}  // namespace bm
