; CRC-16/CCITT (polynomial 0x1021, initial value 0xFFFF, no reflection) of the 100 bytes at
; 0x0200, stored little-endian at 0x9000. Bit loop with shifts and conditional XOR.
        org 0
        ld sp, 0
        ld ix, 0x0200
        ld de, 100
        ld hl, 0xFFFF
nextbyte:   ld a, (ix+0)
        xor h
        ld h, a
        ld b, 8
nextbit:    add hl, hl              ; shift left, carry = old bit 15
        jr nc, next
        ld a, h
        xor 0x10
        ld h, a
        ld a, l
        xor 0x21
        ld l, a
next:   djnz nextbit
        inc ix
        dec de
        ld a, d
        or e
        jr nz, nextbyte
        ld (0x9000), hl
        halt

        org 0x0200
        db "The quick brown fox jumps over the lazy dog. "
        db "Pack my box with five dozen liquor jugs! 0123456789"
        db 0x00, 0xFF, 0x80, 0x7F
