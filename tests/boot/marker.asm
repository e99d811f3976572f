; Boot sector of the test floppy that stands in for the DOS image. It proves that it runs from a floppy
; mapped by memdisk: it reads the floppy's second sector (the first FAT, whose first byte is the media
; byte) and the last sector of the first track through BIOS drive 0, prints the marker, that byte and
; whether the track read on COM1, then restarts (QEMU runs with
; -no-reboot, so the restart ends the run). The parameter block comes from mkfs.fat (spliced in).
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
        mov si, marker
        call print
        mov ax, 0x0201
        mov cx, 0x0002
        xor dx, dx
        mov bx, 0x8000
        int 0x13
        jc .failed
        mov al, [0x8000]
        call hex
        ; The last sector of the first track, as the parameter block counts it: readable only when the
        ; geometry memdisk reports matches the block.
        mov ax, 0x0201
        mov cl, [0x7C18]
        mov ch, 0
        xor dx, dx
        mov bx, 0x8000
        int 0x13
        jc .failed
        mov si, trackok
        call print
        jmp .restart
.failed:
        mov si, readfail
        call print
.restart:
        mov ax, 0x40
        mov es, ax
        mov word [es:0x72], 0x1234
        jmp 0xFFFF:0x0000

print:
        lodsb
        test al, al
        jz .done
        call putc
        jmp print
.done:
        ret

hex:
        push ax
        shr al, 4
        call nibble
        pop ax
nibble:
        and al, 0x0F
        add al, '0'
        cmp al, '9'
        jbe putc
        add al, 'A' - '0' - 10
putc:
        mov dx, 0x3FD
.wait:
        push ax
        in al, dx
        test al, 0x20
        pop ax
        jz .wait
        mov dx, 0x3F8
        out dx, al
        ret

marker:   db "KORVANIX-FLOPPY-MARKER media=", 0
readfail: db " read-failed", 13, 10, 0
trackok:  db " track=ok", 13, 10, 0

        times 510 - ($ - $$) db 0
        dw 0xAA55
