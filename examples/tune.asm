; A round in three voices on the three tone channels: "Frere Jacques" (traditional). Voice A
; starts, B follows two bars later, C two bars after B; each sings the song twice. The screen
; shows the note each voice is on. Any key stops the tune early; then the program returns to
; the monitor's prompt. Load tune.hex with File > Open and start it with "g 8000".
;
; Notes go through the monitor's MON_NOTE entry, which keeps a copy of the sound registers, so
; the key click that the monitor plays on channel C puts voice C back as it was.

        org 8000h
        include "entries.inc"

EIGHTH_MS       equ 190             ; one eighth note, the step of the sequencer
GAP_MS          equ 15              ; silence before a note that follows, so repeats are heard
REPEATS         equ 2
VOICE_SIZE      equ 6
NAME_COL        equ 10

; Voice record: +0 note pointer, +2 eighths left of the note, +3 eighths to wait before the
; first note, +4 times left to sing the song (0: finished), +5 amplitude.
V_PTR           equ 0
V_LEFT          equ 2
V_WAIT          equ 3
V_TIMES         equ 4
V_LEVEL         equ 5

; A tone of period 10 k sounds at 11025 / k Hz on this board; the periods below are multiples
; of 10 so that every note lands on its pitch without rounding.
C3              equ 840
D3              equ 750
E3              equ 670
F3              equ 630
G3              equ 560
A3              equ 500
G2              equ 1120

start:
        call MON_CLS
        ld hl,txt_title
        call MON_PUTS
        ld hl,voice_init
        ld de,voices
        ld bc,3 * VOICE_SIZE
        ldir
        ld b,0
_labels:
        ld a,b
        add a,4
        ld h,a
        ld l,0
        call MON_SETCURSOR
        ld hl,txt_voice
        call MON_PUTS
        ld a,'A'
        add a,b
        call MON_PUTC
        ld a,':'
        call MON_PUTC
        inc b
        ld a,b
        cp 3
        jr c,_labels
        ld hl,8 * 256 + 0
        call MON_SETCURSOR
        ld hl,txt_stop
        call MON_PUTS

step:   ld ix,voices
        ld b,0                  ; channel
        ld c,0                  ; voices still singing
_voice: call voice_step
        ld de,VOICE_SIZE
        add ix,de
        inc b
        ld a,b
        cp 3
        jr c,_voice
        ld a,c
        or a
        jr z,finish
        ld hl,EIGHTH_MS - GAP_MS
        call wait_or_key
        jr nz,finish
        ; a note that ends now falls silent for the gap
        ld ix,voices
        ld b,0
_gap:   ld a,(ix + V_TIMES)
        or a
        jr z,_next
        ld a,(ix + V_WAIT)
        or a
        jr nz,_next
        ld a,(ix + V_LEFT)
        or a
        jr nz,_next
        ld a,b
        add a,8                 ; amplitude register of the channel
        ld e,0
        call MON_PSGWRITE
_next:  ld de,VOICE_SIZE
        add ix,de
        inc b
        ld a,b
        cp 3
        jr c,_gap
        ld hl,GAP_MS
        call wait_or_key
        jr z,step

finish: call MON_SILENCE
        ld hl,10 * 256 + 0
        call MON_SETCURSOR
        ld hl,txt_done
        call MON_PUTS
        call MON_NEWLINE
        ret

; Waits about HL milliseconds (in 10 ms slices, each with a look at the keyboard, so that a
; short key press is not missed); NZ as soon as a key is pressed.
SLICE_MS        equ 9               ; and about 1 ms for the keyboard poll
wait_or_key:
        call MON_KEYREADY
        ret nz
        ld de,SLICE_MS + 1
        or a
        sbc hl,de
        jr c,_over
        push hl
        ld hl,SLICE_MS
        call MON_DELAY
        pop hl
        jr wait_or_key
_over:  xor a                   ; less than a slice left: time is up, no key
        ret

; Advances the voice at IX (channel B) by one eighth; counts it in C while it sings.
voice_step:
        ld a,(ix + V_TIMES)
        or a
        ret z
        inc c
        ld a,(ix + V_WAIT)
        or a
        jr z,_sing
        dec (ix + V_WAIT)
        ret
_sing:  ld a,(ix + V_LEFT)
        or a
        jr nz,_hold
        ld l,(ix + V_PTR)
        ld h,(ix + V_PTR + 1)
        ld a,(hl)               ; length 0 ends the song
        or a
        jr nz,_note
        dec (ix + V_TIMES)
        jr z,_ended
        ld hl,song
        ld a,(hl)
_note:  ld (ix + V_LEFT),a
        inc hl
        ld e,(hl)               ; period
        inc hl
        ld d,(hl)
        inc hl
        ld a,(hl)               ; name
        inc hl
        ld (ix + V_PTR),l
        ld (ix + V_PTR + 1),h
        call show_name
        ex de,hl
        ld e,(ix + V_LEVEL)
        ld a,b
        call MON_NOTE
_hold:  dec (ix + V_LEFT)
        ret
_ended: dec c
        ld a,b
        add a,8
        ld e,0
        call MON_PSGWRITE
        ld a,'-'
        jp show_name

; Shows character A as the note of channel B.
show_name:
        push hl
        push af
        ld a,b
        add a,4
        ld h,a
        ld l,NAME_COL
        call MON_SETCURSOR
        pop af
        call MON_PUTC
        pop hl
        ret

; Notes: length in eighths, period, name; a length of 0 ends the song.
note    macro length, period, name
        defb length
        defw period
        defb name
        endm

song:
        note 2, C3, 'C'
        note 2, D3, 'D'
        note 2, E3, 'E'
        note 2, C3, 'C'
        note 2, C3, 'C'
        note 2, D3, 'D'
        note 2, E3, 'E'
        note 2, C3, 'C'
        note 2, E3, 'E'
        note 2, F3, 'F'
        note 4, G3, 'G'
        note 2, E3, 'E'
        note 2, F3, 'F'
        note 4, G3, 'G'
        note 1, G3, 'G'
        note 1, A3, 'A'
        note 1, G3, 'G'
        note 1, F3, 'F'
        note 2, E3, 'E'
        note 2, C3, 'C'
        note 1, G3, 'G'
        note 1, A3, 'A'
        note 1, G3, 'G'
        note 1, F3, 'F'
        note 2, E3, 'E'
        note 2, C3, 'C'
        note 2, C3, 'C'
        note 2, G2, 'g'
        note 4, C3, 'C'
        note 2, C3, 'C'
        note 2, G2, 'g'
        note 4, C3, 'C'
        defb 0

voice_init:
        defw song
        defb 0, 0, REPEATS, 13
        defw song
        defb 0, 16, REPEATS, 11
        defw song
        defb 0, 32, REPEATS, 10

txt_title:      defb "Frere Jacques, a round", 13
                defb "in three voices", 0
txt_voice:      defb "Voice ", 0
txt_stop:       defb "Any key stops the tune.", 0
txt_done:       defb "The round is over.", 0

voices:         defs 3 * VOICE_SIZE
