// Debug information found beside an image: symbols, SDCC's .cdb, qasm's line table, and the
// monitor's symbols, loaded into the engine's symbol table and source model.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/core/reload.h"
#include "debug/info/asm_lines.h"
#include "debug/info/source.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

bool exists(const std::string &path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(path, ignored);
}

bool has_extension(const std::string &path, const char *extension) {
    return std::filesystem::path(path).extension() == extension;
}

// The engine's model, made when there is none yet.
dbg_source_t *model_for(dbg_engine_t *e) {
    if (!e->source) {
        e->source = new dbg_source_t;
        dbg_source_init(e->source);
        e->source_frame = 0;
    }
    return e->source;
}

void add_dirs(dbg_source_t *model, const std::vector<std::string> &dirs) {
    for (const std::string &dir : dirs)
        if (std::find(model->search_dirs.begin(), model->search_dirs.end(), dir) ==
            model->search_dirs.end())
            model->search_dirs.push_back(dir);
}

// A C program's variables held in memory are data: the disassembler shows their bytes.
void mark_variables(dbg_engine_t *e) {
    for (const dbg_variable_t &v : e->source->variables)
        if (v.place == DBG_VAR_MEMORY && v.type >= 0 &&
            v.type < static_cast<int>(e->source->types.size()) && e->source->types[v.type].size)
            dbg_symbols_add_data(&e->symbols, v.address, e->source->types[v.type].size);
}

// Whether a file is in the model already (the .cdb beside an image and the same file named again
// with --symbols): read twice, its lines and functions would count twice.
bool already_loaded(dbg_engine_t *e, const std::string &path, std::string *canonical,
                    std::string *report) {
    std::error_code ignored;
    *canonical = std::filesystem::weakly_canonical(path, ignored).string();
    if (canonical->empty()) *canonical = path;
    if (!e->source || std::find(e->source->loaded.begin(), e->source->loaded.end(), *canonical) ==
                          e->source->loaded.end())
        return false;
    *report = "Already loaded " + path;
    return true;
}

bool load_cdb(dbg_engine_t *e, const std::string &path, const std::vector<std::string> &dirs,
              std::string *report) {
    std::string canonical;
    if (already_loaded(e, path, &canonical, report)) return true;
    // Read into a copy: a file that fails leaves the model as it was.
    dbg_source_t model;
    if (e->source)
        model = *e->source;
    else
        dbg_source_init(&model);
    add_dirs(&model, dirs);
    std::string error;
    const int records = dbg_source_load_cdb(&model, path, &error);
    if (records < 0) {
        *report = error;
        return false;
    }
    dbg_source_scan_code(&model, e->emu->memory, &e->symbols);
    model.loaded.push_back(canonical);
    *model_for(e) = std::move(model);
    mark_variables(e);
    *report = "Loaded " + std::to_string(records) + " line records from " + path;
    return true;
}

bool load_lines(dbg_engine_t *e, const std::string &path, const std::vector<std::string> &dirs,
                std::string *report) {
    std::string canonical;
    if (already_loaded(e, path, &canonical, report)) return true;
    std::vector<dbg_asm_line_t> lines;
    std::vector<dbg_asm_symbol_t> symbols;
    std::string error;
    if (!dbg_asm_lines_load(path, &lines, &error, &symbols)) {
        *report = error;
        return false;
    }
    // Its labels and constants, and its data lines marked as data (a table without symbols
    // marks its data itself).
    if (!symbols.empty() && dbg_symbols_load(&e->symbols, path, &error) < 0) {
        *report = error;
        return false;
    }
    if (symbols.empty())
        for (const dbg_asm_line_t &l : lines)
            if (!l.is_code) dbg_symbols_add_data(&e->symbols, l.address, l.length);
    dbg_source_t *model = model_for(e);
    add_dirs(model, dirs);
    std::vector<std::string> found;
    for (const dbg_asm_line_t &l : lines) {
        dbg_source_add_line(model, l.file, l.line, l.address,
                            static_cast<uint16_t>(std::min<uint32_t>(l.length, 0xFFFF)), l.is_code);
        // Sources are looked for where the table says they are.
        const std::string dir = std::filesystem::path(l.file).parent_path().string();
        if (!dir.empty()) found.push_back(dir);
    }
    add_dirs(model, found);
    add_dirs(model, {std::filesystem::path(path).parent_path().string()});
    model->loaded.push_back(canonical);
    dbg_source_index(model);
    *report = "Loaded " + std::to_string(lines.size()) + " line records from " + path;
    return true;
}

} // namespace

std::string dbg_monitor_symbols_file(const dbg_engine_t *e) {
    const std::filesystem::path rom(e->rom_path.empty() ? EMU_ROM_FILE_NAME : e->rom_path);
    const std::string name = rom.stem().string() + ".sym";
    const std::filesystem::path dir = rom.parent_path();
    for (const std::filesystem::path &candidate : {dir / name, dir / "rom" / name})
        if (exists(candidate.string())) return candidate.string();
    return "";
}

bool dbg_debug_file_load(dbg_engine_t *e, const std::string &path,
                         const std::vector<std::string> &source_dirs, std::string *report) {
    if (!has_extension(path, ".cdb") && !dbg_asm_lines_is_table(path)) {
        std::string error;
        const int added = dbg_symbols_file_load(e, path, nullptr, &error);
        *report = added >= 0 ? "Loaded " + std::to_string(added) + " symbols from " + path : error;
        return added >= 0;
    }
    dbg_lock(e);
    const bool good = has_extension(path, ".cdb") ? load_cdb(e, path, source_dirs, report)
                                                  : load_lines(e, path, source_dirs, report);
    dbg_unlock(e);
    return good;
}

bool dbg_debug_info_load(dbg_engine_t *e, const std::string &image,
                         const std::vector<std::string> &source_dirs, std::string *report) {
    report->clear();
    bool good = true;
    auto load = [&](const std::string &path) {
        std::string line;
        if (!dbg_debug_file_load(e, path, source_dirs, &line)) good = false;
        *report += line + "\n";
    };
    // The monitor's symbols first: a program's own names, loaded later, win at a shared address.
    const std::string monitor = e->monitor_symbols ? "" : dbg_monitor_symbols_file(e);
    if (!monitor.empty()) {
        std::string error;
        const int added = dbg_symbols_file_load(e, monitor, nullptr, &error);
        e->monitor_symbols = added >= 0;
        *report +=
            (added >= 0 ? "Loaded " + std::to_string(added) + " symbols from " + monitor : error) +
            "\n";
    }
    if (image.empty()) return good;
    const std::vector<std::string> files = dbg_debug_files_beside(image);
    for (const std::string &path : files)
        load(path);
    if (files.empty()) *report += "No debug information beside " + image + "\n";
    return good;
}

std::vector<std::string> dbg_debug_files_beside(const std::string &image) {
    const std::string base = std::filesystem::path(image).replace_extension().string();
    std::vector<std::string> files;
    // SDCC's linker writes both .noi and .map: one of them is enough.
    if (exists(base + ".noi"))
        files.push_back(base + ".noi");
    else if (exists(base + ".map"))
        files.push_back(base + ".map");
    for (const char *extension : {".sym", ".cdb", ".lines"})
        if (exists(base + extension)) files.push_back(base + extension);
    return files;
}
