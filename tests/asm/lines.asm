; The line table's fixture (tests/test_asm_lines.cpp, tests/asm/test_qasm.sh): sdk/qasm's
; records and symbol kinds through INCLUDE, MACRO, REPT, IF/ELSE, local labels, ORG and data.
; Lines the tests look at carry a tag "@name" in their comment.
; DELAY equals an address in the ROM.
DELAY   equ 40                  ; @constant
COUNT   equ 3

        org 8000h
        include "lines.inc"

start:  ld hl,DELAY             ; @constant-operand
        call routine            ; @label-operand
        ld b,COUNT
_loop:  djnz _loop              ; @local-label
        show 'Q'                ; @macro
        if COUNT > 5
        nop                     ; @false-branch
        else
        ld a,COUNT              ; @true-branch
        endif
        jp $+3                  ; @dollar
        rept 2                  ; @rept
        inc a                   ; @rept-body
        endm
table:  db 1,2,"a;b",0          ; @bytes
        dw start,table          ; @words
        ds 4,0FFh               ; @space

        org 8100h               ; @org
routine:
        ret                     ; @after-org
message:
        defm "hello"            ; @text
        incbin "lines.inc"      ; @incbin
