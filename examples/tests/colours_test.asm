; Tests of colours.asm (quillane-test): hex_digit turns 0-15 into the digits 0-9 and A-F.
        include "../colours.asm"
        include "quillane_test.inc"

test_hex_digit_decimal:
        ld a, 0
        call hex_digit
        CHECK_A '0'
        ld a, 9
        call hex_digit
        CHECK_A '9'
        ret

test_hex_digit_letters:
        ld a, 10
        call hex_digit
        CHECK_A 'A'
        ld a, 15
        call hex_digit
        CHECK_A 'F'
        ret

; The caller's registers but A survive, as the routine's users expect.
test_hex_digit_keeps_registers:
        ld bc, 1234h
        ld de, 5678h
        ld hl, 9ABCh
        ld a, 3
        call hex_digit
        CHECK_BC 1234h
        CHECK_DE 5678h
        CHECK_HL 9ABCh
        ret
