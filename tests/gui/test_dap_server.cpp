// The window's debug adapter port against clients that would hold or flood its one slot: one that
// sends nothing or half a header is closed once the initialize time is up, one that initialized
// keeps the slot, and one that leaves its replies unread is closed; the slot is free again after
// each (a new client is answered, not refused). The clients are plain sockets, so that "does not
// read" means it.
#include <QApplication>
#include <QDeadlineTimer>
#include <QtTest>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "debug/core/engine.h"
#include "debug/front/dap.h"
#include "host/dap_server.h"
#include "host/debugger.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

// Long enough that a client which initializes at once is never late on a busy machine.
constexpr int initialize_ms = 1000;

std::string initialize_request() {
    return dbg_dap_frame(R"({"seq":1,"type":"request","command":"initialize","arguments":{}})");
}

} // namespace

class test_dap_server : public QObject {
    Q_OBJECT

    emu_t *emu = &emu_state;
    gui_debugger_window *window = nullptr;
    gui_dap_server *server = nullptr;
    std::thread processor;

    // A non-blocking client socket connected to the server.
    int connect_client() {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(server->port());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 &&
            errno != EINPROGRESS)
            qFatal("connect: %s", strerror(errno));
        return fd;
    }
    // Sends all of text, letting the server run while the socket is full; false once the server
    // closed the connection.
    static bool send_all(int fd, const std::string &text) {
        QDeadlineTimer deadline(30000);
        size_t done = 0;
        while (done < text.size()) {
            if (deadline.hasExpired()) qFatal("the server stopped reading");
            const ssize_t put = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (put > 0) {
                done += static_cast<size_t>(put);
            } else if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOTCONN)) {
                QTest::qWait(5);
            } else {
                return false;
            }
        }
        return true;
    }
    // Reads what has come into *got; true once the server has closed the connection.
    static bool closed(int fd, std::string *got = nullptr) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                if (got) got->append(buffer, static_cast<size_t>(n));
                continue;
            }
            return n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        }
    }
    // A new client is served (the slot is free): its initialize is answered.
    void expect_served() {
        const int fd = connect_client();
        QVERIFY(send_all(fd, initialize_request()));
        std::string got;
        QTRY_VERIFY_WITH_TIMEOUT(
            (closed(fd, &got), got.find("\"event\":\"initialized\"") != std::string::npos), 10000);
        QVERIFY2(got.find("another debugger client") == std::string::npos, got.c_str());
        ::close(fd);
        QTest::qWait(50); // its end reaches the server
    }

  private slots:
    void initTestCase() {
        emu_power_on(emu);
        emu->memory[0] = 0x18; // 0000: JR 0000
        emu->memory[1] = 0xFE;
        emu->cpu.PC = 0;
        processor = std::thread(emu_cpu_thread_handler, emu);
        window = new gui_debugger_window(emu, nullptr);
        server = new gui_dap_server(window, initialize_ms);
        QString error;
        QVERIFY2(server->listen(0, &error), qPrintable(error));
    }

    void cleanupTestCase() {
        delete server;
        window->detach();
        emu_set_running(emu, 0);
        processor.join();
        delete window;
    }

    void silent_and_half_header_clients_lose_the_slot() {
        const int silent = connect_client();
        QTRY_VERIFY_WITH_TIMEOUT(closed(silent), 10000);
        ::close(silent);
        expect_served();
        const int half = connect_client();
        QVERIFY(send_all(half, "Content-Len"));
        QTRY_VERIFY_WITH_TIMEOUT(closed(half), 10000);
        ::close(half);
        expect_served();
        // One that initialized keeps it past the time, and a second client is refused meanwhile.
        const int good = connect_client();
        QVERIFY(send_all(good, initialize_request()));
        std::string got;
        QTRY_VERIFY_WITH_TIMEOUT(
            (closed(good, &got), got.find("\"event\":\"initialized\"") != std::string::npos),
            10000);
        QTest::qWait(2 * initialize_ms);
        QVERIFY(!closed(good));
        const int second = connect_client();
        std::string refusal;
        QTRY_VERIFY_WITH_TIMEOUT(closed(second, &refusal), 10000);
        QVERIFY2(refusal.find("another debugger client is attached") != std::string::npos,
                 refusal.c_str());
        ::close(second);
        ::close(good);
        QTest::qWait(50);
        expect_served();
    }

    void a_client_that_does_not_read_loses_the_slot() {
        const int flood = connect_client();
        QVERIFY(send_all(flood, initialize_request()));
        // 64 KB reads, about 87 KB of reply each, never read: far beyond the bound and what the
        // system's socket buffers hold.
        const std::string read = dbg_dap_frame(
            R"({"seq":2,"type":"request","command":"readMemory","arguments":{"memoryReference":"0","count":65536}})");
        std::string requests;
        for (int i = 0; i < 64; ++i)
            requests += read;
        bool open = true;
        for (int i = 0; i < 20 && open; ++i)
            open = send_all(flood, requests);
        // The server closed it (the sends failed), or closes it once it has read them all.
        QTRY_VERIFY_WITH_TIMEOUT(!open || !send_all(flood, dbg_dap_frame("{}")), 20000);
        ::close(flood);
        expect_served();
    }
};

QTEST_MAIN(test_dap_server)
#include "test_dap_server.moc"
