; Built-in firmware of the PK-01 Lvov emulator: a small monitor.
;
; It occupies the ROM at C000-FFFF and stands in for the machine's own firmware
; when no original image is installed. At start-up it sets the palette, clears
; the screen, prints a banner, leaves in RAM what loaded programs expect (the
; BASIC area words at 0243/0245, the warm-start entry at 02FD, the keyboard-mode
; byte at BE1D) and then runs the monitor prompt.
;
; Memory while running:
;   0243-0246  start and end of the BASIC program area (both 0300 = empty)
;   02FD-02FF  JMP WBOOT, the warm-start entry loaded programs return to
;   BD00-BDFF  the firmware's stack (SP starts at BE00)
;   BE00-BE4F  the firmware's variables (see below); BE1D is the keyboard mode
;
; Video memory is only ever switched in (latch C2 bit 1 = 0) inside the drawing
; routines, which run from ROM with the stack in 8000-BFFF: while it is switched
; in, 0000-3FFF reads as 00.

; ---------------------------------------------------------------- hardware
PORT_PALETTE    EQU     0C1H    ; bits 0-6 choose the four screen colours
PORT_SYSTEM     EQU     0C2H    ; bit 1: 1 = RAM at 0000-BFFF, 0 = video at 4000-7FFF
PORT_KBD_COLS   EQU     0D0H    ; main matrix column select, active low
PORT_KBD_ROWS   EQU     0D1H    ; main matrix rows of the selected columns, active low
PORT_KBD_EXTRA  EQU     0D2H    ; out: extra columns 0-3 (active low); in: rows in bits 4-7

SYS_RAM         EQU     0FFH    ; latch C2 value with RAM mapped everywhere
SYS_VIDEO       EQU     0FDH    ; latch C2 value with video memory at 4000-7FFF

; Palette 55: pixel value 0 = blue (background), 1 = white (text),
; 2 = red, 3 = cyan (title and the Cyrillic-mode cursor).
PALETTE         EQU     55H

VRAM            EQU     4000H   ; 256 rows of 64 bytes, four pixels per byte
VRAM_END        EQU     8000H
LINE_BYTES      EQU     512     ; one text line = 8 pixel rows of 64 bytes
COLS            EQU     32
ROWS            EQU     32

; ---------------------------------------------------------------- RAM
BASIC_START_PTR EQU     0243H   ; word: start of the BASIC program area
BASIC_END_PTR   EQU     0245H   ; word: end of the BASIC program in that area
WARM_ENTRY      EQU     02FDH   ; loaded programs return (or BASIC starts) here
BASIC_AREA      EQU     0300H   ; free area a BASIC tape image is loaded into

STACK_TOP       EQU     0BE00H  ; stack grows down from here into BDxx

VARS            EQU     0BE00H
CURX            EQU     0BE00H  ; cursor column 0-32 (32 = wrap before next char)
CURY            EQU     0BE01H  ; cursor line 0-31
COLOR           EQU     0BE02H  ; 0 = white text, else cyan
CURON           EQU     0BE03H  ; 1 while the cursor is drawn
CURMASK         EQU     0BE04H  ; XOR mask the cursor was drawn with
KPOS            EQU     0BE05H  ; key position seen at the last poll, FF = none
KSHIFT          EQU     0BE06H  ; 1 while Shift (main 7/0) is held
KMODEK          EQU     0BE07H  ; mode keys held at the last poll (bit 0 = 6/1, bit 1 = 3/5)
KCNT            EQU     0BE08H  ; word: polls the key at KPOS has been held
BLINK           EQU     0BE0AH  ; word: polls until the cursor blinks
DUMPADR         EQU     0BE0CH  ; word: where the next D without address starts
TEMP            EQU     0BE0EH  ; word: scratch for the commands
REG_F           EQU     0BE10H  ; registers as the last program run by G left them
REG_A           EQU     0BE11H
REG_BC          EQU     0BE12H
REG_DE          EQU     0BE14H
REG_HL          EQU     0BE16H
REG_SP          EQU     0BE18H
REG_PC          EQU     0BE1AH  ; address of the last G
SCRLINES        EQU     0BE1CH  ; lines a scroll at the bottom moves the screen by
SAVESP          EQU     0BE1EH  ; word: SP saved while the scroll borrows it
KBDMODE         EQU     0BE1DH  ; keyboard mode: bit 7 set = Cyrillic letters
KROWS           EQU     0BE20H  ; 8 bytes: held rows of main columns 0-7
KEXTRA          EQU     0BE28H  ; 4 bytes: held rows of extra columns 0-3
LINELEN         EQU     0BE2FH  ; characters in the line buffer
LINEBUF         EQU     0BE30H  ; 32 bytes: the line being edited, 0-terminated
VARS_END        EQU     0BE50H

MAXLINE         EQU     29      ; prompt "> " + 29 characters fit in one line
LIST_SCROLL     EQU     8       ; lines a listing scrolls by at a time

; ---------------------------------------------------------------- key codes
KEY_BS          EQU     08H
KEY_ENTER       EQU     0DH
KEY_ESC         EQU     1BH
KEY_LEFT        EQU     1DH

; ---------------------------------------------------------------- entry points
        ORG     0C000H
        JMP     COLD            ; C000 power-on start
        JMP     MONITOR         ; C003 back to the monitor prompt
        JMP     PUTCH           ; C006 print the character in A
        JMP     GETKEY          ; C009 wait for a key, code in A
        JMP     PUTS            ; C00C print the 0-terminated string at HL
        JMP     KPOLL           ; C00F one keyboard poll: A = key code or 0
        JMP     CLS             ; C012 clear the screen, cursor home

; Power-on start: palette, RAM set-up, a clear screen with the banner, the prompt.
COLD:   LXI     SP,STACK_TOP
        MVI     A,SYS_RAM
        OUT     PORT_SYSTEM
        MVI     A,PALETTE
        OUT     PORT_PALETTE
        LXI     H,VARS          ; all variables start at zero
        MVI     B,VARS_END-VARS
        XRA     A
COLD1:  MOV     M,A
        INX     H
        DCR     B
        JNZ     COLD1
        CALL    INITLOW
        CALL    INITVARS
        CALL    CLS
        CALL    BANNER
        LXI     H,MSG_HINT
        CALL    PUTS
        JMP     MONITOR

; Puts into low RAM what loaded programs rely on: an empty BASIC area and the
; warm-start jump at 02FD.
INITLOW:
        LXI     H,BASIC_AREA
        SHLD    BASIC_START_PTR
        SHLD    BASIC_END_PTR
        MVI     A,0C3H          ; JMP WBOOT
        STA     WARM_ENTRY
        LXI     H,WBOOT
        SHLD    WARM_ENTRY+1
        RET

; Screen and keyboard state for a fresh screen; the keyboard mode is kept (only its
; bit 7 means anything, so a byte overwritten by a loaded program is cleaned up).
INITVARS:
        LDA     KBDMODE
        ANI     80H
        STA     KBDMODE
        MVI     A,1
        STA     SCRLINES
        XRA     A
        STA     CURX
        STA     CURY
        STA     COLOR
        STA     CURON
        MVI     A,0FFH
        STA     KPOS
        STA     KMODEK          ; mode keys count only after a release
        LXI     H,0
        SHLD    KCNT
        RET

; Warm start, reached through the jump at 02FD: a program loaded from tape has
; returned, or the tape loader has placed a BASIC program and started BASIC.
WBOOT:  LXI     SP,STACK_TOP
        MVI     A,SYS_RAM
        OUT     PORT_SYSTEM
        MVI     A,PALETTE
        OUT     PORT_PALETTE
        CALL    INITVARS
        CALL    CLS
        CALL    BANNER
        LHLD    BASIC_START_PTR ; a BASIC program is there when end <> start
        XCHG
        LHLD    BASIC_END_PTR
        MOV     A,L
        CMP     E
        JNZ     WB_BASIC
        MOV     A,H
        CMP     D
        JNZ     WB_BASIC
        LXI     H,MSG_ENDED
        CALL    PUTS
        JMP     WB_DONE
WB_BASIC:
        PUSH    H
        LXI     H,MSG_BASIC
        CALL    PUTS
        XCHG
        CALL    PHEX4
        MVI     A,'-'
        CALL    PUTCH
        POP     H
        DCX     H
        CALL    PHEX4
        CALL    CRLF
        LXI     H,MSG_NOBASIC
        CALL    PUTS
WB_DONE:
        CALL    INITLOW         ; the BASIC area is empty again
        JMP     MONITOR

BANNER: MVI     A,1
        STA     COLOR
        LXI     H,MSG_TITLE
        CALL    PUTS
        XRA     A
        STA     COLOR
        LXI     H,MSG_BANNER
        JMP     PUTS

MSG_TITLE:
        DB      'PK-01 LVOV   '
        DB      0CFH,0CAH,'-01 ',0CBH,0DCH,0C2H,0CEH,0C2H   ; the name in Cyrillic
        DB      0DH,0AH,0
MSG_BANNER:
        DB      'Built-in firmware, monitor 1.0',0DH,0AH
        DB      'ROM images go in firmware/',0DH,0AH
        DB      0DH,0AH,0
MSG_HINT:
        DB      'Type H for help.',0DH,0AH,0
MSG_ENDED:
        DB      'Program ended.',0DH,0AH,0
MSG_BASIC:
        DB      'BASIC program at ',0
MSG_NOBASIC:
        DB      'This firmware has no BASIC.',0DH,0AH,0

        INCLUDE "screen.asm"
        INCLUDE "keyboard.asm"
        INCLUDE "monitor.asm"
        INCLUDE "keytab.asm"
        INCLUDE "font.asm"

        END
