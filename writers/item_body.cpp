#include "writers/item_body.h"

#include <string>

#include "base/text.h"

namespace bm {

namespace {

ItemBody Chosen(BodySource source, const mapi::Body& body) {
  ItemBody chosen;
  chosen.source = source;
  chosen.record.kind = body.kind;
  if (body.kind == BodyKind::kText) {
    // Plain text travels as UTF-8 whatever its stored form.
    const std::string utf8 = ToUtf8(DecodeCodePage(body.bytes, body.code_page));
    chosen.record.bytes.assign(utf8.begin(), utf8.end());
  } else {
    chosen.record.bytes = body.bytes;
  }
  chosen.reported_size = chosen.record.bytes.empty() ? 0 : chosen.record.bytes.size() + 1;
  return chosen;
}

}  // namespace

ItemBody EmailBody(const mapi::Bodies& bodies) {
  if (bodies.html) return Chosen(BodySource::kHtml, *bodies.html);
  if (bodies.rtf && !bodies.rtf->bytes.empty()) return Chosen(BodySource::kRtf, *bodies.rtf);
  if (bodies.text && !bodies.text->bytes.empty()) return Chosen(BodySource::kText, *bodies.text);
  return ItemBody{};
}

ItemBody TextItemBody(const mapi::Bodies& bodies) {
  if (bodies.html) return Chosen(BodySource::kHtml, *bodies.html);
  if (bodies.text) return Chosen(BodySource::kText, *bodies.text);
  if (bodies.rtf) return Chosen(BodySource::kRtf, *bodies.rtf);
  return ItemBody{};
}

}  // namespace bm
