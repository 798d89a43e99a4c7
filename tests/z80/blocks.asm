; Block moves and searches: copies the 32-byte text at 0x0200 to 0x9000 with LDIR, moves it up
; by 5 bytes within RAM with LDDR (overlapping), finds the first 'q' with CPIR and the last 'o'
; with CPDR, and stores the two addresses at 0x9100 and 0x9102 and the remaining counts at
; 0x9104 and 0x9106.
        org 0
        ld sp, 0
        ld hl, 0x0200
        ld de, 0x9000
        ld bc, 32
        ldir
        ld hl, 0x9000 + 31      ; overlapping move up: copy from the top down
        ld de, 0x9000 + 36
        ld bc, 32
        lddr
        ld hl, 0x9005
        ld bc, 32
        ld a, 'q'
        cpir
        dec hl
        ld (0x9100), hl
        ld (0x9104), bc
        ld hl, 0x9005 + 31
        ld bc, 32
        ld a, 'o'
        cpdr
        inc hl
        ld (0x9102), hl
        ld (0x9106), bc
        halt

        org 0x0200
        db "Now quoth the raven, nevermore.!"
