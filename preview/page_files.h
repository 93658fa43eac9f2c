// The file forms the preview writes, all working files in the run's temp folder: made afresh
// (mode 0600; a file or link of that name is removed first, never written through). Each says
// why when the file could not be created or not every byte reached it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "base/result.h"

namespace bm {

// The bytes unchanged.
Status WriteBinaryFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// UTF-8, each line feed written as CR LF (the pages are a file format of the product, with
// Windows line ends).
Status WriteUtf8TextFile(const std::filesystem::path& path, std::u16string_view text);

// Byte text: each character as its code page 1252 byte, each line feed as CR LF, up to the
// first NUL; characters the code page lacks are left out.
Status WriteByteTextFile(const std::filesystem::path& path, std::u16string_view text);

// UTF-16LE with the byte-order mark FF FE.
Status WriteUtf16TextFile(const std::filesystem::path& path, std::u16string_view text);

}  // namespace bm
