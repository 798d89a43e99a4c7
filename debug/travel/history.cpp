// Time travel: the history's segments, the periodic and input snapshots, and replaying a segment
// to an instruction boundary for `back` and `rcontinue`.
#include "debug/travel/history.h"

#include <algorithm>
#include <climits>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "debug/core/engine_internal.h"
#include "debug/travel/record.h"
#include "debug/travel/state.h"
#include "devices/keyboard.h"
#include "machine/emu.h"

// A snapshot and the keys that reached the board after it, in tick order.
struct dbg_history_segment_t {
    dbg_machine_state_t start;
    std::vector<dbg_key_event_t> keys;
    // Why a new timeline starts with this snapshot (a state loaded, ...), or null: the history
    // holds nothing before such a segment.
    const char *timeline;
};

struct dbg_history_t {
    uint64_t span;     // T-states of board time kept
    uint64_t interval; // T-states between periodic snapshots
    uint64_t next;     // tick of the next periodic snapshot
    std::deque<std::unique_ptr<dbg_history_segment_t>> segments;
    std::unique_ptr<dbg_history_segment_t> spare; // a dropped segment, reused for its memory
};

namespace {

// The history of the process's one engine, and the hook it watches the machine through.
dbg_history_t *kept = nullptr;
int hook_slot = -1;

dbg_history_t *history_of(const dbg_engine_t *) {
    return kept;
}

// Keys from outside the typing queue kept in one segment: past it a new segment starts, so that
// the oldest keys can go with their segment when the history is over its bound.
constexpr size_t segment_keys_max = 4096;

uint64_t now(const dbg_engine_t *e) {
    return e->emu->ticks;
}

// What a segment costs without its typing queue: the records, the memory copy, its key log.
size_t segment_bytes(const dbg_history_segment_t &s) {
    return sizeof s + s.start.memory.capacity() + s.keys.capacity() * sizeof(dbg_key_event_t);
}

// The typing queue's events of segment i when no older segment shares them (snapshots in a row
// share one queue until keys are queued again), else 0: each queue is counted once.
size_t queue_bytes(const dbg_history_t *h, size_t i) {
    const dbg_key_queue_t &q = h->segments[i]->start.keys;
    if (i > 0 && h->segments[i - 1]->start.keys.storage() == q.storage()) return 0;
    return q.storage_bytes();
}

// Everything the history keeps.
size_t history_bytes(const dbg_history_t *h) {
    size_t bytes = sizeof *h + (h->spare ? segment_bytes(*h->spare) : 0);
    for (size_t i = 0; i < h->segments.size(); ++i)
        bytes += segment_bytes(*h->segments[i]) + queue_bytes(h, i);
    return bytes;
}

std::unique_ptr<dbg_history_segment_t> fresh_segment(dbg_history_t *h) {
    std::unique_ptr<dbg_history_segment_t> s = std::move(h->spare);
    if (!s) s = std::make_unique<dbg_history_segment_t>();
    s->keys.clear();
    s->timeline = nullptr;
    return s;
}

// Keeps a dropped segment for its memory copy only: its typing queue and key log go.
void drop(dbg_history_t *h, std::unique_ptr<dbg_history_segment_t> s) {
    s->start.keys.clear();
    s->keys = {};
    h->spare = std::move(s);
}

// Drops the oldest segments while the next one still starts early enough to cover the span, and
// while the history takes more than its memory bound (the current segment always stays).
void trim(dbg_engine_t *e) {
    dbg_history_t *h = history_of(e);
    const uint64_t t = now(e);
    while (h->segments.size() > 1) {
        const bool old = t - std::min(t, h->segments[1]->start.ticks) >= h->span;
        if (!old && history_bytes(h) <= DBG_HISTORY_MAX_BYTES) break;
        drop(h, std::move(h->segments.front()));
        h->segments.pop_front();
    }
}

// A new segment starting with the machine as it is now; `timeline` (or null) says why nothing
// before it belongs to what follows, and then the older segments go. A segment that starts at
// this very tick is taken over: nothing ran in it, so the new snapshot holds all it held.
void snapshot(dbg_engine_t *e, const char *timeline = nullptr) {
    dbg_history_t *h = history_of(e);
    if (!h->segments.empty() && h->segments.back()->start.ticks == now(e)) {
        h->segments.back()->keys.clear();
        dbg_state_capture(e, &h->segments.back()->start);
        if (timeline) h->segments.back()->timeline = timeline;
    } else {
        std::unique_ptr<dbg_history_segment_t> s = fresh_segment(h);
        dbg_state_capture(e, &s->start);
        s->timeline = timeline;
        h->segments.push_back(std::move(s));
    }
    if (timeline)
        while (h->segments.size() > 1) {
            drop(h, std::move(h->segments.front()));
            h->segments.pop_front();
        }
    trim(e);
    h->next = now(e) + h->interval;
    dbg_hook_due(e, hook_slot, h->next);
}

void apply_key(dbg_engine_t *e, uint8_t vk, bool down) {
    if (down)
        kbd_register_keydown(&e->emu->kbd, vk);
    else
        kbd_register_keyup(&e->emu->kbd, vk);
}

// The state of a travel: what it changes for its duration and puts back after.
struct travel_t {
    dbg_engine_t *e;
    uint64_t from;   // the tick travel started at
    int64_t shifted; // tick moves already told to the sound recording by each restore
    dbg_port_observer_t observer;
    std::vector<uint32_t> hits;
    uint64_t halts;
};

void travel_begin(travel_t *t, dbg_engine_t *e) {
    t->e = e;
    t->from = now(e);
    t->shifted = 0;
    // Replayed port accesses and watchpoint hits happened already; they are not told or counted
    // twice.
    t->observer = e->port_observer;
    e->port_observer = nullptr;
    for (const dbg_watchpoint_t &w : e->watchpoints)
        t->hits.push_back(w.hits);
    t->halts = e->halts;
}

// Puts back what the travel changed for its duration.
void travel_end(travel_t *t) {
    dbg_engine_t *e = t->e;
    e->port_observer = t->observer;
    for (size_t w = 0; w < e->watchpoints.size() && w < t->hits.size(); ++w)
        e->watchpoints[w].hits = t->hits[w];
    e->halts = t->halts;
}

void restore(travel_t *t, const dbg_history_segment_t &s) {
    const uint64_t before = now(t->e);
    dbg_state_restore(t->e, s.start);
    t->shifted += static_cast<int64_t>(s.start.ticks - before);
}

// Runs segment s, just restored, to the first instruction boundary at or after `end`, as the
// forward run did: the typing queue's keys at each boundary after the first instruction, the
// segment's own keys at the first boundary at or after their tick (an instruction makes all its
// accesses in its first T-state, so a key that came in its middle counts from the next one).
// visit(tick) is called at each boundary before end, before its instruction runs, and stops the
// run there when it returns false; hit(tick, stop) after an instruction that hit a watchpoint,
// with the tick of the boundary after it.
template <class Visit, class Hit>
void run_segment(dbg_engine_t *e, const dbg_history_segment_t &s, uint64_t end, Visit &&visit,
                 Hit &&hit) {
    z_cpu_t *cpu = &e->emu->cpu;
    uint64_t &ticks = e->emu->ticks;
    size_t next_key = 0;
    bool ran = false;
    e->pending = false;
    for (;;) {
        if (cpu->cycles < 2) {
            if (ran && !e->keys.empty()) dbg_keys_at_boundary(e);
            while (next_key < s.keys.size() && s.keys[next_key].tick <= ticks) {
                apply_key(e, s.keys[next_key].vk, s.keys[next_key].down);
                ++next_key;
            }
            if (ticks >= end || !visit(ticks)) return;
            z_step(cpu);
            ++ticks;
        }
        if (cpu->cycles >= 2) {
            ticks += cpu->cycles - 1u;
            cpu->cycles = 1;
        }
        ran = true;
        if (e->pending) {
            const dbg_cause_t c = e->pending_stop.cause;
            if (c == DBG_CAUSE_WATCH_READ || c == DBG_CAUSE_WATCH_WRITE || c == DBG_CAUSE_PORT_IN ||
                c == DBG_CAUSE_PORT_OUT)
                hit(ticks, e->pending_stop);
            e->pending = false;
        }
    }
}

// The segment that holds a tick: the last one starting at or before it.
size_t segment_of(const dbg_history_t *h, uint64_t tick) {
    size_t i = h->segments.size() - 1;
    while (i > 0 && h->segments[i]->start.ticks > tick)
        --i;
    return i;
}

// Where a segment's instructions end: the next segment's start, or now for the current one.
uint64_t segment_end(const dbg_history_t *h, size_t i, uint64_t current) {
    return i + 1 < h->segments.size() ? h->segments[i + 1]->start.ticks : current;
}

void no_hit(uint64_t, const dbg_stop_t &) {}

// With the machine at a boundary of segment i (replayed there): forgets what came after, and
// puts back what the travel changed. `stop` describes the moment (its cause decides the text).
dbg_stop_t settle(travel_t *t, size_t i, dbg_stop_t stop) {
    dbg_engine_t *e = t->e;
    dbg_history_t *h = history_of(e);
    while (h->segments.size() > i + 1) {
        drop(h, std::move(h->segments.back()));
        h->segments.pop_back();
    }
    std::vector<dbg_key_event_t> &keys = h->segments[i]->keys;
    std::erase_if(keys, [&](const dbg_key_event_t &k) { return k.tick > now(e); });
    h->next = h->segments[i]->start.ticks + h->interval;
    dbg_hook_due(e, hook_slot, h->next);
    travel_end(t);
    // The sound recording goes on from the moment reached.
    dbg_wav_shift(e, static_cast<int64_t>(now(e) - t->from) - t->shifted);
    e->pending_stop = stop;
    e->pending = true;
    e->last_stop = dbg_make_stop(e, stop.cause);
    const std::string stopped_at = "Stopped at ";
    if (stop.cause == DBG_CAUSE_STEP && e->last_stop.text.starts_with(stopped_at))
        e->last_stop.text = "Back at " + e->last_stop.text.substr(stopped_at.size());
    e->pending = false;
    dbg_update(e);
    return e->last_stop;
}

// Makes the machine that of the boundary at `tick` in segment i, and settles there.
dbg_stop_t land(travel_t *t, size_t i, uint64_t tick, dbg_stop_t stop) {
    const dbg_history_segment_t &s = *history_of(t->e)->segments[i];
    restore(t, s);
    run_segment(
        t->e, s, tick, [](uint64_t) { return true; }, no_hit);
    return settle(t, i, stop);
}

// The same at the segment's boundary number `index` (0 is its first), found by counting as the
// segment is replayed rather than by keeping each boundary's tick.
dbg_stop_t land_nth(travel_t *t, size_t i, uint64_t index, dbg_stop_t stop) {
    dbg_history_t *h = history_of(t->e);
    const dbg_history_segment_t &s = *h->segments[i];
    uint64_t seen = 0;
    restore(t, s);
    run_segment(
        t->e, s, segment_end(h, i, t->from), [&](uint64_t) { return seen++ < index; }, no_hit);
    return settle(t, i, stop);
}

// Why the history starts where it does, for travel that reaches its start: " (state loaded)"
// where a timeline starts there, else nothing.
std::string start_reason(const dbg_history_t *h) {
    const char *why = h->segments[0]->timeline;
    return why ? std::string(" (") + why + ")" : "";
}

// Lands in the first segment at tick, when travel reached the start of the history: a step stop
// whose report begins with why. Leaves the lock.
dbg_stop_t land_at_start(travel_t *t, uint64_t tick, const std::string &why) {
    dbg_stop_t s{};
    s.cause = DBG_CAUSE_STEP;
    dbg_stop_t stop = land(t, 0, tick, s);
    stop.text = why + stop.text;
    t->e->last_stop.text = stop.text;
    dbg_unlock(t->e);
    return stop;
}

// Checks that travel can start; takes the lock when it can.
bool travel_ready(dbg_engine_t *e, std::string *error) {
    if (!e->emu) {
        *error = "No machine attached";
        return false;
    }
    if (dbg_is_running(e)) {
        *error = "The machine is running: pause it first";
        return false;
    }
    dbg_lock(e);
    if (!history_of(e) || history_of(e)->segments.empty()) {
        dbg_unlock(e);
        *error = "No history is kept (history SECONDS turns it on)";
        return false;
    }
    return true;
}

} // namespace

namespace {

// A change by hand (timeline null) or one that starts a new timeline.
void on_changed(dbg_engine_t *e, void *, const char *timeline) {
    snapshot(e, timeline);
}

// A periodic snapshot, due by board time.
void on_boundary(dbg_engine_t *e, void *) {
    snapshot(e);
}

void on_key(dbg_engine_t *e, void *, uint8_t vk, bool down) {
    std::vector<dbg_key_event_t> &keys = history_of(e)->segments.back()->keys;
    keys.push_back({now(e), vk, down});
    // The key is in the machine now: a snapshot holds it and the log starts again.
    if (keys.size() >= segment_keys_max) snapshot(e);
}

void on_detached(dbg_engine_t *, void *) {
    delete kept;
    kept = nullptr;
    hook_slot = -1;
}

} // namespace

namespace {

void history_stop(dbg_engine_t *e) {
    if (!kept) return;
    dbg_hook_remove(e, hook_slot);
    on_detached(e, nullptr);
}

} // namespace

void dbg_history_start(dbg_engine_t *e, uint32_t seconds) {
    dbg_lock(e);
    if (seconds != 0 && !kept) {
        hook_slot = dbg_hook_add(e, {nullptr, on_boundary, on_changed, on_key, on_detached});
        if (hook_slot >= 0) kept = new dbg_history_t;
    }
    if (seconds == 0) {
        history_stop(e);
    } else if (kept) {
        const uint64_t second = static_cast<uint64_t>(e->emu->cpu_clock_hz);
        kept->span = seconds * second;
        kept->interval = second / DBG_HISTORY_SNAPSHOTS_PER_SECOND;
        kept->segments.clear();
        snapshot(e);
    }
    dbg_unlock(e);
}

void dbg_history_stop(dbg_engine_t *e) {
    dbg_lock(e);
    history_stop(e);
    dbg_unlock(e);
}

uint64_t dbg_history_next_tick(const dbg_engine_t *e) {
    return history_of(e) ? history_of(e)->next : UINT64_MAX;
}

std::string dbg_history_status(dbg_engine_t *e) {
    dbg_lock(e);
    std::string text;
    if (!history_of(e)) {
        text = "History off";
    } else {
        const dbg_history_t *h = history_of(e);
        const double second = e->emu->cpu_clock_hz;
        const double kept = static_cast<double>(now(e) - h->segments.front()->start.ticks);
        char line[200];
        std::snprintf(line, sizeof line,
                      "History: %.1f s of board time kept (at most %.0f s, %u MB), %zu snapshots, "
                      "%.1f MB",
                      kept / second, static_cast<double>(h->span) / second,
                      DBG_HISTORY_MAX_BYTES >> 20, h->segments.size(),
                      static_cast<double>(history_bytes(h)) / (1 << 20));
        text = line;
    }
    dbg_unlock(e);
    return text;
}

size_t dbg_history_bytes(dbg_engine_t *e) {
    dbg_lock(e);
    const size_t bytes = history_of(e) ? history_bytes(history_of(e)) : 0;
    dbg_unlock(e);
    return bytes;
}

bool dbg_back(dbg_engine_t *e, uint64_t count, dbg_stop_t *stop, std::string *error) {
    if (!travel_ready(e, error)) return false;
    dbg_history_t *h = history_of(e);
    travel_t t;
    travel_begin(&t, e);
    const uint64_t current = now(e);
    uint64_t need = std::max<uint64_t>(count, 1);
    for (size_t i = h->segments.size(); i-- > 0;) {
        // The segment's boundaries are counted, then it is replayed again to the one asked for.
        uint64_t boundaries = 0, first = h->segments[i]->start.ticks;
        restore(&t, *h->segments[i]);
        run_segment(
            e, *h->segments[i], segment_end(h, i, current),
            [&](uint64_t tick) {
                if (boundaries++ == 0) first = tick;
                return true;
            },
            no_hit);
        dbg_stop_t s{};
        s.cause = DBG_CAUSE_STEP;
        if (boundaries >= need) {
            *stop = land_nth(&t, i, boundaries - need, s);
            dbg_unlock(e);
            return true;
        }
        need -= boundaries;
        if (i == 0) {
            *stop = land_at_start(&t, first,
                                  "At the start of the history" + start_reason(h) + ", " +
                                      std::to_string(count - need) + " instructions back: ");
            return true;
        }
    }
    travel_end(&t);
    dbg_unlock(e);
    return false;
}

bool dbg_back_by(dbg_engine_t *e, dbg_granularity_t granularity, dbg_stop_t *stop,
                 std::string *error) {
    const dbg_source_t *model = e->source;
    if (granularity == DBG_GRAN_INSTRUCTION || !model ||
        !dbg_source_line_at(model, dbg_registers(e).PC))
        return dbg_back(e, 1, stop, error);
    if (!travel_ready(e, error)) return false;
    dbg_history_t *h = history_of(e);
    travel_t t;
    travel_begin(&t, e);
    const uint64_t current = now(e);
    // A line starts where a line step stops: a line start, but not a C function's first byte
    // where set-up code runs before its first line.
    auto line_start = [model](uint16_t pc) {
        if (!dbg_source_is_line_start(model, pc)) return false;
        const dbg_function_t *f = dbg_source_function_at(model, pc);
        return !f || f->start != pc || dbg_source_function_body(model, f) == pc;
    };
    for (size_t i = h->segments.size(); i-- > 0;) {
        bool found = false;
        uint64_t at = 0;
        restore(&t, *h->segments[i]);
        run_segment(
            e, *h->segments[i], segment_end(h, i, current),
            [&](uint64_t tick) {
                if (tick < current && line_start(e->emu->cpu.PC)) {
                    found = true;
                    at = tick;
                }
                return true;
            },
            no_hit);
        dbg_stop_t s{};
        s.cause = DBG_CAUSE_STEP;
        if (found) {
            *stop = land(&t, i, at, s);
            dbg_unlock(e);
            return true;
        }
        if (i == 0) {
            *stop = land_at_start(&t, h->segments[0]->start.ticks,
                                  "No earlier line in the history; at its start" + start_reason(h) +
                                      ": ");
            return true;
        }
    }
    travel_end(&t);
    dbg_unlock(e);
    return false;
}

bool dbg_rcontinue(dbg_engine_t *e, dbg_stop_t *stop, std::string *error) {
    if (!travel_ready(e, error)) return false;
    dbg_history_t *h = history_of(e);
    travel_t t;
    travel_begin(&t, e);
    const uint64_t current = now(e);
    // Condition-true hits of each breakpoint found after the segment being searched: a hit's
    // number is its count of hits less those, and it stops only past the skip count it was set
    // with, as running forwards.
    std::map<int, uint32_t> later;
    // Stopped at a breakpoint: its hit here was counted, and is not before now.
    if (e->last_stop.cause == DBG_CAUSE_BREAKPOINT && e->last_stop.pc == e->emu->cpu.PC)
        later[e->last_stop.breakpoint] = 1;
    for (size_t i = h->segments.size(); i-- > 0;) {
        const uint64_t end = segment_end(h, i, current);
        bool found = false;
        uint64_t at = 0;
        dbg_stop_t best{};
        struct hit_t {
            uint64_t tick;
            int id;
            std::string error; // a condition that could not be evaluated
        };
        std::vector<hit_t> hits;
        restore(&t, *h->segments[i]);
        run_segment(
            e, *h->segments[i], end,
            [&](uint64_t tick) {
                const uint16_t pc = e->emu->cpu.PC;
                if (!e->break_at[pc]) return true;
                for (const dbg_breakpoint_t &b : e->breakpoints) {
                    std::string error;
                    if (b.address == pc && dbg_breakpoint_holds(e, b, &error))
                        hits.push_back({tick, b.id, error});
                }
                return true;
            },
            [&](uint64_t tick, const dbg_stop_t &hit) {
                if (tick > end || tick >= current) return;
                best = hit;
                found = true;
                at = tick;
            });
        for (size_t n = hits.size(); n-- > 0;) {
            const hit_t &hit = hits[n];
            // A watchpoint stop found at this boundary names it, as it does running forward.
            if (found && hit.tick <= at) break;
            const auto b = std::find_if(e->breakpoints.begin(), e->breakpoints.end(),
                                        [&](const dbg_breakpoint_t &x) { return x.id == hit.id; });
            // Numbered from the latest hit (number `hits`) down; hits from before it was set have
            // no number and stop only where it has no skip count.
            const uint32_t after = later[hit.id]++;
            const uint32_t number = after < b->hits ? b->hits - after : 0;
            if (b->skip_set > 0 && number <= b->skip_set) continue;
            best = dbg_stop_t{};
            best.cause = DBG_CAUSE_BREAKPOINT;
            best.breakpoint = hit.id;
            best.text = hit.error;
            found = true;
            at = hit.tick;
            break;
        }
        if (found) {
            *stop = land(&t, segment_of(h, at), at, best);
            dbg_unlock(e);
            return true;
        }
        if (i == 0) {
            *stop = land_at_start(&t, h->segments[0]->start.ticks,
                                  "No earlier stop in the history; at its start" + start_reason(h) +
                                      ": ");
            return true;
        }
    }
    travel_end(&t);
    dbg_unlock(e);
    return false;
}
