// Ready-made stores: the demo mailbox, benchmark data and the shapes edge cases need.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/pstgen/pstgen.h"

namespace pstgen {

// Adds the folders Outlook gives a new store under "Top of Personal Folders" (Inbox, Outbox,
// Sent Items, Drafts, Calendar, Contacts, Journal, Notes, Tasks, with their container classes)
// beside the "Deleted Items" every store has; returns the Inbox.
Folder& AddDefaultFolders(Store& store);

// A small realistic mailbox: mail with plain, HTML and RTF bodies, accents and CJK text,
// attachments of every kind (PDF, image, text, unnamed, embedded message), CC and BCC,
// contacts, appointments, tasks, notes, a journal entry, and items the converter skips
// (a meeting request, a distribution list).
Store DemoStore();

// `count` messages over a folder tree, the same for the same seed: a mix of body kinds and
// sizes, attachments from bytes to megabytes. Messages are made while the file is written.
Store SyntheticStore(std::size_t count, std::uint64_t seed);

// One folder ("Inbox") holding `count` small messages.
Store WideFolderStore(std::size_t count);

// Folders nested `depth` levels under "Top of Personal Folders", a message at each level.
Store DeepStore(int depth);

// Folders whose names hold the characters file systems refuse: / \ : * ? < > |
Store SpecialNamesStore();

// Items whose MSG copies must keep everything: fractional sent/received times apart from the
// creation time, unread and unsent flags, importance/sensitivity/priority, categories and
// other named properties (string and LID names), transport headers, message ids and
// references, a conversation index, an inline image with its content id and hidden flag, an EX
// sender and recipients with SMTP addresses, differing plain/HTML/RTF bodies, nested embedded
// messages, an OLE attachment; then an S/MIME signed message, a meeting request and a
// distribution list. `nested_ole_storage`: the OLE object holds a sub-storage with a stream
// (msgconvert cannot re-save such an object).
Store MsgFidelityStore(bool nested_ole_storage = true);

// A small OLE2 compound file: a root with a class id and a stream "CONTENTS", and with
// `with_storage` a storage "Sub" holding a stream "Inner" (4096 bytes each).
Binary MinimalCompoundFile(bool with_storage = true);

}  // namespace pstgen
