// Paths: every path the program builds joins its parts with the platform separator.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace bm {

inline constexpr char16_t kSeparator = u'/';
inline constexpr std::u16string_view kSeparatorText{&kSeparator, 1};

// Joins two path texts with exactly one separator between them, whatever either side holds
// at the seam (libcpath's join rule).
std::u16string JoinPath(std::u16string_view directory, std::u16string_view name);

// The file-system path of a UTF-16 path text (as UTF-8).
std::filesystem::path ToPath(std::u16string_view text);

// The UTF-16 text of a file-system path.
std::u16string FromPath(const std::filesystem::path& path);

// `text` with a separator appended unless it already ends with one.
std::u16string WithTrailingSeparator(std::u16string_view text);

}  // namespace bm
