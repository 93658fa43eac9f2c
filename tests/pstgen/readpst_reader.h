// Reads a PST back with readpst (pst-utils, an independent reader) and parses what it writes.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pstgen::test {

struct RpMessage {
  std::string subject;  // decoded UTF-8, with the prefix marker characters removed by readpst
  std::string to;
  std::string cc;
  std::string bcc;  // readpst's X-libpst-forensic-bcc header
  std::optional<std::string> plain_body;
  std::optional<std::string> html_body;
  std::optional<std::string> rtf_body;             // the "N-rtf-body.rtf" file
  std::map<std::string, std::string> attachments;  // file name (after "N-") -> bytes
  std::vector<RpMessage> embedded;                 // message/rfc822 parts
};

struct RpFolder {
  std::map<std::string, RpFolder> folders;  // by the directory name readpst chose
  std::vector<RpMessage> messages;          // in readpst's numbering order
};

// Runs `readpst -D -S -8` into `out_dir` and parses the result. Returns the folder that
// readpst names after the store (the contents of "Top of Personal Folders").
RpFolder ReadWithReadpst(const std::filesystem::path& pst, const std::filesystem::path& out_dir);

// One MIME message as readpst writes it (exposed for the embedded-message parts).
RpMessage ParseReadpstMessage(const std::string& text);

}  // namespace pstgen::test
