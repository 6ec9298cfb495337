; Text output: 32 columns by 32 lines of 8x8 characters.
;
; Line y, column x starts at video address 4000 + y*512 + x*2; a character row is two
; video bytes, the next row 64 bytes further on. A video byte holds four pixels: the
; upper nibble carries their low bits, the lower nibble their high bits, leftmost pixel
; in bit 7 (bit 3). So a font row's left half, kept in the upper nibble, draws in
; pixel value 1 (white); OR-ing its copy into the lower nibble gives value 3 (cyan).
;
; Every routine here maps video memory in only for its own drawing and maps RAM
; back before it returns.

; Prints the character in A at the cursor. Understands CR (column 0), LF (next line,
; scrolling at the bottom), BS (one column back), FF (clear screen); other codes
; below 20 are ignored. Keeps all registers.
PUTCH:  PUSH    PSW
        PUSH    B
        PUSH    D
        PUSH    H
        CPI     20H
        JC      PC_CTRL
        MOV     B,A
        LDA     CURX            ; a full line wraps before the next character
        CPI     COLS
        CNC     NEWLINE
        MOV     A,B
        CALL    DRAWCH
        LXI     H,CURX
        INR     M
PC_END: POP     H
        POP     D
        POP     B
        POP     PSW
        RET
PC_CTRL:
        CPI     0DH
        JZ      PC_CR
        CPI     0AH
        JZ      PC_LF
        CPI     08H
        JZ      PC_BS
        CPI     0CH
        JNZ     PC_END
        CALL    CLS
        JMP     PC_END
PC_CR:  XRA     A
        STA     CURX
        JMP     PC_END
PC_LF:  CALL    LINEFEED
        JMP     PC_END
PC_BS:  LXI     H,CURX
        MOV     A,M
        ORA     A
        JZ      PC_END
        DCR     M
        JMP     PC_END

CRLF:   MVI     A,0DH
        CALL    PUTCH
        MVI     A,0AH
        JMP     PUTCH

; Column 0 of the next line.
NEWLINE:
        XRA     A
        STA     CURX
; Next line. From the last line the screen scrolls up by SCRLINES lines (1 while
; typing; listings jump by more, which costs one copy per jump instead of per line).
LINEFEED:
        LDA     CURY
        INR     A
        CPI     ROWS
        JC      LF1
        PUSH    B
        LDA     SCRLINES
        MOV     B,A
        CALL    SCROLL
        MVI     A,ROWS
        SUB     B
        POP     B
LF1:    STA     CURY
        RET

; Prints the 0-terminated string at HL; HL ends on the terminator.
PUTS:   MOV     A,M
        ORA     A
        RZ
        CALL    PUTCH
        INX     H
        JMP     PUTS

; Prints HL as four hex digits.
PHEX4:  MOV     A,H
        CALL    PHEX2
        MOV     A,L
; Prints A as two hex digits; keeps A.
PHEX2:  PUSH    PSW
        RRC
        RRC
        RRC
        RRC
        CALL    PHEXD
        POP     PSW
PHEXD:  PUSH    PSW
        ANI     0FH
        ADI     '0'
        CPI     '9'+1
        JC      PHEXD1
        ADI     'A'-'9'-1
PHEXD1: CALL    PUTCH
        POP     PSW
        RET

; HL := video address of the cursor cell.
CELLADR:
        LDA     CURY
        ANI     ROWS-1
        ADD     A
        ADI     HIGH(VRAM)
        MOV     H,A
        LDA     CURX
        ANI     COLS-1
        ADD     A
        MOV     L,A
        RET

; DE := address of the glyph of character A (20-7F, the Cyrillic capitals C0-DF and
; their lower-case E0-FF, YO A8/B8, numero B9; anything else shows as '?').
GLYPH:  CPI     80H
        JC      GL_ASCII
        CPI     0C0H
        JNC     GL_CYR
        CPI     0A8H
        JZ      GL_YO
        CPI     0B8H
        JZ      GL_YO
        CPI     0B9H
        JZ      GL_NUM
        MVI     A,'?'
GL_ASCII:
        SUI     20H
        JMP     GL_IDX
GL_CYR: ANI     1FH
        ADI     96
        JMP     GL_IDX
GL_YO:  MVI     A,128
        JMP     GL_IDX
GL_NUM: MVI     A,129
GL_IDX: MOV     L,A
        MVI     H,0
        DAD     H
        DAD     H
        DAD     H
        LXI     D,FONT
        DAD     D
        XCHG
        RET

; Draws character A (20 or above) in the cursor cell in the current colour.
DRAWCH: CALL    GLYPH
        CALL    CELLADR
        LDA     COLOR
        MOV     B,A
        MVI     C,8
        MVI     A,SYS_VIDEO
        OUT     PORT_SYSTEM
DC1:    LDAX    D               ; left four pixels
        ANI     0F0H
        CALL    TINT
        MOV     M,A
        INX     H
        LDAX    D               ; right four pixels
        RLC
        RLC
        RLC
        RLC
        ANI     0F0H
        CALL    TINT
        MOV     M,A
        INX     D
        MOV     A,L             ; next pixel row: 64 bytes on
        ADI     63
        MOV     L,A
        JNC     DC2
        INR     H
DC2:    DCR     C
        JNZ     DC1
        MVI     A,SYS_RAM
        OUT     PORT_SYSTEM
        RET

; A holds four pixels in its upper nibble (value 1). With B <> 0 they become
; value 3 by copying them into the lower nibble.
TINT:   INR     B
        DCR     B
        RZ
        PUSH    D
        MOV     D,A
        RRC
        RRC
        RRC
        RRC
        ORA     D
        POP     D
        RET

; The cursor is the cell XOR-ed with a mask: F0 turns the background white and the
; text blue (Latin mode), FF turns the background cyan and the text red (Cyrillic
; mode). Drawing it twice restores the cell.
CURTOG: CALL    CELLADR
        LDA     CURMASK
        MOV     B,A
        MVI     C,8
        MVI     A,SYS_VIDEO
        OUT     PORT_SYSTEM
CT1:    MOV     A,M
        XRA     B
        MOV     M,A
        INX     H
        MOV     A,M
        XRA     B
        MOV     M,A
        MOV     A,L
        ADI     63
        MOV     L,A
        JNC     CT2
        INR     H
CT2:    DCR     C
        JNZ     CT1
        MVI     A,SYS_RAM
        OUT     PORT_SYSTEM
        LDA     CURON
        XRI     1
        STA     CURON
        RET

; A := the cursor mask for the current keyboard mode.
MODEMASK:
        LDA     KBDMODE
        ORA     A
        MVI     A,0F0H
        RP
        MVI     A,0FFH
        RET

CURSON: LDA     CURON
        ORA     A
        RNZ
        CALL    MODEMASK
        STA     CURMASK
        JMP     CURTOG

CURSOFF:
        LDA     CURON
        ORA     A
        RZ
        JMP     CURTOG

; Clears video memory and puts the cursor home.
CLS:    MVI     A,SYS_VIDEO
        OUT     PORT_SYSTEM
        LXI     H,VRAM
        MVI     B,0
CLS1:   MOV     M,B
        INX     H
        MOV     M,B
        INX     H
        MOV     M,B
        INX     H
        MOV     M,B
        INX     H
        MOV     M,B
        INX     H
        MOV     M,B
        INX     H
        MOV     M,B
        INX     H
        MOV     M,B
        INX     H
        MOV     A,H
        CPI     HIGH(VRAM_END)
        JNZ     CLS1
        MVI     A,SYS_RAM
        OUT     PORT_SYSTEM
        XRA     A
        STA     CURX
        STA     CURY
        STA     CURON
        RET

; Moves the screen up by B lines (1-31) and clears the B lines at the bottom; keeps B.
; The copy borrows SP as its source pointer (POP reads two bytes in 10 cycles); the
; machine has no interrupts, so nothing else uses the stack meanwhile, and SP is
; restored before any call.
SCROLL: MVI     A,SYS_VIDEO
        OUT     PORT_SYSTEM
        PUSH    B
        MOV     A,B             ; D = 2 * lines: the distance in pages of 256 bytes
        ADD     A
        MOV     D,A
        MVI     A,HIGH(VRAM_END) ; E = high byte where the copy ends
        SUB     D
        MOV     E,A
        LXI     H,0
        DAD     SP
        SHLD    SAVESP
        MVI     A,HIGH(VRAM)    ; source: VRAM + lines * 512
        ADD     D
        MOV     H,A
        MVI     L,0
        SPHL
        LXI     H,VRAM
SC1:    POP     B
        MOV     M,C
        INX     H
        MOV     M,B
        INX     H
        POP     B
        MOV     M,C
        INX     H
        MOV     M,B
        INX     H
        POP     B
        MOV     M,C
        INX     H
        MOV     M,B
        INX     H
        POP     B
        MOV     M,C
        INX     H
        MOV     M,B
        INX     H
        POP     B
        MOV     M,C
        INX     H
        MOV     M,B
        INX     H
        POP     B
        MOV     M,C
        INX     H
        MOV     M,B
        INX     H
        POP     B
        MOV     M,C
        INX     H
        MOV     M,B
        INX     H
        POP     B
        MOV     M,C
        INX     H
        MOV     M,B
        INX     H
        MOV     A,H
        CMP     E
        JNZ     SC1
        XCHG
        LHLD    SAVESP
        SPHL
        XCHG                    ; HL = first byte of the lines to clear
        MVI     B,0
SC2:    MOV     M,B
        INX     H
        MOV     M,B
        INX     H
        MOV     M,B
        INX     H
        MOV     M,B
        INX     H
        MOV     A,H
        CPI     HIGH(VRAM_END)
        JNZ     SC2
        POP     B
        MVI     A,SYS_RAM
        OUT     PORT_SYSTEM
        RET
