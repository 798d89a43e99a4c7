// The scenario table of tests/stepping_scenarios.h through the window, over the real processor
// thread: the window's console runs each scenario's command lines, then an editor's client attached
// to the window's debug adapter port (quillane --dap-port N, a plain socket here) sets the
// breakpoints and continues while the window's own buttons step (Step, Step over, Step out, Step
// back, Reverse continue). At every scenario's last stop the console, the window's panes (Stack,
// Source, Locals, Watch) and the client (stackTrace, the Locals scope, evaluate) must show the same
// address, line, frame and values, and those the scenario expects.
#include <QApplication>
#include <QDeadlineTimer>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/front/dap.h"
#include "debug/travel/state.h"
#include "host/dap_server.h"
#include "host/debugger.h"
#include "machine/emu.h"
#include "machine/process.h"
#include "stepping_scenarios.h"

using json = nlohmann::json;

namespace {

#define WAIT_PAUSED()                                                                              \
    QTRY_VERIFY_WITH_TIMEOUT(window->paused() && !dbg_is_running(dbg_engine()), 20000)

// Where a stop left the machine, as one front end shows it.
struct seen_t {
    QString pc; // "8123"
    int line = 0;
    QString function;
    QStringList values; // "amount = 1 ($0001) in BC"
};

bool operator==(const seen_t &a, const seen_t &b) {
    return a.pc == b.pc && a.line == b.line && a.function == b.function && a.values == b.values;
}

QString describe(const seen_t &s) {
    return QStringLiteral("%1 line %2 in %3: %4")
        .arg(s.pc)
        .arg(s.line)
        .arg(s.function, s.values.join(QStringLiteral("; ")));
}

// An editor's client on a socket: requests answered in order, events kept.
class dap_client {
  public:
    explicit dap_client(quint16 port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 &&
            errno != EINPROGRESS)
            qFatal("connect: %s", strerror(errno));
    }
    ~dap_client() { ::close(fd_); }

    // Sends a request and waits for its response (failing the test on an error response).
    json request(const std::string &command, const json &arguments = json::object()) {
        const int seq = seq_++;
        const json message = {
            {"seq", seq}, {"type", "request"}, {"command", command}, {"arguments", arguments}};
        send_text(dbg_dap_frame(message.dump()));
        QDeadlineTimer deadline(20000);
        for (;;) {
            for (size_t i = 0; i < inbox_.size(); ++i) {
                if (inbox_[i].value("type", "") == "response" &&
                    inbox_[i].value("request_seq", -1) == seq) {
                    const json response = inbox_[i];
                    inbox_.erase(inbox_.begin() + static_cast<long>(i));
                    if (!response.value("success", false))
                        qWarning("%s failed: %s", command.c_str(), response.dump().c_str());
                    return response;
                }
            }
            if (deadline.hasExpired()) qFatal("no response to %s", command.c_str());
            pump();
        }
    }
    // The count of `stopped` events seen so far, and a wait for the next beyond a count.
    int stops() {
        pump();
        return stops_;
    }
    bool wait_stop(int after) {
        QDeadlineTimer deadline(20000);
        while (stops_ <= after && !deadline.hasExpired())
            pump();
        return stops_ > after;
    }

  private:
    void send_text(const std::string &text) {
        size_t done = 0;
        QDeadlineTimer deadline(20000);
        while (done < text.size() && !deadline.hasExpired()) {
            const ssize_t put = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (put > 0)
                done += static_cast<size_t>(put);
            else
                QTest::qWait(2);
        }
    }
    // Lets the window's thread serve, then takes whatever came.
    void pump() {
        QTest::qWait(2);
        char buffer[65536];
        for (ssize_t n; (n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            framer_.buffer.append(buffer, static_cast<size_t>(n));
        std::string body, error;
        int got;
        while ((got = dbg_dap_frame_next(&framer_, &body, &error)) == 1) {
            const json message = json::parse(body);
            if (message.value("type", "") == "event" && message.value("event", "") == "stopped")
                ++stops_;
            else if (message.value("type", "") == "response")
                inbox_.push_back(message);
        }
        if (got < 0) qFatal("the window's adapter broke the stream: %s", error.c_str());
    }

    int fd_;
    int seq_ = 1;
    int stops_ = 0;
    dbg_dap_framer_t framer_;
    std::vector<json> inbox_;
};

// "amount = 1 ($0001) in BC  (int)" (print's line) as "amount = 1 ($0001) in BC".
QString printed(const QString &line) {
    const qsizetype type = line.lastIndexOf(QStringLiteral("  ("));
    return type < 0 ? line : line.left(type);
}

} // namespace

class test_stepping_window : public QObject {
    Q_OBJECT

    emu_t *emu = &emu_state;
    gui_debugger_window *window = nullptr;
    gui_dap_server *server = nullptr;
    dap_client *client = nullptr;
    std::thread processor;
    std::string start_state;

    // Back at the program's entry (8000), nothing set, the history starting there.
    void restart() {
        std::string error;
        QVERIFY2(dbg_state_load(dbg_engine(), start_state, &error), error.c_str());
        window->execute(QStringLiteral("delete"));
        for (const auto &request : stepping::dap_breakpoint_requests("clear"))
            client->request(request.command, json::parse(request.arguments));
        window->refresh();
    }

    // The console's view: `frame 0` and print's values.
    void by_console(const stepping::scenario_t &scenario, seen_t *out) {
        restart();
        for (const std::string &line : scenario.console) {
            window->execute(QString::fromStdString(stepping::marked(line)));
            WAIT_PAUSED();
        }
        seen_t &s = *out;
        // "#0  scale (stepping.c:12) 8123"
        const QStringList words = console_line(QStringLiteral("frame 0"), QStringLiteral("#0 "))
                                      .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() >= 3) {
            s.function = words[1];
            s.pc = words.last();
            if (words.size() == 4)
                s.line = words[2].section(QLatin1Char(':'), 1).chopped(1).toInt();
        }
        for (const std::string &name : scenario.names) {
            const QString n = QString::fromStdString(name);
            s.values << printed(
                console_line(QStringLiteral("print ") + n, n + QStringLiteral(" = ")));
        }
    }

    // The line a console command printed that starts with prefix ("" when none).
    QString console_line(const QString &command, const QString &prefix) {
        const qsizetype at = window->console_text().size();
        window->execute(command);
        for (const QString &line : window->console_text().mid(at).split(QLatin1Char('\n')))
            if (line.startsWith(prefix)) return line;
        return QString();
    }

    // The client sets breakpoints and continues; the window's buttons step.
    void by_window(const stepping::scenario_t &scenario) {
        restart();
        static const std::map<std::string, const char *> buttons = {
            {"stepIn", "step"},
            {"next", "next"},
            {"stepOut", "finish"},
            {"stepBack", "step_back"},
            {"reverseContinue", "reverse_continue"}};
        for (const std::string &step : scenario.dap) {
            const auto requests = stepping::dap_breakpoint_requests(step);
            for (const auto &request : requests) {
                const json answer =
                    client->request(request.command, json::parse(request.arguments));
                for (const json &b : answer["body"]["breakpoints"])
                    check_listed(b);
            }
            if (!requests.empty()) continue;
            const int stops = client->stops();
            if (step == "continue") {
                client->request("continue", {{"threadId", 1}});
            } else {
                QVERIFY2(buttons.count(step), step.c_str());
                QAction *button = window->control(QLatin1String(buttons.at(step)));
                QVERIFY(button->isEnabled());
                button->trigger();
            }
            QVERIFY2(client->wait_stop(stops), (scenario.name + std::string(": ") + step).c_str());
            WAIT_PAUSED();
        }
    }

    // A breakpoint the client was told of is in the window's Breakpoints pane at the same address
    // and line.
    void check_listed(const json &b) {
        QVERIFY2(b.value("verified", false), b.dump().c_str());
        window->refresh();
        QTableWidget *table = window->breakpoints()->table();
        const QString id = QString::number(b.value("id", -1));
        for (int r = 0; r < table->rowCount(); ++r) {
            if (table->item(r, gui_breakpoints_pane::BP_ID)->text() != id) continue;
            QCOMPARE(QStringLiteral("0x") +
                         table->item(r, gui_breakpoints_pane::BP_ADDRESS)->text(),
                     QString::fromStdString(b.value("instructionReference", "")));
            QVERIFY2(table->item(r, gui_breakpoints_pane::BP_PLACE)
                         ->text()
                         .endsWith(QStringLiteral("stepping.c:%1").arg(b.value("line", 0))),
                     qPrintable(table->item(r, gui_breakpoints_pane::BP_PLACE)->text()));
            return;
        }
        QFAIL(qPrintable("breakpoint " + id + " is not listed"));
    }

    // The window's panes at the stop: the Stack pane's first frame, the Source pane's line, Locals
    // (Watch for a name that is not a local).
    seen_t in_window(const stepping::scenario_t &scenario) {
        seen_t s;
        QTableWidget *frames = window->stack()->frames_table();
        if (frames->rowCount() > 0) {
            s.function = frames->item(0, 0)->text().section(QLatin1Char(' '), 1);
            s.pc = frames->item(0, 2)->text();
        }
        s.line = window->source()->current_line();
        QTreeWidget *locals = window->locals()->tree();
        for (const std::string &name : scenario.names) {
            const QString n = QString::fromStdString(name);
            QString text;
            bool found = false;
            for (int i = 0; i < locals->topLevelItemCount() && !found; ++i)
                if (locals->topLevelItem(i)->text(0) == n) {
                    text = locals->topLevelItem(i)->text(2);
                    found = true;
                }
            if (!found) {
                window->watch()->add(n);
                QTreeWidget *watch = window->watch()->tree();
                text = watch->topLevelItem(watch->topLevelItemCount() - 1)->text(2);
                watch->setCurrentItem(watch->topLevelItem(watch->topLevelItemCount() - 1));
                window->watch()->remove_selected();
            }
            s.values << n + QStringLiteral(" = ") + text;
        }
        return s;
    }

    // The client's view: stackTrace's first frame, the Locals scope (evaluate for a name that is
    // not a local).
    seen_t in_client(const stepping::scenario_t &scenario) {
        seen_t s;
        const json trace = client->request("stackTrace", {{"threadId", 1}});
        const json &top = trace["body"]["stackFrames"][0];
        s.function = QString::fromStdString(top.value("name", ""));
        s.line = top.value("line", 0);
        s.pc = QString::fromStdString(top.value("instructionPointerReference", "")).mid(2);
        const json scopes = client->request("scopes", {{"frameId", top.value("id", 1)}});
        int locals_ref = 0;
        for (const json &scope : scopes["body"]["scopes"])
            if (scope.value("name", "") == "Locals")
                locals_ref = scope.value("variablesReference", 0);
        const json locals = client->request("variables", {{"variablesReference", locals_ref}});
        for (const std::string &name : scenario.names) {
            std::string text;
            bool found = false;
            for (const json &v : locals["body"]["variables"])
                if (v.value("name", "") == name) {
                    text = v.value("value", "");
                    found = true;
                }
            if (!found)
                text =
                    client
                        ->request("evaluate", {{"expression", name}, {"context", "watch"}})["body"]
                        .value("result", "");
            s.values << QString::fromStdString(name + " = " + text);
        }
        return s;
    }

  private slots:
    void initTestCase() {
        struct stat info {};
        if (stat((stepping::program + ".cdb").c_str(), &info) != 0) QSKIP("built without SDCC");
        emu_power_on(emu);
        std::string error;
        QVERIFY2(dbg_load_hex(emu, QUILLANE_BUILD_DIR "/tessik.hex", true, nullptr, &error) == 0,
                 error.c_str());
        QVERIFY2(dbg_load_hex(emu, stepping::program + ".ihx", false, nullptr, &error) == 0,
                 error.c_str());
        processor = std::thread(emu_cpu_thread_handler, emu);
        window = new gui_debugger_window(emu, nullptr);
        server = new gui_dap_server(window);
        // As `quillane --dap-port N stepping.ihx` without --debug: the client's arrival loads the
        // debug information beside the image.
        server->set_images({stepping::program + ".ihx"}, {QUILLANE_SOURCE_DIR "/tests/c"});
        QString why;
        QVERIFY2(server->listen(0, &why), qPrintable(why));
        client = new dap_client(server->port());
        client->request("initialize", {{"adapterID", "quillane"}});
        client->request("attach");
        QVERIFY(window->isVisible());
        QVERIFY(dbg_engine()->source);
        // The program's entry, reached from the monitor, is where every scenario starts.
        window->execute(QStringLiteral("break 8000"));
        window->execute(QStringLiteral("type g 8000\\n"));
        WAIT_PAUSED();
        QCOMPARE(dbg_registers(dbg_engine()).PC, uint16_t{0x8000});
        char path[] = "/tmp/quillane-stepping-XXXXXX";
        const int fd = mkstemp(path);
        QVERIFY(fd >= 0);
        ::close(fd);
        start_state = path;
        QVERIFY2(dbg_state_save(dbg_engine(), start_state, &error), error.c_str());
    }

    void cleanupTestCase() {
        if (!start_state.empty()) std::remove(start_state.c_str());
        delete client;
        delete server;
        if (!window) return;
        window->detach();
        emu_set_running(emu, 0);
        processor.join();
        delete window;
    }

    void every_front_end_stops_at_the_same_place_with_the_arguments() {
        for (const stepping::scenario_t &scenario : stepping::scenarios()) {
            const QString name = QString::fromLatin1(scenario.name);
            seen_t console;
            by_console(scenario, &console);
            if (QTest::currentTestFailed()) return;
            QCOMPARE(console.line, stepping::line_of(scenario.mark));
            QCOMPARE(console.function, QString::fromLatin1(scenario.function));
            for (const std::string &shown : scenario.shown)
                QVERIFY2(console.values.join('\n').contains(QString::fromStdString(shown)),
                         qPrintable(name + ": " + describe(console)));
            by_window(scenario);
            if (QTest::currentTestFailed()) return;
            const seen_t panes = in_window(scenario);
            const seen_t editor = in_client(scenario);
            QVERIFY2(panes == console, qPrintable(name + ": the window shows " + describe(panes) +
                                                  ", the console " + describe(console)));
            QVERIFY2(editor == console, qPrintable(name + ": the client shows " + describe(editor) +
                                                   ", the console " + describe(console)));
        }
    }
};

QTEST_MAIN(test_stepping_window)
#include "test_stepping_window.moc"
