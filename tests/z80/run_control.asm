; Routines that leave in the ways step out and step over must follow: one that pops its return
; address and pushes it again, a recursive one, SDCC's return from a function whose argument byte
; the callee removes (POP HL / INC SP / JP (HL)), and one that returns past text behind its call.
        org 8000h
start:  ld sp, 0F000h
        call outer
after_outer:
        halt

outer:  call popper
after_popper:
        ld a, 3
        call recurse
after_recurse:
        ld a, 5
        push af
        inc sp                  ; one byte of argument on the stack
        call sdcc_fn
after_sdcc:
        call show_text
        db "hi", 0
after_text:
        ret

popper: pop hl                  ; its return address
popped: push de                 ; a word of its own
        pop de
        push hl                 ; the return address again
        ret

recurse:
        dec a                   ; A levels deep
        jr z, deepest
        call recurse
back:   ret
deepest:
        ret

sdcc_fn:
        ld hl, 2
        add hl, sp
        ld a, (hl)              ; the argument
        ld (result), a
        pop hl
        inc sp
        jp (hl)

show_text:
        pop hl                  ; the text behind the call
text_loop:
        ld a, (hl)
        inc hl
        or a
        jr z, text_end
        call put_char
        jr text_loop
text_end:
        jp (hl)                 ; back behind the text

put_char:
        ld (result), a
        ret

result: db 0
