# every feature of the language once
        .code $800000
        .header
        .scratch R28
        .macro pair a, b
p\@:    .word \a, \b
        .endm
        .equ N, (3 * 4 + 1) << 2 | 0b1 ^ ~0 & $ff % 7 / 2 - 'A'
start:  li   R01,$12345678
        la   R02,text
        call f
        blt  R01,R02,1f
        bge  R01,R02,1f
        beq  R01,R02,1f
        bne  R01,R00,1f
        ble  R01,R02,1b
1:      push R01
        pop  R03
        mv   R04,R03
        not  R05,R04
        neg  R06,R05
        nop
        j    1b
        b    1f
1:      pair 1, N
        .include "fuzz.s"
f:      ret
text:   .asciiz "a\tb\n\x41\"\\"
        .ascii "x", "y"
        .align 8
