// The Debug Adapter Protocol server (see dap.h): framing, requests and events over the engine,
// the source model and the command language. The only translation unit that sees the JSON library.
#include "debug/front/dap.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "debug/core/engine.h"
#include "debug/core/reload.h"
#include "debug/front/commands.h"
#include "debug/front/register_rows.h"
#include "debug/front/source_commands.h"
#include "debug/front/view_rows.h"
#include "debug/info/source.h"
#include "debug/info/symbols.h"
#include "debug/travel/history.h"
#include "machine/emu.h"

using json = nlohmann::json;

// ---- framing ----

int dbg_dap_frame_next(dbg_dap_framer_t *f, std::string *body, std::string *error) {
    if (f->broken) {
        *error = "the stream is broken";
        return -1;
    }
    const size_t end = f->buffer.find("\r\n\r\n");
    if (end == std::string::npos) {
        // A header is a line or two; kilobytes without its end are not one.
        if (f->buffer.size() > 4096) {
            f->broken = true;
            *error = "a header without its end";
            return -1;
        }
        return 0;
    }
    bool have_length = false;
    size_t length = 0;
    size_t at = 0;
    while (at < end) {
        size_t eol = f->buffer.find("\r\n", at);
        if (eol == std::string::npos || eol > end) eol = end;
        const std::string line = f->buffer.substr(at, eol - at);
        at = eol + 2;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (line.compare(0, colon, "Content-Length") != 0) continue;
        std::string digits = line.substr(colon + 1);
        digits.erase(0, digits.find_first_not_of(' '));
        while (!digits.empty() && digits.back() == ' ')
            digits.pop_back();
        if (digits.empty() || digits.size() > 12 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            f->broken = true;
            *error = "Content-Length is not a number: " + digits.substr(0, 40);
            return -1;
        }
        length = std::stoull(digits);
        have_length = true;
    }
    if (!have_length) {
        f->broken = true;
        *error = "a header without Content-Length";
        return -1;
    }
    if (length > DBG_DAP_MAX_BODY) {
        f->broken = true;
        *error = "Content-Length " + std::to_string(length) + " is above the limit of " +
                 std::to_string(static_cast<size_t>(DBG_DAP_MAX_BODY));
        return -1;
    }
    if (f->buffer.size() < end + 4 + length) return 0;
    *body = f->buffer.substr(end + 4, length);
    f->buffer.erase(0, end + 4 + length);
    return 1;
}

std::string dbg_dap_frame(const std::string &body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// ---- the session ----

namespace {

// Variable references: the three scopes of the selected frame, then containers made on demand.
enum : int { REF_LOCALS = 1, REF_GLOBALS = 2, REF_REGISTERS = 3, REF_FIRST_CONTAINER = 1000 };
// Scope references carry the frame: frame * 4 + scope (frames stop at MAX_FRAMES, far below the
// containers).
enum : int { SCOPE_REFS = 4, MAX_FRAMES = 32 };
// Bounds of what a request may give: an offset moves within the 64 KB address space, a
// disassemble decodes at most MAX_INSTRUCTIONS after skipping at most as many, an array (of
// breakpoints, filters, paths) holds at most MAX_ENTRIES.
enum : int64_t {
    MAX_OFFSET = 0x10000,
    MAX_INSTRUCTIONS = 4096,
    MAX_ENTRIES = 4096,
    MAX_REF = INT32_MAX
};

struct container_t {
    std::vector<dbg_value_t> values;
    std::string path; // the expression of the parent ("" for scope roots)
    int frame;        // the frame its expressions are evaluated in (0: the innermost)
    uint32_t indexed; // an array's elements (paged by start and count), else 0
};

} // namespace

struct dbg_dap_t {
    dbg_engine_t *e;
    std::string rom_default;
    dbg_dap_framer_t framer;
    std::string out;
    dbg_dap_limits_t limits;
    int seq = 1;
    bool initialized = false;
    bool launched = false;
    bool configured = false;
    bool running = false;
    bool finished = false;
    bool attached = false; // attach (threaded): the window's machine, which runs on after us
    bool stop_on_entry = false;
    int entry_bp = -1; // the program's entry: stop there (stopOnEntry), then watch for its end
    int exit_bp = -1;  // the monitor's warm start, reached once the program returns
    uint16_t entry = 0;
    // What the launch loaded and typed, loaded again by restart.
    std::string program, rom, type;
    // Breakpoint ids by what set them: a source path, "functions", "instructions", "data".
    std::map<std::string, std::vector<int>> groups;
    std::vector<int> foreign; // breakpoints set elsewhere, told to the client
    std::map<int, std::string>
        logpoints;                       // breakpoint id: the message it prints instead of stopping
    std::vector<container_t> containers; // valid until the machine runs on
};

namespace {

// A request as the handlers see it: its seq and command checked, its arguments an object.
struct request_t {
    int64_t seq = 0; // 0 until the message's own is known
    std::string command;
    json arguments = json::object();
};

// Typed reading of a JSON object's fields. The first field that is missing where it is needed,
// of the wrong type or out of range is kept in *error, named by its path
// ("arguments.breakpoints[2].line"), and the reads give their fallbacks, so that a handler reads
// all it needs and then answers that one error before it changes anything.
class fields_t {
  public:
    fields_t(const json &object, std::string path, std::string *error)
        : object_(object), path_(std::move(path)), error_(error) {}

    std::string name(const char *key) const {
        return path_.empty() ? std::string(key) : path_ + "." + key;
    }
    bool has(const char *key) const { return object_.is_object() && object_.contains(key); }
    // Notes that a field the request cannot do without is absent.
    bool need(const char *key) {
        if (has(key)) return true;
        wrong(name(key) + " is missing");
        return false;
    }
    void wrong(const std::string &message) {
        if (error_->empty()) *error_ = message;
    }

    // A string or number the request cannot do without.
    std::string required_text(const char *key) { return need(key) ? text(key) : std::string(); }
    int64_t required_number(const char *key, int64_t low, int64_t high) {
        return need(key) ? number(key, low, low, high) : low;
    }
    std::string text(const char *key, const std::string &fallback = std::string()) {
        const json *v = field(key);
        if (!v) return fallback;
        if (v->is_string()) return v->get<std::string>();
        wrong(name(key) + " must be a string");
        return fallback;
    }
    int64_t number(const char *key, int64_t fallback, int64_t low, int64_t high) {
        const json *v = field(key);
        if (!v) return fallback;
        if (!v->is_number_integer()) {
            wrong(name(key) + " must be a whole number");
            return fallback;
        }
        // Unsigned values above INT64_MAX are out of range whatever the bounds.
        const bool huge = v->is_number_unsigned() && v->get<uint64_t>() > INT64_MAX;
        const int64_t n = huge ? INT64_MAX : v->get<int64_t>();
        if (!huge && n >= low && n <= high) return n;
        wrong(name(key) + " is out of range (" + std::to_string(low) + " to " +
              std::to_string(high) + ")");
        return fallback;
    }
    bool flag(const char *key, bool fallback) {
        const json *v = field(key);
        if (!v) return fallback;
        if (v->is_boolean()) return v->get<bool>();
        wrong(name(key) + " must be true or false");
        return fallback;
    }
    // Strings given as an array of them (or, where one_allowed, as one string).
    std::vector<std::string> texts(const char *key, bool one_allowed) {
        std::vector<std::string> out;
        const json *v = field(key);
        if (!v) return out;
        if (one_allowed && v->is_string()) return {v->get<std::string>()};
        if (!v->is_array()) {
            wrong(name(key) + (one_allowed ? " must be a string or an array of strings"
                                           : " must be an array of strings"));
            return out;
        }
        if (too_long(key, *v)) return out;
        for (size_t i = 0; i < v->size(); ++i) {
            if ((*v)[i].is_string())
                out.push_back((*v)[i].get<std::string>());
            else
                wrong(name(key) + "[" + std::to_string(i) + "] must be a string");
        }
        return out;
    }
    // An object field (an empty one when absent).
    fields_t object(const char *key) {
        const json *v = field(key);
        if (v && !v->is_object()) wrong(name(key) + " must be an object");
        return fields_t(v && v->is_object() ? *v : none(), name(key), error_);
    }
    // The objects of an array field (none when absent).
    std::vector<fields_t> objects(const char *key) {
        std::vector<fields_t> out;
        const json *v = field(key);
        if (!v) return out;
        if (!v->is_array()) {
            wrong(name(key) + " must be an array");
            return out;
        }
        if (too_long(key, *v)) return out;
        for (size_t i = 0; i < v->size(); ++i) {
            const std::string path = name(key) + "[" + std::to_string(i) + "]";
            if (!(*v)[i].is_object()) wrong(path + " must be an object");
            out.emplace_back((*v)[i].is_object() ? (*v)[i] : none(), path, error_);
        }
        return out;
    }

  private:
    bool too_long(const char *key, const json &array) {
        if (array.size() <= MAX_ENTRIES) return false;
        wrong(name(key) + " has more than " + std::to_string(MAX_ENTRIES) + " entries");
        return true;
    }
    static const json &none() {
        static const json empty = json::object();
        return empty;
    }
    const json *field(const char *key) const {
        if (!object_.is_object()) return nullptr;
        const auto it = object_.find(key);
        return it == object_.end() ? nullptr : &*it;
    }

    const json &object_;
    std::string path_;
    std::string *error_;
};

const dbg_source_t *model(dbg_dap_t *s) {
    return dbg_source_or_empty(s->e);
}

void send(dbg_dap_t *s, json message) {
    message["seq"] = s->seq++;
    s->out += dbg_dap_frame(message.dump(-1, ' ', false, json::error_handler_t::replace));
}

void event(dbg_dap_t *s, const std::string &name, json body = json::object()) {
    send(s, {{"type", "event"}, {"event", name}, {"body", std::move(body)}});
}

void respond(dbg_dap_t *s, const request_t &request, json body = json::object()) {
    send(s, {{"type", "response"},
             {"request_seq", request.seq},
             {"success", true},
             {"command", request.command},
             {"body", std::move(body)}});
}

void fail(dbg_dap_t *s, const request_t &request, const std::string &message) {
    send(s, {{"type", "response"},
             {"request_seq", request.seq},
             {"success", false},
             {"command", request.command},
             {"message", message},
             {"body", {{"error", {{"id", 1}, {"format", message}}}}}});
}

void output(dbg_dap_t *s, const std::string &text, const char *category = "console") {
    if (text.empty()) return;
    event(s, "output",
          {{"category", category}, {"output", text.back() == '\n' ? text : text + "\n"}});
}

std::string hex_ref(unsigned address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", address & 0xFFFF);
    return text;
}

// "0x8000", "8000", "$8000", a symbol; false when none.
bool parse_ref(dbg_dap_t *s, const std::string &text, uint16_t *address) {
    return dbg_parse_address(dbg_symbol_table(s->e), text, address);
}

// A hit condition: the hit that stops (a whole number); the breakpoint skips the hits before it.
bool parse_hits(const std::string &text, uint32_t *skip) {
    uint64_t hits = 0;
    if (!text.empty() && !dbg_parse_decimal(text, UINT32_MAX, &hits)) return false;
    *skip = hits > 0 ? static_cast<uint32_t>(hits - 1) : 0;
    return true;
}

// ---- the adapters to engine features (one place each to switch) ----

void load_debug_info(dbg_dap_t *s, const std::string &image, const std::vector<std::string> &dirs,
                     const std::vector<std::string> &symbols, const std::string &rom) {
    dbg_engine_t *e = s->e;
    std::string report;
    dbg_set_rom_path(e, rom);
    // The files named, else those found beside the image; the monitor's symbols either way.
    bool good = dbg_debug_info_load(e, symbols.empty() ? image : std::string(), dirs, &report);
    output(s, report);
    for (const std::string &path : symbols) {
        good = dbg_debug_file_load(e, path, dirs, &report) && good;
        output(s, report);
    }
    if (!good) output(s, "Some debug information could not be read (above)", "stderr");
}

int break_add(dbg_dap_t *s, uint16_t address, uint32_t skip, const std::string &condition,
              std::string *error) {
    return dbg_break_add_if(s->e, address, skip, condition, error);
}

// At a line or a function, which a restart of the rebuilt program resolves again.
int break_add(dbg_dap_t *s, const std::string &place_text, uint32_t skip,
              const std::string &condition, dbg_place_t *place, std::string *error) {
    return dbg_break_add_place(s->e, place_text, skip, condition, place, error);
}

void delete_group(dbg_dap_t *s, const std::string &group) {
    for (int id : s->groups[group]) {
        dbg_delete(s->e, id);
        s->logpoints.erase(id);
    }
    s->groups[group].clear();
}

json source_of(dbg_dap_t *s, int file);

// A verified breakpoint as the client is told of it: its address, and its line where it has one.
json breakpoint_json(dbg_dap_t *s, const dbg_breakpoint_row_t &b) {
    json bp = {{"verified", true}, {"instructionReference", hex_ref(b.address)}};
    if (b.line > 0) {
        bp["line"] = b.line;
        const json source = source_of(s, b.file);
        if (!source.is_null()) bp["source"] = source;
    }
    return bp;
}

// Breakpoints set elsewhere (the window's console, the REPL) reach the client as `breakpoint`
// events, and so do their deletions.
void sync_breakpoints(dbg_dap_t *s) {
    if (!s->launched) return;
    std::vector<int> own;
    for (const auto &group : s->groups)
        own.insert(own.end(), group.second.begin(), group.second.end());
    own.push_back(s->entry_bp);
    own.push_back(s->exit_bp);
    std::vector<int> now;
    for (const dbg_breakpoint_row_t &b : dbg_breakpoint_rows(s->e)) {
        if (std::find(own.begin(), own.end(), b.id) != own.end()) continue;
        now.push_back(b.id);
        if (std::find(s->foreign.begin(), s->foreign.end(), b.id) != s->foreign.end()) continue;
        json bp = breakpoint_json(s, b);
        bp["id"] = b.id;
        event(s, "breakpoint", {{"reason", "new"}, {"breakpoint", bp}});
    }
    for (int id : s->foreign)
        if (std::find(now.begin(), now.end(), id) == now.end())
            event(s, "breakpoint",
                  {{"reason", "removed"}, {"breakpoint", {{"id", id}, {"verified", false}}}});
    s->foreign = now;
}

// ---- stops ----

void invalidate_views(dbg_dap_t *s) {
    s->containers.clear();
}

// A logpoint's message with each {EXPRESSION} replaced by its value where the machine stands
// (or by "<the reason>" when it cannot be evaluated); "{{" and "}}" are braces.
std::string log_text(dbg_dap_t *s, const std::string &message) {
    const std::vector<uint8_t> memory = dbg_memory(s->e);
    const z_cpu_t cpu = dbg_registers(s->e);
    const dbg_eval_context_t context{memory.data(), &cpu, dbg_symbol_table(s->e), nullptr, -1};
    std::string out;
    for (size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if ((c == '{' || c == '}') && i + 1 < message.size() && message[i + 1] == c) {
            out += c;
            ++i;
            continue;
        }
        const size_t end = c == '{' ? message.find('}', i) : std::string::npos;
        if (end == std::string::npos) {
            out += c;
            continue;
        }
        dbg_value_t value;
        std::string error;
        const std::string expression = message.substr(i + 1, end - i - 1);
        out += dbg_source_print(model(s), expression, context, &value, &error) ? value.text
                                                                               : "<" + error + ">";
        i = end;
    }
    return out;
}

// Reports a stop; false when the run goes on (the program's entry without stopOnEntry).
bool report_stop(dbg_dap_t *s, const dbg_stop_t &stop) {
    dbg_engine_t *e = s->e;
    invalidate_views(s);
    if (stop.cause == DBG_CAUSE_TICKS) return false;
    std::string reason = "pause";
    std::string text = stop.text;
    json body = {{"threadId", 1}, {"allThreadsStopped", true}};
    switch (stop.cause) {
    case DBG_CAUSE_BREAKPOINT:
        if (stop.breakpoint == s->entry_bp) {
            dbg_delete(e, s->entry_bp);
            s->entry_bp = -1;
            // The program ends where it returns to the monitor (its warm start, RST 10h).
            uint16_t warm = 0x0010;
            dbg_symbol_lookup(dbg_symbol_table(e), "mon_warm", &warm);
            s->exit_bp = dbg_break_add(e, warm, 0);
            if (!s->stop_on_entry) return false;
            reason = "entry";
            text = "Entry at " + stop.text.substr(stop.text.find(" at ") + 4);
            break;
        }
        if (stop.breakpoint == s->exit_bp) {
            output(s, "The program returned to the monitor at " + dbg_hex4(stop.pc));
            event(s, "exited", {{"exitCode", 0}});
            event(s, "terminated");
            s->running = false;
            return true;
        }
        if (const auto log = s->logpoints.find(stop.breakpoint); log != s->logpoints.end()) {
            output(s, log_text(s, log->second));
            return false;
        }
        reason = "breakpoint";
        body["hitBreakpointIds"] = {stop.breakpoint};
        break;
    case DBG_CAUSE_WATCH_READ:
    case DBG_CAUSE_WATCH_WRITE:
    case DBG_CAUSE_PORT_IN:
    case DBG_CAUSE_PORT_OUT:
        reason = "data breakpoint";
        body["hitBreakpointIds"] = {stop.breakpoint};
        break;
    case DBG_CAUSE_HALT:
    case DBG_CAUSE_INVALID: reason = "exception"; break;
    case DBG_CAUSE_STEP:
    case DBG_CAUSE_UNTIL: reason = "step"; break;
    default: break;
    }
    body["reason"] = reason;
    body["description"] = text;
    body["text"] = text;
    output(s, text);
    s->running = false;
    event(s, "stopped", body);
    return true;
}

bool threaded(const dbg_dap_t *s) {
    return dbg_mode(s->e) == DBG_THREADED;
}

// A stop that does not count (the program's entry without stopOnEntry) lets the run go on.
void take_stop(dbg_dap_t *s, const dbg_stop_t &stop) {
    sync_breakpoints(s);
    if (report_stop(s, stop)) return;
    s->running = true;
    if (threaded(s)) dbg_continue(s->e);
}

// A run of the machine that ends within a bound (stepping): a step that never ends is paused.
void bounded_step(dbg_dap_t *s, dbg_step_kind_t kind, dbg_granularity_t granularity) {
    dbg_engine_t *e = s->e;
    if (threaded(s)) { // the stop comes through the engine's stop callback
        s->running = true;
        dbg_step_by(e, kind, granularity);
        return;
    }
    const uint64_t limit = dbg_tick_limit(e);
    dbg_set_tick_limit(e, dbg_ticks(e) + s->limits.step_ticks);
    dbg_stop_t stop = dbg_step_by(e, kind, granularity);
    dbg_set_tick_limit(e, limit);
    if (stop.cause == DBG_CAUSE_TICKS) {
        stop.cause = DBG_CAUSE_PAUSE;
        stop.text = "The step did not end within " + std::to_string(s->limits.step_ticks / 10000) +
                    " ms of board time; paused at " + dbg_hex4(stop.pc);
    }
    if (!report_stop(s, stop)) {
        s->running = true;
        event(s, "continued", {{"threadId", 1}, {"allThreadsContinued", true}});
    }
}

// ---- views ----

json source_of(dbg_dap_t *s, int file) {
    dbg_source_t *m = dbg_source_model(s->e);
    if (!m || file < 0 || file >= static_cast<int>(m->files.size())) return nullptr;
    dbg_source_text(m, file); // finds its path
    json source = {{"name", m->files[file].name}};
    if (!m->files[file].path.empty()) source["path"] = m->files[file].path;
    return source;
}

int add_container(dbg_dap_t *s, const container_t &container) {
    s->containers.push_back(container);
    return REF_FIRST_CONTAINER + static_cast<int>(s->containers.size()) - 1;
}

// The elements of an array: its type's count (the value itself shows at most
// DBG_VALUE_MAX_ELEMENTS); 0 for anything else.
uint32_t array_elements(dbg_dap_t *s, const dbg_value_t &v) {
    const dbg_source_t *m = model(s);
    if (v.type_index < 0 || v.type_index >= static_cast<int>(m->types.size())) return 0;
    const dbg_type_t &type = m->types[static_cast<size_t>(v.type_index)];
    return type.kind == DBG_TYPE_ARRAY ? type.count : 0;
}

std::string child_path(const std::string &parent, const std::string &name) {
    if (parent.empty()) return name;
    if (!name.empty() && name[0] == '[') return parent + name;
    return parent + "." + name;
}

// A value as DAP shows it; frame (0: the innermost) is where its children are evaluated when
// a client pages through an array.
json variable(dbg_dap_t *s, const dbg_value_t &v, const std::string &parent, int frame) {
    const std::string path = child_path(parent, v.name);
    json out = {{"name", v.name}, {"value", v.text}, {"type", v.type}, {"evaluateName", path}};
    const uint32_t indexed = array_elements(s, v);
    out["variablesReference"] =
        v.children.empty() ? 0 : add_container(s, {v.children, path, frame, indexed});
    if (indexed > 0) out["indexedVariables"] = indexed;
    if (v.in_memory) out["memoryReference"] = hex_ref(v.address);
    return out;
}

// What a request looks at: memory, registers and the stack, as every view takes them; contexts
// of frame `index` (0: the innermost) with the symbols the window's panes use too.
struct view_t : dbg_stack_view_t {
    const dbg_symbols_t *symbols = nullptr;
    dbg_eval_context_t context(int index) const {
        return dbg_stack_view_t::context(index, symbols);
    }
};

view_t take_view(dbg_dap_t *s) {
    view_t v;
    static_cast<dbg_stack_view_t &>(v) = dbg_stack_view(s->e, MAX_FRAMES);
    v.symbols = dbg_symbol_table(s->e);
    return v;
}

std::string base64(const std::vector<uint8_t> &bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t n = static_cast<uint32_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) n |= bytes[i + 2];
        out += digits[(n >> 18) & 63];
        out += digits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return out;
}

bool unbase64(const std::string &text, std::vector<uint8_t> *bytes) {
    uint32_t n = 0;
    int bits = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else if (c == '=')
            break;
        else
            return false;
        n = (n << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes->push_back(static_cast<uint8_t>(n >> bits));
        }
    }
    return true;
}

// ---- requests ----

void resume(dbg_dap_t *s) {
    invalidate_views(s);
    s->running = true;
    if (threaded(s)) dbg_continue(s->e);
}

// A frame id of a request (1: the innermost frame).
int frame_id(fields_t &a) {
    return static_cast<int>(a.number("frameId", 1, 1, MAX_FRAMES));
}

void on_initialize(dbg_dap_t *s, const request_t &r) {
    respond(s, r,
            {{"supportsConfigurationDoneRequest", true},
             {"supportsFunctionBreakpoints", true},
             {"supportsConditionalBreakpoints", true},
             {"supportsHitConditionalBreakpoints", true},
             {"supportsEvaluateForHovers", true},
             {"supportsSetVariable", true},
             {"supportsDataBreakpoints", true},
             {"supportsInstructionBreakpoints", true},
             {"supportsDisassembleRequest", true},
             {"supportsReadMemoryRequest", true},
             {"supportsWriteMemoryRequest", true},
             {"supportsSteppingGranularity", true},
             {"supportsStepBack", true},
             {"supportsLogPoints", true},
             {"supportsTerminateRequest", true},
             {"supportsRestartRequest", true},
             {"exceptionBreakpointFilters",
              json::array({{{"filter", "invalid"}, {"label", "Invalid opcode"}, {"default", true}},
                           {{"filter", "halt"}, {"label", "HALT"}, {"default", true}}})}});
    s->initialized = true;
    event(s, "initialized");
}

void on_launch(dbg_dap_t *s, const request_t &r) {
    dbg_engine_t *e = s->e;
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    const std::string program = a.text("program");
    const std::string rom = a.text("rom", s->rom_default);
    const std::vector<std::string> dirs = a.texts("sourceDirs", false);
    std::vector<std::string> symbols = a.texts("symbols", true);
    for (const std::string &path : a.texts("debugInfo", true))
        symbols.push_back(path);
    // Editors' configurations use "type" for the debugger ("quillane"): there the text to type
    // is "typeText".
    std::string type = a.has("typeText") ? a.text("typeText") : a.text("type");
    const bool realtime = a.flag("realtime", false);
    const bool stop_on_entry = a.flag("stopOnEntry", false);
    if (!bad.empty()) return fail(s, r, bad);
    if (program.empty()) return fail(s, r, "launch needs a program (an Intel HEX image)");
    std::string error;
    if (!rom.empty() && !dbg_load_image(e, rom, &error, nullptr, true)) return fail(s, r, error);
    // Without a ROM the program starts at its own start address.
    uint16_t start = 0xFFFF;
    if (!dbg_load_image(e, program, &error, &start, rom.empty())) return fail(s, r, error);
    load_debug_info(s, program, dirs, symbols, rom);
    if (type == "quillane") type.clear();
    if (!type.empty() && !dbg_type(e, dbg_unescape(type), true, &error))
        return fail(s, r, "type: " + error);
    dbg_set_realtime(e, realtime);
    s->program = program;
    s->rom = rom;
    s->type = type;
    s->stop_on_entry = stop_on_entry;
    s->entry = start;
    if (s->entry_bp >= 0) dbg_delete(e, s->entry_bp); // a second launch replaces the first's
    s->entry_bp = dbg_break_add(e, start, 0);
    s->launched = true;
    respond(s, r);
    if (s->configured && !s->attached) resume(s);
}

// What a breakpoint request asks for, read whole before any breakpoint changes.
struct breakpoint_ask_t {
    int64_t line = 0;
    std::string name; // a function, an instruction reference or a dataId
    int64_t offset = 0;
    std::string condition, hits, access;
    std::string log; // a logpoint's message ("" for a breakpoint that stops)
};

void on_set_breakpoints(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    fields_t source = a.object("source");
    const std::string path = source.has("path") ? source.text("path") : source.text("name");
    std::vector<breakpoint_ask_t> asks;
    for (fields_t &b : a.objects("breakpoints")) {
        breakpoint_ask_t ask;
        ask.line = b.required_number("line", 1, INT32_MAX);
        ask.condition = b.text("condition");
        ask.hits = b.text("hitCondition");
        ask.log = b.text("logMessage");
        asks.push_back(ask);
    }
    if (!bad.empty()) return fail(s, r, bad);
    delete_group(s, "source:" + path);
    const std::string file = path.substr(path.find_last_of('/') + 1);
    json out = json::array();
    for (const breakpoint_ask_t &ask : asks) {
        dbg_place_t place;
        uint32_t skip = 0;
        std::string error;
        json answer = {{"verified", false}, {"line", ask.line}};
        if (!parse_hits(ask.hits, &skip)) {
            error = "the hit count is not a whole number: " + ask.hits.substr(0, 40);
        } else {
            const int id = break_add(s, file + ":" + std::to_string(ask.line), skip, ask.condition,
                                     &place, &error);
            if (id >= 0) {
                s->groups["source:" + path].push_back(id);
                if (!ask.log.empty()) s->logpoints[id] = ask.log;
                answer = {{"verified", true},
                          {"line", place.line},
                          {"id", id},
                          {"instructionReference", hex_ref(place.address)}};
            }
        }
        if (!error.empty()) answer["message"] = error;
        out.push_back(answer);
    }
    respond(s, r, {{"breakpoints", out}});
}

void on_set_function_breakpoints(dbg_dap_t *s, const request_t &r, bool instructions) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    std::vector<breakpoint_ask_t> asks;
    for (fields_t &b : a.objects("breakpoints")) {
        breakpoint_ask_t ask;
        const char *key = instructions ? "instructionReference" : "name";
        ask.name = b.required_text(key);
        if (instructions) ask.offset = b.number("offset", 0, -MAX_OFFSET, MAX_OFFSET);
        ask.condition = b.text("condition");
        ask.hits = b.text("hitCondition");
        ask.log = b.text("logMessage");
        asks.push_back(ask);
    }
    if (!bad.empty()) return fail(s, r, bad);
    const std::string group = instructions ? "instructions" : "functions";
    delete_group(s, group);
    json out = json::array();
    for (const breakpoint_ask_t &ask : asks) {
        std::string error;
        uint16_t address = 0;
        bool found = false;
        if (instructions) {
            found = parse_ref(s, ask.name, &address);
            address = static_cast<uint16_t>(address + ask.offset);
        } else {
            dbg_place_t place;
            found = dbg_place_resolve(s->e, ask.name, &place, &error);
            address = place.address;
        }
        json answer = {{"verified", false}};
        uint32_t skip = 0;
        if (!found) {
            answer["message"] = "no such function or address";
        } else if (!parse_hits(ask.hits, &skip)) {
            answer["message"] = "the hit count is not a whole number: " + ask.hits.substr(0, 40);
        } else {
            dbg_place_t place;
            const int id = instructions
                               ? break_add(s, address, skip, ask.condition, &error)
                               : break_add(s, ask.name, skip, ask.condition, &place, &error);
            if (id < 0) {
                answer["message"] = error;
            } else {
                s->groups[group].push_back(id);
                if (!ask.log.empty()) s->logpoints[id] = ask.log;
                answer = breakpoint_json(s, dbg_breakpoint_row(s->e, address));
                answer["id"] = id;
            }
        }
        out.push_back(answer);
    }
    respond(s, r, {{"breakpoints", out}});
}

// The rebuilt program loaded again with its debug information, the machine reset and the text
// typed again; the client hears of each breakpoint that moved (`changed`) or no longer resolves
// (`removed`).
void on_restart(dbg_dap_t *s, const request_t &r) {
    if (!s->launched || s->attached || s->program.empty())
        return fail(s, r, "restart needs a launched program");
    dbg_engine_t *e = s->e;
    std::string error, report;
    std::vector<dbg_reload_change_t> changes;
    std::vector<std::string> type;
    if (!s->type.empty()) type.push_back(dbg_unescape(s->type));
    if (!dbg_reload(e, {s->program}, type, &error, &changes, true, &report))
        return fail(s, r, error);
    // Without a ROM the program starts at its own start address, as at launch.
    if (s->rom.empty() && !dbg_load_image(e, s->program, &error, &s->entry, true))
        return fail(s, r, error);
    if (s->entry_bp >= 0) dbg_delete(e, s->entry_bp);
    s->entry_bp = dbg_break_add(e, s->entry, 0);
    for (const dbg_reload_change_t &change : changes) {
        report += change.text + "\n";
        if (!change.removed) {
            json bp = breakpoint_json(s, dbg_breakpoint_row(e, change.address));
            bp["id"] = change.id;
            event(s, "breakpoint", {{"reason", "changed"}, {"breakpoint", bp}});
            continue;
        }
        for (auto &group : s->groups)
            std::erase(group.second, change.id);
        std::erase(s->foreign, change.id);
        s->logpoints.erase(change.id);
        event(s, "breakpoint",
              {{"reason", "removed"}, {"breakpoint", {{"id", change.id}, {"verified", false}}}});
    }
    if (!report.empty()) output(s, report);
    respond(s, r);
    if (s->configured) resume(s);
}

void on_set_exception_breakpoints(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    const std::vector<std::string> filters = a.texts("filters", false);
    if (!bad.empty()) return fail(s, r, bad);
    dbg_set_stop_on_invalid(s->e,
                            std::find(filters.begin(), filters.end(), "invalid") != filters.end());
    dbg_set_stop_on_halt(s->e, std::find(filters.begin(), filters.end(), "halt") != filters.end());
    respond(s, r);
}

// The path of a variable shown under a container reference (a scope's: the name alone).
std::string path_under(dbg_dap_t *s, int64_t ref, const std::string &name) {
    if (ref >= REF_FIRST_CONTAINER &&
        ref - REF_FIRST_CONTAINER < static_cast<int64_t>(s->containers.size()))
        return child_path(s->containers[static_cast<size_t>(ref - REF_FIRST_CONTAINER)].path, name);
    return name;
}

void on_data_breakpoint_info(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    const std::string name = a.required_text("name");
    const int64_t ref = a.number("variablesReference", 0, 0, MAX_REF);
    const int frame = frame_id(a);
    if (!bad.empty()) return fail(s, r, bad);
    const std::string expression = path_under(s, ref, name);
    std::string error;
    uint16_t address = 0;
    uint32_t length = 1;
    int type = -1;
    std::string object; // ":TYPE:EXPRESSION" for a C object, watched as one
    if (dbg_watch_object_place(s->e, expression, frame - 1, &address, &type, &error)) {
        length = std::max<uint32_t>(1, model(s)->types[static_cast<size_t>(type)].size);
        object = ":" + std::to_string(type) + ":" + expression;
    } else if (!parse_ref(s, name, &address)) {
        return respond(
            s, r,
            {{"dataId", nullptr}, {"description", name + " has no place in memory to watch"}});
    }
    respond(s, r,
            {{"dataId", dbg_hex4(address) + ":" + std::to_string(length) + object},
             {"description", name + " (" + dbg_hex4(address) + ", " + std::to_string(length) +
                                 (length == 1 ? " byte)" : " bytes)")},
             {"accessTypes", {"read", "write", "readWrite"}},
             {"canPersist", true}});
}

void on_set_data_breakpoints(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    std::vector<breakpoint_ask_t> asks;
    for (fields_t &b : a.objects("breakpoints")) {
        breakpoint_ask_t ask;
        ask.name = b.required_text("dataId");
        ask.access = b.text("accessType", "write");
        if (ask.access != "read" && ask.access != "write" && ask.access != "readWrite")
            b.wrong(b.name("accessType") + " must be read, write or readWrite");
        asks.push_back(ask);
    }
    if (!bad.empty()) return fail(s, r, bad);
    delete_group(s, "data");
    json out = json::array();
    for (const breakpoint_ask_t &ask : asks) {
        // "HHHH:LENGTH", or "HHHH:LENGTH:TYPE:EXPRESSION" for a C object, as
        // dataBreakpointInfo made it.
        const size_t colon = ask.name.find(':');
        const size_t type_colon = ask.name.find(':', colon == std::string::npos ? 0 : colon + 1);
        const size_t name_colon =
            type_colon == std::string::npos ? type_colon : ask.name.find(':', type_colon + 1);
        uint32_t address = 0;
        uint64_t length = 0, type = 0;
        const bool object =
            name_colon != std::string::npos &&
            dbg_parse_decimal(ask.name.substr(type_colon + 1, name_colon - type_colon - 1),
                              INT32_MAX, &type);
        if (colon == std::string::npos ||
            !dbg_parse_hex(ask.name.substr(0, colon), 0xFFFF, &address) ||
            !dbg_parse_decimal(ask.name.substr(colon + 1, type_colon - colon - 1), 0x10000,
                               &length) ||
            length == 0 || (type_colon != std::string::npos && !object)) {
            out.push_back(
                {{"verified", false}, {"message", "bad dataId " + ask.name.substr(0, 40)}});
            continue;
        }
        const uint32_t bytes = std::min<uint32_t>(static_cast<uint32_t>(length), 0x10000 - address);
        const auto add = [&](dbg_watch_kind_t kind) {
            std::string error;
            return object ? dbg_watch_add_object(s->e, kind, ask.name.substr(name_colon + 1),
                                                 static_cast<uint16_t>(address),
                                                 static_cast<int>(type), "", &error)
                          : dbg_watch_add(s->e, kind, static_cast<uint16_t>(address), bytes);
        };
        int first = -1;
        if (ask.access != "write") first = add(DBG_WATCH_READ);
        if (ask.access != "read") {
            const int w = add(DBG_WATCH_WRITE);
            if (first < 0)
                first = w;
            else
                s->groups["data"].push_back(w);
        }
        if (first < 0) {
            out.push_back({{"verified", false}, {"message", "the object cannot be watched"}});
            continue;
        }
        s->groups["data"].push_back(first);
        out.push_back({{"verified", true}, {"id", first}});
    }
    respond(s, r, {{"breakpoints", out}});
}

void on_stack_trace(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    const int64_t start = a.number("startFrame", 0, 0, MAX_REF);
    const int64_t levels = a.number("levels", 0, 0, MAX_REF); // 0: all
    if (!bad.empty()) return fail(s, r, bad);
    const view_t v = take_view(s);
    json out = json::array();
    const std::vector<dbg_frame_row_t> rows = dbg_frame_rows(model(s), v.frames);
    for (size_t i = static_cast<size_t>(start);
         i < rows.size() && (levels == 0 || static_cast<int64_t>(out.size()) < levels); ++i) {
        const dbg_frame_row_t &row = rows[i];
        json frame = {{"id", static_cast<int>(i) + 1},
                      {"name", row.name},
                      {"line", row.line},
                      {"column", row.line > 0 ? 1 : 0},
                      {"instructionPointerReference", hex_ref(row.pc)}};
        const json source = source_of(s, row.file);
        if (!source.is_null()) frame["source"] = source;
        out.push_back(frame);
    }
    respond(s, r, {{"stackFrames", out}, {"totalFrames", rows.size()}});
}

void on_scopes(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    const int frame = frame_id(a) - 1;
    if (!bad.empty()) return fail(s, r, bad);
    auto scope = [&](const char *name, int kind, bool expensive) {
        return json{{"name", name},
                    {"variablesReference", frame * SCOPE_REFS + kind},
                    {"expensive", expensive}};
    };
    respond(s, r,
            {{"scopes",
              {scope("Locals", REF_LOCALS, false), scope("Globals", REF_GLOBALS, false),
               scope("Registers", REF_REGISTERS, false)}}});
}

void on_variables(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    const int64_t ref = a.required_number("variablesReference", 0, MAX_REF);
    // A page of the children: count 0 is all of them from start.
    const int64_t start = a.number("start", 0, 0, MAX_REF);
    const int64_t count = a.number("count", 0, 0, MAX_REF);
    if (!bad.empty()) return fail(s, r, bad);
    json out = json::array();
    const auto page = [&](json all) {
        json part = json::array();
        for (int64_t i = start;
             i < static_cast<int64_t>(all.size()) && (count == 0 || i < start + count); ++i)
            part.push_back(std::move(all[static_cast<size_t>(i)]));
        respond(s, r, {{"variables", part}});
    };
    if (ref >= REF_FIRST_CONTAINER) {
        const size_t index = static_cast<size_t>(ref - REF_FIRST_CONTAINER);
        if (index >= s->containers.size()) return fail(s, r, "no such variable reference");
        const container_t c = s->containers[index]; // a copy: adding containers moves them
        if (c.indexed == 0 || (start == 0 && count == 0)) {
            for (const dbg_value_t &value : c.values)
                out.push_back(variable(s, value, c.path, c.frame));
            return page(std::move(out));
        }
        // An array's page, element by element: the value shows only its first elements.
        const view_t v = take_view(s);
        const int64_t end = std::min<int64_t>(c.indexed, count == 0 ? c.indexed : start + count);
        for (int64_t i = start; i < end && i - start < MAX_ENTRIES; ++i) {
            dbg_value_t value;
            std::string error;
            const std::string element = "(" + c.path + ")[" + std::to_string(i) + "]";
            "(" + c.path + ")[$" + dbg_hex4(static_cast<unsigned>(i)) + "]";
            if (!dbg_source_print(model(s), element, v.context(c.frame), &value, &error))
                return fail(s, r, error);
            value.name = "[" + std::to_string(i) + "]";
            out.push_back(variable(s, value, c.path, c.frame));
        }
        return respond(s, r, {{"variables", out}});
    }
    const int frame = static_cast<int>(ref / SCOPE_REFS), kind = static_cast<int>(ref % SCOPE_REFS);
    if (frame >= MAX_FRAMES || kind == 0) return fail(s, r, "no such variable reference");
    const view_t v = take_view(s);
    if (kind == REF_REGISTERS) {
        // The rows the window's register pane shows, then the T-states run.
        for (const dbg_register_row_t &row : dbg_register_rows(v.cpu))
            out.push_back({{"name", row.name},
                           {"value", dbg_register_text(row)},
                           {"evaluateName", row.name},
                           {"variablesReference", 0}});
        out.push_back({{"name", "ticks"},
                       {"value", std::to_string(dbg_ticks(s->e))},
                       {"variablesReference", 0}});
    } else if (kind == REF_LOCALS) {
        if (frame < static_cast<int>(v.frames.size()))
            for (const dbg_value_t &value : dbg_frame_locals(model(s), v.context(frame)))
                out.push_back(variable(s, value, "", frame));
    } else if (kind == REF_GLOBALS) {
        for (const dbg_variable_t &var : model(s)->variables) {
            if (var.scope == DBG_VAR_FUNCTION) continue;
            dbg_value_t value;
            std::string error;
            if (dbg_source_print(model(s), var.name, v.context(frame), &value, &error))
                out.push_back(variable(s, value, "", frame));
        }
    }
    page(std::move(out));
}

void on_set_variable(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    const int64_t ref = a.required_number("variablesReference", 0, MAX_REF);
    const std::string name = a.required_text("name");
    const std::string value = a.required_text("value");
    if (!bad.empty()) return fail(s, r, bad);
    std::string error;
    // The value typed is a C expression; the answer is what reads back once it is stored.
    std::string shown;
    if (ref < REF_FIRST_CONTAINER && ref % SCOPE_REFS == REF_REGISTERS) {
        int64_t n = 0;
        if (!dbg_source_number(model(s), value, take_view(s).context(0), &n, &error))
            return fail(s, r, "Bad value: " + value + ": " + error);
        if (n < -0x8000 || n > 0xFFFF) return fail(s, r, value + " does not fit in a register");
        if (!dbg_set_register(s->e, name, static_cast<uint32_t>(n & 0xFFFF), &error))
            return fail(s, r, error);
        for (const dbg_register_row_t &row : dbg_register_rows(dbg_registers(s->e)))
            if (name == row.name) shown = dbg_register_text(row);
    } else {
        const std::string path = path_under(s, ref, name);
        const view_t v = take_view(s);
        uint16_t address = 0;
        std::vector<uint8_t> bytes;
        // A scope's reference carries its frame; a container's stands for the innermost one.
        const int frame = ref < REF_FIRST_CONTAINER ? static_cast<int>(ref / SCOPE_REFS) : 0;
        if (!dbg_source_assign(model(s), path, value, v.context(frame), &address, &bytes, &error))
            return fail(s, r, error);
        for (size_t i = 0; i < bytes.size(); ++i)
            dbg_poke(s->e, static_cast<uint16_t>(address + i), bytes[i]);
        dbg_value_t stored;
        if (dbg_source_print(model(s), path, take_view(s).context(frame), &stored, &error))
            shown = stored.text;
    }
    invalidate_views(s);
    respond(s, r, {{"value", shown.empty() ? value : shown}});
    event(s, "invalidated", {{"areas", {"variables"}}});
}

void on_console(dbg_dap_t *s, const request_t &r, const std::string &command) {
    if (!s->limits.console) return fail(s, r, "the debug console is off in this session");
    // A run command typed here (quillane-run) reads no pause meanwhile: it runs for a bounded
    // board time at most, then it stops at the tick limit.
    const uint64_t limit = dbg_tick_limit(s->e);
    if (!threaded(s)) dbg_set_tick_limit(s->e, dbg_ticks(s->e) + s->limits.console_ticks);
    const dbg_result_t result = dbg_execute(s->e, command);
    if (!threaded(s)) dbg_set_tick_limit(s->e, limit);
    invalidate_views(s);
    sync_breakpoints(s);
    if (result.quit) {
        respond(s, r, {{"result", ""}, {"variablesReference", 0}});
        event(s, "terminated");
        s->running = false;
        s->finished = true;
        return;
    }
    if (result.error) return fail(s, r, result.output.substr(0, result.output.size() - 1));
    std::string text = result.output;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    respond(s, r, {{"result", text}, {"variablesReference", 0}});
    if (result.stopped) {
        json body = {{"reason", "step"}, {"threadId", 1}, {"allThreadsStopped", true}};
        event(s, "stopped", body);
    } else {
        event(s, "invalidated", {{"areas", {"variables", "stacks"}}});
    }
}

void on_evaluate(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    const std::string expression = a.required_text("expression");
    const std::string context = a.text("context");
    const int frame = frame_id(a);
    if (!bad.empty()) return fail(s, r, bad);
    // The debug console evaluates C expressions; a line starting with "-exec " or ">" is a
    // command.
    if (context == "repl") {
        if (expression.compare(0, 6, "-exec ") == 0) return on_console(s, r, expression.substr(6));
        if (expression.compare(0, 1, ">") == 0) return on_console(s, r, expression.substr(1));
    }
    const view_t v = take_view(s);
    dbg_value_t value;
    std::string error;
    if (!dbg_source_print(model(s), expression, v.context(frame - 1), &value, &error)) {
        if (context == "repl" && dbg_is_command(expression))
            error += " (a command typed here starts with > or -exec: >" + expression + ")";
        return fail(s, r, error);
    }
    const json var = variable(s, value, "", frame - 1);
    json body = {{"result", value.text},
                 {"type", value.type},
                 {"variablesReference", var["variablesReference"]}};
    if (var.contains("indexedVariables")) body["indexedVariables"] = var["indexedVariables"];
    if (value.in_memory) body["memoryReference"] = hex_ref(value.address);
    respond(s, r, body);
}

// The address a memory request names: its memoryReference (a number or a symbol) moved by its
// offset, wrapping at FFFF.
struct place_t {
    std::string reference;
    int64_t offset;
};
place_t read_place(fields_t &a) {
    return {a.required_text("memoryReference"), a.number("offset", 0, -MAX_OFFSET, MAX_OFFSET)};
}
bool find_place(dbg_dap_t *s, const place_t &place, uint16_t *address) {
    if (!parse_ref(s, place.reference, address)) return false;
    *address = static_cast<uint16_t>(*address + place.offset);
    return true;
}

void on_disassemble(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    const place_t place = read_place(a);
    const int64_t skip = a.number("instructionOffset", 0, -MAX_INSTRUCTIONS, MAX_INSTRUCTIONS);
    const int64_t count = a.required_number("instructionCount", 0, MAX_INSTRUCTIONS);
    if (!bad.empty()) return fail(s, r, bad);
    uint16_t address = 0;
    if (!find_place(s, place, &address)) return fail(s, r, "bad memoryReference");
    // Instructions before the address are found by starting that many bytes times three lower
    // (Z80 instructions average under three bytes) and walking forward.
    if (skip < 0) address = static_cast<uint16_t>(address + skip * 3);
    const std::vector<uint8_t> memory = dbg_memory(s->e);
    const dbg_symbols_t *symbols = dbg_symbol_table(s->e);
    for (int64_t i = 0; i < skip; ++i)
        address = static_cast<uint16_t>(address +
                                        dbg_disassemble(memory.data(), address, symbols).length);
    json out = json::array();
    for (int64_t i = 0; i < count; ++i) {
        const dbg_instruction_t in = dbg_disassemble(memory.data(), address, symbols);
        json item = {{"address", hex_ref(address)},
                     {"instructionBytes", dbg_instruction_bytes(in)},
                     {"instruction", in.text}};
        const std::string symbol = dbg_symbol_at(symbols, address);
        if (!symbol.empty()) item["symbol"] = symbol;
        if (const dbg_line_range_t *line = dbg_source_line_at(model(s), address);
            line && line->address == address) {
            item["line"] = line->line;
            item["location"] = source_of(s, line->file);
        }
        out.push_back(item);
        address = static_cast<uint16_t>(address + in.length);
    }
    respond(s, r, {{"instructions", out}});
}

void on_read_memory(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    const place_t place = read_place(a);
    const int64_t asked = a.required_number("count", 0, MAX_OFFSET);
    if (!bad.empty()) return fail(s, r, bad);
    uint16_t address = 0;
    if (!find_place(s, place, &address)) return fail(s, r, "bad memoryReference");
    const uint32_t start = address;
    // The bytes up to FFFF; the rest of the count is unreadable.
    const uint32_t count = std::min<uint32_t>(static_cast<uint32_t>(asked), 0x10000 - start);
    std::vector<uint8_t> bytes(count);
    for (uint32_t i = 0; i < count; ++i)
        bytes[i] = dbg_peek(s->e, static_cast<uint16_t>(start + i));
    json body = {{"address", hex_ref(start)}, {"data", base64(bytes)}};
    if (asked > count) body["unreadableBytes"] = asked - count;
    respond(s, r, body);
}

void on_write_memory(dbg_dap_t *s, const request_t &r) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    const place_t place = read_place(a);
    const std::string data = a.required_text("data");
    if (!bad.empty()) return fail(s, r, bad);
    uint16_t address = 0;
    std::vector<uint8_t> bytes;
    if (!find_place(s, place, &address)) return fail(s, r, "bad memoryReference");
    if (data.size() > 0x10000 / 3 * 4 + 4) return fail(s, r, "the data runs past FFFF");
    if (!unbase64(data, &bytes)) return fail(s, r, "data is not base64");
    const uint32_t start = address;
    if (start + bytes.size() > 0x10000) return fail(s, r, "the data runs past FFFF");
    for (size_t i = 0; i < bytes.size(); ++i)
        dbg_poke(s->e, static_cast<uint16_t>(start + i), bytes[i]);
    invalidate_views(s);
    respond(s, r, {{"bytesWritten", bytes.size()}});
    event(s, "memory",
          {{"memoryReference", hex_ref(start)}, {"offset", 0}, {"count", bytes.size()}});
    event(s, "invalidated", {{"areas", {"variables"}}});
}

// A step's granularity (statement and line go by source line where the PC has lines, instruction
// never does); false, the request answered, when it cannot step now.
bool step_ready(dbg_dap_t *s, const request_t &r, dbg_granularity_t *granularity) {
    std::string bad;
    fields_t a(r.arguments, "arguments", &bad);
    *granularity =
        a.text("granularity", "line") == "instruction" ? DBG_GRAN_INSTRUCTION : DBG_GRAN_LINE;
    if (!bad.empty())
        fail(s, r, bad);
    else if (s->running)
        fail(s, r, "the program is running");
    return bad.empty() && !s->running;
}

void on_step(dbg_dap_t *s, const request_t &r) {
    dbg_granularity_t granularity;
    if (!step_ready(s, r, &granularity)) return;
    respond(s, r);
    bounded_step(s,
                 r.command == "next"     ? DBG_STEP_OVER
                 : r.command == "stepIn" ? DBG_STEP_INTO
                                         : DBG_STEP_OUT,
                 granularity);
}

// Back in time by the engine's rules (dbg_back_by, dbg_rcontinue): the stop is reported at once.
void on_travel(dbg_dap_t *s, const request_t &r) {
    dbg_granularity_t granularity;
    if (!step_ready(s, r, &granularity)) return;
    dbg_stop_t stop;
    std::string error;
    const bool done = r.command == "stepBack" ? dbg_back_by(s->e, granularity, &stop, &error)
                                              : dbg_rcontinue(s->e, &stop, &error);
    if (!done) return fail(s, r, error);
    respond(s, r);
    if (stop.cause == DBG_CAUSE_BREAKPOINT && s->logpoints.count(stop.breakpoint))
        stop.cause = DBG_CAUSE_STEP; // a logpoint reached backwards is a place, not a message
    report_stop(s, stop);
}

void handle(dbg_dap_t *s, const request_t &r) {
    const std::string &command = r.command;
    if (command == "initialize") return on_initialize(s, r);
    if (command == "launch") {
        // The window's machine is already running: an editor attaches to it.
        if (threaded(s))
            return fail(s, r, "the window answers attach; launch is quillane-run --dap's");
        return on_launch(s, r);
    }
    if (command == "attach") {
        if (!threaded(s)) return fail(s, r, "attach needs the window (quillane --dap-port N)");
        s->launched = s->configured = s->attached = true;
        s->running = dbg_is_running(s->e);
        return respond(s, r);
    }
    if (command == "configurationDone") {
        // Clients may finish configuring before the launch: the program starts once both came.
        s->configured = true;
        respond(s, r);
        if (s->launched && !s->attached) resume(s);
        return;
    }
    if (command == "restart") return on_restart(s, r);
    if (command == "setBreakpoints") return on_set_breakpoints(s, r);
    if (command == "setFunctionBreakpoints") return on_set_function_breakpoints(s, r, false);
    if (command == "setInstructionBreakpoints") return on_set_function_breakpoints(s, r, true);
    if (command == "setExceptionBreakpoints") return on_set_exception_breakpoints(s, r);
    if (command == "dataBreakpointInfo") return on_data_breakpoint_info(s, r);
    if (command == "setDataBreakpoints") return on_set_data_breakpoints(s, r);
    if (command == "threads") return respond(s, r, {{"threads", {{{"id", 1}, {"name", "Z80"}}}}});
    if (command == "stackTrace") return on_stack_trace(s, r);
    if (command == "scopes") return on_scopes(s, r);
    if (command == "variables") return on_variables(s, r);
    if (command == "setVariable") return on_set_variable(s, r);
    if (command == "evaluate") return on_evaluate(s, r);
    if (command == "disassemble") return on_disassemble(s, r);
    if (command == "readMemory") return on_read_memory(s, r);
    if (command == "writeMemory") return on_write_memory(s, r);
    if (command == "continue") {
        respond(s, r, {{"allThreadsContinued", true}});
        return resume(s);
    }
    if (command == "pause") {
        respond(s, r);
        // With something running the stop comes through the engine's callback (threaded) or is
        // taken here (inline); with nothing running (stopped, or the program ended) the client
        // is told where the machine stands, so that it never waits for a stop.
        if (threaded(s) && dbg_is_running(s->e)) return dbg_pause(s->e);
        dbg_stop_t stop = dbg_last_stop(s->e);
        stop.cause = DBG_CAUSE_PAUSE;
        stop.pc = dbg_registers(s->e).PC;
        stop.text = "Paused at " + dbg_hex4(stop.pc);
        report_stop(s, stop);
        return;
    }
    if (command == "next" || command == "stepIn" || command == "stepOut") return on_step(s, r);
    if (command == "stepBack" || command == "reverseContinue") return on_travel(s, r);
    if (command == "disconnect" || command == "terminate") {
        respond(s, r);
        if (command == "terminate") event(s, "terminated");
        if (s->attached) {
            // The window's machine runs on without this client's breakpoints.
            for (auto &group : s->groups)
                for (int id : group.second)
                    dbg_delete(s->e, id);
            s->groups.clear();
            if (!dbg_is_running(s->e)) dbg_continue(s->e);
        }
        s->running = false;
        s->finished = command == "disconnect";
        return;
    }
    fail(s, r, "unknown request " + command.substr(0, 80));
}

// The deepest nesting of arrays and objects in a JSON text, counted without parsing and without
// recursion (brackets inside strings do not count); the count stops once it passes limit.
int nesting(const std::string &text, int limit) {
    int depth = 0;
    bool in_string = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return depth;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return 0;
}

// One message: checked, then handled; anything wrong with it is answered, never thrown.
void take_message(dbg_dap_t *s, const std::string &body) {
    request_t r;
    // The parser and the values it builds recurse by depth: a deep message is refused unread.
    if (nesting(body, DBG_DAP_MAX_DEPTH) > DBG_DAP_MAX_DEPTH)
        return fail(s, r,
                    "the message nests arrays and objects deeper than " +
                        std::to_string(static_cast<int>(DBG_DAP_MAX_DEPTH)) + " levels");
    const json message = json::parse(body, nullptr, false);
    if (message.is_discarded()) return fail(s, r, "the message is not valid JSON");
    if (!message.is_object()) return fail(s, r, "the message is not a JSON object");
    std::string bad;
    fields_t m(message, "", &bad);
    // The seq first, so that what else is wrong answers the request by its number.
    r.seq = m.required_number("seq", 0, INT64_MAX);
    if (!bad.empty()) return fail(s, r, bad);
    const std::string type = m.required_text("type");
    if (!bad.empty()) return fail(s, r, bad);
    if (type != "request") {
        // Events and responses (this adapter sends no requests to answer): noted, passed over.
        output(s, "quillane: passed over a message of type \"" + type.substr(0, 40) + "\"",
               "stderr");
        return;
    }
    r.command = m.required_text("command");
    if (m.has("arguments")) {
        const json &arguments = message["arguments"];
        if (arguments.is_object())
            r.arguments = arguments;
        else
            m.wrong("arguments must be an object");
    }
    if (!bad.empty()) return fail(s, r, bad);
    try {
        handle(s, r);
    } catch (const std::exception &error) {
        // A last resort: every field is read through fields_t, so this should not be reached.
        fail(s, r, std::string("the request could not be handled: ") + error.what());
    }
}

} // namespace

dbg_dap_t *dbg_dap_new(dbg_engine_t *e, const std::string &rom_default) {
    dbg_dap_t *s = new dbg_dap_t;
    s->e = e;
    s->rom_default = rom_default;
    return s;
}

void dbg_dap_free(dbg_dap_t *s) {
    delete s;
}

void dbg_dap_set_limits(dbg_dap_t *s, const dbg_dap_limits_t &limits) {
    s->limits = limits;
}

bool dbg_dap_feed(dbg_dap_t *s, const char *data, size_t length) {
    s->framer.buffer.append(data, length);
    for (;;) {
        std::string body, error;
        const int got = dbg_dap_frame_next(&s->framer, &body, &error);
        if (got < 0) {
            output(s, "quillane: closing the connection: " + error, "stderr");
            return false;
        }
        if (got == 0) return true;
        take_message(s, body);
    }
}

std::string dbg_dap_take_output(dbg_dap_t *s) {
    std::string out;
    out.swap(s->out);
    return out;
}

bool dbg_dap_running(const dbg_dap_t *s) {
    return s->running && !s->finished;
}

void dbg_dap_run_slice(dbg_dap_t *s, uint64_t ticks) {
    if (!dbg_dap_running(s)) return;
    dbg_engine_t *e = s->e;
    const uint64_t limit = dbg_tick_limit(e);
    dbg_set_tick_limit(e, dbg_ticks(e) + ticks);
    const dbg_stop_t stop = dbg_continue(e);
    dbg_set_tick_limit(e, limit);
    take_stop(s, stop);
}

void dbg_dap_stopped(dbg_dap_t *s, const dbg_stop_t &stop) {
    if (s->finished) return;
    take_stop(s, stop);
}

void dbg_dap_poll(dbg_dap_t *s) {
    if (!s->finished) sync_breakpoints(s);
}

bool dbg_dap_finished(const dbg_dap_t *s) {
    return s->finished;
}

bool dbg_dap_initialized(const dbg_dap_t *s) {
    return s->initialized;
}
