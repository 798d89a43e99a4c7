// The Debug Adapter Protocol server: a front end over the engine, the source model and the command
// language, for editors (VS Code, Emacs dap-mode, ...). Qt-free and transport-free: a session is
// fed the bytes a client sent and hands back the bytes to send, so quillane-run --dap (standard
// input and output) and a socket front end share it. The JSON library stays inside dap.cpp.
//
// Framing: "Content-Length: N\r\n\r\n" then N bytes of JSON. A header without a length, a length
// that is not a number or above DBG_DAP_MAX_BODY is a broken stream: the session answers nothing
// more and asks to close. A body that is not a JSON object gets an error response.
//
// Threaded mode (the window, `attach`): run requests go to the processor thread and the front end
// hands each stop to dbg_dap_stopped.
// Inline mode (quillane-run): requests that run the machine leave the session running; the front
// end calls dbg_dap_run_slice between reads, so pause and disconnect are read while it runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct dbg_engine_t;
struct dbg_stop_t;

enum : size_t { DBG_DAP_MAX_BODY = 16u << 20 }; // 16 MiB: no request of this adapter comes near

// The framing alone (unit-tested on its own): bytes in, whole bodies out.
struct dbg_dap_framer_t {
    std::string buffer;
    bool broken = false;
};
// 1: a body was taken into *body; 0: more bytes are needed; -1: the stream is broken (*error says
// why; every later call returns -1).
int dbg_dap_frame_next(dbg_dap_framer_t *framer, std::string *body, std::string *error);
// "Content-Length: N\r\n\r\nBODY".
std::string dbg_dap_frame(const std::string &body);

struct dbg_dap_t;

// A session over an attached engine. rom_default: the ROM a launch loads when it names none.
dbg_dap_t *dbg_dap_new(dbg_engine_t *e, const std::string &rom_default);
void dbg_dap_free(dbg_dap_t *s);
// Feeds bytes from the client and handles every whole message in them. False once the stream is
// broken (then close the connection).
bool dbg_dap_feed(dbg_dap_t *s, const char *data, size_t length);
// Takes the bytes to send to the client (responses and events, framed).
std::string dbg_dap_take_output(dbg_dap_t *s);
// Inline: true while the program runs (continue was asked and no stop came yet).
bool dbg_dap_running(const dbg_dap_t *s);
// Inline: runs the machine for up to `ticks` T-states (or to a stop, which becomes events).
void dbg_dap_run_slice(dbg_dap_t *s, uint64_t ticks);
// Threaded: a stop the engine reported (through its stop callback, handed to the front end's
// thread), which becomes the client's events.
void dbg_dap_stopped(dbg_dap_t *s, const dbg_stop_t &stop);
// Tells the client of breakpoints set or deleted elsewhere (the window's console); the window
// calls it now and then.
void dbg_dap_poll(dbg_dap_t *s);
// True once the client disconnected or terminated the session.
bool dbg_dap_finished(const dbg_dap_t *s);
