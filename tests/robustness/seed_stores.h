// Small stores written with pstgen: the seeds of the corruption corpus and the fuzz corpus,
// and the hostile-content fixtures.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pstgen {
class Store;
}

namespace bm::robust {

// Every item kind once, a nested folder, HTML, RTF and plain bodies, named, unnamed and
// embedded-message attachments.
void BuildMixedStore(pstgen::Store& store);

// A few e-mails with attachments big enough (about 200 KiB each) to fill a small disk.
void BuildBulkyStore(pstgen::Store& store, int mails);

// Folder names, subjects and attachment names an attacker would choose, and HTML with
// scripts. `absolute_target` is a path an attachment names outright; it must never appear.
void BuildHostileStore(pstgen::Store& store, const std::filesystem::path& absolute_target);

// Hostile names, one per line of the table the hostile store is built from (for messages).
std::vector<std::u16string> HostileNames(const std::filesystem::path& absolute_target);

// The seeds the corruption script starts from: name and writer.
struct Seed {
  std::string file_name;
  void (*build)(pstgen::Store&);
};
const std::vector<Seed>& CorruptionSeeds();

}  // namespace bm::robust
