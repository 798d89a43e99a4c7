// The debugger window on Qt's offscreen platform, over the real processor thread running
// tests/z80/debugger.asm: breakpoints from the console and the disassembly, stepping, stepping
// back and reverse continue, a register change that turns a branch, a watchpoint naming its writer,
// pause and continue, an invalid opcode's report, and the hot spots of a profile.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "debug/collect/profile.h"
#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/front/dap.h"
#include "debug/info/symbols.h"
#include "host/debugger.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

const QString program_dir = QStringLiteral(QUILLANE_Z80_DIR);

// Waits for the stop a run command asked for.
#define WAIT_PAUSED() QTRY_VERIFY_WITH_TIMEOUT(window->paused(), 10000)

} // namespace

class test_debugger : public QObject {
    Q_OBJECT

    emu_t *emu = &emu_state;
    gui_debugger_window *window = nullptr;
    std::thread processor;

    uint16_t symbol(const char *name) {
        uint16_t address = 0;
        if (!dbg_symbol_lookup(&dbg_engine()->symbols, name, &address))
            qFatal("no symbol %s", name);
        return address;
    }
    z_cpu_t cpu() {
        emu_lock_enter(&emu->lock);
        const z_cpu_t copy = emu->cpu;
        emu_lock_leave(&emu->lock);
        return copy;
    }
    uint16_t pc() { return cpu().PC; }
    int muted() { return std::atomic_ref<int32_t>(emu->snd.muted).load(); }
    uint8_t peek(uint16_t address) { return dbg_peek(dbg_engine(), address); }
    // Types a line into the console's input and presses Enter.
    void type(const QString &line) {
        QLineEdit *input = window->console_input();
        input->setFocus();
        QTest::keyClicks(input, line);
        QTest::keyClick(input, Qt::Key_Return);
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(window->console_input(), static_cast<Qt::Key>(key), modifiers);
    }
    uint16_t selected() {
        uint16_t address = 0;
        if (!window->disassembly()->selected_address(&address)) return 0xFFFF;
        return address;
    }

  private slots:
    void initTestCase() {
        emu_power_on(emu);
        QFile bin(program_dir + QStringLiteral("/debugger.bin"));
        QVERIFY(bin.open(QIODevice::ReadOnly));
        const QByteArray code = bin.readAll();
        std::memcpy(emu->memory, code.constData(), static_cast<size_t>(code.size()));
        emu->cpu.PC = 0;
        processor = std::thread(emu_cpu_thread_handler, emu);
        window = new gui_debugger_window(emu, nullptr);
        window->open();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("Quillane Debugger"));
        QVERIFY(window->console_input()->hasFocus());
        QVERIFY(window->attached() && !window->paused());
        type(QStringLiteral("symbols ") + program_dir + QStringLiteral("/debugger.sym"));
        QVERIFY(window->console_text().contains(QStringLiteral("12 symbols")));
    }

    void cleanupTestCase() {
        window->detach();
        emu_set_running(emu, 0);
        processor.join();
        delete window;
    }

    void pause_and_continue() {
        key(Qt::Key_F8);
        WAIT_PAUSED();
        QVERIFY(window->status_text().startsWith(QStringLiteral("Paused at")));
        QCOMPARE(muted(), 1);
        const uint8_t count = peek(0x8000);
        QTest::qWait(100);
        QCOMPARE(peek(0x8000), count);
        QCOMPARE(window->control(QStringLiteral("continue_pause"))->text(),
                 QStringLiteral("Continue"));
        type(QStringLiteral("pause")); // already paused: must not stop the next run at once
        key(Qt::Key_F8);
        QVERIFY(!window->paused());
        QCOMPARE(muted(), 0);
        QTRY_VERIFY(peek(0x8000) != count);
        QTest::qWait(100);
        QVERIFY(!window->paused());
        // The clock runs at the board's 10 MHz.
        QTRY_VERIFY_WITH_TIMEOUT(window->clock_text().contains(QStringLiteral("MHz")), 3000);
    }

    // A profile collected while the processor thread runs: the hot-spot table shows the
    // hottest functions as the profile reports them.
    void hot_spots_of_a_profile() {
        type(QStringLiteral("profile start"));
        QTRY_VERIFY(!dbg_profile_hot_spots(dbg_engine()).empty());
        key(Qt::Key_F8);
        WAIT_PAUSED();
        type(QStringLiteral("profile stop"));
        const std::vector<dbg_hot_spot_t> spots = dbg_profile_hot_spots(dbg_engine());
        QTableWidget *table = window->hot_spots()->table();
        QVERIFY(table->item(0, 0) && spots[0].self_ts > 0);
        QCOMPARE(table->item(0, 0)->text(), QString::fromStdString(spots[0].name));
        QCOMPARE(table->item(0, 1)->text(), QString::number(spots[0].self_ts));
        for (size_t i = 1; i < spots.size(); ++i)
            QVERIFY(spots[i - 1].self_ts >= spots[i].self_ts);
        key(Qt::Key_F8);
        QVERIFY(!window->paused());
    }

    void break_at_a_symbol_then_step_in_and_out() {
        type(QStringLiteral("break callsite"));
        WAIT_PAUSED();
        QCOMPARE(pc(), symbol("callsite"));
        QVERIFY2(window->status_text().contains(QStringLiteral("callsite")),
                 qPrintable(window->status_text()));
        QCOMPARE(selected(), symbol("callsite"));
        // The breakpoint is marked in its row, the current instruction too.
        QTableWidget *table = window->disassembly()->table();
        QCOMPARE(table->item(table->currentRow(), 0)->text(), QString::fromUtf8("\u25CF\u25B6"));
        QCOMPARE(table->item(table->currentRow(), gui_disassembly_pane::DIS_TEXT)->text(),
                 QStringLiteral("CALL bump"));

        key(Qt::Key_F11); // into the call
        WAIT_PAUSED();
        QCOMPARE(pc(), symbol("bump"));
        // The stack shows the return address by its symbol.
        QCOMPARE(window->stack()->table()->item(0, 2)->text(), QStringLiteral("check"));
        key(Qt::Key_F11, Qt::ShiftModifier); // out again
        WAIT_PAUSED();
        QCOMPARE(pc(), symbol("check"));
    }

    void step_over_a_call() {
        window->control(QStringLiteral("continue_pause"))->trigger();
        WAIT_PAUSED();
        QCOMPARE(pc(), symbol("callsite"));
        const uint8_t count = peek(0x8000);
        key(Qt::Key_F10);
        WAIT_PAUSED();
        QCOMPARE(pc(), symbol("check"));
        QCOMPARE(peek(0x8000), static_cast<uint8_t>(count + 1)); // bump ran
        // F9 on the selected breakpoint clears it.
        window->disassembly()->select_address(symbol("callsite"));
        key(Qt::Key_F9);
        QVERIFY(dbg_engine()->breakpoints.empty());
        // A click in the first column sets one, and a second click clears it.
        window->disassembly()->select_address(symbol("decide"));
        QTableWidget *table = window->disassembly()->table();
        const QPoint mark = table->visualItemRect(table->item(table->currentRow(), 0)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, mark);
        QCOMPARE(dbg_engine()->breakpoints.size(), size_t{1});
        QCOMPARE(dbg_engine()->breakpoints[0].address, symbol("decide"));
        QCOMPARE(table->item(table->currentRow(), 0)->text(), QString::fromUtf8("\u25CF"));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, mark);
        QVERIFY(dbg_engine()->breakpoints.empty());
    }

    void step_back_and_reverse_continue_restore_the_moment() {
        const uint16_t here = pc();
        key(Qt::Key_F11);
        WAIT_PAUSED();
        key(Qt::Key_F10, Qt::ShiftModifier); // Step back
        QCOMPARE(pc(), here);
        QVERIFY2(window->status_text().startsWith(QStringLiteral("Back at")),
                 qPrintable(window->status_text()));
        // Two stops at bump, then back to the first: the count is that of then.
        type(QStringLiteral("break bump"));
        key(Qt::Key_F8);
        WAIT_PAUSED();
        const uint8_t first = peek(0x8000);
        key(Qt::Key_F8);
        WAIT_PAUSED();
        QCOMPARE(peek(0x8000), static_cast<uint8_t>(first + 2)); // loop and bump count
        key(Qt::Key_F8, Qt::ShiftModifier);                      // Reverse continue
        QCOMPARE(pc(), symbol("bump"));
        QCOMPARE(peek(0x8000), first);
        QVERIFY2(window->status_text().startsWith(QStringLiteral("Breakpoint")),
                 qPrintable(window->status_text()));
        type(QStringLiteral("delete"));
    }

    void a_changed_flag_takes_the_other_branch() {
        // Run to cursor at the conditional jump; mode is 0, so Z is clear there.
        window->disassembly()->select_address(symbol("decide"));
        window->control(QStringLiteral("run_to_cursor"))->trigger();
        WAIT_PAUSED();
        QCOMPARE(pc(), symbol("decide"));
        auto *zero = window->registers()->findChild<QCheckBox *>(QStringLiteral("flag_z"));
        QVERIFY(zero && zero->isEnabled() && !zero->isChecked());
        zero->click();
        QVERIFY(cpu().F & Z_FLAG);
        key(Qt::Key_F11);
        WAIT_PAUSED();
        QCOMPARE(pc(), symbol("taken"));
        // And a register typed in: PC back to the jump, Z clear again, which falls through.
        auto *field = window->registers()->findChild<QLineEdit *>(QStringLiteral("reg_pc"));
        QVERIFY(field && !field->isReadOnly());
        field->selectAll();
        QTest::keyClicks(field, QString::number(symbol("decide"), 16));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(pc(), symbol("decide"));
        zero->click();
        key(Qt::Key_F11);
        WAIT_PAUSED();
        QCOMPARE(pc(), static_cast<uint16_t>(symbol("decide") + 2));
    }

    void dap_registers_show_what_the_pane_shows() {
        // Paused with registers unlike each other: the DAP Registers scope and the pane must
        // name the same registers and show the same values.
        const z_cpu_t before = cpu();
        std::string error;
        for (const auto &[name, value] : {std::pair<const char *, uint32_t>{"bc", 0x1234},
                                          {"de_", 0xBEEF},
                                          {"iy", 0x7A5C},
                                          {"im", 1},
                                          {"fc", 1}})
            QVERIFY2(dbg_set_register(dbg_engine(), name, value, &error), error.c_str());
        window->refresh();
        dbg_dap_t *dap = dbg_dap_new(dbg_engine(), "");
        const std::string body =
            R"({"seq":1,"type":"request","command":"variables","arguments":{"variablesReference":3}})";
        const std::string frame = dbg_dap_frame(body);
        QVERIFY(dbg_dap_feed(dap, frame.data(), frame.size()));
        const std::string out = dbg_dap_take_output(dap);
        dbg_dap_free(dap);
        const std::regex row(R"re("name":"([^"]*)","value":"([^"]*)")re");
        int fields = 0, flags = 0;
        for (auto it = std::sregex_iterator(out.begin(), out.end(), row);
             it != std::sregex_iterator(); ++it) {
            const QString name = QString::fromStdString((*it)[1]);
            QString value = QString::fromStdString((*it)[2]);
            if (name == QStringLiteral("ticks")) continue;
            auto *field =
                window->registers()->findChild<QLineEdit *>(QStringLiteral("reg_") + name);
            auto *box =
                window->registers()->findChild<QCheckBox *>(QStringLiteral("flag_") + name.mid(1));
            QVERIFY2(field || (name.startsWith(QLatin1Char('f')) && box), qPrintable(name));
            const bool hex = value.startsWith(QLatin1Char('$'));
            const unsigned shown = value.remove(QLatin1Char('$')).toUInt(nullptr, hex ? 16 : 10);
            if (field) {
                QCOMPARE(field->text().toUInt(nullptr, 16), shown);
                ++fields;
            } else {
                QCOMPARE(box->isChecked(), shown == 1);
                ++flags;
            }
        }
        // Every field and check box of the pane has its row.
        QCOMPARE(fields, static_cast<int>(window->registers()->findChildren<QLineEdit *>().size()));
        QCOMPARE(flags, static_cast<int>(window->registers()->findChildren<QCheckBox *>().size()));
        QCOMPARE(window->registers()->findChild<QLineEdit *>(QStringLiteral("reg_bc"))->text(),
                 QStringLiteral("1234"));
        QVERIFY(window->registers()->findChild<QCheckBox *>(QStringLiteral("flag_c"))->isChecked());
        for (const char *name : {"bc", "de_", "iy", "af", "im"}) {
            const uint32_t old = std::string(name) == "bc"    ? before.BC
                                 : std::string(name) == "de_" ? before.DE_
                                 : std::string(name) == "iy"  ? before.IY
                                 : std::string(name) == "af"  ? before.AF
                                                              : before.im;
            QVERIFY(dbg_set_register(dbg_engine(), name, old, &error));
        }
    }

    void a_watchpoint_names_the_writer() {
        type(QStringLiteral("watch write result"));
        // mode = 1 through the memory pane: the store at `writer` runs.
        window->memory()->address_field()->setText(QStringLiteral("mode"));
        window->refresh();
        QCOMPARE(window->memory()->start(), 0x8000);
        window->memory()->table()->item(0, 1)->setText(QStringLiteral("01"));
        QCOMPARE(peek(0x8001), 1);
        key(Qt::Key_F8);
        WAIT_PAUSED();
        QVERIFY2(window->status_text().contains(QStringLiteral("writer")),
                 qPrintable(window->status_text()));
        QVERIFY2(window->console_text().contains(window->status_text()),
                 qPrintable(window->console_text()));
        QCOMPARE(selected(), symbol("writer"));
        QCOMPARE(peek(0x8002), 0xAA);
        type(QStringLiteral("delete"));
        QVERIFY(dbg_engine()->watchpoints.empty());
    }

    void an_invalid_opcode_is_selected_with_its_report() {
        type(QStringLiteral("poke mode 2"));
        QCOMPARE(peek(0x8001), 2);
        window->hide();
        window->control(QStringLiteral("continue_pause"))->trigger();
        WAIT_PAUSED();
        const QString at =
            QStringLiteral("%1").arg(symbol("broken"), 4, 16, QLatin1Char('0')).toUpper();
        QCOMPARE(window->status_text(), QStringLiteral("Invalid DD opcode at %1 (DD 30)").arg(at));
        QCOMPARE(selected(), symbol("broken"));
        QVERIFY(window->isVisible()); // raised by the stop
    }

    // File commands typed into the console run off the window thread: while a save blocks on a
    // pipe whose reader has not read yet, the window still answers (with the console disabled),
    // and a FIFO that nobody writes is refused as a symbol file at once.
    void console_file_commands_run_off_the_window_thread() {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const int reader = open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        // 64 KB as HEX is more than a pipe holds: the save blocks until the reader drains it.
        std::atomic<bool> go{false};
        size_t received = 0;
        std::thread drain([&] {
            // Without the timer's word (a window that does not answer) it drains anyway, so the
            // test fails instead of hanging.
            for (int i = 0; i < 1000 && !go.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            char buffer[4096];
            for (int idle = 0; idle < 500;) {
                const ssize_t got = read(reader, buffer, sizeof buffer);
                if (got == 0) break;
                if (got > 0) {
                    received += static_cast<size_t>(got);
                    idle = 0;
                } else {
                    ++idle;
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            }
        });
        bool answered = false, input_disabled = false;
        QTimer::singleShot(200, window, [&] {
            answered = window->busy();
            input_disabled = !window->console_input()->isEnabled();
            go.store(true);
        });
        window->execute(QStringLiteral("save %1 0 10000").arg(fifo));
        drain.join();
        close(reader);
        QVERIFY(answered);
        QVERIFY(input_disabled);
        QVERIFY(window->console_input()->isEnabled());
        QCOMPARE(received, size_t{2048 * (11 + 64 + 2)});
        QVERIFY(window->console_text().endsWith(QStringLiteral("> save %1 0 10000").arg(fifo)));

        // Nobody writes the FIFO (the guard opens it after a while, so that the old blocking
        // open ends instead of hanging the test).
        std::atomic<bool> done{false};
        std::thread guard([&] {
            for (int i = 0; i < 500 && !done.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!done.load()) close(open(QFile::encodeName(fifo).constData(), O_WRONLY));
        });
        window->execute(QStringLiteral("symbols %1").arg(fifo));
        done.store(true);
        guard.join();
        QVERIFY2(
            window->console_text().endsWith(fifo + QStringLiteral(": Not a regular file (a file "
                                                                  "or - for standard input)")),
            qPrintable(window->console_text().right(200)));
    }

    void closing_lets_the_machine_run_unwatched() {
        type(QStringLiteral("poke mode 0"));
        type(QStringLiteral("set pc loop"));
        type(QStringLiteral("break check"));
        window->close();
        QVERIFY(!window->attached());
        QCOMPARE(muted(), 0);
        QVERIFY(!dbg_needs_attention(dbg_engine()));
        const uint8_t count = peek(0x8000);
        QTRY_VERIFY(peek(0x8000) != count);
        // Opened again, it watches again: symbols kept, breakpoints new.
        window->open();
        QVERIFY(window->attached() && !window->paused());
        QVERIFY(dbg_engine()->breakpoints.empty());
        type(QStringLiteral("break check"));
        WAIT_PAUSED();
        QCOMPARE(pc(), symbol("check"));
    }
};

QTEST_MAIN(test_debugger)
#include "test_debugger.moc"
