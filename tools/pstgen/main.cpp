#include <iostream>

#include "tools/pstgen/checker.h"
#include "tools/pstgen/pstgen.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (std::string(argv[1]) == "--check") {
    const auto report = pstgen::CheckPst(argv[2]);
    for (const auto& p : report.problems) std::cout << p << "\n";
    std::cout << report.nodes << " nodes " << report.blocks << " blocks " << report.folders << " folders " << report.messages << " messages nbt " << report.nbt_levels << " bbt " << report.bbt_levels << "\n";
    return report.ok() ? 0 : 1;
  }
  pstgen::Store store(u"Test store");
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  pstgen::Message& mail = inbox.AddMessage("IPM.Note");
  mail.SetSubject(u"Hello w\u00f6rld").SetBody(u"Plain text body").SetHtml("<p>Hi</p>");
  mail.SetRtf("{\\rtf1\\ansi Hello RTF}");
  mail.AddRecipient(u"Ann", u"ann@example.com", pstgen::RecipientType::kTo);
  mail.AddRecipient(u"Bob", u"bob@example.com", pstgen::RecipientType::kCc);
  mail.AddAttachment(u"report.pdf", pstgen::Bytes("%PDF-1.4 test"));
  mail.AddAttachment(std::nullopt, pstgen::Bytes("%PDF-1.4 unnamed"));
  mail.SetNamed(pstgen::kPsetidCommon, 0x8580, u"value");
  inbox.AddFolder(u"Sub", u"IPF.Note").AddMessage("IPM.Contact").SetSubject(u"Contact");
  pstgen::Write(store, argv[1]);
  std::cout << "ok\n";
}
