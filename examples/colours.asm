; Colour and text demo for the Quillane board: the sixteen colours with their names, each paper
; with a contrasting ink, and a striped rainbow band that moves until a key is pressed. Then the
; screen is cleared in the monitor's colour and the program returns to the prompt.
; Load colours.hex with File > Open and start it with "g 8000".

        org 8000h
        include "entries.inc"

ATTRS           equ 3800h
BITMAP          equ 2000h
LIST_ROW        equ 2
BAND_ROW        equ 19
BAND_ROWS       equ 4
FRAME_MS        equ 60

start:
        call MON_GETATTR
        ld (saved_attr),a
        ld a,0Fh                ; white on black
        call MON_SETATTR
        call MON_CLS
        ld a,0Eh
        call MON_SETATTR
        ld hl,txt_title
        call MON_PUTS
        ld c,0
_list:  call show_colour
        inc c
        ld a,c
        cp 16
        jr c,_list
        call draw_stripes
        ld hl,23 * 256 + 0
        call MON_SETCURSOR
        ld a,07h
        call MON_SETATTR
        ld hl,txt_key
        call MON_PUTS
_frame: call draw_band
        ld hl,phase
        inc (hl)
        ld b,FRAME_MS / 10
_slice: call MON_KEYREADY       ; about 1 ms, and often enough not to miss a short press
        jr nz,_done
        ld hl,9
        call MON_DELAY
        djnz _slice
        jr _frame
_done:
        ld a,(saved_attr)
        call MON_SETATTR
        call MON_CLS
        ret

; Row LIST_ROW + C: the number, a swatch of paper C, the name in ink C, and a sample of text
; on paper C in the opposite ink.
show_colour:
        ld a,c
        add a,LIST_ROW
        ld h,a
        ld l,0
        call MON_SETCURSOR
        ld a,0Fh
        call MON_SETATTR
        ld a,c
        call hex_digit
        call MON_PUTC
        ld a,' '
        call MON_PUTC
        ld a,c                  ; swatch: paper C
        rlca
        rlca
        rlca
        rlca
        call MON_SETATTR
        ld b,4
_swatch:
        ld a,' '
        call MON_PUTC
        djnz _swatch
        ld a,c                  ; name: ink C on black, on light grey for black itself
        or a
        jr nz,_ink
        ld a,70h
_ink:   call MON_SETATTR
        ld a,' '
        call MON_PUTC
        push bc
        ld b,0
        ld hl,names
        add hl,bc
        add hl,bc
        ld a,(hl)
        inc hl
        ld h,(hl)
        ld l,a
        call MON_PUTS
        pop bc
        ld a,c                  ; sample: paper C, ink 15 - C
        add a,LIST_ROW
        ld h,a
        ld l,21
        call MON_SETCURSOR
        ld a,c
        rlca
        rlca
        rlca
        rlca
        ld b,a
        ld a,0Fh
        sub c
        or b
        call MON_SETATTR
        ld hl,txt_sample
        jp MON_PUTS

hex_digit:
        add a,'0'
        cp '9' + 1
        ret c
        add a,'A' - '9' - 1
        ret

; Diagonal stripes in the band's bitmap, so that both ink and paper of each cell show.
draw_stripes:
        ld hl,BITMAP + 256 * BAND_ROW
        ld c,8 * BAND_ROWS      ; pixel lines
        ld a,0C0h
_line:  ld b,32
_byte:  ld (hl),a
        inc hl
        djnz _byte
        rrca
        dec c
        jr nz,_line
        ret

; The band's colours: paper (column + phase + row) and ink 8 colours further on, so the
; rainbow slides one cell each frame.
draw_band:
        ld hl,ATTRS + 32 * BAND_ROW
        ld c,BAND_ROWS
_row:   ld a,(phase)
        add a,c
        ld e,a
        ld b,32
_cell:  ld a,e
        add a,8
        and 0Fh
        ld d,a
        ld a,e
        and 0Fh
        rlca
        rlca
        rlca
        rlca
        or d
        ld (hl),a
        inc hl
        inc e
        djnz _cell
        dec c
        jr nz,_row
        ret

txt_title:      defb "Sixteen colours of the board", 0
txt_sample:     defb "Quillane", 0
txt_key:        defb "Press a key to return", 0

names:
        defw n0, n1, n2, n3, n4, n5, n6, n7, n8, n9, n10, n11, n12, n13, n14, n15
n0:     defb "black", 0
n1:     defb "blue", 0
n2:     defb "green", 0
n3:     defb "cyan", 0
n4:     defb "red", 0
n5:     defb "magenta", 0
n6:     defb "brown", 0
n7:     defb "light grey", 0
n8:     defb "dark grey", 0
n9:     defb "bright blue", 0
n10:    defb "bright green", 0
n11:    defb "bright cyan", 0
n12:    defb "bright red", 0
n13:    defb "bright magenta", 0
n14:    defb "yellow", 0
n15:    defb "white", 0

phase:          defb 0
saved_attr:     defb 0
