// brindlemoor-bench-folders: writes a store with many folders, for timing the scan.
//
//   brindlemoor-bench-folders N OUT.pst
//
// N folders in groups of 50 (a group folder under "Top of Personal Folders" with 49 folders
// below it), each holding two small e-mails, so that the walk meets a realistic fan-out.
#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "tools/pstgen/pstgen.h"

namespace {

constexpr std::size_t kGroupSize = 50;
constexpr int kMessagesPerFolder = 2;

std::u16string Utf16(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

void AddMessages(pstgen::Folder& folder, const std::string& name) {
  for (int m = 1; m <= kMessagesPerFolder; ++m) {
    pstgen::Message& mail = folder.AddMessage("IPM.Note");
    mail.SetSubject(Utf16(name + " message " + std::to_string(m)))
        .SetBody(Utf16("Filed under " + name + ".\r\n"));
    mail.AddRecipient(u"Marta Quill", u"marta.quill@example.com", pstgen::RecipientType::kTo);
  }
}

pstgen::Store ManyFoldersStore(std::size_t count) {
  pstgen::Store store(u"Many folders");
  std::size_t made = 0;
  for (std::size_t group = 1; made < count; ++group) {
    const std::string group_name = "Group " + std::to_string(group);
    pstgen::Folder& parent = store.top().AddFolder(Utf16(group_name), u"IPF.Note");
    AddMessages(parent, group_name);
    ++made;
    for (std::size_t child = 1; child < kGroupSize && made < count; ++child, ++made) {
      const std::string name = group_name + "." + std::to_string(child);
      AddMessages(parent.AddFolder(Utf16(name), u"IPF.Note"), name);
    }
  }
  return store;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  const std::string_view text = argc == 3 ? argv[1] : "";
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (argc != 3 || error != std::errc() || end != text.data() + text.size() || count == 0) {
    std::fprintf(stderr, "Usage: brindlemoor-bench-folders N OUT.pst\n");
    return 2;
  }
  try {
    pstgen::Write(ManyFoldersStore(count), argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "brindlemoor-bench-folders: %s\n", e.what());
    return 1;
  }
  return 0;
}
