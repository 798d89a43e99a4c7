// The debugger window's source-level panes over the engine's source model (debug/info/source.h):
// the Source pane (a file with the current line and its breakpoints), and the value trees of Locals
// and Watch. Like the other panes they show copies of the machine taken under the lock
// (gui_debugger_view_t) and write through the debug engine.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "debug/info/source.h"
#include "host/debugger_panes.h"

class QLabel;
class QLineEdit;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;
struct dbg_engine_t;

// What the source-level panes evaluate against: the model (never null; an empty one without
// debug information), the copy of the machine and the selected frame (null: none).
struct gui_source_view_t {
    dbg_source_t *model;
    const gui_debugger_view_t *view;
    const dbg_symbols_t *symbols;
    const dbg_frame_t *frame;
};

// The evaluation context of a source view.
dbg_eval_context_t gui_source_context(const gui_source_view_t &source);

class gui_source_pane : public QWidget {
    Q_OBJECT
  public:
    // Columns; the cost column (the profile's share of T-states) shows while there is a profile.
    enum : int { SRC_MARK, SRC_LINE, SRC_COST, SRC_TEXT, SRC_COLUMNS };
    explicit gui_source_pane(QWidget *parent = nullptr);
    // Shows the selected frame's file with its line marked; without a line the file shown
    // before stays, unmarked. Breakpoints are drawn at the lines whose code they are on, and
    // with a profile each line's share of the T-states.
    void show_view(const gui_source_view_t &source);
    // The model was loaded anew (a reload): the next view reads its file's text again.
    void forget_text() { model_ = nullptr; }
    QTableWidget *table() const { return table_; }
    // The file shown (index into the model's files, -1 none) and the marked line (0 none).
    int file() const { return file_; }
    int current_line() const { return current_line_; }

  signals:
    // A click in the margin of a line.
    void breakpoint_clicked(int file, int line);

  private:
    QLabel *title_;
    QTableWidget *table_;
    const dbg_source_t *model_ = nullptr;
    int file_ = -1;
    int current_line_ = 0;
};

// A tree of values (name, type, value): Locals, and the values of Watch. A value held in memory
// can be edited in its value column while paused; the edit is written with dbg_source_assign.
class gui_values_tree : public QWidget {
    Q_OBJECT
  public:
    enum : int { VAL_NAME, VAL_TYPE, VAL_VALUE, VAL_COLUMNS };
    gui_values_tree(dbg_engine_t *engine, QWidget *parent = nullptr);
    QTreeWidget *tree() const { return tree_; }

  signals:
    // A value was written (or a write failed: error holds the reason).
    void changed(const QString &error);

  protected:
    // Brings the tree in line with values, keeping items (and so what is expanded) where the
    // shape stays the same. paths: the expression that names each top-level value.
    void show_values(const gui_source_view_t &source, const std::vector<dbg_value_t> &values,
                     const QStringList &paths, bool editable);

  private:
    void sync(QTreeWidgetItem *parent, const std::vector<dbg_value_t> &values,
              const QStringList &paths, bool editable);
    void edited(QTreeWidgetItem *item, int column);

    dbg_engine_t *engine_;
    QTreeWidget *tree_;
    gui_source_view_t source_{};
    dbg_frame_t frame_{};
    bool has_frame_ = false;
    bool filling_ = false;
};

class gui_locals_pane : public gui_values_tree {
    Q_OBJECT
  public:
    explicit gui_locals_pane(dbg_engine_t *engine, QWidget *parent = nullptr);
    // The parameters and locals of the selected frame.
    void show_view(const gui_source_view_t &source, bool editable);
};

class gui_watch_pane : public gui_values_tree {
    Q_OBJECT
  public:
    explicit gui_watch_pane(dbg_engine_t *engine, QWidget *parent = nullptr);
    // Evaluates every expression of the list again.
    void show_view(const gui_source_view_t &source, bool editable);
    QLineEdit *input() const { return input_; }
    QStringList expressions() const { return expressions_; }
    void add(const QString &expression);
    // Removes the selected expression.
    void remove_selected();

  signals:
    // The list changed: the window evaluates it again.
    void list_changed();

  private:
    QLineEdit *input_;
    QStringList expressions_;
};
