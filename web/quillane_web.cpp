// The browser edition's side of the page: the board and the debug engine driven inline, one batch
// of T-states per call, through C functions the page's script calls (web/quillane.js). Files the
// page hands over (the ROM, opened or dropped images, images from a link) are written to the
// in-memory file system first, so that every load goes through the desktop's loader and gives its
// messages. Strings returned stay valid until the next call that returns one.
#include <cstdint>
#include <cstring>
#include <emscripten/emscripten.h>
#include <string>
#include <vector>

#include "debug/core/engine.h"
#include "debug/front/commands.h"
#include "debug/travel/state.h"
#include "devices/graphics.h"
#include "devices/sound.h"
#include "files/save_block.h"
#include "machine/emu.h"
#include "machine/process.h"
#include "web/keys.h"

namespace {

dbg_engine_t *engine = nullptr;
std::string result;
std::string last_error;
bool command_failed = false;
// The sound stream the page last asked for: 16-bit samples, as the window's audio device gets them.
std::vector<uint8_t> sound_bytes;
constexpr uint64_t command_run_limit = 10000000;
// The frame as the canvas takes it: red, green, blue, alpha.
uint8_t frame_rgba[GFX_FRAME_WIDTH * GFX_FRAME_HEIGHT * 4];

int present_rgba(gui_t *, const uint8_t *frame, const gfx_layout_t *) {
    for (int i = 0, j = 0; i < GFX_FRAME_WIDTH * GFX_FRAME_HEIGHT * 3; i += 3, j += 4) {
        frame_rgba[j] = frame[i + 2];
        frame_rgba[j + 1] = frame[i + 1];
        frame_rgba[j + 2] = frame[i];
        frame_rgba[j + 3] = 0xFF;
    }
    return 0;
}

const char *give(std::string text) {
    result = std::move(text);
    return result.c_str();
}

std::string joined(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

// Puts back the bytes a failed load changed: a bad line keeps the records before it.
void restore_memory(const std::vector<uint8_t> &before) {
    for (uint32_t address = 0; address < EMU_MEMORY_SIZE; ++address)
        if (dbg_peek(engine, static_cast<uint16_t>(address)) != before[address])
            dbg_poke(engine, static_cast<uint16_t>(address), before[address]);
}

} // namespace

extern "C" {

// Powers the board on and loads the ROM at path; PC goes to its start. 0, or 1 with the reason in
// qw_error().
EMSCRIPTEN_KEEPALIVE int qw_start(const char *rom_path) {
    emu_t *emu = &emu_state;
    emu_power_on(emu);
    engine = dbg_attach(emu, DBG_INLINE);
    emu->gui.display_width = GFX_FRAME_WIDTH;
    emu->gui.display_height = GFX_FRAME_HEIGHT;
    emu->gui.present = present_rgba;
    if (dbg_load_hex(emu, rom_path, true, nullptr, &last_error) != 0) return 1;
    dbg_set_rom_path(engine, rom_path);
    return 0;
}

// Loads the monitor's symbols (tessik.sym beside the ROM) for the console, as the desktop's
// debugger does. 0, or 1 with the reason when the file is there but malformed.
EMSCRIPTEN_KEEPALIVE int qw_monitor_symbols() {
    std::string report;
    if (dbg_debug_info_load(engine, "", {}, &report)) return 0;
    last_error = report.substr(0, report.find('\n'));
    return 1;
}

EMSCRIPTEN_KEEPALIVE const char *qw_error() {
    return last_error.c_str();
}

// Loads the Intel HEX images at the paths (separated by newlines) in order, as File > Open does
// (PC unchanged). When one fails, memory is put back as it was before the first and the
// loader's message is in qw_error().
EMSCRIPTEN_KEEPALIVE int qw_load(const char *paths) {
    const std::vector<uint8_t> before = dbg_memory(engine);
    std::string list = paths;
    for (size_t at = 0; at < list.size();) {
        size_t end = list.find('\n', at);
        if (end == std::string::npos) end = list.size();
        if (end > at && !dbg_load_image(engine, list.substr(at, end - at), &last_error)) {
            restore_memory(before);
            return 1;
        }
        at = end + 1;
    }
    return 0;
}

// Types text (with --type's escapes) once the monitor is ready for keys. 0, or 1 with the reason.
EMSCRIPTEN_KEEPALIVE int qw_type(const char *text) {
    std::string error;
    if (dbg_type(engine, dbg_unescape(text), true, &error)) return 0;
    last_error = "type: " + error;
    return 1;
}

// Whether a HALT and an invalid opcode end a run (as in quillane-run) or hold the processor in
// place (as in the window).
EMSCRIPTEN_KEEPALIVE void qw_set_stops(int on) {
    dbg_set_stop_on_halt(engine, on != 0);
    dbg_set_stop_on_invalid(engine, on != 0);
}

// Runs until the first instruction boundary at or past the absolute tick count, or an earlier
// stop. Returns the stop's cause (dbg_cause_t); its text is in qw_error().
EMSCRIPTEN_KEEPALIVE int qw_run_to(double tick) {
    const uint64_t now = dbg_ticks(engine);
    const uint64_t target = tick > 0 ? static_cast<uint64_t>(tick) : 0;
    if (target <= now) return DBG_CAUSE_TICKS;
    const dbg_stop_t stop = dbg_run_ticks(engine, target - now);
    last_error = stop.text;
    return stop.cause;
}

EMSCRIPTEN_KEEPALIVE double qw_ticks() {
    return static_cast<double>(dbg_ticks(engine));
}

EMSCRIPTEN_KEEPALIVE void qw_reset() {
    dbg_reset(engine);
}

// The board key at a KeyboardEvent.code, or 0.
EMSCRIPTEN_KEEPALIVE int qw_key_code(const char *code) {
    return web_key_from_code(code);
}
EMSCRIPTEN_KEEPALIVE void qw_key(int vk, int down) {
    dbg_key(engine, static_cast<uint8_t>(vk), down != 0);
}

EMSCRIPTEN_KEEPALIVE const char *qw_regs() {
    return give(dbg_regs_json(engine));
}
EMSCRIPTEN_KEEPALIVE const char *qw_text() {
    return give(joined(dbg_screen_text(emu_state.memory)));
}
EMSCRIPTEN_KEEPALIVE const char *qw_cells() {
    return give(joined(dbg_screen_cells(emu_state.memory)));
}

// Sound: the window's ring of buffers over the sound generator, pulled on the page's clock as the
// audio device pulls it; qw_sound(n) gives the next n 16-bit samples of the stream (little-endian
// bytes, silence while muted).
EMSCRIPTEN_KEEPALIVE void qw_sound_start() {
    snd_ring_init(&emu_state.snd, &emu_state.psg);
    snd_ring_prime(&emu_state.snd);
}
EMSCRIPTEN_KEEPALIVE const uint8_t *qw_sound(int samples) {
    sound_bytes.resize(static_cast<size_t>(samples) * 2);
    snd_ring_fill(&emu_state.snd, sound_bytes.data(), samples * 2);
    return sound_bytes.data();
}
// A paused or warping board is silent, as in the window.
EMSCRIPTEN_KEEPALIVE void qw_sound_mute(int muted) {
    snd_set_muted(&emu_state.snd, muted != 0);
}

// The frame as PNG: its bytes at the returned address, qw_result_size() of them.
EMSCRIPTEN_KEEPALIVE const char *qw_screenshot() {
    return give(dbg_screenshot_png(engine));
}
EMSCRIPTEN_KEEPALIVE int qw_result_size() {
    return static_cast<int>(result.size());
}

// Save: the block that the save dialog's start and length fields (hexadecimal) name, as the
// Intel HEX text the window writes; null with the dialog's message in qw_error() when the fields
// are refused.
EMSCRIPTEN_KEEPALIVE const char *qw_save(const char *start_text, const char *length_text) {
    uint32_t block = 0;
    const int status = emu_validate_save_block(start_text, length_text, &block);
    if (status != EMU_SAVE_BLOCK_OK) {
        last_error = emu_save_block_message(status);
        return nullptr;
    }
    uint16_t start = 0;
    uint32_t length = 0;
    emu_decode_save_block(block, &start, &length);
    return give(dbg_memory_file(engine, "block.hex", start, length, &last_error));
}

// Save state: the whole machine in the desktop's format, qw_result_size() bytes.
EMSCRIPTEN_KEEPALIVE const char *qw_state_save() {
    dbg_machine_state_t state;
    dbg_state_capture(engine, &state);
    const std::vector<uint8_t> bytes = dbg_state_encode(state);
    return give(std::string(bytes.begin(), bytes.end()));
}

// Load state from a file: 0, or 1 with the reason (another version, damaged, ...) and the machine
// as it was.
EMSCRIPTEN_KEEPALIVE int qw_state_load(const char *path) {
    return dbg_state_load(engine, path, &last_error) ? 0 : 1;
}

// One line of the command language, as the debugger window's console runs it; its output, with
// the error flag in qw_command_failed(). A run command (continue, until, finish) ends within a
// board second, so that the page never waits on a loop without a stop.
EMSCRIPTEN_KEEPALIVE const char *qw_command(const char *line) {
    dbg_set_tick_limit(engine, dbg_ticks_after(dbg_ticks(engine), command_run_limit));
    const dbg_result_t done = dbg_execute(engine, line);
    dbg_set_tick_limit(engine, UINT64_MAX);
    command_failed = done.error;
    return give(done.output);
}
EMSCRIPTEN_KEEPALIVE int qw_command_failed() {
    return command_failed ? 1 : 0;
}

// All 64 KB of memory: qw_result_size() bytes at the returned address.
EMSCRIPTEN_KEEPALIVE const char *qw_memory() {
    const std::vector<uint8_t> memory = dbg_memory(engine);
    return give(std::string(memory.begin(), memory.end()));
}

// Decodes video memory and returns the 320 x 240 red-green-blue-alpha frame.
EMSCRIPTEN_KEEPALIVE const uint8_t *qw_frame() {
    gfx_render(&emu_state.gfx, &emu_state.gui);
    return frame_rgba;
}

} // extern "C"
