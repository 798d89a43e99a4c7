; Sound test ROM: half a second of silence, then a tone on channel A (period 250, amplitude 12),
; a second later a tone on channel B (period 100, amplitude 10) as well, and a second after that
; noise on channel C (period 16, amplitude 8). Then it waits for ever.
        org 0
        ld sp, 0
        ld bc, 500
        call delay_ms
        ld hl, tone_a
        call program
        ld bc, 1000
        call delay_ms
        ld hl, tone_b
        call program
        ld bc, 1000
        call delay_ms
        ld hl, noise_c
        call program
forever:
        jr forever

; Writes the (register, value) pairs at HL to the sound generator, up to a register of 0xFF.
program:
        ld a, (hl)
        cp 0xFF
        ret z
        out (0x0D), a
        inc hl
        ld a, (hl)
        out (0x0C), a
        inc hl
        jr program

; Waits BC milliseconds at 10 MHz: the inner loop is 26 T-states, 384 times (9984), plus the
; outer loop's overhead.
delay_ms:
        ld de, 384
inner:  dec de
        ld a, d
        or e
        jr nz, inner
        dec bc
        ld a, b
        or c
        jr nz, delay_ms
        ret

tone_a: db 0, 250, 1, 0, 8, 12, 7, 0x3E, 0xFF
tone_b: db 2, 100, 3, 0, 9, 10, 7, 0x3C, 0xFF
noise_c: db 6, 16, 10, 8, 7, 0x1C, 0xFF
