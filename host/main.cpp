// The program's entry point: start-up in the board's fixed order, the message loop, shutdown.
#include <QApplication>
#include <QStatusBar>
#include <QtGlobal>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

#include "debug/core/engine.h"
#include "debug/travel/record.h"
#include "devices/graphics.h"
#include "devices/keyboard.h"
#include "devices/sound.h"
#include "files/file.h"
#include "host/dap_server.h"
#include "host/debugger.h"
#include "host/error_box.h"
#include "host/gui.h"
#include "host/options.h"
#include "host/reload.h"
#include "host/signals.h"
#include "host/sound_sdl.h"
#include "machine/emu.h"
#include "machine/error.h"
#include "machine/process.h"

namespace {

// Qt ends the process with abort() when it cannot reach a display; say so plainly instead.
void quillane_message_handler(QtMsgType type, const QMessageLogContext &, const QString &message) {
    const QByteArray text = message.toLocal8Bit();
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "quillane: cannot start the window system: %s\n", text.constData());
        std::fflush(stderr);
        _exit(2);
    }
    if (type == QtWarningMsg && gui_display_connection_lost()) return;
    std::fprintf(stderr, "%s\n", text.constData());
}

bool quillane_have_display() {
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;
    const char *x11 = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

int main(int argc, char **argv) {
    host_options_t options;
    const int parsed = host_parse_options(argc, argv, &options);
    if (parsed >= 0) return parsed;
    if (!quillane_have_display()) {
        std::fprintf(stderr, "quillane: no display server found (DISPLAY and WAYLAND_DISPLAY "
                             "are not set); the emulator needs a window system\n");
        return 2;
    }
    qInstallMessageHandler(quillane_message_handler);
    QApplication application(argc, argv);
    emu_set_error_box(gui_error_box);

    emu_t *emu = &emu_state;
    const std::string rom = options.rom.empty() ? EMU_ROM_FILE_NAME : options.rom;
    emu_file_error_t rom_error{};
    if (emu_startup(emu, rom.c_str(), &rom_error) != 0) {
        gui_rom_error_box(rom.c_str(), rom_error);
        return 1;
    }
    if (host_apply_options(emu, options) != 0) return 2;
    // The monitor's symbols are looked for beside the ROM that runs (by the debugger, by reload).
    dbg_set_rom_path(dbg_engine(), rom);
    if (gui_initialize(&emu->gui, emu) != 0) exit_with_fatal_error("gui_initialize");
    if (gui_signals_install(emu) != 0) exit_with_fatal_error("gui_signals_install");
    // A recording that can no longer be written says so when it fails, on stderr and in the
    // status bar, not only when the window closes; its old file stays.
    std::atomic<bool> record_failure_told{false};
    dbg_record_on_failure(dbg_engine(), [&record_failure_told,
                                         status = static_cast<QStatusBar *>(emu->gui.status_bar)](
                                            const std::string &reason) {
        std::fprintf(stderr, "quillane: %s\n", reason.c_str());
        record_failure_told = true;
        QMetaObject::invokeMethod(
            status, [status, text = QString::fromStdString(reason)] { status->showMessage(text); },
            Qt::QueuedConnection);
    });
    std::unique_ptr<gui_debugger_window> debugger(
        gui_debugger_install(static_cast<QWidget *>(emu->gui.window), emu));
    std::unique_ptr<gui_dap_server> dap;
    if (options.dap_port) {
        dap = std::make_unique<gui_dap_server>(debugger.get());
        dap->set_images(options.images, options.source_dirs);
        QString error;
        if (!dap->listen(static_cast<quint16>(options.dap_port), &error)) {
            std::fprintf(stderr, "quillane: --dap-port %d: %s\n", options.dap_port,
                         error.toLocal8Bit().constData());
            return 2;
        }
    }
    // The display and the keyboard were initialised with the board (emu_power_on): they hold no
    // host object, so only the audio device is opened here.
    if (snd_initialize(&emu->snd, &emu->psg) != 0) exit_with_fatal_error("snd_initialize");
    gui_show_window(&emu->gui);
    if (emu_start_threads(emu) != 0) exit_with_fatal_error("CreateThread");
    // Warp runs faster than the sound can follow: the stream plays silence until warp ends.
    snd_start(&emu->snd);
    if (options.warp) snd_set_muted(&emu->snd, true);
    debugger->set_reload_inputs(options.images, options.type);
    std::unique_ptr<gui_reloader> reloader;
    if (options.watch) {
        reloader = std::make_unique<gui_reloader>(dbg_engine(), options.images, options.type);
        QObject::connect(
            reloader.get(), &gui_reloader::reloaded, debugger.get(),
            [&debugger](const QString &, const QString &report) { debugger->reloaded(report); });
    }
    if (options.debug) {
        debugger->open();
        for (const std::string &image : options.images)
            debugger->load_symbols_beside(QString::fromStdString(image), options.source_dirs);
    }

    const int exit_code = gui_run(&emu->gui);

    reloader.reset();
    // Wakes a processor thread that waits at a stop.
    debugger->detach();
    emu_stop_threads(emu);
    dap.reset();
    // The recording ends at the tick the machine stopped at.
    std::string record_error;
    const bool recorded = dbg_record_close(dbg_engine(), &record_error);
    if (!recorded && !record_failure_told)
        std::fprintf(stderr, "quillane: %s\n", record_error.c_str());
    debugger.reset();
    snd_finalize(&emu->snd);
    gfx_finalize(&emu->gfx);
    gui_finalize(&emu->gui);
    // For the test suite: how the audio stream fared over the whole run.
    if (std::getenv("QUILLANE_AUDIO_STATS"))
        std::fprintf(stderr, "audio: %u buffers played, %u underruns\n", emu->snd.played,
                     emu->snd.underruns);
    const int status = gui_signals_exit_status(exit_code);
    return status == 0 && !recorded ? 1 : status;
}
