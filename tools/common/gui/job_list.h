// The two-column job list (input, output): full-row selection, grid lines,
// files dropped on it, Up/Down moving a single selection, Delete asking to
// delete, and a context menu the window fills.
#pragma once

#include <QStringList>
#include <QTreeWidget>

namespace tools_gui {

class JobList : public QTreeWidget {
  Q_OBJECT

 public:
  explicit JobList(QWidget *parent = nullptr);

  /// Column titles from "Input Files@Output Files@" (split at '@').
  void set_titles(const QString &at_separated);
  void add_row(const QString &input, const QString &output);
  int row_count() const { return topLevelItemCount(); }
  QString input(int row) const;
  QString output(int row) const;
  void set_output(int row, const QString &output);
  /// Selected rows, ascending.
  QList<int> selected_rows() const;
  void remove_rows(const QList<int> &rows);

 signals:
  void files_dropped(const QStringList &paths);
  void delete_requested();
  void context_menu_requested(const QPoint &global_pos);

 protected:
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dropEvent(QDropEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
};

}  // namespace tools_gui
