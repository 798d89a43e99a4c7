; Clock test ROM: counts passes of a loop of exactly 2126 T-states in a 32-bit word at 0x9000
; and shows the count on screen, most significant bit first, as the paper colour of the 32 cells
; of the top row (light grey for 1, blue for 0). The second row is yellow, as a marker. Every
; path through the loop is the same length, so time is passes x 2126 T-states.
        org 0
        ld sp, 0
        ld hl, 0x3820
        ld b, 32
mark:   ld (hl), 0xEE
        inc hl
        djnz mark
loop:   ld hl, (0x9000)         ; 16  count + 1, without branches
        ld de, 1                ; 10
        add hl, de              ; 11
        ld (0x9000), hl         ; 16
        ld hl, (0x9002)         ; 16
        ld de, 0                ; 10
        adc hl, de              ; 15
        ld (0x9002), hl         ; 16
        ld ix, 0x9003           ; 14  most significant byte first
        ld hl, 0x3800           ; 10
        ld c, 4                 ; 7
byte:   ld a, (ix+0)            ; 19
        dec ix                  ; 10
        ld b, 8                 ; 7
cell:   rla                     ; 4   next bit into carry
        ld e, a                 ; 4
        sbc a, a                ; 4   0x00 or 0xFF
        and 0x66                ; 7
        add a, 0x11             ; 7   0x11 (blue) or 0x77 (light grey)
        ld (hl), a              ; 7
        inc hl                  ; 6
        ld a, e                 ; 4
        djnz cell               ; 13 / 8
        dec c                   ; 4
        jr nz, byte             ; 12 / 7
        jp loop                 ; 10
