// Reads everything a store holds through the reader, for tests that only need to know the
// reader gets through (hostile input) or gets the same answer twice (threads).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "pst/store.h"

namespace pst::test {

// Every folder reachable from the root, depth first, in the reader's order.
std::vector<Nid> AllFolders(const Store& store);
// Every message of those folders, in the reader's order.
std::vector<Nid> AllMessages(const Store& store);

// A text that changes whenever any value of the messages changes: every property, recipient,
// attachment (its data streamed) and embedded message, errors included as their messages.
std::string Digest(const Store& store, std::span<const Nid> messages);

// Reads every folder (properties and tables) and message; errors are allowed, crashes not.
// Returns how many reads failed.
std::size_t ReadEverything(const Store& store);

}  // namespace pst::test
