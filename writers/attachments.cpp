#include "writers/attachments.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <set>
#include <vector>

#include "base/file_bytes.h"
#include "base/paths.h"
#include "base/safe_files.h"
#include "base/text.h"
#include "writers/item_files.h"
#include "writers/value_format.h"

namespace bm {

namespace {

constexpr std::size_t kCopyPiece = 8192;
using mapi::attach_method::kOle;
constexpr std::size_t kSniffBytes = 50;
constexpr std::size_t kSniffTextLength = 8;
// An "extension" longer than this is part of the name, not an extension to keep whole.
constexpr std::size_t kMaxKeptExtensionBytes = 32;
// Far more same-named files than one folder holds; the bound keeps a broken disk from looping.
constexpr int kMaxBesideAttempts = 10000;

// File names already handed out for this item, so two attachments of one message that share
// a name do not overwrite each other's file.
using UsedNames = std::set<std::u16string>;

// The content of a data attachment: its data, or for an OLE object its compound file.
Result<pst::ValueStream> OpenContent(const pst::Attachment& attachment) {
  if (attachment.method() == kOle) return attachment.OpenObjectData();
  return attachment.OpenData();
}

std::vector<std::uint8_t> FirstBytes(const pst::Attachment& attachment, std::uint64_t size) {
  Result<pst::ValueStream> stream = OpenContent(attachment);
  if (!stream) return {};
  std::vector<std::uint8_t> bytes(
      static_cast<std::size_t>(std::min<std::uint64_t>(size, kSniffBytes)));
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const Result<std::size_t> read = stream->Read(std::span(bytes).subspan(filled));
    if (!read || *read == 0) break;
    filled += *read;
  }
  bytes.resize(filled);
  return bytes;
}

// Copies the content in pieces. The store failing midway ends the copy there, with
// `unreadable` saying why (what came before is kept); the error is the disk's.
Status CopyData(const pst::Attachment& attachment, std::uint64_t size, int fd,
                std::optional<Error>& unreadable) {
  Result<pst::ValueStream> stream = OpenContent(attachment);
  if (!stream) {
    unreadable = stream.error().Within("the store does not give its content");
    return {};
  }
  std::array<std::uint8_t, kCopyPiece> piece{};
  std::uint64_t left = size;
  while (left > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kCopyPiece));
    const Result<std::size_t> read = stream->Read(std::span(piece.data(), want));
    if (!read || *read == 0) {
      const std::string given = "the store gives " + std::to_string(size - left) + " of its " +
                                std::to_string(size) + " bytes";
      unreadable = read ? Error(given) : read.error().Within(given);
      return {};
    }
    if (Status written = WriteAll(fd, std::span(piece.data(), *read)); !written) {
      return written;
    }
    left -= *read;
  }
  return {};
}

// `name` with " (2)", " (3)", ... before its extension until no earlier attachment of the
// item has it.
std::u16string Distinct(const std::u16string& name, UsedNames& used) {
  std::u16string candidate = name;
  const std::size_t point = name.rfind(u'.');
  const std::u16string stem = point == std::u16string::npos ? name : name.substr(0, point);
  const std::u16string extension = point == std::u16string::npos ? u"" : name.substr(point);
  for (int k = 2; used.count(candidate) != 0; ++k) {
    const std::u16string tail = u" (" + DecimalText(k) + u")" + extension;
    candidate = FitFileName(stem, tail) + tail;
  }
  used.insert(candidate);
  return candidate;
}

bool WritesBesideItem(const AttachmentContext& context) {
  return context.conversion_mode && !context.target_folder.empty();
}

// Beside the item: "<prefix><name>", cut to the name limit keeping the extension.
std::u16string BesideItemName(const AttachmentContext& context, const std::u16string& name) {
  const std::size_t point = name.rfind(u'.');
  std::u16string extension = point == std::u16string::npos ? u"" : name.substr(point);
  if (ToUtf8(extension).size() > kMaxKeptExtensionBytes) extension.clear();
  const std::u16string stem = context.name_prefix + name.substr(0, name.size() - extension.size());
  return FitFileName(stem, extension) + extension;
}

// The file for `name`: a working file in the temp folder (replacing the previous item's file
// of that name), or a new file beside the item that never replaces one (" (2)", ... when the
// name is taken). The path and the open file, or why it cannot be made.
struct OpenedFile {
  std::u16string path;
  FileDescriptor fd;
};
Result<OpenedFile> OpenAttachmentFile(const AttachmentContext& context,
                                      const std::u16string& name) {
  if (!WritesBesideItem(context)) {
    const std::u16string path = JoinPath(context.temp_folder_path, name);
    Result<FileDescriptor> fd = RecreateFile(ToPath(path), kPrivateFileMode);
    if (!fd) return fd.error();
    return OpenedFile{path, std::move(*fd)};
  }
  UsedNames taken;
  const std::u16string wanted = BesideItemName(context, name);
  for (int attempt = 1; attempt <= kMaxBesideAttempts; ++attempt) {
    const std::u16string path = JoinPath(context.target_folder, Distinct(wanted, taken));
    Result<FileDescriptor> fd = CreateNewFile(ToPath(path), kOutputFileMode);
    if (fd) return OpenedFile{path, std::move(*fd)};
    if (errno != EEXIST) return fd.error();
  }
  return Error("no free name for " + ToUtf8(wanted));
}

// The attachment's file. One the store gives only in part is kept with what was readable,
// and `unreadable` says what is missing; a file the disk cut short is removed.
Result<std::u16string> WriteAttachment(const AttachmentContext& context, std::u16string_view name,
                                       const pst::Attachment& attachment, std::uint64_t size,
                                       UsedNames& used, std::optional<Error>& unreadable) {
  std::u16string file_name(name);
  if (file_name.find(kPlaceholder) != std::u16string::npos && size > 0) {
    file_name = SniffedName(std::move(file_name), FirstBytes(attachment, size));
  }
  file_name = Distinct(FinalAttachmentName(std::move(file_name)), used);
  if (!context.conversion_mode) return JoinPath(context.temp_folder_path, file_name);

  Result<OpenedFile> file = OpenAttachmentFile(context, file_name);
  if (!file) return file.error();
  Status copied;
  if (size > 0) copied = CopyData(attachment, size, file->fd.get(), unreadable);
  if (copied) copied = file->fd.Close();
  if (!copied) {
    // A file cut short must not pass for the attachment.
    ::unlink(ToPath(file->path).c_str());
    return copied.error().Within("attachment " + ToUtf8(file_name));
  }
  if (unreadable) unreadable = unreadable->Within("attachment " + ToUtf8(file_name));
  return file->path;
}

// The entry of an embedded message: "<subject>.eml", composed from the message in conversion
// mode (in the temp folder, then copied beside the item when it goes there). The reason when
// the message cannot be read or composed.
Result<std::u16string> ExportEmbeddedMessage(const AttachmentContext& context,
                                             const pst::Attachment& attachment, int position,
                                             UsedNames& used) {
  Result<pst::Message> message = attachment.OpenEmbeddedMessage();
  if (!message) return message.error().Within("an attached message cannot be read");
  std::u16string subject;
  if (context.store != nullptr) {
    Result<mapi::NoteRecord> record = mapi::ReadNoteRecord(*context.store, *message);
    if (!record) return record.error().Within("an attached message cannot be read");
    subject = SubjectOrTopic(*record);
  }
  std::u16string stem = SanitiseAttachmentName(subject);
  if (stem.empty()) stem = u"Attactment" + DecimalText(position + 1);
  const std::u16string file_name = Distinct(FitFileName(stem, u".eml") + u".eml", used);
  const std::u16string path = JoinPath(context.temp_folder_path, file_name);
  if (!context.conversion_mode) return path;
  if (!context.compose_embedded || !context.compose_embedded(*message, path)) {
    return Error("the attached message " + ToUtf8(file_name) + " could not be composed");
  }
  if (!WritesBesideItem(context)) return path;

  const std::optional<std::string> bytes = ReadFileBytes(ToPath(path));
  if (!bytes) return Error("the attached message " + ToUtf8(file_name) + " could not be read");
  Result<OpenedFile> file = OpenAttachmentFile(context, file_name);
  if (!file) return file.error();
  Status copied = WriteAll(file->fd.get(), *bytes);
  if (copied) copied = file->fd.Close();
  if (!copied) {
    ::unlink(ToPath(file->path).c_str());
    return copied.error().Within("attachment " + ToUtf8(file_name));
  }
  return file->path;
}

}  // namespace

std::u16string SanitiseAttachmentName(std::u16string_view stored) {
  std::u16string name(stored);
  bool only_dots_and_blanks = true;
  for (char16_t& c : name) {
    if (c == u'/' || c == u'\\' || c < 32 || c == 0x7F) c = u'_';
    if (c != u'.' && c != u' ') only_dots_and_blanks = false;
  }
  if (only_dots_and_blanks) name.clear();
  return name;
}

std::u16string AttachmentName(std::u16string_view stored, int position) {
  std::u16string name = SanitiseAttachmentName(stored);
  if (name.empty()) name = u"Attactment" + DecimalText(position + 1);
  if (name.find(u'.') == std::u16string::npos) {
    name += u".";
    name += kPlaceholder;
  }
  return name;
}

std::u16string SniffedName(std::u16string name, std::span<const std::uint8_t> first_bytes) {
  // The first eight bytes as a C string: a zero byte ends it early.
  std::string head;
  for (std::size_t i = 0; i < first_bytes.size() && i < kSniffTextLength; ++i) {
    if (first_bytes[i] == 0) break;
    head.push_back(static_cast<char>(first_bytes[i]));
  }
  std::u16string_view extension;
  if (head.find("MIME-Ver") != std::string::npos || head.find("Return-p") != std::string::npos) {
    extension = u"eml";
  } else if (head.find("%PDF") != std::string::npos) {
    extension = u"pdf";
  } else if (head.find("GIF") != std::string::npos) {
    extension = u"gif";
  }
  if (!extension.empty()) ReplaceAll(name, kPlaceholder, extension);
  return name;
}

std::u16string FinalAttachmentName(std::u16string name) {
  ReplaceAll(name, u".rdxves.rdxves", u".txt");
  ReplaceAll(name, u".rdxves", u".txt");
  const std::size_t point = name.rfind(u'.');
  std::u16string stem = name;
  std::u16string extension;
  if (point != std::u16string::npos && point > 0 &&
      ToUtf8(std::u16string_view(name).substr(point)).size() <= kMaxKeptExtensionBytes) {
    stem = name.substr(0, point);
    extension = name.substr(point);
  }
  return FitFileName(stem, extension) + extension;
}

std::u16string AttachmentListText(const std::vector<std::u16string>& paths) {
  std::u16string list;
  for (const std::u16string& path : paths) {
    list += path;
    list += u";";
  }
  return list;
}

Status WriteAttachmentContent(const pst::Attachment& attachment, std::uint64_t size,
                              const std::filesystem::path& path) {
  Result<FileDescriptor> fd = RecreateFile(path, kPrivateFileMode);
  if (!fd) return fd.error();
  std::optional<Error> unreadable;
  Status copied;
  if (size > 0) copied = CopyData(attachment, size, fd->get(), unreadable);
  if (copied) copied = fd->Close();
  // A picture cut short is no picture: the page shows it as missing, with the reason.
  if (copied && unreadable) copied = *unreadable;
  if (!copied) {
    ::unlink(path.c_str());
    return copied.error().Within("writing " + path.string());
  }
  return {};
}

AttachmentFiles ExportAttachments(const AttachmentContext& context, const pst::Message& message,
                                  const std::vector<mapi::AttachmentEntry>& entries) {
  AttachmentFiles files;
  UsedNames used(context.reserved_names.begin(), context.reserved_names.end());
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const mapi::AttachmentEntry& entry = entries[k];
    const int position = static_cast<int>(entry.index);
    Result<std::u16string> path = Error(std::string());
    std::optional<Error> unreadable;
    Result<pst::Attachment> attachment =
        entry.error ? Result<pst::Attachment>(*entry.error) : message.OpenAttachment(entry.index);
    if (!attachment) {
      // An attachment the store cannot give is named in the report, never dropped unseen.
      path = attachment.error();
    } else if (entry.method == mapi::attach_method::kByValue || entry.method == kOle) {
      path = WriteAttachment(context, AttachmentName(entry.name, position), *attachment, entry.size,
                             used, unreadable);
    } else if (entry.method == mapi::attach_method::kEmbeddedMessage) {
      path = ExportEmbeddedMessage(context, *attachment, position, used);
    } else {
      continue;  // references to outside files carry no content to keep
    }
    files.entries.push_back(k);
    if (path) {
      files.paths.push_back(std::move(*path));
      if (unreadable) files.failures.push_back(FromUtf8(unreadable->message()));
    } else {
      files.paths.emplace_back();
      files.failures.push_back(FromUtf8(path.error().message()));
    }
  }
  return files;
}

}  // namespace bm
