// The main window: owns every control, the application state the workers share, and the
// worker threads (scan, folder load, conversion). It is the window the engine reports to;
// calls that arrive from a worker are carried to the interface thread and waited for.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <thread>
#include <type_traits>
#include <vector>

#include "app/engine_calls.h"
#include "app/layout_resizer.h"
#include "app/ui_rules.h"
#include "app/ui_update_queue.h"
#include "engine/main_window.h"

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSizeGrip;
class QTableWidget;
class QTimer;
class QTreeWidgetItem;

namespace bm {
class AppState;
}

namespace bm::app {

class CExplorer1;
class CFolderTreeCtrl1;
class CTransparentStatic;
class UserInteraction;

inline constexpr int kSizeGripId = -1;  // the resizer's entry for the size grip
inline constexpr int kListColumnCount = 7;

class CTarnwickDlg : public QMainWindow, public MainWindow {
  Q_OBJECT

 public:
  CTarnwickDlg(std::unique_ptr<UserInteraction> user, EngineCalls engine,
               QWidget* parent = nullptr);
  ~CTarnwickDlg() override;

  // MainWindow: callable from any thread.
  void SetStatusText(std::u16string_view text) override;
  void SetProgressRange(int minimum, int maximum) override;
  void SetProgressPos(int position) override;
  int MessageBox(std::u16string_view text, std::u16string_view caption, unsigned style,
                 BoxOwner owner) override;
  void EnableControl(int control_id, bool enable) override;
  void EnableMenuCommand(int command_id, bool enable) override;
  TreeItem InsertTreeItem(TreeItem parent, std::u16string_view text,
                          std::u16string_view kind) override;
  bool IsTreeItemChecked(TreeItem item) override;
  void DeleteAllListRows() override;
  void InsertListRow(int position, const ListRow& row) override;
  std::optional<std::u16string> BrowseForFolder(std::u16string_view title) override;
  void Navigate(std::u16string_view file_path) override;
  void OpenExternal(std::u16string_view url_or_path) override;

  // Shows the window maximised; where the platform will not maximise it, it still covers the
  // screen's available area instead of opening at the size of its empty layout.
  void ShowAtStart();

  // Commands (interface thread).
  void OnOpenAndScan();
  // Open & Scan without the dialog, for a file named on the command line: the temp folder is
  // the one the dialog would choose (the previous run's, else the default one).
  void OpenAndScanFile(const QString& pst_path);
  void OnOpenDestination();
  void OnConvert();
  // Asks how many items the next Convert writes at once and keeps the answer in the
  // program's settings.
  void OnConversionJobs();
  void OnStop();
  void OnExit();
  void OnHelp();
  void OnAbout();
  void OnFolderSelected(QTreeWidgetItem* current);
  void OnClickItemList();

  // Whether a worker (or the open-and-scan dialog) holds the one-worker gate.
  bool WorkerRunning() const;
  // Processes events until no worker runs.
  void WaitForWorkers();

  AppState& state() { return *state_; }
  QWidget* Control(int control_id) const;
  QAction* MenuCommand(int command_id) const;
  CFolderTreeCtrl1* tree() const { return tree_; }
  QTableWidget* list() const { return list_; }
  CExplorer1* browser() const { return browser_; }
  CTransparentStatic* status_text() const { return status_; }
  QProgressBar* progress() const { return progress_; }
  QWidget* client() const { return client_; }
  QSizeGrip* size_grip() const { return size_grip_; }
  const LayoutResizer& resizer() const { return resizer_; }
  LayoutResizer& resizer() { return resizer_; }
  const BaseUnits& base_units() const { return base_units_; }
  QLabel* status_pane(int index) const { return panes_.at(index); }
  // The destination root of the last conversion; empty before the first.
  const std::u16string& last_destination() const { return last_destination_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class WorkerKind { kScan, kFolderLoad, kConversion };

  void CreateControls();
  void CreateMenu();
  void CreateStatusBar();
  void InsertListColumns();
  void RegisterAnchors();
  void OnClientResized();
  void PlaceBrowser();
  // Empties the item list and the preview with it: a preview never outlives its row.
  void ClearItemList();
  // Open & Scan after the dialog (or the command line) has set the paths; `started` names
  // the log file.
  void StartScan(std::chrono::system_clock::time_point started);
  // The status line and the Open destination command once a conversion has ended: called
  // when its closing box is asked for, so the counts are there while the box is up, and when
  // its worker ends (once per run).
  void ShowConversionOutcome();
  QRect TemplateRect(int x, int y, int width, int height) const;

  ControlStates CurrentStates() const;
  void ApplyPhase(Phase phase);
  void StartWorker(WorkerKind kind, std::function<void()> work);
  void OnWorkerEnded(WorkerKind kind);
  bool ConfirmAndTerminate();

  // Runs `call` on the interface thread and returns its result; from a worker the worker
  // waits until the interface thread has run it.
  template <class Call>
  auto OnUiThread(Call call) -> std::invoke_result_t<Call>;
  // Runs `update` on the interface thread without making a worker wait: posted updates are
  // applied together at most every kFlushIntervalMs, and before anything a worker waits for.
  void PostUpdate(UiUpdateQueue::Slot slot, std::function<void()> update);
  void ScheduleFlush();
  void FlushUpdates();
  // Places the list rows a flush has taken, in the order they were posted.
  void InsertPendingRows();
  void SetRowCells(int row, const std::array<QString, kListColumnCount>& cells);
  static constexpr qint64 kFlushIntervalMs = 100;

  std::unique_ptr<UserInteraction> user_;
  EngineCalls engine_;
  std::unique_ptr<AppState> state_;
  std::thread worker_thread_;
  UiUpdateQueue updates_;
  QTimer* flush_timer_ = nullptr;
  // List rows taken by the flush under way, each to go where the list's row count then put
  // it (interface thread only).
  struct PendingRow {
    int position = 0;
    std::array<QString, kListColumnCount> cells;
  };
  std::vector<PendingRow> pending_rows_;
  QElapsedTimer since_flush_;

  LayoutResizer resizer_;
  BaseUnits base_units_;
  std::map<int, QAction*> commands_;
  std::vector<QLabel*> panes_;
  QWidget* client_ = nullptr;
  CExplorer1* browser_ = nullptr;
  CFolderTreeCtrl1* tree_ = nullptr;
  QTableWidget* list_ = nullptr;
  QProgressBar* progress_ = nullptr;
  CTransparentStatic* status_ = nullptr;
  QLineEdit* pst_path_ = nullptr;
  QSizeGrip* size_grip_ = nullptr;
  QPushButton* open_destination_ = nullptr;
  QElapsedTimer conversion_clock_;
  bool conversion_outcome_due_ = false;
  std::u16string last_destination_;
  bool layout_ready_ = false;
};

}  // namespace bm::app
