// The window's debug adapter: a TCP front end over debug/front/dap.h.
#include "host/dap_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>

#include "debug/core/engine.h"
#include "debug/front/dap.h"
#include "host/debugger.h"

namespace {

// A socket asked to close writes what it holds first; one whose peer does not read is aborted
// after this long.
constexpr int close_wait_ms = 2000;

// A client refused: told why, then closed.
void refuse(QTcpSocket *socket, const std::string &message) {
    socket->write(message.data(), static_cast<qint64>(message.size()));
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    QTimer::singleShot(close_wait_ms, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

} // namespace

gui_dap_server::gui_dap_server(gui_debugger_window *debugger, int initialize_ms)
    : debugger_(debugger), server_(new QTcpServer(this)), initialize_ms_(initialize_ms) {
    connect(server_, &QTcpServer::newConnection, this, &gui_dap_server::accept);
    debugger_->on_stop = [this](const dbg_stop_t &stop) { stopped(stop); };
    // Breakpoints set in the window's console reach the client within half a second.
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] {
        if (!session_) return;
        dbg_dap_poll(session_);
        flush();
    });
    timer->start(500);
}

gui_dap_server::~gui_dap_server() {
    debugger_->on_stop = nullptr;
    if (client_) client_->disconnect(this); // its end (with the server's children) calls no one
    if (session_) dbg_dap_free(session_);
}

bool gui_dap_server::listen(quint16 port, QString *error) {
    if (server_->listen(QHostAddress::LocalHost, port)) return true;
    *error = server_->errorString();
    return false;
}

void gui_dap_server::set_images(const std::vector<std::string> &images,
                                const std::vector<std::string> &dirs) {
    images_ = images;
    source_dirs_ = dirs;
}

quint16 gui_dap_server::port() const {
    return server_->serverPort();
}

void gui_dap_server::accept() {
    while (QTcpSocket *socket = server_->nextPendingConnection()) {
        if (client_) {
            // One client at a time: the second is told why, then closed.
            const std::string refusal = dbg_dap_frame(
                R"({"seq":1,"type":"event","event":"output","body":{"category":"stderr",)"
                R"("output":"quillane: another debugger client is attached\n"}})");
            refuse(socket, refusal);
            continue;
        }
        client_ = socket;
        debugger_->open(); // attaches the engine in threaded mode, with the window's stops
        if (!dbg_source_model(dbg_engine()))
            for (const std::string &image : images_)
                debugger_->load_symbols_beside(QString::fromStdString(image), source_dirs_);
        session_ = dbg_dap_new(dbg_engine(), std::string());
        connect(socket, &QTcpSocket::readyRead, this, &gui_dap_server::read);
        connect(socket, &QTcpSocket::disconnected, this, &gui_dap_server::close_client);
        // What came while the debug information loaded (the window served events meanwhile)
        // was announced to no one.
        if (socket->bytesAvailable() > 0)
            QMetaObject::invokeMethod(this, &gui_dap_server::read, Qt::QueuedConnection);
        // A client that connects and says nothing (or half a header) would hold the slot.
        QTimer::singleShot(initialize_ms_, socket, [this, socket] {
            if (client_ == socket && session_ && !dbg_dap_initialized(session_))
                drop_client("the client did not initialize in time");
        });
    }
}

void gui_dap_server::read() {
    // In small pieces, each one's replies handed over before the next: a flood of requests whose
    // replies go unread meets the bound within a few replies of it.
    while (client_ && session_ && client_->state() == QAbstractSocket::ConnectedState &&
           client_->bytesAvailable() > 0) {
        char piece[1024];
        const qint64 got = client_->read(piece, sizeof piece);
        if (got <= 0) return;
        const bool good = dbg_dap_feed(session_, piece, static_cast<size_t>(got));
        flush();
        if (client_ && (!good || dbg_dap_finished(session_))) {
            // Its last replies go out first, unless it does not read them.
            QTcpSocket *socket = client_;
            socket->disconnectFromHost();
            QTimer::singleShot(close_wait_ms, socket, [this, socket] {
                if (client_ == socket) drop_client("the client did not read its last replies");
            });
            return;
        }
    }
}

void gui_dap_server::flush() {
    if (!client_ || !session_) return;
    const std::string out = dbg_dap_take_output(session_);
    if (!out.empty()) client_->write(out.data(), static_cast<qint64>(out.size()));
    // Replies the client does not read pile up here: beyond the bound, it goes.
    if (client_->bytesToWrite() > static_cast<qint64>(DBG_DAP_MAX_UNREAD))
        drop_client("the client left its replies unread");
}

void gui_dap_server::drop_client(const char *reason) {
    if (!client_) return;
    std::fprintf(stderr, "quillane: debugger client closed: %s\n", reason);
    QTcpSocket *socket = client_;
    close_client();
    socket->abort();
}

void gui_dap_server::close_client() {
    if (!client_) return;
    client_->deleteLater();
    client_ = nullptr;
    if (session_) {
        // A client that went away without disconnect: its breakpoints go, the machine runs on.
        const std::string bye = R"({"seq":0,"type":"request","command":"disconnect"})";
        const std::string framed = dbg_dap_frame(bye);
        if (!dbg_dap_finished(session_)) dbg_dap_feed(session_, framed.data(), framed.size());
        dbg_dap_free(session_);
        session_ = nullptr;
    }
}

void gui_dap_server::stopped(const dbg_stop_t &stop) {
    if (!session_) return;
    dbg_dap_stopped(session_, stop);
    flush();
}
