// Profiles in callgrind's format, and the naming of code shared with coverage.
#include "debug/collect/profile.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/info/asm_lines.h"
#include "debug/info/source.h"
#include "debug/info/symbols.h"
#include "files/output.h"
#include "machine/emu.h"

namespace {

// The profile collected (kept after it stops, for saving) and the hook that collects it.
dbg_profile_t *collected = nullptr;
int hook_slot = -1;

dbg_profile_t *&profile_of(const dbg_engine_t *) {
    return collected;
}

void on_boundary(dbg_engine_t *e, void *) {
    const z_cpu_t &c = e->emu->cpu;
    dbg_profile_boundary(collected, e->emu->ticks, c.PC, c.SP, e->emu->memory);
}

void on_detached(dbg_engine_t *, void *) {
    hook_slot = -1;
}

// Open calls kept at most; deeper ones are counted but get no inclusive cost.
constexpr size_t max_frames = 4096;
// How far above its address a symbol still names code.
constexpr uint32_t symbol_reach = 0x400;

void add(dbg_profile_cost_t *to, const dbg_profile_cost_t &from, const dbg_profile_cost_t &since) {
    to->ts += from.ts - since.ts;
    to->ir += from.ir - since.ir;
}

// A function of the profile: its name, the file it is listed under and its instructions.
struct listed_t {
    std::string name;
    uint16_t start;
    bool c_function; // else code named by a label or an area
    int file;
    std::vector<uint16_t> addresses;
    std::vector<uint32_t> calls; // keys of the calls it makes
};

struct place_t {
    int file;
    int line;
};

place_t place_of(const dbg_source_t *model, uint16_t address) {
    const dbg_line_range_t *r = model ? dbg_source_line_at(model, address) : nullptr;
    return r ? place_t{r->file, r->line} : place_t{-1, 0};
}

// The line of an address of f: C lines belong to C functions only, so that a library routine
// (__mullong) is never listed under a C file that a line's range happens to reach.
place_t place_in(const dbg_source_t *model, const listed_t &f, uint16_t address) {
    const place_t at = place_of(model, address);
    if (f.c_function || at.file < 0) return at;
    const std::filesystem::path name(model->files[at.file].name);
    return name.extension() == ".c" || name.extension() == ".h" ? place_t{-1, 0} : at;
}

// The profile by function: each function's instructions and the calls made from it.
struct summary_t {
    std::vector<listed_t> listed;
    std::map<std::string, size_t> by_name;
    std::unordered_map<uint32_t, dbg_profile_call_t> calls; // with the open ones up to now
    dbg_code_namer_t namer;
    const dbg_source_t *model;

    listed_t &function_of(uint16_t address) {
        uint16_t start = address;
        const std::string name = dbg_code_name(namer, address, &start);
        auto it = by_name.find(name);
        if (it == by_name.end()) {
            it = by_name.emplace(name, listed.size()).first;
            const dbg_function_t *f = model ? dbg_source_function_at(model, start) : nullptr;
            listed.push_back({name, start, f && f->start == start, -1, {}, {}});
            listed.back().file = place_in(model, listed.back(), start).file;
        }
        return listed[it->second];
    }
};

summary_t summarize(dbg_engine_t *e) {
    const dbg_profile_t &p = *profile_of(e);
    summary_t s{{}, {}, p.calls, dbg_code_namer(e->source, &e->symbols), e->source};
    for (const dbg_profile_frame_t &f : p.frames)
        add(&s.calls[f.call].inclusive, p.total, f.at_call);
    for (uint32_t a = 0; a < 0x10000; ++a)
        if (p.self[a].ir) s.function_of(static_cast<uint16_t>(a)).addresses.push_back(a);
    std::vector<uint32_t> keys;
    for (const auto &call : s.calls)
        keys.push_back(call.first);
    std::sort(keys.begin(), keys.end());
    for (uint32_t key : keys) {
        s.function_of(static_cast<uint16_t>(key)); // the callee is listed under its own name
        s.function_of(static_cast<uint16_t>(key >> 16)).calls.push_back(key);
    }
    // A function without a line at its start is listed under the file of its first line.
    for (listed_t &f : s.listed)
        for (size_t i = 0; f.file < 0 && i < f.addresses.size(); ++i)
            f.file = place_in(s.model, f, f.addresses[i]).file;
    return s;
}

std::string callgrind_text(dbg_engine_t *e) {
    const dbg_profile_t &p = *profile_of(e);
    dbg_source_t *model = e->source;
    summary_t s = summarize(e);
    std::vector<listed_t> &listed = s.listed;
    auto &calls = s.calls;
    auto function_of = [&](uint16_t address) -> listed_t & { return s.function_of(address); };

    std::map<int, std::string> paths;
    auto path_of = [&](int file) -> const std::string & {
        auto it = paths.find(file);
        if (it == paths.end())
            it = paths.emplace(file, file < 0 ? "???" : dbg_code_file_path(model, file)).first;
        return it->second;
    };

    std::string out;
    char text[160];
    std::snprintf(text, sizeof text,
                  "# callgrind format\nversion: 1\ncreator: quillane\npositions: instr line\n"
                  "event: Ts : T-states\nevent: Ir : Instructions\nevents: Ts Ir\n"
                  "summary: %" PRIu64 " %" PRIu64 "\n",
                  p.total.ts, p.total.ir);
    out += text;
    std::vector<size_t> order(listed.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return listed[a].start < listed[b].start; });
    for (size_t index : order) {
        const listed_t &f = listed[index];
        out += "\nfl=" + path_of(f.file) + "\nfn=" + f.name + "\n";
        int current = f.file;
        // A cost line at an address, switching files (fi=) when its line is in another one.
        auto position = [&](uint16_t address) {
            const place_t at = place_in(model, f, address);
            if (at.file >= 0 && at.file != current) {
                current = at.file;
                out += "fi=" + path_of(current) + "\n";
            }
            std::snprintf(text, sizeof text, "0x%04X %d", address, at.line);
            out += text;
        };
        for (uint16_t a : f.addresses) {
            position(a);
            std::snprintf(text, sizeof text, " %" PRIu64 " %" PRIu64 "\n", p.self[a].ts,
                          p.self[a].ir);
            out += text;
        }
        for (uint32_t key : f.calls) {
            const uint16_t target = static_cast<uint16_t>(key);
            const listed_t &callee = function_of(target);
            const dbg_profile_call_t &call = calls[key];
            out += "cfl=" + path_of(callee.file) + "\ncfn=" + callee.name + "\n";
            std::snprintf(text, sizeof text, "calls=%" PRIu64 " 0x%04X %d\n", call.count, target,
                          place_of(model, target).line);
            out += text;
            position(static_cast<uint16_t>(key >> 16));
            std::snprintf(text, sizeof text, " %" PRIu64 " %" PRIu64 "\n", call.inclusive.ts,
                          call.inclusive.ir);
            out += text;
        }
    }
    return out;
}

// The ten source lines that took the most T-states, with their share and their text.
std::string hot_lines(dbg_engine_t *e) {
    struct hot_t {
        int file;
        int line;
        uint64_t ts;
    };
    dbg_source_t *model = e->source;
    std::map<std::pair<int, int>, uint64_t> by_line; // (file, line): T-states
    dbg_lock(e);
    const uint64_t total = profile_of(e)->total.ts;
    for (uint32_t a = 0; a < 0x10000; ++a)
        if (const uint64_t ts = profile_of(e)->self[a].ts) {
            const place_t at = place_of(model, static_cast<uint16_t>(a));
            if (at.file >= 0 && at.line >= 1) by_line[{at.file, at.line}] += ts;
        }
    dbg_unlock(e);
    std::vector<hot_t> hot;
    for (const auto &[place, ts] : by_line)
        hot.push_back({place.first, place.second, ts});
    if (hot.empty())
        return "no source line has run (load a C program's .cdb or an assembly line table)\n";
    std::sort(hot.begin(), hot.end(), [](const hot_t &a, const hot_t &b) {
        return a.ts != b.ts ? a.ts > b.ts : a.file != b.file ? a.file < b.file : a.line < b.line;
    });
    std::string out = "line                      T-states   share  source\n";
    char text[200];
    for (size_t i = 0; i < hot.size() && i < 10; ++i) {
        const std::string where =
            model->files[hot[i].file].name + ":" + std::to_string(hot[i].line);
        const std::vector<std::string> &source = dbg_source_text(model, hot[i].file);
        std::string line =
            hot[i].line <= static_cast<int>(source.size()) ? source[hot[i].line - 1] : "";
        line.erase(0, line.find_first_not_of(" \t"));
        std::snprintf(
            text, sizeof text, "%-20.20s %13" PRIu64 " %6.2f%%  %.60s\n", where.c_str(), hot[i].ts,
            total ? 100.0 * static_cast<double>(hot[i].ts) / static_cast<double>(total) : 0.0,
            line.c_str());
        out += text;
    }
    return out;
}

} // namespace

void dbg_profile_start(dbg_engine_t *e) {
    dbg_lock(e);
    if (!profile_of(e)) profile_of(e) = new dbg_profile_t;
    dbg_profile_t &p = *profile_of(e);
    p.self.assign(0x10000, dbg_profile_cost_t{0, 0});
    p.calls.clear();
    p.frames.clear();
    p.total = {0, 0};
    const z_cpu_t &c = e->emu->cpu;
    p.pc = c.PC;
    p.sp = c.SP;
    p.tick = e->emu->ticks;
    if (hook_slot < 0)
        hook_slot = dbg_hook_add(e, {nullptr, on_boundary, nullptr, nullptr, on_detached});
    dbg_hook_every(e, hook_slot, true);
    dbg_unlock(e);
}

void dbg_profile_stop(dbg_engine_t *e) {
    dbg_lock(e);
    dbg_hook_remove(e, hook_slot);
    hook_slot = -1;
    dbg_unlock(e);
}

void dbg_profile_stack(dbg_profile_t *profile, uint16_t pc, uint16_t sp, const uint8_t *memory) {
    dbg_profile_t &p = *profile;
    const dbg_flow_t flow = dbg_flow(memory, p.pc);
    {
        // A frame ends once SP stands above the slot of its return address, except while that
        // comes from a POP or INC SP: SDCC's POP HL / INC SP / JP (HL) ends with the jump.
        const bool unwinding = flow == DBG_FLOW_POP;
        while (!unwinding && !p.frames.empty() &&
               static_cast<int16_t>(sp - p.frames.back().sp) > 0) {
            const dbg_profile_frame_t &f = p.frames.back();
            add(&p.calls[f.call].inclusive, p.total, f.at_call);
            p.frames.pop_back();
        }
        if (flow == DBG_FLOW_CALL && sp == static_cast<uint16_t>(p.sp - 2)) {
            const uint32_t key = static_cast<uint32_t>(p.pc) << 16 | pc;
            ++p.calls[key].count;
            if (p.frames.size() < max_frames) p.frames.push_back({sp, key, p.total});
        }
    }
}

void dbg_profile_forward(dbg_profile_t *p, uint16_t pc, const uint8_t *memory) {
    const uint8_t op = memory[p->pc];
    const bool indirect = op == 0xE9 || ((op == 0xDD || op == 0xFD) &&
                                         memory[static_cast<uint16_t>(p->pc + 1)] == 0xE9);
    if (!indirect) return;
    dbg_profile_frame_t &frame = p->frames.back();
    auto old = p->calls.find(frame.call);
    if (old != p->calls.end() && --old->second.count == 0) p->calls.erase(old);
    frame.call = (frame.call & 0xFFFF0000u) | pc;
    ++p->calls[frame.call].count;
}

std::vector<dbg_hot_spot_t> dbg_profile_hot_spots(dbg_engine_t *e) {
    std::vector<dbg_hot_spot_t> spots;
    if (!profile_of(e)) return spots;
    dbg_lock(e);
    summary_t s = summarize(e);
    const uint64_t total = profile_of(e)->total.ts;
    std::vector<uint64_t> called(s.listed.size(), 0);
    for (const auto &call : s.calls)
        called[s.by_name[s.function_of(static_cast<uint16_t>(call.first)).name]] +=
            call.second.inclusive.ts;
    for (size_t i = 0; i < s.listed.size(); ++i) {
        dbg_hot_spot_t spot{s.listed[i].name, 0, 0, 0.0};
        for (uint16_t a : s.listed[i].addresses)
            spot.self_ts += profile_of(e)->self[a].ts;
        // Never called (the code that was running when profiling started): all it ran.
        spot.inclusive_ts = called[i] ? std::max(called[i], spot.self_ts) : spot.self_ts;
        if (!called[i])
            for (uint32_t key : s.listed[i].calls)
                spot.inclusive_ts += s.calls[key].inclusive.ts;
        if (spot.inclusive_ts == 0) continue; // a callee that had not run an instruction yet
        spot.share = total ? static_cast<double>(spot.self_ts) / static_cast<double>(total) : 0;
        spots.push_back(spot);
    }
    dbg_unlock(e);
    std::sort(spots.begin(), spots.end(), [](const dbg_hot_spot_t &a, const dbg_hot_spot_t &b) {
        return a.self_ts != b.self_ts ? a.self_ts > b.self_ts : a.name < b.name;
    });
    return spots;
}

std::vector<uint64_t> dbg_profile_costs(dbg_engine_t *e) {
    std::vector<uint64_t> costs;
    if (!profile_of(e)) return costs;
    costs.resize(0x10000);
    dbg_lock(e);
    for (size_t a = 0; a < costs.size(); ++a)
        costs[a] = profile_of(e)->self[a].ts;
    dbg_unlock(e);
    return costs;
}

std::vector<uint64_t> dbg_profile_line_costs(const dbg_source_t *model,
                                             const std::vector<uint64_t> &costs, int file) {
    std::vector<uint64_t> lines;
    for (size_t a = 0; a < costs.size(); ++a) {
        if (!costs[a]) continue;
        const place_t at = place_of(model, static_cast<uint16_t>(a));
        if (at.file != file || at.line < 1) continue;
        if (lines.size() <= static_cast<size_t>(at.line)) lines.resize(at.line + 1, 0);
        lines[at.line] += costs[a];
    }
    return lines;
}

bool dbg_profile_text(dbg_engine_t *e, std::string *text, std::string *error) {
    if (!profile_of(e)) {
        *error = "no profile collected (profile start begins one)";
        return false;
    }
    dbg_lock(e);
    *text = callgrind_text(e);
    dbg_unlock(e);
    return true;
}

bool dbg_profile_save(dbg_engine_t *e, const std::string &path, std::string *error) {
    std::string text;
    return dbg_profile_text(e, &text, error) && dbg_write_text_file(path, text, error);
}

dbg_result_t dbg_command_profile(dbg_engine_t *e, const std::vector<std::string> &args) {
    const std::string what = args.empty() ? "" : args[0];
    dbg_result_t result;
    if (dbg_collect_command(e, args, dbg_profile_start, dbg_profile_stop, dbg_profile_save,
                            &result))
        return result;
    if (what == "lines" && args.size() == 1) {
        if (!profile_of(e)) return dbg_failed("no profile collected (profile start begins one)");
        return dbg_done(hot_lines(e));
    }
    if (what.empty()) {
        if (!profile_of(e)) return dbg_failed("no profile collected (profile start begins one)");
        const std::vector<dbg_hot_spot_t> spots = dbg_profile_hot_spots(e);
        std::string out = "function                         self Ts   inclusive Ts   share\n";
        char line[160];
        for (size_t i = 0; i < spots.size() && i < 10; ++i) {
            std::snprintf(line, sizeof line, "%-24.24s %15" PRIu64 " %14" PRIu64 " %6.2f%%\n",
                          spots[i].name.c_str(), spots[i].self_ts, spots[i].inclusive_ts,
                          100.0 * spots[i].share);
            out += line;
        }
        return dbg_done(out);
    }
    return dbg_failed("usage: profile [start | stop | save FILE | lines]");
}

// Naming code. --------------------------------------------------------------------------------

dbg_code_namer_t dbg_code_namer(const dbg_source_t *model, const dbg_symbols_t *symbols) {
    dbg_code_namer_t namer{model, symbols, {}};
    // A C function's own symbol (_main) names nothing past its end: where a function starts or
    // ends, an empty name stops the label below from reaching further.
    std::map<uint16_t, std::string> names;
    if (model)
        for (const dbg_function_t &f : model->functions) {
            names[f.start];
            if (f.end > f.start && f.end < 0x10000) names[static_cast<uint16_t>(f.end)];
        }
    // SDCC's linker areas: code in one without a label of its own (what the library hooks into
    // _GSINIT, crt0's _GSFINAL) is named by the area, and no label reaches past an area's end.
    for (const dbg_symbol_area_t &area : dbg_symbol_areas(symbols)) {
        names[area.start] = area.name;
        if (area.start + area.length < 0x10000)
            names.emplace(static_cast<uint16_t>(area.start + area.length), "");
    }
    for (auto it = symbols->by_address.begin(); it != symbols->by_address.end();
         it = symbols->by_address.upper_bound(it->first)) {
        std::string name = dbg_symbol_at(symbols, it->first);
        const bool function_start = model && dbg_source_function_at(model, it->first) &&
                                    dbg_source_function_at(model, it->first)->start == it->first;
        if (!name.empty() && !function_start) names[it->first] = std::move(name);
    }
    namer.labels.assign(names.begin(), names.end());
    return namer;
}

std::string dbg_code_name(const dbg_code_namer_t &namer, uint16_t address, uint16_t *start) {
    if (namer.model) {
        if (const dbg_function_t *f = dbg_source_function_at(namer.model, address)) {
            *start = f->start;
            return f->name;
        }
    }
    auto it = std::upper_bound(
        namer.labels.begin(), namer.labels.end(), address,
        [](uint16_t a, const std::pair<uint16_t, std::string> &l) { return a < l.first; });
    if (it != namer.labels.begin()) {
        --it;
        if (!it->second.empty() && static_cast<uint32_t>(address - it->first) < symbol_reach) {
            *start = it->first;
            return it->second;
        }
    }
    *start = static_cast<uint16_t>(address & 0xFF00);
    char text[24];
    std::snprintf(text, sizeof text, "0x%04X-0x%04X", *start, *start + 0xFF);
    return text;
}

std::string dbg_code_file_path(dbg_source_t *model, int file) {
    dbg_source_text(model, file); // finds the file
    const dbg_source_file_t &f = model->files[file];
    if (f.path.empty()) return f.name;
    std::error_code failed;
    const std::filesystem::path absolute = std::filesystem::absolute(f.path, failed);
    return failed ? f.path : absolute.lexically_normal().string();
}

bool dbg_collect_command(dbg_engine_t *e, const std::vector<std::string> &args,
                         void (*start)(dbg_engine_t *), void (*stop)(dbg_engine_t *),
                         bool (*save)(dbg_engine_t *, const std::string &, std::string *),
                         dbg_result_t *result) {
    const std::string what = args.empty() ? "" : args[0];
    std::string error;
    if (what == "start" && args.size() == 1)
        start(e);
    else if (what == "stop" && args.size() == 1)
        stop(e);
    else if (what == "save" && args.size() == 2) {
        if (!save(e, args[1], &error)) {
            *result = dbg_failed(error);
            return true;
        }
    } else
        return false;
    *result = dbg_done();
    return true;
}

bool dbg_write_text_file(const std::string &path, const std::string &text, std::string *error) {
    emu_file_error_t reason{};
    if (emu_write_file(path.c_str(), text.data(), text.size(), &reason)) return true;
    *error = emu_file_error_message(path, reason);
    return false;
}
