// The export session: where the scan roots its temporary layout and how 8-bit strings decode.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace bm {

struct export_handle {
  std::u16string target_path;        // the temp folder path
  std::u16string items_export_path;  // target path immediately followed by "xxxexportdata"
  int ascii_codepage = 1252;
};

// Creates the session; -1 when one exists already.
int export_handle_initialize(std::unique_ptr<export_handle>& session);

// Releases the session; a missing session is a success.
int export_handle_free(std::unique_ptr<export_handle>& session);

// An empty target leaves the path unset and succeeds; a missing session fails.
int export_handle_set_target_path(export_handle* session, std::u16string_view target);

// Builds the items export path; -1 when the target path is unset.
int export_handle_set_export_paths(export_handle* session);

}  // namespace bm
