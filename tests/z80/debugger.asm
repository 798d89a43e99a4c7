; The debugger window's test program: an endless loop that counts, calls a subroutine and then
; takes one of three ways by a mode byte: on round the loop, through a store to `result`, or into
; an invalid instruction.
count   equ 8000h
mode    equ 8001h
result  equ 8002h

        org 0
start:  ld sp, 0
        xor a
        ld (mode), a
        ld (result), a
loop:   ld hl, count
        inc (hl)
callsite:
        call bump
check:  ld a, (mode)
        cp 1
decide: jr z, taken
        cp 2
        jr z, broken
        jr loop
taken:  ld a, 0AAh
writer: ld (result), a
        jr loop
broken: db 0DDh, 30h            ; DD before JR NC: not an instruction the processor runs
bump:   push hl
        ld hl, count
        inc (hl)
        pop hl
        ret
