; Packed BCD arithmetic with DAA: the 8-digit numbers X at 0x0200 and Y at 0x0204 (least
; significant byte first) are added into 0x9000 and Y is subtracted from X into 0x9004; the
; final carry (borrow) of each is stored at 0x9008 and 0x9009.
        org 0
        ld sp, 0
        ld hl, 0x0200
        ld de, 0x0204
        ld ix, 0x9000
        ld b, 4
        or a                    ; clear carry
addloop:    ld a, (de)
        adc a, (hl)
        daa
        ld (ix+0), a
        inc hl
        inc de
        inc ix
        djnz addloop
        ld a, 0
        rla
        ld (0x9008), a
        ld hl, 0x0200
        ld de, 0x0204
        ld ix, 0x9004
        ld b, 4
        or a
subloop:    ld a, (hl)
        ex de, hl
        sbc a, (hl)
        ex de, hl
        daa
        ld (ix+0), a
        inc hl
        inc de
        inc ix
        djnz subloop
        ld a, 0
        rla
        ld (0x9009), a
        halt

        org 0x0200
        db 0x89, 0x67, 0x45, 0x23       ; X = 23456789
        db 0x98, 0x99, 0x54, 0x76       ; Y = 76549998
