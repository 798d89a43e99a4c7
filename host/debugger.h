// The debugger window, "Quillane Debugger": a second window beside the main one, with the
// registers, the disassembly around the PC, memory, the stack and the console of the debug
// engine's command language. Opening it attaches the engine to the machine in threaded mode (the
// processor thread calls the engine between instructions while it asks for attention); closing
// it detaches the engine, and the machine runs on unwatched at full speed.
//
// Stops reach the window from the processor thread through the engine's stop callback and are
// queued to the window's thread. While the machine is stopped the sound plays silence.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "debug/core/engine.h"
#include "host/debugger_panes.h"
#include "host/debugger_profile.h"
#include "host/debugger_source.h"

class QAction;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
struct emu_t;

class gui_debugger_window : public QMainWindow {
    Q_OBJECT
  public:
    // main_window: the program's main window (may be null in tests); `quit` closes it.
    gui_debugger_window(emu_t *emu, QWidget *main_window);
    ~gui_debugger_window() override;

    // Attaches the engine (when not yet attached), shows and raises the window and puts the
    // keyboard focus into the console's input.
    void open();
    // Detaches the engine; the machine runs on at full speed. The window stays as it is.
    void detach();
    bool attached() const { return attached_; }
    // True while the machine stands still under the debugger.
    bool paused() const { return paused_; }

    // Runs one line of the command language as if typed into the console. The command runs on
    // a thread of its own (the engine takes the machine lock itself) while this window waits in a
    // local event loop with the console and the controls disabled, so that a command whose file
    // blocks (a pipe) never freezes the windows or keeps a signal from ending the program.
    void execute(const QString &line);
    // True while a console command or a symbol file load runs.
    bool busy() const { return busy_; }
    // Loads a symbol file or debug information (.sym, .noi, .map, .cdb, .lines), read off the
    // window thread (the console reports the result); false when it failed.
    bool load_symbols(const QString &path);
    // Loads the monitor's symbols and what lies beside an image NAME.hex (NAME.sym or .noi,
    // NAME.cdb, NAME.lines), as quillane-run does.
    void load_symbols_beside(const QString &image, const std::vector<std::string> &dirs = {});
    // Loads an SDCC .cdb or a line table into the engine's source model; source files are looked
    // for beside it, then in dirs. False (reported in the console) when it failed.
    bool load_source(const QString &path, const QStringList &dirs = {});
    // Selects a frame of the call stack for Source, Locals, Watch and the console's commands.
    void choose_frame(int index);

    // The status line's cause text and clock text; the console's output.
    QString status_text() const;
    QString clock_text() const;
    QString console_text() const;
    gui_disassembly_pane *disassembly() const { return disassembly_; }
    gui_memory_pane *memory() const { return memory_; }
    gui_registers_pane *registers() const { return registers_; }
    gui_stack_pane *stack() const { return stack_; }
    gui_profile_pane *hot_spots() const { return hot_spots_; }
    gui_source_pane *source() const { return source_; }
    gui_locals_pane *locals() const { return locals_; }
    gui_breakpoints_pane *breakpoints() const { return breakpoints_; }
    gui_watch_pane *watch() const { return watch_; }
    QLineEdit *console_input() const { return input_; }
    // Control actions by object name: continue_pause, step, next, finish, stepi, nexti,
    // run_to_cursor,
    // toggle_breakpoint, warp, symbols, step_back, reverse_continue, save_state, load_state,
    // reload.
    QAction *control(const QString &name) const;

    // Reads the machine under the lock and redraws every pane.
    void refresh();
    // What Reload loads again: the command line's images and the text it types.
    void set_reload_inputs(const std::vector<std::string> &images,
                           const std::vector<std::string> &type);
    // Goes back in time (1 instruction, or to the previous stop) while paused.
    void travel(bool to_stop);
    // Reloads the images (as --watch does); false with the reason printed in the console.
    bool reload();
    // After a reload: prints its report (breakpoints moved or deleted) and redraws every pane.
    void reloaded(const QString &report);

    // Told of every stop the window shows (an editor's debug adapter shares them).
    std::function<void(const dbg_stop_t &)> on_stop;

  protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    enum run_kind_t {
        RUN_CONTINUE,
        RUN_STEP,
        RUN_NEXT,
        RUN_FINISH,
        RUN_STEPI,
        RUN_NEXTI,
        RUN_TO_CURSOR
    };

    // The window's feed of stops, a hook of the engine (its slot, -1 when none).
    static void stop_hook(dbg_engine_t *e, void *user, const dbg_stop_t *stop);
    int stop_feed_ = -1;
    void stopped(const dbg_stop_t &stop);
    void run(run_kind_t kind);
    void continue_or_pause();
    void toggle_breakpoint(uint16_t address);
    void toggle_source_breakpoint(int file, int line);
    void toggle_selected_breakpoint();
    void set_warp(bool on);
    void choose_symbols();
    void choose_state(bool save);
    void tick_clock();
    void enter_line();
    void print(const QString &text);
    void set_paused(bool paused, const QString &status);
    void update_controls();
    // Runs work through the file job (host/file_dialog.h) with the window disabled; false when
    // the program began to end meanwhile.
    bool run_busy(std::function<void()> work);
    // Runs a load of debug information as a file job and reports it in the console.
    bool load_debug(const QString &what, std::function<bool(dbg_engine_t *, std::string *)> load);

    emu_t *emu_;
    dbg_engine_t *engine_;
    QWidget *main_window_;
    bool attached_ = false;
    bool paused_ = false;
    // While busy the panes are not redrawn (the work may be adding symbols) and stops wait.
    bool busy_ = false;
    std::vector<dbg_stop_t> deferred_stops_;
    std::unique_ptr<gui_debugger_view_t> view_;

    gui_registers_pane *registers_;
    gui_disassembly_pane *disassembly_;
    gui_memory_pane *memory_;
    gui_stack_pane *stack_;
    gui_profile_pane *hot_spots_;
    gui_source_pane *source_;
    gui_locals_pane *locals_;
    gui_breakpoints_pane *breakpoints_;
    gui_watch_pane *watch_;
    // The call stack of the view, and the model used while no debug information is loaded.
    std::vector<dbg_frame_t> frames_;
    std::unique_ptr<dbg_source_t> no_source_;
    QPlainTextEdit *output_;
    QLineEdit *input_;
    QLabel *status_;
    QLabel *clock_;
    QTimer *timer_;
    QAction *continue_pause_, *step_, *next_, *finish_, *run_to_cursor_, *toggle_break_, *warp_,
        *symbols_, *stepi_, *nexti_, *step_back_, *reverse_continue_, *save_state_, *load_state_,
        *reload_;
    std::vector<std::string> reload_images_, reload_type_;

    QStringList history_;
    int history_at_ = 0;

    uint64_t clock_ticks_ = 0;
    std::chrono::steady_clock::time_point clock_time_;
};

// Creates the debugger window (hidden) for the main window and adds F12 to the main window, a
// shortcut outside its menus that opens the debugger. The caller owns the window.
gui_debugger_window *gui_debugger_install(QWidget *main_window, emu_t *emu);
