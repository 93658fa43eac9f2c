#include "app/folder_tree_ctrl.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <array>

#include "app/ui_rules.h"

namespace bm::app {

namespace {

constexpr int kHandleRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;

// The icon files behind the image indices; 1, 2, 15 and 16 are chosen by no rule.
constexpr std::array<const char*, kFolderImageCount> kImageFiles{
    "folder", "folder-open", "store",   "calendar", "contacts", "deleted",
    "drafts", "inbox",       "journal", "junk",     "notes",    "outbox",
    "sent",   "tasks",       "sync",    "search",   "archive"};

// Adapts the widget to the tick rules of ui_rules.h.
struct TickTree {
  QTreeWidgetItem* Parent(QTreeWidgetItem* item) const { return item->parent(); }
  std::vector<QTreeWidgetItem*> Children(QTreeWidgetItem* item) const {
    std::vector<QTreeWidgetItem*> children;
    for (int i = 0; i < item->childCount(); ++i) children.push_back(item->child(i));
    return children;
  }
  bool IsChecked(QTreeWidgetItem* item) const { return item->checkState(0) == Qt::Checked; }
  void SetChecked(QTreeWidgetItem* item, bool checked) const {
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
  }
};

}  // namespace

CFolderTreeCtrl1::CFolderTreeCtrl1(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(1);
  header()->hide();
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  setMouseTracking(true);  // hot tracking
  setIconSize(QSize(16, 16));
}

void CFolderTreeCtrl1::BuildImageList() {
  images_.clear();
  for (const char* name : kImageFiles) {
    images_.emplace_back(QStringLiteral(":/brindlemoor/icons/%1.svg").arg(QLatin1String(name)));
  }
}

TreeItem CFolderTreeCtrl1::InsertNode(std::u16string_view display_name,
                                      std::u16string_view kind_name, TreeItem parent) {
  QTreeWidgetItem* parent_item = ItemOf(parent);
  const bool under_root = parent == kNoTreeItem || parent_item == nullptr;
  const int image = under_root ? kDefaultFolderImage : FolderImageIndex(display_name, kind_name);

  auto* item = new QTreeWidgetItem();  // owned by the widget once added below
  item->setText(0, QString::fromStdU16String(std::u16string(display_name)));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  // Ticks change only through our own click handling, never through the default delegate.
  item->setData(0, Qt::CheckStateRole, Qt::Unchecked);
  item->setData(0, kImageRole, image);
  if (static_cast<std::size_t>(image) < images_.size()) item->setIcon(0, images_[image]);

  const TreeItem handle = next_handle_++;
  item->setData(0, kHandleRole, QVariant::fromValue<qulonglong>(handle));
  items_.emplace(handle, item);
  if (under_root) {
    addTopLevelItem(item);
    root_item_ = handle;
  } else {
    parent_item->addChild(item);
  }
  if (QTreeWidgetItem* root = ItemOf(root_item_)) root->setExpanded(true);
  if (parent_item) parent_item->setExpanded(true);
  return handle;
}

void CFolderTreeCtrl1::DeleteAllNodes() {
  clear();
  items_.clear();
  root_item_ = kNoTreeItem;
}

bool CFolderTreeCtrl1::IsChecked(TreeItem item) const {
  const QTreeWidgetItem* node = ItemOf(item);
  return node && node->checkState(0) == Qt::Checked;
}

void CFolderTreeCtrl1::ToggleCheck(TreeItem item) {
  if (QTreeWidgetItem* node = ItemOf(item)) {
    TickTree tree;
    app::ToggleCheck(tree, node);
  }
}

QTreeWidgetItem* CFolderTreeCtrl1::ItemOf(TreeItem item) const {
  const auto found = items_.find(item);
  return found == items_.end() ? nullptr : found->second;
}

TreeItem CFolderTreeCtrl1::HandleOf(const QTreeWidgetItem* item) const {
  return item ? item->data(0, kHandleRole).value<qulonglong>() : kNoTreeItem;
}

int CFolderTreeCtrl1::ImageIndexOf(TreeItem item) const {
  const QTreeWidgetItem* node = ItemOf(item);
  return node ? node->data(0, kImageRole).toInt() : -1;
}

QRect CFolderTreeCtrl1::CheckBoxRect(TreeItem item) const {
  QTreeWidgetItem* node = ItemOf(item);
  if (!node) return {};
  const QModelIndex index = indexFromItem(node);
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(index);
  option.index = index;
  option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  option.text = node->text(0);
  if (!node->icon(0).isNull()) {
    option.features |= QStyleOptionViewItem::HasDecoration;
    option.icon = node->icon(0);
    option.decorationSize = iconSize();
  }
  option.checkState = node->checkState(0);
  return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

CFolderTreeCtrl1::Hit CFolderTreeCtrl1::HitTest(const QPoint& pos, QTreeWidgetItem** item) const {
  *item = itemAt(pos);
  if (*item == nullptr) return Hit::kNothing;
  return CheckBoxRect(HandleOf(*item)).contains(pos) ? Hit::kCheckBox : Hit::kItem;
}

void CFolderTreeCtrl1::mousePressEvent(QMouseEvent* event) {
  swallow_release_ = false;
  if (event->button() != Qt::LeftButton) {
    QTreeWidget::mousePressEvent(event);
    return;
  }
  QTreeWidgetItem* item = nullptr;
  switch (HitTest(event->position().toPoint(), &item)) {
    case Hit::kNothing:
      // Empty space: no selection change, no focus rectangle, nothing.
      swallow_release_ = true;
      event->accept();
      return;
    case Hit::kCheckBox:
      // The selection stays where it was, so no folder load starts.
      swallow_release_ = true;
      ToggleCheck(HandleOf(item));
      event->accept();
      return;
    case Hit::kItem:
      QTreeWidget::mousePressEvent(event);
      return;
  }
}

void CFolderTreeCtrl1::mouseReleaseEvent(QMouseEvent* event) {
  if (swallow_release_) {
    swallow_release_ = false;
    event->accept();
    return;
  }
  QTreeWidget::mouseReleaseEvent(event);
}

void CFolderTreeCtrl1::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeWidgetItem* item = nullptr;
  if (event->button() == Qt::LeftButton &&
      HitTest(event->position().toPoint(), &item) != Hit::kItem) {
    // A second click on a check box is a second tick change, like the first.
    if (item) ToggleCheck(HandleOf(item));
    swallow_release_ = true;
    event->accept();
    return;
  }
  QTreeWidget::mouseDoubleClickEvent(event);
}

}  // namespace bm::app
