// The open-and-scan dialog: the PST file and the place of the temp folder. Its results go into
// the application state, which outlives it. The two fields only display those paths (they are
// read-only: only Browse and Select temp folder change them), and they open showing the paths
// that Start Scanning will use, those of the previous run included.
#pragma once

#include <QDialog>

class QLineEdit;

namespace bm {
class AppState;
}

namespace bm::app {

class UserInteraction;

namespace browse_control {
inline constexpr int kPstPath = 1006;
inline constexpr int kTempPath = 1009;
inline constexpr int kBrowse = 1010;
inline constexpr int kSelectTempFolder = 1011;
inline constexpr int kStartScanning = 1;
inline constexpr int kCancel = 2;
}  // namespace browse_control

// The user's runtime or temp directory with a trailing separator: where the run's private
// temp folder is made unless the user chooses another place.
std::u16string SystemTempPath();

// The place for the private temp folder under a folder the user chose: that folder, with one
// trailing separator.
std::u16string TempFolderUnder(std::u16string_view chosen_folder);

class browsefile : public QDialog {
  Q_OBJECT

 public:
  browsefile(AppState& state, UserInteraction& user, QWidget* parent = nullptr);

 private:
  void OnBrowse();
  void OnSelectTempFolder();
  void OnStartScanning();

  AppState& state_;
  UserInteraction& user_;
  QLineEdit* pst_path_ = nullptr;
  QLineEdit* temp_path_ = nullptr;
};

}  // namespace bm::app
