// The debugger window's source-level panes on Qt's offscreen platform, over the real processor
// thread running the C fixture tests/c/debuginfo.c (lines found by their "@" marks) from the
// monitor: a breakpoint set in the Source pane's margin on a line without code, the stop marked
// there, frames chosen in the stack pane, a struct in Locals that expands and takes an edited
// field, Watch, source lines in the disassembly, "Memory at" expressions, a profile's hot
// lines and a reload of a rebuilt program.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/info/disasm.h"
#include "debug/info/source.h"
#include "debug/info/symbols.h"
#include "host/debugger.h"
#include "machine/emu.h"
#include "machine/process.h"
#include "reload_builds.h"

namespace {

const std::string program = QUILLANE_BUILD_DIR "/tests/c/debuginfo";
const std::string source_dir = QUILLANE_SOURCE_DIR "/tests/c";

#define WAIT_PAUSED() QTRY_VERIFY_WITH_TIMEOUT(window->paused(), 20000)

// The line of the fixture that holds "@mark".
int line_of(const std::string &mark) {
    std::ifstream in(source_dir + "/debuginfo.c");
    std::string text;
    for (int line = 1; std::getline(in, text); ++line)
        if (text.find("@" + mark + " ") != std::string::npos) return line;
    qFatal("no @%s in debuginfo.c", mark.c_str());
}

QTreeWidgetItem *child_named(QTreeWidgetItem *parent, const QString &name) {
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == name) return parent->child(i);
    return nullptr;
}

} // namespace

class test_debugger_source : public QObject {
    Q_OBJECT

    emu_t *emu = &emu_state;
    gui_debugger_window *window = nullptr;
    std::thread processor;

    dbg_source_t *model() { return dbg_engine()->source; }
    uint16_t address_of(int line) {
        uint16_t address = 0;
        int actual = 0;
        const int file = dbg_source_file(model(), "debuginfo.c");
        if (!dbg_source_address_of(model(), file, line, &address, &actual))
            qFatal("no code at line %d", line);
        return address;
    }
    uint16_t variable(const char *name) {
        for (const auto &v : model()->variables)
            if (v.name == name) return v.address;
        qFatal("no variable %s", name);
    }
    void click(QTableWidget *table, int row, int column) {
        table->scrollToItem(table->item(row, column));
        const QPoint at = table->visualItemRect(table->item(row, column)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
    }
    QString mark(int line) {
        return window->source()->table()->item(line - 1, gui_source_pane::SRC_MARK)->text();
    }

  private slots:
    void initTestCase() {
        struct stat info {};
        if (stat((program + ".cdb").c_str(), &info) != 0) QSKIP("built without SDCC");
        emu_power_on(emu);
        std::string error;
        QVERIFY2(dbg_load_hex(emu, QUILLANE_BUILD_DIR "/tessik.hex", true, nullptr, &error) == 0,
                 error.c_str());
        // The monitor clears only its own variables: the program can be there from the start.
        QVERIFY2(dbg_load_hex(emu, program + ".ihx", false, nullptr, &error) == 0, error.c_str());
        processor = std::thread(emu_cpu_thread_handler, emu);
        window = new gui_debugger_window(emu, nullptr);
        window->open();
        QVERIFY(QTest::qWaitForWindowActive(window));
        // The monitor's symbols too: its labels begin at 0000.
        QVERIFY(window->load_symbols(QUILLANE_BUILD_DIR "/rom/tessik.sym"));
        QVERIFY(window->load_symbols(QString::fromStdString(program + ".noi")));
        // A missing .cdb is reported and loads nothing.
        QVERIFY(!window->load_source(QString::fromStdString(program + ".missing.cdb")));
        QVERIFY(!model());
        QVERIFY(window->load_source(QString::fromStdString(program + ".cdb"),
                                    {QString::fromStdString(source_dir)}));
        QVERIFY(model());
    }

    void cleanupTestCase() {
        if (!window) return;
        window->detach();
        emu_set_running(emu, 0);
        processor.join();
        delete window;
    }

    void source_frames_locals_watch_and_memory_at_a_c_line() {
        const int call = line_of("call"), nocode = line_of("nocode");
        window->execute(QStringLiteral("break %1").arg(address_of(call), 4, 16, QLatin1Char('0')));
        window->execute(QStringLiteral("type g 8000\\n"));
        WAIT_PAUSED();
        QCOMPARE(window->source()->current_line(), call);
        QCOMPARE(mark(call), QString::fromUtf8("\u25CF\u25B6"));

        // A click in the margin of a line without code sets the breakpoint at the next line
        // with code, drawn there; the run stops at it.
        click(window->source()->table(), nocode - 1, gui_source_pane::SRC_MARK);
        QCOMPARE(dbg_engine()->breakpoints.size(), size_t{2});
        QCOMPARE(dbg_engine()->breakpoints[1].address, address_of(nocode));
        QCOMPARE(mark(nocode).trimmed(), QString());
        QCOMPARE(mark(nocode + 1), QString::fromUtf8("\u25CF"));
        window->control(QStringLiteral("continue_pause"))->trigger();
        WAIT_PAUSED();
        QCOMPARE(window->source()->current_line(), nocode + 1);

        // The frames: sum_points, then main at its call; choosing main shows its line and
        // its locals, where the struct expands.
        QTableWidget *frames = window->stack()->frames_table();
        QVERIFY(frames->rowCount() >= 2);
        QVERIFY2(frames->item(0, 0)->text().contains(QStringLiteral("sum_points")),
                 qPrintable(frames->item(0, 0)->text()));
        QCOMPARE(frames->item(1, 1)->text(), QStringLiteral("debuginfo.c:%1").arg(call));
        // On the stack, the return address names main; the argument count (3) is a number,
        // not a place in the monitor.
        QTableWidget *words = window->stack()->table();
        QString back, three = QStringLiteral("missing");
        for (int r = 0; r < words->rowCount(); ++r) {
            if (words->item(r, 2)->text().startsWith(QStringLiteral("_main+"))) back = "main";
            if (words->item(r, 1)->text() == QStringLiteral("0003"))
                three = words->item(r, 2)->text();
        }
        QCOMPARE(back, QStringLiteral("main"));
        QCOMPARE(three, QString());
        click(frames, 1, 0);
        QCOMPARE(window->source()->current_line(), call);
        QTreeWidget *locals = window->locals()->tree();
        QTreeWidgetItem *here = child_named(locals->invisibleRootItem(), QStringLiteral("here"));
        QVERIFY(here);
        QCOMPARE(here->text(1), QStringLiteral("struct point"));
        QCOMPARE(here->childCount(), 3);
        locals->expandItem(here);
        QTreeWidgetItem *x = child_named(here, QStringLiteral("x"));
        QVERIFY(x);
        QCOMPARE(x->text(2), QStringLiteral("7 ($0007)"));
        QCOMPARE(child_named(here, QStringLiteral("tag"))->text(2),
                 QStringLiteral("104 'h' ($68)"));

        // here.x edited in the tree: memory takes it, the refreshed tree reads it back.
        locals->setCurrentItem(x, 2);
        locals->editItem(x, 2);
        QLineEdit *editor = locals->findChild<QLineEdit *>();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("42"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(x->text(2), QStringLiteral("42 ($002A)"));
        dbg_value_t value;
        std::string error;
        const std::vector<dbg_frame_t> stack =
            dbg_source_frames(model(), emu->memory, emu->cpu, &dbg_engine()->symbols);
        const dbg_eval_context_t context{emu->memory, &emu->cpu, &dbg_engine()->symbols,
                                         &stack.at(1), -1};
        QVERIFY2(dbg_source_print(model(), "here.x", context, &value, &error), error.c_str());
        QCOMPARE(value.text, std::string("42 ($002A)"));
        // A value held in registers cannot be edited.
        click(frames, 0, 0);
        QTreeWidgetItem *i = child_named(locals->invisibleRootItem(), QStringLiteral("i"));
        QVERIFY(i && i->text(2).endsWith(QStringLiteral(" in BC")));
        QVERIFY(!(i->flags() & Qt::ItemIsEditable));

        // Watch: expressions evaluated at each refresh; a bad one says why.
        window->watch()->add(QStringLiteral("points[1].y"));
        window->watch()->add(QStringLiteral("nosuch"));
        QTreeWidget *watch = window->watch()->tree();
        QCOMPARE(watch->topLevelItemCount(), 2);
        QCOMPARE(watch->topLevelItem(0)->text(2), QStringLiteral("-4 ($FFFC)"));
        QVERIFY(watch->topLevelItem(1)->text(2).contains(QStringLiteral("nosuch")));
        watch->setCurrentItem(watch->topLevelItem(1));
        window->watch()->remove_selected();
        QCOMPARE(window->watch()->expressions(), QStringList{QStringLiteral("points[1].y")});

        // Source lines between the instructions.
        QTableWidget *listing = window->disassembly()->table();
        auto source_rows = [&] {
            int n = 0;
            for (int r = 0; r < listing->rowCount(); ++r)
                n += listing->item(r, gui_disassembly_pane::DIS_TEXT)
                         ->text()
                         .startsWith(QStringLiteral("debuginfo.c:"));
            return n;
        };
        QCOMPARE(source_rows(), 0);
        window->disassembly()->source_lines()->setChecked(true);
        QVERIFY(source_rows() > 0);
        // The selection stays on the instruction the stop selected.
        QCOMPARE(listing->item(listing->currentRow(), gui_disassembly_pane::DIS_ADDRESS)->text(),
                 QStringLiteral("%1").arg(emu->cpu.PC, 4, 16, QLatin1Char('0')).toUpper());

        // Memory at an expression; a wrong one keeps the rows and says why.
        QLineEdit *at = window->memory()->address_field();
        at->setText(QStringLiteral("&points[2]"));
        window->refresh();
        QCOMPARE(window->memory()->start(), (variable("points") + 2 * 5) & 0xFFF0);
        QVERIFY(window->memory()->error().isEmpty());
        at->setText(QStringLiteral("points[+"));
        window->refresh();
        QCOMPARE(window->memory()->start(), (variable("points") + 2 * 5) & 0xFFF0);
        auto *error_label = window->memory()->findChild<QLabel *>(QStringLiteral("memory_error"));
        QVERIFY(error_label && error_label->isVisible());
        QVERIFY2(error_label->text().startsWith(QStringLiteral("Memory at points[+: ")),
                 qPrintable(error_label->text()));
        at->setText(QStringLiteral("greeting"));
        window->refresh();
        QCOMPARE(window->memory()->start(), variable("greeting") & 0xFFF0);
        QVERIFY(!error_label->isVisible());
        // A number there is an address, hexadecimal as places are; an expression is C's.
        at->setText(QStringLiteral("9010"));
        window->refresh();
        QCOMPARE(window->memory()->start(), 0x9010);
        at->setText(QStringLiteral("0x9000 + 32"));
        window->refresh();
        QCOMPARE(window->memory()->start(), 0x9020);
    }

    // A profile marks hot lines in Source and in the disassembly: the cost column comes with it,
    // the loop of sum_points is the hottest line, and lines that did not run show nothing.
    void hot_lines_of_a_profile() {
        QTableWidget *table = window->source()->table();
        QTableWidget *listing = window->disassembly()->table();
        QVERIFY(table->isColumnHidden(gui_source_pane::SRC_COST));
        QVERIFY(listing->isColumnHidden(gui_disassembly_pane::DIS_COST));
        window->execute(QStringLiteral("profile start"));
        window->execute(QStringLiteral("finish"));
        WAIT_PAUSED();
        window->execute(QStringLiteral("profile stop"));
        QVERIFY(!table->isColumnHidden(gui_source_pane::SRC_COST));
        QVERIFY(!listing->isColumnHidden(gui_disassembly_pane::DIS_COST));
        // T-states by line, as the cells' tool tips tell them.
        auto ts = [&](QTableWidgetItem *item) {
            return item->toolTip().section(QLatin1Char(' '), 0, 0).toULongLong();
        };
        int hottest = 0;
        uint64_t most = 0;
        for (int row = 0; row < table->rowCount(); ++row) {
            const uint64_t t = ts(table->item(row, gui_source_pane::SRC_COST));
            if (t > most) most = t, hottest = row + 1;
        }
        QVERIFY2(hottest == line_of("body") || hottest == line_of("for"),
                 qPrintable(QString::number(hottest)));
        QVERIFY(table->item(hottest - 1, gui_source_pane::SRC_COST)->text().endsWith('%'));
        for (const char *idle : {"putc", "nocode", "pick"})
            QCOMPARE(table->item(line_of(idle) - 1, gui_source_pane::SRC_COST)->text(), QString());
        // The first instruction of the loop's body ran three times, main's last not yet.
        window->disassembly()->select_address(address_of(line_of("body")));
        QVERIFY(ts(listing->item(listing->currentRow(), gui_disassembly_pane::DIS_COST)) > 0);
        window->disassembly()->select_address(address_of(line_of("putc")));
        QCOMPARE(listing->item(listing->currentRow(), gui_disassembly_pane::DIS_COST)->text(),
                 QString());
    }

    // Step, Step over and Step out go by source line where the PC has lines (Step enters a C
    // function at its first line after its set-up code); Step instruction and Step over
    // instruction go by one instruction.
    void buttons_step_by_line_or_instruction() {
        const int greeting = line_of("putc") - 1; // calls shifted, then pick
        window->execute(QStringLiteral("delete"));
        window->execute(QStringLiteral("until debuginfo.c:%1").arg(greeting));
        WAIT_PAUSED();
        QCOMPARE(window->source()->current_line(), greeting);
        auto press = [this](const char *name) {
            window->control(QLatin1String(name))->trigger();
            WAIT_PAUSED();
        };
        press("step");
        QCOMPARE(window->source()->current_line(), line_of("inner") - 2); // last = c;
        const uint16_t before = dbg_registers(dbg_engine()).PC;
        const uint8_t length = dbg_disassemble(emu->memory, before, nullptr).length;
        press("stepi");
        QCOMPARE(dbg_registers(dbg_engine()).PC, static_cast<uint16_t>(before + length));
        press("finish");
        QCOMPARE(window->source()->current_line(), greeting);
        press("next");
        QCOMPARE(window->source()->current_line(), line_of("putc"));
        const uint16_t at = dbg_registers(dbg_engine()).PC;
        press("nexti");
        QCOMPARE(dbg_registers(dbg_engine()).PC,
                 static_cast<uint16_t>(at + dbg_disassemble(emu->memory, at, nullptr).length));
        QCOMPARE(window->control(QStringLiteral("stepi"))->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_F11));
    }

    // Reload of a rebuilt C program (last: it replaces the fixture): the Source pane shows the
    // new text, and a breakpoint set by its line moves with the line.
    void reload_shows_the_rebuilt_source() {
        const std::string dir = QDir::tempPath().toStdString() + "/gui_reload";
        QDir().mkpath(QString::fromStdString(dir));
        if (!reload_build_c(dir, reload_first_build)) QSKIP("no SDCC to build the C program");
        window->execute(QStringLiteral("delete"));
        window->set_reload_inputs({dir + "/shifted.ihx"}, {});
        QVERIFY(window->reload());
        window->execute(QStringLiteral("break shifted.c:8"));
        QVERIFY(reload_build_c(dir, reload_second_build));
        window->set_reload_inputs({dir + "/shifted.ihx"}, {"g 8000\n"});
        QVERIFY(window->reload());
        if (window->paused()) window->control(QStringLiteral("continue_pause"))->trigger();
        WAIT_PAUSED();
        QCOMPARE(window->source()->current_line(), 13);
        QCOMPARE(window->source()->table()->item(12, gui_source_pane::SRC_TEXT)->text(),
                 QStringLiteral("    g_total += n + g_added;"));
        QDir(QString::fromStdString(dir)).removeRecursively();
    }
};

QTEST_MAIN(test_debugger_source)
#include "test_debugger_source.moc"
