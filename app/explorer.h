// The preview: a web view that shows the preview's own pages only. Scripts are off and every
// request outside the preview's temp folder is blocked, local or remote, so a previewed
// message can neither reach the network (remote images, trackers) nor show the user's other
// files (an <iframe> or <img> pointing at file:///etc/passwd), nor run code.
#pragma once

#include <QString>
#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <memory>
#include <mutex>
#include <vector>

class QWebEngineProfile;

namespace bm::app {

// Whether the preview may load `url`: a local file inside `folder` (symbolic links resolved),
// or the blank page. Nothing else, and no file at all while `folder` is empty.
bool IsAllowedPreviewUrl(const QUrl& url, const QString& folder);

// Decides every request the preview's pages make. Requests arrive on the browser's IO thread.
class PreviewRequestFilter : public QWebEngineUrlRequestInterceptor {
  Q_OBJECT

 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void interceptRequest(QWebEngineUrlRequestInfo& info) override;

  void SetAllowedFolder(const QString& folder);
  // Counts a refusal when `url` may not be loaded.
  bool Allows(const QUrl& url);
  int blocked_count() const;
  std::vector<QUrl> blocked_urls() const;

 private:
  mutable std::mutex mutex_;
  QString folder_;
  static constexpr std::size_t kKeptBlockedUrls = 64;
  std::vector<QUrl> blocked_;  // the first few refused, to be looked at
  int blocked_total_ = 0;
};

// Refuses navigations (of the page and of its frames) the filter does not allow.
class PreviewPage : public QWebEnginePage {
  Q_OBJECT

 public:
  PreviewPage(QWebEngineProfile* profile, PreviewRequestFilter& filter)
      : QWebEnginePage(profile), filter_(filter) {}

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool is_main_frame) override;

 private:
  PreviewRequestFilter& filter_;
};

class CExplorer1 : public QWebEngineView {
  Q_OBJECT

 public:
  explicit CExplorer1(QWidget* parent = nullptr);
  ~CExplorer1() override;

  // Shows a local file.
  void Navigate(const QString& file_path);
  // Shows nothing (the blank page).
  void Clear();
  bool ShowsNothing() const;

  // The folder whose files the preview may load; nothing outside it is shown.
  void SetAllowedFolder(const QString& folder) { filter_->SetAllowedFolder(folder); }

  int blocked_request_count() const { return filter_->blocked_count(); }
  std::vector<QUrl> blocked_requests() const { return filter_->blocked_urls(); }

 private:
  // Declared first so they go last: the page must go before its profile.
  std::unique_ptr<PreviewRequestFilter> filter_;
  std::unique_ptr<QWebEngineProfile> profile_;
  std::unique_ptr<PreviewPage> page_;
};

}  // namespace bm::app
