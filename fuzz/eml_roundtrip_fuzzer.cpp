// libFuzzer target: the message composer and the message loader. Mode 0 splits the input into
// the composer's fields (body, sender, recipients, date, subject, attachment contents), composes
// an RFC 822 file and loads it into an MSG message, which must then succeed and keep a plain
// subject unchanged. Mode 1 hands the input to the loader as a message file of its own.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "msg/mapi_properties.h"
#include "msg/messaging_session.h"
#include "msg/mimelib.h"

namespace {

namespace fs = std::filesystem;

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Components {
  std::unique_ptr<bm::Mimelib> mimelib;
  std::unique_ptr<bm::MessagingSession> session;
  fs::path dir;
};

Components& Shared() {
  static Components* components = [] {
    auto* c = new Components;
    Check(bm::Mimelib::Create(c->mimelib) >= 0);
    Check(bm::MessagingSession::Create(c->session) >= 0);
    c->dir = fs::temp_directory_path() / ("bm-eml-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(c->dir);
    return c;
  }();
  return *components;
}

// Splits the input at 0xFF bytes into at most `count` fields.
std::vector<std::string> Fields(std::string_view input, std::size_t count) {
  std::vector<std::string> fields(1);
  for (const char c : input) {
    if (static_cast<unsigned char>(c) == 0xFF && fields.size() < count) {
      fields.emplace_back();
    } else {
      fields.back().push_back(c);
    }
  }
  fields.resize(count);
  return fields;
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A subject no header folding or encoding may change: letters, digits and inner single blanks.
bool PlainSubject(std::string_view subject) {
  if (subject.empty() || subject.size() > 60 || subject.front() == ' ' || subject.back() == ' ') {
    return false;
  }
  for (std::size_t i = 0; i < subject.size(); ++i) {
    const char c = subject[i];
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && !(c == ' ' && subject[i - 1] != ' ')) return false;
  }
  return true;
}

std::unique_ptr<bm::MsgMessage> NewMessage(Components& c) {
  std::unique_ptr<bm::MsgMessage> message;
  Check(c.session->MakeMsgFileMessage(bm::FromPath(c.dir / "out.msg"), u"IPM.Note",
                                      bm::kMsgUnicodeFormat, message) >= 0);
  return message;
}

void ComposeAndLoad(Components& c, std::string_view input) {
  const std::vector<std::string> f = Fields(input, 10);
  static constexpr std::u16string_view kKinds[] = {u"txt", u"html", u"rtf"};
  const std::u16string kind(kKinds[f[9].size() % 3]);
  const fs::path body = c.dir / "body";
  WriteFile(body, f[0]);
  std::vector<std::u16string> attachments;
  for (int i = 0; i < 2; ++i) {
    const fs::path file = c.dir / (i == 0 ? "a.bin" : "b.eml");
    WriteFile(file, f[7 + i]);
    attachments.push_back(bm::FromPath(file));
  }
  const fs::path eml = c.dir / "temp.eml";
  fs::remove(eml);
  const bm::HResult composed =
      c.mimelib->ComposeEmlFile(bm::FromPath(eml), bm::FromPath(body), bm::FromUtf8(f[1]),
                                bm::FromUtf8(f[2]), bm::FromUtf8(f[5]), kind, attachments,
                                bm::FromUtf8(f[6]), bm::FromUtf8(f[3]), bm::FromUtf8(f[4]));
  if (composed < 0) return;
  auto message = NewMessage(c);
  // Whatever the composer writes, the loader must take.
  Check(message->LoadMessageFromFile(bm::FromPath(eml), bm::kRfc822Type) >= 0);
  if (PlainSubject(f[6])) {
    const auto subject = message->Content().properties.Text(bm::mapi::tag::kSubject);
    Check(subject && bm::ToUtf8(*subject) == f[6]);
  }
}

void LoadRaw(Components& c, std::string_view input) {
  const fs::path eml = c.dir / "raw.eml";
  WriteFile(eml, input);
  auto message = NewMessage(c);
  message->LoadMessageFromFile(bm::FromPath(eml), bm::kRfc822Type);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Components& c = Shared();
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] % 2 == 0) {
    ComposeAndLoad(c, input);
  } else {
    LoadRaw(c, input);
  }
  return 0;
}
