#include "engine/export_handle.h"

namespace bm {

int export_handle_initialize(std::unique_ptr<export_handle>& session) {
  if (session) return -1;
  session = std::make_unique<export_handle>();
  return 1;
}

int export_handle_free(std::unique_ptr<export_handle>& session) {
  session.reset();
  return 1;
}

int export_handle_set_target_path(export_handle* session, std::u16string_view target) {
  if (session == nullptr) return -1;
  if (!target.empty()) session->target_path = target;
  return 1;
}

int export_handle_set_export_paths(export_handle* session) {
  if (session == nullptr || session->target_path.empty()) return -1;
  // No separator is inserted: a target path ending with one gives a sub-directory of it.
  session->items_export_path = session->target_path + u"xxxexportdata";
  return 1;
}

}  // namespace bm
