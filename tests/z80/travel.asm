; Time travel's test program: a loop whose every pass stores its count (COUNTER) after a delay
; of about 26 ms of board time, and every eighth pass stores the count's low byte in DATA from
; one of two places: WRITER_A while no key is held, WRITER_B while one is.

PIO_A_DATA      equ 16
PIO_B_DATA      equ 17
PIO_B_CONTROL   equ 19

        org 8000h

start:  ld sp, 0F000h
        ; Port B as inputs, every matrix row selected.
        ld a, 0CFh
        out (PIO_B_CONTROL), a
        ld a, 0FFh
        out (PIO_B_CONTROL), a
        out (PIO_A_DATA), a
        ld hl, 0
pass:   inc hl
        ld (counter), hl
        ld bc, 10000
delay:  dec bc
        ld a, b
        or c
        jr nz, delay
        ld a, l
        and 7
        jr nz, pass
        in a, (PIO_B_DATA)
        or a
        ld a, l
        jr nz, held
writer_a:
        ld (data), a
        jr pass
held:
writer_b:
        ld (data), a
        jr pass

counter: dw 0
data:   db 0
