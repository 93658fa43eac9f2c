// Attachment names, content sniffing, the list text and the files written in conversion mode.
#include <gtest/gtest.h>

#include <fstream>

#include "msg/embedded_message.h"
#include "writer_fixture.h"
#include "writers/attachments.h"

namespace bm {
namespace {

using test::ReadFile;
using test::WriterFixture;

std::u16string Joined(const std::filesystem::path& folder, std::string_view name) {
  return FromPath(folder / name);
}

// The attachment files of `item` of the fixture's store; nothing without an item.
std::optional<AttachmentFiles> Files(const WriterFixture& fixture, const AttachmentContext& context,
                                     const std::optional<pst::Message>& item) {
  if (!item) return std::nullopt;
  const mapi::NoteRecord record = fixture.RecordOf(*item, &mapi::ReadNoteRecord);
  return ExportAttachments(context, *item, record.attachments);
}

// The list as the text files show it: each path followed by ";".
std::optional<std::u16string> ExportedList(const WriterFixture& fixture,
                                           const AttachmentContext& context,
                                           const std::optional<pst::Message>& item) {
  const std::optional<AttachmentFiles> files = Files(fixture, context, item);
  if (!files) return std::nullopt;
  return AttachmentListText(files->paths);
}

AttachmentContext ContextFor(const WriterFixture& fixture, bool conversion_mode) {
  AttachmentContext context;
  context.temp_folder_path = fixture.state.paths.temp_folder_path;
  context.conversion_mode = conversion_mode;
  context.store = &*fixture.state.store;
  return context;
}

TEST(AttachmentName, GeneratesNamesAndMarksMissingExtensions) {
  EXPECT_EQ(AttachmentName(u"", 0), u"Attactment1.rdxves");
  EXPECT_EQ(AttachmentName(u"", 11), u"Attactment12.rdxves");
  EXPECT_EQ(AttachmentName(u"report", 2), u"report.rdxves");
  EXPECT_EQ(AttachmentName(u"data.bin", 0), u"data.bin");
}

TEST(AttachmentName, NeverLeavesTheTempFolder) {
  EXPECT_EQ(AttachmentName(u"../../x", 0), u".._.._x");
  EXPECT_EQ(AttachmentName(u"/etc/passwd", 0), u"_etc_passwd.rdxves");
  EXPECT_EQ(AttachmentName(u"a\\b", 0), u"a_b.rdxves");
  EXPECT_EQ(AttachmentName(u"bell\a.doc", 0), u"bell_.doc");
  EXPECT_EQ(AttachmentName(u"..", 3), u"Attactment4.rdxves");
  EXPECT_EQ(AttachmentName(u". . .", 0), u"Attactment1.rdxves");
  for (const std::u16string_view stored : {u"../../x", u"/etc/passwd", u"a\\b", u"..", u"."}) {
    const std::u16string name = FinalAttachmentName(AttachmentName(stored, 0));
    EXPECT_EQ(name.find(u'/'), std::u16string::npos) << ToUtf8(name);
    EXPECT_NE(name, u"..");
    EXPECT_NE(name, u".");
  }
}

TEST(SniffedName, RecognisesMessagesPdfAndGifOnly) {
  const auto sniff = [](std::string_view head) {
    return SniffedName(u"Attactment1.rdxves", pstgen::Bytes(head));
  };
  EXPECT_EQ(sniff("MIME-Version: 1.0\r\n"), u"Attactment1.eml");
  EXPECT_EQ(sniff("Return-path: <a@b.c>"), u"Attactment1.eml");
  EXPECT_EQ(sniff("%PDF-1.4"), u"Attactment1.pdf");
  EXPECT_EQ(sniff("GIF89a"), u"Attactment1.gif");
  EXPECT_EQ(sniff("xx%PDF"), u"Attactment1.pdf");  // anywhere in the first eight bytes
  EXPECT_EQ(sniff("mime-version: 1.0"), u"Attactment1.rdxves");  // case matters
  EXPECT_EQ(sniff("12345678GIF"), u"Attactment1.rdxves");        // beyond the eighth byte
  EXPECT_EQ(SniffedName(u"a.rdxves", std::vector<std::uint8_t>{0, 'G', 'I', 'F'}), u"a.rdxves");
}

TEST(FinalAttachmentName, TurnsPlaceholdersIntoTxtAndFitsTheNameLimit) {
  EXPECT_EQ(FinalAttachmentName(u"a.rdxves"), u"a.txt");
  EXPECT_EQ(FinalAttachmentName(u"a.rdxves.rdxves"), u"a.txt");
  EXPECT_EQ(FinalAttachmentName(u"a.pdf"), u"a.pdf");
  const std::u16string long_name = std::u16string(296, u'n') + u".doc";
  const std::u16string cut = FinalAttachmentName(long_name);
  EXPECT_EQ(cut.size(), 255u);
  EXPECT_EQ(cut.substr(cut.size() - 4), u".doc");
  // Characters of several bytes are never split.
  const std::u16string wide = FinalAttachmentName(std::u16string(200, u'\u00e9') + u".txt");
  EXPECT_LE(ToUtf8(wide).size(), 255u);
  EXPECT_EQ(wide.substr(wide.size() - 4), u".txt");
}

// One message with every kind of attachment name and content the export tells apart.
pstgen::Store SniffingStore() {
  pstgen::Store store;
  pstgen::Message& mail = store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note");
  mail.SetSubject(u"attachments");
  mail.AddAttachment(std::nullopt, pstgen::Bytes("%PDF-1.4 unnamed"));
  mail.AddAttachment(std::nullopt, pstgen::Bytes("MIME-Version: 1.0\r\n\r\nbody"));
  mail.AddAttachment(std::nullopt, pstgen::Bytes("Return-path: <a@b.c>\r\n"));
  mail.AddAttachment(std::nullopt, pstgen::Bytes("GIF89a...."));
  mail.AddAttachment(std::nullopt, pstgen::Bytes("mime-version: 1.0\r\n"));
  mail.AddAttachment(u"report", pstgen::Bytes("%PDF-1.7 named"));
  mail.AddAttachment(u"notes", pstgen::Bytes("just words"));
  mail.AddAttachment(u"data.bin", pstgen::Bytes("%PDF not examined"));
  mail.AddAttachment(std::nullopt, pstgen::Binary{});
  return store;
}

const std::vector<std::string> kSniffedNames = {
    "Attactment1.pdf", "Attactment2.eml", "Attactment3.eml", "Attactment4.gif", "Attactment5.txt",
    "report.pdf",      "notes.txt",       "data.bin",        "Attactment9.txt"};

TEST(ExportAttachments, NamesEveryAttachmentInPreviewModeWithoutWriting) {
  WriterFixture fixture;
  ASSERT_TRUE(fixture.ScanStore(SniffingStore()));
  const std::optional<pst::Message> mail = fixture.Message(u"/Inbox");
  ASSERT_TRUE(mail);
  std::u16string expected;
  for (const std::string& name : kSniffedNames)
    expected += Joined(fixture.TempFolder(), name) + u";";
  EXPECT_EQ(ExportedList(fixture, ContextFor(fixture, false), mail), expected);
  for (const std::string& name : kSniffedNames) {
    EXPECT_FALSE(std::filesystem::exists(fixture.TempFolder() / name)) << name;
  }
}

TEST(ExportAttachments, WritesTheContentsInConversionMode) {
  WriterFixture fixture;
  ASSERT_TRUE(fixture.ScanStore(SniffingStore()));
  const std::optional<pst::Message> mail = fixture.Message(u"/Inbox");
  ASSERT_TRUE(mail);
  ASSERT_TRUE(ExportedList(fixture, ContextFor(fixture, true), mail).has_value());
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "Attactment1.pdf"), "%PDF-1.4 unnamed");
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "Attactment5.txt"), "mime-version: 1.0\r\n");
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "data.bin"), "%PDF not examined");
  ASSERT_TRUE(std::filesystem::exists(fixture.TempFolder() / "Attactment9.txt"));
  EXPECT_EQ(std::filesystem::file_size(fixture.TempFolder() / "Attactment9.txt"), 0u);
}

TEST(ExportAttachments, CopiesLargeContentsExactly) {
  std::string content;
  for (int i = 0; i < 70000; ++i) content.push_back(static_cast<char>('a' + i % 26 + (i % 7)));
  WriterFixture fixture;
  const std::optional<pst::Message> mail = fixture.ScanOne(
      [&](pstgen::Message& m) { m.AddAttachment(u"big.dat", pstgen::Bytes(content)); });
  ASSERT_TRUE(mail);
  ASSERT_TRUE(ExportedList(fixture, ContextFor(fixture, true), mail).has_value());
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "big.dat"), content);
}

TEST(ExportAttachments, AnUnopenableFileLeavesOnlyItsSeparator) {
  WriterFixture fixture;
  const std::optional<pst::Message> mail = fixture.ScanOne([](pstgen::Message& m) {
    m.AddAttachment(u"a.txt", pstgen::Bytes("first"));
    m.AddAttachment(u"b.txt", pstgen::Bytes("second"));
    m.AddAttachment(u"c.txt", pstgen::Bytes("third"));
  });
  ASSERT_TRUE(mail);
  std::filesystem::create_directory(fixture.TempFolder() / "b.txt");  // cannot be opened as a file
  EXPECT_EQ(
      ExportedList(fixture, ContextFor(fixture, true), mail),
      Joined(fixture.TempFolder(), "a.txt") + u";;" + Joined(fixture.TempFolder(), "c.txt") + u";");
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "c.txt"), "third");
}

TEST(ExportAttachments, HostileNamesStayInsideTheTempFolder) {
  WriterFixture fixture;
  const std::u16string long_name = std::u16string(296, u'L') + u".doc";
  const std::optional<pst::Message> mail = fixture.ScanOne([&](pstgen::Message& m) {
    m.AddAttachment(u"../../x", pstgen::Bytes("1"));
    m.AddAttachment(u"/etc/passwd", pstgen::Bytes("2"));
    m.AddAttachment(u"a\\b", pstgen::Bytes("3"));
    m.AddAttachment(long_name, pstgen::Bytes("4"));
    m.AddAttachment(u"", pstgen::Bytes("5"));
    m.AddAttachment(u"...", pstgen::Bytes("6"));
    m.AddAttachment(u"..", pstgen::Bytes("7"));
  });
  ASSERT_TRUE(mail);
  const auto before = test::FileNames(fixture.temp.path());
  const std::optional<std::u16string> list = ExportedList(fixture, ContextFor(fixture, true), mail);
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(test::FileNames(fixture.temp.path()), before);  // nothing beside the temp folder
  EXPECT_EQ(ReadFile(fixture.TempFolder() / ".._.._x"), "1");
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "_etc_passwd.txt"), "2");
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "a_b.txt"), "3");
  EXPECT_EQ(ReadFile(fixture.TempFolder() / (std::string(251, 'L') + ".doc")), "4");
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "Attactment5.txt"), "5");
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "Attactment6.txt"), "6");
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "Attactment7.txt"), "7");
  EXPECT_EQ(std::count(list->begin(), list->end(), u';'), 7);
}

TEST(ExportAttachments, SameNamesWithinOneItemDoNotOverwriteEachOther) {
  WriterFixture fixture;
  const std::optional<pst::Message> mail = fixture.ScanOne([](pstgen::Message& m) {
    m.AddAttachment(u"image001.png", pstgen::Bytes("one"));
    m.AddAttachment(u"image001.png", pstgen::Bytes("two"));
  });
  ASSERT_TRUE(mail);
  EXPECT_EQ(ExportedList(fixture, ContextFor(fixture, true), mail),
            Joined(fixture.TempFolder(), "image001.png") + u";" +
                Joined(fixture.TempFolder(), "image001 (2).png") + u";");
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "image001.png"), "one");
  EXPECT_EQ(ReadFile(fixture.TempFolder() / "image001 (2).png"), "two");
}

TEST(ExportAttachments, AnItemWithoutAttachmentsHasAnEmptyList) {
  WriterFixture fixture;
  const std::optional<pst::Message> mail =
      fixture.ScanOne([](pstgen::Message& m) { m.SetSubject(u"plain"); });
  ASSERT_TRUE(mail);
  EXPECT_EQ(ExportedList(fixture, ContextFor(fixture, true), mail), u"");
  EXPECT_EQ(ExportedList(fixture, ContextFor(fixture, true), std::nullopt), std::nullopt);
}

TEST(ExportAttachments, EmbeddedMessagesGetAnEntryAndAComposedFile) {
  WriterFixture fixture;
  const std::optional<pst::Message> mail = fixture.ScanOne([](pstgen::Message& m) {
    m.AddAttachment(u"before.txt", pstgen::Bytes("before"));
    pstgen::Message& inner = m.AddEmbeddedMessage(u"Forwarded");
    inner.SetSubject(u"Inner: news/today").SetBody(u"inner body");
    inner.AddRecipient(u"Ann", u"ann@example.com", pstgen::RecipientType::kTo);
    inner.AddAttachment(u"before.txt", pstgen::Bytes("inner attachment"));
  });
  ASSERT_TRUE(mail);
  const std::u16string expected = Joined(fixture.TempFolder(), "before.txt") + u";" +
                                  Joined(fixture.TempFolder(), "Inner: news_today.eml") + u";";
  EXPECT_EQ(ExportedList(fixture, ContextFor(fixture, false), mail), expected);

  AttachmentContext context = ContextFor(fixture, true);
  std::vector<std::u16string> composed;
  context.compose_embedded = [&](const pst::Message&, const std::u16string& path) {
    composed.push_back(path);
    return true;
  };
  EXPECT_EQ(ExportedList(fixture, context, mail), expected);
  ASSERT_EQ(composed.size(), 1u);
  EXPECT_EQ(composed[0], Joined(fixture.TempFolder(), "Inner: news_today.eml"));

  // Composed from the attached message's own record: its headers, body and attachment.
  context.compose_embedded = [&](const pst::Message& inner, const std::u16string& path) {
    return ComposeEmbeddedMessage(*fixture.state.store, inner, path);
  };
  EXPECT_EQ(ExportedList(fixture, context, mail), expected);
  const std::string eml = ReadFile(fixture.TempFolder() / "Inner: news_today.eml");
  EXPECT_NE(eml.find("Subject: Inner: news/today\r\n"), std::string::npos) << eml;
  EXPECT_NE(eml.find("To: Ann <ann@example.com>\r\n"), std::string::npos) << eml;
  EXPECT_NE(eml.find("before.txt"), std::string::npos) << eml;
}

TEST(ExportAttachments, BesideATextItemNothingIsReplacedOrFollowed) {
  WriterFixture fixture;
  const std::optional<pst::Message> item = fixture.ScanOne([](pstgen::Message& m) {
    m.AddAttachment(u"a.txt", pstgen::Bytes("new a"));
    m.AddAttachment(u"b.txt", pstgen::Bytes("new b"));
    m.AddAttachment(u"x;y.txt", pstgen::Bytes("semicolon"));
  });
  ASSERT_TRUE(item);
  const std::filesystem::path target = fixture.temp.path() / "target";
  std::filesystem::create_directory(target);
  std::ofstream(target / "Memo--1 a.txt") << "kept";
  const std::filesystem::path victim = fixture.temp.path() / "victim";
  std::ofstream(victim) << "victim";
  std::filesystem::create_symlink(victim, target / "Memo--1 b.txt");

  AttachmentContext context = ContextFor(fixture, true);
  context.target_folder = FromPath(target);
  context.name_prefix = u"Memo--1 ";
  const std::optional<AttachmentFiles> files = Files(fixture, context, item);
  ASSERT_TRUE(files.has_value());
  EXPECT_TRUE(files->failures.empty());
  EXPECT_EQ(files->paths, (std::vector<std::u16string>{Joined(target, "Memo--1 a (2).txt"),
                                                       Joined(target, "Memo--1 b (2).txt"),
                                                       Joined(target, "Memo--1 x;y.txt")}));
  EXPECT_EQ(ReadFile(target / "Memo--1 a.txt"), "kept");
  EXPECT_EQ(ReadFile(target / "Memo--1 a (2).txt"), "new a");
  EXPECT_EQ(ReadFile(victim), "victim");
  EXPECT_EQ(ReadFile(target / "Memo--1 x;y.txt"), "semicolon");
  EXPECT_FALSE(std::filesystem::exists(fixture.TempFolder() / "a.txt"));
}

TEST(ExportAttachments, AFileThatCannotBeWrittenIsNamedWithItsCause) {
  WriterFixture fixture;
  const std::optional<pst::Message> item =
      fixture.ScanOne([](pstgen::Message& m) { m.AddAttachment(u"a.txt", pstgen::Bytes("a")); });
  ASSERT_TRUE(item);
  AttachmentContext context = ContextFor(fixture, true);
  context.target_folder = FromPath(fixture.temp.path() / "missing");
  const std::optional<AttachmentFiles> files = Files(fixture, context, item);
  ASSERT_TRUE(files.has_value());
  EXPECT_EQ(files->paths, std::vector<std::u16string>{u""});
  ASSERT_EQ(files->failures.size(), 1u);
  EXPECT_NE(files->failures[0].find(u"No such file or directory"), std::u16string::npos);
}

TEST(ExportAttachments, SampleStoreWithElevenAttachments) {
  BM_SAMPLE_OR_SKIP(pst, "outlook.pst");
  WriterFixture fixture;
  ASSERT_TRUE(fixture.Scan(pst));
  const std::optional<pst::Message> mail = fixture.Message(u"/Top of Personal Folders/Inbox");
  ASSERT_TRUE(mail);
  const std::optional<AttachmentFiles> files = Files(fixture, ContextFor(fixture, true), mail);
  ASSERT_TRUE(files.has_value());
  EXPECT_EQ(files->paths.size(), 11u);
  for (const std::u16string& path : files->paths) {
    EXPECT_EQ(ToPath(path).parent_path(), fixture.TempFolder().parent_path());
    EXPECT_TRUE(std::filesystem::is_regular_file(ToPath(path))) << ToUtf8(path);
  }
}

TEST(ExportAttachments, SampleStoreWithInlineAttachments) {
  BM_SAMPLE_OR_SKIP(pst, "attachAndInline.pst");
  WriterFixture fixture;
  ASSERT_TRUE(fixture.Scan(pst));
  ASSERT_FALSE(fixture.state.folder_nodes.empty());
  std::optional<pst::Message> mail;
  for (const FolderNode& node : fixture.state.folder_nodes) {
    mail = fixture.Message(node.FolderPath());
    if (mail) break;
  }
  ASSERT_TRUE(mail);
  const std::optional<std::u16string> list = ExportedList(fixture, ContextFor(fixture, true), mail);
  ASSERT_TRUE(list.has_value());
  EXPECT_FALSE(list->empty());
  for (const auto& entry : std::filesystem::directory_iterator(fixture.TempFolder())) {
    EXPECT_EQ(entry.path().parent_path(), fixture.TempFolder().parent_path());
  }
}

}  // namespace
}  // namespace bm
