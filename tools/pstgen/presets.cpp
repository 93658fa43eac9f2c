#include "tools/pstgen/presets.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"

namespace pstgen {
namespace {

constexpr std::int32_t kFlagRead = 0x01;
constexpr std::int32_t kFlagUnsent = 0x08;

std::u16string U(std::string_view utf8) {
  return bm::FromUtf8(utf8);
}

FileTime At(std::int64_t unix_seconds) {
  return FileTime::FromUnixSeconds(unix_seconds);
}

// A one-page PDF with a correct cross-reference table.
Binary MinimalPdf(std::string_view text) {
  const std::string stream = "BT /F1 18 Tf 72 720 Td (" + std::string(text) + ") Tj ET";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R >> >> >>",
      "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (const std::size_t offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return Bytes(pdf);
}

// A 1x1 transparent PNG.
Binary TinyPng() {
  static constexpr std::uint8_t kPng[] = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
      0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
      0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
      0x9C, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01, 0x0D, 0x0A, 0x2D, 0xB4, 0x00,
      0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  return Binary(std::begin(kPng), std::end(kPng));
}

void SetMailHeaders(Message& message, std::u16string_view sender, std::u16string_view address,
                    std::int64_t sent, std::int32_t flags) {
  message.Set(tag::kSenderName, std::u16string(sender))
      .Set(tag::kSenderEmailAddress, std::u16string(address))
      .Set(0x0042, std::u16string(sender))  // PidTagSentRepresentingName
      .Set(0x0039, At(sent))                // PidTagClientSubmitTime
      .Set(0x0E06, At(sent + 60))           // PidTagMessageDeliveryTime
      .Set(tag::kCreationTime, At(sent + 60))
      .Set(tag::kLastModificationTime, At(sent + 120))
      .Set(tag::kMessageFlags, flags);
}

void AddDemoMail(Folder& inbox, Folder& projects) {
  Message& plain = inbox.AddMessage("IPM.Note");
  plain.SetSubject(u"Quarterly figures").Set(tag::kConversationTopic, u"Quarterly figures");
  plain.SetBody(
      u"Hello team,\r\n\r\nthe quarterly figures are in. Revenue is up 4% on the last "
      u"quarter.\r\n\r\nRegards,\r\nMarta");
  SetMailHeaders(plain, u"Marta Quill", u"marta.quill@example.com", 1704103200, kFlagRead);
  plain.AddRecipient(u"Team Finance", u"finance@example.com", RecipientType::kTo);
  plain.AddRecipient(u"Oskar Venn", u"oskar.venn@example.com", RecipientType::kCc);
  plain.AddRecipient(u"Audit Archive", u"audit@example.com", RecipientType::kBcc);

  Message& html = inbox.AddMessage("IPM.Note");
  html.SetSubject(U("R\xc3\xa9union \xc3\xa0 Z\xc3\xbcrich \xe2\x80\x94 caf\xc3\xa9 & agenda"))
      .Set(tag::kConversationTopic, U("R\xc3\xa9union \xc3\xa0 Z\xc3\xbcrich"));
  html.SetBody(
      U("Bonjour,\r\n\r\nl'ordre du jour de la r\xc3\xa9union est joint.\r\n"
        "Le caf\xc3\xa9 sera servi \xc3\xa0 9h.\r\n"));
  html.SetHtml(
      "<html><head><meta charset=\"utf-8\"></head><body><p>Bonjour,</p>"
      "<p>l'ordre du jour de la <b>r\xc3\xa9union</b> est joint.</p>"
      "<p>Le caf\xc3\xa9 sera servi \xc3\xa0 9h.</p><img src=\"cid:logo.png\"></body></html>");
  SetMailHeaders(html,
                 U("Ren\xc3\xa9"
                   "e Fabre"),
                 u"renee.fabre@example.fr", 1704196800, kFlagRead);
  html.AddRecipient(u"Marta Quill", u"marta.quill@example.com", RecipientType::kTo);
  html.AddRecipient(u"Oskar Venn", u"oskar.venn@example.com", RecipientType::kCc);
  html.AddAttachment(u"agenda.pdf", MinimalPdf("Agenda: budget, roadmap, coffee"))
      .Set(tag::kAttachMimeTag, u"application/pdf");
  html.AddAttachment(u"logo.png", TinyPng())
      .Set(tag::kAttachMimeTag, u"image/png")
      .Set(0x3712, u"logo.png");  // PidTagAttachContentId
  html.AddAttachment(u"notes.txt", Bytes("Bring the Q1 figures.\r\nRoom 4.12\r\n"))
      .Set(tag::kAttachMimeTag, u"text/plain");

  Message& rtf = inbox.AddMessage("IPM.Note");
  rtf.SetSubject(u"Contract draft (RTF)");
  rtf.SetRtf(
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
      "\\f0\\fs20 Dear Marta,\\par\\par Please find the \\b contract draft\\b0  below.\\par"
      "\\i Clause 4\\i0  changed.\\par\\par Kind regards,\\par Oskar\\par}");
  rtf.SetBody(
      u"Dear Marta,\r\n\r\nPlease find the contract draft below.\r\nClause 4 changed.\r\n\r\n"
      u"Kind regards,\r\nOskar\r\n");
  SetMailHeaders(rtf, u"Oskar Venn", u"oskar.venn@example.com", 1704283200, 0);
  rtf.AddRecipient(u"Marta Quill", u"marta.quill@example.com", RecipientType::kTo);

  Message& cjk = projects.AddMessage("IPM.Note");
  cjk.SetSubject(
      U("\xe4\xbc\x9a\xe8\xad\xb0\xe3\x81\xae\xe8\xad\xb0\xe4\xba\x8b\xe9\x8c\xb2 "
        "(minutes)"));
  cjk.SetBody(
      U("\xe7\x9a\x86\xe3\x81\x95\xe3\x82\x93\xe3\x80\x81\r\n\xe4\xbc\x9a\xe8\xad\xb0"
        "\xe3\x81\xae\xe8\xad\xb0\xe4\xba\x8b\xe9\x8c\xb2\xe3\x82\x92\xe6\xb7\xbb\xe4"
        "\xbb\x98\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x99\xe3\x80\x82\r\n"));
  SetMailHeaders(cjk, U("\xe5\xb1\xb1\xe7\x94\xb0 \xe5\xa4\xaa\xe9\x83\x8e"),
                 u"taro.yamada@example.jp", 1704369600, kFlagRead);
  cjk.AddRecipient(u"Marta Quill", u"marta.quill@example.com", RecipientType::kTo);
  cjk.AddAttachment(U("\xe8\xad\xb0\xe4\xba\x8b\xe9\x8c\xb2.txt"),
                    Bytes("\xe4\xbc\x9a\xe8\xad\xb0 2024-01-04\n"));

  Message& forward = projects.AddMessage("IPM.Note");
  forward.SetSubject(u"FW: Site photos and scan");
  forward.SetBody(u"See the forwarded message and the scanned document.\r\n");
  SetMailHeaders(forward, u"Oskar Venn", u"oskar.venn@example.com", 1704456000, kFlagRead);
  forward.AddRecipient(u"Marta Quill", u"marta.quill@example.com", RecipientType::kTo);
  forward.AddAttachment(std::nullopt, MinimalPdf("Scanned without a file name"));
  Message& inner = forward.AddEmbeddedMessage(u"Site photos", "IPM.Note");
  inner.SetSubject(u"Site photos").SetBody(u"Photos from the site visit attached.\r\n");
  SetMailHeaders(inner, u"Lena Hart", u"lena.hart@example.com", 1704442000, kFlagRead);
  inner.AddRecipient(u"Oskar Venn", u"oskar.venn@example.com", RecipientType::kTo);
  inner.AddAttachment(u"site.png", TinyPng());

  Message& smime = inbox.AddMessage("IPM.Note.SMIME.MultipartSigned");
  smime.SetSubject(u"Signed statement").SetBody(u"This message was signed.\r\n");
  SetMailHeaders(smime, u"Bank Notices", u"notices@bank.example", 1704542400, kFlagRead);
  smime.AddRecipient(u"Marta Quill", u"marta.quill@example.com", RecipientType::kTo);

  Message& request = inbox.AddMessage("IPM.Schedule.Meeting.Request");
  request.SetSubject(u"Invitation: Roadmap review").SetBody(u"Please join the roadmap review.\r\n");
  SetMailHeaders(request, u"Oskar Venn", u"oskar.venn@example.com", 1704628800, 0);
  request.AddRecipient(u"Marta Quill", u"marta.quill@example.com", RecipientType::kTo);
  request.SetNamed(kPsetidAppointment, 0x820D, At(1705050000))
      .SetNamed(kPsetidAppointment, 0x820E, At(1705053600))
      .SetNamed(kPsetidAppointment, 0x8208, u"Room 4.12");
}

void AddDemoContact(Folder& contacts, std::u16string_view given, std::u16string_view surname,
                    std::u16string_view email, std::int64_t birthday) {
  const std::u16string full = std::u16string(given) + u" " + std::u16string(surname);
  Message& contact = contacts.AddMessage("IPM.Contact");
  contact.SetSubject(full)
      .Set(tag::kDisplayName, full)
      .Set(0x3A06, std::u16string(given))    // PidTagGivenName
      .Set(0x3A11, std::u16string(surname))  // PidTagSurname
      .Set(0x3A16, u"Harbour Works Ltd")     // PidTagCompanyName
      .Set(0x3A17, u"Project Engineer")      // PidTagTitle
      .Set(0x3A18, u"Engineering")           // PidTagDepartmentName
      .Set(0x3A08, u"+44 20 7946 0018")      // PidTagBusinessTelephoneNumber
      .Set(0x3A09, u"+44 20 7946 0321")      // PidTagHomeTelephoneNumber
      .Set(0x3A1C, u"+44 7700 900123")       // PidTagMobileTelephoneNumber
      .Set(0x3A24, u"+44 20 7946 0999")      // PidTagBusinessFaxNumber
      .Set(0x3A42, At(birthday))             // PidTagBirthday
      .Set(0x3A45, u"Dr.")                   // PidTagDisplayNamePrefix
      .Set(0x3A44, u"J.");                   // PidTagMiddleName
  contact.SetNamed(kPsetidAddress, 0x8005, std::u16string(surname) + u", " + std::u16string(given))
      .SetNamed(kPsetidAddress, 0x8080, full + u" (" + std::u16string(email) + u")")
      .SetNamed(kPsetidAddress, 0x8082, u"SMTP")
      .SetNamed(kPsetidAddress, 0x8083, std::u16string(email))
      .SetNamed(kPsetidAddress, 0x8045, u"12 Quay Street")
      .SetNamed(kPsetidAddress, 0x8046, u"Bristol")
      .SetNamed(kPsetidAddress, 0x8047, u"Avon")
      .SetNamed(kPsetidAddress, 0x8048, u"BS1 4DJ")
      .SetNamed(kPsetidAddress, 0x8049, u"United Kingdom")
      .SetNamed(kPsetidAddress, 0x804A, u"PO Box 77");
  contact.SetBody(u"Met at the harbour conference.\r\n");
}

void AddDemoCalendar(Folder& calendar) {
  Message& meeting = calendar.AddMessage("IPM.Appointment");
  meeting.SetSubject(u"Roadmap review").SetBody(u"Agenda: milestones, risks, budget.\r\n");
  meeting.SetNamed(kPsetidAppointment, 0x820D, At(1705050000))
      .SetNamed(kPsetidAppointment, 0x820E, At(1705053600))
      .SetNamed(kPsetidAppointment, 0x8213, 60)
      .SetNamed(kPsetidAppointment, 0x8208, u"Room 4.12")
      .SetNamed(kPsetidAppointment, 0x8205, 2)  // busy
      .SetNamed(kPsetidAppointment, 0x8235, At(1705050000))
      .SetNamed(kPsetidAppointment, 0x8236, At(1705053600));
  Message& weekly = calendar.AddMessage("IPM.Appointment");
  weekly.SetSubject(U("Team stand-up \xe2\x80\x94 weekly"));
  weekly.SetNamed(kPsetidAppointment, 0x820D, At(1704700800))
      .SetNamed(kPsetidAppointment, 0x820E, At(1704702600))
      .SetNamed(kPsetidAppointment, 0x8213, 30)
      .SetNamed(kPsetidAppointment, 0x8208, u"Online")
      .SetNamed(kPsetidAppointment, 0x8223, true)  // PidLidRecurring
      .SetNamed(kPsetidAppointment, 0x8232, u"every Monday from 08:00 to 08:30")
      .SetNamed(kPsetidAppointment, 0x8205, 2)
      .SetNamed(kPsetidAppointment, 0x8235, At(1704700800))
      .SetNamed(kPsetidAppointment, 0x8236, At(1735689600));
}

void AddDemoTasks(Folder& tasks) {
  Message& task = tasks.AddMessage("IPM.Task");
  task.SetSubject(u"Send signed contract").SetBody(u"Scan and send the signed contract.\r\n");
  task.SetNamed(kPsetidTask, 0x8104, At(1704700800))
      .SetNamed(kPsetidTask, 0x8105, At(1705305600))
      .SetNamed(kPsetidTask, 0x8101, 1)  // in progress
      .SetNamed(kPsetidTask, 0x8102, 0.5)
      .SetNamed(kPsetidTask, 0x8110, 90)
      .SetNamed(kPsetidTask, 0x8111, 180)
      .SetNamed(kPsetidTask, 0x811C, false)
      .SetNamed(kPsetidTask, 0x8112, 1);
  Message& done = tasks.AddMessage("IPM.Task");
  done.SetSubject(u"Book meeting room");
  done.SetNamed(kPsetidTask, 0x8101, 2)
      .SetNamed(kPsetidTask, 0x8102, 1.0)
      .SetNamed(kPsetidTask, 0x811C, true)
      .SetNamed(kPsetidTask, 0x8105, At(1704873600));
}

}  // namespace

Folder& AddDefaultFolders(Store& store) {
  Folder& top = store.top();
  Folder& inbox = top.AddFolder(u"Inbox", u"IPF.Note");
  top.AddFolder(u"Outbox", u"IPF.Note");
  top.AddFolder(u"Sent Items", u"IPF.Note");
  top.AddFolder(u"Drafts", u"IPF.Note");
  top.AddFolder(u"Calendar", u"IPF.Appointment");
  top.AddFolder(u"Contacts", u"IPF.Contact");
  top.AddFolder(u"Journal", u"IPF.Journal");
  top.AddFolder(u"Notes", u"IPF.StickyNote");
  top.AddFolder(u"Tasks", u"IPF.Task");
  return inbox;
}

Store DemoStore() {
  Store store(u"Brindlemoor Demo");
  Folder& top = store.top();
  Folder& inbox = top.AddFolder(u"Inbox", u"IPF.Note");
  Folder& projects = inbox.AddFolder(u"Projects", u"IPF.Note");
  inbox.AddFolder(u"Receipts", u"IPF.Note")
      .AddMessage("IPM.Note")
      .SetSubject(u"Your receipt #20240107")
      .SetHtml("<html><body><table><tr><td>Coffee</td><td>3.20</td></tr></table></body></html>");
  Folder& sent = top.AddFolder(u"Sent Items", u"IPF.Note");
  Folder& calendar = top.AddFolder(u"Calendar", u"IPF.Appointment");
  Folder& contacts = top.AddFolder(u"Contacts", u"IPF.Contact");
  Folder& tasks = top.AddFolder(u"Tasks", u"IPF.Task");
  Folder& notes = top.AddFolder(u"Notes", u"IPF.StickyNote");
  Folder& journal = top.AddFolder(u"Journal", u"IPF.Journal");

  AddDemoMail(inbox, projects);
  Message& reply = sent.AddMessage("IPM.Note");
  reply.SetSubject(u"\x01\x04RE: Quarterly figures")
      .Set(tag::kConversationTopic, u"Quarterly figures");
  reply.SetBody(u"Thanks Marta, looks good.\r\n");
  SetMailHeaders(reply, u"Oskar Venn", u"oskar.venn@example.com", 1704110400, kFlagRead);
  reply.AddRecipient(u"Marta Quill", u"marta.quill@example.com", RecipientType::kTo);

  AddDemoContact(contacts, u"Lena", u"Hart", u"lena.hart@example.com", 631152000);
  AddDemoContact(contacts, U("J\xc3\xb8rgen"), U("M\xc3\xb8ller"), u"jorgen.moller@example.dk",
                 473385600);
  Message& list = contacts.AddMessage("IPM.DistList");
  list.SetSubject(u"Project team").Set(tag::kDisplayName, u"Project team");
  list.SetNamed(kPsetidAddress, 0x8053, u"Project team");  // PidLidDistributionListName

  AddDemoCalendar(calendar);
  AddDemoTasks(tasks);
  notes.AddMessage("IPM.StickyNote")
      .SetSubject(u"Door code")
      .SetBody(u"Door code\r\n4711 (changes in March)\r\n")
      .Set(tag::kMessageFlags, std::int32_t{kFlagRead | kFlagUnsent});
  journal.AddMessage("IPM.Activity")
      .SetSubject(u"Phone call with Lena")
      .SetBody(u"Discussed the site visit.\r\n");
  return store;
}

namespace {

// SplitMix64: small, fast and the same everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  std::size_t Between(std::size_t lo, std::size_t hi) { return lo + Below(hi - lo + 1); }
  bool Chance(unsigned percent) { return Below(100) < percent; }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& items) {
    return items[Below(N)];
  }

 private:
  std::uint64_t state_;
};

constexpr std::array<std::string_view, 12> kTopics = {"Budget",  "Roadmap",  "Invoice", "Meeting",
                                                      "Release", "Contract", "Offsite", "Hiring",
                                                      "Survey",  "Report",   "Design",  "Support"};
constexpr std::array<std::string_view, 10> kNouns = {"update",   "question",  "draft",  "summary",
                                                     "reminder", "follow-up", "review", "notes",
                                                     "figures",  "plan"};
constexpr std::array<std::string_view, 10> kPeople = {
    "Marta Quill",   "Oskar Venn", "Lena Hart", "Taro Yamada", "Renee Fabre",
    "Jorgen Moller", "Ada Brook",  "Ivo Kest",  "Nora Lind",   "Sami Roth"};
constexpr std::array<std::string_view, 8> kSentences = {
    "Please find the latest figures below. ",
    "We agreed to move the deadline by one week. ",
    "Could you review the attached document before Friday? ",
    "The team will meet in room 4.12 at nine. ",
    "Caf\xc3\xa9 and cr\xc3\xa8me br\xc3\xbbl\xc3\xa9"
    "e are on the menu. ",
    "\xe4\xbc\x9a\xe8\xad\xb0\xe3\x81\xaf\xe6\x9c\xa8\xe6\x9b\x9c\xe6\x97\xa5\xe3\x81\xa7\xe3\x81"
    "\x99\xe3\x80\x82 ",
    "Numbers are final once finance signs off. ",
    "Let me know if anything is missing. "};

std::string Address(std::string_view person) {
  std::string address;
  for (const char c : person)
    address += c == ' ' ? '.' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return address + "@example.com";
}

std::string Paragraphs(Random& random, std::size_t count) {
  std::string text;
  for (std::size_t p = 0; p < count; ++p) {
    const std::size_t sentences = random.Between(2, 6);
    for (std::size_t s = 0; s < sentences; ++s) text += random.Pick(kSentences);
    text += "\r\n\r\n";
  }
  return text;
}

// Paragraph counts from one line to the size of a long report.
std::size_t BodyParagraphs(Random& random) {
  const std::size_t roll = random.Below(100);
  if (roll < 60) return random.Between(1, 4);
  if (roll < 90) return random.Between(5, 30);
  if (roll < 99) return random.Between(31, 200);
  return random.Between(201, 800);
}

// Attachment sizes from a few bytes to several megabytes.
std::size_t AttachmentSize(Random& random) {
  const std::size_t roll = random.Below(1000);
  if (roll < 700) return random.Between(16, 20'000);
  if (roll < 950) return random.Between(20'000, 200'000);
  if (roll < 995) return random.Between(200'000, 1'000'000);
  return random.Between(1'000'000, 4'000'000);
}

Binary RandomBytes(Random& random, std::size_t size, std::string_view header) {
  Binary data(size);
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const std::uint64_t word = random.Next();
    std::memcpy(&data[i], &word, 8);
  }
  for (; i < size; ++i) data[i] = static_cast<std::uint8_t>(random.Next());
  std::memcpy(data.data(), header.data(), std::min(header.size(), size));
  return data;
}

std::string HtmlOf(const std::string& text) {
  std::string html = "<html><head><meta charset=\"utf-8\"></head><body><p>";
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 4, "\r\n\r\n") == 0) {
      html += "</p><p>";
      i += 3;
    } else {
      html += text[i];
    }
  }
  return html + "</p></body></html>";
}

std::string RtfOf(const std::string& text) {
  std::string rtf = "{\\rtf1\\ansi\\ansicpg65001\\deff0{\\fonttbl{\\f0 Calibri;}}\\f0\\fs22 ";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (text.compare(i, 2, "\r\n") == 0) {
      rtf += "\\par\r\n";
      ++i;
    } else if (c == '\\' || c == '{' || c == '}') {
      rtf += '\\';
      rtf += static_cast<char>(c);
    } else if (c >= 0x80) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\'%02x", c);
      rtf += escaped;
    } else {
      rtf += static_cast<char>(c);
    }
  }
  return rtf + "}";
}

void AddSyntheticAttachments(Random& random, Message& message) {
  static constexpr std::array<std::string_view, 6> kExtensions = {"pdf",  "png", "txt",
                                                                  "docx", "zip", "csv"};
  const std::size_t count = random.Between(1, 2);
  for (std::size_t i = 0; i < count; ++i) {
    if (random.Chance(3)) {
      Message& inner = message.AddEmbeddedMessage(u"Forwarded message");
      inner.SetSubject(u"Forwarded: " + U(random.Pick(kTopics))).SetBody(U(Paragraphs(random, 1)));
      inner.AddRecipient(U(random.Pick(kPeople)), u"someone@example.com", RecipientType::kTo);
      continue;
    }
    const std::string_view extension = random.Pick(kExtensions);
    const std::string_view header = extension == "pdf"   ? "%PDF-1.4\n"
                                    : extension == "png" ? "\x89PNG\r\n\x1a\n"
                                                         : "";
    Binary data = RandomBytes(random, AttachmentSize(random), header);
    if (random.Chance(4)) {
      message.AddAttachment(std::nullopt, std::move(data));
    } else {
      message.AddAttachment(U(std::string(random.Pick(kNouns)) + "-" + std::to_string(i + 1) + "." +
                              std::string(extension)),
                            std::move(data));
    }
  }
}

Message SyntheticMessage(std::uint64_t seed, std::size_t index) {
  Random random(seed * 0x9E3779B97F4A7C15ull + index);
  Message message("IPM.Note");
  const std::string subject = std::string(random.Pick(kTopics)) + " " +
                              std::string(random.Pick(kNouns)) + " #" + std::to_string(index);
  message.SetSubject(U(random.Chance(15) ? "RE: " + subject : subject))
      .Set(tag::kConversationTopic, U(subject));
  const std::string_view sender = random.Pick(kPeople);
  const std::int64_t sent = 1577836800 + static_cast<std::int64_t>(index) * 1800 +
                            static_cast<std::int64_t>(random.Below(1800));
  SetMailHeaders(message, U(sender), U(Address(sender)), sent, random.Chance(80) ? kFlagRead : 0);
  const std::size_t to = random.Between(1, 3);
  for (std::size_t i = 0; i < to; ++i) {
    const std::string_view person = random.Pick(kPeople);
    message.AddRecipient(U(person), U(Address(person)), RecipientType::kTo);
  }
  if (random.Chance(30))
    message.AddRecipient(u"Team List", u"team@example.com", RecipientType::kCc);
  if (random.Chance(10))
    message.AddRecipient(u"Archive", u"archive@example.com", RecipientType::kBcc);

  const std::string text = Paragraphs(random, BodyParagraphs(random));
  const std::size_t kind = random.Below(100);
  if (kind < 45) {
    message.SetBody(U(text)).SetHtml(HtmlOf(text));
  } else if (kind < 70) {
    message.SetBody(U(text));
  } else if (kind < 85) {
    message.SetBody(U(text)).SetRtf(RtfOf(text));
  } else {
    message.SetHtml(HtmlOf(text));
  }
  if (random.Chance(15)) AddSyntheticAttachments(random, message);
  return message;
}

struct SyntheticFolder {
  std::u16string_view path[3];
  unsigned weight;
};

}  // namespace

Store SyntheticStore(std::size_t count, std::uint64_t seed) {
  static constexpr SyntheticFolder kFolders[] = {
      {{u"Inbox"}, 30},
      {{u"Inbox", u"Projects"}, 10},
      {{u"Inbox", u"Projects", u"Harbour"}, 5},
      {{u"Inbox", u"Newsletters"}, 8},
      {{u"Inbox", u"Receipts"}, 4},
      {{u"Sent Items"}, 15},
      {{u"Archive", u"2021"}, 6},
      {{u"Archive", u"2022"}, 7},
      {{u"Archive", u"2023"}, 8},
      {{u"Clients", u"Alpha"}, 3},
      {{u"Clients", u"Beta"}, 2},
      {{u"Clients", u"Gamma"}, 2},
  };
  unsigned total_weight = 0;
  for (const auto& folder : kFolders) total_weight += folder.weight;

  Store store(u"Synthetic " + U(std::to_string(count)));
  std::size_t assigned = 0;
  for (std::size_t f = 0; f < std::size(kFolders); ++f) {
    Folder* folder = &store.top();
    for (const std::u16string_view part : kFolders[f].path) {
      if (part.empty()) break;
      Folder* found = nullptr;
      for (const auto& child : folder->folders()) {
        if (child->name() == part) found = child.get();
      }
      folder = found ? found : &folder->AddFolder(std::u16string(part), u"IPF.Note");
    }
    const std::size_t share =
        f + 1 == std::size(kFolders) ? count - assigned : count * kFolders[f].weight / total_weight;
    const std::size_t first = assigned;
    folder->AddMessages(share,
                        [seed, first](std::size_t i) { return SyntheticMessage(seed, first + i); });
    assigned += share;
  }
  return store;
}

Store WideFolderStore(std::size_t count) {
  Store store(u"Wide folder");
  store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessages(count, [](std::size_t i) {
    Message message("IPM.Note");
    message.SetSubject(u"Message " + U(std::to_string(i + 1)))
        .SetBody(u"Body of message " + U(std::to_string(i + 1)) + u".\r\n");
    message.AddRecipient(u"Marta Quill", u"marta.quill@example.com", RecipientType::kTo);
    return message;
  });
  return store;
}

Store DeepStore(int depth) {
  Store store(u"Deep folders");
  Folder* folder = &store.top();
  for (int level = 1; level <= depth; ++level) {
    folder = &folder->AddFolder(u"Level " + U(std::to_string(level)), u"IPF.Note");
    folder->AddMessage("IPM.Note").SetSubject(u"At level " + U(std::to_string(level)));
  }
  return store;
}

Store SpecialNamesStore() {
  Store store(u"Special names");
  Folder& parent = store.top().AddFolder(u"a/b\\c:d*e?f<g>h|i", u"IPF.Note");
  parent.AddMessage("IPM.Note").SetSubject(u"In a folder named with / \\ : * ? < > |");
  parent.AddFolder(u"..", u"IPF.Note").AddMessage("IPM.Note").SetSubject(u"Dot dot");
  store.top().AddFolder(u" trailing space ", u"IPF.Note");
  store.top().AddFolder(u"CON", u"IPF.Note");
  store.top().AddFolder(u"\u65e5\u672c\u8a9e \u00e9t\u00e9", u"IPF.Note");
  return store;
}

}  // namespace pstgen
