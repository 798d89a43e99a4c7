; Starfall: catch the falling stars in the basket. A moves left, D moves right, Q quits.
; A missed star costs a life; every fifth catch makes the stars fall faster. After the last
; life, Space plays again and Q returns to the monitor's prompt.
; Load starfall.hex with File > Open and start it with "g 8000".
;
; The keys are read straight from the matrix (MON_READROW), so holding a key keeps the basket
; moving without waiting for the monitor's auto-repeat.

        org 8000h
        include "entries.inc"

STATUS_ROW      equ 0
HELP_POS        equ 256 * (STATUS_ROW + 1) + 3   ; row and column of the key help
TOP_ROW         equ 2
BASKET_ROW      equ 22
BASKET_WIDTH    equ 3
LAST_COL        equ 31
FRAME_MS        equ 25
MOVE_FRAMES     equ 2               ; the basket moves one column every second frame
START_RATE      equ 6               ; frames a star takes for one row at first
START_LIVES     equ 3
CATCHES_PER_LEVEL equ 5
BASKET_START    equ (LAST_COL + 1 - BASKET_WIDTH) / 2

FIELD_ATTR      equ 0Fh             ; white on black
STAR_ATTR       equ 0Eh             ; yellow
BASKET_ATTR     equ 0Ah             ; bright green
STATUS_ATTR     equ 1Fh             ; white on blue

; Keyboard matrix positions.
ROW_Q           equ 1               ; Q: row 1 bit 7
BIT_Q           equ 7
ROW_AD          equ 3               ; A: row 3 bit 5, D: row 3 bit 7
BIT_A           equ 5
BIT_D           equ 7

start:
        call MON_GETATTR
        ld (saved_attr),a
new_game:
        ld a,FIELD_ATTR
        call MON_SETATTR
        call MON_CLS
        ld hl,0
        ld (score),hl
        ld a,START_LIVES
        ld (lives),a
        ld a,START_RATE
        ld (fall_rate),a
        ld (fall_cnt),a
        xor a
        ld (catches),a
        ld (frame),a
        ld (sfx_cnt),a
        ld a,BASKET_START
        ld (basket_col),a
        call draw_status
        ld hl,HELP_POS
        call MON_SETCURSOR
        ld a,07h
        call MON_SETATTR
        ld hl,txt_keys
        call MON_PUTS
        call draw_basket
        call new_star

frame_loop:
        ld a,ROW_Q
        call MON_READROW
        bit BIT_Q,a
        jp nz,quit
        ld hl,frame
        inc (hl)
        ld a,(hl)
        and MOVE_FRAMES - 1
        jr nz,_fall
        ld a,ROW_AD
        call MON_READROW
        ld b,a
        bit BIT_A,b
        call nz,move_left
        bit BIT_D,b
        call nz,move_right
_fall:  ld hl,fall_cnt
        dec (hl)
        jr nz,_sound
        ld a,(fall_rate)
        ld (hl),a
        call star_step
        ld a,(lives)
        or a
        jp z,game_over
_sound: ld a,(sfx_cnt)
        or a
        jr z,_wait
        dec a
        ld (sfx_cnt),a
        jr nz,_wait
        call MON_SILENCE
_wait:  ld hl,FRAME_MS
        call MON_DELAY
        jr frame_loop

; Keeps B.
move_left:
        ld a,(basket_col)
        or a
        ret z
        call erase_basket
        ld hl,basket_col
        dec (hl)
        jp draw_basket

move_right:
        ld a,(basket_col)
        cp LAST_COL + 1 - BASKET_WIDTH
        ret nc
        call erase_basket
        ld hl,basket_col
        inc (hl)
        jp draw_basket

draw_basket:
        ld hl,txt_basket
        jr basket_text
erase_basket:
        ld hl,txt_blank
basket_text:
        push bc
        push hl
        ld a,(basket_col)
        ld l,a
        ld h,BASKET_ROW
        call MON_SETCURSOR
        ld a,BASKET_ATTR
        call MON_SETATTR
        pop hl
        call MON_PUTS
        pop bc
        ret

; Moves the star one row down; at the basket's row it is caught or lost.
star_step:
        ld a,' '
        call put_star
        ld hl,star_row
        inc (hl)
        ld a,(hl)
        cp BASKET_ROW
        jr nc,_landed
        ld a,'*'
        jp put_star
_landed:
        ld a,(basket_col)
        ld b,a
        ld a,(star_col)
        sub b
        cp BASKET_WIDTH
        jr nc,_lost
        ld hl,(score)
        inc hl
        ld (score),hl
        ld hl,200               ; a high blip for a catch
        ld a,4
        call play_sfx
        ld hl,catches
        inc (hl)
        ld a,(hl)
        cp CATCHES_PER_LEVEL
        jr c,_next
        ld (hl),0
        ld hl,fall_rate
        ld a,(hl)
        cp 2
        jr c,_next
        dec (hl)
        jr _next
_lost:  ld hl,lives
        dec (hl)
        ld hl,1500              ; a low tone for a miss
        ld a,12
        call play_sfx
_next:  call draw_status
        ld a,(lives)
        or a
        ret z
        jp new_star

; Tone HL on channel A for A frames.
play_sfx:
        ld (sfx_cnt),a
        ld e,12
        xor a
        jp MON_NOTE

new_star:
        call MON_RANDOM
        and LAST_COL
        ld (star_col),a
        ld a,TOP_ROW
        ld (star_row),a
        ld a,'*'

; Character A at the star's place.
put_star:
        push af
        ld a,(star_row)
        ld h,a
        ld a,(star_col)
        ld l,a
        call MON_SETCURSOR
        ld a,STAR_ATTR
        call MON_SETATTR
        pop af
        jp MON_PUTC

draw_status:
        ld hl,STATUS_ROW * 256
        call MON_SETCURSOR
        ld a,STATUS_ATTR
        call MON_SETATTR
        ld hl,txt_score
        call MON_PUTS
        ld hl,(score)
        call MON_PUTDEC
        ld hl,txt_lives
        call MON_PUTS
        ld a,(lives)
        add a,'0'
        call MON_PUTC
        ; the rest of the status row in the same colour
_fill:  call MON_GETCURSOR
        ld a,l
        cp LAST_COL + 1
        ret nc
        ld a,' '
        call MON_PUTC
        jr _fill

game_over:
        call MON_SILENCE
        ld hl,11 * 256 + 11
        call MON_SETCURSOR
        ld a,0Ch                ; bright red
        call MON_SETATTR
        ld hl,txt_over
        call MON_PUTS
        ld hl,13 * 256 + 4
        call MON_SETCURSOR
        ld a,FIELD_ATTR
        call MON_SETATTR
        ld hl,txt_again
        call MON_PUTS
_key:   call MON_GETKEY
        cp ' '
        jp z,new_game
        or 20h
        cp 'q'
        jr nz,_key

quit:   call MON_SILENCE
        ld a,(saved_attr)
        call MON_SETATTR
        call MON_CLS
        ret

txt_basket:     defb 5Ch, "_/", 0     ; \_/
txt_blank:      defb "   ", 0
txt_score:      defb " Score ", 0
txt_lives:      defb "  Lives ", 0
txt_keys:       defb "A: left  D: right  Q: quit", 0
txt_over:       defb "GAME OVER", 0
txt_again:      defb "Space: again  Q: quit", 0

score:          defw 0
lives:          defb 0
basket_col:     defb 0
star_row:       defb 0
star_col:       defb 0
fall_rate:      defb 0
fall_cnt:       defb 0
catches:        defb 0
frame:          defb 0
sfx_cnt:        defb 0
saved_attr:     defb 0
