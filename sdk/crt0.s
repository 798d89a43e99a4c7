; Start-up code of C programs for the Quillane board, for SDCC's assembler (sdasz80).
;
; The program is loaded at 8000h and started with the monitor's "g 8000". This code comes first
; in the program: it sets the stack, clears the uninitialised data (area _DATA), copies the
; initial values of the initialised data (_INITIALIZER, stored after the code) to their place
; (_INITIALIZED), runs what the library hooks into _GSINIT (malloc's heap), calls main and then
; returns to the monitor's prompt through its warm start, which also silences the sound.
;
; Memory: code and constants from 8000h, the data right after them (the compiler driver links
; twice to place it there), the stack's 1 KB at FB00h-FEFFh (SP starts at FF00h, below the
; monitor's own stack). main's return value is ignored.

        .module crt0
        .globl  _main
        .globl  s__DATA, l__DATA
        .globl  s__INITIALIZER, l__INITIALIZER, s__INITIALIZED

STACK_TOP = 0xFF00              ; the first push lands at FEFEh-FEFFh
MON_WARM = 0x0010               ; the monitor's warm start; RST 10h calls it

; The order of the areas in the program: this module is linked first, so its order holds.
        .area   _CODE
        .area   _INITIALIZER
        .area   _HOME
        .area   _GSINIT
        .area   _GSFINAL
        .area   _DATA
        .area   _INITIALIZED
        .area   _BSEG
        .area   _BSS
        .area   _HEAP
        .area   _HEAP_END

        .area   _CODE
start::
        ld      sp, #STACK_TOP

        ; Uninitialised data: the first byte is cleared, LDIR carries the 0 through the rest.
        ld      bc, #l__DATA
        ld      a, b
        or      a, c
        jr      z, copy
        ld      hl, #s__DATA
        ld      (hl), #0
        dec     bc
        ld      a, b
        or      a, c
        jr      z, copy
        ld      d, h
        ld      e, l
        inc     de
        ldir

        ; Initialised data: its initial values follow the code.
copy:   ld      bc, #l__INITIALIZER
        ld      a, b
        or      a, c
        jr      z, run
        ld      hl, #s__INITIALIZER
        ld      de, #s__INITIALIZED
        ldir

run:    call    gsinit
        call    _main
        rst     MON_WARM        ; never returns

; Code that library modules place in _GSINIT runs here, then falls through to the RET.
        .area   _GSINIT
gsinit:
        .area   _GSFINAL
        ret
