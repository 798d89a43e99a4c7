#include "host/signals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include "host/gui.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

int gui_signal_pipe[2] = {-1, -1};
volatile sig_atomic_t gui_ending_signal = 0;

constexpr int gui_quit_signals[] = {SIGINT, SIGTERM, SIGHUP};

// Async-signal-safe: one write, errno kept.
void gui_signal_handler(int signal_number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal_number);
    if (write(gui_signal_pipe[1], &byte, 1) < 0) {
        // The pipe is full: a signal is already waiting to be handled.
    }
    errno = saved;
}

// The main window destroyed from outside (xdotool windowclose, a window manager's kill) leaves
// the program without a window; that ends it as Quit does.
class gui_destroy_watch : public QAbstractNativeEventFilter {
  public:
    explicit gui_destroy_watch(emu_t *emu) : emu_(emu) {}
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override {
        if (type != "xcb_generic_event_t") return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7F) != XCB_DESTROY_NOTIFY) return false;
        const auto *destroyed = reinterpret_cast<const xcb_destroy_notify_event_t *>(event);
        auto *window = static_cast<QWidget *>(emu_->gui.window);
        if (window && destroyed->window == static_cast<xcb_window_t>(window->effectiveWinId()))
            QMetaObject::invokeMethod(
                window, [this] { gui_quit(&emu_->gui); }, Qt::QueuedConnection);
        return false;
    }

  private:
    emu_t *emu_;
};

bool gui_on_main_thread() {
    return static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
}

// Runs on every exit, before the destructors of static objects. A quit has joined the threads
// already, and a fatal error of start-up only needs them joined; an exit from inside the message
// loop, or from another thread, comes from the window system, whose state may no longer allow
// destructors to run.
void gui_exit_guard(int status, void *argument) {
    auto *emu = static_cast<emu_t *>(argument);
    const std::thread::id self = std::this_thread::get_id();
    const bool emulation_thread =
        self == emu->cpu_thread.get_id() || self == emu->vdp_thread.get_id();
    const bool from_window_system =
        !gui_on_main_thread() ||
        (QThread::currentThread() && QThread::currentThread()->loopLevel() > 0);
    if (!emulation_thread) {
        emu_set_running(emu, 0);
        emu_stop_threads(emu);
    }
    if (!from_window_system && !emulation_thread) return;
    std::fprintf(stderr, "quillane: the connection to the display server was lost; the "
                         "emulation has stopped\n");
    std::fflush(stderr);
    _exit(status != 0 ? status : 1);
}

} // namespace

int gui_signals_install(emu_t *emu) {
    on_exit(gui_exit_guard, emu);

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
    // A file size limit fails a save the same way (EFBIG) instead of ending the program.
    sigaction(SIGXFSZ, &ignore, nullptr);

    QCoreApplication::instance()->installNativeEventFilter(new gui_destroy_watch(emu));

    if (pipe2(gui_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    auto *notifier = new QSocketNotifier(gui_signal_pipe[0], QSocketNotifier::Read,
                                         QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [emu] {
        unsigned char byte = 0;
        while (read(gui_signal_pipe[0], &byte, 1) == 1)
            if (gui_ending_signal == 0) gui_ending_signal = byte;
        if (gui_ending_signal != 0) gui_quit(&emu->gui);
    });

    struct sigaction action {};
    action.sa_handler = gui_signal_handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal_number : gui_quit_signals)
        if (sigaction(signal_number, &action, nullptr) != 0) return 1;
    return 0;
}

bool gui_display_connection_lost() {
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 && x11->connection() && xcb_connection_has_error(x11->connection()) != 0;
}

int gui_signals_exit_status(int loop_result) {
    return gui_ending_signal != 0 ? 128 + gui_ending_signal : loop_result;
}
