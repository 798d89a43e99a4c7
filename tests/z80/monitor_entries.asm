; Calls the monitor's entries as a program does and leaves what it saw in memory and on the
; screen, for the monitor tests: loaded at 9000h, started with "g 9000", returns to the prompt.
;
; 9800h: number of entries that changed a register they promise to keep
; 9801h: index (1-based) of the first such entry
; 9802h: row, column after setting the cursor to 5, 10 and printing one character
; 9804h: row, column after asking for row 40, column 40
; 9806h: HL that MON_PUTS returned, less the string's address
; 9808h: colour that MON_GETATTR returned after MON_SETATTR 4Eh
; 9810h: 16 pseudo-random numbers

        org 9000h
        include "../../sdk/entries.inc"

RESULTS equ 9800h

start:
        xor a
        ld (RESULTS),a
        ld (RESULTS + 1),a
        ld hl,keep_table
        ld c,1                  ; entry number
next_entry:
        ld e,(hl)
        inc hl
        ld d,(hl)
        inc hl
        ld a,d
        or e
        jr z,keep_done
        ld a,(hl)
        inc hl
        ld (call_site + 1),de
        ld (table_ptr),hl
        ld (entry_no),bc
        ld bc,1122h
        ld de,3344h
        ld hl,0003h
        ld ix,7788h
        ld iy,99AAh
call_site:
        call 0000h
        ld (seen_bc),bc
        ld (seen_de),de
        ld (seen_hl),hl
        ld (seen_ix),ix
        ld (seen_iy),iy
        ld hl,seen_bc
        ld de,expected
        ld b,10
compare:
        ld a,(de)
        cp (hl)
        jr nz,changed
        inc hl
        inc de
        djnz compare
        jr entry_ok
changed:
        ld hl,RESULTS
        inc (hl)
        ld a,(RESULTS + 1)
        or a
        jr nz,entry_ok
        ld a,(entry_no)
        ld (RESULTS + 1),a
entry_ok:
        ld hl,(table_ptr)
        ld bc,(entry_no)
        inc c
        jr next_entry

keep_done:
        ; MON_PUTC keeps A as well
        ld a,'Q'
        call MON_PUTC
        cp 'Q'
        jr z,putc_keeps_a
        ld hl,RESULTS
        inc (hl)
putc_keeps_a:
        call MON_SILENCE
        ld a,1Fh
        call MON_SETATTR
        call MON_CLS
        ; line 0: decimal numbers
        ld hl,0
        call MON_PUTDEC
        ld a,' '
        call MON_PUTC
        ld hl,65535
        call MON_PUTDEC
        ld a,' '
        call MON_PUTC
        ld hl,10
        call MON_PUTDEC
        ld a,' '
        call MON_PUTC
        ld hl,1234
        call MON_PUTDEC
        call MON_NEWLINE
        ; line 1: hex numbers
        ld hl,0BEEFh
        call MON_PUTHEX16
        ld a,' '
        call MON_PUTC
        ld a,07h
        call MON_PUTHEX8
        call MON_NEWLINE
        ; line 2: backspace overwrites, tab to column 4, CR LF is one new line
        ld hl,txt_controls
        call MON_PUTS
        ld de,txt_controls
        or a
        sbc hl,de
        ld (RESULTS + 6),hl
        ; line 3: a code without a glyph
        ld a,01h
        call MON_PUTC
        ld a,0C1h
        call MON_PUTC
        call MON_NEWLINE
        ; lines 4-5: 34 characters wrap after the 32nd
        ld b,34
        ld a,'a'
wrap:   call MON_PUTC
        inc a
        cp 'z' + 1
        jr c,wrap_next
        ld a,'A'
wrap_next:
        djnz wrap
        ; row 5, column 10
        ld hl,5 * 256 + 10
        call MON_SETCURSOR
        ld a,'#'
        call MON_PUTC
        call MON_GETCURSOR
        ld (RESULTS + 2),hl
        ld hl,40 * 256 + 40
        call MON_SETCURSOR
        call MON_GETCURSOR
        ld (RESULTS + 4),hl
        ; colour
        ld a,4Eh
        call MON_SETATTR
        xor a
        call MON_GETATTR
        ld (RESULTS + 8),a
        ld a,1Fh
        call MON_SETATTR
        ld hl,7 * 256
        call MON_SETCURSOR
        ; random numbers
        ld de,RESULTS + 10h
        ld b,16
random: call MON_RANDOM
        ld (de),a
        inc de
        djnz random
        ret

; Entries that promise to keep BC, DE, HL, IX and IY, with the A they are called with.
keep_table:
        defw MON_CLS
        defb 0
        defw MON_PUTC
        defb 'x'
        defw MON_SETATTR
        defb 1Fh
        defw MON_SETCURSOR
        defb 0
        defw MON_PUTHEX8
        defb 0ABh
        defw MON_PUTHEX16
        defb 0
        defw MON_PUTDEC
        defb 0
        defw MON_PSGWRITE
        defb 9
        defw MON_DELAY
        defb 0
        defw MON_SILENCE
        defb 0
        defw MON_READROW
        defb 0
        defw MON_KEYCLICK
        defb 1
        defw MON_NEWLINE
        defb 0
        defw MON_NOTE
        defb 1
        defw MON_GETATTR
        defb 0
        defw MON_KEYREADY
        defb 0
        defw MON_BEEP
        defb 0
        defw 0

expected:
        defw 1122h, 3344h, 0003h, 7788h, 99AAh

txt_controls:
        defb "AB", 8, "C", 9, "D", 13, 10, 0

table_ptr:      defw 0
entry_no:       defw 0
seen_bc:        defw 0
seen_de:        defw 0
seen_hl:        defw 0
seen_ix:        defw 0
seen_iy:        defw 0
