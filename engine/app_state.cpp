#include "engine/app_state.h"

#include "base/log.h"
#include "base/paths.h"
#include "msg/messaging_session.h"

namespace bm {

AppState::AppState(MainWindow& window) : main_window(window) {}

AppState::~AppState() {
  messaging_session.reset();
  CloseStore();
}

void AppState::Log(std::u16string_view message) const {
  AppendLog(ToPath(paths.log_file_path), message);
}

void AppState::ReportWritten(std::u16string_view kind) {
  if (conversion_mode) report.Written(std::u16string(kind));
}

void AppState::ReportFailure(std::u16string item, std::u16string reason, std::u16string folder,
                             int number) {
  if (!conversion_mode) return;
  Log(u"Not converted: " + item + u": " + reason);
  report.Failed(std::move(item), std::move(reason), std::move(folder), number);
}

void AppState::CloseStore() {
  folder_nodes.clear();
  store.reset();
}

}  // namespace bm
