// The debugger window: layout, run control, the console and the status line.
#include "host/debugger.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <cstring>

#include "debug/core/reload.h"
#include "debug/front/commands.h"
#include "debug/front/session.h"
#include "debug/front/source_commands.h"
#include "debug/info/disasm.h"
#include "debug/info/source.h"
#include "debug/info/symbols.h"
#include "debug/travel/history.h"
#include "debug/travel/record.h"
#include "debug/travel/state.h"
#include "devices/sound.h"
#include "host/file_dialog.h"
#include "machine/emu.h"

namespace {

// The stop as the status line tells it: the engine's text, with the instruction's bytes for an
// invalid opcode and the accessing instruction's symbol for a watchpoint.
QString describe(const dbg_stop_t &stop, const dbg_symbols_t *symbols) {
    QString text = QString::fromStdString(stop.text);
    if (stop.cause == DBG_CAUSE_INVALID && !text.contains(QLatin1Char('(')))
        text += QStringLiteral(" (%1)").arg(
            QString::fromStdString(dbg_instruction_bytes(stop.instruction)));
    const bool watch = stop.cause == DBG_CAUSE_WATCH_READ || stop.cause == DBG_CAUSE_WATCH_WRITE ||
                       stop.cause == DBG_CAUSE_PORT_IN || stop.cause == DBG_CAUSE_PORT_OUT;
    if (watch) {
        const std::string name = dbg_symbol_near(symbols, stop.access_pc);
        if (!name.empty() && !text.contains(QString::fromStdString(name)))
            text += QStringLiteral(" [%1]").arg(QString::fromStdString(name));
    }
    return text;
}

} // namespace

gui_debugger_window::gui_debugger_window(emu_t *emu, QWidget *main_window)
    : emu_(emu), engine_(dbg_engine()), main_window_(main_window),
      view_(std::make_unique<gui_debugger_view_t>()), no_source_(std::make_unique<dbg_source_t>()) {
    dbg_source_init(no_source_.get());
    setWindowTitle(QStringLiteral("Quillane Debugger"));
    setObjectName(QStringLiteral("debugger"));
    std::memset(&view_->cpu, 0, sizeof view_->cpu);
    view_->ticks = 0;
    view_->memory.fill(0);

    // Controls: each a toolbar button with its shortcut.
    QToolBar *bar = addToolBar(QStringLiteral("Control"));
    bar->setObjectName(QStringLiteral("control"));
    bar->setMovable(false);
    auto add = [this, bar](const char *name, const QString &text, const QKeySequence &key) {
        auto *action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        if (!key.isEmpty()) {
            action->setShortcut(key);
            action->setToolTip(text + QStringLiteral(" (") +
                               key.toString(QKeySequence::NativeText) + QStringLiteral(")"));
        }
        action->setShortcutContext(Qt::WindowShortcut);
        bar->addAction(action);
        return action;
    };
    continue_pause_ = add("continue_pause", QStringLiteral("Pause"), QKeySequence(Qt::Key_F8));
    step_ = add("step", QStringLiteral("Step"), QKeySequence(Qt::Key_F11));
    next_ = add("next", QStringLiteral("Step over"), QKeySequence(Qt::Key_F10));
    finish_ = add("finish", QStringLiteral("Step out"), QKeySequence(Qt::SHIFT | Qt::Key_F11));
    stepi_ = add("stepi", QStringLiteral("Step instruction"), QKeySequence(Qt::CTRL | Qt::Key_F11));
    nexti_ = add("nexti", QStringLiteral("Step over instruction"),
                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F10));
    run_to_cursor_ =
        add("run_to_cursor", QStringLiteral("Run to cursor"), QKeySequence(Qt::CTRL | Qt::Key_F10));
    bar->addSeparator();
    toggle_break_ =
        add("toggle_breakpoint", QStringLiteral("Breakpoint"), QKeySequence(Qt::Key_F9));
    warp_ = add("warp", QStringLiteral("Warp"), QKeySequence());
    warp_->setCheckable(true);
    warp_->setToolTip(QStringLiteral("Run as fast as the host allows, without sound"));
    symbols_ = add("symbols", QStringLiteral("Symbols..."), QKeySequence(Qt::CTRL | Qt::Key_L));
    bar->addSeparator();
    step_back_ =
        add("step_back", QStringLiteral("Step back"), QKeySequence(Qt::SHIFT | Qt::Key_F10));
    reverse_continue_ = add("reverse_continue", QStringLiteral("Reverse continue"),
                            QKeySequence(Qt::SHIFT | Qt::Key_F8));
    save_state_ = add("save_state", QStringLiteral("Save state..."), QKeySequence());
    load_state_ = add("load_state", QStringLiteral("Load state..."), QKeySequence());
    reload_ = add("reload", QStringLiteral("Reload"), QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(step_back_, &QAction::triggered, this, [this] { travel(false); });
    connect(reverse_continue_, &QAction::triggered, this, [this] { travel(true); });
    connect(save_state_, &QAction::triggered, this, [this] { choose_state(true); });
    connect(load_state_, &QAction::triggered, this, [this] { choose_state(false); });
    connect(reload_, &QAction::triggered, this, [this] { reload(); });
    connect(continue_pause_, &QAction::triggered, this, [this] { continue_or_pause(); });
    connect(step_, &QAction::triggered, this, [this] { run(RUN_STEP); });
    connect(next_, &QAction::triggered, this, [this] { run(RUN_NEXT); });
    connect(finish_, &QAction::triggered, this, [this] { run(RUN_FINISH); });
    connect(stepi_, &QAction::triggered, this, [this] { run(RUN_STEPI); });
    connect(nexti_, &QAction::triggered, this, [this] { run(RUN_NEXTI); });
    connect(run_to_cursor_, &QAction::triggered, this, [this] { run(RUN_TO_CURSOR); });
    connect(toggle_break_, &QAction::triggered, this, [this] { toggle_selected_breakpoint(); });
    connect(warp_, &QAction::toggled, this, [this](bool on) { set_warp(on); });
    connect(symbols_, &QAction::triggered, this, [this] { choose_symbols(); });

    // Panes: disassembly beside registers and stack, memory below, the console at the bottom.
    registers_ = new gui_registers_pane(engine_, this);
    disassembly_ = new gui_disassembly_pane(this);
    memory_ = new gui_memory_pane(engine_, this);
    stack_ = new gui_stack_pane(this);
    hot_spots_ = new gui_profile_pane(this);
    source_ = new gui_source_pane(this);
    locals_ = new gui_locals_pane(engine_, this);
    watch_ = new gui_watch_pane(engine_, this);
    breakpoints_ = new gui_breakpoints_pane(this);
    auto *side = new QSplitter(Qt::Vertical, this);
    side->addWidget(registers_);
    side->addWidget(stack_);
    side->addWidget(hot_spots_);
    auto *top = new QSplitter(Qt::Horizontal, this);
    top->addWidget(disassembly_);
    top->addWidget(source_);
    top->addWidget(side);
    top->setStretchFactor(0, 3);
    top->setStretchFactor(1, 3);
    top->setStretchFactor(2, 2);
    // Memory, Locals, Watch and Breakpoints share the middle row.
    auto *values = new QTabWidget(this);
    values->setObjectName(QStringLiteral("values"));
    values->addTab(locals_, QStringLiteral("Locals"));
    values->addTab(watch_, QStringLiteral("Watch"));
    values->addTab(breakpoints_, QStringLiteral("Breakpoints"));
    auto *middle = new QSplitter(Qt::Horizontal, this);
    middle->addWidget(memory_);
    middle->addWidget(values);

    auto *console = new QWidget(this);
    auto *console_layout = new QVBoxLayout(console);
    console_layout->setContentsMargins(0, 0, 0, 0);
    output_ = new QPlainTextEdit(console);
    output_->setObjectName(QStringLiteral("console_output"));
    output_->setReadOnly(true);
    output_->setMaximumBlockCount(5000);
    output_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    output_->setFocusPolicy(Qt::ClickFocus);
    input_ = new QLineEdit(console);
    input_->setObjectName(QStringLiteral("console_input"));
    input_->setFont(output_->font());
    input_->setPlaceholderText(QStringLiteral("Debugger command (help lists them)"));
    input_->installEventFilter(this);
    console_layout->addWidget(output_);
    console_layout->addWidget(input_);
    connect(input_, &QLineEdit::returnPressed, this, [this] { enter_line(); });

    auto *all = new QSplitter(Qt::Vertical, this);
    all->addWidget(top);
    all->addWidget(middle);
    all->addWidget(console);
    all->setStretchFactor(0, 3);
    all->setStretchFactor(1, 2);
    all->setStretchFactor(2, 2);
    setCentralWidget(all);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status_text"));
    clock_ = new QLabel(this);
    clock_->setObjectName(QStringLiteral("clock_text"));
    statusBar()->addWidget(status_, 1);
    statusBar()->addPermanentWidget(clock_);

    connect(disassembly_, &gui_disassembly_pane::breakpoint_clicked, this,
            [this](uint16_t address) { toggle_breakpoint(address); });
    connect(source_, &gui_source_pane::breakpoint_clicked, this,
            [this](int file, int line) { toggle_source_breakpoint(file, line); });
    connect(stack_, &gui_stack_pane::frame_chosen, this,
            [this](int index) { choose_frame(index); });
    connect(watch_, &gui_watch_pane::list_changed, this, [this] { refresh(); });
    auto report = [this](const QString &error) {
        if (!error.isEmpty()) print(error);
        refresh();
    };
    connect(registers_, &gui_registers_pane::changed, this, report);
    connect(memory_, &gui_memory_pane::changed, this, report);
    connect(locals_, &gui_locals_pane::changed, this, report);
    connect(watch_, &gui_watch_pane::changed, this, report);
    connect(memory_->address_field(), &QLineEdit::editingFinished, this, [this] { refresh(); });

    // The status line's clock, and the panes.
    timer_ = new QTimer(this);
    timer_->setInterval(500);
    connect(timer_, &QTimer::timeout, this, [this] { tick_clock(); });

    resize(1280, 900);
    update_controls();
}

gui_debugger_window::~gui_debugger_window() {
    detach();
}

QAction *gui_debugger_window::control(const QString &name) const {
    for (QAction *a :
         {continue_pause_, step_, next_, finish_, stepi_, nexti_, run_to_cursor_, toggle_break_,
          warp_, symbols_, step_back_, reverse_continue_, save_state_, load_state_, reload_})
        if (a->objectName() == name) return a;
    return nullptr;
}

QString gui_debugger_window::status_text() const {
    return status_->text();
}

QString gui_debugger_window::clock_text() const {
    return clock_->text();
}

QString gui_debugger_window::console_text() const {
    return output_->toPlainText();
}

void gui_debugger_window::open() {
    if (!attached_) {
        // The command line attaches the engine for typing and warp, with stops on HALT and
        // invalid opcodes off since nothing could resume them; the window keeps its typing and
        // warp and turns those stops on.
        if (dbg_is_attached(engine_, emu_)) {
            dbg_set_stop_on_halt(engine_, true);
            dbg_set_stop_on_invalid(engine_, true);
        } else {
            dbg_session_attach(emu_, DBG_THREADED);
        }
        dbg_hook_t feed{};
        feed.user = this;
        feed.stopped = stop_hook;
        // An engine that detaches removes the hook itself.
        feed.detached = [](dbg_engine_t *, void *user) {
            static_cast<gui_debugger_window *>(user)->stop_feed_ = -1;
        };
        stop_feed_ = dbg_hook_attach(engine_, feed);
        {
            const QSignalBlocker block(warp_);
            warp_->setChecked(dbg_warp(engine_));
        }
        snd_set_muted(&emu_->snd, warp_->isChecked());
        attached_ = true;
        paused_ = false;
        status_->setText(QStringLiteral("Running"));
        clock_ticks_ = dbg_ticks(engine_);
        clock_time_ = std::chrono::steady_clock::now();
        clock_->setText(QString());
        timer_->start();
        update_controls();
        refresh();
    }
    show();
    raise();
    activateWindow();
    input_->setFocus(Qt::ActiveWindowFocusReason);
}

void gui_debugger_window::detach() {
    if (!attached_) return;
    attached_ = false;
    timer_->stop();
    if (stop_feed_ >= 0) dbg_hook_detach(engine_, stop_feed_);
    stop_feed_ = -1;
    if (dbg_record_active(engine_)) {
        // A recording needs the engine to see the board's inputs: it stays attached with
        // nothing left that stops the machine, as the command line attaches it.
        dbg_delete_all(engine_);
        dbg_set_warp(engine_, false);
        dbg_set_stop_on_halt(engine_, false);
        dbg_set_stop_on_invalid(engine_, false);
        if (!dbg_is_running(engine_)) dbg_continue(engine_);
    } else {
        dbg_detach(engine_);
    }
    snd_set_muted(&emu_->snd, false);
    {
        const QSignalBlocker block(warp_);
        warp_->setChecked(false);
    }
    paused_ = false;
    status_->setText(QStringLiteral("Detached: the machine runs unwatched"));
    update_controls();
}

void gui_debugger_window::closeEvent(QCloseEvent *event) {
    // A console command still runs on the engine; the window closes once it is done.
    if (busy_) {
        event->ignore();
        return;
    }
    detach();
    event->accept();
}

// Processor thread, machine lock released: silence at once, the rest on the window's thread.
void gui_debugger_window::stop_hook(dbg_engine_t *, void *user, const dbg_stop_t *stop) {
    auto *window = static_cast<gui_debugger_window *>(user);
    snd_set_muted(&window->emu_->snd, true);
    QMetaObject::invokeMethod(
        window, [window, s = *stop] { window->stopped(s); }, Qt::QueuedConnection);
}

void gui_debugger_window::stopped(const dbg_stop_t &stop) {
    if (!attached_) return;
    if (busy_) {
        deferred_stops_.push_back(stop);
        return;
    }
    // A request made after this stop was sent has the machine running again.
    if (dbg_is_running(engine_)) return;
    if (on_stop) on_stop(stop);
    snd_set_muted(&emu_->snd, true);
    const QString cause = describe(stop, dbg_symbol_table(engine_));
    set_paused(true, cause);
    // The console keeps a history of the stops; single steps would only flood it.
    if (stop.cause != DBG_CAUSE_STEP) print(cause);
    refresh();
    const bool watch = stop.cause == DBG_CAUSE_WATCH_READ || stop.cause == DBG_CAUSE_WATCH_WRITE ||
                       stop.cause == DBG_CAUSE_PORT_IN || stop.cause == DBG_CAUSE_PORT_OUT;
    disassembly_->select_address(watch ? stop.access_pc : stop.pc);
    if (stop.cause != DBG_CAUSE_STEP && stop.cause != DBG_CAUSE_PAUSE) {
        show();
        raise();
        activateWindow();
    }
}

void gui_debugger_window::set_paused(bool paused, const QString &status) {
    paused_ = paused;
    status_->setText(status);
    update_controls();
}

void gui_debugger_window::update_controls() {
    const bool can_step = attached_ && paused_ && !busy_;
    continue_pause_->setText(paused_ ? QStringLiteral("Continue") : QStringLiteral("Pause"));
    continue_pause_->setEnabled(attached_ && !busy_);
    for (QAction *a :
         {step_, next_, finish_, stepi_, nexti_, run_to_cursor_, step_back_, reverse_continue_})
        a->setEnabled(can_step);
    for (QAction *a : {save_state_, load_state_})
        a->setEnabled(!busy_);
    reload_->setEnabled(!reload_images_.empty() && !busy_);
    toggle_break_->setEnabled(attached_ && !busy_);
    warp_->setEnabled(attached_ && !busy_);
    symbols_->setEnabled(!busy_);
}

bool gui_debugger_window::run_busy(std::function<void()> work) {
    busy_ = true;
    centralWidget()->setEnabled(false);
    update_controls();
    const bool done = emu_run_file_job(std::move(work));
    // The program is ending: leave the window as it is.
    if (!done) return false;
    busy_ = false;
    centralWidget()->setEnabled(true);
    update_controls();
    input_->setFocus(Qt::OtherFocusReason);
    const std::vector<dbg_stop_t> stops = std::move(deferred_stops_);
    deferred_stops_.clear();
    for (const dbg_stop_t &stop : stops)
        stopped(stop);
    return true;
}

void gui_debugger_window::run(run_kind_t kind) {
    if (!attached_ || !paused_ || busy_) return;
    uint16_t target = 0;
    if (kind == RUN_TO_CURSOR && !disassembly_->selected_address(&target)) {
        status_->setText(QStringLiteral("Select an instruction to run to"));
        return;
    }
    // A single step stays silent; anything longer plays on.
    if (kind != RUN_STEPI) snd_set_muted(&emu_->snd, warp_->isChecked());
    // Step, Step over and Step out go by source line where the PC has lines, as the console's
    // step, next and finish do; the instruction buttons never do.
    switch (kind) {
    case RUN_CONTINUE: dbg_continue(engine_); break;
    case RUN_STEP: dbg_step_by(engine_, DBG_STEP_INTO, DBG_GRAN_AUTO); break;
    case RUN_NEXT: dbg_step_by(engine_, DBG_STEP_OVER, DBG_GRAN_AUTO); break;
    case RUN_FINISH: dbg_step_by(engine_, DBG_STEP_OUT, DBG_GRAN_AUTO); break;
    case RUN_STEPI: dbg_step_by(engine_, DBG_STEP_INTO, DBG_GRAN_INSTRUCTION); break;
    case RUN_NEXTI: dbg_step_by(engine_, DBG_STEP_OVER, DBG_GRAN_INSTRUCTION); break;
    case RUN_TO_CURSOR: dbg_until(engine_, target); break;
    }
    set_paused(false, QStringLiteral("Running"));
}

void gui_debugger_window::continue_or_pause() {
    if (!attached_ || busy_) return;
    if (paused_) {
        run(RUN_CONTINUE);
        return;
    }
    // The stop arrives through the stop callback.
    if (dbg_is_running(engine_)) dbg_pause(engine_);
}

void gui_debugger_window::toggle_breakpoint(uint16_t address) {
    if (!attached_ || busy_) return;
    int id = 0;
    for (const dbg_breakpoint_t &b : dbg_breakpoint_list(engine_))
        if (b.address == address) id = b.id;
    if (id)
        dbg_delete(engine_, id);
    else
        dbg_break_add(engine_, address, 0);
    refresh();
}

// A line without code takes its breakpoint at the next line that has code, where it is drawn.
void gui_debugger_window::toggle_source_breakpoint(int file, int line) {
    if (!attached_ || busy_ || !dbg_source_model(engine_)) return;
    dbg_place_t place;
    std::string error;
    const std::string text = dbg_place_of_line(engine_, file, line);
    if (!dbg_place_resolve(engine_, text, &place, &error)) {
        print(QStringLiteral("No code at or after line %1").arg(line));
        return;
    }
    if (dbg_has_breakpoint(engine_, place.address)) return toggle_breakpoint(place.address);
    // Set by its line, so that a reload of the rebuilt program moves it with the line.
    dbg_break_add_place(engine_, text, 0, "", &place, &error);
    refresh();
}

void gui_debugger_window::choose_frame(int index) {
    if (!attached_ || index < 0 || index >= static_cast<int>(frames_.size())) return;
    dbg_select_frame(engine_, index);
    refresh();
}

void gui_debugger_window::toggle_selected_breakpoint() {
    uint16_t address = 0;
    if (disassembly_->selected_address(&address))
        toggle_breakpoint(address);
    else
        toggle_breakpoint(view_->cpu.PC);
}

void gui_debugger_window::set_warp(bool on) {
    if (!attached_ || busy_) return;
    dbg_set_warp(engine_, on);
    snd_set_muted(&emu_->snd, on || paused_);
}

void gui_debugger_window::choose_symbols() {
    if (busy_ || emu_file_job_running()) return;
    QFileDialog dialog(this, QStringLiteral("Load symbols"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Symbol files (*.sym *.noi *.map)"),
                           QStringLiteral("Debug information (*.cdb *.lines)"),
                           QStringLiteral("All files (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().first();
    load_symbols(path);
}

void gui_debugger_window::choose_state(bool save) {
    QFileDialog dialog(this, save ? QStringLiteral("Save state") : QStringLiteral("Load state"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(
        {QStringLiteral("Save states (*.state)"), QStringLiteral("All files (*)")});
    if (save) dialog.setDefaultSuffix(QStringLiteral("state"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const std::string path = dialog.selectedFiles().first().toStdString();
    if (busy_ || emu_file_job_running()) {
        print(QStringLiteral("Busy with a file; try again when it is done"));
        return;
    }
    // File work runs off the window thread, as the console's does.
    auto error = std::make_shared<std::string>();
    auto good = std::make_shared<bool>(false);
    if (!run_busy([engine = engine_, save, path, error, good] {
            *good = save ? dbg_state_save(engine, path, error.get())
                         : dbg_state_load(engine, path, error.get());
        }))
        return;
    print(*good ? QStringLiteral("State %1 %2")
                      .arg(save ? "saved to" : "loaded from", QString::fromStdString(path))
                : QString::fromStdString(*error));
    refresh();
}

void gui_debugger_window::set_reload_inputs(const std::vector<std::string> &images,
                                            const std::vector<std::string> &type) {
    reload_images_ = images;
    reload_type_ = type;
    update_controls();
}

void gui_debugger_window::travel(bool to_stop) {
    if (!attached_ || !paused_) return;
    dbg_stop_t stop;
    std::string error;
    const bool good = to_stop ? dbg_rcontinue(engine_, &stop, &error)
                              : dbg_back_by(engine_, DBG_GRAN_AUTO, &stop, &error);
    if (!good) {
        print(QString::fromStdString(error));
        return;
    }
    stopped(stop);
    if (stop.cause == DBG_CAUSE_STEP && to_stop) print(QString::fromStdString(stop.text));
}

bool gui_debugger_window::reload() {
    if (reload_images_.empty()) return false;
    if (!attached_) open();
    if (busy_ || emu_file_job_running()) {
        print(QStringLiteral("Busy with a file; reload again when it is done"));
        return false;
    }
    auto error = std::make_shared<std::string>();
    auto good = std::make_shared<bool>(false);
    auto report = std::make_shared<std::string>();
    if (!run_busy(
            [engine = engine_, images = reload_images_, type = reload_type_, error, good, report] {
                std::vector<dbg_reload_change_t> changes;
                *good = dbg_reload(engine, images, type, error.get(), &changes, true, report.get());
                for (const dbg_reload_change_t &change : changes)
                    *report += change.text + "\n";
                // The sources are read in the job, so the panes never wait.
                if (dbg_source_t *model = dbg_source_model(engine); *good && model)
                    for (size_t i = 0; i < model->files.size(); ++i)
                        dbg_source_text(model, static_cast<int>(i));
            }))
        return false;
    print(*good ? QStringLiteral("Reloaded") : QString::fromStdString(*error));
    reloaded(QString::fromStdString(*report));
    return *good;
}

void gui_debugger_window::reloaded(const QString &report) {
    for (const QString &line : report.split('\n', Qt::SkipEmptyParts))
        print(line);
    source_->forget_text();
    refresh();
}

bool gui_debugger_window::load_debug(const QString &what,
                                     std::function<bool(dbg_engine_t *, std::string *)> load) {
    if (busy_ || emu_file_job_running()) {
        print(QStringLiteral("Busy with a file; load %1 again when it is done").arg(what));
        return false;
    }
    // The engine takes the machine lock itself; the panes read the model on this thread, which
    // waits meanwhile (busy). The sources are read in the job too, so the panes never wait.
    auto report = std::make_shared<std::string>();
    auto ok = std::make_shared<bool>(false);
    if (!run_busy([engine = engine_, report, ok, load] {
            *ok = load(engine, report.get());
            if (dbg_source_t *model = dbg_source_model(engine); *ok && model)
                for (size_t i = 0; i < model->files.size(); ++i)
                    dbg_source_text(model, static_cast<int>(i));
        }))
        return false;
    std::string text = *report;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (!text.empty()) print(QString::fromStdString(text));
    for (const std::string &warning : dbg_symbol_warnings(dbg_symbol_table(engine_)))
        print(QString::fromStdString(warning));
    refresh();
    return *ok;
}

bool gui_debugger_window::load_symbols(const QString &path) {
    return load_debug(path, [file = path.toStdString()](dbg_engine_t *e, std::string *report) {
        return dbg_debug_file_load(e, file, {}, report);
    });
}

void gui_debugger_window::load_symbols_beside(const QString &image,
                                              const std::vector<std::string> &dirs) {
    load_debug(image, [file = image.toStdString(), dirs](dbg_engine_t *e, std::string *report) {
        return dbg_debug_info_load(e, file, dirs, report);
    });
}

bool gui_debugger_window::load_source(const QString &path, const QStringList &dirs) {
    std::vector<std::string> search;
    for (const QString &dir : dirs)
        search.push_back(dir.toStdString());
    return load_debug(path,
                      [file = path.toStdString(), search](dbg_engine_t *e, std::string *report) {
                          return dbg_debug_file_load(e, file, search, report);
                      });
}

void gui_debugger_window::tick_clock() {
    if (!attached_) return;
    const uint64_t ticks = dbg_ticks(engine_);
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - clock_time_).count();
    if (seconds > 0) {
        const double hz = static_cast<double>(ticks - clock_ticks_) / seconds;
        clock_->setText(QStringLiteral("%1 MHz  %2x")
                            .arg(hz / 1e6, 0, 'f', 2)
                            .arg(hz / static_cast<double>(emu_->cpu_clock_hz), 0, 'f', 2));
    }
    clock_ticks_ = ticks;
    clock_time_ = now;
    // Also while paused: the main window's reset or File > Open changes the machine then too.
    refresh();
}

void gui_debugger_window::refresh() {
    if (busy_) return;
    gui_debugger_view_t &v = *view_;
    emu_lock_enter(&emu_->lock);
    v.cpu = emu_->cpu;
    v.ticks = emu_->ticks;
    std::memcpy(v.memory.data(), emu_->memory, v.memory.size());
    emu_lock_leave(&emu_->lock);
    v.breakpoints = attached_ ? dbg_breakpoint_rows(engine_) : std::vector<dbg_breakpoint_row_t>();
    v.costs = attached_ ? dbg_profile_costs(engine_) : std::vector<uint64_t>();
    v.cost_total = 0;
    for (uint64_t cost : v.costs)
        v.cost_total += cost;
    const bool editable = attached_ && paused_;
    // The call stack and the selected frame (`frame N` or a click; the machine running on
    // since then leaves frame 0).
    dbg_source_t *model = dbg_source_model(engine_);
    if (!model) model = no_source_.get();
    frames_ = dbg_source_frames(model, v.memory.data(), v.cpu, dbg_symbol_table(engine_));
    int selected = 0;
    if (dbg_selected_frame(engine_) < static_cast<int>(frames_.size()))
        selected = dbg_selected_frame(engine_);
    const dbg_frame_t *frame = frames_.empty() ? nullptr : &frames_[static_cast<size_t>(selected)];
    const gui_source_view_t source{model, &v, dbg_symbol_table(engine_), frame};
    registers_->show_view(v, editable);
    disassembly_->show_view(v, dbg_symbol_table(engine_), dbg_source_model(engine_));
    memory_->show_view(v, dbg_symbol_table(engine_), model, frame, editable);
    stack_->show_view(v, dbg_symbol_table(engine_), dbg_frame_rows(model, frames_), selected);
    breakpoints_->show_view(v);
    source_->show_view(source);
    locals_->show_view(source, editable);
    watch_->show_view(source, editable);
    hot_spots_->show_spots(attached_ ? dbg_profile_hot_spots(engine_)
                                     : std::vector<dbg_hot_spot_t>());
}

void gui_debugger_window::print(const QString &text) {
    QString t = text;
    while (t.endsWith(QLatin1Char('\n')))
        t.chop(1);
    output_->appendPlainText(t);
    output_->verticalScrollBar()->setValue(output_->verticalScrollBar()->maximum());
}

void gui_debugger_window::enter_line() {
    const QString line = input_->text();
    input_->clear();
    if (!line.trimmed().isEmpty() && (history_.isEmpty() || history_.last() != line))
        history_ << line;
    history_at_ = static_cast<int>(history_.size());
    execute(line);
}

void gui_debugger_window::execute(const QString &line) {
    print(QStringLiteral("> ") + line);
    if (busy_ || emu_file_job_running()) {
        print(QStringLiteral("Busy with a file; enter the command again when it is done"));
        return;
    }
    if (!attached_) open();
    const bool was_paused = paused_;
    // A run command hands its request to the processor thread; its stop comes back through the
    // stop callback. File commands (symbols, load, save, screenshot, trace) may block on a pipe.
    auto shared = std::make_shared<dbg_result_t>();
    if (!run_busy([engine = engine_, shared, text = line.toStdString()] {
            *shared = dbg_execute(engine, text);
        }))
        return;
    const dbg_result_t result = *shared;
    if (!result.output.empty()) print(QString::fromStdString(result.output));
    if (result.quit) {
        if (main_window_)
            main_window_->close();
        else
            close();
        return;
    }
    if (was_paused && dbg_is_running(engine_)) {
        snd_set_muted(&emu_->snd, warp_->isChecked());
        set_paused(false, QStringLiteral("Running"));
    }
    {
        const QSignalBlocker block(warp_);
        warp_->setChecked(dbg_warp(engine_));
    }
    refresh();
}

// Up and Down in the console's input walk through the lines typed before.
bool gui_debugger_window::eventFilter(QObject *watched, QEvent *event) {
    if (watched == input_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            history_at_ += key == Qt::Key_Up ? -1 : 1;
            history_at_ = std::clamp(history_at_, 0, static_cast<int>(history_.size()));
            input_->setText(history_at_ < history_.size() ? history_[history_at_] : QString());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

gui_debugger_window *gui_debugger_install(QWidget *main_window, emu_t *emu) {
    auto *debugger = new gui_debugger_window(emu, main_window);
    // F12 is no key of the board: the shortcut takes it before the display area sees it.
    auto *shortcut = new QShortcut(QKeySequence(Qt::Key_F12), main_window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, debugger, &gui_debugger_window::open);
    return debugger;
}
