; sort.s: bubble-sorts the six words of `values` in place (signed order)
; and stops in front of the stop opcode. Afterwards the words read
; -4, 0, 5, 9, 13, 27. The processor has no register-to-register compare,
; so the loop subtracts and tests the sign with slti.

        .code $800000
        .header
start:  addi  R02,R30,values-$800000  ; R02: the first word
        addi  R03,R00,6               ; R03: words still unsorted
pass:   subi  R03,R03,1
        beqz  R03,finish              ; one word left: sorted
        addi  R06,R02,0               ; R06 walks over the pairs
        addi  R07,R03,0               ; R07: pairs left in this pass
pair:   lw    R08,R06,0
        lw    R09,R06,1
        sub   R10,R09,R08
        slti  R11,R10,0               ; R11 = 1 when the pair is out of order
        beqz  R11,next
        sw    R09,R06,0               ; swap
        sw    R08,R06,1
next:   addi  R06,R06,1
        subi  R07,R07,1
        bnez  R07,pair
        beqz  R00,pass
finish: .word $c0000000               ; the stop opcode (48)

        .data $800040
values: .word 9, -4, 27, 0, 13, 5
