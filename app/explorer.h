// The preview: a web view that shows local pages only. Scripts are off and every request that
// is not for a local file is blocked, so a previewed message cannot reach the network (remote
// images, trackers) or run code.
#pragma once

#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <atomic>
#include <memory>

class QWebEngineProfile;

namespace bm::app {

// Only local files may be loaded.
bool IsAllowedPreviewUrl(const QUrl& url);

class LocalFilesOnly : public QWebEngineUrlRequestInterceptor {
  Q_OBJECT

 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void interceptRequest(QWebEngineUrlRequestInfo& info) override;
  int blocked_count() const { return blocked_.load(); }

 private:
  std::atomic<int> blocked_{0};  // requests arrive on the browser's IO thread
};

class CExplorer1 : public QWebEngineView {
  Q_OBJECT

 public:
  explicit CExplorer1(QWidget* parent = nullptr);
  ~CExplorer1() override;

  // Shows a local file.
  void Navigate(const QString& file_path);

  int blocked_request_count() const { return interceptor_->blocked_count(); }

 private:
  // Declared first so they go last: the page must go before its profile.
  std::unique_ptr<LocalFilesOnly> interceptor_;
  std::unique_ptr<QWebEngineProfile> profile_;
  std::unique_ptr<QWebEnginePage> page_;
};

}  // namespace bm::app
