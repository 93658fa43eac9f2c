// pstgen: writes PST files (Unicode or ANSI) of a known shape for tests, the demo and
// benchmarks.
//
//   pstgen::Store store(u"Test store");
//   pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
//   pstgen::Message& mail = inbox.AddMessage("IPM.Note");
//   mail.SetSubject(u"Hello").SetBody(u"Plain text").SetHtml("<p>Hi</p>");
//   mail.AddRecipient(u"Ann", u"ann@example.com", pstgen::RecipientType::kTo);
//   mail.AddAttachment(u"report.pdf", pstgen::Bytes("%PDF-1.4 ..."));
//   mail.SetNamed(pstgen::kPsetidCommon, 0x8580, u"value");
//   pstgen::Write(store, "out.pst");
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mapi/property_tags.h"

namespace pstgen {

using Binary = std::vector<std::uint8_t>;

// Bytes of a string, for binary values and attachment contents.
Binary Bytes(std::string_view text);

// A property set GUID, in the byte order it is stored in.
struct Guid {
  std::array<std::uint8_t, 16> bytes{};
  // From "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"; throws std::invalid_argument when malformed.
  static Guid Parse(std::string_view text);
  friend bool operator==(const Guid&, const Guid&) = default;
  friend auto operator<=>(const Guid&, const Guid&) = default;
};

extern const Guid kPsMapi;             // 00020328-0000-0000-C000-000000000046
extern const Guid kPsPublicStrings;    // 00020329-0000-0000-C000-000000000046
extern const Guid kPsetidCommon;       // 00062008-0000-0000-C000-000000000046
extern const Guid kPsetidAddress;      // 00062004-0000-0000-C000-000000000046
extern const Guid kPsetidAppointment;  // 00062002-0000-0000-C000-000000000046
extern const Guid kPsetidTask;         // 00062003-0000-0000-C000-000000000046

// A FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
struct FileTime {
  std::uint64_t ticks = 0;
  static FileTime FromUnixSeconds(std::int64_t seconds);
  friend bool operator==(const FileTime&, const FileTime&) = default;
};

// MAPI property types the writer stores.
enum class PropType : std::uint16_t {
  kInt16 = 0x0002,
  kInt32 = 0x0003,
  kFloat = 0x0004,
  kDouble = 0x0005,
  kBoolean = 0x000B,
  kInt64 = 0x0014,
  kString8 = 0x001E,
  kUnicode = 0x001F,
  kFileTime = 0x0040,
  kBinary = 0x0102,
  kMultipleUnicode = 0x101F,  // PT_MV_UNICODE (PT_MV_STRING8 in ANSI stores)
};

// A multi-valued string (categories, keywords, ...).
struct Strings {
  std::vector<std::u16string> values;
  friend bool operator==(const Strings&, const Strings&) = default;
};

// One property value; the C++ type chooses the MAPI type (an `int` literal is PT_LONG,
// `std::int16_t` is PT_SHORT, `const char*`/`std::string` are 8-bit strings, `char16_t`
// text is PT_UNICODE).
class Value {
 public:
  using Storage = std::variant<std::int16_t, std::int32_t, bool, float, double, std::int64_t,
                               FileTime, std::string, std::u16string, Binary, Strings>;
  Value(std::int16_t v) : storage_(v) {}
  Value(std::int32_t v) : storage_(v) {}
  Value(std::int64_t v) : storage_(v) {}
  Value(bool v) : storage_(v) {}
  Value(float v) : storage_(v) {}
  Value(double v) : storage_(v) {}
  Value(FileTime v) : storage_(v) {}
  Value(std::string v) : storage_(std::move(v)) {}
  Value(const char* v) : storage_(std::string(v)) {}
  Value(std::u16string v) : storage_(std::move(v)) {}
  Value(std::u16string_view v) : storage_(std::u16string(v)) {}
  Value(const char16_t* v) : storage_(std::u16string(v)) {}
  Value(Binary v) : storage_(std::move(v)) {}
  Value(Strings v) : storage_(std::move(v)) {}

  PropType type() const;
  const Storage& storage() const { return storage_; }
  friend bool operator==(const Value&, const Value&) = default;

 private:
  Storage storage_;
};

// A named property's name: numeric (LID) or string, within a property set.
struct PropertyName {
  Guid set;
  std::variant<std::uint32_t, std::u16string> id;
  friend bool operator==(const PropertyName&, const PropertyName&) = default;
  friend auto operator<=>(const PropertyName&, const PropertyName&) = default;
};

// A property: either a plain tag id below 0x8000 or a named property.
struct Property {
  std::variant<std::uint16_t, PropertyName> key;
  Value value;
};

// An ordered property list; setting a key again replaces its value.
class PropertyList {
 public:
  void Set(std::uint16_t prop_id, Value value);
  void SetNamed(PropertyName name, Value value);
  const Value* Find(std::uint16_t prop_id) const;
  const Value* FindNamed(const PropertyName& name) const;
  const std::vector<Property>& items() const { return items_; }

 private:
  void SetKey(std::variant<std::uint16_t, PropertyName> key, Value value);
  std::vector<Property> items_;
};

enum class RecipientType : std::int32_t { kOriginator = 0, kTo = 1, kCc = 2, kBcc = 3 };

struct Recipient {
  // Display name, address (PidTagEmailAddress, address type "SMTP") and type; further
  // properties (PidTagSmtpAddress, PidTagEntryId, ...) go in `properties`.
  std::u16string name;
  std::u16string address;
  RecipientType type = RecipientType::kTo;
  PropertyList properties;
  Recipient& Set(std::uint16_t prop_id, Value value) {
    properties.Set(prop_id, std::move(value));
    return *this;
  }
};

class Message;

// A by-value attachment (PidTagAttachMethod 1), an embedded message (method 5) or an OLE
// storage (method 6: `data` is the object's compound file, stored as PT_OBJECT).
class Attachment {
 public:
  Attachment();
  ~Attachment();
  Attachment(Attachment&&) noexcept;
  Attachment& operator=(Attachment&&) noexcept;

  // By-value contents. The long file name is optional: without it the attachment has no name.
  std::optional<std::u16string> long_filename;
  Binary data;
  PropertyList properties;  // extra attachment properties (mime tag, content id, ...)

  Attachment& Set(std::uint16_t prop_id, Value value) {
    properties.Set(prop_id, std::move(value));
    return *this;
  }
  bool ole_storage = false;
  bool is_embedded() const { return embedded_ != nullptr; }
  const Message* embedded() const { return embedded_.get(); }
  Message& MakeEmbedded(std::string message_class);

 private:
  std::unique_ptr<Message> embedded_;
};

// An item of any message class: e-mail, contact, appointment, task, note, ...
class Message {
 public:
  explicit Message(std::string message_class = "IPM.Note");
  Message(Message&&) noexcept;
  Message& operator=(Message&&) noexcept;
  ~Message();

  Message& Set(std::uint16_t prop_id, Value value);
  Message& SetNamed(const Guid& set, std::uint32_t lid, Value value);
  Message& SetNamed(const Guid& set, std::u16string name, Value value);

  Message& SetSubject(std::u16string_view subject);  // PidTagSubject
  Message& SetBody(std::u16string_view body);        // PidTagBody
  Message& SetHtml(std::string_view html);           // PidTagHtml, binary
  Message& SetRtf(std::string_view rtf);             // PidTagRtfCompressed, stored compressed

  Recipient& AddRecipient(std::u16string name, std::u16string address, RecipientType type);
  Attachment& AddAttachment(std::optional<std::u16string> long_filename, Binary data);
  // An OLE attachment: `compound_file` (an OLE2 compound file) as PidTagAttachDataObject.
  Attachment& AddOleAttachment(std::u16string display_name, Binary compound_file);
  // An attachment holding a whole message (PidTagAttachDataObject); returns that message.
  Message& AddEmbeddedMessage(std::u16string display_name, std::string message_class = "IPM.Note");

  const std::string& message_class() const { return message_class_; }
  const PropertyList& properties() const { return properties_; }
  const std::vector<Recipient>& recipients() const { return recipients_; }
  const std::vector<Attachment>& attachments() const { return attachments_; }

 private:
  std::string message_class_;
  PropertyList properties_;
  std::vector<Recipient> recipients_;
  std::vector<Attachment> attachments_;
};

// Builds message `index` of a streamed folder; called once per message while writing.
using MessageSource = std::function<Message(std::size_t index)>;

class Folder {
 public:
  explicit Folder(std::u16string name, std::u16string container_class = {});

  Folder& AddFolder(std::u16string name, std::u16string container_class = {});
  Message& AddMessage(std::string message_class = "IPM.Note");
  // Folder-associated (hidden) items, listed in the associated contents table.
  Message& AddAssociatedMessage(std::string message_class);
  // Streams `count` more messages, made one at a time while the file is written, after the
  // messages added with AddMessage. Memory stays bounded however many there are.
  void AddMessages(std::size_t count, MessageSource source);

  Folder& Set(std::uint16_t prop_id, Value value) {
    properties_.Set(prop_id, std::move(value));
    return *this;
  }

  const std::u16string& name() const { return name_; }
  const std::u16string& container_class() const { return container_class_; }
  const PropertyList& properties() const { return properties_; }
  const std::vector<std::unique_ptr<Folder>>& folders() const { return folders_; }
  const std::vector<std::unique_ptr<Message>>& messages() const { return messages_; }
  const std::vector<std::unique_ptr<Message>>& associated() const { return associated_; }
  std::size_t streamed_count() const { return streamed_count_; }
  const MessageSource& source() const { return source_; }
  std::size_t message_count() const { return messages_.size() + streamed_count_; }

 private:
  std::u16string name_;
  std::u16string container_class_;
  PropertyList properties_;
  std::vector<std::unique_ptr<Folder>> folders_;
  std::vector<std::unique_ptr<Message>> messages_;
  std::vector<std::unique_ptr<Message>> associated_;
  std::size_t streamed_count_ = 0;
  MessageSource source_;
};

// The block encoding, by its bCryptMethod value.
enum class Encryption : std::uint8_t { kNone = 0, kCompressible = 1, kCyclic = 2 };

// Unicode (Outlook 2003 and later) or ANSI (Outlook 97-2002). ANSI stores hold text as 8-bit
// strings: the writer stores every UTF-16 value as PT_STRING8 in Windows-1252, each character
// that code page lacks becoming '?'. Named-property names stay UTF-16 in both.
enum class FileFormat : std::uint8_t { kUnicode, kAnsi };

// A whole store. The root folder holds "Top of Personal Folders" (with "Deleted Items") and
// "Search Root", as in every store Outlook makes; folders added to root() sit beside them.
class Store {
 public:
  explicit Store(std::u16string display_name = u"Personal Folders",
                 Encryption encryption = Encryption::kNone);

  Folder& top() { return *top_; }
  const Folder& top() const { return *top_; }
  Folder& root() { return root_; }
  const Folder& root() const { return root_; }
  Folder& deleted_items() { return *deleted_items_; }
  const Folder& deleted_items() const { return *deleted_items_; }
  const Folder& search_root() const { return *search_root_; }

  const std::u16string& display_name() const { return display_name_; }
  Encryption encryption() const { return encryption_; }
  void set_encryption(Encryption encryption) { encryption_ = encryption; }
  FileFormat format() const { return format_; }
  void set_format(FileFormat format) { format_ = format; }
  // Creation and modification time given to items that do not set their own.
  FileTime default_time() const { return default_time_; }
  void set_default_time(FileTime time) { default_time_ = time; }

 private:
  std::u16string display_name_;
  Encryption encryption_;
  FileFormat format_ = FileFormat::kUnicode;
  FileTime default_time_;
  Folder root_;
  Folder* top_;
  Folder* search_root_;
  Folder* deleted_items_;
};

// Writes the store in its format; throws std::runtime_error on I/O errors and
// std::invalid_argument on values the format cannot hold.
void Write(const Store& store, const std::filesystem::path& path);

// Text as an ANSI store holds it: Windows-1252, '?' for characters outside it (a surrogate
// pair becomes one '?').
std::string ToWindows1252(std::u16string_view text);

// The property ids the convenience setters and the writer use: the program's one table.
namespace tag = bm::mapi::pid;

}  // namespace pstgen
