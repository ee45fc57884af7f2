.code $7ffffffe
.word 1
.ds 0,3,-1
.mem 1,1 ; overlap
.data 1
.space 2
addi.11 R1,R0,$ffff
sub.34 R1,R2,R3
