; Boot sector of the diagnostic floppy that a build without a DOS kit carries instead of a DOS system.
; It says on screen (and on COM1, where test rigs read it) that no DOS environment is present, waits
; about five seconds and restarts the machine, so that a staged job never leaves the user at a dead screen.
; The build script splices the parameter block that mkfs.fat wrote (bytes 3 to 61) over the zeros below.
        bits 16
        org 0x7C00

        jmp short start
        nop
        times 62 - ($ - $$) db 0

start:
        cli
        xor ax, ax
        mov ds, ax
        mov es, ax
        mov ss, ax
        mov sp, 0x7C00
        sti
        cld

        ; COM1: 9600 baud, 8N1; harmless where no port answers.
        mov dx, 0x3FB
        mov al, 0x80
        out dx, al
        mov dx, 0x3F8
        mov al, 12
        out dx, al
        inc dx
        xor al, al
        out dx, al
        mov dx, 0x3FB
        mov al, 0x03
        out dx, al

        mov si, message
.next:
        lodsb
        test al, al
        jz wait_ticks
        mov ah, 0x0E
        mov bx, 0x0007
        int 0x10
        mov dx, 0x3F8
        out dx, al
        jmp .next

        ; About five seconds: 91 ticks of the BIOS timer (18.2 per second).
wait_ticks:
        mov ax, 0x40
        mov es, ax
        mov bx, [es:0x6C]
.poll:
        sti
        hlt
        mov ax, [es:0x6C]
        sub ax, bx
        cmp ax, 91
        jb .poll

        ; Warm restart through the BIOS reset vector.
        mov word [es:0x72], 0x1234
        jmp 0xFFFF:0x0000

message:
        db 13, 10, "Korvanix: this build carries no DOS environment, so the prepared Ghost job cannot run.", 13, 10
        db "Rebuild the program with a DOS kit. Restarting in 5 seconds...", 13, 10, 0

        times 510 - ($ - $$) db 0
        dw 0xAA55
