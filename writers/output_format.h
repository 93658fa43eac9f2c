// What a conversion makes of an e-mail (and of every class the text writers do not take).
#pragma once

#include <optional>
#include <string_view>

namespace bm {

enum class OutputFormat {
  kMsg,  // an Outlook MSG file, a copy of the stored message
  kEml,  // an internet message file composed from the e-mail's record
};

// "msg" or "eml"; nothing for any other text.
inline std::optional<OutputFormat> OutputFormatNamed(std::string_view name) {
  if (name == "msg") return OutputFormat::kMsg;
  if (name == "eml") return OutputFormat::kEml;
  return std::nullopt;
}

}  // namespace bm
