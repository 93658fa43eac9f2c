#include "base/log.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

namespace bm {

bool AppendLog(const std::filesystem::path& log_file, std::u16string_view message) {
  if (log_file.empty()) return false;
  std::string bytes;
  bytes.reserve(message.size() + 4);
  for (char16_t u : message) {
    if (u <= 0xFF) bytes.push_back(static_cast<char>(u));
  }
  bytes += "\r\n\r\n";
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(log_file.c_str(), "ab"),
                                                       &std::fclose);
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  return std::fclose(file.release()) == 0 && written;
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
