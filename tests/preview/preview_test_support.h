// Shared helpers of the preview tests: an application state with a temp folder, and file
// contents decoded for comparison.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "support/recording_window.h"
#include "support/test_support.h"

namespace bm::test {

// An application state whose temp folder is a fresh directory (path ending with "/").
class PreviewFixture {
 public:
  explicit PreviewFixture(std::string_view temp_name = "temp") : state_(window_) {
    temp_ = dir_.path() / temp_name;
    std::filesystem::create_directories(temp_);
    state_.paths.temp_folder_path = WithTrailingSeparator(FromPath(temp_));
  }

  AppState& state() { return state_; }
  RecordingWindow& window() { return window_; }
  const std::u16string& temp() const { return state_.paths.temp_folder_path; }
  std::filesystem::path File(std::string_view name) const { return temp_ / name; }
  std::string Utf8(std::u16string_view text) const { return ToUtf8(text); }

 private:
  TempDir dir_;
  std::filesystem::path temp_;
  RecordingWindow window_;
  AppState state_;
};

// UTF-16LE bytes of `text`, with the mark FF FE first when `with_mark`.
inline std::string Utf16Le(std::u16string_view text, bool with_mark) {
  std::string bytes = with_mark ? std::string("\xFF\xFE") : std::string();
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// Records with the fields the lookup tests need.
inline EmailRowRecord Email(int number, std::u16string subject, std::u16string sender) {
  EmailRowRecord r;
  r.number = number;
  r.subject = std::move(subject);
  r.sender = std::move(sender);
  r.body_file_path = u"Me" + std::u16string(1, static_cast<char16_t>(u'0' + number % 10)) + u".txt";
  return r;
}

template <typename Record>
Record WithSubject(int number, std::u16string subject) {
  Record r;
  r.number = number;
  r.subject = std::move(subject);
  return r;
}

inline NoteRowRecord Note(int number, RecordBody body = {}) {
  NoteRowRecord r;
  r.number = number;
  r.body = std::move(body);
  return r;
}

}  // namespace bm::test
