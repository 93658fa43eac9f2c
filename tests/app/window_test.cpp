// The main window end to end: start state, Open & Scan through its dialog, folder loads on
// the worker thread, the preview, ticks, Convert, Stop, Exit, the input filter and the
// resizer, all driven the way a person would and answered by a scripted user.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTableWidget>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/about_dlg.h"
#include "app/browse_file_dlg.h"
#include "app/control_ids.h"
#include "app/explorer.h"
#include "app/folder_tree_ctrl.h"
#include "app/tarnwick_dlg.h"
#include "app/transparent_static.h"
#include "app/user_interaction.h"
#include "base/log.h"
#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/conversion_pipeline.h"
#include "engine/convert_command.h"
#include "scripted_user.h"
#include "support/test_support.h"
#include "tools/pstgen/presets.h"
#include "tools/pstgen/pstgen.h"

namespace bm::app {
namespace {

using test::ScriptedUser;

// Long enough for a slow machine, short enough that a broken wait ends the test.
constexpr int kPatienceMs = 60000;
// A folder that must still be loading or converting when Stop comes: neither waits for the
// window, so it has to be large.
constexpr std::size_t kLongFolder = 20000;

bool WaitUntil(const std::function<bool()>& done, int patience_ms = kPatienceMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > patience_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

// Runs `action` on the next modal dialog that opens (polled from the event loop it runs).
// Delete the returned watcher if no dialog is expected after all.
QPointer<QTimer> OnNextModal(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer();
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, action = std::move(action)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    action(modal);
    // Whatever the action did, never leave a modal dialog waiting.
    if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->isVisible()) {
      QTimer::singleShot(0, dialog, &QDialog::reject);
    }
  });
  timer->start();
  return timer;
}

void Click(QWidget* root, int id) {
  auto* button = qobject_cast<QPushButton*>(FindControl(root, id));
  ASSERT_NE(button, nullptr) << "no button " << id;
  button->click();
}

QString Q(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

// Inbox with three mails and a sub-folder, Contacts with one contact, Deleted Items.
void WriteStore(const std::filesystem::path& path) {
  pstgen::Store store;
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  for (std::u16string subject : {u"first", u"second", u"third"}) {
    pstgen::Message& mail = inbox.AddMessage("IPM.Note");
    mail.SetSubject(subject);
    mail.SetBody(u"Body of " + subject);
    mail.Set(pstgen::tag::kSenderName, u"Ann Example");
    mail.Set(pstgen::tag::kSenderEmailAddress, u"ann@example.com");
  }
  inbox.AddFolder(u"Archive", u"IPF.Note")
      .AddMessage("IPM.Note")
      .SetSubject(u"old")
      .SetBody(u"old body");
  store.top().AddFolder(u"People", u"IPF.Contact").AddMessage("IPM.Contact").SetSubject(u"Bo");
  pstgen::Write(store, path);
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    // The program's settings are the test's own, never those of the person running it.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Q(temp_.path() / "config"));
    auto user = std::make_unique<ScriptedUser>();
    user_ = user.get();
    window_ = std::make_unique<CTarnwickDlg>(std::move(user), RealEngine());
    window_->ShowAtStart();
    QCoreApplication::processEvents();
    pst_ = temp_.path() / "store.pst";
    WriteStore(pst_);
  }

  void TearDown() override {
    window_->WaitForWorkers();
    window_.reset();
  }

  // Open & Scan through the dialog: Browse picks `pst`, Select temp folder picks the test's
  // temp directory, Start Scanning accepts. Waits for the scan to end.
  void ScanThroughDialog(const std::filesystem::path& pst) {
    user_->AnswerFile(Q(pst));
    user_->AnswerFolder(Q(temp_.path()));
    OnNextModal([](QWidget* dialog) {
      Click(dialog, browse_control::kBrowse);
      Click(dialog, browse_control::kSelectTempFolder);
      Click(dialog, browse_control::kStartScanning);
    });
    window_->OnOpenAndScan();
    ASSERT_TRUE(WaitUntil([&] { return !window_->WorkerRunning(); }));
  }

  QTreeWidgetItem* Folder(const QString& name) const {
    const QList<QTreeWidgetItem*> found =
        window_->tree()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
  }

  TreeItem Handle(const QString& name) const { return window_->tree()->HandleOf(Folder(name)); }

  void SelectFolder(const QString& name) {
    QTreeWidgetItem* item = Folder(name);
    ASSERT_NE(item, nullptr) << name.toStdString();
    window_->tree()->setCurrentItem(item);
    ASSERT_TRUE(WaitUntil([&] { return !window_->WorkerRunning(); }));
  }

  void ClickCheckBox(const QString& name) {
    CFolderTreeCtrl1* tree = window_->tree();
    const QRect box = tree->CheckBoxRect(Handle(name));
    ASSERT_TRUE(box.isValid());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, box.center());
  }

  QWidget* Control(int id) const { return window_->Control(id); }

  // Scans `pst` through the dialog, then selects every folder in turn: something is listed.
  void ExpectEveryFolderLists(const std::filesystem::path& pst) {
    ScanThroughDialog(pst);
    ASSERT_EQ(window_->tree()->topLevelItemCount(), 1);
    EXPECT_EQ(user_->boxes().back().text, QStringLiteral("Scanning completed"));
    std::vector<QTreeWidgetItem*> folders;
    for (QTreeWidgetItemIterator it(window_->tree()); *it; ++it) folders.push_back(*it);
    ASSERT_GT(folders.size(), 1u);
    int listed = 0;
    for (QTreeWidgetItem* folder : folders) {
      window_->tree()->setCurrentItem(folder);
      ASSERT_TRUE(WaitUntil([&] { return !window_->WorkerRunning(); }));
      listed += window_->list()->rowCount();
    }
    EXPECT_GT(listed, 0);
  }

  bm::test::TempDir temp_;
  std::filesystem::path pst_;
  ScriptedUser* user_ = nullptr;
  std::unique_ptr<CTarnwickDlg> window_;
};

TEST_F(Window, StartsMaximisedWithConvertGreyedAndEmptyTreeAndList) {
  EXPECT_TRUE(window_->isMaximized());
  // Where the platform will not maximise, the window still covers the screen.
  EXPECT_EQ(window_->normalGeometry().size(), window_->screen()->availableGeometry().size());
  EXPECT_FALSE(Control(app_control::kOpenDestinationButton)->isVisible());
  EXPECT_FALSE(window_->MenuCommand(app_command::kOpenDestination)->isEnabled());
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Brindlemoor 5.4"));
  EXPECT_FALSE(window_->windowIcon().isNull());
  EXPECT_FALSE(Control(control::kConvertButton)->isEnabled());
  EXPECT_FALSE(window_->MenuCommand(command::kConvert)->isEnabled());
  EXPECT_TRUE(Control(control::kBrowseButton)->isEnabled());
  EXPECT_TRUE(window_->MenuCommand(command::kOpenAndScan)->isEnabled());
  EXPECT_TRUE(Control(control::kStopButton)->isEnabled());
  EXPECT_TRUE(Control(control::kExitButton)->isEnabled());
  EXPECT_EQ(window_->tree()->topLevelItemCount(), 0);
  EXPECT_EQ(window_->list()->rowCount(), 0);
  EXPECT_EQ(window_->client()->palette().color(QPalette::Window), QColor(245, 245, 245));
  EXPECT_EQ(window_->state().paths.program_directory.back(), u'/');
}

TEST_F(Window, HasTheTemplatesControlsMenuColumnsAndStatusPanes) {
  for (int id : {2, 1000, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1012, 1016, 1017}) {
    EXPECT_NE(Control(id), nullptr) << id;
  }
  EXPECT_EQ(qobject_cast<QPushButton*>(Control(1017))->text(), QStringLiteral("Stop!"));
  EXPECT_EQ(qobject_cast<QPushButton*>(Control(1007))->text(), QStringLiteral("Browse PST File"));
  EXPECT_FALSE(Control(control::kPstPathEdit)->isEnabled());
  const std::map<int, QString> menu{{32771, "Open && Scan"}, {32772, "Convert"},
                                    {32773, "Exit"},         {32774, "Software Help"},
                                    {32775, "About"},        {32776, "Stop Process"}};
  for (const auto& [id, text] : menu) {
    ASSERT_NE(window_->MenuCommand(id), nullptr) << id;
    EXPECT_EQ(window_->MenuCommand(id)->text(), text);
  }

  QTableWidget* list = window_->list();
  const std::vector<std::pair<QString, int>> columns{
      {"NO", 50},         {"Items", 0},  {"From", 200}, {"E-mail Subject", 250},
      {"Date/time", 150}, {"Flag", 150}, {"Size", 60}};
  ASSERT_EQ(list->columnCount(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(list->horizontalHeaderItem(i)->text(), columns[i].first);
    if (i != 1) {
      EXPECT_EQ(list->columnWidth(i), columns[i].second) << i;
    }
  }
  EXPECT_TRUE(list->isColumnHidden(1));
  EXPECT_TRUE(list->showGrid());
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_FALSE(list->horizontalHeader()->sectionsClickable());

  EXPECT_EQ(window_->status_pane(0)->text(), QStringLiteral("Brindlemoor 5.4"));
  EXPECT_FALSE(window_->status_pane(1)->text().isEmpty());
  EXPECT_TRUE(window_->status_pane(2)->text().isEmpty());
  EXPECT_TRUE(window_->status_pane(3)->text().isEmpty());
  EXPECT_EQ(window_->status_pane(0)->width(), 290);
  EXPECT_EQ(window_->status_pane(1)->width(), 220);
  EXPECT_EQ(window_->status_pane(2)->width(), 140);
}

TEST_F(Window, OpenAndScanThroughTheDialogFillsTheTree) {
  ScanThroughDialog(pst_);
  const AppState& state = window_->state();
  EXPECT_EQ(state.paths.pst_path, Q(pst_).toStdU16String());
  // The run's private folder, made inside the chosen place.
  const std::filesystem::path private_folder = ToPath(state.paths.temp_folder_path);
  EXPECT_EQ(private_folder.parent_path().parent_path(), temp_.path());
  EXPECT_TRUE(private_folder.parent_path().filename().string().starts_with("QelTemp"));
  EXPECT_TRUE(std::filesystem::is_directory(private_folder));
  EXPECT_EQ(qobject_cast<QLineEdit*>(Control(control::kPstPathEdit))->text(), Q(pst_));

  CFolderTreeCtrl1* tree = window_->tree();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), Q(pst_));
  EXPECT_EQ(tree->HandleOf(tree->topLevelItem(0)), state.root_tree_item);
  EXPECT_EQ(tree->ImageIndexOf(state.root_tree_item), 0);
  ASSERT_NE(Folder("Inbox"), nullptr);
  ASSERT_NE(Folder("Archive"), nullptr);
  EXPECT_EQ(tree->ImageIndexOf(Handle("Inbox")), 7);
  EXPECT_EQ(tree->ImageIndexOf(Handle("People")), 4);
  EXPECT_EQ(tree->ImageIndexOf(Handle("Archive")), 0);
  EXPECT_TRUE(Folder("Inbox")->parent()->isExpanded());

  // Scanning completed: Convert and Browse available, the report box without owner.
  EXPECT_TRUE(Control(control::kConvertButton)->isEnabled());
  EXPECT_TRUE(window_->MenuCommand(command::kConvert)->isEnabled());
  EXPECT_TRUE(Control(control::kBrowseButton)->isEnabled());
  EXPECT_TRUE(tree->isEnabled());
  ASSERT_FALSE(user_->boxes().empty());
  const ScriptedUser::Box done = user_->boxes().back();
  EXPECT_EQ(done.text, QStringLiteral("Scanning completed"));
  EXPECT_EQ(done.caption, QStringLiteral("Brindlemoor              "));
  EXPECT_EQ(done.style, 0x1020u);
  EXPECT_FALSE(done.owned);
  EXPECT_EQ(window_->status_text()->text(), QStringLiteral("Scanning completed"));
}

TEST_F(Window, StartScanningWithoutAFileWarnsAndCancelChangesNothing) {
  bool stayed_open = false;
  OnNextModal([&](QWidget* dialog) {
    Click(dialog, browse_control::kStartScanning);
    stayed_open = dialog->isVisible();
    Click(dialog, browse_control::kCancel);
  });
  window_->OnOpenAndScan();
  EXPECT_TRUE(stayed_open);
  ASSERT_EQ(user_->boxes().size(), 1u);
  EXPECT_EQ(user_->boxes()[0].text, QStringLiteral("Please select valid file"));
  EXPECT_EQ(user_->boxes()[0].caption, QStringLiteral("Brindlemoor              "));
  EXPECT_EQ(user_->boxes()[0].style, 0x1020u);
  EXPECT_FALSE(user_->boxes()[0].owned);
  EXPECT_EQ(window_->tree()->topLevelItemCount(), 0);
  EXPECT_FALSE(window_->WorkerRunning());
}

TEST_F(Window, CancelKeepsTheEarlierTreeAndList) {
  ScanThroughDialog(pst_);
  SelectFolder("Inbox");
  const int folders = window_->tree()->topLevelItem(0)->childCount();
  const int rows = window_->list()->rowCount();
  ASSERT_GT(rows, 0);
  OnNextModal([](QWidget* dialog) { Click(dialog, browse_control::kCancel); });
  window_->OnOpenAndScan();
  ASSERT_EQ(window_->tree()->topLevelItemCount(), 1);
  EXPECT_EQ(window_->tree()->topLevelItem(0)->childCount(), folders);
  EXPECT_EQ(window_->list()->rowCount(), rows);
  EXPECT_FALSE(window_->WorkerRunning());
}

TEST_F(Window, TheDialogsFieldsAreReadOnlyAndShowThePathsStartScanningUses) {
  bool read_only = false;
  QStringList shown;
  auto look = [&](QWidget* dialog) {
    auto* pst = qobject_cast<QLineEdit*>(FindControl(dialog, browse_control::kPstPath));
    auto* temp = qobject_cast<QLineEdit*>(FindControl(dialog, browse_control::kTempPath));
    read_only = pst->isReadOnly() && temp->isReadOnly();
    // Typing into them changes neither what they show nor what is scanned.
    QTest::keyClicks(pst, "/elsewhere.pst");
    QTest::keyClicks(temp, "/elsewhere");
    shown = QStringList{pst->text(), temp->text()};
  };
  OnNextModal([&](QWidget* dialog) {
    look(dialog);
    Click(dialog, browse_control::kCancel);
  });
  window_->OnOpenAndScan();
  EXPECT_TRUE(read_only);
  EXPECT_EQ(shown, QStringList({QString(), QString()}));

  ScanThroughDialog(pst_);
  // The field shows where Start Scanning makes the scan's private temp folder.
  const QString temp_parent = Q(temp_.path()) + "/";
  OnNextModal([&](QWidget* dialog) {
    look(dialog);
    Click(dialog, browse_control::kStartScanning);
  });
  window_->OnOpenAndScan();
  ASSERT_TRUE(WaitUntil([&] { return !window_->WorkerRunning(); }));
  EXPECT_TRUE(read_only);
  EXPECT_EQ(shown, QStringList({Q(pst_), temp_parent}));
  EXPECT_TRUE(window_->state().paths.temp_folder_path.starts_with(
      (temp_parent + "QelTemp").toStdU16String()));
  ASSERT_EQ(window_->tree()->topLevelItemCount(), 1);
  EXPECT_EQ(window_->tree()->topLevelItem(0)->text(0), Q(pst_));
  EXPECT_NE(Folder("Inbox"), nullptr);
}

TEST_F(Window, TheLogIsNamedForTheMomentOpenAndScanWasGiven) {
  user_->AnswerFile(Q(pst_));
  user_->AnswerFolder(Q(temp_.path()));
  const auto asked = std::chrono::system_clock::now();
  OnNextModal([](QWidget* dialog) {
    Click(dialog, browse_control::kBrowse);
    Click(dialog, browse_control::kSelectTempFolder);
    QThread::msleep(2100);  // the person takes their time over the dialog
    Click(dialog, browse_control::kStartScanning);
  });
  window_->OnOpenAndScan();
  ASSERT_TRUE(WaitUntil([&] { return !window_->WorkerRunning(); }));
  const AppState& state = window_->state();
  const std::u16string& log = state.paths.log_file_path;
  EXPECT_TRUE(log == state.paths.temp_folder_path + BuildLogFileName(asked) ||
              log ==
                  state.paths.temp_folder_path + BuildLogFileName(asked + std::chrono::seconds(1)))
      << ToUtf8(log);
  EXPECT_TRUE(std::filesystem::is_regular_file(ToPath(log)));
}

TEST_F(Window, BrowsingForTheFileResetsTheTempFolder) {
  AppState& state = window_->state();
  browsefile dialog(state, *user_, window_.get());
  user_->AnswerFolder(Q(temp_.path()));
  user_->AnswerFile(Q(pst_));
  Click(&dialog, browse_control::kSelectTempFolder);
  EXPECT_EQ(state.paths.temp_parent, Q(temp_.path()).toStdU16String() + u"/");
  EXPECT_EQ(user_->folder_titles().back(), QStringLiteral("Select the Temp Path"));
  Click(&dialog, browse_control::kBrowse);
  EXPECT_EQ(state.paths.temp_parent, SystemTempPath());
  EXPECT_EQ(qobject_cast<QLineEdit*>(FindControl(&dialog, browse_control::kTempPath))->text(),
            QString::fromStdU16String(state.paths.temp_parent));
  // A folder with no file-system path falls back to the system temp directory.
  user_->AnswerFolder(QString());
  Click(&dialog, browse_control::kSelectTempFolder);
  EXPECT_EQ(state.paths.temp_parent, SystemTempPath());
  // A cancelled picker changes nothing.
  Click(&dialog, browse_control::kBrowse);
  EXPECT_EQ(state.paths.pst_path, Q(pst_).toStdU16String());
}

TEST_F(Window, SelectingAFolderListsItOnTheFolderLoadThreadWithTheTreeDisabled) {
  ScanThroughDialog(pst_);
  std::vector<bool> tree_states;
  struct Probe : QObject {
    std::vector<bool>* states;
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::EnabledChange) {
        states->push_back(static_cast<QWidget*>(watched)->isEnabled());
      }
      return false;
    }
  } probe;
  probe.states = &tree_states;
  window_->tree()->installEventFilter(&probe);
  SelectFolder("Inbox");
  window_->tree()->removeEventFilter(&probe);

  ASSERT_EQ(window_->list()->rowCount(), 3);
  EXPECT_EQ(window_->list()->item(0, 0)->text(), QStringLiteral("1"));
  EXPECT_EQ(window_->list()->item(0, 1)->text(), QStringLiteral("email"));
  EXPECT_EQ(window_->list()->item(2, 3)->text(), QStringLiteral("third"));
  ASSERT_GE(tree_states.size(), 2u);
  EXPECT_FALSE(tree_states.front());
  EXPECT_TRUE(tree_states.back());
  EXPECT_TRUE(window_->tree()->isEnabled());

  // The root node lists nothing but still empties the list.
  SelectFolder(Q(pst_));
  EXPECT_EQ(window_->list()->rowCount(), 0);
}

TEST_F(Window, AClickOnARowShowsThePreviewPage) {
  ScanThroughDialog(pst_);
  SelectFolder("Inbox");
  ASSERT_EQ(window_->list()->rowCount(), 3);
  QTableWidget* list = window_->list();
  // Moving the selection with the keyboard previews nothing; only a click does.
  list->setFocus();
  list->setCurrentCell(0, 0);
  QTest::keyClick(list, Qt::Key_Down);
  QCoreApplication::processEvents();
  EXPECT_TRUE(window_->browser()->ShowsNothing());

  QSignalSpy loaded(window_->browser(), &QWebEngineView::loadFinished);
  const QRect row = list->visualRect(list->model()->index(1, 2));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
  ASSERT_TRUE(WaitUntil([&] { return !window_->browser()->ShowsNothing(); }));
  const QString page = window_->browser()->url().toLocalFile();
  EXPECT_TRUE(page.startsWith(QString::fromStdU16String(window_->state().paths.temp_folder_path)));
  EXPECT_TRUE(std::filesystem::exists(page.toStdString()));
  EXPECT_TRUE(WaitUntil([&] { return loaded.count() > 0; }));
  EXPECT_TRUE(loaded.front().front().toBool());
  EXPECT_EQ(window_->browser()->page()->requestedUrl(), QUrl::fromLocalFile(page));
}

TEST_F(Window, ACheckBoxClickTicksSubTreesAndDecidesAncestorsWithoutSelecting) {
  ScanThroughDialog(pst_);
  CFolderTreeCtrl1* tree = window_->tree();
  tree->setCurrentItem(nullptr);
  const QString root = Q(pst_);

  ClickCheckBox(root);
  for (const QString& name : {root, QString("Inbox"), QString("Archive"), QString("People")}) {
    EXPECT_TRUE(tree->IsChecked(Handle(name))) << name.toStdString();
  }
  EXPECT_EQ(tree->currentItem(), nullptr);  // no selection change, so no folder load
  EXPECT_FALSE(window_->WorkerRunning());

  ClickCheckBox("Archive");
  EXPECT_FALSE(tree->IsChecked(Handle("Archive")));
  EXPECT_FALSE(tree->IsChecked(Handle("Inbox")));
  EXPECT_FALSE(tree->IsChecked(Handle(root)));
  EXPECT_TRUE(tree->IsChecked(Handle("People")));
  EXPECT_TRUE(window_->IsTreeItemChecked(Handle("People")));

  ClickCheckBox("Archive");  // the last unticked child again
  EXPECT_TRUE(tree->IsChecked(Handle("Inbox")));
  EXPECT_TRUE(tree->IsChecked(Handle(root)));

  // Empty space below the nodes: nothing at all.
  const QPoint below(4, tree->viewport()->height() - 4);
  ASSERT_EQ(tree->itemAt(below), nullptr);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, below);
  EXPECT_EQ(tree->currentItem(), nullptr);
  EXPECT_TRUE(tree->IsChecked(Handle(root)));

  // A click on the name selects it and starts a folder load.
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                    tree->visualItemRect(Folder("Inbox")).center());
  EXPECT_EQ(tree->currentItem(), Folder("Inbox"));
  ASSERT_TRUE(WaitUntil([&] { return !window_->WorkerRunning(); }));
  EXPECT_EQ(window_->list()->rowCount(), 3);
}

TEST_F(Window, ConvertWritesTheTickedFoldersIntoTheChosenDestination) {
  ScanThroughDialog(pst_);
  ClickCheckBox("Inbox");
  const std::filesystem::path destination = temp_.path() / "out";
  std::filesystem::create_directories(destination);
  user_->AnswerFolder(Q(destination));
  user_->ClearBoxes();
  QString status_under_box;
  user_->OnBox([&](const QString&) { status_under_box = window_->status_text()->text(); });
  Click(window_->client(), control::kConvertButton);
  ASSERT_TRUE(WaitUntil([&] { return !window_->WorkerRunning(); }));
  user_->OnBox(nullptr);

  EXPECT_EQ(user_->folder_titles().back(), QStringLiteral("Select the Destination Path"));
  ASSERT_FALSE(user_->boxes().empty());
  EXPECT_EQ(user_->boxes().back().text, QStringLiteral("Saving Completed"));
  EXPECT_EQ(user_->boxes().back().caption, QStringLiteral("Brindlemoor             "));
  int messages = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(destination)) {
    if (entry.path().extension() == ".msg") ++messages;
  }
  EXPECT_EQ(messages, 4);  // the Inbox's three and its sub-folder's one

  // The box says no more than that; the status line says what was done and where.
  const QString root = QString::fromStdU16String(window_->last_destination());
  ASSERT_TRUE(root.startsWith(Q(destination) + "/convertPSTFile")) << root.toStdString();
  EXPECT_TRUE(std::filesystem::is_directory(root.toStdString()));
  const QString status = window_->status_text()->text();
  EXPECT_TRUE(status.startsWith("Written: 4 email; not written: 0; time 0:"))
      << status.toStdString();
  EXPECT_TRUE(status.endsWith("; in " + root)) << status.toStdString();
  EXPECT_EQ(status_under_box, status);  // already there while "Saving Completed" is up
  ASSERT_TRUE(Control(app_control::kOpenDestinationButton)->isVisible());
  QAction* open = window_->MenuCommand(app_command::kOpenDestination);
  ASSERT_TRUE(open->isEnabled());
  Click(window_->client(), app_control::kOpenDestinationButton);
  open->trigger();
  EXPECT_EQ(user_->opened(), std::vector<QUrl>(2, QUrl::fromLocalFile(root)));

  EXPECT_TRUE(Control(control::kConvertButton)->isEnabled());
  EXPECT_TRUE(Control(control::kBrowseButton)->isEnabled());
  EXPECT_TRUE(window_->MenuCommand(command::kOpenAndScan)->isEnabled());
  EXPECT_TRUE(window_->tree()->isEnabled());
}

QVariant StoredConversionJobs() {
  return QSettings(QStringLiteral("Brindlemoor"), QStringLiteral("Brindlemoor"))
      .value(QStringLiteral("Conversion jobs"));
}

TEST_F(Window, TheConversionJobsSettingRoundTripsAndTheNextConvertUsesIt) {
  QAction* jobs = window_->MenuCommand(app_command::kConversionJobs);
  ASSERT_NE(jobs, nullptr);
  EXPECT_EQ(jobs->text(), QStringLiteral("Conversion jobs..."));
  const int cores = static_cast<int>(DefaultConversionJobs());

  // Nothing stored: one per core is offered; a cancel stores nothing.
  user_->AnswerNumber(std::nullopt);
  jobs->trigger();
  ASSERT_EQ(user_->number_questions().size(), 1u);
  const ScriptedUser::NumberQuestion first = user_->number_questions()[0];
  EXPECT_EQ(first.value, cores);
  EXPECT_EQ(first.minimum, 1);
  EXPECT_EQ(first.maximum, 64);
  EXPECT_FALSE(StoredConversionJobs().isValid());

  // An answer is stored and offered the next time.
  user_->AnswerNumber(3);
  jobs->trigger();
  EXPECT_EQ(StoredConversionJobs().toInt(), 3);
  user_->AnswerNumber(std::nullopt);
  jobs->trigger();
  ASSERT_EQ(user_->number_questions().size(), 3u);
  EXPECT_EQ(user_->number_questions()[2].value, 3);
  EXPECT_EQ(StoredConversionJobs().toInt(), 3);

  // The window was made before the answer; the Convert after it still writes with three
  // workers, each with a scratch folder of its own in the run's temp folder.
  ScanThroughDialog(pst_);
  ClickCheckBox("Inbox");
  const std::filesystem::path destination = temp_.path() / "out";
  std::filesystem::create_directories(destination);
  user_->AnswerFolder(Q(destination));
  Click(window_->client(), control::kConvertButton);
  ASSERT_TRUE(WaitUntil([&] { return !window_->WorkerRunning(); }));
  EXPECT_EQ(window_->state().conversion_jobs, 3u);
  const std::filesystem::path run_temp = ToPath(window_->state().paths.temp_folder_path);
  EXPECT_TRUE(std::filesystem::is_directory(run_temp / "job3"));
  EXPECT_FALSE(std::filesystem::exists(run_temp / "job4"));
  EXPECT_EQ(user_->boxes().back().text, QStringLiteral("Saving Completed"));
}

TEST_F(Window, AConversionJobsEntryOutsideTheRangeIsNotOffered) {
  QSettings settings(QStringLiteral("Brindlemoor"), QStringLiteral("Brindlemoor"));
  const int cores = static_cast<int>(DefaultConversionJobs());
  // A hand-edited file: too many, none, nonsense.
  for (const auto& [stored, offered] :
       std::vector<std::pair<QVariant, int>>{{QVariant(500), 64},
                                             {QVariant(0), cores},
                                             {QVariant(-2), cores},
                                             {QVariant(QStringLiteral("many")), cores}}) {
    settings.setValue(QStringLiteral("Conversion jobs"), stored);
    settings.sync();
    user_->AnswerNumber(std::nullopt);
    window_->MenuCommand(app_command::kConversionJobs)->trigger();
    EXPECT_EQ(user_->number_questions().back().value, offered) << stored.toString().toStdString();
  }
}

TEST_F(Window, StopAsksFirstAndSetsTheFlagOnlyOnYes) {
  user_->AnswerBox(mb::kIdNo);
  Click(window_->client(), control::kStopButton);
  EXPECT_EQ(window_->state().stop_flag.load(), 0);
  ASSERT_EQ(user_->boxes().size(), 1u);
  const ScriptedUser::Box box = user_->boxes()[0];
  EXPECT_EQ(box.text, QStringLiteral("Do you want to stop process ?       "));
  EXPECT_EQ(box.caption, QStringLiteral("Brindlemoor "));
  EXPECT_EQ(box.style, 0x1024u);
  EXPECT_TRUE(box.owned);

  user_->AnswerBox(mb::kIdYes);
  window_->MenuCommand(command::kStopProcess)->trigger();
  EXPECT_EQ(window_->state().stop_flag.load(), 1);

  // The next folder load clears it before it starts.
  ScanThroughDialog(pst_);
  SelectFolder("Inbox");
  EXPECT_EQ(window_->state().stop_flag.load(), 0);
  EXPECT_EQ(window_->list()->rowCount(), 3);
}

// A store whose Inbox is long enough that a Stop lands while it is still being worked on.
std::filesystem::path WriteLongStore(const std::filesystem::path& directory, std::size_t messages) {
  pstgen::Store store;
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddMessages(messages, [](std::size_t index) {
    pstgen::Message mail("IPM.Note");
    mail.SetSubject(u"mail " + FromUtf8(std::to_string(index)));
    mail.SetBody(u"body");
    mail.Set(pstgen::tag::kSenderName, u"Ann Example");
    return mail;
  });
  const std::filesystem::path path = directory / "long.pst";
  pstgen::Write(store, path);
  return path;
}

TEST_F(Window, StopDuringAFolderLoadEndsItBeforeTheNextItem) {
  ScanThroughDialog(WriteLongStore(temp_.path(), kLongFolder));
  window_->tree()->setCurrentItem(Folder("Inbox"));
  ASSERT_TRUE(WaitUntil([&] { return window_->list()->rowCount() > 0; }));
  user_->AnswerBox(mb::kIdYes);
  Click(window_->client(), control::kStopButton);
  ASSERT_TRUE(WaitUntil([&] { return !window_->WorkerRunning(); }));
  // Rows the worker listed before Stop may still reach the list after it; no more than that.
  const int rows = window_->list()->rowCount();
  EXPECT_GT(rows, 0);
  EXPECT_LT(rows, static_cast<int>(kLongFolder));
  EXPECT_TRUE(window_->tree()->isEnabled());
}

TEST_F(Window, StopDuringAConversionEndsItWithTheStoppedReport) {
  ScanThroughDialog(WriteLongStore(temp_.path(), kLongFolder));
  ClickCheckBox("Inbox");
  const std::filesystem::path destination = temp_.path() / "out";
  std::filesystem::create_directories(destination);
  user_->AnswerFolder(Q(destination));
  user_->ClearBoxes();
  Click(window_->client(), control::kConvertButton);
  ASSERT_TRUE(WaitUntil([&] { return window_->progress()->value() > 0; }));
  EXPECT_FALSE(Control(control::kBrowseButton)->isEnabled());
  EXPECT_FALSE(window_->tree()->isEnabled());
  user_->AnswerBox(mb::kIdYes);
  window_->MenuCommand(command::kStopProcess)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !window_->WorkerRunning(); }));

  ASSERT_FALSE(user_->boxes().empty());
  EXPECT_EQ(user_->boxes().back().text, QStringLiteral("Process stopped by user!"));
  EXPECT_EQ(user_->boxes().back().caption, QStringLiteral("Brindlemoor              "));
  EXPECT_EQ(window_->status_text()->text(), QStringLiteral("Process stopped by user"));
  int messages = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(destination)) {
    if (entry.path().extension() == ".msg") ++messages;
  }
  EXPECT_LT(messages, static_cast<int>(kLongFolder));
  EXPECT_TRUE(Control(control::kBrowseButton)->isEnabled());
  EXPECT_TRUE(window_->tree()->isEnabled());
}

TEST_F(Window, ADemoStoreScansAndEveryFolderLists) {
  const std::filesystem::path demo = temp_.path() / "demo.pst";
  pstgen::Write(pstgen::DemoStore(), demo);
  ExpectEveryFolderLists(demo);
}

TEST_F(Window, ASampleStoreScansAndEveryFolderLists) {
  BM_SAMPLE_OR_SKIP(sample, "outlook.pst");
  ExpectEveryFolderLists(sample);
}

TEST_F(Window, ExitAsksFirstAndEndsTheProcessWithCodeZero) {
  user_->AnswerBox(mb::kIdNo);
  Click(window_->client(), control::kExitButton);
  EXPECT_TRUE(user_->exit_codes().empty());
  ASSERT_EQ(user_->boxes().size(), 1u);
  EXPECT_EQ(user_->boxes()[0].text, QStringLiteral("Do you want to Exit ?       "));
  EXPECT_EQ(user_->boxes()[0].caption, QStringLiteral("Brindlemoor "));
  EXPECT_EQ(user_->boxes()[0].style, 0x1024u);
  EXPECT_TRUE(user_->boxes()[0].owned);

  // The close box is the same command and never closes the window by itself.
  user_->AnswerBox(mb::kIdNo);
  window_->close();
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(user_->boxes().size(), 2u);

  user_->AnswerBox(mb::kIdYes);
  window_->MenuCommand(command::kExit)->trigger();
  EXPECT_EQ(user_->exit_codes(), std::vector<int>{0});
}

TEST_F(Window, HelpOpensTheManualAndAboutShowsItsPicture) {
  window_->MenuCommand(command::kSoftwareHelp)->trigger();
  ASSERT_EQ(user_->opened().size(), 1u);
  EXPECT_TRUE(user_->opened()[0].isLocalFile());
  EXPECT_TRUE(user_->opened()[0].path().endsWith(QStringLiteral("/brindlemoor.html")));
  EXPECT_FALSE(user_->opened()[0].hasFragment());

  bool about_shown = false;
  OnNextModal([&](QWidget* dialog) {
    about_shown = qobject_cast<CAboutDlg*>(dialog) != nullptr;
    auto* picture = dialog->findChild<QLabel*>(QStringLiteral("aboutPicture"));
    EXPECT_TRUE(picture && !picture->pixmap().isNull());
    Click(dialog, 1);
  });
  window_->MenuCommand(command::kAbout)->trigger();
  EXPECT_TRUE(about_shown);
}

TEST_F(Window, AStartWhileAWorkerRunsIsRefused) {
  ScanThroughDialog(pst_);
  ASSERT_TRUE(window_->state().worker.TryStart());  // stands for a running worker
  bool dialog_opened = false;
  QPointer<QTimer> watcher = OnNextModal([&](QWidget*) { dialog_opened = true; });
  window_->OnOpenAndScan();
  window_->tree()->setCurrentItem(Folder("Inbox"));
  EXPECT_EQ(window_->list()->rowCount(), 0);
  window_->OnConvert();
  QCoreApplication::processEvents();
  EXPECT_FALSE(dialog_opened);
  EXPECT_EQ(user_->folder_titles().size(), 1u);  // only the scan's temp folder picker
  delete watcher.data();
  window_->state().worker.Finish();

  // Once the worker is done, the same request goes through.
  bool reopened = false;
  OnNextModal([&](QWidget* dialog) {
    reopened = true;
    Click(dialog, browse_control::kCancel);
  });
  window_->OnOpenAndScan();
  EXPECT_TRUE(reopened);
  EXPECT_FALSE(window_->WorkerRunning());
}

TEST_F(Window, WorkerCallsAreCarriedToTheInterfaceThread) {
  std::atomic<bool> done{false};
  int answer = 0;
  TreeItem root = kNoTreeItem;
  std::thread worker([&] {
    window_->SetStatusText(u"from a worker");
    window_->SetProgressRange(0, 7);
    window_->SetProgressPos(3);
    window_->InsertListRow(0, ListRow{u"1", u"email", u"Ann", u"s", u"d", u"f", u"9"});
    root = window_->InsertTreeItem(kNoTreeItem, u"store.pst", u"");
    window_->EnableControl(control::kBrowseButton, false);
    window_->EnableMenuCommand(command::kConvert, true);
    answer = window_->MessageBox(u"report", kCaption13, mb::kReport, BoxOwner::kNone);
    done = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(window_->status_text()->text(), QStringLiteral("from a worker"));
  EXPECT_EQ(window_->progress()->maximum(), 7);
  EXPECT_EQ(window_->progress()->value(), 3);
  ASSERT_EQ(window_->list()->rowCount(), 1);
  EXPECT_EQ(window_->list()->item(0, 2)->text(), QStringLiteral("Ann"));
  EXPECT_EQ(window_->tree()->root_item(), root);
  EXPECT_FALSE(Control(control::kBrowseButton)->isEnabled());
  EXPECT_TRUE(window_->MenuCommand(command::kConvert)->isEnabled());
  EXPECT_EQ(answer, mb::kIdOk);
  EXPECT_EQ(user_->boxes().back().caption, QStringLiteral("Brindlemoor             "));
}

// The first column of every row in the list, top to bottom.
std::vector<std::string> ListedNumbers(const QTableWidget& list) {
  std::vector<std::string> numbers;
  for (int row = 0; row < list.rowCount(); ++row) {
    const QTableWidgetItem* item = list.item(row, 0);
    numbers.push_back(item ? item->text().toStdString() : "(none)");
  }
  return numbers;
}

TEST_F(Window, RowsFromAWorkerLandWhereTheirPositionsPutThemInPostedOrder) {
  auto row = [](std::u16string number) {
    return ListRow{number, u"email", u"Ann", u"s", u"d", u"f", u"9"};
  };
  std::atomic<bool> done{false};
  std::thread worker([&] {
    // Past the end, at the top, in the middle, at the end, before the top.
    window_->InsertListRow(5, row(u"a"));
    window_->InsertListRow(0, row(u"b"));
    window_->InsertListRow(1, row(u"c"));
    window_->InsertListRow(3, row(u"d"));
    window_->InsertListRow(4, row(u"e"));
    window_->InsertListRow(-1, row(u"f"));
    done = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
  worker.join();
  window_->WaitForWorkers();
  ASSERT_TRUE(WaitUntil([&] { return window_->list()->rowCount() == 6; }));
  EXPECT_EQ(ListedNumbers(*window_->list()),
            (std::vector<std::string>{"f", "b", "c", "a", "d", "e"}));
  EXPECT_EQ(window_->list()->item(5, 6)->text(), QStringLiteral("9"));

  // A listing's rows follow an emptied list in one go; none posted before it survives.
  constexpr int kRows = 3000;
  done = false;
  std::thread listing([&] {
    window_->InsertListRow(1, row(u"gone"));
    window_->DeleteAllListRows();
    for (int number = 1; number <= kRows; ++number) {
      window_->InsertListRow(number, row(FromUtf8(std::to_string(number))));
    }
    window_->InsertListRow(1, row(u"second"));
    done = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
  listing.join();
  ASSERT_TRUE(WaitUntil([&] { return window_->list()->rowCount() == kRows + 1; }));
  const std::vector<std::string> listed = ListedNumbers(*window_->list());
  EXPECT_EQ(listed[0], "1");
  EXPECT_EQ(listed[1], "second");
  EXPECT_EQ(listed[2], "2");
  EXPECT_EQ(listed.back(), std::to_string(kRows));
  EXPECT_EQ(std::count(listed.begin(), listed.end(), "gone"), 0);
}

TEST_F(Window, SwallowsEnterEscapeCopyAndRightClicks) {
  struct Probe : QObject {
    int keys = 0;
    int mouse = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      // QTest presses the modifier key itself too; only the keys under test count.
      if (event->type() == QEvent::KeyPress &&
          static_cast<QKeyEvent*>(event)->key() != Qt::Key_Control) {
        ++keys;
      }
      if (event->type() == QEvent::MouseButtonPress) ++mouse;
      return false;
    }
  } probe;
  QTableWidget* list = window_->list();
  list->installEventFilter(&probe);
  list->viewport()->installEventFilter(&probe);
  QTest::keyClick(list, Qt::Key_Return);
  QTest::keyClick(list, Qt::Key_Escape);
  QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
  QTest::mouseClick(list->viewport(), Qt::RightButton, {}, QPoint(5, 5));
  EXPECT_EQ(probe.keys, 0);
  EXPECT_EQ(probe.mouse, 0);
  QTest::keyClick(list, Qt::Key_A);
  QTest::keyClick(list, Qt::Key_C);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(probe.keys, 2);
  EXPECT_EQ(probe.mouse, 1);
  EXPECT_TRUE(window_->isVisible());
  list->removeEventFilter(&probe);
  list->viewport()->removeEventFilter(&probe);
}

// Places of the anchored controls, by id.
std::map<int, QRect> Places(const CTarnwickDlg& window) {
  std::map<int, QRect> places;
  for (int id : {1000, 1002, 1004, 1005, 1006, 1007, 1008, 1012, 1016, 1017, 2}) {
    places[id] = window.Control(id)->geometry();
  }
  return places;
}

TEST_F(Window, TheResizerFollowsTheWindowsSize) {
  window_->showNormal();
  window_->resize(1000, 700);
  ASSERT_TRUE(WaitUntil([&] { return window_->size() == QSize(1000, 700); }));
  QCoreApplication::processEvents();
  EXPECT_TRUE(window_->size_grip()->isVisible());
  const std::map<int, QRect> before = Places(*window_);
  const QRect preview_before = window_->browser()->geometry();
  const QSize client = window_->client()->size();

  window_->resize(1130, 760);
  ASSERT_TRUE(WaitUntil([&] { return window_->client()->size() != client; }));
  const int dx = window_->client()->width() - client.width();
  const int dy = window_->client()->height() - client.height();
  ASSERT_EQ(dx, 130);
  ASSERT_EQ(dy, 60);
  const std::map<int, QRect> after = Places(*window_);
  for (int button : {1007, 1008, 1017, 2}) {
    EXPECT_EQ(after.at(button), before.at(button).translated(dx, 0)) << button;
  }
  for (int stretched : {1005, 1006, 1016}) {
    EXPECT_EQ(after.at(stretched), before.at(stretched).adjusted(0, 0, dx, 0)) << stretched;
  }
  EXPECT_EQ(after.at(1000), before.at(1000).adjusted(0, 0, 0, dy));
  EXPECT_EQ(after.at(1002), before.at(1002).translated(0, dy));
  for (int bottom_line : {1004, 1012}) {
    EXPECT_EQ(after.at(bottom_line), before.at(bottom_line).translated(0, dy).adjusted(0, 0, dx, 0))
        << bottom_line;
  }
  const QSize now = window_->client()->size();
  // The preview stays under the list, as wide as it, down to the bottom line's frame.
  const QRect list = window_->list()->geometry();
  const QRect preview = window_->browser()->geometry();
  EXPECT_EQ(preview.left(), list.left());
  EXPECT_EQ(preview.width(), list.width());
  EXPECT_GT(preview.top(), list.bottom());
  EXPECT_LT(preview.bottom(), Control(control::kGroupBox)->geometry().top());
  EXPECT_EQ(preview.height(), preview_before.height() + dy);

  // Moving without resizing changes nothing.
  window_->move(window_->pos() + QPoint(40, 30));
  QCoreApplication::processEvents();
  EXPECT_EQ(Places(*window_), after);

  // Maximised: the grip goes; back to normal: everything returns to its place.
  window_->showMaximized();
  ASSERT_TRUE(WaitUntil([&] { return window_->isMaximized(); }));
  QCoreApplication::processEvents();
  EXPECT_FALSE(window_->size_grip()->isVisible());
  window_->showMinimized();
  QCoreApplication::processEvents();
  window_->showNormal();
  window_->resize(1130, 760);
  ASSERT_TRUE(WaitUntil([&] { return window_->client()->size() == now; }));
  QCoreApplication::processEvents();
  EXPECT_TRUE(window_->size_grip()->isVisible());
  EXPECT_EQ(Places(*window_), after);
}

TEST_F(Window, ThePreviewAllowsItsOwnTempFolderAndNothingElse) {
  const std::filesystem::path folder = temp_.path() / "QelTemp";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "email.html") << "<p>mail</p>";
  std::ofstream(temp_.path() / "secret.txt") << "secret";
  std::filesystem::create_symlink(temp_.path() / "secret.txt", folder / "link.txt");
  std::filesystem::create_directories(temp_.path() / "QelTemp2");
  const QString allowed = Q(folder) + "/";

  EXPECT_TRUE(IsAllowedPreviewUrl(QUrl::fromLocalFile(Q(folder / "email.html")), allowed));
  EXPECT_TRUE(IsAllowedPreviewUrl(QUrl::fromLocalFile(Q(folder / "not-yet.html")), allowed));
  EXPECT_TRUE(IsAllowedPreviewUrl(QUrl("about:blank"), allowed));
  EXPECT_FALSE(IsAllowedPreviewUrl(QUrl::fromLocalFile("/etc/passwd"), allowed));
  EXPECT_FALSE(IsAllowedPreviewUrl(QUrl::fromLocalFile(Q(temp_.path() / "secret.txt")), allowed));
  EXPECT_FALSE(IsAllowedPreviewUrl(QUrl::fromLocalFile(allowed + "../secret.txt"), allowed));
  EXPECT_FALSE(IsAllowedPreviewUrl(QUrl::fromLocalFile(Q(folder / "link.txt")), allowed));
  EXPECT_FALSE(IsAllowedPreviewUrl(QUrl::fromLocalFile(Q(temp_.path() / "QelTemp2/a")), allowed));
  EXPECT_FALSE(IsAllowedPreviewUrl(QUrl::fromLocalFile(Q(folder)), allowed));
  EXPECT_FALSE(IsAllowedPreviewUrl(QUrl("file://server" + Q(folder / "email.html")), allowed));
  EXPECT_FALSE(IsAllowedPreviewUrl(QUrl::fromLocalFile(Q(folder / "email.html")), QString()));
  EXPECT_FALSE(IsAllowedPreviewUrl(QUrl("http://example.com/a.png"), allowed));
  EXPECT_FALSE(IsAllowedPreviewUrl(QUrl("https://example.com/"), allowed));
  EXPECT_FALSE(IsAllowedPreviewUrl(QUrl("data:text/html,<p>x</p>"), allowed));
}

TEST_F(Window, ThePreviewLoadsLocalFilesOnly) {
  // A listening port stands for the network: nothing may connect to it.
  QTcpServer network;
  ASSERT_TRUE(network.listen(QHostAddress::LocalHost));
  const QString remote = QStringLiteral("http://127.0.0.1:%1/").arg(network.serverPort());

  const std::filesystem::path page = temp_.path() / "page.html";
  window_->browser()->SetAllowedFolder(Q(temp_.path()));
  {
    std::ofstream out(page);
    out << "<html><head><link rel=\"stylesheet\" href=\"" << remote.toStdString()
        << "style.css\"></head><body><p>local</p><img src=\"" << remote.toStdString()
        << "tracker.png\"><script>document.title='ran'</script></body></html>";
  }
  CExplorer1* browser = window_->browser();
  QSignalSpy loaded(browser, &QWebEngineView::loadFinished);
  window_->Navigate(Q(page).toStdU16String());
  // The load event waits for the image and the style sheet: had either been requested from
  // the silent port, the load would still be pending.
  ASSERT_TRUE(WaitUntil([&] { return loaded.count() > 0; }));
  EXPECT_TRUE(loaded.front().front().toBool());
  EXPECT_NE(browser->title(), QStringLiteral("ran"));

  // A remote page itself is refused by the request filter.
  browser->load(QUrl(remote + QStringLiteral("index.html")));
  ASSERT_TRUE(WaitUntil([&] { return loaded.count() > 1; }));
  EXPECT_GE(browser->blocked_request_count(), 1);
  QCoreApplication::processEvents();
  EXPECT_FALSE(network.hasPendingConnections());
}

// ---- Window size and places ------------------------------------------------------------------

TEST_F(Window, OpensCoveringTheScreen) {
  // Maximised where the platform does it; at the screen's available size where it does not
  // (an X server without a window manager), never at the size of an empty layout.
  const QSize available = window_->screen()->availableGeometry().size();
  ASSERT_TRUE(WaitUntil([&] { return window_->frameGeometry().size() == available; }, 5000))
      << window_->width() << "x" << window_->height() << " on " << available.width() << "x"
      << available.height();
}

TEST_F(Window, StaysARasterWindowWithAPagePreviewed) {
  // A window composed through OpenGL redraws whole for every status or progress update,
  // which without a graphics processor takes the workers' CPU time.
  ScanThroughDialog(pst_);
  SelectFolder("Inbox");
  QSignalSpy loaded(window_->browser(), &QWebEngineView::loadFinished);
  window_->list()->selectRow(0);
  window_->OnClickItemList();
  ASSERT_TRUE(WaitUntil([&] { return loaded.count() > 0; }));
  QCoreApplication::processEvents();
  ASSERT_NE(window_->windowHandle(), nullptr);
  EXPECT_EQ(window_->windowHandle()->surfaceType(), QSurface::RasterSurface);
}

// Every pair of visible controls of the client area whose rectangles meet, but for the
// overlaps the window is built on: the logo drawn on the banner, and the progress bar and the
// status text inside the frame of the bottom line.
std::vector<std::string> Overlaps(const CTarnwickDlg& window) {
  std::vector<QWidget*> shown;
  for (QWidget* child : window.client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isVisible() && !child->geometry().isEmpty()) shown.push_back(child);
  }
  const QWidget* banner = window.client()->findChild<QWidget*>(QStringLiteral("banner"));
  const QWidget* logo = window.Control(control::kLogo);
  const QWidget* frame = window.Control(control::kGroupBox);
  auto meant = [&](const QWidget* a, const QWidget* b) {
    if ((a == banner && b == logo) || (a == logo && b == banner)) return true;
    const std::array<const QWidget*, 2> framed{window.Control(control::kProgressBar),
                                               window.status_text()};
    for (const QWidget* inside : framed) {
      if ((a == frame && b == inside) || (a == inside && b == frame)) {
        return frame->geometry().contains(inside->geometry());
      }
    }
    return false;
  };
  auto name = [](const QWidget* widget) {
    const auto* label = qobject_cast<const QLabel*>(widget);
    return widget->objectName().toStdString() +
           (label ? " '" + label->text().toStdString() + "'" : std::string());
  };
  std::vector<std::string> overlaps;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      if (!shown[i]->geometry().intersects(shown[j]->geometry()) || meant(shown[i], shown[j])) {
        continue;
      }
      overlaps.push_back(name(shown[i]) + " and " + name(shown[j]));
    }
  }
  return overlaps;
}

TEST_F(Window, NoControlCoversAnotherFromEightHundredBySixHundredUp) {
  ScanThroughDialog(pst_);  // a tree with names, as the user sees it
  window_->showNormal();
  ASSERT_TRUE(WaitUntil([&] { return !window_->isMaximized(); }, 5000));
  for (const QSize size : {QSize(800, 600), QSize(1024, 768), QSize(1280, 720), QSize(1366, 768),
                           QSize(1600, 1000), QSize(1920, 1080), QSize(801, 1200)}) {
    window_->resize(size);
    ASSERT_TRUE(WaitUntil([&] { return window_->size() == size; }, 5000))
        << size.width() << "x" << size.height();
    QCoreApplication::processEvents();
    EXPECT_EQ(Overlaps(*window_), std::vector<std::string>())
        << "at " << size.width() << "x" << size.height();
    // The tree's right edge stays clear of the preview and the list.
    EXPECT_LT(window_->tree()->geometry().right(), window_->browser()->geometry().left());
    EXPECT_LT(window_->tree()->geometry().right(), window_->list()->geometry().left());
  }
  window_->showMaximized();
  ASSERT_TRUE(WaitUntil([&] { return window_->isMaximized(); }, 5000));
  QCoreApplication::processEvents();
  EXPECT_EQ(Overlaps(*window_), std::vector<std::string>()) << "maximised";
}

// ---- The preview -----------------------------------------------------------------------------

// Clicks `row` of the item list and waits until its preview has loaded.
void PreviewRow(CTarnwickDlg& window, int row) {
  QTableWidget* list = window.list();
  QSignalSpy loaded(window.browser(), &QWebEngineView::loadFinished);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(row, 2)).center());
  ASSERT_TRUE(WaitUntil([&] { return loaded.count() > 0 && !window.browser()->ShowsNothing(); }));
}

// How often `text` occurs in what the preview shows, frames included.
int FoundInPreview(CExplorer1& browser, const QString& text) {
  int found = -1;
  browser.page()->findText(
      text, {}, [&](const QWebEngineFindTextResult& result) { found = result.numberOfMatches(); });
  WaitUntil([&] { return found >= 0; }, 10000);
  browser.page()->findText(QString());  // ends the search and its highlight
  return found;
}

TEST_F(Window, ThePreviewIsClearedWheneverTheListIsEmptied) {
  ScanThroughDialog(pst_);
  CExplorer1* preview = window_->browser();
  SelectFolder("Inbox");
  PreviewRow(*window_, 0);

  SelectFolder("Archive");  // another folder
  EXPECT_TRUE(WaitUntil([&] { return preview->ShowsNothing(); }));
  PreviewRow(*window_, 0);

  ScanThroughDialog(pst_);  // another store (the same one again)
  EXPECT_EQ(window_->list()->rowCount(), 0);
  EXPECT_TRUE(WaitUntil([&] { return preview->ShowsNothing(); }));
  SelectFolder("Inbox");
  PreviewRow(*window_, 1);

  const std::filesystem::path broken = temp_.path() / "broken.pst";
  std::ofstream(broken) << std::string(4096, 'x');
  ScanThroughDialog(broken);  // a store that cannot be opened
  EXPECT_EQ(window_->list()->rowCount(), 0);
  EXPECT_TRUE(WaitUntil([&] { return preview->ShowsNothing(); }));
  EXPECT_EQ(FoundInPreview(*preview, "Body of"), 0);
}

TEST_F(Window, ThePreviewShowsNoFileOutsideItsTempFolder) {
  const std::filesystem::path secret = temp_.path() / "secret.txt";
  std::ofstream(secret) << "the secret words";
  const std::filesystem::path picture = temp_.path() / "secret.svg";
  std::ofstream(picture) << "<svg xmlns='http://www.w3.org/2000/svg' width='9' height='9'/>";
  const std::string secret_url = QUrl::fromLocalFile(Q(secret)).toString().toStdString();
  const std::string picture_url = QUrl::fromLocalFile(Q(picture)).toString().toStdString();

  pstgen::Store store;
  pstgen::Message& mail = store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note");
  mail.SetSubject(u"peeking");
  mail.Set(pstgen::tag::kSenderName, u"Eve Example");
  mail.SetHtml("<html><body><p>visible words</p><iframe src=\"" + secret_url +
               "\"></iframe><iframe src=\"file:///etc/passwd\"></iframe><img src=\"" + picture_url +
               "\"></body></html>");
  const std::filesystem::path pst = temp_.path() / "peeking.pst";
  pstgen::Write(store, pst);

  ScanThroughDialog(pst);
  SelectFolder("Inbox");
  PreviewRow(*window_, 0);
  CExplorer1* preview = window_->browser();
  auto blocked = [&](const std::string& url) {
    const std::vector<QUrl> urls = preview->blocked_requests();
    return std::find(urls.begin(), urls.end(), QUrl(QString::fromStdString(url))) != urls.end();
  };
  EXPECT_TRUE(WaitUntil([&] { return blocked(secret_url); }, 20000));
  EXPECT_TRUE(WaitUntil([&] { return blocked("file:///etc/passwd"); }, 20000));
  EXPECT_TRUE(WaitUntil([&] { return blocked(picture_url); }, 20000));
  EXPECT_GE(FoundInPreview(*preview, "visible words"), 1);
  EXPECT_EQ(FoundInPreview(*preview, "the secret words"), 0);
  EXPECT_EQ(FoundInPreview(*preview, "root:"), 0);
}

TEST_F(Window, AnHtmlOnlyMessageShowsItsHtml) {
  pstgen::Store store;
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddMessage("IPM.Note")
      .SetSubject(u"html only")
      .Set(pstgen::tag::kSenderName, u"Ann Example")
      .SetHtml("<html><body><p>Hello in <b>HTML</b> alone</p></body></html>");
  // The store keeps many HTML messages only as RTF that wraps their HTML.
  inbox.AddMessage("IPM.Note")
      .SetSubject(u"html in rtf")
      .Set(pstgen::tag::kSenderName, u"Bo Example")
      .SetRtf(
          "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n"
          "{\\*\\htmltag19 <html>}{\\*\\htmltag50 <body>}{\\*\\htmltag64 <table>}"
          "{\\*\\htmltag64 <tr>}{\\*\\htmltag64 <td>}Wrapped cell text"
          "{\\*\\htmltag72 </td>}{\\*\\htmltag72 </tr>}{\\*\\htmltag72 </table>}"
          "{\\*\\htmltag64 <img src=\"cid:image001.png\">}"
          "{\\*\\htmltag58 </body>}{\\*\\htmltag27 </html>}}");
  const std::filesystem::path pst = temp_.path() / "html.pst";
  pstgen::Write(store, pst);

  ScanThroughDialog(pst);
  SelectFolder("Inbox");
  ASSERT_EQ(window_->list()->rowCount(), 2);
  PreviewRow(*window_, 0);
  EXPECT_TRUE(
      WaitUntil([&] { return FoundInPreview(*window_->browser(), "HTML alone") >= 1; }, 20000));
  PreviewRow(*window_, 1);
  EXPECT_TRUE(WaitUntil(
      [&] { return FoundInPreview(*window_->browser(), "Wrapped cell text") >= 1; }, 20000));
  const auto record = window_->state().row_records.FindEmail(2, u"Bo Example");
  ASSERT_TRUE(record);
  EXPECT_TRUE(record->body_file_path.ends_with(u".html")) << ToUtf8(record->body_file_path);
}

TEST_F(Window, AnHtmlMessageShowsThePicturesItsAttachmentsHold) {
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(Qt::red);
  QByteArray png;
  QBuffer buffer(&png);
  ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
  ASSERT_TRUE(image.save(&buffer, "PNG"));

  pstgen::Store store;
  pstgen::Message& mail = store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note");
  mail.SetSubject(u"with a picture")
      .Set(pstgen::tag::kSenderName, u"Ann Example")
      .SetHtml("<html><body><p>Picture below</p><img src=\"cid:red.png@01D9\"></body></html>");
  mail.AddAttachment(u"red.png", pstgen::Binary(png.begin(), png.end()))
      .Set(0x3712, u"<RED.png@01d9>")  // PidTagAttachContentId
      .Set(0x7FFE, true);              // PidTagAttachmentHidden
  const std::filesystem::path pst = temp_.path() / "picture.pst";
  pstgen::Write(store, pst);

  ScanThroughDialog(pst);
  SelectFolder("Inbox");
  PreviewRow(*window_, 0);
  CExplorer1* preview = window_->browser();
  ASSERT_TRUE(WaitUntil([&] { return FoundInPreview(*preview, "Picture below") >= 1; }, 20000));

  // The body frame's picture, read by a script the test runs (the preview itself runs none).
  preview->page()->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
  const QString read_width = QStringLiteral(
      "(function() { var frame = document.getElementsByTagName('frame')[1];"
      "  var body = frame && frame.contentDocument;"
      "  var picture = body && body.images[0];"
      "  return picture && picture.complete ? picture.naturalWidth : -1; })()");
  // Answers may come late; they land in state that outlives the waiting.
  auto width = std::make_shared<int>(-1);
  EXPECT_TRUE(WaitUntil(
      [&] {
        auto answered = std::make_shared<bool>(false);
        preview->page()->runJavaScript(read_width, QWebEngineScript::ApplicationWorld,
                                       [width, answered](const QVariant& result) {
                                         *width = result.isValid() ? result.toInt() : -1;
                                         *answered = true;
                                       });
        WaitUntil([&] { return *answered; }, 5000);
        return *width > 0;
      },
      20000));
  EXPECT_EQ(*width, 40);
  preview->page()->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  for (const QUrl& url : preview->blocked_requests()) ADD_FAILURE() << url.toString().toStdString();
}

// ---- Opening a store named at start ---------------------------------------------------------

// Points the user's temp directory at `directory` while it lives.
class TempDirectoryVariable {
 public:
  explicit TempDirectoryVariable(const std::filesystem::path& directory)
      : had_(qEnvironmentVariableIsSet("TMPDIR")), old_(qgetenv("TMPDIR")) {
    qputenv("TMPDIR", QByteArray::fromStdString(directory.string()));
  }
  ~TempDirectoryVariable() {
    if (had_)
      qputenv("TMPDIR", old_);
    else
      qunsetenv("TMPDIR");
  }

 private:
  bool had_;
  QByteArray old_;
};

TEST_F(Window, AFileNamedAtStartIsOpenedAndScanned) {
  const TempDirectoryVariable tmpdir(temp_.path());
  window_->OpenAndScanFile(Q(temp_.path() / "missing.pst"));
  ASSERT_EQ(user_->boxes().size(), 1u);
  EXPECT_EQ(user_->boxes()[0].text, QStringLiteral("Please select valid file"));
  EXPECT_FALSE(window_->WorkerRunning());
  EXPECT_EQ(window_->tree()->topLevelItemCount(), 0);

  window_->OpenAndScanFile(Q(pst_));
  ASSERT_TRUE(WaitUntil([&] { return !window_->WorkerRunning(); }));
  EXPECT_EQ(window_->state().paths.pst_path, Q(pst_).toStdU16String());
  // A private temp folder of its own, in the runtime or temp directory.
  const std::filesystem::path temp_folder = ToPath(window_->state().paths.temp_folder_path);
  EXPECT_TRUE(temp_folder.parent_path().filename().string().starts_with("QelTemp"));
  EXPECT_EQ(std::filesystem::status(temp_folder).permissions(), std::filesystem::perms::owner_all);
  ASSERT_EQ(window_->tree()->topLevelItemCount(), 1);
  EXPECT_NE(Folder("Inbox"), nullptr);
  EXPECT_EQ(user_->boxes().back().text, QStringLiteral("Scanning completed"));
}

struct ProgramRun {
  int exit_code = -1;
  QString output;
};

ProgramRun RunProgram(const QStringList& arguments) {
  QProcess program;
  program.start(QStringLiteral(BRINDLEMOOR_PROGRAM), arguments);
  if (!program.waitForFinished(60000)) program.kill();
  return {program.exitCode(),
          QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError())};
}

TEST_F(Window, TheProgramAnswersHelpAndVersionAndScansTheFileItIsGiven) {
  const ProgramRun help = RunProgram({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_TRUE(help.output.startsWith("Usage: brindlemoor [FILE.pst]")) << help.output.toStdString();
  const ProgramRun version = RunProgram({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.output, QStringLiteral("Brindlemoor 5.4\n"));
  const ProgramRun wrong = RunProgram({"--frobnicate"});
  EXPECT_EQ(wrong.exit_code, 2);
  EXPECT_TRUE(wrong.output.contains("unknown option --frobnicate")) << wrong.output.toStdString();

  // Given a file, the program scans it into the temp folder and reports the scan in its log.
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("TMPDIR", Q(temp_.path()));
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(BRINDLEMOOR_PROGRAM), {Q(pst_)});
  // The log is in the run's private temp folder, which the program makes in TMPDIR.
  auto log_says_completed = [&] {
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(temp_.path(), error)) {
      if (!entry.path().filename().string().starts_with("log-data-")) continue;
      std::ifstream log(entry.path(), std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(log)), {});
      if (text.find("Scanning completed") != std::string::npos) return true;
    }
    return false;
  };
  EXPECT_TRUE(WaitUntil(log_says_completed, 90000));
  program.kill();  // it waits for the "Scanning completed" box to be answered
  program.waitForFinished(10000);
}

// ---- Shortcuts and pickers -------------------------------------------------------------------

TEST_F(Window, CtrlOOpensAndCtrlQExits) {
  EXPECT_EQ(window_->MenuCommand(command::kOpenAndScan)->shortcut(),
            QKeySequence(QKeySequence::Open));
  EXPECT_EQ(window_->MenuCommand(command::kExit)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));

  bool dialog_opened = false;
  OnNextModal([&](QWidget* dialog) {
    dialog_opened = qobject_cast<browsefile*>(dialog) != nullptr;
    Click(dialog, browse_control::kCancel);
  });
  QTest::keyClick(window_.get(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_TRUE(WaitUntil([&] { return dialog_opened; }, 5000));

  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  user_->AnswerBox(mb::kIdYes);
  QTest::keyClick(window_.get(), Qt::Key_Q, Qt::ControlModifier);
  ASSERT_FALSE(user_->boxes().empty());
  EXPECT_EQ(user_->boxes().back().text, QStringLiteral("Do you want to Exit ?       "));
  EXPECT_EQ(user_->exit_codes(), std::vector<int>{0});
}

TEST_F(Window, PickersStartAtHomeAndThenWhereTheUserWentLast) {
  QtUserInteraction real;
  QString opened_in;
  auto pick = [&](const QString& path) {
    return [&opened_in, path](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      opened_in = dialog->directory().absolutePath();
      dialog->selectFile(path);
      QMetaObject::invokeMethod(dialog, "accept");
    };
  };
  const std::filesystem::path folder = temp_.path() / "chosen";
  std::filesystem::create_directories(folder);

  OnNextModal(pick(Q(pst_)));
  EXPECT_EQ(real.OpenPstFile(window_.get()), Q(pst_));
  EXPECT_EQ(opened_in, QDir::homePath());
  OnNextModal(pick(Q(folder)));
  EXPECT_EQ(real.BrowseForFolder(window_.get(), "Select the Temp Path"), Q(folder));
  EXPECT_EQ(opened_in, QDir::homePath());

  OnNextModal(pick(Q(pst_)));
  EXPECT_EQ(real.OpenPstFile(window_.get()), Q(pst_));
  EXPECT_EQ(opened_in, Q(temp_.path()));
  OnNextModal([&](QWidget* modal) {
    opened_in = qobject_cast<QFileDialog*>(modal)->directory().absolutePath();
    QMetaObject::invokeMethod(modal, "reject");
  });
  EXPECT_EQ(real.BrowseForFolder(window_.get(), "Select the Destination Path"), std::nullopt);
  EXPECT_EQ(opened_in, Q(folder));
}

// ---- Help links ------------------------------------------------------------------------------

std::string ManualText() {
  std::ifstream manual(BRINDLEMOOR_MANUAL_SOURCE);
  return std::string((std::istreambuf_iterator<char>(manual)), {});
}

TEST_F(Window, HelpLinksOpenTheManualAtTheirSectionWhereverItLies) {
  const std::string manual = ManualText();
  for (const char* section : {"mime-component", "messaging-component", "messaging-problem"}) {
    EXPECT_NE(manual.find("id=\"" + std::string(section) + "\""), std::string::npos) << section;
  }
  const ComponentStarter broken = [] { return REGDB_E_CLASSNOTREG; };
  auto convert_with = [&](const ComponentStarters& starters) {
    std::u16string destination;
    EXPECT_FALSE(ConvertCommand(window_->state(), destination, starters));
    EXPECT_FALSE(user_->opened().empty());
    return user_->opened().empty() ? QUrl() : user_->opened().back();
  };

  // Beside the program.
  const std::filesystem::path bin = temp_.path() / "bin";
  std::filesystem::create_directories(bin);
  std::filesystem::copy_file(BRINDLEMOOR_MANUAL_SOURCE, bin / "brindlemoor.html");
  window_->state().paths.program_directory = Q(bin).toStdU16String() + u"/";
  QUrl link = convert_with({.mime = broken});
  EXPECT_TRUE(link.isLocalFile());
  EXPECT_EQ(link.toLocalFile(), Q(bin / "brindlemoor.html"));
  EXPECT_EQ(link.fragment(), QStringLiteral("mime-component"));
  EXPECT_FALSE(link.toString().contains("%23"));
  link = convert_with({.messaging = broken});
  EXPECT_EQ(link.fragment(), QStringLiteral("messaging-component"));

  // Installed: the program in bin/, the manual in share/brindlemoor/.
  const std::filesystem::path installed = temp_.path() / "usr";
  std::filesystem::create_directories(installed / "bin");
  std::filesystem::create_directories(installed / "share/brindlemoor");
  std::filesystem::copy_file(BRINDLEMOOR_MANUAL_SOURCE,
                             installed / "share/brindlemoor/brindlemoor.html");
  window_->state().paths.program_directory = Q(installed / "bin").toStdU16String() + u"/";
  link = convert_with({.mime = broken});
  EXPECT_EQ(QFileInfo(link.toLocalFile()).canonicalFilePath(),
            Q(std::filesystem::canonical(installed / "share/brindlemoor/brindlemoor.html")));
  EXPECT_EQ(link.fragment(), QStringLiteral("mime-component"));

  // Other paths the engine hands over are taken literally.
  window_->OpenExternal(Q(temp_.path() / "out#1").toStdU16String());
  EXPECT_EQ(user_->opened().back(), QUrl::fromLocalFile(Q(temp_.path() / "out#1")));
  window_->OpenExternal(u"https://brindlemoor.example.org/help");
  EXPECT_EQ(user_->opened().back(), QUrl("https://brindlemoor.example.org/help"));
}

}  // namespace
}  // namespace bm::app
