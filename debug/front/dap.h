// The Debug Adapter Protocol server: a front end over the engine, the source model and the command
// language, for editors (VS Code, Emacs dap-mode, ...). Qt-free and transport-free: a session is
// fed the bytes a client sent and hands back the bytes to send, so quillane-run --dap (standard
// input and output) and a socket front end share it. The JSON library stays inside dap.cpp.
//
// Framing: "Content-Length: N\r\n\r\n" then N bytes of JSON. A header without a length, a length
// that is not a number or above DBG_DAP_MAX_BODY is a broken stream: the session answers nothing
// more and asks to close. A body that is not a JSON object, nests arrays and objects deeper than
// DBG_DAP_MAX_DEPTH, or is a request with a field missing, of the wrong type or out of range gets
// an error response naming the field; a message of another type (event, response) is logged and
// passed over. Work per request is bounded: a disassemble decodes at most 4096 instructions
// besides the ones it skips (at most 4096), a memory read returns at most 64 KB, a list in a
// request holds at most 4096 entries.
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

enum : size_t {
    DBG_DAP_MAX_BODY = 16u << 20,  // 16 MiB: no request of this adapter comes near
    DBG_DAP_MAX_UNREAD = 4u << 20, // replies a client leaves unread before the front end closes it
};
enum : int { DBG_DAP_MAX_DEPTH = 64 }; // arrays and objects within each other in one message

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
// Inline mode's bounds on what one request may run: board time of a step and of a debug console
// command, and whether the console's commands (which may write files) are served at all. Tools
// that feed a session untrusted bytes (the fuzz target) lower them.
struct dbg_dap_limits_t {
    uint64_t step_ticks = 50000000;     // five seconds of board time, then the step pauses
    uint64_t console_ticks = 100000000; // ten seconds
    bool console = true;
};
void dbg_dap_set_limits(dbg_dap_t *s, const dbg_dap_limits_t &limits);
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
// True once the client's initialize request was answered (a front end may close a client that
// has not come this far within a few seconds).
bool dbg_dap_initialized(const dbg_dap_t *s);
