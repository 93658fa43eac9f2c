// Pictures an e-mail's HTML body shows from its own attachments ("cid:" references, or the
// attachment's content location): on a click the pictures the body names are written into a
// folder of the temp folder, and the body is shown from a copy whose references point at them.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "pst/store.h"
#include "writers/row_records.h"

namespace bm {

// The temp folder's sub-folder for the pictures of the e-mail shown last; emptied on each
// click that writes pictures, so it never holds another message's files.
inline constexpr std::u16string_view kInlinePicturesFolder = u"inline-parts";

struct RewrittenHtml {
  std::string html;
  // Positions in the parts given of those the body refers to, each once, in order of first use.
  std::vector<std::size_t> used;
};

// `html` with each reference to one of `parts` replaced by that part's entry in `urls` (same
// positions; an empty URL leaves the part's references alone). A reference is the value of an
// attribute (after "=") or of a CSS url(), quoted or not: "cid:" and a content id, compared
// without case, with or without its angle brackets, percent-escapes decoded; or a part's
// content location, exactly. Nothing else in the page changes.
RewrittenHtml RewriteInlineReferences(std::string_view html, std::span<const InlinePart> parts,
                                      std::span<const std::string> urls);

// What a click shows in the body frame of an e-mail.
struct BodyToShow {
  std::u16string path;
  // Why each picture that the body names could not be written (the page shows it missing).
  std::vector<std::string> failures;
};

// The body file of `record` when its HTML names none of its pictures (or it is no HTML file);
// otherwise the pictures it names are written from `store` into kInlinePicturesFolder of
// `temp_folder` (a path ending with a separator), and the rewritten copy of the body is
// written as the preview's "htmlbody.html", which is shown instead. An error when the
// folder or the copy could not be written.
Result<BodyToShow> WriteBodyWithPictures(const pst::Store& store, const EmailRowRecord& record,
                                         std::u16string_view temp_folder);

}  // namespace bm
