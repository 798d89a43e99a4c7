// Time travel: the history's segments, the periodic and input snapshots, and replaying a segment
// to an instruction boundary for `back` and `rcontinue`.
#include "debug/history.h"

#include <algorithm>
#include <climits>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "debug/engine_internal.h"
#include "debug/record.h"
#include "debug/state.h"
#include "devices/keyboard.h"
#include "machine/emu.h"

// A snapshot and the keys that reached the board after it, in tick order.
struct dbg_history_segment_t {
    dbg_machine_state_t start;
    std::vector<dbg_key_event_t> keys;
};

struct dbg_history_t {
    uint64_t span;     // T-states of board time kept
    uint64_t interval; // T-states between periodic snapshots
    uint64_t next;     // tick of the next periodic snapshot
    std::deque<std::unique_ptr<dbg_history_segment_t>> segments;
    std::unique_ptr<dbg_history_segment_t> spare; // a dropped segment, reused for its memory
};

namespace {

// What one snapshot costs: the memory copy and the records around it.
constexpr size_t segment_bytes = EMU_MEMORY_SIZE + sizeof(dbg_history_segment_t);

uint64_t now(const dbg_engine_t *e) {
    return e->emu->ticks;
}

std::unique_ptr<dbg_history_segment_t> fresh_segment(dbg_history_t *h) {
    std::unique_ptr<dbg_history_segment_t> s = std::move(h->spare);
    if (!s) s = std::make_unique<dbg_history_segment_t>();
    s->keys.clear();
    return s;
}

// Drops the oldest segments while the next one still starts early enough to cover the span, and
// while the snapshots take more than the memory bound (the current segment always stays).
void trim(dbg_engine_t *e) {
    dbg_history_t *h = e->history;
    const uint64_t t = now(e);
    while (h->segments.size() > 1) {
        const bool old = t - std::min(t, h->segments[1]->start.ticks) >= h->span;
        const bool big = h->segments.size() * segment_bytes > DBG_HISTORY_MAX_BYTES;
        if (!old && !big) break;
        h->spare = std::move(h->segments.front());
        h->segments.pop_front();
    }
}

// A new segment starting with the machine as it is now. A segment that starts at this very
// tick is taken over: nothing ran in it, so the new snapshot holds all it held.
void snapshot(dbg_engine_t *e) {
    dbg_history_t *h = e->history;
    if (!h->segments.empty() && h->segments.back()->start.ticks == now(e)) {
        h->segments.back()->keys.clear();
        dbg_state_capture(e, &h->segments.back()->start);
    } else {
        std::unique_ptr<dbg_history_segment_t> s = fresh_segment(h);
        dbg_state_capture(e, &s->start);
        h->segments.push_back(std::move(s));
        trim(e);
    }
    h->next = now(e) + h->interval;
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
// visit(tick) is called at each boundary before end, before its instruction runs; hit(tick, stop)
// after an instruction that hit a watchpoint, with the tick of the boundary after it.
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
            if (ticks >= end) return;
            visit(ticks);
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

// Makes the machine that of the boundary at `tick` in segment i, forgets what came after, and
// puts back what the travel changed. `stop` describes the moment (its cause decides the text).
dbg_stop_t land(travel_t *t, size_t i, uint64_t tick, dbg_stop_t stop) {
    dbg_engine_t *e = t->e;
    dbg_history_t *h = e->history;
    restore(t, *h->segments[i]);
    run_segment(
        e, *h->segments[i], tick, [](uint64_t) {}, [](uint64_t, const dbg_stop_t &) {});
    while (h->segments.size() > i + 1) {
        h->spare = std::move(h->segments.back());
        h->segments.pop_back();
    }
    std::vector<dbg_key_event_t> &keys = h->segments[i]->keys;
    std::erase_if(keys, [&](const dbg_key_event_t &k) { return k.tick > now(e); });
    h->next = h->segments[i]->start.ticks + h->interval;
    e->history_due = false;
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
    if (!e->history || e->history->segments.empty()) {
        dbg_unlock(e);
        *error = "No history is kept (history SECONDS turns it on)";
        return false;
    }
    return true;
}

} // namespace

void dbg_history_start(dbg_engine_t *e, uint32_t seconds) {
    if (seconds == 0) {
        dbg_history_stop(e);
        return;
    }
    if (!e->history) e->history = new dbg_history_t;
    dbg_history_t *h = e->history;
    const uint64_t second = static_cast<uint64_t>(e->emu->cpu_clock_hz);
    h->span = seconds * second;
    h->interval = second / DBG_HISTORY_SNAPSHOTS_PER_SECOND;
    h->segments.clear();
    e->history_due = false;
    snapshot(e);
    dbg_update(e);
}

void dbg_history_stop(dbg_engine_t *e) {
    delete e->history;
    e->history = nullptr;
    e->history_due = false;
    if (e->emu) dbg_update(e);
}

std::string dbg_history_status(dbg_engine_t *e) {
    dbg_lock(e);
    std::string text;
    if (!e->history) {
        text = "History off";
    } else {
        const dbg_history_t *h = e->history;
        const double second = e->emu->cpu_clock_hz;
        const double kept = static_cast<double>(now(e) - h->segments.front()->start.ticks);
        char line[200];
        std::snprintf(line, sizeof line,
                      "History: %.1f s of board time kept (at most %.0f s, %u MB), %zu snapshots, "
                      "%.1f MB",
                      kept / second, static_cast<double>(h->span) / second,
                      DBG_HISTORY_MAX_BYTES >> 20, h->segments.size(),
                      static_cast<double>(h->segments.size() * segment_bytes) / (1 << 20));
        text = line;
    }
    dbg_unlock(e);
    return text;
}

void dbg_input_changed(dbg_engine_t *e) {
    if (!e->history && !e->recording) return;
    if (e->history) {
        snapshot(e);
        if (e->recording) dbg_record_state(e, e->history->segments.back()->start);
        return;
    }
    dbg_machine_state_t s;
    dbg_state_capture(e, &s);
    dbg_record_state(e, s);
}

void dbg_history_mark(dbg_engine_t *e) {
    if (e->history) snapshot(e);
}

void dbg_input_key(dbg_engine_t *e, uint8_t vk, bool down) {
    apply_key(e, vk, down);
    if (e->history) e->history->segments.back()->keys.push_back({now(e), vk, down});
    if (e->recording) dbg_record_key(e, now(e), vk, down);
}

uint64_t dbg_history_next_tick(const dbg_engine_t *e) {
    return e->history && !e->history_due ? e->history->next : UINT64_MAX;
}

void dbg_history_poll(dbg_engine_t *e) {
    if (!e->history || e->history_due || now(e) < e->history->next) return;
    e->history_due = true;
    e->attention->fetch_or(DBG_ATTENTION_CHECK, std::memory_order_relaxed);
}

void dbg_history_boundary(dbg_engine_t *e) {
    e->history_due = false;
    if (e->history) snapshot(e);
    dbg_update(e);
}

bool dbg_back(dbg_engine_t *e, uint64_t count, dbg_stop_t *stop, std::string *error) {
    if (!travel_ready(e, error)) return false;
    dbg_history_t *h = e->history;
    travel_t t;
    travel_begin(&t, e);
    const uint64_t current = now(e);
    uint64_t need = std::max<uint64_t>(count, 1);
    std::vector<uint64_t> boundaries;
    for (size_t i = h->segments.size(); i-- > 0;) {
        boundaries.clear();
        restore(&t, *h->segments[i]);
        run_segment(
            e, *h->segments[i], segment_end(h, i, current),
            [&](uint64_t tick) { boundaries.push_back(tick); },
            [](uint64_t, const dbg_stop_t &) {});
        dbg_stop_t s{};
        s.cause = DBG_CAUSE_STEP;
        if (boundaries.size() >= need) {
            *stop = land(&t, i, boundaries[boundaries.size() - need], s);
            dbg_unlock(e);
            return true;
        }
        need -= boundaries.size();
        if (i == 0) {
            *stop =
                land_at_start(&t, boundaries.empty() ? h->segments[0]->start.ticks : boundaries[0],
                              "At the start of the history, " + std::to_string(count - need) +
                                  " instructions back: ");
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
    dbg_history_t *h = e->history;
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
            },
            [](uint64_t, const dbg_stop_t &) {});
        dbg_stop_t s{};
        s.cause = DBG_CAUSE_STEP;
        if (found) {
            *stop = land(&t, i, at, s);
            dbg_unlock(e);
            return true;
        }
        if (i == 0) {
            *stop = land_at_start(&t, h->segments[0]->start.ticks,
                                  "No earlier line in the history; at its start: ");
            return true;
        }
    }
    travel_end(&t);
    dbg_unlock(e);
    return false;
}

bool dbg_rcontinue(dbg_engine_t *e, dbg_stop_t *stop, std::string *error) {
    if (!travel_ready(e, error)) return false;
    dbg_history_t *h = e->history;
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
                if (!e->break_at[pc]) return;
                for (const dbg_breakpoint_t &b : e->breakpoints) {
                    std::string error;
                    if (b.address == pc && dbg_breakpoint_holds(e, b, &error))
                        hits.push_back({tick, b.id, error});
                }
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
                                  "No earlier stop in the history; at its start: ");
            return true;
        }
    }
    travel_end(&t);
    dbg_unlock(e);
    return false;
}
