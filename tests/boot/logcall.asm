; Test double for the DOS programs the batch files call (GHOST.EXE, RESTART.COM): appends its own name
; and its command tail to a log file, and returns. Built as a .COM; DOS runs it under either name.
;   nasm -f bin -DNAME='"GHOST"' -DLOGFILE='"Y:\CALLS.LOG"' -o GHOST.EXE logcall.asm
        bits 16
        org 0x100

        mov ax, 0x3D01          ; open for writing
        mov dx, logfile
        int 0x21
        jnc .opened
        mov ah, 0x3C            ; or create
        xor cx, cx
        mov dx, logfile
        int 0x21
        jc .done
.opened:
        mov bx, ax
        mov ax, 0x4202          ; to the end
        xor cx, cx
        xor dx, dx
        int 0x21
        mov ah, 0x40
        mov cx, name_end - name
        mov dx, name
        int 0x21
        xor cx, cx
        mov cl, [0x80]          ; the command tail: its length, then the text
        mov ah, 0x40
        mov dx, 0x81
        int 0x21
        mov ah, 0x40
        mov cx, 2
        mov dx, crlf
        int 0x21
        mov ah, 0x3E
        int 0x21
.done:
        mov ax, 0x4C00
        int 0x21

name:    db NAME, ":"
name_end:
crlf:    db 13, 10
logfile: db LOGFILE, 0
