#include "msg/property_rules.h"

namespace bm::msg {

namespace {

// The store's bookkeeping, never copied:
//
//   ids              on          why
//   0x0E30           all         PidTagReplItemid: the store's replication state
//   0x0E33-0x0E38    all         PidTagReplChangenum, ReplVersionhistory, ReplFlags and
//                                their neighbours: replication state of this store
//   0x0E3C, 0x0E3D   all         PidTagReplCopiedfromVersionhistory/-Itemid: replication
//   0x0E12, 0x0E13   messages    PidTagMessageRecipients/-Attachments: the PST's table nodes;
//                                the MSG holds the rows as recipient/attachment storages
//   0x340D           messages    PidTagStoreSupportMask: the MSG's own, written for the file
//   0x6700-0x67FF    all         PST-private: row id and version (0x67F2/0x67F3), parent node
//                                id (0x67F1), password (0x67FF), sent-mail server entry id ...
//
// A property whose type an MSG cannot hold (PT_UNSPECIFIED, PT_NULL, an unknown type) is left
// out too; named properties the store's map cannot name, and PT_OBJECT values other than an
// attachment's data, are left out by the writer with a warning.
struct Range {
  std::uint16_t first;
  std::uint16_t last;
  bool messages_only;
  std::string_view reason;
};

constexpr Range kLeftOut[] = {
    {0x0E30, 0x0E30, false, "replication state of the store"},
    {0x0E33, 0x0E38, false, "replication state of the store"},
    {0x0E3C, 0x0E3D, false, "replication state of the store"},
    {0x0E12, 0x0E13, true, "the store's table node; the MSG holds the rows as storages"},
    {0x340D, 0x340D, true, "written for the MSG file, not copied"},
    {0x6700, 0x67FF, false, "PST-private bookkeeping (node ids, row ids, password)"},
};

}  // namespace

std::optional<std::string_view> LeftOutReason(ObjectKind kind, pst::PropertyInfo info) {
  const bool message = kind == ObjectKind::kMessage || kind == ObjectKind::kEmbeddedMessage;
  for (const Range& range : kLeftOut) {
    if (info.id < range.first || info.id > range.last) continue;
    if (range.messages_only && !message) continue;
    return range.reason;
  }
  if (LayoutOf(info.type) == Layout::kUnsupported) return "a type an MSG file cannot hold";
  return std::nullopt;
}

std::size_t FixedSize(std::uint16_t type) {
  switch (type) {
    case pst::type::kBoolean:
      return 1;
    case pst::type::kInt16:
      return 2;
    case pst::type::kInt32:
    case pst::type::kFloat:
    case pst::type::kError:
      return 4;
    case pst::type::kDouble:
    case pst::type::kCurrency:
    case pst::type::kAppTime:
    case pst::type::kInt64:
    case pst::type::kFileTime:
      return 8;
    default:
      return 0;
  }
}

Layout LayoutOf(std::uint16_t type) {
  if (FixedSize(type) != 0) return Layout::kFixed;
  switch (type) {
    case pst::type::kString8:
    case pst::type::kUnicode:
    case pst::type::kBinary:
    case pst::type::kGuid:
    case pst::type::kServerId:
    case pst::type::kRestriction:
    case pst::type::kRuleAction:
      return Layout::kVariable;
    case pst::type::kObject:
      return Layout::kObject;
    default:
      break;
  }
  if ((type & pst::type::kMultiple) == 0) return Layout::kUnsupported;
  const auto element = static_cast<std::uint16_t>(type & ~pst::type::kMultiple);
  if (FixedSize(element) > 1 || element == pst::type::kGuid) return Layout::kMultipleFixed;
  if (element == pst::type::kString8 || element == pst::type::kUnicode ||
      element == pst::type::kBinary) {
    return Layout::kMultipleVariable;
  }
  return Layout::kUnsupported;
}

}  // namespace bm::msg
