; Runs for ever, touching everything the machine decodes: RAM, video memory, the sound
; generator's ports and the keyboard's PIO. Counts its passes in a 16-bit word at 0x8000.
        org 0
        ld sp, 0
        ld a, 0xCF              ; port B: bit mode, all inputs
        out (0x13), a
        ld a, 0xFF
        out (0x13), a
loop:   ld hl, (0x8000)
        inc hl
        ld (0x8000), hl
        ld a, l
        ld (0x2000), a          ; first byte of the picture
        ld (0x3800), a          ; and its colour
        ld a, 8                 ; amplitude of channel A
        out (0x0D), a
        ld a, l
        and 0x0F
        out (0x0C), a
        ld a, 0xFF              ; select every keyboard row
        out (0x10), a
        in a, (0x11)
        ld (0x8002), a
        ld (0x0000), a          ; ROM: must stay as it is
        jp loop
