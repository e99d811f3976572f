; Master boot record of the QEMU test disks. It stands in for the Windows boot manager's chain-loading of
; a boot-sector file: it loads the whole MBR helper (kept in the sectors right after this one) to
; 0000:7C00 and jumps to it with DL = 80h, as the boot manager does with \qzrpldr.mbr.
; The partition table comes from -D definitions: P1_TYPE, P1_START, P1_SIZE and the same for P2.
        bits 16
        org 0x600

%ifndef HELPER_SECTORS
%define HELPER_SECTORS 16
%endif

start:
        cli
        xor ax, ax
        mov ds, ax
        mov es, ax
        mov ss, ax
        mov sp, 0x7C00
        sti
        cld
        mov si, 0x7C00
        mov di, 0x600
        mov cx, 256
        rep movsw
        jmp 0:relocated

relocated:
        mov si, packet
        mov ah, 0x42
        mov dl, 0x80
        int 0x13
        jc failed
        mov dl, 0x80
        jmp 0:0x7C00

failed:
        mov si, failure
.next:
        lodsb
        test al, al
        jz .halt
        mov dx, 0x3F8
        out dx, al
        jmp .next
.halt:
        hlt
        jmp .halt

failure:
        db "STANDIN-MBR: helper read failed", 13, 10, 0

        align 4
packet:
        db 0x10, 0
        dw HELPER_SECTORS
        dw 0x7C00, 0
        dq 1

        times 0x1BE - ($ - $$) db 0
%macro entry 3
        db 0x00, 0xFE, 0xFF, 0xFF
        db %1, 0xFE, 0xFF, 0xFF
        dd %2, %3
%endmacro
%ifdef P1_TYPE
        entry P1_TYPE, P1_START, P1_SIZE
%else
        times 16 db 0
%endif
%ifdef P2_TYPE
        entry P2_TYPE, P2_START, P2_SIZE
%else
        times 16 db 0
%endif
        times 32 db 0
        dw 0xAA55
