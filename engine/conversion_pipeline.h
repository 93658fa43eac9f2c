// The conversion pipeline: the items of every ticked folder, in walk order, written by a pool
// of workers. Everything that names an item (its number, its mirror directory, its file name)
// is fixed in walk order, so the output tree and the report are the same byte for byte
// however many workers ran; the report, the log, the status text and the progress are fed in
// item order on the calling thread, and workers only read the store and write files.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "engine/folder_node.h"

namespace bm {

class AppState;

// One per core, at least one.
unsigned DefaultConversionJobs();

// One ticked folder of a conversion: its node and the mirror directory made for it in walk
// order, or why that directory could not be made (its items are then not written).
struct ConversionFolder {
  const FolderNode* node = nullptr;
  std::u16string directory;
  std::optional<std::u16string> directory_error;
};

// Lets items take turns, in index order, for the step that must not depend on timing (picking
// free file names): Wait(i) returns once every item before i is Done. Done may come in any
// order; an item that is never run must still be marked Done, or those after it wait forever.
//
// An item that writes just one file named by its number ("<stem>--<number>.msg") can only
// clash with names other items make from their attachments' names, never with another such
// file. Once it has said so (DeclareNumberedNameOnly), its turn comes as soon as every item
// before it is done or has said the same: a folder of e-mails places its files as they are
// whole, with no item waiting for the one before it.
class PlacementTurns {
 public:
  void DeclareNumberedNameOnly(std::size_t index);
  void Wait(std::size_t index, bool numbered_name_only = false);
  void Done(std::size_t index);

 private:
  void Advance();  // under the lock

  std::mutex mutex_;
  std::condition_variable turn_changed_;
  std::size_t next_ = 0;            // every index below this is done
  std::size_t settled_ = 0;         // every index below this is done or numbered only
  std::set<std::size_t> ahead_;     // done indexes above `next_`
  std::set<std::size_t> numbered_;  // numbered-only indexes at or above `settled_`
};

// Converts the items of `folders` (in this order, which is the walk order) with `jobs`
// workers (0: DefaultConversionJobs). The stop flag stops every worker before its next item;
// the items it kept from being written are named in the report, folder by folder. Running out
// of memory ends the run by throwing std::bad_alloc once the workers have ended.
void ConvertFolderItems(AppState& state, std::span<const ConversionFolder> folders, unsigned jobs);

}  // namespace bm
