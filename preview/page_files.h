// The file forms the preview writes. Each returns false when the file could not be created or
// not every byte reached it; the preview goes on either way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace bm {

// The bytes unchanged.
bool WriteBinaryFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// UTF-8, each line feed written as CR LF (the line ends the pages have always had).
bool WriteUtf8TextFile(const std::filesystem::path& path, std::u16string_view text);

// Byte text: each character as its code page 1252 byte, each line feed as CR LF, up to the
// first NUL; characters the code page lacks are left out.
bool WriteByteTextFile(const std::filesystem::path& path, std::u16string_view text);

}  // namespace bm
