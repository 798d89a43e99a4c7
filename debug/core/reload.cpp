// Live reload: images, symbols and breakpoints of a rebuilt program, then a reset.
#include "debug/core/reload.h"

#include <memory>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "files/file.h"
#include "machine/emu.h"

bool dbg_reload(dbg_engine_t *e, const std::vector<std::string> &images,
                const std::vector<std::string> &type, std::string *error) {
    std::vector<std::unique_ptr<emu_ihex_image_t>> read;
    for (const std::string &path : images) {
        auto image = std::make_unique<emu_ihex_image_t>();
        emu_file_error_t why{};
        if (emu_read_ihex_file(path.c_str(), image.get(), EMU_MEMORY_SIZE, &why) != 0) {
            *error = "Unable to load HEX file: " + path + " (" + why.text +
                     (why.line ? ", line " + std::to_string(why.line) : std::string()) + ")";
            return false;
        }
        read.push_back(std::move(image));
    }
    // Breakpoints at a label, by the label's name.
    struct moved_t {
        int id;
        std::string name;
        uint32_t skip;
    };
    std::vector<moved_t> moved;
    dbg_lock(e);
    for (const dbg_breakpoint_t &b : e->breakpoints) {
        const std::string name = dbg_symbol_at(&e->symbols, b.address);
        if (!name.empty()) moved.push_back({b.id, name, b.skip});
    }
    for (const auto &image : read)
        emu_store_ihex_image(image.get(), e->emu->memory, EMU_MEMORY_SIZE);
    dbg_symbols_clear(&e->symbols);
    // The monitor is not rebuilt: its names stay, loaded first so that the program's own win at
    // a shared address, as at start.
    const std::string monitor = dbg_monitor_symbols_file(e);
    std::string ignored;
    e->monitor_symbols = !monitor.empty() && dbg_symbols_load(&e->symbols, monitor, &ignored) >= 0;
    for (const std::string &path : images) {
        const size_t dot = path.find_last_of('.');
        const size_t slash = path.find_last_of('/');
        const std::string base =
            dot != std::string::npos && (slash == std::string::npos || dot > slash)
                ? path.substr(0, dot)
                : path;
        if (dbg_symbols_load(&e->symbols, base + ".sym", &ignored) < 0)
            dbg_symbols_load(&e->symbols, base + ".noi", &ignored);
    }
    // Queued keys belong to the program that was running.
    e->keys.clear();
    e->typing_wait = false;
    dbg_unlock(e);
    for (const moved_t &m : moved) {
        uint16_t address;
        if (!dbg_symbol_lookup(&e->symbols, m.name, &address)) continue;
        dbg_delete(e, m.id);
        dbg_break_add(e, address, m.skip);
    }
    dbg_reset(e);
    for (const std::string &text : type)
        if (!dbg_type(e, text, true, error)) return false;
    return true;
}
