// EML files composed from e-mail records of pstgen stores, parsed back with GMime and compared
// with the store header by header, part by part, byte for byte.
#include "msg/email_eml.h"

#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "base/text.h"
#include "msg/component_runtime.h"
#include "msg/glib_ptr.h"
#include "support/test_support.h"
#include "tools/pstgen/presets.h"
#include "tools/pstgen/pstgen.h"

namespace bm {
namespace {

namespace fs = std::filesystem;

std::string Owned(char* text) {
  const GMemoryPtr<char> owned(text);
  return owned ? std::string(owned.get()) : std::string();
}

// The composed file parsed back; GMime reads what a mail program reads.
GObjectPtr<GMimeMessage> Parse(const std::string& bytes) {
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  return GObjectPtr<GMimeMessage>(g_mime_parser_construct_message(parser.get(), nullptr));
}

std::string Header(GMimeMessage* message, const char* name) {
  const char* value = g_mime_object_get_header(GMIME_OBJECT(message), name);
  return value == nullptr ? std::string() : value;
}

// The addresses of one kind as "name <address>" (groups as "name:;"), one a line.
std::string Addresses(GMimeMessage* message, GMimeAddressType type) {
  InternetAddressList* list = g_mime_message_get_addresses(message, type);
  std::string out;
  for (int i = 0; i < internet_address_list_length(list); ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    const char* name = internet_address_get_name(address);
    out += name == nullptr ? "" : name;
    if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
      out += std::string(" <") +
             internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)) + ">";
    } else {
      out += ":;";
    }
    out += "\n";
  }
  return out;
}

std::string MimeType(GMimeObject* object) {
  return Owned(g_mime_content_type_get_mime_type(g_mime_object_get_content_type(object)));
}

// The decoded content of a leaf part.
std::string Content(GMimeObject* object) {
  GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object));
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(content, stream.get());
  const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

// The part tree as "multipart/mixed(text/plain,message/rfc822[...])".
std::string Shape(GMimeObject* object) {
  std::string shape = MimeType(object);
  if (GMIME_IS_MULTIPART(object)) {
    shape += "(";
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
      if (i > 0) shape += ",";
      shape += Shape(g_mime_multipart_get_part(multipart, i));
    }
    shape += ")";
  } else if (GMIME_IS_MESSAGE_PART(object)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
    shape += "[" + Shape(g_mime_message_get_mime_part(inner)) + "]";
  }
  return shape;
}

// The parts below `object` in order, depth first, not entering attached messages.
std::vector<GMimeObject*> Parts(GMimeObject* object) {
  std::vector<GMimeObject*> parts{object};
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
      for (GMimeObject* part : Parts(g_mime_multipart_get_part(multipart, i)))
        parts.push_back(part);
    }
  }
  return parts;
}

GMimeObject* PartOfType(GMimeObject* root, std::string_view type, int skip = 0) {
  for (GMimeObject* part : Parts(root)) {
    if (MimeType(part) == type && skip-- == 0) return part;
  }
  return nullptr;
}

std::string Utf8(const char16_t* text) {
  return ToUtf8(text);
}

class EmailEml : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(StartMimeRuntime(), S_OK); }

  // Writes and opens `store`; its messages in folder order.
  std::vector<pst::Message> Open(const pstgen::Store& store) {
    const fs::path path = dir_.path() / ("store" + std::to_string(++stores_) + ".pst");
    pstgen::Write(store, path);
    auto opened = pst::Store::Open(path);
    EXPECT_TRUE(opened) << opened.error().message();
    if (!opened) return {};
    store_.emplace(std::move(*opened));
    std::vector<pst::Message> messages;
    std::function<void(pst::Nid, int)> walk = [&](pst::Nid folder, int depth) {
      if (depth > 16) return;
      for (pst::Nid nid : store_->Messages(folder)) {
        auto message = store_->OpenMessage(nid);
        EXPECT_TRUE(message);
        if (message) messages.push_back(std::move(*message));
      }
      for (pst::Nid child : store_->SubFolders(folder)) walk(child, depth + 1);
    };
    walk(store_->root_folder(), 0);
    return messages;
  }

  mapi::EmailRecord Record(const pst::Message& message) {
    auto record = mapi::ReadEmailRecord(*store_, message);
    EXPECT_TRUE(record) << record.error().message();
    return record ? std::move(*record) : mapi::EmailRecord{};
  }

  ComposedEml Compose(const pst::Message& message) {
    auto composed = ComposeEmailEml(*store_, message, Record(message));
    EXPECT_TRUE(composed) << composed.error().message();
    return composed ? std::move(*composed) : ComposedEml{};
  }

  test::TempDir dir_;
  int stores_ = 0;
  std::optional<pst::Store> store_;
};

class FidelityEml : public EmailEml, public ::testing::WithParamInterface<pstgen::FileFormat> {};

TEST_P(FidelityEml, HeadersComeFromTheRecordAndPartsKeepTheirBytes) {
  pstgen::Store fidelity = pstgen::MsgFidelityStore();
  fidelity.set_format(GetParam());
  const auto messages = Open(fidelity);
  ASSERT_EQ(messages.size(), 4u);
  const ComposedEml eml = Compose(messages[0]);
  EXPECT_TRUE(eml.warnings.empty()) << eml.warnings.front();
  // Every line ends with CR LF.
  EXPECT_EQ(eml.bytes.find("\n"), eml.bytes.find("\r\n") + 1);
  const auto message = Parse(eml.bytes);
  ASSERT_TRUE(message);
  GMimeMessage* m = message.get();

  // Exchange sender and recipient by their SMTP addresses; no Sender when it is the author.
  EXPECT_EQ(Addresses(m, GMIME_ADDRESS_TYPE_FROM), "Ann Archer <ann.archer@example.com>\n");
  EXPECT_EQ(Addresses(m, GMIME_ADDRESS_TYPE_SENDER), "");
  EXPECT_EQ(Addresses(m, GMIME_ADDRESS_TYPE_TO), "Bob Baker <bob.baker@example.com>\n");
  EXPECT_EQ(Addresses(m, GMIME_ADDRESS_TYPE_CC), "Cy Clark <cy.clark@example.com>\n");
  EXPECT_EQ(Addresses(m, GMIME_ADDRESS_TYPE_BCC), "Di Dean <di.dean@example.com>\n");
  EXPECT_EQ(g_mime_message_get_subject(m), std::string("Fidelity: every property"));
  // The submit time, to the second (the stored fraction has no place in a Date).
  GDateTime* date = g_mime_message_get_date(m);
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(g_date_time_to_unix(date), 1704103200);
  EXPECT_EQ(g_mime_message_get_message_id(m), std::string("fidelity-1@example.com"));
  EXPECT_EQ(Header(m, "In-Reply-To"), "<parent@example.com>");
  EXPECT_EQ(Header(m, "References"), "<root@example.com> <parent@example.com>");
  EXPECT_EQ(Header(m, "Importance"), "high");
  EXPECT_EQ(Header(m, "X-Priority"), "1 (Highest)");
  EXPECT_EQ(Header(m, "Priority"), "urgent");
  EXPECT_EQ(Header(m, "Sensitivity"), "Company-Confidential");
  // The way it came stays, on top; the old mailer's own lines do not.
  EXPECT_TRUE(eml.bytes.starts_with("Received: from mx.example.com\r\n"))
      << eml.bytes.substr(0, 300);
  EXPECT_EQ(Header(m, "X-Mailer"), "");

  GMimeObject* root = g_mime_message_get_mime_part(m);
  EXPECT_EQ(Shape(root),
            "multipart/mixed(multipart/alternative(text/plain,multipart/related(text/html,"
            "image/png)),text/plain,message/rfc822[multipart/mixed(text/plain,text/plain,"
            "message/rfc822[text/plain])],application/octet-stream)");
  GMimeObject* plain = PartOfType(root, "text/plain");
  EXPECT_EQ(Content(plain), "The plain body, which differs from the others.\r\n");
  EXPECT_EQ(g_mime_object_get_content_type_parameter(plain, "charset"), std::string("utf-8"));
  GMimeObject* html = PartOfType(root, "text/html");
  EXPECT_EQ(Content(html),
            "<html><body><p>The <b>HTML</b> body.</p><img src=\"cid:chart@fidelity\"></body>"
            "</html>");
  EXPECT_EQ(g_mime_object_get_content_type_parameter(html, "charset"), std::string("utf-8"));

  GMimeObject* chart = PartOfType(root, "image/png");
  EXPECT_EQ(Content(chart), std::string(5000, '\x5A'));
  EXPECT_EQ(g_mime_object_get_content_id(chart), std::string("chart@fidelity"));
  EXPECT_EQ(g_mime_object_get_disposition(chart), std::string("inline"));
  EXPECT_EQ(g_mime_part_get_filename(GMIME_PART(chart)), std::string("chart.png"));
  GMimeObject* notes = PartOfType(root, "text/plain", 1);
  EXPECT_EQ(Content(notes), "Notes, in plain text.\r\n");
  EXPECT_EQ(g_mime_object_get_disposition(notes), std::string("attachment"));
  EXPECT_EQ(g_mime_part_get_filename(GMIME_PART(notes)), std::string("notes.txt"));
  const pstgen::Binary ole = pstgen::MinimalCompoundFile(true);
  EXPECT_EQ(Content(PartOfType(root, "application/octet-stream")),
            std::string(ole.begin(), ole.end()));

  // The attached message is a message of its own, with its attachments and its attached
  // message inside.
  GMimeMessage* forwarded =
      g_mime_message_part_get_message(GMIME_MESSAGE_PART(PartOfType(root, "message/rfc822")));
  EXPECT_EQ(g_mime_message_get_subject(forwarded), std::string("The plan"));
  EXPECT_EQ(Addresses(forwarded, GMIME_ADDRESS_TYPE_TO), "Eve Evans <eve.evans@example.com>\n");
  GMimeObject* forwarded_root = g_mime_message_get_mime_part(forwarded);
  EXPECT_EQ(Content(PartOfType(forwarded_root, "text/plain")), "The embedded message's body.\r\n");
  EXPECT_EQ(Content(PartOfType(forwarded_root, "text/plain", 1)), "Step one. Step two.\r\n");
  GMimeMessage* inner = g_mime_message_part_get_message(
      GMIME_MESSAGE_PART(PartOfType(forwarded_root, "message/rfc822")));
  EXPECT_EQ(Content(g_mime_message_get_mime_part(inner)), "Two levels down.\r\n");
}

INSTANTIATE_TEST_SUITE_P(Formats, FidelityEml,
                         ::testing::Values(pstgen::FileFormat::kUnicode, pstgen::FileFormat::kAnsi),
                         [](const auto& info) {
                           return info.param == pstgen::FileFormat::kAnsi ? "Ansi" : "Unicode";
                         });

TEST_F(EmailEml, ASignedMessageKeepsItsSignedEntityAsTheBody) {
  const auto messages = Open(pstgen::MsgFidelityStore());
  ASSERT_EQ(messages.size(), 4u);
  const ComposedEml eml = Compose(messages[1]);
  const auto message = Parse(eml.bytes);
  ASSERT_TRUE(message);
  GMimeObject* root = g_mime_message_get_mime_part(message.get());
  EXPECT_EQ(MimeType(root), "multipart/signed");
  EXPECT_EQ(g_mime_object_get_content_type_parameter(root, "protocol"),
            std::string("application/pkcs7-signature"));
  EXPECT_NE(eml.bytes.find("Signed text."), std::string::npos);
  EXPECT_EQ(Addresses(message.get(), GMIME_ADDRESS_TYPE_FROM),
            "Ann Archer <ann.archer@example.com>\n");
}

// Names with the characters an address list or a path list splits at stay whole.
TEST_F(EmailEml, NamesAreValuesNeverSplitOrFollowed) {
  pstgen::Store store;
  pstgen::Message& mail = store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note");
  mail.SetSubject(u"Names").SetBody(u"Body\r\n");
  mail.Set(0x0C1A, u"Ops, Desk").Set(0x0C1E, u"SMTP").Set(0x0C1F, u"desk@example.com");
  mail.Set(0x0042, u"Boss, The").Set(0x0064, u"SMTP").Set(0x0065, u"boss@example.com");
  mail.AddRecipient(u"Doe, Jane", u"jane@example.com", pstgen::RecipientType::kTo);
  mail.AddRecipient(u"Zo\u00eb \"Z\" <Ng>", u"zoe@example.com", pstgen::RecipientType::kTo);
  mail.AddRecipient(u"Lee, Al [x]", u"/O=EXAMPLE/CN=AL", pstgen::RecipientType::kCc)
      .Set(pstgen::tag::kAddressType, u"EX");
  mail.AddAttachment(u"x;SECRET.txt", pstgen::Bytes("own bytes"));
  mail.AddAttachment(u"../../etc/passwd", pstgen::Bytes("second"));
  mail.AddAttachment(u"Bericht f\u00fcr J\u00fcrgen.pdf", pstgen::Bytes("%PDF-1.4"));
  const auto messages = Open(store);
  ASSERT_EQ(messages.size(), 1u);

  // A file of the name's tail in the working folder must not find its way in.
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_.path());
  std::ofstream(dir_.path() / "SECRET.txt") << "the secret";
  const ComposedEml eml = Compose(messages[0]);
  fs::current_path(cwd);
  EXPECT_EQ(eml.bytes.find("the secret"), std::string::npos);

  const auto message = Parse(eml.bytes);
  ASSERT_TRUE(message);
  GMimeMessage* m = message.get();
  EXPECT_EQ(Addresses(m, GMIME_ADDRESS_TYPE_FROM), "Boss, The <boss@example.com>\n");
  EXPECT_EQ(Addresses(m, GMIME_ADDRESS_TYPE_SENDER), "Ops, Desk <desk@example.com>\n");
  EXPECT_EQ(
      Addresses(m, GMIME_ADDRESS_TYPE_TO),
      "Doe, Jane <jane@example.com>\n" + Utf8(u"Zo\u00eb \"Z\" <Ng>") + " <zoe@example.com>\n");
  // An Exchange entry without SMTP address keeps its name, as an empty group.
  EXPECT_EQ(Addresses(m, GMIME_ADDRESS_TYPE_CC), "Lee, Al [x]:;\n");

  GMimeObject* root = g_mime_message_get_mime_part(m);
  ASSERT_EQ(Shape(root),
            "multipart/mixed(text/plain,text/plain,application/octet-stream,"
            "application/pdf)");
  GMimeObject* first = PartOfType(root, "text/plain", 1);
  EXPECT_EQ(g_mime_part_get_filename(GMIME_PART(first)), std::string("x;SECRET.txt"));
  EXPECT_EQ(Content(first), "own bytes");
  GMimeObject* second = PartOfType(root, "application/octet-stream");
  EXPECT_EQ(g_mime_part_get_filename(GMIME_PART(second)), std::string("../../etc/passwd"));
  EXPECT_EQ(Content(second), "second");
  GMimeObject* report = PartOfType(root, "application/pdf");
  EXPECT_EQ(g_mime_part_get_filename(GMIME_PART(report)),
            Utf8(u"Bericht f\u00fcr J\u00fcrgen.pdf"));
  EXPECT_NE(eml.bytes.find("filename*="), std::string::npos) << eml.bytes;  // RFC 2231
}

// Texts from the store carry line breaks and brackets; none of them may add a header, an
// address or a part.
TEST_F(EmailEml, StoredTextsCannotAddHeadersOrAddresses) {
  pstgen::Store store;
  pstgen::Message& mail = store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note");
  mail.SetSubject(u"Hi\r\nBcc: evil@example.com").SetBody(u"Body");
  mail.Set(0x1042, u"<a@example.com>\r\nX-Injected: reply");
  mail.Set(0x007D, u"Received: from a\rX-Injected: trace\r\n");
  mail.AddRecipient(u"Ann\r\nX-Injected: name", u"ann@example.com>, evil@example.com",
                    pstgen::RecipientType::kTo);
  mail.AddAttachment(u"a\r\nX-Injected: file.txt", pstgen::Bytes("data"));
  const auto messages = Open(store);
  ASSERT_EQ(messages.size(), 1u);
  const ComposedEml eml = Compose(messages[0]);
  const auto message = Parse(eml.bytes);
  ASSERT_TRUE(message);
  EXPECT_EQ(eml.bytes.find("\nX-Injected"), std::string::npos) << eml.bytes;
  EXPECT_EQ(eml.bytes.find("\rX-Injected"), std::string::npos) << eml.bytes;
  EXPECT_EQ(Addresses(message.get(), GMIME_ADDRESS_TYPE_BCC), "");
  // The broken address is no address: the name alone stays.
  EXPECT_EQ(Addresses(message.get(), GMIME_ADDRESS_TYPE_TO), "Ann  X-Injected: name:;\n");
  EXPECT_EQ(g_mime_message_get_subject(message.get()), std::string("Hi  Bcc: evil@example.com"));
  GMimeObject* root = g_mime_message_get_mime_part(message.get());
  EXPECT_EQ(Shape(root), "multipart/mixed(text/plain,text/plain)");
}

// What each combination of stored bodies becomes, and which time dates the message.
TEST_F(EmailEml, BodiesAsStoredOrDerivedAndTheDateFallsBack) {
  pstgen::Store store;
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  const auto at = [](std::int64_t seconds) { return pstgen::FileTime::FromUnixSeconds(seconds); };
  inbox.AddMessage("IPM.Note")
      .SetSubject(u"html only")
      .SetHtml(
          "<html><head><meta charset=\"windows-1252\"></head><body><p>Caf\xE9</p></body></html>")
      .Set(0x3FDE, std::int32_t{1252})
      .Set(0x0E06, at(1600000000))
      .Set(pstgen::tag::kCreationTime, at(1500000000));
  inbox.AddMessage("IPM.Note")
      .SetSubject(u"rtf only")
      .SetRtf("{\\rtf1\\ansi\\deff0 Plain \\b RTF\\b0  words.\\par}")
      .Set(pstgen::tag::kCreationTime, at(1500000000));
  inbox.AddMessage("IPM.Note").SetSubject(u"no body");
  const auto messages = Open(store);
  ASSERT_EQ(messages.size(), 3u);

  const ComposedEml html_only = Compose(messages[0]);
  const auto html_message = Parse(html_only.bytes);
  ASSERT_TRUE(html_message);
  GMimeObject* root = g_mime_message_get_mime_part(html_message.get());
  EXPECT_EQ(Shape(root), "multipart/alternative(text/plain,text/html)");
  // The HTML keeps its bytes and is labelled by its code page; the text is derived from it.
  GMimeObject* html = PartOfType(root, "text/html");
  EXPECT_EQ(g_mime_object_get_content_type_parameter(html, "charset"), std::string("windows-1252"));
  EXPECT_NE(Content(html).find("<p>Caf\xE9</p>"), std::string::npos);
  EXPECT_NE(Content(PartOfType(root, "text/plain")).find("Caf\xC3\xA9"), std::string::npos);
  // Not sent: the delivery time dates it.
  EXPECT_EQ(g_date_time_to_unix(g_mime_message_get_date(html_message.get())), 1600000000);

  const auto rtf_message = Parse(Compose(messages[1]).bytes);
  ASSERT_TRUE(rtf_message);
  root = g_mime_message_get_mime_part(rtf_message.get());
  EXPECT_EQ(Shape(root), "text/plain");
  EXPECT_NE(Content(root).find("Plain RTF words."), std::string::npos) << Content(root);
  EXPECT_EQ(g_date_time_to_unix(g_mime_message_get_date(rtf_message.get())), 1500000000);

  const auto empty = Parse(Compose(messages[2]).bytes);
  ASSERT_TRUE(empty);
  EXPECT_EQ(Shape(g_mime_message_get_mime_part(empty.get())), "text/plain");
  EXPECT_EQ(Content(g_mime_message_get_mime_part(empty.get())), "");
}

// Attached messages are composed inside each other down to a bound; what lies deeper is
// named in a warning, never dropped unseen.
TEST_F(EmailEml, AttachedMessagesNestToABoundAndSayWhatWasLeftOut) {
  pstgen::Store store;
  pstgen::Message* level =
      &store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note").SetSubject(u"0");
  for (int depth = 1; depth <= kMaxEmlNesting + 2; ++depth) {
    const std::u16string subject = FromUtf8(std::to_string(depth));
    level = &level->AddEmbeddedMessage(subject);
    level->SetSubject(subject).SetBody(u"level " + subject);
  }
  const auto messages = Open(store);
  ASSERT_EQ(messages.size(), 1u);
  const ComposedEml eml = Compose(messages[0]);
  ASSERT_EQ(eml.warnings.size(), 1u);
  EXPECT_NE(eml.warnings[0].find("nest deeper than"), std::string::npos) << eml.warnings[0];
  const auto message = Parse(eml.bytes);
  ASSERT_TRUE(message);
  GMimeMessage* inner = message.get();
  int levels = 0;
  while (GMimeObject* part = PartOfType(g_mime_message_get_mime_part(inner), "message/rfc822")) {
    inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
    ++levels;
  }
  EXPECT_EQ(levels, kMaxEmlNesting);
  EXPECT_EQ(g_mime_message_get_subject(inner), std::to_string(kMaxEmlNesting));
}

TEST(TraceHeaders, KeepsTheTraceLinesUnfoldedInOrder) {
  const auto fields = TraceHeaders(
      u"Return-Path: <a@example.com>\r\nReceived: from a\r\n\tby b; Mon, 1 Jan 2024\r\n"
      u"X-Mailer: M\r\n continued\r\nRECEIVED: from c\nAuthentication-Results: mx; spf=pass\r\n"
      u"no colon here\r\n\r\nReceived: after the blank line\r\n");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Return-Path", "<a@example.com>"},
      {"Received", "from a\tby b; Mon, 1 Jan 2024"},
      {"RECEIVED", "from c"},
      {"Authentication-Results", "mx; spf=pass"}};
  EXPECT_EQ(fields, expected);
  EXPECT_TRUE(TraceHeaders(u"").empty());
}

TEST(InternetAddressOf, TakesTheSmtpFormOfEachKindOfEntry) {
  EXPECT_EQ(InternetAddressOf({u"A", u"SMTP", u"a@x.org", u""}), "a@x.org");
  EXPECT_EQ(InternetAddressOf({u"A", u"EX", u"/O=X/CN=A", u"a@x.org"}), "a@x.org");
  EXPECT_EQ(InternetAddressOf({u"A", u"EX", u"/O=X/CN=A", u""}), "");
  EXPECT_EQ(InternetAddressOf({u"A", u"", u"a@x.org", u""}), "a@x.org");
  EXPECT_EQ(InternetAddressOf({u"A", u"FAX", u"12345", u""}), "");
  EXPECT_EQ(InternetAddressOf({u"A", u"SMTP", u"/O=X/CN=A", u""}), "");
}

}  // namespace
}  // namespace bm
