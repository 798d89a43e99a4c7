// Keyboard matrix behind the PIO. The window thread sets and clears key bits; the processor
// thread selects rows and reads them. Each field has one writer side, so relaxed atomics suffice.
#include "devices/keyboard.h"

#include "machine/relaxed.h"
#include <atomic>

// Ordered by row, then bit; rows 5, 6 and 7 have no key at bit 7, and row 7 bit 4 is empty.
const kbd_key_t kbd_map[64] = {
    {0xC0, 0, 0}, {0x31, 0, 1}, {0x32, 0, 2}, {0x33, 0, 3}, {0x34, 0, 4}, {0x35, 0, 5},
    {0x36, 0, 6}, {0x37, 0, 7}, {0x38, 1, 0}, {0x39, 1, 1}, {0x30, 1, 2}, {0xBD, 1, 3},
    {0xBB, 1, 4}, {0x08, 1, 5}, {0x09, 1, 6}, {0x51, 1, 7}, {0x57, 2, 0}, {0x45, 2, 1},
    {0x52, 2, 2}, {0x54, 2, 3}, {0x59, 2, 4}, {0x55, 2, 5}, {0x49, 2, 6}, {0x4F, 2, 7},
    {0x50, 3, 0}, {0xDB, 3, 1}, {0xDD, 3, 2}, {0xDC, 3, 3}, {0x14, 3, 4}, {0x41, 3, 5},
    {0x53, 3, 6}, {0x44, 3, 7}, {0x46, 4, 0}, {0x47, 4, 1}, {0x48, 4, 2}, {0x4A, 4, 3},
    {0x4B, 4, 4}, {0x4C, 4, 5}, {0xBA, 4, 6}, {0xDE, 4, 7}, {0x0D, 5, 0}, {0x10, 5, 1},
    {0x5A, 5, 2}, {0x58, 5, 3}, {0x43, 5, 4}, {0x56, 5, 5}, {0x42, 5, 6}, {0x4E, 6, 0},
    {0x4D, 6, 1}, {0xBC, 6, 2}, {0xBE, 6, 3}, {0xBF, 6, 4}, {0xA1, 6, 5}, {0x11, 6, 6},
    {0x5B, 7, 0}, {0xA4, 7, 1}, {0x20, 7, 2}, {0xA5, 7, 3}, {0x00, 7, 4}, {0x5C, 7, 5},
    {0xA3, 7, 6}, {0x00, 0, 0}, {0x00, 0, 0}, {0x00, 0, 0},
};

template <class T> static inline T kbd_load(const T &field) {
    return emu_relaxed_load(field);
}
template <class T> static inline void kbd_store(T &field, T value) {
    emu_relaxed_store(field, value);
}

static void kbd_clear(kbd_t *kbd) {
    kbd_store(kbd->pio_a_state, 0);
    kbd_store(kbd->pio_b_state, 0);
    kbd_store(kbd->row_select, uint8_t{0});
    for (uint8_t &row : kbd->rows)
        kbd_store(row, uint8_t{0});
}

int kbd_initialize(kbd_t *kbd) {
    kbd_clear(kbd);
    return 0;
}

void kbd_reset(kbd_t *kbd) {
    kbd_clear(kbd);
}

int kbd_find_scancode(uint32_t key) {
    const uint8_t code = static_cast<uint8_t>(key);
    for (int i = 0; i < 64; ++i)
        if (kbd_map[i].code == code) return i;
    return -1;
}

uint8_t kbd_get_port_b_register(const kbd_t *kbd) {
    const uint8_t select = kbd_load(kbd->row_select);
    uint8_t value = 0;
    for (int i = 0; i < 8; ++i)
        if (select & (1u << i)) value |= kbd_load(kbd->rows[i]);
    return value;
}

static bool kbd_is_live(const kbd_t *kbd) {
    return kbd_load(kbd->pio_a_state) == 2 || kbd_load(kbd->pio_b_state) == 2;
}

// The matrix position of a key event, or -1. Code 0 marks the table's empty places (row 7 bit 4
// and the three spare entries), so an event whose code's low byte is 0 is no key at all.
static int kbd_key_index(uint32_t key) {
    if (static_cast<uint8_t>(key) == 0) return -1;
    return kbd_find_scancode(key);
}

void kbd_register_keydown(kbd_t *kbd, uint32_t key) {
    if (!kbd_is_live(kbd)) return;
    const int index = kbd_key_index(key);
    if (index < 0) return;
    uint8_t &row = kbd->rows[kbd_map[index].row];
    kbd_store(row, static_cast<uint8_t>(kbd_load(row) | (1u << kbd_map[index].bit)));
}

void kbd_register_keyup(kbd_t *kbd, uint32_t key) {
    if (!kbd_is_live(kbd)) return;
    const int index = kbd_key_index(key);
    if (index < 0) return;
    uint8_t &row = kbd->rows[kbd_map[index].row];
    kbd_store(row, static_cast<uint8_t>(kbd_load(row) & ~(1u << kbd_map[index].bit)));
}

// A control byte is a mode word when its low nibble is all ones; a bit-control (mode 3) word
// also has bits 7 and 6 set. Everything else (vectors, interrupt words) leaves the state alone.
static bool kbd_is_mode_word(uint8_t v) {
    return (v & 0x0F) == 0x0F;
}
static bool kbd_is_bit_control(uint8_t v) {
    return (v & 0xCF) == 0xCF;
}

static int32_t kbd_port_b_next(int32_t state, uint8_t v) {
    if (!kbd_is_bit_control(v)) return 0;
    switch (state) {
    case 0: return 1;
    case 1: return v == 0xFF ? 2 : 0; // the direction byte: all bits inputs
    default: return 2;
    }
}

// Port A's sequence never completes: a second bit-control word drops it back to 0.
static int32_t kbd_port_a_next(int32_t state, uint8_t v) {
    if (!kbd_is_bit_control(v)) return 0;
    switch (state) {
    case 0: return 1;
    case 1: return 0;
    default: return 2;
    }
}

void kbd_pio_io_write(kbd_t *kbd, uint16_t port, uint8_t value) {
    switch (static_cast<uint8_t>(port)) {
    case 0x10: kbd_store(kbd->row_select, value); break;
    case 0x12:
        if (kbd_is_mode_word(value))
            kbd_store(kbd->pio_a_state, kbd_port_a_next(kbd_load(kbd->pio_a_state), value));
        break;
    case 0x13:
        if (kbd_is_mode_word(value))
            kbd_store(kbd->pio_b_state, kbd_port_b_next(kbd_load(kbd->pio_b_state), value));
        break;
    default: break;
    }
}

uint8_t kbd_pio_io_read(kbd_t *kbd, uint16_t port) {
    switch (static_cast<uint8_t>(port)) {
    case 0x10: return kbd_load(kbd->row_select);
    case 0x11: return kbd_get_port_b_register(kbd);
    default: return 0;
    }
}

void kbd_state_write(const kbd_t *kbd, emu_byte_writer_t *w) {
    emu_put_u8(w, static_cast<uint8_t>(kbd_load(kbd->pio_a_state)));
    emu_put_u8(w, static_cast<uint8_t>(kbd_load(kbd->pio_b_state)));
    emu_put_u8(w, kbd_load(kbd->row_select));
    for (const uint8_t &row : kbd->rows)
        emu_put_u8(w, kbd_load(row));
}

bool kbd_state_read(kbd_t *kbd, emu_byte_reader_t *r) {
    kbd_t next{};
    next.pio_a_state = emu_get_u8(r);
    next.pio_b_state = emu_get_u8(r);
    next.row_select = emu_get_u8(r);
    for (uint8_t &row : next.rows)
        row = emu_get_u8(r);
    if (r->overrun || next.pio_a_state > 2 || next.pio_b_state > 2) return false;
    kbd_state_copy(kbd, &next);
    return true;
}

void kbd_state_copy(kbd_t *to, const kbd_t *from) {
    kbd_store(to->pio_a_state, kbd_load(from->pio_a_state));
    kbd_store(to->pio_b_state, kbd_load(from->pio_b_state));
    kbd_store(to->row_select, kbd_load(from->row_select));
    for (int i = 0; i < 8; ++i)
        kbd_store(to->rows[i], kbd_load(from->rows[i]));
}
