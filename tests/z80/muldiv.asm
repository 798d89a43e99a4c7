; Unsigned 16-bit multiply and divide subroutines over the eight (a, b) word pairs at 0x0200.
; For pair i the record at 0x9000 + 8i holds a * b (32 bits), a / b and a mod b, all
; little-endian; the 16-bit sum of the quotients, kept in the alternate HL, goes to 0x9100.
        org 0
        ld sp, 0
        exx
        ld hl, 0                ; HL' = sum of the quotients
        exx
        ld ix, 0x0200
        ld iy, 0x9000
        ld b, 8
next:   push bc
        ld e, (ix+0)
        ld d, (ix+1)
        ld c, (ix+2)
        ld b, (ix+3)
        call mul16
        ld (iy+0), l
        ld (iy+1), h
        ld (iy+2), e
        ld (iy+3), d
        ld l, (ix+0)
        ld h, (ix+1)
        ld e, (ix+2)
        ld d, (ix+3)
        call div16
        ld (iy+4), l
        ld (iy+5), h
        ld (iy+6), e
        ld (iy+7), d
        push hl
        exx
        pop de
        add hl, de
        exx
        ld de, 4
        add ix, de
        ld de, 8
        add iy, de
        pop bc
        djnz next
        exx
        ld (0x9100), hl
        halt

; DE:HL = DE * BC. The multiplier leaves DE at the top as the product enters at the bottom.
mul16:  ld hl, 0
        ld a, 16
mloop:  add hl, hl
        rl e
        rl d
        jr nc, mskip
        add hl, bc
        jr nc, mskip
        inc de
mskip:  dec a
        jr nz, mloop
        ret

; HL = HL / DE, DE = the remainder (DE not 0). Restoring division, one quotient bit a pass.
div16:  ld a, h
        ld c, l                 ; A:C = dividend, shifted out at the top
        ld hl, 0                ; remainder
        ld b, 16
dloop:  sla c
        rla
        adc hl, hl
        jr c, dover             ; the remainder outgrew 16 bits: it certainly fits
        or a
        sbc hl, de
        jr nc, dfit
        add hl, de              ; did not fit: restore
        djnz dloop
        jr ddone
dover:  or a
        sbc hl, de
dfit:   inc c                   ; quotient bit 1
        djnz dloop
ddone:  ex de, hl
        ld h, a
        ld l, c
        ret

        org 0x0200
        dw 0xFFFF, 0xFFFF
        dw 0x1234, 0x0001
        dw 0x0000, 0x5678
        dw 0xABCD, 0x00FF
        dw 0x8000, 0x8001
        dw 1000, 7
        dw 0xFFFF, 0x8000
        dw 50000, 40000
