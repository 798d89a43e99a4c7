; Keyboard picture for the window's end-to-end tests.
;
; Sets the PIO's port B up as inputs, then scans the 8 x 8 matrix for ever and paints each key as
; a block of 4 x 2 cells: matrix row r at cell rows 2r..2r+1, bit b at cell columns 4b..4b+3. A
; held key is yellow; the others form a blue / dark grey checkerboard. Below the matrix, cell row
; 20 shows one white cell per start since power-on (RAM keeps the count across a reset), so a
; reset adds a cell. Cell rows 16-19 and 21-23 stay black for images loaded from the File menu.

VIDEO           equ 2000h
ATTRIBUTES      equ 3800h
BOOT_BAR        equ ATTRIBUTES + 32 * 20
BOOT_COUNT      equ 8000h

PIO_A_DATA      equ 16
PIO_B_DATA      equ 17
PIO_B_CONTROL   equ 19

PAPER_BLUE      equ 10h
PAPER_GREY      equ 80h
PAPER_YELLOW    equ 0E0h
PAPER_WHITE     equ 0F0h

        org 0

start:  di
        ld sp, 0FFF0h
        ld hl, BOOT_COUNT
        inc (hl)

        ; All of video memory to 0: paper everywhere, all black.
        ld hl, VIDEO
        ld de, VIDEO + 1
        ld bc, 6912 - 1
        ld (hl), 0
        ldir

        ; The boot bar, at most a full row.
        ld a, (BOOT_COUNT)
        cp 33
        jr c, bar_length
        ld a, 32
bar_length:
        ld b, a
        ld hl, BOOT_BAR
bar:    ld (hl), PAPER_WHITE
        inc hl
        djnz bar

        ; Port B: bit-control mode, then all eight bits as inputs.
        ld a, 0CFh
        out (PIO_B_CONTROL), a
        ld a, 0FFh
        out (PIO_B_CONTROL), a

scan:   ld c, 0                 ; matrix row
        ld d, 1                 ; its select mask
        ld ix, ATTRIBUTES       ; top-left cell of the row's first block
next_row:
        ld a, d
        out (PIO_A_DATA), a
        in a, (PIO_B_DATA)
        ld e, a                 ; held keys of this row, bit 0 first
        ld b, 0                 ; bit number
next_bit:
        srl e
        jr c, held
        ld a, c
        add a, b
        and 1
        ld a, PAPER_BLUE
        jr z, paint
        ld a, PAPER_GREY
        jr paint
held:   ld a, PAPER_YELLOW
paint:  ld (ix + 0), a
        ld (ix + 1), a
        ld (ix + 2), a
        ld (ix + 3), a
        ld (ix + 32), a
        ld (ix + 33), a
        ld (ix + 34), a
        ld (ix + 35), a
        inc ix
        inc ix
        inc ix
        inc ix
        inc b
        ld a, b
        cp 8
        jr nz, next_bit
        ; Skip the second cell row of this matrix row.
        push bc
        ld bc, 32
        add ix, bc
        pop bc
        inc c
        sla d
        jr nz, next_row
        jr scan
