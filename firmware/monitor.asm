; The monitor: a prompt with a line editor and a few commands. Numbers are hex.
;
;   D [addr [end]]   dump memory, 8 bytes a line (16 lines without an end)
;   M addr [bb ..]   write the bytes from addr on; without bytes show the one there
;   F start end bb   fill start..end with bb
;   G addr           call addr; a RET comes back here and shows the registers
;   R                show the registers the last program returned with
;   C                clear the screen
;   H or ?           help
;
; Every command ends by jumping back to MON1, which resets the stack, so a command
; that overwrites the stack area (F or M over BDxx) still returns to the prompt.

MONITOR:
MON1:   LXI     SP,STACK_TOP
        MVI     A,SYS_RAM
        OUT     PORT_SYSTEM
        MVI     A,PALETTE
        OUT     PORT_PALETTE
        MVI     A,1             ; typing scrolls line by line
        STA     SCRLINES
        XRA     A               ; the cursor is never left drawn at the prompt
        STA     CURON
        STA     COLOR
        LDA     CURY            ; variables overwritten by a program: start clean
        CPI     ROWS
        JNC     MON_CLS
        LDA     CURX
        CPI     COLS+1
        JC      MON2
MON_CLS:
        CALL    CLS
MON2:   LDA     CURX
        ORA     A
        CNZ     CRLF
        MVI     A,'>'
        CALL    PUTCH
        MVI     A,' '
        CALL    PUTCH
        CALL    GETLINE
        JMP     EXEC

; Reads a line into LINEBUF (0-terminated) with echo. Backspace and the Left arrow
; erase the last character, Esc the whole line, Enter ends it.
GETLINE:
        XRA     A
        STA     LINELEN
GL1:    CALL    GETKEY
        CPI     KEY_ENTER
        JZ      GL_END
        CPI     KEY_BS
        JZ      GL_BS
        CPI     KEY_LEFT
        JZ      GL_BS
        CPI     KEY_ESC
        JZ      GL_ESC
        CPI     20H             ; other control and function keys do nothing
        JC      GL1
        CPI     80H
        JC      GL_CHAR
        CPI     0A8H
        JZ      GL_CHAR
        CPI     0B9H
        JZ      GL_CHAR
        CPI     0C0H
        JC      GL1
GL_CHAR:
        MOV     B,A
        LDA     LINELEN
        CPI     MAXLINE
        JNC     GL1
        MOV     E,A
        MVI     D,0
        LXI     H,LINEBUF
        DAD     D
        MOV     M,B
        INR     A
        STA     LINELEN
        MOV     A,B
        CALL    PUTCH
        JMP     GL1
GL_BS:  CALL    RUBOUT
        JMP     GL1
GL_ESC: CALL    RUBOUT
        JNZ     GL_ESC
        JMP     GL1
GL_END: LDA     LINELEN
        MOV     E,A
        MVI     D,0
        LXI     H,LINEBUF
        DAD     D
        MVI     M,0
        JMP     CRLF

; Removes the last character of the line from the buffer and the screen.
; Returns NZ when one was removed, Z when the line was empty.
RUBOUT: LDA     LINELEN
        ORA     A
        RZ
        DCR     A
        STA     LINELEN
        MVI     A,KEY_BS
        CALL    PUTCH
        MVI     A,' '
        CALL    PUTCH
        MVI     A,KEY_BS
        CALL    PUTCH
        ORI     1
        RET

; ---------------------------------------------------------------- parsing
; HL points into the line throughout.

; Skips spaces; A := the first other character (0 at the end of the line).
SKIPSP: MOV     A,M
        CPI     ' '
        RNZ
        INX     H
        JMP     SKIPSP

; A (a character) := its hex value with CY clear, or CY set when it is no hex digit.
HEXDIG: CPI     '0'
        RC
        CPI     '9'+1
        JC      HD_DIG
        ANI     0DFH            ; lower-case letters as capitals
        CPI     'A'
        RC
        CPI     'F'+1
        CMC
        RC
        SUI     'A'-10
        RET
HD_DIG: SUI     '0'
        RET

; DE := the next hex number (its last four digits count), CY clear; CY set when the
; line has ended. Anything else where a number belongs is an error.
GETHEX: CALL    SKIPSP
        ORA     A
        STC
        RZ
        CALL    HEXDIG
        JC      ERROR
        LXI     D,0
GH1:    XCHG                    ; DE := DE * 16 + digit
        DAD     H
        DAD     H
        DAD     H
        DAD     H
        ORA     L
        MOV     L,A
        XCHG
        INX     H
        MOV     A,M
        CALL    HEXDIG
        JNC     GH1
        MOV     A,M             ; a number ends at a space or the end of the line
        ORA     A
        RZ
        CPI     ' '
        JNZ     ERROR
        ORA     A
        RET

; Like GETHEX, but the number is required and must fit a byte: E.
GETBYTE:
        CALL    GETHEX
        JC      ERROR
        MOV     A,D
        ORA     A
        JNZ     ERROR
        RET

; An error unless only spaces are left on the line.
ENDLINE:
        CALL    SKIPSP
        ORA     A
        RZ
ERROR:  LXI     H,MSG_ERROR
        CALL    PUTS
        JMP     MON1

; ---------------------------------------------------------------- commands
EXEC:   LXI     H,LINEBUF
        CALL    SKIPSP
        ORA     A
        JZ      MON1
        INX     H
        CPI     '?'
        JZ      CMD_H
        ANI     0DFH
        CPI     'D'
        JZ      CMD_D
        CPI     'M'
        JZ      CMD_M
        CPI     'F'
        JZ      CMD_F
        CPI     'G'
        JZ      CMD_G
        CPI     'R'
        JZ      CMD_R
        CPI     'C'
        JZ      CMD_C
        CPI     'H'
        JZ      CMD_H
        JMP     ERROR

CMD_H:  CALL    ENDLINE
        CALL    LISTMODE
        LXI     H,MSG_HELP
        CALL    PUTS
        JMP     MON1

CMD_C:  CALL    ENDLINE
        CALL    CLS
        JMP     MON1

CMD_R:  CALL    ENDLINE
        CALL    SHOWREGS
        JMP     MON1

; D [addr [end]]
CMD_D:  CALL    GETHEX
        JC      D_16
        XCHG
        SHLD    DUMPADR
        XCHG
        CALL    GETHEX
        JC      D_16
        CALL    ENDLINE
        LHLD    DUMPADR         ; lines = (end - start) / 8 + 1; end below start is an error
        MOV     A,E
        SUB     L
        MOV     E,A
        MOV     A,D
        SBB     H
        MOV     D,A
        JC      ERROR
        MVI     B,3
D_DIV:  MOV     A,D
        ORA     A
        RAR
        MOV     D,A
        MOV     A,E
        RAR
        MOV     E,A
        DCR     B
        JNZ     D_DIV
        INX     D
        JMP     D_RUN
D_16:   LXI     D,16
D_RUN:  CALL    LISTMODE
        LHLD    DUMPADR
D_LINE: CALL    DUMPLINE
        SHLD    DUMPADR
        DCX     D
        MOV     A,D
        ORA     E
        JZ      MON1
        CALL    CHKBRK          ; any key stops a listing
        JZ      D_LINE
        LXI     H,MSG_BREAK
        CALL    PUTS
        JMP     MON1

; Listings scroll by several lines at a time.
LISTMODE:
        MVI     A,LIST_SCROLL
        STA     SCRLINES
        RET

; Prints "AAAA HHHHHHHH HHHHHHHH CCCCCCCC" for the 8 bytes at HL; HL := HL + 8.
DUMPLINE:
        CALL    PHEX4
        PUSH    H
        MVI     B,8
DL1:    MOV     A,B             ; a space before each group of four
        ANI     03H
        JNZ     DL2
        MVI     A,' '
        CALL    PUTCH
DL2:    MOV     A,M
        CALL    PHEX2
        INX     H
        DCR     B
        JNZ     DL1
        MVI     A,' '
        CALL    PUTCH
        POP     H
        MVI     B,8
DL3:    MOV     A,M
        CALL    SHOWABLE
        CALL    PUTCH
        INX     H
        DCR     B
        JNZ     DL3
        JMP     CRLF

; A := A when the font shows it, else '.'.
SHOWABLE:
        CPI     20H
        JC      SH_DOT
        CPI     7FH
        RC
        CPI     0C0H
        RNC
        CPI     0A8H
        RZ
        CPI     0B8H
        RZ
        CPI     0B9H
        RZ
SH_DOT: MVI     A,'.'
        RET

; M addr [bb ..]: the bytes are all checked before any is written.
CMD_M:  CALL    GETHEX
        JC      ERROR
        XCHG
        SHLD    TEMP
        XCHG
        CALL    SKIPSP
        ORA     A
        JZ      M_SHOW
        PUSH    H
M_CHECK:
        CALL    GETBYTE
        CALL    SKIPSP
        ORA     A
        JNZ     M_CHECK
        POP     H
M_WRITE:
        CALL    GETBYTE
        PUSH    H
        LHLD    TEMP
        MOV     M,E
        INX     H
        SHLD    TEMP
        POP     H
        CALL    SKIPSP
        ORA     A
        JNZ     M_WRITE
        JMP     MON1
M_SHOW: LHLD    TEMP
        CALL    PHEX4
        MVI     A,' '
        CALL    PUTCH
        MOV     A,M
        CALL    PHEX2
        CALL    CRLF
        JMP     MON1

; F start end bb
CMD_F:  CALL    GETHEX
        JC      ERROR
        PUSH    D
        CALL    GETHEX
        JC      ERROR
        PUSH    D
        CALL    GETBYTE
        MOV     C,E
        CALL    ENDLINE
        POP     D               ; end
        POP     H               ; start
        MOV     A,E             ; end below start is an error
        SUB     L
        MOV     A,D
        SBB     H
        JC      ERROR
F1:     MOV     M,C
        MOV     A,L
        CMP     E
        JNZ     F2
        MOV     A,H
        CMP     D
        JZ      MON1
F2:     INX     H
        JMP     F1

; G addr: the program runs on the monitor's stack with G_RET as its return address.
CMD_G:  CALL    GETHEX
        JC      ERROR
        CALL    ENDLINE
        XCHG
        SHLD    REG_PC
        LXI     D,G_RET
        PUSH    D
        PCHL
G_RET:  STA     REG_A           ; keep A, HL and the flags before anything changes them
        SHLD    REG_HL
        MVI     A,SYS_RAM       ; MVI and OUT leave the flags alone
        OUT     PORT_SYSTEM
        PUSH    PSW
        POP     H
        MOV     A,L
        STA     REG_F
        MOV     H,B
        MOV     L,C
        SHLD    REG_BC
        XCHG
        SHLD    REG_DE
        LXI     H,0
        DAD     SP
        SHLD    REG_SP
        LXI     SP,STACK_TOP
        MVI     A,PALETTE
        OUT     PORT_PALETTE
        MVI     A,1
        STA     SCRLINES
        XRA     A
        STA     CURON
        STA     COLOR
        LDA     CURY            ; a program may have overwritten the cursor
        CPI     ROWS
        JNC     G_CLS
        LDA     CURX
        CPI     COLS+1
        JC      G_SHOW
G_CLS:  CALL    CLS
G_SHOW: LDA     CURX
        ORA     A
        CNZ     CRLF
        CALL    SHOWREGS
        JMP     MON1

; "A=12 BC=3456 DE=789A HL=BCDE" and "F=D7 SZAPC SP=BE00 PC=8000".
SHOWREGS:
        LXI     H,MSG_RA
        CALL    PUTS
        LDA     REG_A
        CALL    PHEX2
        LXI     H,MSG_RBC
        CALL    PUTS
        LHLD    REG_BC
        CALL    PHEX4
        LXI     H,MSG_RDE
        CALL    PUTS
        LHLD    REG_DE
        CALL    PHEX4
        LXI     H,MSG_RHL
        CALL    PUTS
        LHLD    REG_HL
        CALL    PHEX4
        LXI     H,MSG_RF
        CALL    PUTS
        LDA     REG_F
        CALL    PHEX2
        MVI     A,' '
        CALL    PUTCH
        LXI     H,FLAGNAMES     ; each flag's letter when set, '-' when clear
        MVI     B,5
SR1:    LDA     REG_F
        ANA     M
        INX     H
        MOV     A,M
        INX     H
        JNZ     SR2
        MVI     A,'-'
SR2:    CALL    PUTCH
        DCR     B
        JNZ     SR1
        LXI     H,MSG_RSP
        CALL    PUTS
        LHLD    REG_SP
        CALL    PHEX4
        LXI     H,MSG_RPC
        CALL    PUTS
        LHLD    REG_PC
        CALL    PHEX4
        JMP     CRLF

FLAGNAMES:
        DB      80H,'S',40H,'Z',10H,'A',04H,'P',01H,'C'

MSG_RA: DB      'A=',0
MSG_RBC:
        DB      ' BC=',0
MSG_RDE:
        DB      ' DE=',0
MSG_RHL:
        DB      ' HL=',0
MSG_RF: DB      0DH,0AH,'F=',0
MSG_RSP:
        DB      ' SP=',0
MSG_RPC:
        DB      ' PC=',0
MSG_ERROR:
        DB      '? (H for help)',0DH,0AH,0
MSG_BREAK:
        DB      'Break',0DH,0AH,0
MSG_HELP:
        DB      'D [addr [end]]  dump memory',0DH,0AH
        DB      'M addr [bb ..]  show/set bytes',0DH,0AH
        DB      'F start end bb  fill a range',0DH,0AH
        DB      'G addr          run; RET = back',0DH,0AH
        DB      'R               registers',0DH,0AH
        DB      'C               clear screen',0DH,0AH
        DB      'H or ?          this help',0DH,0AH
        DB      'Numbers are hex. Ctrl: LAT/',0D0H,0D3H,0D1H,0DH,0AH
        DB      'Esc erases the line.',0DH,0AH,0
