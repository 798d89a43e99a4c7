// quillane --dap-port N: the Debug Adapter Protocol over TCP on 127.0.0.1 (never another
// interface), one client at a time, over the same session core as quillane-run --dap
// (debug/dap.h) in threaded mode. A client opens the debugger window, whose stops it shares.
#pragma once

#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;
class gui_debugger_window;
struct dbg_dap_t;
struct dbg_stop_t;

class gui_dap_server : public QObject {
    Q_OBJECT
  public:
    explicit gui_dap_server(gui_debugger_window *debugger);
    ~gui_dap_server() override;
    // Listens on 127.0.0.1:port; false with the reason.
    bool listen(quint16 port, QString *error);

  private:
    void accept();
    void read();
    void flush();
    void close_client();
    void stopped(const dbg_stop_t &stop);

    gui_debugger_window *debugger_;
    QTcpServer *server_;
    QTcpSocket *client_ = nullptr;
    dbg_dap_t *session_ = nullptr;
};
