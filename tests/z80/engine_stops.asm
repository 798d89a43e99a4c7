; Run control for the debug engine's tests: one of each instruction that step over and step out
; treat specially, memory and port accesses to watch, a HALT, and an invalid opcode to jump to.
        org 8000h
start:  ld sp, 0F000h
call_site:
        call sub1
after_call:
        rst 08h                 ; the test puts a RET at 0008
after_rst:
        ld hl, source
        ld de, target
        ld bc, 16
ldir_site:
        ldir
after_ldir:
        ld b, 3
djnz_site:
        djnz djnz_site
after_djnz:
        ld b, 5
counted:
        inc c                   ; runs five times
        djnz counted
        ld a, 42h
store:  ld (data), a            ; the write to watch
load:   ld a, (data)            ; the read to watch
port_out:
        out (0Ch), a
port_in:
        in a, (11h)
        call outer
after_outer:
halt_site:
        halt

sub1:   ld a, 1
        ret

outer:  call inner
back_in_outer:
        nop
        ret

inner:  push hl                 ; a routine that uses the stack before it returns
        pop hl
        ret z                   ; not taken (Z is clear): SP stays
        ret

invalid_site:
        db 0EDh, 30h            ; not an instruction

source: db "0123456789ABCDEF"
target: ds 16
data:   db 0
