// Typing text into the keyboard matrix: the key for each character on a US keyboard, and the
// queue of presses and releases by emulated tick.
#include <algorithm>
#include <cctype>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "devices/keyboard.h"
#include "machine/emu.h"
#include "machine/relaxed.h"

namespace {

constexpr uint8_t vk_shift = 0x10;
// Reads of the key port after the PIO was set up for input before typing starts: the monitor's
// start-up reads the matrix once (8 rows) and each poll of its key wait twice (16).
constexpr uint32_t ready_reads = 24;

bool keyboard_live(const kbd_t *kbd) {
    return emu_relaxed_load(kbd->pio_b_state) == 2;
}

} // namespace

bool dbg_key_for_char(char c, uint8_t *vk, bool *shift) {
    *shift = false;
    if (c >= 'a' && c <= 'z') {
        *vk = static_cast<uint8_t>(c - 'a' + 'A');
        return true;
    }
    if (c >= 'A' && c <= 'Z') {
        *vk = static_cast<uint8_t>(c);
        *shift = true;
        return true;
    }
    if (c >= '0' && c <= '9') {
        *vk = static_cast<uint8_t>(c);
        return true;
    }
    // Keys of a US keyboard: unshifted and shifted character, virtual-key code.
    static const struct {
        char plain, shifted;
        uint8_t vk;
    } keys[] = {
        {'`', '~', 0xC0},  {'-', '_', 0xBD}, {'=', '+', 0xBB},  {'[', '{', 0xDB}, {']', '}', 0xDD},
        {'\\', '|', 0xDC}, {';', ':', 0xBA}, {'\'', '"', 0xDE}, {',', '<', 0xBC}, {'.', '>', 0xBE},
        {'/', '?', 0xBF},  {' ', 0, 0x20},   {'\n', 0, 0x0D},   {'\b', 0, 0x08},  {'\t', 0, 0x09},
    };
    static const char digits_shifted[] = ")!@#$%^&*(";
    for (int d = 0; d < 10; ++d)
        if (c == digits_shifted[d]) {
            *vk = static_cast<uint8_t>('0' + d);
            *shift = true;
            return true;
        }
    for (const auto &key : keys) {
        if (c == key.plain) {
            *vk = key.vk;
            return true;
        }
        if (key.shifted && c == key.shifted) {
            *vk = key.vk;
            *shift = true;
            return true;
        }
    }
    return false;
}

bool dbg_typable(const std::string &text, std::string *error) {
    for (const char c : text) {
        uint8_t vk;
        bool shift;
        if (!dbg_key_for_char(c, &vk, &shift)) {
            *error = "No key types the character " + dbg_hex2(static_cast<uint8_t>(c));
            return false;
        }
    }
    return true;
}

bool dbg_type(dbg_engine_t *e, const std::string &text, bool wait_ready, std::string *error,
              uint64_t hold_ticks, uint64_t gap_ticks) {
    if (!dbg_typable(text, error)) return false;
    dbg_lock(e);
    // While the queue waits for the keyboard its ticks count from the moment it is ready.
    uint64_t at = e->keys.empty() ? e->emu->ticks : e->keys.back().tick;
    if (wait_ready && e->keys.empty()) {
        e->typing_wait = true;
        e->key_port_reads = 0;
        at = 0;
    }
    for (const char c : text) {
        uint8_t vk;
        bool shift;
        dbg_key_for_char(c, &vk, &shift);
        if (shift) {
            e->keys.push_back({at, vk_shift, true});
            at += gap_ticks / 4;
        }
        e->keys.push_back({at, vk, true});
        at += hold_ticks;
        e->keys.push_back({at, vk, false});
        if (shift) {
            at += gap_ticks / 4;
            e->keys.push_back({at, vk_shift, false});
        }
        at += gap_ticks;
    }
    // The last release is followed by the gap: an event that only marks the end.
    e->keys.push_back({at, 0, false});
    dbg_hooks_changed(e, nullptr);
    dbg_update(e);
    dbg_unlock(e);
    return true;
}

uint64_t dbg_typing_end(dbg_engine_t *e) {
    return dbg_locked(e, [&] { return e->keys.empty() ? e->emu->ticks : e->keys.back().tick; });
}

bool dbg_typing_pending(dbg_engine_t *e) {
    return dbg_locked(e, [&] { return !e->keys.empty(); });
}

bool dbg_typing_waits(dbg_engine_t *e) {
    return dbg_locked(e, [&] { return e->typing_wait; });
}

void dbg_key_input(dbg_engine_t *e, uint8_t vk, bool down) {
    if (down)
        kbd_register_keydown(&e->emu->kbd, vk);
    else
        kbd_register_keyup(&e->emu->kbd, vk);
    dbg_hooks_key(e, vk, down);
}

void dbg_key(dbg_engine_t *e, uint8_t vk, bool down) {
    dbg_lock(e);
    dbg_key_input(e, vk, down);
    dbg_unlock(e);
}

bool dbg_key_by_name(const std::string &name, uint8_t *vk) {
    std::string upper = name;
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const struct {
        const char *name;
        uint8_t vk;
    } words[] = {{"ENTER", 0x0D},   {"SPACE", 0x20}, {"SHIFT", 0x10},     {"CTRL", 0x11},
                 {"CONTROL", 0x11}, {"TAB", 0x09},   {"BACKSPACE", 0x08}, {"CAPSLOCK", 0x14}};
    for (const auto &w : words)
        if (upper == w.name) {
            *vk = w.vk;
            return true;
        }
    // One character: the key that types it unshifted (a letter in either case).
    bool shift;
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
    return name.size() == 1 && c > ' ' && dbg_key_for_char(c, vk, &shift) && !shift;
}

void dbg_key_after_queue(dbg_engine_t *e, uint8_t vk, bool down) {
    dbg_lock(e);
    if (e->keys.empty()) {
        dbg_key_input(e, vk, down);
    } else {
        e->keys.push_back({e->keys.back().tick, vk, down});
        dbg_hooks_changed(e, nullptr);
    }
    dbg_unlock(e);
}

void dbg_key_hold(dbg_engine_t *e, uint8_t vk, uint64_t ticks) {
    dbg_lock(e);
    const uint64_t at = e->keys.empty() ? e->emu->ticks : e->keys.back().tick;
    if (vk) e->keys.push_back({at, vk, true});
    e->keys.push_back({at + ticks, vk, false});
    dbg_hooks_changed(e, nullptr);
    dbg_update(e);
    dbg_unlock(e);
}

void dbg_keys_port_read(dbg_engine_t *e, uint8_t port) {
    if (port == 0x11 && keyboard_live(&e->emu->kbd)) ++e->key_port_reads;
}

void dbg_keys_at_boundary(dbg_engine_t *e) {
    const uint64_t now = e->emu->ticks;
    if (e->typing_wait) {
        if (e->key_port_reads < ready_reads) return;
        e->typing_wait = false;
        e->keys.delay(now);
        dbg_update(e);
    }
    while (!e->keys.empty() && e->keys.front().tick <= now) {
        const dbg_key_event_t k = e->keys.front();
        e->keys.pop_front();
        if (k.vk == 0) continue;
        if (k.down)
            kbd_register_keydown(&e->emu->kbd, k.vk);
        else
            kbd_register_keyup(&e->emu->kbd, k.vk);
    }
    if (e->keys.empty()) dbg_update(e);
}
