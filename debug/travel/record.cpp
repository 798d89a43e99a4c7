// Recorded sessions: writing the records as inputs arrive, reading and checking a whole file, and
// playing it back on the inline engine.
#include "debug/travel/record.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/stat.h>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/travel/history.h"
#include "devices/keyboard.h"
#include "files/input.h"
#include "files/output.h"
#include "machine/emu.h"

// Written through the one output writer: the file appears complete when the session ends.
struct dbg_recording_t {
    emu_output_t out;
    std::string path;
    std::string failure;   // why the recording stopped; empty while it goes on
    bool complete = false; // ended early at the size a recording may have, its file kept
    std::function<void(const std::string &)> on_failure;
};

namespace {

constexpr char session_magic[8] = {'Q', 'U', 'I', 'L', 'R', 'E', 'C', '\0'};
constexpr uint32_t session_version = 1;
constexpr size_t record_head = 8 + 1 + 4;
// The largest recording read: some thousands of states (each about 66 KB) and keys. A session
// is held in memory whole while it plays.
constexpr uint64_t max_session_size = 256ull << 20;

void put(std::vector<uint8_t> &out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t get(const uint8_t *at, int bytes) {
    uint64_t value = 0;
    for (int i = bytes; i-- > 0;)
        value = value << 8 | at[i];
    return value;
}

// The recording's only write. The first failure (a full disk, a size limit) ends the recording
// there: the partial file goes, the old one stays, and the failure is told at once.
void write_bytes(dbg_recording_t *r, const std::vector<uint8_t> &bytes) {
    if (!r->failure.empty() || emu_output_write(&r->out, bytes.data(), bytes.size())) return;
    emu_file_error_t reason{};
    emu_output_close(&r->out, &reason);
    r->failure = emu_file_error_message(r->path, reason) +
                 " (the recording stopped; an old file of that name is kept)";
    if (r->on_failure) r->on_failure(r->failure);
}

void write_record(dbg_recording_t *r, uint64_t tick, dbg_session_kind_t kind,
                  const std::vector<uint8_t> &payload);

// A recording ends, complete, before it grows past what a replay reads: the end record goes at
// the tick of the record that did not fit, and the file is kept.
bool end_at_size_limit(dbg_recording_t *r, uint64_t tick, size_t record_size) {
    constexpr uint64_t end_record = record_head + 4;
    if (r->complete) return true;
    if (!r->failure.empty() ||
        r->out.written + r->out.buffer.size() + record_size + end_record <= max_session_size)
        return false;
    write_record(r, tick, DBG_SESSION_END, {});
    emu_file_error_t reason{};
    if (!r->failure.empty()) return true;
    if (!emu_output_close(&r->out, &reason)) {
        r->failure = emu_file_error_message(r->path, reason) + " (the recording is lost)";
        if (r->on_failure) r->on_failure(r->failure);
        return true;
    }
    r->complete = true;
    if (r->on_failure)
        r->on_failure(r->path + ": the recording reached 256 MiB, the most a replay reads, and "
                                "ends here (the file is complete)");
    return true;
}

void write_record(dbg_recording_t *r, uint64_t tick, dbg_session_kind_t kind,
                  const std::vector<uint8_t> &payload) {
    if (kind != DBG_SESSION_END && end_at_size_limit(r, tick, record_head + payload.size() + 4))
        return;
    std::vector<uint8_t> out;
    out.reserve(record_head + payload.size() + 4);
    put(out, tick, 8);
    put(out, kind, 1);
    put(out, payload.size(), 4);
    out.insert(out.end(), payload.begin(), payload.end());
    put(out, dbg_crc32(0, out.data(), out.size()), 4);
    write_bytes(r, out);
}

} // namespace

namespace {

// The session being recorded (one engine a process), and its hook.
dbg_recording_t *active = nullptr;
int hook_slot = -1;

dbg_recording_t *&recording_of(const dbg_engine_t *) {
    return active;
}

// The machine after a change by hand, or a key from outside the typing queue.
void on_changed(dbg_engine_t *e, void *, const char *) {
    dbg_machine_state_t s;
    dbg_state_capture(e, &s);
    dbg_record_state(e, s);
}

void on_key(dbg_engine_t *e, void *, uint8_t vk, bool down) {
    dbg_record_key(e, e->emu->ticks, vk, down);
}

// The hook goes with the engine; the recording stays until it is closed.
void on_detached(dbg_engine_t *, void *) {
    hook_slot = -1;
}

void unhook(dbg_engine_t *e) {
    dbg_hook_remove(e, hook_slot);
    hook_slot = -1;
}

} // namespace

bool dbg_record_active(const dbg_engine_t *e) {
    return recording_of(e) != nullptr;
}

bool dbg_record_open(dbg_engine_t *e, const std::string &path, std::string *error) {
    // A recording is played only from a regular file, read whole; a FIFO whose reader never
    // reads would stop the machine at the first record. Looking does not open it.
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        *error = path + ": " + emu_not_regular_reason(info.st_mode) +
                 " (a recording is written to a file)";
        return false;
    }
    auto *r = new dbg_recording_t;
    r->path = path;
    emu_file_error_t reason{};
    if (!emu_output_open(&r->out, path.c_str(), &reason)) {
        *error = emu_file_error_message(path, reason);
        delete r;
        return false;
    }
    if (recording_of(e)) {
        emu_output_discard(&recording_of(e)->out);
        delete recording_of(e);
    }
    recording_of(e) = r;
    if (hook_slot < 0)
        hook_slot = dbg_hook_add(e, {nullptr, nullptr, on_changed, on_key, on_detached});
    std::vector<uint8_t> head(session_magic, session_magic + sizeof session_magic);
    put(head, session_version, 4);
    write_bytes(recording_of(e), head);
    dbg_machine_state_t s;
    dbg_state_capture(e, &s);
    dbg_record_state(e, s);
    if (!r->failure.empty()) {
        *error = r->failure;
        delete r;
        recording_of(e) = nullptr;
        unhook(e);
        return false;
    }
    return true;
}

void dbg_record_on_failure(dbg_engine_t *e, std::function<void(const std::string &)> handler) {
    if (recording_of(e)) recording_of(e)->on_failure = std::move(handler);
}

void dbg_record_state(dbg_engine_t *e, const dbg_machine_state_t &state) {
    if (recording_of(e))
        write_record(recording_of(e), state.ticks, DBG_SESSION_STATE, dbg_state_encode(state));
}

void dbg_record_key(dbg_engine_t *e, uint64_t tick, uint8_t vk, bool down) {
    if (recording_of(e))
        write_record(recording_of(e), tick, DBG_SESSION_KEY,
                     {vk, static_cast<uint8_t>(down ? 1 : 0)});
}

bool dbg_record_close(dbg_engine_t *e, std::string *error) {
    dbg_recording_t *r = recording_of(e);
    if (!r) return true;
    unhook(e);
    if (r->complete) {
        delete r;
        recording_of(e) = nullptr;
        return true;
    }
    write_record(r, e->emu->ticks, DBG_SESSION_END, {});
    emu_file_error_t reason{};
    const bool good = r->failure.empty() && emu_output_close(&r->out, &reason);
    if (!r->failure.empty())
        *error = r->failure;
    else if (!good)
        *error = emu_file_error_message(r->path, reason) + " (the recording is lost)";
    delete r;
    recording_of(e) = nullptr;
    return good;
}

bool dbg_session_read(const std::string &path, std::vector<dbg_session_event_t> *events,
                      std::string *error) {
    std::vector<uint8_t> bytes;
    std::string why;
    events->clear();
    auto refuse = [&](const std::string &reason) {
        *error = path + ": " + reason;
        events->clear();
        return false;
    };
    emu_file_error_t reason{};
    if (!emu_read_file(path.c_str(), max_session_size, &bytes, &reason)) return refuse(reason.text);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), session_magic, 8) != 0)
        return refuse("not a Quillane recorded session");
    if (get(bytes.data() + 8, 4) != session_version)
        return refuse("format version " + std::to_string(get(bytes.data() + 8, 4)) +
                      " (this program reads version 1)");
    size_t at = 12;
    uint64_t last_tick = 0;
    while (at < bytes.size()) {
        const std::string where = "record " + std::to_string(events->size() + 1);
        if (bytes.size() - at < record_head + 4) return refuse("truncated at " + where);
        const uint8_t *r = bytes.data() + at;
        dbg_session_event_t ev{};
        ev.tick = get(r, 8);
        const uint8_t kind = r[8];
        const uint64_t length = get(r + 9, 4);
        if (bytes.size() - at - record_head - 4 < length) return refuse("truncated at " + where);
        // Checked before the payload is copied: no state is larger than its format holds.
        if (kind == DBG_SESSION_STATE && length > dbg_state_max_size())
            return refuse(where + ": a state larger than a save state can be");
        const size_t size = record_head + length;
        if (dbg_crc32(0, r, size) != get(r + size, 4))
            return refuse("damaged (checksum mismatch) at " + where);
        const uint8_t *payload = r + record_head;
        if (kind == DBG_SESSION_STATE) {
            ev.state.assign(payload, payload + length);
            dbg_machine_state_t s;
            if (!dbg_state_decode(ev.state, &s, &why)) return refuse(where + ": " + why);
            if (s.ticks != ev.tick) return refuse(where + ": its state's tick differs");
        } else if (kind == DBG_SESSION_KEY) {
            if (length != 2 || payload[1] > 1) return refuse(where + ": a bad key event");
            ev.vk = payload[0];
            ev.down = payload[1] == 1;
        } else if (kind != DBG_SESSION_END || length != 0) {
            return refuse(where + ": unknown kind " + std::to_string(kind));
        }
        ev.kind = static_cast<dbg_session_kind_t>(kind);
        if (events->empty() && ev.kind != DBG_SESSION_STATE)
            return refuse("the first record is not a state");
        if (!events->empty() && events->back().kind == DBG_SESSION_END)
            return refuse("records after the end");
        if (ev.tick < last_tick) return refuse(where + ": its tick goes backwards");
        if (ev.tick > DBG_TICKS_MAX) return refuse(where + ": impossible tick count");
        last_tick = ev.tick;
        events->push_back(std::move(ev));
        at += size + 4;
    }
    if (events->empty() || events->back().kind != DBG_SESSION_END)
        return refuse("truncated (the session has no end record)");
    return true;
}

bool dbg_session_replay(dbg_engine_t *e, const std::vector<dbg_session_event_t> &events,
                        uint64_t until, std::string *error) {
    for (size_t i = 0; i < events.size(); ++i) {
        const dbg_session_event_t &ev = events[i];
        // Inputs came between two T-states of the window's processor thread: the run stops at
        // exactly that tick, inside an instruction if need be, and goes on from there after. The
        // first record is the state the session starts from: nothing runs before it.
        const uint64_t to = std::min(ev.tick, until);
        while (i > 0 && e->emu->ticks < to) {
            const uint64_t before = e->emu->ticks;
            const dbg_stop_t stop = dbg_run_ticks(e, to - before);
            if (stop.cause == DBG_CAUSE_TICKS) continue;
            // A HALT or a breakpoint of the run's own stops the replay where it is.
            *error = "The replay stopped before tick " + std::to_string(ev.tick) + ": " + stop.text;
            return false;
        }
        if (i > 0 && ev.tick > until) return true;
        if (ev.kind == DBG_SESSION_STATE) {
            dbg_machine_state_t s;
            std::string why;
            dbg_state_decode(ev.state, &s, &why);
            dbg_state_restore(e, s);
            dbg_hooks_changed(e, nullptr);
        } else if (ev.kind == DBG_SESSION_KEY) {
            dbg_key_input(e, ev.vk, ev.down);
        }
    }
    return true;
}
