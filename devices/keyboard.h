// The board's keyboard: an 8 x 8 matrix read through a Z80 PIO at ports 16-19. Port A (16) takes
// the row-select mask, port B (17) reads the OR of the selected rows; both are active-high. Key
// events are accepted only once the program has set port B up in bit mode with all bits as inputs
// (0xCF, 0xFF on port 19).
#pragma once

#include <cstdint>

#include "files/bytes.h"

struct kbd_t {
    int32_t pio_a_state; // 0 not set up, 1 bit-control word seen, 2 set up as inputs
    int32_t pio_b_state;
    uint8_t row_select; // last byte written to port 16
    uint8_t rows[8];    // bit b of rows[r] is 1 while the key at row r, bit b is held
};

// One entry of the key table: host virtual-key code, matrix row, bit.
struct kbd_key_t {
    uint8_t code;
    uint8_t row;
    uint8_t bit;
};

extern const kbd_key_t kbd_map[64];

int kbd_initialize(kbd_t *kbd);
void kbd_reset(kbd_t *kbd);
int kbd_find_scancode(uint32_t key);
uint8_t kbd_get_port_b_register(const kbd_t *kbd);
void kbd_register_keydown(kbd_t *kbd, uint32_t key);
void kbd_register_keyup(kbd_t *kbd, uint32_t key);
void kbd_pio_io_write(kbd_t *kbd, uint16_t port, uint8_t value);
uint8_t kbd_pio_io_read(kbd_t *kbd, uint16_t port);

// The PIO's and the matrix's part of a save state, 11 bytes: the port A and port B set-up states,
// the row select and the eight rows.
enum : uint32_t { KBD_STATE_SIZE = 11 };

// Any thread (the window thread sets and clears rows).
void kbd_state_write(const kbd_t *kbd, emu_byte_writer_t *w);
// False, with *kbd unchanged, when the bytes run out or a set-up state is above 2.
bool kbd_state_read(kbd_t *kbd, emu_byte_reader_t *r);
// What a state holds of the keyboard, from one record to another (either may be live).
void kbd_state_copy(kbd_t *to, const kbd_t *from);
