// What a conversion run did, item by item kind: written, skipped and failed items. The
// command-line summary and the exit status come from it; nothing converted is reported as
// written unless its file reached the disk.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace bm {

class ConversionReport {
 public:
  struct Failure {
    std::u16string item;  // what the user recognises the item by (folder and subject)
    std::u16string reason;
    // Where the item's files belong: its target folder and its number there (the "--N" of
    // its file names). Empty and 0 for a failure that is no single item's (a folder, the run).
    std::u16string folder;
    int number = 0;
  };

  void Clear();
  void SetDestinationRoot(std::u16string root);
  std::u16string DestinationRoot() const;
  void Written(const std::u16string& kind);
  void Skipped(const std::u16string& message_class);
  void Failed(std::u16string item, std::u16string reason, std::u16string folder = {},
              int number = 0);

  std::map<std::u16string, int> WrittenByKind() const;
  std::map<std::u16string, int> SkippedByClass() const;
  std::vector<Failure> Failures() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::u16string, int> written_;
  std::map<std::u16string, int> skipped_;
  std::vector<Failure> failures_;
  std::u16string destination_root_;
};

}  // namespace bm
