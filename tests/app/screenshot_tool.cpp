// brindlemoor-screenshot PST OUT.png: opens the main window, scans PST through the
// open-and-scan dialog, lists the Inbox, previews its first item and saves a picture of the
// screen. Run under Xvfb (scripts/screenshot does).
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "app/browse_file_dlg.h"
#include "app/control_ids.h"
#include "app/explorer.h"
#include "app/folder_tree_ctrl.h"
#include "app/tarnwick_app.h"
#include "app/tarnwick_dlg.h"
#include "scripted_user.h"

namespace {

using bm::app::CTarnwickDlg;

bool WaitUntil(const std::function<bool()>& done, int patience_ms = 60000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > patience_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  return true;
}

// Lets the window paint for a while.
void Settle(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
}

void ClickOnNextModal(std::vector<int> buttons) {
  auto* timer = new QTimer();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, buttons] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    timer->stop();
    timer->deleteLater();
    for (int id : buttons) {
      if (auto* button = qobject_cast<QAbstractButton*>(bm::app::FindControl(modal, id))) {
        button->click();
      }
    }
  });
  timer->start();
}

int Fail(const char* what) {
  std::fprintf(stderr, "brindlemoor-screenshot: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: brindlemoor-screenshot PST OUT.png");
  bm::app::CTarnwickApp::PrepareProcess();
  QApplication application(argc, argv);
  const QString pst = QString::fromLocal8Bit(argv[1]);
  const QString out = QString::fromLocal8Bit(argv[2]);
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / "brindlemoor-screenshot";
  std::filesystem::create_directories(work);

  auto user = std::make_unique<bm::app::test::ScriptedUser>();
  bm::app::test::ScriptedUser& script = *user;
  CTarnwickDlg window(std::move(user), bm::app::RealEngine());
  window.ShowAtStart();
  Settle(300);

  script.AnswerFile(pst);
  script.AnswerFolder(QString::fromStdString(work.string()));
  ClickOnNextModal({bm::app::browse_control::kBrowse, bm::app::browse_control::kSelectTempFolder,
                    bm::app::browse_control::kStartScanning});
  window.OnOpenAndScan();
  if (!WaitUntil([&] { return !window.WorkerRunning(); })) return Fail("the scan did not end");

  const QList<QTreeWidgetItem*> inbox =
      window.tree()->findItems(QStringLiteral("Inbox"), Qt::MatchExactly | Qt::MatchRecursive);
  if (inbox.isEmpty()) return Fail("the store has no Inbox");
  window.tree()->setCurrentItem(inbox.front());
  if (!WaitUntil([&] { return !window.WorkerRunning(); })) return Fail("the load did not end");
  if (window.list()->rowCount() == 0) return Fail("the Inbox lists nothing");

  int loads = 0;
  QObject::connect(window.browser(), &QWebEngineView::loadFinished, [&] { ++loads; });
  window.list()->selectRow(0);
  window.OnClickItemList();
  if (!WaitUntil([&] { return loads > 0; })) return Fail("the preview did not load");
  Settle(1500);

  const QPixmap shot = window.screen()->grabWindow(
      0, window.x(), window.y(), window.frameGeometry().width(), window.frameGeometry().height());
  if (shot.isNull() || !shot.save(out, "PNG")) return Fail("cannot save the picture");
  std::error_code ignored;
  std::filesystem::remove_all(work, ignored);
  std::fflush(stdout);
  std::_Exit(0);  // like the program's own Exit: no tear-down of the browser engine needed
}
