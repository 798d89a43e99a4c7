// Coverage as an lcov tracefile.
#include "debug/collect/coverage.h"

#include <algorithm>
#include <map>

#include "debug/collect/profile.h"
#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/info/source.h"
#include "machine/emu.h"

namespace {

// The coverage collected (kept after it stops, for saving) and the hook that collects it.
dbg_coverage_t *collected = nullptr;
int hook_slot = -1;

dbg_coverage_t *&coverage_of(const dbg_engine_t *) {
    return collected;
}

void on_boundary(dbg_engine_t *e, void *) {
    dbg_coverage_boundary(collected, e->emu->ticks, e->emu->cpu.PC);
}

void on_detached(dbg_engine_t *, void *) {
    hook_slot = -1;
}

// One file's record; false when the file has no code lines.
bool lcov_record(dbg_source_t *model, int file, const std::vector<uint32_t> &runs,
                 std::string *out) {
    std::map<int, uint32_t> lines; // code lines and their counts
    for (int index : model->files[file].line_ranges) {
        const dbg_line_range_t &r = model->lines[index];
        if (!r.is_code || r.length == 0) continue;
        uint32_t count = 0;
        for (uint32_t a = r.address; a < r.address + static_cast<uint32_t>(r.length); ++a)
            count = std::max(count, runs[a & 0xFFFF]);
        uint32_t &line = lines[r.line];
        line = std::max(line, count);
    }
    if (lines.empty()) return false;
    *out += "TN:\nSF:" + dbg_code_file_path(model, file) + "\n";
    int found = 0, hit = 0;
    std::string hits;
    for (const dbg_function_t &f : model->functions) {
        // Its first line: of the lines sharing its start ("{" and a loop's start), the lowest.
        int first = 0;
        for (const dbg_line_range_t &r : model->lines)
            if (r.address == f.start && r.file == file && (first == 0 || r.line < first))
                first = r.line;
        if (f.file != file || first == 0) continue;
        *out += "FN:" + std::to_string(first) + "," + f.name + "\n";
        hits += "FNDA:" + std::to_string(runs[f.start]) + "," + f.name + "\n";
        ++found;
        hit += runs[f.start] > 0;
    }
    *out += hits + "FNF:" + std::to_string(found) + "\nFNH:" + std::to_string(hit) + "\n";
    int covered = 0;
    for (const auto &line : lines) {
        *out += "DA:" + std::to_string(line.first) + "," + std::to_string(line.second) + "\n";
        covered += line.second > 0;
    }
    *out += "LF:" + std::to_string(lines.size()) + "\nLH:" + std::to_string(covered) +
            "\nend_of_record\n";
    return true;
}

} // namespace

void dbg_coverage_start(dbg_engine_t *e) {
    dbg_lock(e);
    if (!coverage_of(e)) coverage_of(e) = new dbg_coverage_t;
    coverage_of(e)->runs.assign(0x10000, 0);
    coverage_of(e)->pc = e->emu->cpu.PC;
    coverage_of(e)->tick = e->emu->ticks;
    if (hook_slot < 0)
        hook_slot = dbg_hook_add(e, {nullptr, on_boundary, nullptr, nullptr, on_detached});
    dbg_hook_every(e, hook_slot, true);
    dbg_unlock(e);
}

void dbg_coverage_stop(dbg_engine_t *e) {
    dbg_lock(e);
    dbg_hook_remove(e, hook_slot);
    hook_slot = -1;
    dbg_unlock(e);
}

bool dbg_coverage_text(dbg_engine_t *e, std::string *text, std::string *error) {
    if (!coverage_of(e)) {
        *error = "no coverage counted (coverage start begins it)";
        return false;
    }
    if (!e->source) {
        *error = "no source lines known (load a C program's .cdb or an assembly line table)";
        return false;
    }
    dbg_lock(e);
    const std::vector<uint32_t> runs = coverage_of(e)->runs;
    dbg_unlock(e);
    text->clear();
    for (size_t file = 0; file < e->source->files.size(); ++file)
        lcov_record(e->source, static_cast<int>(file), runs, text);
    if (text->empty()) {
        *error = "no source lines with code are known (load a C program's .cdb or an assembly "
                 "line table)";
        return false;
    }
    return true;
}

bool dbg_coverage_save(dbg_engine_t *e, const std::string &path, std::string *error) {
    std::string text;
    return dbg_coverage_text(e, &text, error) && dbg_write_text_file(path, text, error);
}

dbg_result_t dbg_command_coverage(dbg_engine_t *e, const std::vector<std::string> &args) {
    dbg_result_t result;
    if (dbg_collect_command(e, args, dbg_coverage_start, dbg_coverage_stop, dbg_coverage_save,
                            &result))
        return result;
    return dbg_failed("usage: coverage start | coverage stop | coverage save FILE");
}
