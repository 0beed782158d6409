#include "tools/common/gui/job_list.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

namespace tools_gui {

JobList::JobList(QWidget *parent) : QTreeWidget(parent) {
  setColumnCount(2);
  setRootIsDecorated(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setStyleSheet("QTreeView::item { border-right: 1px solid #d0d0d0; border-bottom: 1px solid #d0d0d0; }");
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &p) { emit context_menu_requested(viewport()->mapToGlobal(p)); });
}

void JobList::set_titles(const QString &at_separated) {
  QStringList parts = at_separated.split('@', Qt::SkipEmptyParts);
  while (parts.size() < 2) parts << QString();
  setHeaderLabels(parts.mid(0, 2));
}

void JobList::add_row(const QString &input, const QString &output) {
  auto *item = new QTreeWidgetItem(this);
  item->setText(0, input);
  item->setText(1, output);
  item->setToolTip(0, input);
  item->setToolTip(1, output);
}

QString JobList::input(int row) const {
  const QTreeWidgetItem *item = topLevelItem(row);
  return item ? item->text(0) : QString();
}

QString JobList::output(int row) const {
  const QTreeWidgetItem *item = topLevelItem(row);
  return item ? item->text(1) : QString();
}

void JobList::set_output(int row, const QString &output) {
  if (QTreeWidgetItem *item = topLevelItem(row)) {
    item->setText(1, output);
    item->setToolTip(1, output);
  }
}

QList<int> JobList::selected_rows() const {
  QList<int> rows;
  for (QTreeWidgetItem *item : selectedItems()) rows << indexOfTopLevelItem(item);
  std::sort(rows.begin(), rows.end());
  return rows;
}

void JobList::remove_rows(const QList<int> &rows) {
  QList<int> sorted = rows;
  std::sort(sorted.begin(), sorted.end(), std::greater<int>());
  for (int r : sorted) delete takeTopLevelItem(r);
}

void JobList::dragEnterEvent(QDragEnterEvent *event) {
  if (isEnabled() && event->mimeData()->hasUrls())
    event->acceptProposedAction();
  else
    event->ignore();
}

void JobList::dragMoveEvent(QDragMoveEvent *event) {
  if (isEnabled() && event->mimeData()->hasUrls())
    event->acceptProposedAction();
  else
    event->ignore();
}

void JobList::dropEvent(QDropEvent *event) {
  QStringList paths;
  for (const QUrl &url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  event->acceptProposedAction();
  if (!paths.isEmpty()) emit files_dropped(paths);
}

void JobList::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Delete) {
    emit delete_requested();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void JobList::resizeEvent(QResizeEvent *event) {
  QTreeWidget::resizeEvent(event);
  // Two columns of equal width.
  const int half = viewport()->width() / 2;
  setColumnWidth(0, half);
  setColumnWidth(1, half);
}

}  // namespace tools_gui
