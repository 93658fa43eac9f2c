#include "app/tarnwick_app.h"

#include <unistd.h>
#include <QApplication>
#include <QByteArray>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QTimer>

#include "app/tarnwick_dlg.h"
#include "app/user_interaction.h"

namespace bm::app {

void CTarnwickApp::PrepareProcess() {
  // The browser engine shares one GL context between views; it must be set before the
  // application object exists.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // The preview is drawn in software, so the window stays a plain raster window: with the
  // preview composed through OpenGL every status and progress update redraws the whole
  // window, which on a machine without a graphics processor takes CPU time from the
  // conversion's workers. A backend named in the environment is kept.
  if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) {
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  }
  // Chromium refuses its sandbox under the superuser; the preview loads local files only and
  // runs no scripts, so it runs without one there.
  if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
}

int CTarnwickApp::InitInstance(const std::optional<QString>& pst_file) {
  QApplication::setApplicationName(QStringLiteral("Brindlemoor"));
  QApplication::setApplicationVersion(QStringLiteral("5.4"));
  CTarnwickDlg window(std::make_unique<QtUserInteraction>(), RealEngine());
  window.ShowAtStart();
  if (pst_file) {
    // Once the event loop runs, so that the window is up before the scan reports to it.
    QTimer::singleShot(0, &window, [&window, path = *pst_file] { window.OpenAndScanFile(path); });
  }
  return QApplication::exec();
}

}  // namespace bm::app
