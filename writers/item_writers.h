// The text item writers: one item of each kind becomes a list row and row record (preview mode) or
// an output file (conversion mode). Each returns 1 once it has handled the item, also after an
// internal failure, and -1 only when its target folder is missing.
#pragma once

#include "mapi/records.h"
#include "writers/writer_support.h"

namespace bm {

int WriteContactItem(const WriterEnv& env, const mapi::ContactRecord& contact,
                     const ItemTarget& target);
int WriteAppointmentItem(const WriterEnv& env, const mapi::AppointmentRecord& appointment,
                         const ItemTarget& target);
int WriteTaskItem(const WriterEnv& env, const mapi::TaskRecord& task, const ItemTarget& target);
int WriteNoteItem(const WriterEnv& env, const mapi::NoteRecord& note, const ItemTarget& target);

}  // namespace bm
