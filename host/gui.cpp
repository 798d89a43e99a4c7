// The main window: menus and shortcuts, the display area, key routing into the keyboard matrix,
// and the message loop.
#include "host/gui.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QRegion>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstring>

#include "debug/core/engine.h"
#include "debug/travel/history.h"
#include "devices/graphics.h"
#include "devices/keyboard.h"
#include "host/file_dialog.h"
#include "host/gui_window.h"
#include "host/keymap.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

struct gui_command_t {
    int id;
    const char *text;
    QKeyCombination shortcut;
};

constexpr gui_command_t gui_file_commands[] = {
    {GUI_CMD_OPEN, "&Open...\tCtrl+O", Qt::CTRL | Qt::Key_O},
    {GUI_CMD_SAVE, "&Save...\tCtrl+S", Qt::CTRL | Qt::Key_S},
    {GUI_CMD_QUIT, "&Quit\tAlt+Q", Qt::ALT | Qt::Key_Q},
};
constexpr gui_command_t gui_machine_commands[] = {
    {GUI_CMD_RESET, "&Reset\tF5", QKeyCombination(Qt::Key_F5)},
};

// A longer hold is not made up for: the release is simply late.
constexpr std::chrono::milliseconds gui_longest_replayed_hold{1000};

// Keys pressed on a platform without scan codes are told apart by their key code instead.
constexpr uint32_t gui_key_id_without_scan_code = 0x10000;

int gui_present(gui_t *gui, const uint8_t *frame, const gfx_layout_t *) {
    auto *window = static_cast<gui_main_window *>(gui->window);
    if (!window || !frame) return 1;
    window->present_frame(frame);
    return 0;
}

void gui_store_display_size(gui_t *gui, int width, int height) {
    std::atomic_ref<int32_t>(gui->display_width).store(width, std::memory_order_relaxed);
    std::atomic_ref<int32_t>(gui->display_height).store(height, std::memory_order_relaxed);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Display area

gui_display_area::gui_display_area(gui_main_window *window, gui_t *gui)
    : QWidget(window), window_(window), gui_(gui),
      image_(GFX_FRAME_WIDTH, GFX_FRAME_HEIGHT, QImage::Format_BGR888) {
    image_.fill(Qt::black);
    // Every pixel is painted (picture or black), so nothing needs clearing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(GUI_DISPLAY_WIDTH, GUI_DISPLAY_HEIGHT);
}

QSize gui_display_area::sizeHint() const {
    return QSize(GUI_DISPLAY_WIDTH, GUI_DISPLAY_HEIGHT);
}

// Keys are taken before QWidget's own handling, which would turn Tab into a focus change.
bool gui_display_area::event(QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        if (window_->key_press(static_cast<QKeyEvent *>(event))) {
            event->accept();
            return true;
        }
        return QWidget::event(event);
    }
    if (event->type() == QEvent::KeyRelease) {
        if (window_->key_release(static_cast<QKeyEvent *>(event))) {
            event->accept();
            return true;
        }
        return QWidget::event(event);
    }
    return QWidget::event(event);
}

void gui_display_area::paintEvent(QPaintEvent *) {
    emu_t *machine = window_->machine();
    // While the machine runs the display thread keeps the frame current; afterwards the paint
    // handler decodes video memory itself so that the picture survives exposes and resizes.
    if (machine && emu_get_running(machine) != 1) gfx_render(&machine->gfx, gui_);

    window_->copy_frame(&image_);

    // The same letterbox the display thread computed, but for the area's size now: right after a
    // resize the newest frame still carries the layout of the old size.
    const gfx_layout_t layout = gfx_letterbox(width(), height());
    const QRect destination(layout.destination.left, layout.destination.top,
                            layout.destination.right - layout.destination.left,
                            layout.destination.bottom - layout.destination.top);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    // The bars, and the last line left over when the excess is odd, are black.
    const QRegion outside = QRegion(rect()).subtracted(QRegion(destination));
    for (const QRect &r : outside)
        painter.fillRect(r, Qt::black);
    if (!destination.isEmpty()) painter.drawImage(destination, image_);
}

void gui_display_area::resizeEvent(QResizeEvent *event) {
    gui_store_display_size(gui_, width(), height());
    QWidget::resizeEvent(event);
}

void gui_display_area::focusOutEvent(QFocusEvent *event) {
    window_->release_held_keys();
    QWidget::focusOutEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Main window

gui_main_window::gui_main_window(gui_t *gui, emu_t *machine) : gui_(gui), machine_(machine) {
    setWindowTitle(QStringLiteral("Quillane"));

    QMenuBar *bar = menuBar();
    // The shortcuts and texts must behave the same under every desktop, so no global menu.
    bar->setNativeMenuBar(false);
    QMenu *file_menu = bar->addMenu(QStringLiteral("&File"));
    QMenu *machine_menu = bar->addMenu(QStringLiteral("&Machine"));
    size_t next = 0;
    auto add = [this, &next](QMenu *menu, const gui_command_t &c) {
        QAction *action = menu->addAction(QString::fromLatin1(c.text));
        action->setData(c.id);
        action->setShortcut(QKeySequence(c.shortcut));
        const int id = c.id;
        connect(action, &QAction::triggered, this, [this, id] { run_command(id); });
        commands_[next++] = action;
    };
    // A menu closed with Escape leaves the menu bar holding the keyboard; give it back to the
    // display area once the menu has gone (queued: the menu bar takes it after this signal).
    for (QMenu *menu : {file_menu, machine_menu})
        connect(menu, &QMenu::aboutToHide, this, [this] {
            QTimer::singleShot(0, this, [this] {
                if (display_) display_->setFocus(Qt::OtherFocusReason);
            });
        });
    add(file_menu, gui_file_commands[0]);
    add(file_menu, gui_file_commands[1]);
    file_menu->addSeparator();
    add(file_menu, gui_file_commands[2]);
    add(machine_menu, gui_machine_commands[0]);

    display_ = new gui_display_area(this, gui);
    setCentralWidget(display_);

    // Empty: it only marks the strip below the display area.
    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("status_bar"));
    status->setProperty("id", GUI_STATUS_BAR_ID);
    setStatusBar(status);

    gui->menu_bar = bar;
    gui->status_bar = status;
    gui->accel_table = commands_.data();
    gui->class_atom = 0;
}

gui_main_window::~gui_main_window() {
    end_run();
    // The display area reports its focus loss while it goes; let it go while this window's
    // members still exist.
    delete display_;
    display_ = nullptr;
}

QAction *gui_main_window::command(int id) const {
    for (QAction *action : commands_)
        if (action && action->data().toInt() == id) return action;
    return nullptr;
}

void gui_main_window::present_frame(const uint8_t *frame) {
    {
        std::lock_guard<std::mutex> guard(frame_mutex_);
        std::memcpy(frame_.data(), frame, frame_.size());
    }
    // The paint handler renders on the window thread and draws right after; it must not queue
    // another paint, or a stopped machine would repaint for ever.
    if (QThread::currentThread() == thread()) return;
    // One queued repaint at a time, however many frames arrive while the window thread is busy.
    if (repaint_queued_.exchange(true, std::memory_order_acq_rel)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            repaint_queued_.store(false, std::memory_order_release);
            display_->update();
        },
        Qt::QueuedConnection);
}

void gui_main_window::copy_frame(QImage *image) {
    std::lock_guard<std::mutex> guard(frame_mutex_);
    const int row_bytes = GFX_FRAME_WIDTH * 3;
    for (int y = 0; y < GFX_FRAME_HEIGHT; ++y)
        std::memcpy(image->scanLine(y), frame_.data() + y * row_bytes, row_bytes);
}

static uint32_t gui_physical_key(const QKeyEvent *event, uint8_t code) {
    const uint32_t scan = event->nativeScanCode();
    return scan != 0 ? scan : gui_key_id_without_scan_code | code;
}

static uint8_t gui_key_code(const QKeyEvent *event) {
    const uint32_t scan = event->nativeScanCode();
    return scan != 0 ? gui_key_from_scan_code(scan) : gui_key_from_qt_key(event->key());
}

bool gui_main_window::key_press(QKeyEvent *event) {
    if (!machine_) return false;
    // Alt and whatever is typed with it belong to the menu, as system keys do on the reference
    // host.
    if (event->key() == Qt::Key_Alt || (event->modifiers() & Qt::AltModifier)) return false;
    // F10 opens the menu bar, as a system key does, and never reaches the matrix.
    if (event->key() == Qt::Key_F10) {
        if (!event->isAutoRepeat() && !menuBar()->actions().isEmpty())
            menuBar()->setActiveAction(menuBar()->actions().first());
        return true;
    }
    const uint8_t code = gui_key_code(event);
    if (code == 0) return false;
    if (event->isAutoRepeat()) return true;
    held_keys_[gui_physical_key(event, code)] = code;
    pressed_at_[code] = {std::chrono::steady_clock::now(), event->timestamp()};
    board_key(code, true);
    return true;
}

bool gui_main_window::key_release(QKeyEvent *event) {
    if (!machine_ || event->isAutoRepeat()) return false;
    // The press decides what is released: Shift let go before 1 still releases 1, and a key whose
    // press went to a shortcut or the menu releases nothing.
    const uint8_t code = gui_key_code(event);
    auto it = held_keys_.find(gui_physical_key(event, code));
    if (it == held_keys_.end()) return false;
    const uint8_t pressed = it->second;
    held_keys_.erase(it);
    // Both Shift keys (and both Control keys) share one matrix position: it stays down while the
    // other one is still held.
    for (const auto &[key, held] : held_keys_)
        if (held == pressed) return true;
    // A press and its release that reach the window together (queued while the window thread was
    // busy, as right after a dialog closes) would come and go between two looks of the board's
    // keyboard scan: the board gets the key for as long as the window system says it was held.
    const key_press_time press = pressed_at_[pressed];
    const quint64 stamped = event->timestamp();
    const auto held = std::chrono::milliseconds(
        press.stamped != 0 && stamped > press.stamped ? stamped - press.stamped : 0);
    const auto seen = std::chrono::steady_clock::now() - press.seen;
    if (seen >= held || held > gui_longest_replayed_hold) {
        board_key(pressed, false);
        return true;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(held - seen);
    QTimer::singleShot(wait, this, [this, pressed] {
        // Pressed again meanwhile: that press's release lets go.
        for (const auto &[key, code] : held_keys_)
            if (code == pressed) return;
        board_key(pressed, false);
    });
    return true;
}

// Without this, a key held while the user switches to another window would stay down in the
// matrix for ever: its release goes to the other window.
void gui_main_window::release_held_keys() {
    if (!machine_) {
        held_keys_.clear();
        return;
    }
    for (const auto &[key, code] : held_keys_)
        board_key(code, false);
    held_keys_.clear();
}

void gui_main_window::changeEvent(QEvent *event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) release_held_keys();
    QMainWindow::changeEvent(event);
}

void gui_main_window::closeEvent(QCloseEvent *event) {
    event->accept();
    end_run();
}

// The window's end: the emulation threads stop at their next loop check and the message loop
// returns 0.
void gui_main_window::end_run() {
    if (ended_) return;
    ended_ = true;
    release_held_keys();
    if (machine_) emu_set_running(machine_, 0);
    // Only a running loop may be told to stop: Qt remembers an exit asked for outside any loop
    // and makes every later modal dialog return at once.
    if (in_loop_) QCoreApplication::exit(0);
}

int gui_main_window::run_loop() {
    if (ended_) return 0;
    in_loop_ = true;
    const int result = QApplication::exec();
    in_loop_ = false;
    return result;
}

namespace {

// The engine (and the history or a recording through it) sees the board's inputs while attached.
dbg_engine_t *input_watcher(emu_t *machine) {
    dbg_engine_t *e = dbg_engine();
    return dbg_is_attached(e, machine) ? e : nullptr;
}

} // namespace

void gui_main_window::board_key(uint8_t code, bool down) {
    if (dbg_engine_t *e = input_watcher(machine_))
        dbg_key(e, code, down);
    else if (down)
        kbd_register_keydown(&machine_->kbd, code);
    else
        kbd_register_keyup(&machine_->kbd, code);
}

void gui_main_window::run_command(int id) {
    dbg_engine_t *e = input_watcher(machine_);
    switch (id) {
    case GUI_CMD_OPEN:
        if (emu_open_file(gui_, machine_) && e) dbg_changed(e, "image loaded");
        break;
    case GUI_CMD_SAVE: emu_save_file(gui_, machine_); break;
    case GUI_CMD_QUIT: close(); break;
    case GUI_CMD_RESET:
        if (e)
            dbg_reset(e);
        else
            emu_reset(machine_);
        break;
    default: break;
    }
}

// ---------------------------------------------------------------------------------------------
// Public interface

int gui_initialize(gui_t *gui, emu_t *machine) {
    if (!gui || !qApp) return 1;
    // The window's close decides when the loop ends, not the last window to disappear (a message
    // box closed after the main window must not end it early, nor may a hidden window keep it).
    QApplication::setQuitOnLastWindowClosed(false);
    gui->display_width = GUI_DISPLAY_WIDTH;
    gui->display_height = GUI_DISPLAY_HEIGHT;
    gui->present = gui_present;
    auto *window = new gui_main_window(gui, machine);
    gui->window = window;
    // The window's natural size gives the display area exactly 640 x 480 above the status bar;
    // its layout keeps the area from getting smaller.
    window->resize(window->sizeHint());
    return 0;
}

int gui_show_window(gui_t *gui) {
    auto *window = static_cast<gui_main_window *>(gui->window);
    if (!window) return 1;
    window->show();
    window->activateWindow();
    window->display()->setFocus(Qt::ActiveWindowFocusReason);
    window->repaint();
    return 0;
}

int gui_run(gui_t *gui) {
    auto *window = static_cast<gui_main_window *>(gui->window);
    if (!window) return 1;
    return window->run_loop();
}

void gui_focus_display(gui_t *gui) {
    auto *window = static_cast<gui_main_window *>(gui->window);
    if (!window || !window->display()) return;
    window->activateWindow();
    window->display()->setFocus(Qt::OtherFocusReason);
}

void gui_quit(gui_t *gui) {
    if (auto *window = static_cast<gui_main_window *>(gui->window)) window->close();
}

int gui_finalize(gui_t *gui) {
    auto *window = static_cast<gui_main_window *>(gui->window);
    gui->window = nullptr;
    gui->menu_bar = nullptr;
    gui->status_bar = nullptr;
    gui->accel_table = nullptr;
    gui->present = nullptr;
    delete window;
    return 0;
}
