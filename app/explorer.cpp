#include "app/explorer.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace bm::app {

bool IsAllowedPreviewUrl(const QUrl& url) {
  return url.isLocalFile();
}

void LocalFilesOnly::interceptRequest(QWebEngineUrlRequestInfo& info) {
  if (IsAllowedPreviewUrl(info.requestUrl())) return;
  info.block(true);
  ++blocked_;
}

CExplorer1::CExplorer1(QWidget* parent)
    : QWebEngineView(parent),
      interceptor_(std::make_unique<LocalFilesOnly>()),
      // A profile without a storage name keeps nothing on disk between runs.
      profile_(std::make_unique<QWebEngineProfile>()) {
  profile_->setUrlRequestInterceptor(interceptor_.get());
  profile_->setHttpCacheType(QWebEngineProfile::NoCache);
  profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  page_ = std::make_unique<QWebEnginePage>(profile_.get());
  QWebEngineSettings* settings = page_->settings();
  settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
  settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
  setPage(page_.get());
  setContextMenuPolicy(Qt::NoContextMenu);
}

CExplorer1::~CExplorer1() {
  setPage(nullptr);
  page_.reset();
}

void CExplorer1::Navigate(const QString& file_path) {
  load(QUrl::fromLocalFile(file_path));
}

}  // namespace bm::app
