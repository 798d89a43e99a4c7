; Assembly tests for test_quillane_test.sh: the register checks and every guard, one test each.
        org 8000h
        include "quillane_test.inc"

counter: defb 0
want:   defb 1, 2, 3
have:   defb 1, 2, 4

test_setup:
        ld a, 5
        ld (counter), a
        ret

test_registers_pass:
        ld a, 42h
        CHECK_A 42h
        ld hl, 1234h
        CHECK_HL 1234h
        CHECK_H 12h
        ld bc, 0BEEFh
        CHECK_BC 0BEEFh
        xor a
        CHECK_Z
        CHECK_NC
        CHECK_BYTE counter, 5
        CHECK_MEM want, want, 3
        ret

test_registers_fail:
        ld a, 42h
        CHECK_A 43h
        scf
        CHECK_NC
        ld de, 1234h
        CHECK_DE 4321h
        CHECK_MEM have, want, 3
        ret

test_isolated:
        ld hl, counter
        inc (hl)
        CHECK_BYTE counter, 6
        ret

test_isolated_again:
        ld hl, counter
        inc (hl)
        CHECK_BYTE counter, 6
        ret

test_rom_write:
        ld a, 77h
        ld (0100h), a
        ret

test_halt:
        di
        halt

test_invalid:
        defb 0EDh, 0FFh
        ret

test_forever:
        jr test_forever

test_own_budget:
        BUDGET 2
        ld b, 0
_spin:  djnz _spin
        ret

test_overflow:
        push hl
        jr test_overflow

test_smash:
        ld hl, 1234h
        ld (0FEFEh), hl
        ret

test_unbalanced:
        pop hl
        ret

test_restart:
        jp qt_start

test_warm:
        jp 0010h

test_flood:
        FAIL
        jr test_flood

test_fatal:
        FAIL_FATAL
        FAIL
        ret

; A budget past 16 bits of T-states: 12 million.
test_long_budget:
        BUDGET 12000
        ld de, 0
_long:  dec de
        ld a, d
        or e
        jr nz, _long
        ret
