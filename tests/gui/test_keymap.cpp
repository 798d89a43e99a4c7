// Host keys to the matrix's key codes: by physical position (X11 key codes) and, without scan
// codes, by Qt key.
#include <QtTest>
#include <set>

#include "devices/keyboard.h"
#include "host/keymap.h"

namespace {

// Codes of the table that only a side-specific key message would carry; the reference host never
// routed those, and neither does this one (both sides give the generic code).
bool side_specific(uint8_t code) {
    return code == 0xA1 || code == 0xA3 || code == 0xA4 || code == 0xA5;
}

} // namespace

class test_keymap : public QObject {
    Q_OBJECT

  private slots:
    void every_board_key_has_a_physical_key() {
        std::set<uint8_t> produced;
        for (uint32_t x11 = 0; x11 < 300; ++x11)
            produced.insert(gui_key_from_scan_code(x11));
        for (const kbd_key_t &entry : kbd_map) {
            if (entry.code == 0 || side_specific(entry.code)) continue;
            QVERIFY2(produced.count(entry.code), qPrintable(QString::number(entry.code, 16)));
        }
        for (uint8_t code : produced)
            QVERIFY(!side_specific(code));
    }

    void positions_of_the_us_layout() {
        // X11 key code = evdev code + 8.
        QCOMPARE(gui_key_from_scan_code(2 + 8), uint8_t{'1'});
        QCOMPARE(gui_key_from_scan_code(11 + 8), uint8_t{'0'});
        QCOMPARE(gui_key_from_scan_code(16 + 8), uint8_t{'Q'});
        QCOMPARE(gui_key_from_scan_code(30 + 8), uint8_t{'A'});
        QCOMPARE(gui_key_from_scan_code(44 + 8), uint8_t{'Z'});
        QCOMPARE(gui_key_from_scan_code(50 + 8), uint8_t{'M'});
        QCOMPARE(gui_key_from_scan_code(41 + 8), uint8_t{0xC0}); // grave
        QCOMPARE(gui_key_from_scan_code(40 + 8), uint8_t{0xDE}); // apostrophe
        QCOMPARE(gui_key_from_scan_code(53 + 8), uint8_t{0xBF}); // slash
        QCOMPARE(gui_key_from_scan_code(28 + 8), uint8_t{0x0D}); // Enter
        QCOMPARE(gui_key_from_scan_code(96 + 8), uint8_t{0x0D}); // keypad Enter
        QCOMPARE(gui_key_from_scan_code(57 + 8), uint8_t{0x20}); // Space
        QCOMPARE(gui_key_from_scan_code(125 + 8), uint8_t{0x5B});
        QCOMPARE(gui_key_from_scan_code(126 + 8), uint8_t{0x5C});
    }

    void modifiers_either_side_and_alt_for_the_menu() {
        QCOMPARE(gui_key_from_scan_code(42 + 8), GUI_VK_SHIFT);
        QCOMPARE(gui_key_from_scan_code(54 + 8), GUI_VK_SHIFT);
        QCOMPARE(gui_key_from_scan_code(29 + 8), GUI_VK_CONTROL);
        QCOMPARE(gui_key_from_scan_code(97 + 8), GUI_VK_CONTROL);
        QCOMPARE(gui_key_from_scan_code(56 + 8), uint8_t{0});  // left Alt
        QCOMPARE(gui_key_from_scan_code(100 + 8), uint8_t{0}); // right Alt / AltGr
        QCOMPARE(gui_key_from_qt_key(Qt::Key_Alt), uint8_t{0});
        QCOMPARE(gui_key_from_qt_key(Qt::Key_AltGr), uint8_t{0});
    }

    void out_of_range_codes_reach_nothing() {
        for (uint32_t x11 = 0; x11 < 8; ++x11)
            QCOMPARE(gui_key_from_scan_code(x11), uint8_t{0});
        QCOMPARE(gui_key_from_scan_code(136), uint8_t{0});
        QCOMPARE(gui_key_from_scan_code(0xFFFFFFFFu), uint8_t{0});
        QCOMPARE(gui_key_from_qt_key(0), uint8_t{0});
        QCOMPARE(gui_key_from_qt_key(-1), uint8_t{0});
        QCOMPARE(gui_key_from_qt_key(Qt::Key_unknown), uint8_t{0});
    }

    // Where the platform gives no scan code, a shifted symbol stands for the key it is typed on
    // (US layout), so Shift+1 still presses 1.
    void qt_keys_shifted_and_unshifted_meet_on_one_key() {
        const std::pair<int, int> pairs[] = {
            {Qt::Key_1, Qt::Key_Exclam},
            {Qt::Key_2, Qt::Key_At},
            {Qt::Key_3, Qt::Key_NumberSign},
            {Qt::Key_4, Qt::Key_Dollar},
            {Qt::Key_5, Qt::Key_Percent},
            {Qt::Key_6, Qt::Key_AsciiCircum},
            {Qt::Key_7, Qt::Key_Ampersand},
            {Qt::Key_8, Qt::Key_Asterisk},
            {Qt::Key_9, Qt::Key_ParenLeft},
            {Qt::Key_0, Qt::Key_ParenRight},
            {Qt::Key_QuoteLeft, Qt::Key_AsciiTilde},
            {Qt::Key_Minus, Qt::Key_Underscore},
            {Qt::Key_Equal, Qt::Key_Plus},
            {Qt::Key_BracketLeft, Qt::Key_BraceLeft},
            {Qt::Key_BracketRight, Qt::Key_BraceRight},
            {Qt::Key_Backslash, Qt::Key_Bar},
            {Qt::Key_Semicolon, Qt::Key_Colon},
            {Qt::Key_Apostrophe, Qt::Key_QuoteDbl},
            {Qt::Key_Comma, Qt::Key_Less},
            {Qt::Key_Period, Qt::Key_Greater},
            {Qt::Key_Slash, Qt::Key_Question},
            {Qt::Key_Tab, Qt::Key_Backtab},
        };
        for (const auto &[plain, shifted] : pairs) {
            QVERIFY(gui_key_from_qt_key(plain) != 0);
            QCOMPARE(gui_key_from_qt_key(shifted), gui_key_from_qt_key(plain));
        }
        QCOMPARE(gui_key_from_qt_key(Qt::Key_A), uint8_t{'A'});
        QCOMPARE(gui_key_from_qt_key(Qt::Key_Z), uint8_t{'Z'});
        QCOMPARE(gui_key_from_qt_key(Qt::Key_F5), uint8_t{0x74});
    }

    void qt_keys_agree_with_positions() {
        // The same key seen both ways gives the same code: a few across the keyboard.
        QCOMPARE(gui_key_from_qt_key(Qt::Key_Q), gui_key_from_scan_code(16 + 8));
        QCOMPARE(gui_key_from_qt_key(Qt::Key_Return), gui_key_from_scan_code(28 + 8));
        QCOMPARE(gui_key_from_qt_key(Qt::Key_Shift), gui_key_from_scan_code(42 + 8));
        QCOMPARE(gui_key_from_qt_key(Qt::Key_Control), gui_key_from_scan_code(29 + 8));
        QCOMPARE(gui_key_from_qt_key(Qt::Key_CapsLock), gui_key_from_scan_code(58 + 8));
        QCOMPARE(gui_key_from_qt_key(Qt::Key_Backspace), gui_key_from_scan_code(14 + 8));
        QCOMPARE(gui_key_from_qt_key(Qt::Key_Space), gui_key_from_scan_code(57 + 8));
        QCOMPARE(gui_key_from_qt_key(Qt::Key_Meta), gui_key_from_scan_code(125 + 8));
        QCOMPARE(gui_key_from_qt_key(Qt::Key_F1), gui_key_from_scan_code(59 + 8));
        QCOMPARE(gui_key_from_qt_key(Qt::Key_F12), gui_key_from_scan_code(88 + 8));
    }
};

QTEST_MAIN(test_keymap)
#include "test_keymap.moc"
