// The Qt side of the main window: the window itself, its display area and the frame hand-over
// between the display thread and the window thread. Internal to the host layer and its tests.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QWidget>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "devices/graphics.h"

class QAction;
class QKeyEvent;
struct emu_t;
struct gui_t;

class gui_main_window;

// The area above the status bar where the board's screen is shown.
class gui_display_area : public QWidget {
    Q_OBJECT
  public:
    gui_display_area(gui_main_window *window, gui_t *gui);
    QSize sizeHint() const override;

  protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

  private:
    gui_main_window *window_;
    gui_t *gui_;
    QImage image_; // the frame being painted, kept so that no paint allocates
};

class gui_main_window : public QMainWindow {
    Q_OBJECT
  public:
    gui_main_window(gui_t *gui, emu_t *machine);
    ~gui_main_window() override;

    gui_display_area *display() const { return display_; }
    // The menu command with identifier id (102-105), or null.
    QAction *command(int id) const;

    // Called by the display thread (and by the paint handler once the machine has stopped) with
    // a decoded frame: keeps a copy and asks for a repaint from the window thread.
    void present_frame(const uint8_t *frame);
    // Copies the newest complete frame into image (320 x 240, blue-green-red).
    void copy_frame(QImage *image);

    // Key events from the display area; false when the event is not for the board.
    bool key_press(QKeyEvent *event);
    bool key_release(QKeyEvent *event);
    // Lets go of every key the board still sees held (the window lost the keyboard).
    void release_held_keys();

    emu_t *machine() const { return machine_; }
    // The message loop: runs until the window ends; its result is the exit code.
    int run_loop();

  protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

  private:
    void run_command(int id);
    // A key to the board: through the debug engine while its history or a recording watches
    // the board's inputs, else straight into the matrix.
    void board_key(uint8_t code, bool down);
    void end_run();

    gui_t *gui_;
    emu_t *machine_;
    gui_display_area *display_;
    std::array<QAction *, 4> commands_{};
    bool ended_ = false;
    bool in_loop_ = false;

    // Physical key (scan code, or a code derived from the Qt key where there is none) -> the key
    // code its press delivered to the matrix.
    std::unordered_map<uint32_t, uint8_t> held_keys_;
    // When each key code last went down: on this host's clock, and the window system's time
    // stamp of the press.
    struct key_press_time {
        std::chrono::steady_clock::time_point seen;
        quint64 stamped;
    };
    std::unordered_map<uint8_t, key_press_time> pressed_at_;

    std::mutex frame_mutex_;
    std::array<uint8_t, GFX_FRAME_WIDTH * GFX_FRAME_HEIGHT * 3> frame_{};
    std::atomic<bool> repaint_queued_{false};
};
