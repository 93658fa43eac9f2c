#include "pst/walk.h"

#include <functional>

namespace pst::test {
namespace {

void AppendBag(std::string& out, const PropertyBag& bag) {
  for (const PropertyInfo& info : bag.properties()) {
    out += std::to_string(info.tag()) + "=";
    auto raw = bag.Raw(info.id);
    if (!raw) {
      out += "!" + raw.error().message();
    } else {
      out.append(raw->begin(), raw->end());
    }
    if (info.type & type::kMultiple) {
      auto elements = bag.Elements(info.id);
      out += elements ? std::to_string(elements->size()) : "!" + elements.error().message();
    }
    out += ";";
  }
}

void AppendStream(std::string& out, Result<ValueStream> stream) {
  if (!stream) {
    out += "!" + stream.error().message();
    return;
  }
  std::vector<std::uint8_t> buffer(4096);
  while (true) {
    auto n = stream->Read(buffer);
    if (!n) {
      out += "!" + n.error().message();
      return;
    }
    if (*n == 0) return;
    out.append(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*n));
  }
}

void AppendMessage(std::string& out, const Message& message) {
  out += "message " + std::to_string(message.nid()) + ":";
  AppendBag(out, message.properties());
  auto recipients = message.Recipients();
  if (!recipients) {
    out += "!" + recipients.error().message();
  } else {
    for (const PropertyBag& row : *recipients) AppendBag(out, row);
  }
  for (std::size_t i = 0; i < message.attachment_count(); ++i) {
    auto attachment = message.OpenAttachment(i);
    if (!attachment) {
      out += "!" + attachment.error().message();
      continue;
    }
    AppendBag(out, attachment->properties());
    if (attachment->method() == 5) {
      auto embedded = attachment->OpenEmbeddedMessage();
      if (embedded) {
        AppendMessage(out, *embedded);
      } else {
        out += "!" + embedded.error().message();
      }
    } else if (attachment->method() == 6) {
      AppendStream(out, attachment->OpenObjectData());
    } else {
      AppendStream(out, attachment->OpenData());
    }
  }
}

}  // namespace

std::vector<Nid> AllFolders(const Store& store) {
  std::vector<Nid> folders;
  std::function<void(Nid, int)> visit = [&](Nid nid, int depth) {
    folders.push_back(nid);
    if (depth > 1000) return;
    for (const Nid child : store.SubFolders(nid)) visit(child, depth + 1);
  };
  visit(store.root_folder(), 0);
  return folders;
}

std::vector<Nid> AllMessages(const Store& store) {
  std::vector<Nid> messages;
  for (const Nid folder : AllFolders(store)) {
    for (const Nid nid : store.Messages(folder)) messages.push_back(nid);
  }
  return messages;
}

std::string Digest(const Store& store, std::span<const Nid> messages) {
  std::string out;
  for (const Nid nid : messages) {
    auto message = store.OpenMessage(nid);
    if (!message) {
      out += "!" + message.error().message();
      continue;
    }
    AppendMessage(out, *message);
  }
  return out;
}

std::size_t ReadEverything(const Store& store) {
  std::size_t failures = 0;
  for (const Nid nid : AllFolders(store)) {
    auto folder = store.OpenFolder(nid);
    if (!folder) {
      ++failures;
      continue;
    }
    std::string sink;
    AppendBag(sink, folder->properties());
    for (auto table :
         {folder->ContentsTable(), folder->HierarchyTable(), folder->AssociatedContentsTable()}) {
      if (!table) {
        ++failures;
        continue;
      }
      for (std::size_t row = 0; row < table->row_count(); ++row) {
        auto bag = table->Row(row);
        if (bag) AppendBag(sink, *bag);
      }
    }
    for (const Nid message : store.AssociatedMessages(nid)) {
      sink += Digest(store, std::span(&message, 1));
    }
  }
  const std::vector<Nid> messages = AllMessages(store);
  for (const Nid nid : messages) {
    if (!store.OpenMessage(nid)) ++failures;
  }
  Digest(store, messages);
  return failures;
}

}  // namespace pst::test
