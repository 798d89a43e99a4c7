// The keyboard matrix and the PIO's set-up sequences.
#include <gtest/gtest.h>

#include "devices/keyboard.h"

namespace {

struct Keyboard : ::testing::Test {
    kbd_t kbd{};
    void SetUp() override { ASSERT_EQ(kbd_initialize(&kbd), 0); }
    void control_b(std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes)
            kbd_pio_io_write(&kbd, 0x13, b);
    }
};

TEST_F(Keyboard, KeysCountOnlyOncePortBIsSetUp) {
    kbd_register_keydown(&kbd, 0x41);
    EXPECT_EQ(kbd.rows[3], 0);
    control_b({0xCF, 0xFF});
    EXPECT_EQ(kbd.pio_b_state, 2);
    kbd_register_keydown(&kbd, 0x41);
    EXPECT_EQ(kbd.rows[3], 0x20);
    kbd_register_keydown(&kbd, 0x41); // auto-repeat changes nothing
    EXPECT_EQ(kbd.rows[3], 0x20);
    kbd_register_keyup(&kbd, 0x41);
    EXPECT_EQ(kbd.rows[3], 0);
}

TEST_F(Keyboard, SelectedRowsAreMerged) {
    control_b({0xCF, 0xFF});
    kbd_register_keydown(&kbd, 0x41); // A: row 3 bit 5
    kbd_register_keydown(&kbd, 0x31); // 1: row 0 bit 1
    kbd_pio_io_write(&kbd, 0x10, 0x08);
    EXPECT_EQ(kbd_pio_io_read(&kbd, 0x11), 0x20);
    kbd_pio_io_write(&kbd, 0x10, 0x09);
    EXPECT_EQ(kbd_pio_io_read(&kbd, 0x11), 0x22);
    EXPECT_EQ(kbd_pio_io_read(&kbd, 0x10), 0x09);
    kbd_pio_io_write(&kbd, 0x10, 0x00);
    EXPECT_EQ(kbd_pio_io_read(&kbd, 0x11), 0);
    kbd_pio_io_write(&kbd, 0x11, 0xFF); // port B data is read-only
    EXPECT_EQ(kbd_pio_io_read(&kbd, 0x12), 0);
    EXPECT_EQ(kbd_pio_io_read(&kbd, 0x13), 0);
    // The high byte of the port address is ignored.
    kbd_pio_io_write(&kbd, 0x5510, 0x01);
    EXPECT_EQ(kbd_pio_io_read(&kbd, 0xAA11), 0x02);
}

TEST_F(Keyboard, PortBSequences) {
    struct sequence {
        std::initializer_list<uint8_t> bytes;
        int32_t state;
    };
    const sequence cases[] = {
        {{0xCF, 0xFF}, 2},
        {{0xCF, 0x00, 0xFF}, 2}, // 0x00 is not a mode word
        {{0xCF, 0xCF}, 0},
        {{0xCF, 0xCF, 0xFF}, 1},
        {{0xCF, 0xFF, 0x4F}, 0},
        {{0xCF, 0xFF, 0xDF}, 2}, // bit-control words keep it set up
        {{0xEF}, 1},
        {{0x0F}, 0},
    };
    for (const sequence &s : cases) {
        kbd_reset(&kbd);
        control_b(s.bytes);
        EXPECT_EQ(kbd.pio_b_state, s.state);
    }
    // Mode 0 while set up drops the keyboard.
    kbd_reset(&kbd);
    control_b({0xCF, 0xFF, 0x0F});
    kbd_register_keydown(&kbd, 0x41);
    EXPECT_EQ(kbd.rows[3], 0);
}

TEST_F(Keyboard, CodesWithoutAKeyChangeNothing) {
    control_b({0xCF, 0xFF});
    // Code 0 only marks the table's empty places (row 7 bit 4 among them); neither it nor a code
    // whose low byte is 0 is a key. F1 and a code past the low byte's range have no entry.
    for (uint32_t code : {0x00u, 0x100u, 0x70u, 0xFFu}) {
        kbd_register_keydown(&kbd, code);
        for (uint8_t row : kbd.rows)
            EXPECT_EQ(row, 0) << "code " << code;
    }
    kbd_register_keydown(&kbd, 0x20);
    kbd_register_keyup(&kbd, 0x00);
    EXPECT_EQ(kbd.rows[7], 0x04) << "a key-up of code 0 releases nothing";
}

TEST_F(Keyboard, ReleaseWhileNotSetUpLeavesTheKeyDown) {
    control_b({0xCF, 0xFF});
    kbd_register_keydown(&kbd, 0x0D); // Enter: row 5 bit 0
    control_b({0x4F});                // mode 1: the keyboard goes dead
    kbd_register_keyup(&kbd, 0x0D);
    kbd_pio_io_write(&kbd, 0x10, 0x20);
    EXPECT_EQ(kbd_pio_io_read(&kbd, 0x11), 0x01) << "the release was dropped";
    // Pressed and released again once set up, the key is finally up.
    control_b({0xCF, 0xFF});
    kbd_register_keydown(&kbd, 0x0D);
    kbd_register_keyup(&kbd, 0x0D);
    EXPECT_EQ(kbd_pio_io_read(&kbd, 0x11), 0);
}

TEST_F(Keyboard, PortANeverCompletes) {
    kbd_pio_io_write(&kbd, 0x12, 0xCF);
    EXPECT_EQ(kbd.pio_a_state, 1);
    kbd_pio_io_write(&kbd, 0x12, 0xFF);
    EXPECT_EQ(kbd.pio_a_state, 0);
    kbd_register_keydown(&kbd, 0x41);
    EXPECT_EQ(kbd.rows[3], 0);
}

TEST_F(Keyboard, ResetReleasesEverything) {
    control_b({0xCF, 0xFF});
    kbd_pio_io_write(&kbd, 0x10, 0xFF);
    kbd_register_keydown(&kbd, 0x20);
    kbd_reset(&kbd);
    EXPECT_EQ(kbd.pio_b_state, 0);
    EXPECT_EQ(kbd.row_select, 0);
    EXPECT_EQ(kbd.rows[7], 0);
}

TEST(KeyMap, LayoutAndLookup) {
    // Entries are in row, bit order without the three holes, then three empty entries.
    int index = 0;
    for (int row = 0; row < 8; ++row)
        for (int bit = 0; bit < 8; ++bit) {
            if (bit == 7 && row >= 5) continue;
            EXPECT_EQ(kbd_map[index].row, row);
            EXPECT_EQ(kbd_map[index].bit, bit);
            ++index;
        }
    EXPECT_EQ(index, 61);
    EXPECT_EQ(kbd_map[47].code, 0x4E); // N at row 6 bit 0
    EXPECT_EQ(kbd_map[54].code, 0x5B); // left Windows at row 7 bit 0
    EXPECT_EQ(kbd_find_scancode(0x41), 29);
    EXPECT_EQ(kbd_find_scancode(0x141), 29) << "only the low byte counts";
    EXPECT_EQ(kbd_find_scancode(0x10), 41);
    EXPECT_EQ(kbd_find_scancode(0x70), -1);
    // Every letter and digit has exactly one place.
    for (int code = '0'; code <= 'Z'; ++code) {
        if (code > '9' && code < 'A') continue;
        int found = 0;
        for (const kbd_key_t &k : kbd_map)
            found += k.code == code;
        EXPECT_EQ(found, 1) << char(code);
    }
}

} // namespace
