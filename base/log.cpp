#include "base/log.h"

#include <fcntl.h>

#include <ctime>
#include <string>

#include "base/safe_files.h"

namespace bm {

bool AppendLog(const std::filesystem::path& log_file, std::u16string_view message) {
  if (log_file.empty()) return false;
  std::string bytes;
  bytes.reserve(message.size() + 4);
  for (char16_t u : message) {
    if (u <= 0xFF) bytes.push_back(static_cast<char>(u));
  }
  bytes += "\r\n\r\n";
  // Appended to, never followed: a link in the log's place is not written through.
  FileDescriptor file(::open(
      log_file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kPrivateFileMode));
  if (!file.valid()) return false;
  const bool written = WriteAll(file.get(), bytes).ok();
  return file.Close().ok() && written;
}

std::u16string BuildLogFileName(std::chrono::system_clock::time_point now) {
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  char stamp[64];
  // "%X" in the C locale is HH:MM:SS; the program never changes the locale.
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H:%M:%S", &local);
  std::u16string name = u"log-data-";
  for (const char* c = stamp; *c; ++c) name.push_back(*c == ':' ? u'-' : char16_t(*c));
  name += u".txt";
  return name;
}

}  // namespace bm
