// What the desktop program asks of the person and the desktop: message boxes, the file and
// folder pickers, the default handler for help pages, and ending the process. The program
// uses the Qt implementation; tests put a scripted one in its place so that no modal box is
// ever left waiting.
#pragma once

#include <QString>
#include <QUrl>
#include <optional>

class QWidget;

namespace bm::app {

class UserInteraction {
 public:
  virtual ~UserInteraction() = default;

  // A message box; `owner` is null for boxes that stand alone. Returns mb::kIdOk, kIdYes or
  // kIdNo.
  virtual int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                         unsigned style) = 0;
  // The PST open dialog; nothing when cancelled.
  virtual std::optional<QString> OpenPstFile(QWidget* parent) = 0;
  // The folder browser; nothing when cancelled, an empty text for a folder with no path.
  virtual std::optional<QString> BrowseForFolder(QWidget* parent, const QString& title) = 0;
  // Asks for a whole number from `minimum` to `maximum`, offering `value`; nothing when
  // cancelled.
  virtual std::optional<int> AskNumber(QWidget* parent, const QString& title, const QString& label,
                                       int value, int minimum, int maximum) = 0;
  // Opens a file, folder or address with the desktop's default handler.
  virtual void OpenExternal(const QUrl& url) = 0;
  // Ends the process at once with `exit_code`; nothing is cleaned up.
  virtual void Terminate(int exit_code) = 0;
};

// Where the pickers open: the home folder first, then the folder last used with each.
class PickerFolders {
 public:
  PickerFolders();
  QString ForFile() const { return file_folder_; }
  QString ForFolder() const { return folder_folder_; }
  // A file was chosen: the file picker opens in its folder from now on.
  void FileChosen(const QString& file_path);
  // A folder was chosen: the folder picker opens there from now on.
  void FolderChosen(const QString& folder_path);

 private:
  QString file_folder_;
  QString folder_folder_;
};

// Qt's own dialogs, QDesktopServices and std::_Exit.
class QtUserInteraction : public UserInteraction {
 public:
  int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                 unsigned style) override;
  std::optional<QString> OpenPstFile(QWidget* parent) override;
  std::optional<QString> BrowseForFolder(QWidget* parent, const QString& title) override;
  std::optional<int> AskNumber(QWidget* parent, const QString& title, const QString& label,
                               int value, int minimum, int maximum) override;
  void OpenExternal(const QUrl& url) override;
  [[noreturn]] void Terminate(int exit_code) override;

  const PickerFolders& picker_folders() const { return folders_; }

 private:
  PickerFolders folders_;
};

}  // namespace bm::app
