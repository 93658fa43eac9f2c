#include "app/explorer.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace bm::app {

namespace {

const QUrl kBlankPage(QStringLiteral("about:blank"));

// The path with its links resolved when it exists, else made absolute and cleaned; a path
// that does not exist cannot be shown anyway, and a link can only point away once it does.
QString RealPath(const QString& path) {
  const QFileInfo info(path);
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

}  // namespace

bool IsAllowedPreviewUrl(const QUrl& url, const QString& folder) {
  if (url == kBlankPage) return true;
  if (!url.isLocalFile() || folder.isEmpty() || !url.host().isEmpty()) return false;
  const QString root = RealPath(folder) + QLatin1Char('/');
  return RealPath(url.toLocalFile()).startsWith(root);
}

void PreviewRequestFilter::interceptRequest(QWebEngineUrlRequestInfo& info) {
  if (!Allows(info.requestUrl())) info.block(true);
}

void PreviewRequestFilter::SetAllowedFolder(const QString& folder) {
  std::lock_guard lock(mutex_);
  folder_ = folder;
}

bool PreviewRequestFilter::Allows(const QUrl& url) {
  std::lock_guard lock(mutex_);
  if (IsAllowedPreviewUrl(url, folder_)) return true;
  // Kept bounded: a page can make any number of requests.
  if (blocked_.size() < kKeptBlockedUrls) blocked_.push_back(url);
  ++blocked_total_;
  return false;
}

int PreviewRequestFilter::blocked_count() const {
  std::lock_guard lock(mutex_);
  return blocked_total_;
}

std::vector<QUrl> PreviewRequestFilter::blocked_urls() const {
  std::lock_guard lock(mutex_);
  return blocked_;
}

bool PreviewPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
  return filter_.Allows(url);
}

CExplorer1::CExplorer1(QWidget* parent)
    : QWebEngineView(parent),
      filter_(std::make_unique<PreviewRequestFilter>()),
      // A profile without a storage name keeps nothing on disk between runs.
      profile_(std::make_unique<QWebEngineProfile>()) {
  profile_->setUrlRequestInterceptor(filter_.get());
  profile_->setHttpCacheType(QWebEngineProfile::NoCache);
  profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  page_ = std::make_unique<PreviewPage>(profile_.get(), *filter_);
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

void CExplorer1::Clear() {
  // Also when the address is blank already: a page may still be on its way in.
  load(kBlankPage);
}

bool CExplorer1::ShowsNothing() const {
  const QUrl shown = url();
  return shown.isEmpty() || shown == kBlankPage;
}

}  // namespace bm::app
