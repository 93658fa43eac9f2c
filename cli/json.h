// Minimal JSON text output for the --json options.
#pragma once

#include <string>
#include <string_view>

namespace bm::cli {

// `text` (UTF-8) as a quoted JSON string.
std::string JsonString(std::string_view text);

}  // namespace bm::cli
