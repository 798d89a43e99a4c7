; The monitor's entries as C functions for SDCC (default calling convention __sdcccall(1): the
; first argument in A (8 bits) or HL (16 bits), the second in L or DE, the rest on the stack,
; removed by the called function; results in A (8 bits) or DE (16 bits)). The monitor keeps
; BC, DE, HL, IX and IY unless an entry returns something in them.
;
; Entries whose registers already match are plain absolute symbols: the C call goes straight to
; the monitor. The others get a few instructions of glue. putchar and getchar let the C
; library's printf, puts and friends use the monitor's screen and keyboard.

        .module quillane

; Entries called directly.
_mon_warm       == 0x0010
_mon_putc       == 0x0013
_mon_puts       == 0x0016
_mon_getkey     == 0x0019
_mon_keyready   == 0x001C
_mon_beep       == 0x001F
_mon_cls        == 0x0022
_mon_setattr    == 0x0025
_mon_puthex8    == 0x002E
_mon_puthex16   == 0x0031
_mon_putdec     == 0x0034
_mon_delay      == 0x003A
_mon_silence    == 0x0040
_mon_readrow    == 0x0043
_mon_keyclick   == 0x0049
_mon_newline    == 0x004C
_mon_getattr    == 0x0052

MON_PUTC        = 0x0013
MON_GETKEY      = 0x0019
MON_SETCURSOR   = 0x0028
MON_GETCURSOR   = 0x002B
MON_PSGWRITE    = 0x0037
MON_GETLINE     = 0x003D
MON_RANDOM      = 0x0046
MON_NOTE        = 0x004F

        .area   _CODE

; void mon_setcursor(unsigned char row, unsigned char col): row in A, column in L.
_mon_setcursor::
        ld      h, a
        jp      MON_SETCURSOR

; unsigned int mon_getcursor(void): row * 256 + column.
_mon_getcursor::
        call    MON_GETCURSOR
        ex      de, hl
        ret

; void mon_psgwrite(unsigned char reg, unsigned char value): register in A, value in L.
_mon_psgwrite::
        ld      e, l
        jp      MON_PSGWRITE

; unsigned char mon_getline(char *buf, unsigned char max): buffer in HL, the most characters
; in one byte on the stack; returns the length.
_mon_getline::
        pop     de              ; return address
        dec     sp
        pop     af              ; A = max, the byte removed from the stack
        push    de
        ld      b, a
        call    MON_GETLINE
        ld      a, b
        ret

; unsigned int mon_random(void)
_mon_random::
        call    MON_RANDOM
        ex      de, hl
        ret

; void mon_note(unsigned char channel, unsigned int period, unsigned char amplitude): channel
; in A, period in DE, amplitude in one byte on the stack.
_mon_note::
        ex      de, hl          ; HL = period
        pop     bc              ; return address
        dec     sp
        pop     de              ; D = amplitude, the byte removed from the stack
        push    bc
        ld      e, d
        jp      MON_NOTE

; int putchar(int c): prints the low byte (a '\n' starts a new line); returns c.
_putchar::
        ld      a, l
        call    MON_PUTC
        ex      de, hl
        ret

; int getchar(void): waits for a key without echoing it; Enter reads as '\n'.
_getchar::
        call    MON_GETKEY
        cp      a, #0x0D
        jr      nz, 1$
        ld      a, #0x0A
1$:     ld      e, a
        ld      d, #0
        ret
