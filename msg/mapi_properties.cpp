#include "msg/mapi_properties.h"

namespace bm::mapi {

const PropertyValue* PropertyBag::Find(std::uint32_t tag) const {
  const auto found = values_.find(tag);
  return found == values_.end() ? nullptr : &found->second;
}

std::optional<std::int32_t> PropertyBag::Int32(std::uint32_t tag) const {
  const PropertyValue* value = Find(tag);
  if (value == nullptr || !std::holds_alternative<std::int32_t>(*value)) return std::nullopt;
  return std::get<std::int32_t>(*value);
}

std::optional<std::u16string> PropertyBag::Text(std::uint32_t tag) const {
  const PropertyValue* value = Find(tag);
  if (value == nullptr || !std::holds_alternative<std::u16string>(*value)) return std::nullopt;
  return std::get<std::u16string>(*value);
}

const Binary* PropertyBag::BinaryValue(std::uint32_t tag) const {
  const PropertyValue* value = Find(tag);
  return value == nullptr ? nullptr : std::get_if<Binary>(value);
}

}  // namespace bm::mapi
