// The panes of the debugger window: registers and flags, disassembly, memory and stack. Each
// shows a copy of the machine taken under the lock (gui_debugger_view_t) and writes changes
// through the debug engine; none of them runs the machine.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/front/register_rows.h"
#include "debug/front/view_rows.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTableWidget;
struct dbg_engine_t;
struct dbg_frame_t;
struct dbg_source_t;
struct dbg_symbols_t;

// What the panes show: the machine as it was at one moment.
struct gui_debugger_view_t {
    z_cpu_t cpu;
    uint64_t ticks;
    std::vector<dbg_breakpoint_row_t> breakpoints;
    std::array<uint8_t, 65536> memory;
    // The profile's T-states by instruction address (dbg_profile_costs; empty without one), and
    // their sum: the source and disassembly panes mark hot lines with them.
    std::vector<uint64_t> costs;
    uint64_t cost_total;
};

class gui_registers_pane : public QWidget {
    Q_OBJECT
  public:
    explicit gui_registers_pane(dbg_engine_t *engine, QWidget *parent = nullptr);
    void show_view(const gui_debugger_view_t &view, bool editable);

  signals:
    // A register was written (or a write failed: error holds the reason).
    void changed(const QString &error);

  private:
    void write(int index);
    void write_flag(int bit);
    const dbg_register_row_t &row_of(int index, bool flag) const;

    dbg_engine_t *engine_;
    std::vector<QLineEdit *> fields_; // the rows that are not flags, in order
    std::vector<QCheckBox *> flags_;
    QLabel *ticks_;
    std::vector<dbg_register_row_t> rows_; // as last shown
    bool editable_ = false;
};

class gui_disassembly_pane : public QWidget {
    Q_OBJECT
  public:
    enum : int { ROWS = 40, ROWS_BEFORE_PC = 8 };
    // Columns; the cost column (the profile's share of T-states) shows while there is a profile.
    enum : int { DIS_MARK, DIS_COST, DIS_ADDRESS, DIS_LABEL, DIS_BYTES, DIS_TEXT, DIS_COLUMNS };
    explicit gui_disassembly_pane(QWidget *parent = nullptr);
    // Lists the instructions around the PC, keeping the listing where it is while the PC stays
    // well inside it. model (may be null): source lines for "Source in disassembly".
    void show_view(const gui_debugger_view_t &view, const dbg_symbols_t *symbols,
                   dbg_source_t *model = nullptr);
    // Selects the instruction at address, moving the listing there when it is not shown.
    void select_address(uint16_t address);
    // The selected instruction's address; false when none is selected.
    bool selected_address(uint16_t *address) const;
    QTableWidget *table() const { return table_; }
    // "Source in disassembly": each line's source above its first instruction.
    QCheckBox *source_lines() const { return source_lines_; }

  signals:
    // A click in the breakpoint column.
    void breakpoint_clicked(uint16_t address);

  private:
    void fill(uint16_t top);
    // The row of the instruction at address (not a source line's row), or -1.
    int row_of(uint16_t address) const;

    QTableWidget *table_;
    QCheckBox *source_lines_;
    const gui_debugger_view_t *view_ = nullptr;
    const dbg_symbols_t *symbols_ = nullptr;
    dbg_source_t *model_ = nullptr;
    std::vector<uint16_t> addresses_; // of the listed rows (a source row: its line's address)
    std::vector<bool> source_rows_;   // which rows hold a source line
};

class gui_memory_pane : public QWidget {
    Q_OBJECT
  public:
    enum : int { ROWS = 16 };
    explicit gui_memory_pane(dbg_engine_t *engine, QWidget *parent = nullptr);
    // "Memory at" is an expression (debug/info/source.h) evaluated in the selected frame (may be
    // null); one that cannot be evaluated leaves the rows where they were and says why.
    void show_view(const gui_debugger_view_t &view, const dbg_symbols_t *symbols,
                   const dbg_source_t *model, const dbg_frame_t *frame, bool editable);
    QLineEdit *address_field() const { return address_; }
    // Why "Memory at" could not be evaluated ("" when it could).
    QString error() const;
    QTableWidget *table() const { return table_; }
    // First address shown.
    uint16_t start() const { return start_; }

  signals:
    void changed(const QString &error);

  private:
    void edited(int row, int column);

    dbg_engine_t *engine_;
    QLineEdit *address_;
    QLabel *error_;
    QTableWidget *table_;
    uint16_t start_ = 0;
    bool filling_ = false;
};

class gui_stack_pane : public QWidget {
    Q_OBJECT
  public:
    enum : int { ROWS = 16 };
    explicit gui_stack_pane(QWidget *parent = nullptr);
    // The words on the stack, and the call frames (function, file:line, address: the rows DAP's
    // stackTrace shows too) with the selected one marked.
    void show_view(const gui_debugger_view_t &view, const dbg_symbols_t *symbols,
                   const std::vector<dbg_frame_row_t> &frames, int selected);
    QTableWidget *table() const { return table_; }
    QTableWidget *frames_table() const { return frames_; }

  signals:
    // A frame was clicked.
    void frame_chosen(int index);

  private:
    QTableWidget *frames_;
    QTableWidget *table_;
};

// The breakpoints (the rows DAP reports them with): id, place, address, condition and hits.
class gui_breakpoints_pane : public QWidget {
    Q_OBJECT
  public:
    enum : int { BP_ID, BP_PLACE, BP_ADDRESS, BP_CONDITION, BP_HITS, BP_COLUMNS };
    explicit gui_breakpoints_pane(QWidget *parent = nullptr);
    void show_view(const gui_debugger_view_t &view);
    QTableWidget *table() const { return table_; }

  private:
    QTableWidget *table_;
};
