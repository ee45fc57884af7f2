; factorial.s: computes 5! with a recursive subroutine and leaves 120 ($78)
; in R01. `fact` is called through jalr (the return address lands in R31);
; each level pushes R31 and its argument on a stack that R29 points to and
; that grows down inside `stack`. There is no multiply instruction, so the
; product is built by repeated addition.

        .code $800000
        dc    0x52455341 // resa
start:  addi  R29,R30,stack_top-$800000
        addi  R04,R00,5               ; argument n
        addi  R20,R30,fact-$800000
        jalr  R20
done:   beqz  R00,done

; fact: R01 := R04!, keeps R04, uses R06, R07 and R20.
fact:   bnez  R04,recurse
        addi  R01,R00,1               ; 0! = 1
        jr    R31
recurse:
        subi  R29,R29,2               ; push the return address and n
        sw    R31,R29,0
        sw    R04,R29,1
        subi  R04,R04,1
        addi  R20,R30,fact-$800000
        jalr  R20                     ; R01 := (n-1)!
        lw    R04,R29,1               ; pop
        lw    R31,R29,0
        addi  R29,R29,2
        clri  R06                     ; R06 := n * R01 by addition
        addi  R07,R04,0
times:  beqz  R07,product
        add   R06,R06,R01
        subi  R07,R07,1
        beqz  R00,times
product:
        addi  R01,R06,0
        jr    R31

        .equ  stack_words,16
stack:  .ds   $800100,stack_words
        .equ  stack_top,stack+stack_words
