#include "app/user_interaction.h"

#include <QDesktopServices>
#include <QFileDialog>
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

std::optional<QString> QtUserInteraction::OpenPstFile(QWidget* parent) {
  const QString path = QFileDialog::getOpenFileName(
      parent, QStringLiteral("Select Microsoft Outlook PST File..."), QString(),
      QStringLiteral("Microsoft Outlook PST File (*pst) (*.pst)"));
  if (path.isEmpty()) return std::nullopt;
  return path;
}

std::optional<QString> QtUserInteraction::BrowseForFolder(QWidget* parent, const QString& title) {
  QFileDialog dialog(parent, title);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.front();
}

void QtUserInteraction::OpenExternal(const QString& url_or_path) {
  const QUrl url = QUrl::fromUserInput(url_or_path);
  QDesktopServices::openUrl(url);  // a missing handler or file is not reported
}

void QtUserInteraction::Terminate(int exit_code) {
  std::_Exit(exit_code);
}

}  // namespace bm::app
