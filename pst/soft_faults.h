// Soft faults met by one reader: data the store still gives although its own checks say it
// may be damaged (a block whose checksum or signature does not match). The store reads such
// data, and warns of it store-wide; a scope tells the reader of one item which of those
// faults its own reads met, among the reads of many items on many threads.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pst {

// Collects the soft faults this thread meets while the scope lives. Scopes nest: the
// innermost one collects. Each fault is kept once, in the order met.
class SoftFaultScope {
 public:
  SoftFaultScope();
  ~SoftFaultScope();
  SoftFaultScope(const SoftFaultScope&) = delete;
  SoftFaultScope& operator=(const SoftFaultScope&) = delete;

  const std::vector<std::string>& faults() const { return faults_; }
  bool empty() const { return faults_.empty(); }

  // Told by the reader; nothing happens on a thread without a scope.
  static void Note(const std::string& fault);

 private:
  // A store with a damaged block read over and over must not grow the list without end.
  static constexpr std::size_t kMaxFaults = 64;

  SoftFaultScope* outer_;
  std::vector<std::string> faults_;
};

}  // namespace pst
