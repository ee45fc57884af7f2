; sum.s: adds up the five words of `array` and stops on the idle loop.
; Leaves the sum 39 ($27) in R01. R30 holds $800000 after a reset, so
; addresses of data are written relative to it.

        .code $800000
        dc    0x52455341 // resa
start:  addi  R02,R30,array-$800000   ; R02 walks over the array
        addi  R04,R00,5               ; R04 counts the words left
        clri  R01                     ; R01 is the sum
loop:   lw    R03,R02,0
        add   R01,R01,R03
        addi  R02,R02,1
        subi  R04,R04,1
        bnez  R04,loop
done:   beqz  R00,done                ; idle loop: the run ends here

        .data $800020
array:  .word 3, 5, 7, 11, 13
