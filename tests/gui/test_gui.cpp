// The main window on Qt's offscreen platform: menus and shortcuts, the display area and its
// letterbox, key routing into the matrix, and the ways the loop ends.
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <functional>

#include "harness.h"
#include "host/file_dialog.h"
#include "host/gui.h"
#include "host/gui_window.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

constexpr int frame_bytes = GFX_FRAME_WIDTH * GFX_FRAME_HEIGHT * 3;

// Sends a key event as X11 would deliver it: the key code is the evdev code + 8.
void send_key(QWidget *target, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
              quint32 evdev, bool repeat = false) {
    QKeyEvent event(type, key, modifiers, evdev + 8, 0, 0, QString(), repeat);
    QApplication::sendEvent(target, &event);
}

bool key_bit(emu_t *emu, int row, int bit) {
    return (emu->kbd.rows[row] >> bit) & 1;
}

QColor pixel(const QImage &image, int x, int y) {
    return image.pixelColor(x, y);
}

// Counts the paint events a widget receives.
class paint_counter : public QObject {
  public:
    explicit paint_counter(QWidget *widget) { widget->installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

// Runs command, which opens a file dialog and waits for it, and cancels the dialog once it shows.
// True when a dialog showed.
bool cancel_file_dialog_of(const std::function<void()> &command) {
    bool dialog_seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible()) {
                dialog_seen = true;
                d->reject();
            }
    });
    poll.start(10);
    command();
    return dialog_seen;
}

} // namespace

class test_gui : public QObject {
    Q_OBJECT

    emu_t *emu = nullptr;
    gui_main_window *window = nullptr;

    void set_display_size(int width, int height) {
        const QSize extra = window->size() - window->display()->size();
        window->resize(extra + QSize(width, height));
        QTRY_COMPARE(window->display()->size(), QSize(width, height));
    }

    // Sets the keyboard up as the monitor does: port B in bit mode, all inputs.
    void enable_keyboard() {
        kbd_pio_io_write(&emu->kbd, 19, 0xCF);
        kbd_pio_io_write(&emu->kbd, 19, 0xFF);
    }

  private slots:
    void init() {
        emu = harness_init();
        QCOMPARE(gui_initialize(&emu->gui, emu), 0);
        window = static_cast<gui_main_window *>(emu->gui.window);
        QVERIFY(window);
    }

    void cleanup() {
        emu_set_running(emu, 1);
        gui_finalize(&emu->gui);
        window = nullptr;
    }

    void menus_commands_and_shortcuts() {
        QCOMPARE(window->windowTitle(), QStringLiteral("Quillane"));
        const QList<QAction *> menus = window->menuBar()->actions();
        QCOMPARE(menus.size(), 2);
        QCOMPARE(menus[0]->text(), QStringLiteral("&File"));
        QCOMPARE(menus[1]->text(), QStringLiteral("&Machine"));

        const QList<QAction *> file = menus[0]->menu()->actions();
        QCOMPARE(file.size(), 4);
        QCOMPARE(file[0]->text(), QStringLiteral("&Open...\tCtrl+O"));
        QCOMPARE(file[1]->text(), QStringLiteral("&Save...\tCtrl+S"));
        QVERIFY(file[2]->isSeparator());
        QCOMPARE(file[3]->text(), QStringLiteral("&Quit\tAlt+Q"));
        QCOMPARE(file[0]->data().toInt(), 102);
        QCOMPARE(file[1]->data().toInt(), 103);
        QCOMPARE(file[3]->data().toInt(), 104);
        QCOMPARE(file[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(file[1]->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(file[3]->shortcut(), QKeySequence(QStringLiteral("Alt+Q")));

        const QList<QAction *> machine = menus[1]->menu()->actions();
        QCOMPARE(machine.size(), 1);
        QCOMPARE(machine[0]->text(), QStringLiteral("&Reset\tF5"));
        QCOMPARE(machine[0]->data().toInt(), 105);
        QCOMPARE(machine[0]->shortcut(), QKeySequence(Qt::Key_F5));

        QVERIFY(window->statusBar());
        QCOMPARE(window->statusBar()->currentMessage(), QString());
        QCOMPARE(window->statusBar()->property("id").toInt(), 101);
    }

    void display_area_size_and_minimum() {
        QCOMPARE(gui_show_window(&emu->gui), 0);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->display()->size(), QSize(640, 480));
        QCOMPARE(emu->gui.display_width, 640);
        QCOMPARE(emu->gui.display_height, 480);
        // The status bar sits below the area, not over it.
        QVERIFY(window->statusBar()->geometry().top() >=
                window->display()->geometry().bottom() + 1);

        const QSize first = window->size();
        window->resize(200, 150);
        QCoreApplication::processEvents();
        QVERIFY(window->width() >= first.width() && window->height() >= first.height());
        QCOMPARE(window->display()->size(), QSize(640, 480));

        set_display_size(800, 500);
        QCOMPARE(emu->gui.display_width, 800);
        QCOMPARE(emu->gui.display_height, 500);
    }

    void letterbox_painting_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("picture");
        QTest::newRow("640x480 fills the area") << 640 << 480 << QRect(0, 0, 640, 480);
        QTest::newRow("800x480 bars left and right") << 800 << 480 << QRect(80, 0, 640, 480);
        QTest::newRow("640x600 bars above and below") << 640 << 600 << QRect(0, 60, 640, 480);
        QTest::newRow("641x480 odd column left over") << 641 << 480 << QRect(0, 0, 640, 480);
    }

    void letterbox_painting() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QRect, picture);
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        set_display_size(width, height);

        // A frame that is white everywhere except its top-left pixel, which is red.
        std::vector<uint8_t> frame(frame_bytes, 0xFF);
        frame[0] = 0x00; // blue
        frame[1] = 0x00; // green
        frame[2] = 0xFF; // red
        window->present_frame(frame.data());
        const QImage image = window->display()->grab().toImage();
        QCOMPARE(image.size(), QSize(width, height));

        int white = 0, black = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const QColor c = pixel(image, x, y);
                const bool inside = picture.contains(x, y);
                if (inside && c == Qt::white)
                    ++white;
                else if (!inside && c == Qt::black)
                    ++black;
            }
        // Every pixel is either picture or black; the top-left 2 x 2 block (one frame pixel
        // doubled, without smoothing) is red.
        QCOMPARE(white, picture.width() * picture.height() - 4);
        QCOMPARE(black, width * height - picture.width() * picture.height());
        const QPoint origin = picture.topLeft();
        QCOMPARE(pixel(image, origin.x(), origin.y()), QColor(Qt::red));
        QCOMPARE(pixel(image, origin.x() + 1, origin.y() + 1), QColor(Qt::red));
        QCOMPARE(pixel(image, origin.x() + 2, origin.y()), QColor(Qt::white));
    }

    void paint_renders_once_the_machine_stops() {
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Pixel (0, 0) of the screen white on black: frame column 32, row 24.
        harness_poke(0x2000, 0x80);
        harness_poke(0x3800, 0x0F);

        // Running: the paint handler only shows what the display thread delivered (nothing yet).
        QImage image = window->display()->grab().toImage();
        QCOMPARE(pixel(image, 64, 48), QColor(Qt::black));

        emu_set_running(emu, 0);
        image = window->display()->grab().toImage();
        QCOMPARE(pixel(image, 64, 48), QColor(Qt::white));
        QCOMPARE(pixel(image, 65, 49), QColor(Qt::white));
        QCOMPARE(pixel(image, 66, 48), QColor(Qt::black));
        QCOMPARE(pixel(image, 63, 48), QColor(Qt::black));
    }

    void frames_from_another_thread_queue_one_repaint() {
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        paint_counter paints(window->display());
        std::vector<uint8_t> frame(frame_bytes, 0xFF);
        // Several frames before the window thread gets round to painting: one repaint.
        std::thread display_thread([&] {
            for (int i = 0; i < 5; ++i)
                emu->gui.present(&emu->gui, frame.data(), nullptr);
        });
        display_thread.join();
        QTRY_VERIFY(paints.count >= 1);
        QTest::qWait(50);
        QCOMPARE(paints.count, 1);
        QCOMPARE(pixel(window->display()->grab().toImage(), 320, 240), QColor(Qt::white));
    }

    void stopped_machine_paints_without_queuing_more() {
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        emu_set_running(emu, 0);
        QTest::qWait(20);
        paint_counter paints(window->display());
        window->display()->update();
        QTRY_VERIFY(paints.count >= 1);
        // The paint rendered a frame itself; that must not ask for yet another paint.
        QTest::qWait(100);
        QCOMPARE(paints.count, 1);
    }

    void keys_by_position_with_modifiers() {
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        enable_keyboard();
        QWidget *display = window->display();

        // Shift+1 on X11: Shift (evdev 42) then the key that says '!' (evdev 2).
        send_key(display, QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier, 42);
        send_key(display, QEvent::KeyPress, Qt::Key_Exclam, Qt::ShiftModifier, 2);
        QVERIFY(key_bit(emu, 5, 1)); // Shift
        QVERIFY(key_bit(emu, 0, 1)); // 1
        // Shift let go first: the 1 key's release now says '1', and still clears its bit.
        send_key(display, QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier, 42);
        QVERIFY(!key_bit(emu, 5, 1));
        QVERIFY(key_bit(emu, 0, 1));
        send_key(display, QEvent::KeyRelease, Qt::Key_1, Qt::NoModifier, 2);
        QVERIFY(!key_bit(emu, 0, 1));

        // The right Shift and right Control reach the generic positions.
        send_key(display, QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier, 54);
        send_key(display, QEvent::KeyPress, Qt::Key_Control, Qt::ShiftModifier, 97);
        QVERIFY(key_bit(emu, 5, 1));
        QVERIFY(key_bit(emu, 6, 6));
        QVERIFY(!key_bit(emu, 6, 5) && !key_bit(emu, 7, 6));
        // Left Shift pressed as well: letting go of one Shift keeps the position held.
        send_key(display, QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, 42);
        send_key(display, QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier, 54);
        QVERIFY(key_bit(emu, 5, 1));
        send_key(display, QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier, 42);
        QVERIFY(!key_bit(emu, 5, 1));
        send_key(display, QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier, 97);
        QVERIFY(!key_bit(emu, 6, 6));

        // Tab is a key of the board, not a focus change.
        send_key(display, QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, 15);
        QVERIFY(key_bit(emu, 1, 6));
        QVERIFY(display->hasFocus());
        send_key(display, QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier, 15);
        QVERIFY(!key_bit(emu, 1, 6));

        // Alt belongs to the menu, and so does whatever is typed with it.
        send_key(display, QEvent::KeyPress, Qt::Key_Alt, Qt::NoModifier, 56);
        send_key(display, QEvent::KeyPress, Qt::Key_A, Qt::AltModifier, 30);
        for (int row = 0; row < 8; ++row)
            QCOMPARE(emu->kbd.rows[row], uint8_t{0});
        send_key(display, QEvent::KeyRelease, Qt::Key_A, Qt::AltModifier, 30);
        send_key(display, QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier, 56);
    }

    void keys_without_scan_codes_fall_back_on_the_qt_key() {
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        enable_keyboard();
        QWidget *display = window->display();
        QTest::keyPress(display, Qt::Key_Shift);
        QTest::keyPress(display, Qt::Key_1, Qt::ShiftModifier);
        QVERIFY(key_bit(emu, 5, 1));
        QVERIFY(key_bit(emu, 0, 1));
        QTest::keyRelease(display, Qt::Key_Shift, Qt::ShiftModifier);
        QTest::keyRelease(display, Qt::Key_1);
        QVERIFY(!key_bit(emu, 5, 1));
        QVERIFY(!key_bit(emu, 0, 1));
        QTest::keyClick(display, Qt::Key_A);
        QVERIFY(!key_bit(emu, 3, 5));
    }

    // A press and release queued together (the window thread was busy) keep the hold the window
    // system stamped on them, so that the board's keyboard scan sees the key.
    void queued_press_and_release_keep_their_hold() {
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        enable_keyboard();
        QWidget *display = window->display();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 30 + 8, 0, 0);
        press.setTimestamp(100000);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 30 + 8, 0, 0);
        release.setTimestamp(100000 + 300);
        QApplication::sendEvent(display, &press);
        QApplication::sendEvent(display, &release);
        QVERIFY(key_bit(emu, 3, 5));
        QTRY_VERIFY(!key_bit(emu, 3, 5));
    }

    void auto_repeat_is_ignored() {
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        enable_keyboard();
        QWidget *display = window->display();
        // X11 repeats a held key as release/press pairs marked as repeats: the key stays down.
        send_key(display, QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 30);
        for (int i = 0; i < 3; ++i) {
            send_key(display, QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 30, true);
            QVERIFY(key_bit(emu, 3, 5));
            send_key(display, QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 30, true);
        }
        send_key(display, QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 30);
        QVERIFY(!key_bit(emu, 3, 5));
        // A repeat with no press before it does not press the key.
        send_key(display, QEvent::KeyPress, Qt::Key_S, Qt::NoModifier, 31, true);
        QVERIFY(!key_bit(emu, 3, 6));
    }

    void shortcut_key_downs_do_not_reach_the_matrix() {
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Window shortcuts work only in the active window.
        QTRY_VERIFY(window->isActiveWindow());
        enable_keyboard();
        QWidget *display = window->display();

        QTest::keyPress(display, Qt::Key_Control);
        QVERIFY(key_bit(emu, 6, 6));
        QVERIFY(cancel_file_dialog_of(
            [display] { QTest::keyClick(display, Qt::Key_O, Qt::ControlModifier); }));
        QVERIFY(!key_bit(emu, 2, 7)); // O
        QTest::keyRelease(display, Qt::Key_Control);

        // F5 resets the machine: the keyboard is un-configured and the processor starts over.
        emu->cpu.PC = 0x1234;
        // The offscreen platform has no window manager to give the activation back.
        window->activateWindow();
        QTRY_VERIFY(window->isActiveWindow());
        QTest::keyClick(display, Qt::Key_F5);
        QCOMPARE(emu->cpu.PC, uint16_t{0});
        QCOMPARE(emu->kbd.pio_b_state, 0);
    }

    // F10 opens the menu bar and never reaches the matrix; once the menu closes (Escape), and
    // after a dialog, the display area has the keyboard again.
    void f10_goes_to_the_menu_and_the_keyboard_comes_back() {
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_VERIFY(window->isActiveWindow());
        enable_keyboard();
        QWidget *display = window->display();

        send_key(display, QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier, 68);
        for (int row = 0; row < 8; ++row)
            QCOMPARE(emu->kbd.rows[row], uint8_t{0});
        QAction *file = window->menuBar()->actions().first();
        QCOMPARE(window->menuBar()->activeAction(), file);
        QTRY_VERIFY(file->menu()->isVisible());
        QTest::keyClick(file->menu(), Qt::Key_Escape);
        QTRY_VERIFY(!file->menu()->isVisible());
        QTRY_COMPARE(window->focusWidget(), display);
        send_key(display, QEvent::KeyRelease, Qt::Key_F10, Qt::NoModifier, 68);

        window->menuBar()->setFocus();
        QVERIFY(cancel_file_dialog_of([this] { emu_open_file(&emu->gui, emu); }));
        QTRY_COMPARE(window->focusWidget(), display);
        send_key(display, QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 30);
        QVERIFY(key_bit(emu, 3, 5));
    }

    void losing_focus_releases_held_keys() {
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_VERIFY(window->isActiveWindow());
        enable_keyboard();
        QWidget *display = window->display();
        send_key(display, QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 30);
        send_key(display, QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier, 42);
        QVERIFY(key_bit(emu, 3, 5) && key_bit(emu, 5, 1));

        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        other.activateWindow();
        QTRY_VERIFY(!window->isActiveWindow());
        QVERIFY(!key_bit(emu, 3, 5));
        QVERIFY(!key_bit(emu, 5, 1));
        // The releases arriving later (the other window had them) change nothing.
        send_key(display, QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 30);
        QVERIFY(!key_bit(emu, 3, 5));
    }

    void quit_and_close_end_the_loop_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("Quit menu item") << 0;
        QTest::newRow("Alt+Q") << 1;
        QTest::newRow("close box") << 2;
    }

    void quit_and_close_end_the_loop() {
        QFETCH(int, how);
        gui_show_window(&emu->gui);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_VERIFY(window->isActiveWindow());
        QTimer::singleShot(0, window, [this, how] {
            if (how == 0)
                window->command(GUI_CMD_QUIT)->trigger();
            else if (how == 1)
                QTest::keyClick(window->display(), Qt::Key_Q, Qt::AltModifier);
            else
                window->close();
        });
        // Should the window not end the loop, this does, with a code the test rejects.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.start(10000);
        QCOMPARE(gui_run(&emu->gui), 0);
        QCOMPARE(emu_get_running(emu), 0);
        QVERIFY(!window->isVisible());
    }

    void destroying_the_window_stops_the_machine() {
        QCOMPARE(emu_get_running(emu), 1);
        gui_finalize(&emu->gui);
        QCOMPARE(emu_get_running(emu), 0);
        QVERIFY(emu->gui.window == nullptr);
        QCOMPARE(gui_initialize(&emu->gui, emu), 0);
        window = static_cast<gui_main_window *>(emu->gui.window);
    }
};

QTEST_MAIN(test_gui)
#include "test_gui.moc"
