// The named-property mapping of one MSG file: every named property met anywhere in the file
// (message, recipients, attachments, embedded messages) gets the MSG's own id from 0x8000 on,
// and the mapping is written as the "__nameid_version1.0" storage's streams (MS-OXMSG 2.2.3).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pst/store.h"

namespace bm::msg {

// PS_MAPI and PS_PUBLIC_STRINGS in stored byte order; they have the fixed GUID indexes 1 and 2
// and never appear in the GUID stream.
extern const pst::Guid kPsMapi;
extern const pst::Guid kPsPublicStrings;

// The streams of the named-property mapping storage, by stream name.
using NameIdStreams = std::map<std::string, std::vector<std::uint8_t>>;

class NameMap {
 public:
  // The MSG's id for `name`: the same name always gets the same id; a new name the next free
  // one. nullopt once all 0x7FFF ids are taken.
  std::optional<std::uint16_t> IdFor(const pst::PropertyName& name);

  // The names in id order: names()[i] has id 0x8000 + i.
  const std::vector<pst::PropertyName>& names() const { return names_; }

  // The GUID, entry and string streams (always present, possibly empty) and the hash
  // streams "__substg1.0_10XX0102" that readers use to find an entry by name.
  NameIdStreams Streams() const;

 private:
  std::map<pst::PropertyName, std::uint16_t> ids_;
  std::vector<pst::PropertyName> names_;
};

// "__substg1.0_" and the tag as eight upper-case hex digits.
std::string StreamName(std::uint32_t tag);

}  // namespace bm::msg
