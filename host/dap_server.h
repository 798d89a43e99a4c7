// quillane --dap-port N: the Debug Adapter Protocol over TCP on 127.0.0.1 (never another
// interface), one client at a time, over the same session core as quillane-run --dap
// (debug/front/dap.h) in threaded mode. A client opens the debugger window, whose stops it shares.
// Anyone on the machine may connect, so a client cannot hold or flood the one slot: one that has
// not completed initialize within initialize_ms, or leaves more than DBG_DAP_MAX_UNREAD bytes of
// replies unread, is closed.
#pragma once

#include <QObject>
#include <QString>
#include <string>
#include <vector>

class QTcpServer;
class QTcpSocket;
class gui_debugger_window;
struct dbg_dap_t;
struct dbg_stop_t;

class gui_dap_server : public QObject {
    Q_OBJECT
  public:
    explicit gui_dap_server(gui_debugger_window *debugger, int initialize_ms = 5000);
    ~gui_dap_server() override;
    // Listens on 127.0.0.1:port (0: a free one); false with the reason.
    bool listen(quint16 port, QString *error);
    quint16 port() const;
    // The images the window loaded and where their sources are: a client's session finds their
    // debug information beside them, whether or not --debug loaded it already.
    void set_images(const std::vector<std::string> &images, const std::vector<std::string> &dirs);

  private:
    void accept();
    void read();
    void flush();
    void close_client();
    // Closes the client now, its unsent replies dropped, with the reason on standard error.
    void drop_client(const char *reason);
    void stopped(const dbg_stop_t &stop);

    gui_debugger_window *debugger_;
    QTcpServer *server_;
    int initialize_ms_;
    QTcpSocket *client_ = nullptr;
    dbg_dap_t *session_ = nullptr;
    std::vector<std::string> images_;
    std::vector<std::string> source_dirs_;
};
