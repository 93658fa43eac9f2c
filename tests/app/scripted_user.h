// A UserInteraction that answers from a script and records what it was asked, so that no
// test ever leaves a modal box or picker waiting.
#pragma once

#include <QString>
#include <QUrl>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "app/user_interaction.h"
#include "engine/main_window.h"

namespace bm::app::test {

class ScriptedUser : public UserInteraction {
 public:
  struct NumberQuestion {
    QString title;
    QString label;
    int value = 0;
    int minimum = 0;
    int maximum = 0;
  };

  struct Box {
    QString text;
    QString caption;
    unsigned style = 0;
    bool owned = false;
  };

  int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                 unsigned style) override {
    if (on_box_) on_box_(text);
    std::lock_guard lock(mutex_);
    boxes_.push_back({text, caption, style, owner != nullptr});
    if (box_answers_.empty()) return (style & 0xF) == mb::kYesNo ? mb::kIdNo : mb::kIdOk;
    const int answer = box_answers_.front();
    box_answers_.pop_front();
    return answer;
  }
  std::optional<QString> OpenPstFile(QWidget*) override {
    std::lock_guard lock(mutex_);
    return Next(file_answers_);
  }
  std::optional<QString> BrowseForFolder(QWidget*, const QString& title) override {
    std::lock_guard lock(mutex_);
    folder_titles_.push_back(title);
    return Next(folder_answers_);
  }
  std::optional<int> AskNumber(QWidget*, const QString& title, const QString& label, int value,
                               int minimum, int maximum) override {
    std::lock_guard lock(mutex_);
    number_questions_.push_back({title, label, value, minimum, maximum});
    if (number_answers_.empty()) return std::nullopt;  // unscripted: the user cancels
    const std::optional<int> answer = number_answers_.front();
    number_answers_.pop_front();
    return answer;
  }
  void OpenExternal(const QUrl& url) override {
    std::lock_guard lock(mutex_);
    opened_.push_back(url);
  }
  void Terminate(int exit_code) override {
    std::lock_guard lock(mutex_);
    exit_codes_.push_back(exit_code);
  }

  // Runs whenever a box is shown, before it is answered (on the thread that shows it).
  void OnBox(std::function<void(const QString& text)> look) { on_box_ = std::move(look); }

  void AnswerBox(int answer) {
    std::lock_guard lock(mutex_);
    box_answers_.push_back(answer);
  }
  void AnswerFile(std::optional<QString> path) {
    std::lock_guard lock(mutex_);
    file_answers_.push_back(std::move(path));
  }
  void AnswerFolder(std::optional<QString> path) {
    std::lock_guard lock(mutex_);
    folder_answers_.push_back(std::move(path));
  }

  void AnswerNumber(std::optional<int> number) {
    std::lock_guard lock(mutex_);
    number_answers_.push_back(number);
  }

  std::vector<NumberQuestion> number_questions() const {
    std::lock_guard lock(mutex_);
    return number_questions_;
  }
  std::vector<Box> boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
  }
  std::vector<QUrl> opened() const {
    std::lock_guard lock(mutex_);
    return opened_;
  }
  std::vector<QString> folder_titles() const {
    std::lock_guard lock(mutex_);
    return folder_titles_;
  }
  std::vector<int> exit_codes() const {
    std::lock_guard lock(mutex_);
    return exit_codes_;
  }
  void ClearBoxes() {
    std::lock_guard lock(mutex_);
    boxes_.clear();
  }

 private:
  static std::optional<QString> Next(std::deque<std::optional<QString>>& answers) {
    if (answers.empty()) return std::nullopt;  // unscripted: the user cancels
    const bool chosen = answers.front().has_value();
    const QString path = answers.front().value_or(QString());
    answers.pop_front();
    if (!chosen) return std::nullopt;
    return path;
  }

  mutable std::mutex mutex_;
  std::function<void(const QString&)> on_box_;
  std::deque<int> box_answers_;
  std::deque<std::optional<QString>> file_answers_;
  std::deque<std::optional<QString>> folder_answers_;
  std::deque<std::optional<int>> number_answers_;
  std::vector<NumberQuestion> number_questions_;
  std::vector<Box> boxes_;
  std::vector<QUrl> opened_;
  std::vector<QString> folder_titles_;
  std::vector<int> exit_codes_;
};

}  // namespace bm::app::test
