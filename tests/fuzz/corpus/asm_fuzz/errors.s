.code 0
bad
addi R1
beqz R0,late
????  (illegal opcode)
.word $100000000, 1+
x: x: .equ y,z
