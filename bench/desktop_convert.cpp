// Times the desktop window the way a person uses it, with every box and picker answered at
// once; run it under Xvfb (or QT_QPA_PLATFORM=offscreen). Prints one JSON line.
//
//   brindlemoor-bench-desktop PST DESTINATION
//     Scan, tick every folder, Convert into DESTINATION and wait for the worker, to compare
//     with `brindlemoor-cli convert` on the same store: {"scan_s", "convert_s",
//     "convert_cpu_s" (the process's CPU time during the conversion), "status"}.
//   brindlemoor-bench-desktop --folder-load PST FOLDER
//     Scan, then click the folder named FOLDER in the tree: {"scan_s", "first_rows_s" (the
//     list holds 100 rows), "first_paint_s" (the list is painted holding them), "all_rows_s"
//     (the load has ended and every row is in the list), "rows"}, times from the click.
#include <sys/resource.h>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <memory>
#include <optional>

#include "app/folder_tree_ctrl.h"
#include "app/tarnwick_app.h"
#include "app/tarnwick_dlg.h"
#include "app/transparent_static.h"
#include "app/user_interaction.h"

namespace {

using bm::app::CTarnwickDlg;

constexpr int kFirstRows = 100;

// Answers every box with its default and every folder picker with the destination.
class AnsweringUser : public bm::app::UserInteraction {
 public:
  explicit AnsweringUser(QString destination) : destination_(std::move(destination)) {}
  int MessageBox(QWidget*, const QString&, const QString&, unsigned style) override {
    return (style & 0xF) == bm::mb::kYesNo ? bm::mb::kIdNo : bm::mb::kIdOk;
  }
  std::optional<QString> OpenPstFile(QWidget*) override { return std::nullopt; }
  std::optional<QString> BrowseForFolder(QWidget*, const QString&) override { return destination_; }
  std::optional<int> AskNumber(QWidget*, const QString&, const QString&, int, int, int) override {
    return std::nullopt;
  }
  void OpenExternal(const QUrl&) override {}
  void Terminate(int) override {}

 private:
  QString destination_;
};

double Seconds(const QElapsedTimer& clock) {
  return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

// User and system time of every thread of this process so far (the server and the browser
// engine's helper processes are not in it).
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop, as the program does, until the window's worker has ended, looking
// every few milliseconds; returns the seconds on `clock` then.
double WaitForWorker(CTarnwickDlg& window, const QElapsedTimer& clock) {
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, &loop, [&] {
    if (!window.WorkerRunning()) loop.quit();
  });
  look.start(2);
  if (window.WorkerRunning()) loop.exec();
  return Seconds(clock);
}

// The browser engine starts its helper processes when the window first shows; a person
// converts long after that, so the timed run does not share the machine with them.
void LetTheWindowSettle() {
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 3000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(10);
  }
}

// Notes when the list's viewport is first painted holding `rows` rows.
class PaintWatch : public QObject {
 public:
  PaintWatch(QTableWidget& list, const QElapsedTimer& clock, int rows)
      : list_(list), clock_(clock), rows_(rows) {
    list_.viewport()->installEventFilter(this);
  }
  ~PaintWatch() override { list_.viewport()->removeEventFilter(this); }
  std::optional<double> painted() const { return painted_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!painted_ && event->type() == QEvent::Paint && list_.rowCount() >= rows_) {
      painted_ = Seconds(clock_);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QTableWidget& list_;
  const QElapsedTimer& clock_;
  int rows_;
  std::optional<double> painted_;
};

QTreeWidgetItem* FindFolder(CTarnwickDlg& window, const QString& name) {
  const QList<QTreeWidgetItem*> found =
      window.tree()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.front();
}

int TimeConversion(CTarnwickDlg& window, const QString& pst) {
  QElapsedTimer clock;
  clock.start();
  window.OpenAndScanFile(pst);
  const double scan_s = WaitForWorker(window, clock);
  if (window.tree()->root_item() == bm::kNoTreeItem) {
    std::fprintf(stderr, "the store was not scanned\n");
    return 1;
  }
  window.tree()->ToggleCheck(window.tree()->root_item());

  const double cpu_before = ProcessCpuSeconds();
  clock.restart();
  window.OnConvert();
  const double convert_s = WaitForWorker(window, clock);
  const QJsonObject result{{"scan_s", scan_s},
                           {"convert_s", convert_s},
                           {"convert_cpu_s", ProcessCpuSeconds() - cpu_before},
                           {"status", window.status_text()->text()}};
  std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
  return 0;
}

int TimeFolderLoad(CTarnwickDlg& window, const QString& pst, const QString& folder_name) {
  QElapsedTimer clock;
  clock.start();
  window.OpenAndScanFile(pst);
  const double scan_s = WaitForWorker(window, clock);
  QTreeWidgetItem* folder = FindFolder(window, folder_name);
  if (folder == nullptr) {
    std::fprintf(stderr, "the store has no folder %s\n", qPrintable(folder_name));
    return 1;
  }

  QTableWidget& list = *window.list();
  const PaintWatch paint(list, clock, kFirstRows);
  // The rows are counted as they are inserted: the list holds them from then on.
  std::optional<double> first_rows_s;
  const QMetaObject::Connection counting =
      QObject::connect(list.model(), &QAbstractItemModel::rowsInserted, &list, [&] {
        if (!first_rows_s && list.rowCount() >= kFirstRows) first_rows_s = Seconds(clock);
      });
  clock.restart();
  window.tree()->setCurrentItem(folder);  // what a click on its name does
  const double all_rows_s = WaitForWorker(window, clock);
  QObject::disconnect(counting);
  // A last paint of the list, in case the load ended before one came.
  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  const QJsonObject result{
      {"scan_s", scan_s},
      {"first_rows_s", first_rows_s ? QJsonValue(*first_rows_s) : QJsonValue()},
      {"first_paint_s", paint.painted() ? QJsonValue(*paint.painted()) : QJsonValue()},
      {"all_rows_s", all_rows_s},
      {"rows", list.rowCount()}};
  std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bm::app::CTarnwickApp::PrepareProcess();  // as the program does
  QApplication application(argc, argv);
  const bool folder_load = argc == 4 && QString::fromLocal8Bit(argv[1]) == "--folder-load";
  if (argc != 3 && !folder_load) {
    std::fprintf(stderr,
                 "usage: brindlemoor-bench-desktop PST DESTINATION\n"
                 "       brindlemoor-bench-desktop --folder-load PST FOLDER\n");
    return 2;
  }
  // The window's settings (the conversion jobs) are the defaults, whatever the person
  // running the benchmark has chosen, so the window and the command line run alike.
  const QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

  const QString pst = QString::fromLocal8Bit(argv[folder_load ? 2 : 1]);
  const QString destination = folder_load ? QString() : QString::fromLocal8Bit(argv[2]);
  CTarnwickDlg window(std::make_unique<AnsweringUser>(destination), bm::app::RealEngine());
  window.ShowAtStart();
  LetTheWindowSettle();
  if (folder_load) return TimeFolderLoad(window, pst, QString::fromLocal8Bit(argv[3]));
  return TimeConversion(window, pst);
}
