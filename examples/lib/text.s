; lib/text.s: subroutines for texts of one character per word that end
; with a 0 word, as .asciiz writes them. Include it before the code that
; uses it: its macro must be known there, and its code has a section of
; its own at $800100.

; next REG: moves REG on to the next word.
        .macro next reg
        addi  \reg,\reg,1
        .endm

        .scratch R28              ; for beq below
        .code $800100

; strlen: R01 := the number of characters of the text at R02.
; Uses R03 and R04; keeps R02.
strlen: clri  R01
        mv    R03,R02
1:      lw    R04,R03,0
        beqz  R04,2f              ; the 0 word ends the text
        next  R01
        next  R03
        j     1b
2:      ret

; reverse: writes the text at R02 backwards to R05, with a 0 word after
; it, and leaves its length in R01. Uses R03, R04 and R06; keeps R02 and
; R05. It calls strlen, so it saves its own return address on the stack.
reverse:
        push  R31
        call  strlen
        pop   R31
        add   R03,R02,R01         ; R03: just past the last character
        mv    R06,R05             ; R06: where the next one goes
1:      beq   R03,R02,2f
        subi  R03,R03,1
        lw    R04,R03,0
        sw    R04,R06,0
        next  R06
        j     1b
2:      sw    R00,R06,0
        ret
