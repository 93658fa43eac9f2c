#include "app/user_interaction.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>
#include <cstdlib>

#include "engine/main_window.h"

namespace bm::app {

int QtUserInteraction::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                                  unsigned style) {
  const bool yes_no = (style & 0x000F) == mb::kYesNo;
  QMessageBox box(QMessageBox::Question, caption, text,
                  yes_no ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, owner);
  // A system-modal box blocks every window of the program, owned or not.
  if (style & mb::kSystemModal) box.setWindowModality(Qt::ApplicationModal);
  const int answer = box.exec();
  if (!yes_no) return mb::kIdOk;
  return answer == QMessageBox::Yes ? mb::kIdYes : mb::kIdNo;
}

PickerFolders::PickerFolders() : file_folder_(QDir::homePath()), folder_folder_(QDir::homePath()) {}

void PickerFolders::FileChosen(const QString& file_path) {
  const QString folder = QFileInfo(file_path).absolutePath();
  if (!folder.isEmpty()) file_folder_ = folder;
}

void PickerFolders::FolderChosen(const QString& folder_path) {
  if (!folder_path.isEmpty()) folder_folder_ = folder_path;
}

std::optional<QString> QtUserInteraction::OpenPstFile(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Select Microsoft Outlook PST File..."),
                     folders_.ForFile(),
                     QStringLiteral("Microsoft Outlook PST File (*pst) (*.pst)"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  folders_.FileChosen(chosen.front());
  return chosen.front();
}

std::optional<QString> QtUserInteraction::BrowseForFolder(QWidget* parent, const QString& title) {
  QFileDialog dialog(parent, title, folders_.ForFolder());
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return QString();
  folders_.FolderChosen(chosen.front());
  return chosen.front();
}

std::optional<int> QtUserInteraction::AskNumber(QWidget* parent, const QString& title,
                                                const QString& label, int value, int minimum,
                                                int maximum) {
  bool accepted = false;
  const int chosen =
      QInputDialog::getInt(parent, title, label, value, minimum, maximum, 1, &accepted);
  if (!accepted) return std::nullopt;
  return chosen;
}

void QtUserInteraction::OpenExternal(const QUrl& url) {
  QDesktopServices::openUrl(url);  // a missing handler or file is not reported
}

void QtUserInteraction::Terminate(int exit_code) {
  std::_Exit(exit_code);
}

}  // namespace bm::app
