// CUTF16File: a text file written as UTF-16LE with the byte-order mark FF FE at its start.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace bm {

class CUTF16File {
 public:
  // Open flags: bit values callers combine; the file is always opened untranslated (binary).
  static constexpr unsigned modeCreate = 0x1000;
  static constexpr unsigned modeWrite = 0x0001;
  static constexpr unsigned modeReadWrite = 0x0002;
  static constexpr unsigned typeBinary = 0x8000;

  CUTF16File() = default;

  // Create truncates. Read-write without create opens an existing file and detects its mark.
  bool Open(const std::filesystem::path& path, unsigned flags);

  // Writes FF FE first when the file position is 0, then the code units little-endian.
  // False when not every byte reached the file (a full disk, for example).
  bool WriteString(std::u16string_view text);

  // Reads one line (without its CR/LF) from a file opened for reading; nothing at the end.
  std::optional<std::u16string> ReadString();

  // False when buffered bytes could not be written out.
  bool Close();

  bool IsOpen() const { return file_ != nullptr; }
  bool IsUtf16() const { return utf16_mode_; }
  bool IsBigEndian() const { return big_endian_; }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  bool utf16_mode_ = false;
  bool big_endian_ = false;
  std::uint64_t position_ = 0;
};

// The bytes of a UTF-16LE text file: the mark FF FE, then the code units little-endian.
std::string Utf16LeFileBytes(std::u16string_view text);

// Writes `text` as a whole UTF-16LE file with the mark, through a temporary name in the same
// folder (see PendingFile), replacing what is at `path`: a cut-short file never has its name.
bool WriteUtf16File(const std::filesystem::path& path, std::u16string_view text);

}  // namespace bm
