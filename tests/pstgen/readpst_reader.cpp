#include "pstgen/readpst_reader.h"

#include <algorithm>
#include <stdexcept>

#include "support/test_support.h"

namespace pstgen::test {
namespace {

namespace fs = std::filesystem;

std::string Base64Decode(std::string_view text) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (const char c : text) {
    const auto at = kAlphabet.find(c);
    if (at == std::string::npos) continue;  // line breaks and padding
    buffer = buffer << 6 | static_cast<unsigned>(at);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return out;
}

// Decodes the "=?utf-8?B?...?=" words readpst uses for non-ASCII headers.
std::string DecodeHeader(const std::string& value) {
  std::string out;
  std::size_t at = 0;
  while (at < value.size()) {
    const auto start = value.find("=?", at);
    if (start == std::string::npos) break;
    const auto b = value.find("?B?", start);
    const auto end = b == std::string::npos ? b : value.find("?=", b + 3);
    if (end == std::string::npos) break;
    out += value.substr(at, start - at);
    out += Base64Decode(std::string_view(value).substr(b + 3, end - b - 3));
    at = end + 2;
  }
  return out + value.substr(std::min(at, value.size()));
}

struct Part {
  std::map<std::string, std::string> headers;  // lower-case names
  std::string body;
};

Part SplitPart(const std::string& text) {
  Part part;
  auto split = text.find("\n\n");
  const std::string head = text.substr(0, split);
  part.body = split == std::string::npos ? "" : text.substr(split + 2);
  std::string name;
  std::size_t at = 0;
  while (at < head.size()) {
    auto end = head.find('\n', at);
    if (end == std::string::npos) end = head.size();
    const std::string line = head.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      if (!name.empty()) part.headers[name] += " " + line.substr(line.find_first_not_of(" \t"));
      continue;
    }
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    auto value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    part.headers[name] = value;
  }
  return part;
}

std::string Parameter(const std::string& header, const std::string& name) {
  const auto at = header.find(name + "=\"");
  if (at == std::string::npos) return {};
  const auto start = at + name.size() + 2;
  return header.substr(start, header.find('"', start) - start);
}

std::vector<std::string> SplitMultipart(const std::string& body, const std::string& boundary) {
  std::vector<std::string> parts;
  const std::string delimiter = "--" + boundary;
  std::size_t at = body.find(delimiter);
  while (at != std::string::npos) {
    at += delimiter.size();
    if (body.compare(at, 2, "--") == 0) break;
    at = body.find('\n', at);
    if (at == std::string::npos) break;
    ++at;
    const auto next = body.find("\n" + delimiter, at);
    parts.push_back(body.substr(at, next == std::string::npos ? std::string::npos : next - at));
    at = next == std::string::npos ? next : next + 1;
  }
  return parts;
}

void AddPart(const Part& part, RpMessage& message) {
  const std::string type =
      part.headers.count("content-type") ? part.headers.at("content-type") : "text/plain";
  if (type.rfind("multipart/", 0) == 0) {
    for (const std::string& child : SplitMultipart(part.body, Parameter(type, "boundary"))) {
      AddPart(SplitPart(child), message);
    }
  } else if (type.rfind("message/rfc822", 0) == 0) {
    std::string inner = part.body;
    if (inner.rfind(">From ", 0) == 0) inner.erase(0, inner.find('\n') + 1);
    message.embedded.push_back(ParseReadpstMessage(inner));
  } else if (part.headers.count("content-disposition")) {
    const std::string disposition = part.headers.at("content-disposition");
    message.attachments[Parameter(disposition, "filename")] = Base64Decode(part.body);
  } else if (type.rfind("text/html", 0) == 0) {
    message.html_body = part.body;
  } else if (type.rfind("text/plain", 0) == 0) {
    message.plain_body = part.body;
  }
}

std::string TrimNewline(std::string text) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

RpFolder ReadFolder(const fs::path& dir) {
  RpFolder folder;
  std::map<int, fs::path> numbered;
  std::map<int, std::vector<std::pair<std::string, fs::path>>> extras;  // "N-rest" files
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory()) {
      folder.folders[name] = ReadFolder(entry.path());
      continue;
    }
    const auto digits = name.find_first_not_of("0123456789");
    if (digits == 0) continue;
    if (digits == std::string::npos) {
      numbered[std::stoi(name)] = entry.path();
    } else if (name[digits] == '-') {
      extras[std::stoi(name.substr(0, digits))].emplace_back(name.substr(digits + 1), entry.path());
    }
  }
  for (const auto& [number, path] : numbered) {
    RpMessage message = ParseReadpstMessage(bm::test::ReadFile(path));
    for (const auto& [rest, file] : extras[number]) {
      if (rest == "rtf-body.rtf")
        message.rtf_body = bm::test::ReadFile(file);
      else
        message.attachments[rest] = bm::test::ReadFile(file);
    }
    folder.messages.push_back(std::move(message));
  }
  return folder;
}

}  // namespace

RpMessage ParseReadpstMessage(const std::string& text) {
  const Part top = SplitPart(text);
  RpMessage message;
  const auto header = [&](const char* name) {
    const auto it = top.headers.find(name);
    return it == top.headers.end() ? std::string() : DecodeHeader(it->second);
  };
  message.subject = header("subject");
  message.to = header("to");
  message.cc = header("cc");
  message.bcc = header("x-libpst-forensic-bcc");
  AddPart(top, message);
  if (message.plain_body) message.plain_body = TrimNewline(*message.plain_body);
  if (message.html_body) message.html_body = TrimNewline(*message.html_body);
  return message;
}

RpFolder ReadWithReadpst(const fs::path& pst, const fs::path& out_dir) {
  fs::create_directories(out_dir);
  const auto result =
      bm::test::Run("readpst -D -S -8 -q -j 0 -o " + bm::test::Quote(out_dir.string()) + " " +
                    bm::test::Quote(pst.string()) + " 2>&1");
  if (result.exit_code != 0) throw std::runtime_error("readpst failed: " + result.output);
  for (const auto& entry : fs::directory_iterator(out_dir)) {
    if (entry.is_directory()) return ReadFolder(entry.path());
  }
  return {};
}

}  // namespace pstgen::test
