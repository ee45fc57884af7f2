; strings.s: writes a greeting backwards into a buffer with the text
; routines of lib/text.s and leaves the length 14 ($e) in R01. The words of
; `buffer` then read "!arovaT ,ollaH", one character each, and a 0.
; The routines are called with call and return with ret (the return
; address is in R31); R29 is the stack that push and pop use.

        .include "lib/text.s"

        .code $800000
        .header
start:  la    R29,stack_top       ; the stack grows down from its top
        la    R02,greeting
        la    R05,buffer
        call  reverse             ; R01 := 14, buffer := the text backwards
        next  R05                 ; the macro from lib/text.s
done:   j     done

        .data $800200
greeting:
        .asciiz "Hallo, Tavora!"
buffer: .space 16
stack:  .space 8
        .equ  stack_top,stack+8
