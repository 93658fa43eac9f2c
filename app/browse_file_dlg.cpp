#include "app/browse_file_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <system_error>

#include "app/control_ids.h"
#include "app/user_interaction.h"
#include "base/paths.h"
#include "base/run_temp_folder.h"
#include "engine/app_state.h"
#include "engine/main_window.h"

namespace bm::app {

namespace {

QString ToQ(std::u16string_view text) {
  return QString::fromStdU16String(std::u16string(text));
}

QPushButton* MakeButton(const QString& text, int id, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  SetControlId(button, id);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

std::u16string SystemTempPath() {
  return WithTrailingSeparator(FromPath(RunTempFolder::DefaultParent()));
}

std::u16string TempFolderUnder(std::u16string_view chosen_folder) {
  return WithTrailingSeparator(chosen_folder);
}

browsefile::browsefile(AppState& state, UserInteraction& user, QWidget* parent)
    : QDialog(parent), state_(state), user_(user) {
  setWindowTitle(QStringLiteral("Select Microsoft Outlook PST File"));
  setSizeGripEnabled(true);

  pst_path_ = new QLineEdit(this);
  SetControlId(pst_path_, browse_control::kPstPath);
  temp_path_ = new QLineEdit(this);
  SetControlId(temp_path_, browse_control::kTempPath);
  pst_path_->setMinimumWidth(360);
  for (QLineEdit* field : {pst_path_, temp_path_}) field->setReadOnly(true);
  pst_path_->setText(ToQ(state_.paths.pst_path));
  temp_path_->setText(ToQ(state_.paths.temp_parent));

  QPushButton* browse = MakeButton(QStringLiteral("Browse"), browse_control::kBrowse, this);
  QPushButton* select_temp =
      MakeButton(QStringLiteral("Select temp folder"), browse_control::kSelectTempFolder, this);
  QPushButton* start =
      MakeButton(QStringLiteral("Start Scanning"), browse_control::kStartScanning, this);
  start->setDefault(true);
  QPushButton* cancel = MakeButton(QStringLiteral("Cancel"), browse_control::kCancel, this);

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QStringLiteral("Please Select Outlook (*.pst) File"), this), 0, 0, 1,
                  3);
  grid->addWidget(new QLabel(QStringLiteral("Select pst file:"), this), 1, 0);
  grid->addWidget(pst_path_, 1, 1);
  grid->addWidget(browse, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Temp file location"), this), 2, 0);
  grid->addWidget(temp_path_, 2, 1);
  grid->addWidget(select_temp, 2, 2);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(start);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 3, 0, 1, 3);

  connect(browse, &QPushButton::clicked, this, &browsefile::OnBrowse);
  connect(select_temp, &QPushButton::clicked, this, &browsefile::OnSelectTempFolder);
  connect(start, &QPushButton::clicked, this, &browsefile::OnStartScanning);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void browsefile::OnBrowse() {
  const std::optional<QString> chosen = user_.OpenPstFile(this);
  if (!chosen) return;
  state_.paths.pst_path = chosen->toStdU16String();
  pst_path_->setText(*chosen);
  // Choosing a file always puts the temp folder back at its default place.
  state_.paths.system_temp_path = SystemTempPath();
  state_.paths.temp_parent = state_.paths.system_temp_path;
  temp_path_->setText(ToQ(state_.paths.temp_parent));
}

void browsefile::OnSelectTempFolder() {
  const std::optional<QString> chosen =
      user_.BrowseForFolder(this, QStringLiteral("Select the Temp Path"));
  if (!chosen) return;
  if (chosen->isEmpty()) {
    state_.paths.system_temp_path = SystemTempPath();
    state_.paths.temp_parent = state_.paths.system_temp_path;
  } else {
    state_.paths.temp_parent = TempFolderUnder(chosen->toStdU16String());
  }
  temp_path_->setText(ToQ(state_.paths.temp_parent));
}

void browsefile::OnStartScanning() {
  std::error_code error;
  const bool exists = !state_.paths.pst_path.empty() &&
                      std::filesystem::exists(ToPath(state_.paths.pst_path), error);
  if (!exists) {
    user_.MessageBox(nullptr, QStringLiteral("Please select valid file"), ToQ(kCaption14),
                     mb::kReport);
    return;
  }
  accept();
}

}  // namespace bm::app
