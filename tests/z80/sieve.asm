; Sieve of Eratosthenes for the numbers below 2048. Bit n mod 8 of byte n / 8 of the 256-byte
; map at 0x9000 ends set exactly when n is not a prime; the number of primes found is stored
; little-endian at 0x9100. Bits are reached through a mask table, counted with BIT b,(HL).
        org 0
        ld sp, 0
        ld hl, 0x9000           ; clear the map
        ld de, 0x9001
        ld bc, 255
        ld (hl), 0
        ldir
        ld ix, 0x9000
        set 0, (ix+0)           ; 0 and 1 are not primes
        set 1, (ix+0)
        ld de, 2                ; the candidate p
ploop:  ld a, e
        cp 46                   ; 46 * 46 > 2047: every composite is marked by now
        jr nc, count
        ld h, d
        ld l, e
        call locate
        and (hl)
        jr nz, pnext            ; marked: not a prime
        ld h, d
        ld l, e
        add hl, hl              ; first multiple to mark: 2p
mark:   ld a, h
        cp 0x08
        jr nc, pnext            ; reached 2048
        push hl
        call locate
        or (hl)
        ld (hl), a
        pop hl
        add hl, de
        jr mark
pnext:  inc de
        jr ploop

count:  ld hl, 0x9000
        ld de, 0
        ld b, 0                 ; 256 bytes
cbyte:  bit 0, (hl)
        call z, found
        bit 1, (hl)
        call z, found
        bit 2, (hl)
        call z, found
        bit 3, (hl)
        call z, found
        bit 4, (hl)
        call z, found
        bit 5, (hl)
        call z, found
        bit 6, (hl)
        call z, found
        bit 7, (hl)
        call z, found
        inc hl
        djnz cbyte
        ld (0x9100), de
        halt

found:  inc de
        ret

; HL = a number below 2048 -> HL = the address of its byte in the map, A = its bit's mask.
locate: push de
        ld a, l
        and 7
        ld e, a
        ld d, masks / 256
        srl h
        rr l
        srl h
        rr l
        srl h
        rr l
        ld a, h
        or 0x90
        ld h, a
        ld a, (de)
        pop de
        ret

        org 0x0300
masks:  db 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80
