; Tessik: the monitor program of the Quillane board.
;
; The board: Z80 at 10 MHz without interrupts, ROM 0000h-1FFFh (this program), video memory
; 2000h-3AFFh, RAM up to FFFFh, sound generator on ports 12/13, keyboard PIO on ports 16-19.
; Time is kept by counted loops (10000 T-states are 1 ms).
;
; Layout of the ROM: a jump to the cold start at 0000h, the version at 0003h, the entry table
; for programs from 0010h (three-byte jumps at fixed addresses), then the code and data.
; The monitor keeps its variables in 3B00h-3BFFh and its stack at the top of RAM.

VERSION_MAJOR   equ 1
VERSION_MINOR   equ 0

STACK_TOP       equ 0000h           ; the first push lands at FFFEh-FFFFh
STACK_PAGE      equ 0FFh            ; FF00h-FFFFh: the monitor's stack
FREE_START      equ 3C00h           ; RAM free for programs
FREE_END        equ 0FEFFh          ; FF00h-FFFFh is left to the stack
ROM_END         equ 2000h

DEFAULT_ATTR    equ 1Fh             ; white ink on blue paper
TITLE_ATTR      equ 1Eh             ; yellow ink on blue paper

; Monitor variables. The sound generator's shadow registers come first: their address is
; 3B00h + register number.
VARS            equ 3B00h
psg_shadow      equ VARS + 00h      ; 16 bytes: the last value written to each register
kb_done         equ VARS + 18h      ; 8 bytes: held keys already reported
kb_raw1         equ VARS + 20h      ; 8 bytes: first reading of a poll
kb_raw2         equ VARS + 28h      ; 8 bytes: second reading of a poll
cur_row         equ VARS + 30h      ; cursor row 0-23
cur_col         equ VARS + 31h      ; cursor column 0-32 (32: line full, wrap before next)
cur_attr        equ VARS + 32h      ; colour of new characters (paper * 16 + ink)
last_char       equ VARS + 33h      ; previous character printed (CR LF makes one new line)
cursor_vis      equ VARS + 34h      ; 1 while the cursor cell is shown inverted
kb_caps         equ VARS + 35h      ; Caps Lock state
kb_rep_idx      equ VARS + 36h      ; matrix index of the key that auto-repeats, FFh none
kb_click        equ VARS + 37h      ; 0: no key click
kb_rep_cnt      equ VARS + 38h      ; word: polls until the next repeat
blink_cnt       equ VARS + 3Ah      ; word: polls until the cursor blinks
rand_seed       equ VARS + 3Ch      ; word
dump_next       equ VARS + 3Eh      ; word: where a bare "d" goes on
tok_start       equ VARS + 40h      ; word: start of the token being parsed
line_ptr        equ VARS + 42h      ; word: parse position in the command line
cmd_usage       equ VARS + 44h      ; word: usage text of the running command
arg_a           equ VARS + 46h      ; words: command arguments
arg_b           equ VARS + 48h
arg_c           equ VARS + 4Ah
e_addr          equ VARS + 4Ch      ; word: address of the enter command
psg_latch       equ VARS + 4Eh      ; the sound register selected last, put back after a blip
kb_stable       equ VARS + 50h      ; 8 bytes: debounced key matrix, one byte per row
kb_hist1        equ VARS + 58h      ; 3 x 8 bytes: the debounced matrix of the last three polls
kb_hist2        equ VARS + 60h
kb_hist3        equ VARS + 68h
line_buf        equ VARS + 80h      ; LINE_MAX + 1 bytes
LINE_MAX        equ 63
VARS_SIZE       equ 100h
VARS_PAGE       equ VARS >> 8

        include "entries.inc"

; Places a jump to the routine at the entry's documented address.
entry   macro address, routine
        if $ != address
        .error an entry is not at its documented address
        endif
        jp routine
        endm

        org 0000h

rom_start:
        jp cold_start           ; 0000h
        defb VERSION_MAJOR, VERSION_MINOR

        defs 0010h - $, 0

; Entry table at the addresses of entries.inc, which documents each entry. Each entry's label
; (mon_puts for MON_PUTS) names it in a debugger, where CALL MON_PUTS shows as CALL mon_puts.
mon_warm:       entry MON_WARM, warm_start
mon_putc:       entry MON_PUTC, con_putc
mon_puts:       entry MON_PUTS, con_puts
mon_getkey:     entry MON_GETKEY, kb_getkey
mon_keyready:   entry MON_KEYREADY, kb_keyready
mon_beep:       entry MON_BEEP, snd_beep
mon_cls:        entry MON_CLS, con_cls
mon_setattr:    entry MON_SETATTR, con_setattr
mon_setcursor:  entry MON_SETCURSOR, con_setcursor
mon_getcursor:  entry MON_GETCURSOR, con_getcursor
mon_puthex8:    entry MON_PUTHEX8, con_puthex8
mon_puthex16:   entry MON_PUTHEX16, con_puthex16
mon_putdec:     entry MON_PUTDEC, con_putdec
mon_psgwrite:   entry MON_PSGWRITE, snd_write
mon_delay:      entry MON_DELAY, delay_ms
mon_getline:    entry MON_GETLINE, con_getline
mon_silence:    entry MON_SILENCE, snd_silence
mon_readrow:    entry MON_READROW, kb_readrow
mon_random:     entry MON_RANDOM, random_next
mon_keyclick:   entry MON_KEYCLICK, kb_setclick
mon_newline:    entry MON_NEWLINE, con_newline
mon_note:       entry MON_NOTE, snd_note
mon_getattr:    entry MON_GETATTR, con_getattr

; Cold start: power on, reset, or a jump to 0000h.
cold_start:
        di                      ; the board has no interrupts; keep the processor's flag honest
        ld sp,STACK_TOP
        ld hl,VARS
        ld de,VARS + 1
        ld bc,VARS_SIZE - 1
        ld (hl),0
        ldir
        ld a,DEFAULT_ATTR
        ld (cur_attr),a
        ld a,1
        ld (kb_click),a
        ld hl,0ACE1h
        ld (rand_seed),hl
        ld hl,FREE_START
        ld (dump_next),hl
        call snd_init
        call kb_init
        call con_cls
        ld a,TITLE_ATTR
        ld (cur_attr),a
        ld hl,txt_title
        call con_puts
        ld a,VERSION_MAJOR
        call print_digit
        ld a,'.'
        call con_putc
        ld a,VERSION_MINOR
        call print_digit
        call con_newline
        ld a,DEFAULT_ATTR
        ld (cur_attr),a
        ld hl,txt_free
        call con_puts
        ld hl,FREE_START
        call con_puthex16
        ld a,'-'
        call con_putc
        ld hl,FREE_END
        call con_puthex16
        ld a,' '
        call con_putc
        ld hl,FREE_END - FREE_START + 1
        call con_putdec
        ld hl,txt_bytes
        call con_puts
        ld hl,txt_hint
        call con_puts
        jr main_loop

print_digit:
        add a,'0'
        jp con_putc

; Warm start: where "g" programs return to, and the entry that programs jump to.
warm_start:
        ld sp,STACK_TOP
        call kb_init
        call snd_silence
        xor a
        ld (cursor_vis),a
        ld a,(cur_col)
        or a
        call nz,con_newline

main_loop:
        ld sp,STACK_TOP
        ; The keyboard port is set up again before every prompt, so that an "o" command that
        ; changed the PIO cannot leave the monitor deaf.
        call kb_setup_port
        ld hl,txt_prompt
        call con_puts
        ld hl,line_buf
        ld b,LINE_MAX
        call con_getline
        call cmd_execute
        jr main_loop

; HL = pseudo-random number (16-bit xorshift), A = L.
random_next:
        push de
        ld hl,(rand_seed)
        ld a,h
        rra
        ld a,l
        rra
        xor h
        ld h,a
        ld a,l
        rra
        ld a,h
        rra
        xor l
        ld l,a
        xor h
        ld h,a
        ld (rand_seed),hl
        ld a,l
        pop de
        ret

; A = bit number 0-7: A = that bit alone. Keeps all other registers.
mon_bitmask:
        push bc
        and 7
        ld b,a
        ld a,1
        jr z,_done
_shift: rlca
        djnz _shift
_done:  pop bc
        ret

; Waits HL milliseconds at 10 MHz; keeps all registers.
DELAY_INNER     equ 383             ; 26 T-states a pass, 38 around: 10000 T-states a millisecond
delay_ms:
        push af
        push bc
        push hl
_ms:    ld a,h
        or l
        jr z,_done
        ld bc,DELAY_INNER
_inner: dec bc
        ld a,b
        or c
        jr nz,_inner
        dec hl
        jr _ms
_done:  pop hl
        pop bc
        pop af
        ret

        include "console.inc"
        include "keyboard.inc"
        include "sound.inc"
        include "commands.inc"
        include "font.inc"

rom_code_end:
        if rom_code_end > ROM_END
        .error the monitor does not fit in the ROM
        endif
        if psg_shadow and 0FFh
        .error psg_shadow must start on a page boundary
        endif
