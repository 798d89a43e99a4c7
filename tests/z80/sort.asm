; Bubble sort of the 64 bytes at 0x0200 into ascending order, in place after copying them to
; 0x9000 (the program's ROM-like image stays as loaded).
        org 0
        ld sp, 0
        ld hl, 0x0200
        ld de, 0x9000
        ld bc, 64
        ldir
outer:  ld b, 63
        ld hl, 0x9000
        ld c, 0                 ; swaps in this pass
inner:  ld a, (hl)
        inc hl
        cp (hl)
        jr c, noswap
        jr z, noswap
        ld d, (hl)              ; swap (hl-1) and (hl)
        ld (hl), a
        dec hl
        ld (hl), d
        inc hl
        inc c
noswap: djnz inner
        ld a, c
        or a
        jr nz, outer
        halt

        org 0x0200
        db 200, 17, 3, 99, 250, 0, 128, 64, 77, 1, 255, 42, 42, 9, 180, 33
        db 5, 160, 61, 222, 14, 90, 8, 131, 72, 199, 2, 101, 55, 240, 11, 127
        db 88, 19, 230, 6, 150, 44, 175, 23, 67, 211, 31, 109, 84, 12, 193, 50
        db 7, 144, 26, 251, 38, 117, 80, 166, 4, 95, 205, 29, 140, 60, 73, 16
