; One line per documented instruction form of every page, with operands written as the
; disassembler writes them (numbers with 0x, which the test reads as the disassembly's $, and
; the exact number of hex digits). The disassembler test reads this source beside its binary
; and compares each line with the disassembly.
        org 0x8000
        jr 0x8000
        jr nz,0x8010
        jr z,0x7F90
        jr nc,0x8004
        jr c,0x8085
        djnz 0x8000
        nop
        ex af,af'
        ld bc,0x1234
        ld de,0xFFFF
        ld hl,0x2000
        ld sp,0x0000
        add hl,bc
        add hl,de
        add hl,hl
        add hl,sp
        ld (bc),a
        ld (de),a
        ld (0x9000),hl
        ld (0x9002),a
        ld a,(bc)
        ld a,(de)
        ld hl,(0x9000)
        ld a,(0x9002)
        inc bc
        dec sp
        inc b
        inc (hl)
        dec a
        dec l
        ld c,0x00
        ld (hl),0xFF
        ld a,0x80
        rlca
        rrca
        rla
        rra
        daa
        cpl
        scf
        ccf
        ld b,b
        ld d,e
        ld h,(hl)
        ld (hl),l
        ld a,a
        halt
        add a,b
        adc a,(hl)
        sub c
        sbc a,d
        and e
        xor h
        or l
        cp a
        ret nz
        ret z
        ret nc
        ret c
        ret po
        ret pe
        ret p
        ret m
        pop bc
        pop af
        ret
        exx
        jp (hl)
        ld sp,hl
        jp nz,0x1234
        jp m,0x0000
        jp 0x8000
        out (0x10),a
        in a,(0xFE)
        ex (sp),hl
        ex de,hl
        di
        ei
        call pe,0x9000
        push de
        push af
        call 0xFFFF
        add a,0x01
        adc a,0x7F
        sub 0x80
        sbc a,0xFF
        and 0x0F
        xor 0xF0
        or 0x10
        cp 0x3A
        rst 0x00
        rst 0x08
        rst 0x38
        rlc b
        rrc c
        rl d
        rr e
        sla h
        sra l
        srl (hl)
        srl a
        bit 0,b
        bit 7,(hl)
        res 3,e
        res 6,(hl)
        set 5,a
        set 1,(hl)
        in b,(c)
        in a,(c)
        out (c),d
        out (c),l
        sbc hl,bc
        sbc hl,sp
        adc hl,de
        adc hl,hl
        ld (0x4000),bc
        ld (0x4002),sp
        ld de,(0x4000)
        ld sp,(0x4002)
        neg
        retn
        reti
        im 0
        im 1
        im 2
        ld i,a
        ld r,a
        ld a,i
        ld a,r
        rrd
        rld
        ldi
        cpi
        ini
        outi
        ldd
        cpd
        ind
        outd
        ldir
        cpir
        inir
        otir
        lddr
        cpdr
        indr
        otdr
        add ix,bc
        add ix,ix
        add iy,de
        add iy,iy
        add iy,sp
        ld ix,0x2000
        ld iy,0x8000
        ld (0x9000),ix
        ld iy,(0x9000)
        inc ix
        dec iy
        inc (ix+0x05)
        dec (iy-0x01)
        ld (ix-0x03),0x7F
        ld (iy+0x7F),0x00
        ld a,(ix+0x05)
        ld h,(iy-0x80)
        ld (ix+0x00),l
        ld (iy+0x10),a
        add a,(ix+0x01)
        adc a,(iy+0x02)
        sub (ix-0x02)
        sbc a,(iy+0x03)
        and (ix+0x04)
        xor (iy+0x05)
        or (ix+0x06)
        cp (iy-0x07)
        pop ix
        ex (sp),iy
        push iy
        jp (ix)
        jp (iy)
        ld sp,ix
        rlc (ix+0x01)
        rrc (iy-0x01)
        rl (ix+0x7F)
        rr (iy-0x80)
        sla (ix+0x00)
        sra (iy+0x10)
        srl (ix-0x10)
        bit 0,(iy+0x00)
        bit 7,(ix-0x03)
        res 2,(iy+0x20)
        set 4,(ix+0x40)
        set 7,(iy-0x40)
