#include "app/tarnwick_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSizeGrip>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/about_dlg.h"
#include "app/browse_file_dlg.h"
#include "app/control_ids.h"
#include "app/explorer.h"
#include "app/folder_tree_ctrl.h"
#include "app/help_link.h"
#include "app/resources.h"
#include "app/transparent_static.h"
#include "app/user_interaction.h"
#include "base/log.h"
#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/conversion_pipeline.h"

namespace bm::app {

namespace {

// Workers that write a conversion's items: the "Conversion jobs" entry of the program's
// settings file (~/.config/Brindlemoor/Brindlemoor.conf); 0 or none means one per core.
constexpr QLatin1StringView kConversionJobsKey("Conversion jobs");
constexpr int kMaxJobsInFile = 256;  // a hand-edited file may go as far as the command line
constexpr int kMaxJobsAsked = 64;

QSettings ProgramSettings() {
  return QSettings(QStringLiteral("Brindlemoor"), QStringLiteral("Brindlemoor"));
}

unsigned ConversionJobsSetting() {
  bool valid = false;
  const int jobs = ProgramSettings().value(kConversionJobsKey).toInt(&valid);
  return valid && jobs > 0 ? static_cast<unsigned>(std::min(jobs, kMaxJobsInFile)) : 0;
}

constexpr const char* kProductAndVersion = "Brindlemoor 5.4";
constexpr const char* kProductSite = "https://brindlemoor.example.org";
constexpr QColor kBackground(245, 245, 245);

// The client area of the dialog template, in dialog units.
constexpr int kTemplateWidth = 637;
constexpr int kTemplateHeight = 313;

static_assert(std::tuple_size_v<ListRow> == kListColumnCount);

struct Column {
  const char* heading;
  int width;
};
constexpr std::array<Column, kListColumnCount> kListColumns{{{"NO", 50},
                                                             {"Items", 0},
                                                             {"From", 200},
                                                             {"E-mail Subject", 250},
                                                             {"Date/time", 150},
                                                             {"Flag", 150},
                                                             {"Size", 60}}};

// The fall-back size of the window where no screen is known (never seen on a desktop).
constexpr QSize kStartSize(1024, 700);

// Space between the item list, the preview and the bottom line's frame, in dialog units.
constexpr int kPreviewGap = 4;

// Anchor flags of the main window's controls, in registration order.
constexpr std::array<std::pair<int, unsigned>, 12> kAnchors{
    {{control::kItemList, 0xD0},
     {control::kPstPathEdit, 0xD0},
     {control::kBrowseButton, 0x90},
     {control::kLogo, 0xD0},
     {control::kExitButton, 0x90},
     {control::kConvertButton, 0x90},
     {control::kStopButton, 0x90},
     {control::kFolderTree, 0x70},
     {control::kProgressBar, 0x60},
     {control::kGroupBox, 0xE0},
     {control::kStatusText, 0xE0},
     {app_control::kOpenDestinationButton, 0x90}}};

QString ToQ(std::u16string_view text) {
  return QString::fromStdU16String(std::u16string(text));
}

PixelRect ToPixelRect(const QRect& rect) {
  return {rect.x(), rect.y(), rect.width(), rect.height()};
}

IntRect ToIntRect(const QRect& rect) {
  return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

Key KeyOf(int qt_key) {
  switch (qt_key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return Key::kEnter;
    case Qt::Key_Escape:
      return Key::kEscape;
    case Qt::Key_C:
      return Key::kC;
    default:
      return Key::kOther;
  }
}

InputEvent Classify(const QEvent* event) {
  InputEvent input;
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride: {
      const auto* key = static_cast<const QKeyEvent*>(event);
      input.kind = InputKind::kKeyPress;
      input.key = KeyOf(key->key());
      input.control_held = key->modifiers() & Qt::ControlModifier;
      break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      input.kind = InputKind::kMouseButton;
      input.right_button = static_cast<const QMouseEvent*>(event)->button() == Qt::RightButton;
      break;
    case QEvent::ContextMenu:
      input.kind = InputKind::kContextMenu;
      break;
    default:
      break;
  }
  return input;
}

}  // namespace

template <class Call>
auto CTarnwickDlg::OnUiThread(Call call) -> std::invoke_result_t<Call> {
  using Result = std::invoke_result_t<Call>;
  // What the worker posted before this call is shown first.
  auto after_updates = [this, call = std::move(call)]() mutable {
    FlushUpdates();
    return call();
  };
  if (QThread::currentThread() == thread()) return after_updates();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(this, std::move(after_updates), Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(this, std::move(after_updates), Qt::BlockingQueuedConnection,
                              &result);
    return result;
  }
}

void CTarnwickDlg::PostUpdate(UiUpdateQueue::Slot slot, std::function<void()> update) {
  if (QThread::currentThread() == thread()) {
    FlushUpdates();
    update();
    InsertPendingRows();
    return;
  }
  if (updates_.Post(slot, std::move(update))) {
    QMetaObject::invokeMethod(
        this, [this] { ScheduleFlush(); }, Qt::QueuedConnection);
  }
}

void CTarnwickDlg::ScheduleFlush() {
  if (flush_timer_->isActive()) return;
  const qint64 waited = since_flush_.isValid() ? since_flush_.elapsed() : kFlushIntervalMs;
  flush_timer_->start(static_cast<int>(std::max<qint64>(0, kFlushIntervalMs - waited)));
}

void CTarnwickDlg::FlushUpdates() {
  for (const UiUpdateQueue::Update& update : updates_.Take()) update();
  InsertPendingRows();
  since_flush_.restart();
}

CTarnwickDlg::CTarnwickDlg(std::unique_ptr<UserInteraction> user, EngineCalls engine,
                           QWidget* parent)
    : QMainWindow(parent), user_(std::move(user)), engine_(std::move(engine)) {
  InitResources();
  state_ = std::make_unique<AppState>(*this);
  flush_timer_ = new QTimer(this);
  flush_timer_->setSingleShot(true);
  connect(flush_timer_, &QTimer::timeout, this, [this] { FlushUpdates(); });
  setWindowTitle(QString::fromLatin1(kProductAndVersion));
  setWindowIcon(QIcon(QStringLiteral(":/brindlemoor/brindlemoor.svg")));

  // The dialog font: its metrics turn the template's dialog units into pixels.
  QFont dialog_font = QApplication::font();
  dialog_font.setPixelSize(11);
  setFont(dialog_font);
  const QFontMetrics metrics(dialog_font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  if (letters > 0 && metrics.height() > 0) {
    base_units_ = {AverageCharWidth(letters), metrics.height()};
  }

  CreateControls();
  CreateMenu();
  RegisterAnchors();
  CreateStatusBar();
  layout_ready_ = true;
  OnClientResized();
  tree_->BuildImageList();
  InsertListColumns();
  ApplyPhase(Phase::kStarted);
  state_->paths.program_directory =
      WithTrailingSeparator(QCoreApplication::applicationDirPath().toStdU16String());

  qApp->installEventFilter(this);
  client_->installEventFilter(this);
}

CTarnwickDlg::~CTarnwickDlg() {
  qApp->removeEventFilter(this);
  state_->stop_flag = 1;
  WaitForWorkers();
  if (worker_thread_.joinable()) worker_thread_.join();
}

void CTarnwickDlg::ShowAtStart() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr && !screen->availableGeometry().isEmpty()) {
    setGeometry(screen->availableGeometry());
  } else {
    resize(kStartSize);
  }
  showMaximized();
}

QRect CTarnwickDlg::TemplateRect(int x, int y, int width, int height) const {
  const int left = DialogUnitsToPixelsX(x, base_units_);
  const int top = DialogUnitsToPixelsY(y, base_units_);
  return QRect(left, top, DialogUnitsToPixelsX(x + width, base_units_) - left,
               DialogUnitsToPixelsY(y + height, base_units_) - top);
}

void CTarnwickDlg::CreateControls() {
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("client"));
  QPalette colours = client_->palette();
  colours.setColor(QPalette::Window, kBackground);
  client_->setPalette(colours);
  client_->setAutoFillBackground(true);
  client_->resize(TemplateRect(0, 0, kTemplateWidth, kTemplateHeight).size());
  setCentralWidget(client_);

  auto place = [this](QWidget* widget, int id, QRect rect) {
    if (id != 0) SetControlId(widget, id);
    widget->setGeometry(rect);
  };

  auto* banner = new QLabel(client_);
  banner->setObjectName(QStringLiteral("banner"));
  banner->setPixmap(
      QIcon(QStringLiteral(":/brindlemoor/banner.svg")).pixmap(TemplateRect(0, 0, 637, 54).size()));
  banner->setScaledContents(true);
  place(banner, 0, TemplateRect(0, 0, 637, 54));

  auto* logo = new QLabel(client_);
  logo->setPixmap(
      QIcon(QStringLiteral(":/brindlemoor/logo.svg")).pixmap(TemplateRect(0, 0, 96, 50).size()));
  // The control stretches with the window; the picture keeps its size and its place.
  logo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  place(logo, control::kLogo, TemplateRect(537, 2, 96, 50));

  place(new QLabel(QStringLiteral("Select Outlook File(*.pst) :"), client_), 0,
        TemplateRect(4, 58, 94, 9));
  place(new QLabel(QStringLiteral("Folder List"), client_), 0, TemplateRect(4, 68, 60, 9));

  pst_path_ = new QLineEdit(client_);
  pst_path_->setEnabled(false);
  place(pst_path_, control::kPstPathEdit, TemplateRect(100, 56, 450, 12));

  auto button = [&](const char* text, int id, int y) {
    auto* push = new QPushButton(QString::fromLatin1(text), client_);
    push->setAutoDefault(false);
    place(push, id, TemplateRect(556, y, 76, 16));
    return push;
  };
  QPushButton* browse = button("Browse PST File", control::kBrowseButton, 79);
  QPushButton* convert = button("Convert", control::kConvertButton, 99);
  QPushButton* stop = button("Stop!", control::kStopButton, 119);
  QPushButton* exit = button("Exit", control::kExitButton, 139);
  connect(browse, &QPushButton::clicked, this, &CTarnwickDlg::OnOpenAndScan);
  connect(convert, &QPushButton::clicked, this, &CTarnwickDlg::OnConvert);
  connect(stop, &QPushButton::clicked, this, &CTarnwickDlg::OnStop);
  connect(exit, &QPushButton::clicked, this, &CTarnwickDlg::OnExit);

  tree_ = new CFolderTreeCtrl1(client_);
  place(tree_, control::kFolderTree, TemplateRect(4, 78, 120, 208));
  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { OnFolderSelected(current); });

  list_ = new QTableWidget(client_);
  place(list_, control::kItemList, TemplateRect(127, 79, 423, 94));
  connect(list_, &QTableWidget::clicked, this, [this] { OnClickItemList(); });

  browser_ = new CExplorer1(client_);
  place(browser_, control::kBrowser, TemplateRect(127, 177, 423, 108));

  open_destination_ = button("Open destination\nfolder", app_control::kOpenDestinationButton, 159);
  open_destination_->setGeometry(TemplateRect(556, 159, 76, 24));
  open_destination_->setToolTip(QStringLiteral("Open the last conversion's folder"));
  open_destination_->hide();  // until a conversion has made a folder to open
  connect(open_destination_, &QPushButton::clicked, this, &CTarnwickDlg::OnOpenDestination);

  const int grip_width = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const QSize client_size = TemplateRect(0, 0, kTemplateWidth, kTemplateHeight).size();
  // The frame of the bottom line ends short of the size grip in the corner.
  auto* group = new QGroupBox(client_);
  QRect group_place = TemplateRect(2, 289, 633, 21);
  group_place.setRight(std::min(group_place.right(), client_size.width() - grip_width - 2));
  place(group, control::kGroupBox, group_place);

  progress_ = new QProgressBar(client_);
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  place(progress_, control::kProgressBar, TemplateRect(5, 296, 168, 12));

  status_ = new CTransparentStatic(client_);
  place(status_, control::kStatusText, TemplateRect(176, 297, 369, 11));

  size_grip_ = new QSizeGrip(client_);
  size_grip_->setGeometry(client_size.width() - grip_width, client_size.height() - grip_width,
                          grip_width, grip_width);
  size_grip_->raise();
}

void CTarnwickDlg::CreateMenu() {
  auto add = [this](QMenu* menu, int id, const char* text, void (CTarnwickDlg::*handler)(),
                    QKeySequence shortcut = {}) {
    QAction* action = menu->addAction(QString::fromLatin1(text));
    action->setShortcut(shortcut);
    action->setData(id);
    action->setObjectName(QStringLiteral("command%1").arg(id));
    connect(action, &QAction::triggered, this, handler);
    commands_[id] = action;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  add(file, command::kOpenAndScan, "Open && Scan", &CTarnwickDlg::OnOpenAndScan,
      QKeySequence::Open);
  add(file, command::kConvert, "Convert", &CTarnwickDlg::OnConvert);
  add(file, app_command::kOpenDestination, "Open destination folder",
      &CTarnwickDlg::OnOpenDestination);
  MenuCommand(app_command::kOpenDestination)->setEnabled(false);
  add(file, command::kExit, "Exit", &CTarnwickDlg::OnExit, QKeySequence(Qt::CTRL | Qt::Key_Q));
  QMenu* action = menuBar()->addMenu(QStringLiteral("Action"));
  add(action, command::kStopProcess, "Stop Process", &CTarnwickDlg::OnStop);
  add(action, app_command::kConversionJobs, "Conversion jobs...", &CTarnwickDlg::OnConversionJobs);
  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  add(help, command::kSoftwareHelp, "Software Help", &CTarnwickDlg::OnHelp);
  add(help, command::kAbout, "About", &CTarnwickDlg::OnAbout);
}

void CTarnwickDlg::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setSizeGripEnabled(false);  // the resizer owns the grip
  const std::array<int, 3> right_edges{290, 510, 650};
  int left = 0;
  for (int right : right_edges) {
    auto* pane = new QLabel(bar);
    pane->setFixedWidth(right - left);
    bar->addWidget(pane);
    panes_.push_back(pane);
    left = right;
  }
  auto* last = new QLabel(bar);
  bar->addWidget(last, 1);
  panes_.push_back(last);
  panes_[0]->setText(QString::fromLatin1(kProductAndVersion));
  panes_[1]->setText(QString::fromLatin1(kProductSite));
}

void CTarnwickDlg::InsertListColumns() {
  list_->setColumnCount(static_cast<int>(kListColumns.size()));
  QStringList headings;
  for (const Column& column : kListColumns) headings << QString::fromLatin1(column.heading);
  list_->setHorizontalHeaderLabels(headings);
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list_->horizontalHeader()->setMinimumSectionSize(0);
  for (int i = 0; i < static_cast<int>(kListColumns.size()); ++i) {
    list_->setColumnWidth(i, kListColumns[i].width);
  }
  list_->setColumnHidden(1, true);
  list_->verticalHeader()->hide();
  // A click on a heading neither sorts nor selects: it is answered and nothing more.
  list_->horizontalHeader()->setSectionsClickable(false);
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setWordWrap(false);
}

void CTarnwickDlg::RegisterAnchors() {
  for (const auto& [id, flags] : kAnchors) resizer_.Register(id, flags);
  resizer_.Register(kSizeGripId, 0xA0);
  // The controls stand where the template puts them, whatever size the client has by now.
  const IntRect client = ToIntRect(TemplateRect(0, 0, kTemplateWidth, kTemplateHeight));
  resizer_.Capture(client, client, [this](int id) -> std::optional<IntRect> {
    QWidget* widget = id == kSizeGripId ? size_grip_ : Control(id);
    if (!widget) return std::nullopt;
    return ToIntRect(widget->geometry());
  });
}

void CTarnwickDlg::OnClientResized() {
  const QSize size = client_->size();
  size_grip_->setVisible(!isMaximized());
  const QPoint origin = client_->mapToGlobal(QPoint(0, 0));
  for (const ControlMove& move : resizer_.Apply(ToIntRect(QRect(origin, size)))) {
    QWidget* widget = move.control_id == kSizeGripId ? size_grip_ : Control(move.control_id);
    if (widget) widget->setGeometry(move.x, move.y, move.width, move.height);
  }
  PlaceBrowser();
  client_->update();
}

void CTarnwickDlg::PlaceBrowser() {
  const PixelRect place =
      BrowserRect(ToPixelRect(list_->geometry()), Control(control::kGroupBox)->geometry().top(),
                  DialogUnitsToPixelsY(kPreviewGap, base_units_));
  browser_->setGeometry(place.x, place.y, place.width, place.height);
}

// ---- MainWindow ------------------------------------------------------------------------------

void CTarnwickDlg::SetStatusText(std::u16string_view text) {
  PostUpdate(UiUpdateQueue::Slot::kStatusText,
             [this, text = ToQ(text)] { status_->SetText(text); });
}

void CTarnwickDlg::SetProgressRange(int minimum, int maximum) {
  PostUpdate(UiUpdateQueue::Slot::kOrdered, [this, minimum, maximum] {
    // An empty range would make the bar spin as "busy": show it empty instead.
    progress_->setRange(minimum, std::max(maximum, minimum + 1));
    progress_->setValue(minimum);
  });
}

void CTarnwickDlg::SetProgressPos(int position) {
  PostUpdate(UiUpdateQueue::Slot::kProgressPos, [this, position] {
    progress_->setValue(std::clamp(position, progress_->minimum(), progress_->maximum()));
  });
}

int CTarnwickDlg::MessageBox(std::u16string_view text, std::u16string_view caption, unsigned style,
                             BoxOwner owner) {
  return OnUiThread([this, text = ToQ(text), caption = ToQ(caption), style, owner] {
    // A running conversion asks for no box but its closing one.
    ShowConversionOutcome();
    return user_->MessageBox(owner == BoxOwner::kMainWindow ? this : nullptr, text, caption, style);
  });
}

void CTarnwickDlg::EnableControl(int control_id, bool enable) {
  PostUpdate(UiUpdateQueue::Slot::kOrdered, [this, control_id, enable] {
    if (QWidget* widget = Control(control_id)) widget->setEnabled(enable);
  });
}

void CTarnwickDlg::EnableMenuCommand(int command_id, bool enable) {
  PostUpdate(UiUpdateQueue::Slot::kOrdered, [this, command_id, enable] {
    if (QAction* action = MenuCommand(command_id)) action->setEnabled(enable);
  });
}

TreeItem CTarnwickDlg::InsertTreeItem(TreeItem parent, std::u16string_view text,
                                      std::u16string_view kind) {
  return OnUiThread([this, parent, text = std::u16string(text), kind = std::u16string(kind)] {
    return tree_->InsertNode(text, kind, parent);
  });
}

bool CTarnwickDlg::IsTreeItemChecked(TreeItem item) {
  return OnUiThread([this, item] { return tree_->IsChecked(item); });
}

void CTarnwickDlg::DeleteAllListRows() {
  PostUpdate(UiUpdateQueue::Slot::kOrdered, [this] { ClearItemList(); });
}

void CTarnwickDlg::ClearItemList() {
  pending_rows_.clear();  // rows posted before the list was emptied would go with it
  list_->setRowCount(0);
  browser_->Clear();
}

void CTarnwickDlg::InsertListRow(int position, const ListRow& row) {
  PendingRow pending{.position = position, .cells = {}};
  // The texts are made on the worker; the interface thread only places them.
  for (std::size_t column = 0; column < row.size(); ++column) {
    pending.cells[column] = ToQ(row[column]);
  }
  PostUpdate(UiUpdateQueue::Slot::kOrdered,
             [this, pending = std::move(pending)] { pending_rows_.push_back(pending); });
}

void CTarnwickDlg::InsertPendingRows() {
  std::size_t next = 0;
  while (next < pending_rows_.size()) {
    // Rows that each land at the list's end, as a listing's rows do, are added with one change
    // of the row count; any other row is inserted where it lands.
    const int first = list_->rowCount();
    int count = first;
    std::size_t end = next;
    while (end < pending_rows_.size() && pending_rows_[end].position >= count) {
      ++count;
      ++end;
    }
    if (end == next) {
      const int at = std::clamp(pending_rows_[next].position, 0, list_->rowCount());
      list_->insertRow(at);
      SetRowCells(at, pending_rows_[next].cells);
      ++next;
      continue;
    }
    list_->setRowCount(count);
    for (int row = first; next < end; ++row, ++next) SetRowCells(row, pending_rows_[next].cells);
  }
  pending_rows_.clear();
}

void CTarnwickDlg::SetRowCells(int row, const std::array<QString, kListColumnCount>& cells) {
  for (int column = 0; column < kListColumnCount; ++column) {
    list_->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
}

std::optional<std::u16string> CTarnwickDlg::BrowseForFolder(std::u16string_view title) {
  return OnUiThread([this, title = ToQ(title)]() -> std::optional<std::u16string> {
    const std::optional<QString> chosen = user_->BrowseForFolder(this, title);
    if (!chosen) return std::nullopt;
    return chosen->toStdU16String();
  });
}

void CTarnwickDlg::Navigate(std::u16string_view file_path) {
  PostUpdate(UiUpdateQueue::Slot::kOrdered,
             [this, path = ToQ(file_path)] { browser_->Navigate(path); });
}

void CTarnwickDlg::OpenExternal(std::u16string_view url_or_path) {
  PostUpdate(UiUpdateQueue::Slot::kOrdered, [this, target = std::u16string(url_or_path)] {
    user_->OpenExternal(ExternalUrl(target, state_->paths.program_directory));
  });
}

// ---- Commands ------------------------------------------------------------------------------

void CTarnwickDlg::OnOpenAndScan() {
  // The log file is named for the moment the command was given, not when the dialog closed.
  const auto started = std::chrono::system_clock::now();
  // The gate is held from the dialog on, so nothing else starts while it is open.
  if (!state_->worker.TryStart()) {
    QApplication::beep();
    return;
  }
  browsefile dialog(*state_, *user_, this);
  if (dialog.exec() != QDialog::Accepted) {
    state_->worker.Finish();
    return;
  }
  StartScan(started);
}

void CTarnwickDlg::OpenAndScanFile(const QString& pst_path) {
  const auto started = std::chrono::system_clock::now();
  if (!state_->worker.TryStart()) {
    QApplication::beep();
    return;
  }
  const QFileInfo file(pst_path);
  if (pst_path.isEmpty() || !file.exists()) {
    state_->worker.Finish();
    user_->MessageBox(nullptr, QStringLiteral("Please select valid file"), ToQ(kCaption14),
                      mb::kReport);
    return;
  }
  // The temp folder is made where the last scan made it (the user's runtime or temp directory
  // when none has been chosen).
  state_->paths.pst_path = file.absoluteFilePath().toStdU16String();
  StartScan(started);
}

void CTarnwickDlg::StartScan(std::chrono::system_clock::time_point started) {
  tree_->DeleteAllNodes();
  ClearItemList();
  const std::u16string pst_path = state_->paths.pst_path;
  pst_path_->setText(ToQ(pst_path));
  engine_.prepare_scan(*state_, pst_path, state_->paths.temp_parent, started);
  browser_->SetAllowedFolder(ToQ(state_->paths.temp_folder_path));
  state_->root_tree_item = tree_->InsertNode(pst_path, u"", kNoTreeItem);
  ApplyPhase(Phase::kScanning);
  StartWorker(WorkerKind::kScan, [this] { engine_.scan(*state_); });
}

void CTarnwickDlg::OnConvert() {
  if (!engine_.convert_command || !engine_.convert) return;
  if (!state_->worker.TryStart()) {
    QApplication::beep();
    return;
  }
  std::u16string destination;
  if (!engine_.convert_command(*state_, destination)) {
    state_->worker.Finish();
    return;
  }
  // Read at every Convert, so a change made since (here or in the file) is used.
  state_->conversion_jobs = ConversionJobsSetting();
  ApplyPhase(Phase::kConverting);
  conversion_clock_.start();
  conversion_outcome_due_ = true;
  StartWorker(WorkerKind::kConversion,
              [this, destination] { engine_.convert(*state_, destination); });
}

void CTarnwickDlg::OnConversionJobs() {
  const unsigned stored = ConversionJobsSetting();
  const unsigned offered = stored != 0 ? stored : DefaultConversionJobs();
  const std::optional<int> chosen = user_->AskNumber(
      this, QStringLiteral("Conversion jobs"),
      QStringLiteral("Items written at once by the next Convert (one per core: %1):")
          .arg(DefaultConversionJobs()),
      std::clamp(static_cast<int>(offered), 1, kMaxJobsAsked), 1, kMaxJobsAsked);
  if (!chosen) return;
  QSettings settings = ProgramSettings();
  settings.setValue(kConversionJobsKey, std::clamp(*chosen, 1, kMaxJobsAsked));
}

void CTarnwickDlg::OnFolderSelected(QTreeWidgetItem* current) {
  if (current == nullptr) return;
  if (!state_->worker.TryStart()) return;  // a scan or conversion owns the store now
  const TreeItem selected = tree_->HandleOf(current);
  ApplyPhase(Phase::kLoadingFolder);
  StartWorker(WorkerKind::kFolderLoad,
              [this, selected] { engine_.load_folder(*state_, selected); });
}

void CTarnwickDlg::OnClickItemList() {
  if (!engine_.click) return;
  std::optional<ClickedRow> first_selected;
  int first_row = -1;
  for (const QItemSelectionRange& range : list_->selectionModel()->selection()) {
    if (first_row < 0 || range.top() < first_row) first_row = range.top();
  }
  if (first_row >= 0) {
    auto text = [this, first_row](int column) {
      const QTableWidgetItem* item = list_->item(first_row, column);
      return item ? item->text().toStdU16String() : std::u16string();
    };
    first_selected = ClickedRow{.number = text(0), .kind = text(1), .from = text(2)};
  }
  engine_.click(*state_, first_selected);
}

void CTarnwickDlg::OnStop() {
  const int answer = MessageBox(u"Do you want to stop process ?       ", kCaption1, mb::kConfirm,
                                BoxOwner::kMainWindow);
  if (answer == mb::kIdYes) state_->stop_flag = 1;
}

bool CTarnwickDlg::ConfirmAndTerminate() {
  const int answer =
      MessageBox(u"Do you want to Exit ?       ", kCaption1, mb::kConfirm, BoxOwner::kMainWindow);
  if (answer != mb::kIdYes) return false;
  // Workers end where they are, mid-file if need be; the run's private temp folder goes first
  // (its log kept), since nothing runs on after the process ends.
  state_->temp_folder.reset();
  user_->Terminate(0);
  return true;
}

void CTarnwickDlg::OnExit() {
  ConfirmAndTerminate();
}

void CTarnwickDlg::closeEvent(QCloseEvent* event) {
  // The close box and Alt+F4 are the Exit command: the window never closes on its own.
  event->ignore();
  ConfirmAndTerminate();
}

void CTarnwickDlg::OnHelp() {
  user_->OpenExternal(ManualUrl(state_->paths.program_directory, QString()));
}

void CTarnwickDlg::OnOpenDestination() {
  if (last_destination_.empty()) return;
  user_->OpenExternal(QUrl::fromLocalFile(ToQ(last_destination_)));
}

void CTarnwickDlg::OnAbout() {
  CAboutDlg about(this);
  about.exec();
}

// ---- Workers -------------------------------------------------------------------------------

bool CTarnwickDlg::WorkerRunning() const {
  return state_->worker.Busy();
}

void CTarnwickDlg::WaitForWorkers() {
  while (state_->worker.Busy()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
}

ControlStates CTarnwickDlg::CurrentStates() const {
  return {.convert = Control(control::kConvertButton)->isEnabled(),
          .browse = Control(control::kBrowseButton)->isEnabled(),
          .tree = tree_->isEnabled()};
}

void CTarnwickDlg::ApplyPhase(Phase phase) {
  const ControlStates next = StatesAfter(phase, CurrentStates());
  Control(control::kConvertButton)->setEnabled(next.convert);
  MenuCommand(command::kConvert)->setEnabled(next.convert);
  Control(control::kBrowseButton)->setEnabled(next.browse);
  MenuCommand(command::kOpenAndScan)->setEnabled(next.browse);
  tree_->setEnabled(next.tree);
}

void CTarnwickDlg::StartWorker(WorkerKind kind, std::function<void()> work) {
  if (worker_thread_.joinable()) worker_thread_.join();
  worker_thread_ = std::thread([this, kind, work = std::move(work)] {
    work();
    QMetaObject::invokeMethod(
        this, [this, kind] { OnWorkerEnded(kind); }, Qt::QueuedConnection);
  });
}

void CTarnwickDlg::OnWorkerEnded(WorkerKind kind) {
  if (worker_thread_.joinable()) worker_thread_.join();
  FlushUpdates();
  switch (kind) {
    case WorkerKind::kScan:
      ApplyPhase(Phase::kScanEnded);
      break;
    case WorkerKind::kFolderLoad:
      ApplyPhase(Phase::kFolderLoaded);
      break;
    case WorkerKind::kConversion:
      ApplyPhase(Phase::kConversionEnded);
      ShowConversionOutcome();
      break;
  }
  state_->worker.Finish();
}

void CTarnwickDlg::ShowConversionOutcome() {
  if (!conversion_outcome_due_) return;
  conversion_outcome_due_ = false;
  const ConversionReport& report = state_->report;
  ConversionCounts counts;
  for (const auto& [kind, count] : report.WrittenByKind()) counts.written.emplace_back(kind, count);
  for (const auto& [message_class, count] : report.SkippedByClass()) counts.not_written += count;
  counts.not_written += static_cast<int>(report.Failures().size());
  counts.elapsed_ms = conversion_clock_.elapsed();
  counts.destination = report.DestinationRoot();

  std::error_code error;
  const bool made = !counts.destination.empty() &&
                    std::filesystem::is_directory(ToPath(counts.destination), error);
  last_destination_ = made ? counts.destination : std::u16string();
  open_destination_->setVisible(made);
  MenuCommand(app_command::kOpenDestination)->setEnabled(made);
  // A stopped run keeps the status that says so.
  if (state_->stop_flag.load() == 1) return;
  const QString summary = ToQ(ConversionSummary(counts));
  status_->SetText(summary);
  status_->setToolTip(summary);
}

// ---- Lookups and filters -------------------------------------------------------------------

QWidget* CTarnwickDlg::Control(int control_id) const {
  return FindControl(client_, control_id);
}

QAction* CTarnwickDlg::MenuCommand(int command_id) const {
  const auto found = commands_.find(command_id);
  return found == commands_.end() ? nullptr : found->second;
}

bool CTarnwickDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_ && event->type() == QEvent::Resize) {
    if (layout_ready_) OnClientResized();
    return false;
  }
  // The event type first: this filter sees every event of the program, also those of objects
  // half torn down, whose dynamic type must not be asked.
  if (!ShouldDiscard(Classify(event)) || !watched->isWidgetType()) {
    return QMainWindow::eventFilter(watched, event);
  }
  return static_cast<QWidget*>(watched)->window() == this;
}

}  // namespace bm::app
