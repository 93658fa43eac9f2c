// Times a conversion through the desktop window: scan a store, tick every folder, Convert into
// a destination, and wait for the worker, with every box and picker answered at once. Prints
// one JSON line: {"scan_s": ..., "convert_s": ..., "status": "..."}. Run it under Xvfb (or
// QT_QPA_PLATFORM=offscreen) beside `brindlemoor-cli convert` on the same store.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/folder_tree_ctrl.h"
#include "app/tarnwick_dlg.h"
#include "app/transparent_static.h"
#include "app/user_interaction.h"

namespace {

using bm::app::CTarnwickDlg;

// Answers every box with its default and every folder picker with the destination.
class AnsweringUser : public bm::app::UserInteraction {
 public:
  explicit AnsweringUser(QString destination) : destination_(std::move(destination)) {}
  int MessageBox(QWidget*, const QString&, const QString&, unsigned style) override {
    return (style & 0xF) == bm::mb::kYesNo ? bm::mb::kIdNo : bm::mb::kIdOk;
  }
  std::optional<QString> OpenPstFile(QWidget*) override { return std::nullopt; }
  std::optional<QString> BrowseForFolder(QWidget*, const QString&) override { return destination_; }
  void OpenExternal(const QUrl&) override {}
  void Terminate(int) override {}

 private:
  QString destination_;
};

// Seconds until the window's worker has ended.
double WaitForWorker(CTarnwickDlg& window, const QElapsedTimer& clock) {
  while (window.WorkerRunning()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: brindlemoor-bench-desktop PST DESTINATION\n");
    return 2;
  }
  const QString pst = QString::fromLocal8Bit(argv[1]);
  const QString destination = QString::fromLocal8Bit(argv[2]);
  CTarnwickDlg window(std::make_unique<AnsweringUser>(destination), bm::app::RealEngine());
  window.ShowAtStart();
  // The browser engine starts its helper processes when the window first shows; a person
  // converts long after that, so the timed run does not share the machine with them.
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 3000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(10);
  }

  QElapsedTimer clock;
  clock.start();
  window.OpenAndScanFile(pst);
  const double scan_s = WaitForWorker(window, clock);
  if (window.tree()->root_item() == bm::kNoTreeItem) {
    std::fprintf(stderr, "the store was not scanned\n");
    return 1;
  }
  window.tree()->ToggleCheck(window.tree()->root_item());

  clock.restart();
  window.OnConvert();
  const double convert_s = WaitForWorker(window, clock);
  const QJsonObject result{
      {"scan_s", scan_s}, {"convert_s", convert_s}, {"status", window.status_text()->text()}};
  std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
  return 0;
}
