// The window's debug adapter: a TCP front end over debug/dap.h.
#include "host/dap_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "debug/dap.h"
#include "debug/engine.h"
#include "host/debugger.h"

gui_dap_server::gui_dap_server(gui_debugger_window *debugger)
    : debugger_(debugger), server_(new QTcpServer(this)) {
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
    if (session_) dbg_dap_free(session_);
}

bool gui_dap_server::listen(quint16 port, QString *error) {
    if (server_->listen(QHostAddress::LocalHost, port)) return true;
    *error = server_->errorString();
    return false;
}

void gui_dap_server::accept() {
    while (QTcpSocket *socket = server_->nextPendingConnection()) {
        if (client_) {
            // One client at a time: the second is told why, then closed.
            const std::string refusal = dbg_dap_frame(
                R"({"seq":1,"type":"event","event":"output","body":{"category":"stderr",)"
                R"("output":"quillane: another debugger client is attached\n"}})");
            socket->write(refusal.data(), static_cast<qint64>(refusal.size()));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        client_ = socket;
        debugger_->open(); // attaches the engine in threaded mode, with the window's stops
        session_ = dbg_dap_new(dbg_engine(), std::string());
        connect(socket, &QTcpSocket::readyRead, this, &gui_dap_server::read);
        connect(socket, &QTcpSocket::disconnected, this, &gui_dap_server::close_client);
    }
}

void gui_dap_server::read() {
    if (!client_ || !session_) return;
    const QByteArray bytes = client_->readAll();
    const bool good = dbg_dap_feed(session_, bytes.constData(), static_cast<size_t>(bytes.size()));
    flush();
    if (!good || dbg_dap_finished(session_)) client_->disconnectFromHost();
}

void gui_dap_server::flush() {
    if (!client_ || !session_) return;
    const std::string out = dbg_dap_take_output(session_);
    if (!out.empty()) client_->write(out.data(), static_cast<qint64>(out.size()));
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
