// The contact fields: one table that the contact's text file and its preview page both follow,
// in the order they show the fields.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "mapi/property_tags.h"

namespace bm::mapi {

struct ContactField {
  std::u16string_view file_label;  // the text file's label, with its separator ("GivenName:\t\t")
  std::u16string_view page_label;  // the preview page's label ("Given Name")
  PropertyKey property;
};

inline constexpr std::size_t kContactFieldCount = 73;

extern const std::array<ContactField, kContactFieldCount> kContactFields;

// Positions in kContactFields that the writers treat apart.
namespace contact_field {
inline constexpr std::size_t kEmailAddress1 = 20;
inline constexpr std::size_t kWeddingAnniversary = 44;
inline constexpr std::size_t kBirthday = 45;
}  // namespace contact_field

}  // namespace bm::mapi
