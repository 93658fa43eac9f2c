// The e-mail writer: in a folder load the body file, list row and row record of an e-mail; in a
// conversion its MSG file, a copy of the stored message made through the messaging session.
#pragma once

#include "mapi/records.h"
#include "writers/writer_support.h"

namespace bm {

// 1 once the item is handled (also after an internal failure, which the report names), -1 only
// when its target folder is missing.
int WriteEmailItem(const WriterEnv& env, const mapi::EmailRecord& email, const ItemTarget& target);

}  // namespace bm
