; Keyboard: scanning, debouncing, auto-repeat and decoding.
;
; The main matrix has 8 columns of 8 rows: writing port D0 with bit c clear selects
; column c, and port D1 then reads its rows, a 0 bit for a held key. The extra
; matrix has 4 columns selected by bits 0-3 of port D2, whose bits 4-7 read rows 0-3.
;
; A position is a number: column * 8 + row for the main matrix (00-3F), and
; 40 + column * 4 + row for the extra matrix (40-4F). Four positions are no keys of
; their own: Shift (main 7/0) picks the shifted table, Alt (6/2) is ignored, and the
; two mode keys switch the letters: main 6/1 (where the host's Latin table puts Ctrl)
; selects Cyrillic, main 3/5 (the host's Cyrillic-table Ctrl) selects Latin. The mode
; is bit 7 of KBDMODE (BE1D), which the host's keyboard layer also reads to choose its
; table, so the host Ctrl key toggles the mode. A mode key acts when it goes down;
; the host releases each key at the position it went down at, whatever table is in
; use by then, so holding Ctrl switches once and only a new press switches again.
;
; A poll takes about 2,200 cycles (0.65 ms at 3.4 MHz). A key counts once it has
; been seen held in KB_DEBOUNCE polls in a row (4 ms); held on, it repeats after
; KB_FIRSTREP polls (0.5 s) and then every KB_REPEAT polls (14 a second).

KB_DEBOUNCE     EQU     6
KB_FIRSTREP     EQU     KB_DEBOUNCE+770
KB_REPEAT       EQU     110
KB_BLINK        EQU     460     ; polls between cursor blinks (0.3 s)

POS_NONE        EQU     0FFH

; Reads both matrices into KROWS/KEXTRA, handles Shift and the mode keys, and returns
; A = the lowest held position other than those four, or FF when none is held.
KSCAN:  LXI     H,KROWS
        MVI     B,0FEH          ; column 0 selected
KS1:    MOV     A,B
        OUT     PORT_KBD_COLS
        IN      PORT_KBD_ROWS
        CMA
        MOV     M,A
        INX     H
        MOV     A,B
        RLC
        MOV     B,A
        JC      KS1             ; until the 0 bit has passed column 7
        MVI     A,0FFH
        OUT     PORT_KBD_COLS
        MVI     B,0FEH          ; extra column 0 selected
KS2:    MOV     A,B
        OUT     PORT_KBD_EXTRA
        IN      PORT_KBD_EXTRA
        CMA
        RRC
        RRC
        RRC
        RRC
        ANI     0FH
        MOV     M,A
        INX     H
        MOV     A,B
        RLC
        MOV     B,A
        ANI     10H
        JNZ     KS2             ; until columns 0-3 are done
        MVI     A,0FFH
        OUT     PORT_KBD_EXTRA
        ; Shift
        LXI     H,KROWS+7
        MOV     A,M
        ANI     01H
        STA     KSHIFT
        MOV     A,M
        ANI     0FEH
        MOV     M,A
        ; mode keys: C = bit 0 for main 6/1, bit 1 for main 3/5
        LXI     H,KROWS+6
        MOV     A,M
        ANI     02H
        RRC
        MOV     C,A
        MOV     A,M
        ANI     0F9H            ; 6/1 and Alt (6/2) are no character keys
        MOV     M,A
        LXI     H,KROWS+3
        MOV     A,M
        ANI     20H
        RRC
        RRC
        RRC
        RRC
        ORA     C
        MOV     C,A
        MOV     A,M
        ANI     0DFH
        MOV     M,A
        LDA     KMODEK          ; B = mode keys that went down since the last poll
        CMA
        ANA     C
        MOV     B,A
        MOV     A,C
        STA     KMODEK
        MOV     A,B
        ANI     01H
        JZ      KS3
        LDA     KBDMODE
        ORI     80H
        STA     KBDMODE
KS3:    MOV     A,B
        ANI     02H
        JZ      KS4
        LDA     KBDMODE
        ANI     7FH
        STA     KBDMODE
KS4:    LXI     H,KROWS         ; find the lowest held position
        MVI     C,0
KS5:    MOV     A,M
        ORA     A
        JNZ     KS7
        INX     H
        MOV     A,C
        ADI     8
        MOV     C,A
        CPI     64
        JC      KS5
KS6:    MOV     A,M
        ORA     A
        JNZ     KS7
        INX     H
        MOV     A,C
        ADI     4
        MOV     C,A
        CPI     80
        JC      KS6
        MVI     A,POS_NONE
        RET
KS7:    RRC                     ; add the number of the lowest set row bit
        JC      KS8
        INR     C
        JMP     KS7
KS8:    MOV     A,C
        RET

; One poll: returns A = the code of a key that has just counted as pressed (first
; press or repeat), or 0.
KPOLL:  PUSH    B
        PUSH    D
        PUSH    H
        CALL    KSCAN
        MOV     B,A
        LDA     KPOS
        CMP     B
        JZ      KP1
        MOV     A,B             ; another key (or none): start counting afresh
        STA     KPOS
        LXI     H,0
        SHLD    KCNT
        JMP     KP_NONE
KP1:    MOV     A,B
        CPI     POS_NONE
        JZ      KP_NONE
        LHLD    KCNT
        INX     H
        SHLD    KCNT
        MOV     A,L
        CPI     LOW(KB_DEBOUNCE)
        JNZ     KP2
        MOV     A,H
        CPI     HIGH(KB_DEBOUNCE)
        JZ      KP_EMIT
KP2:    MOV     A,L
        CPI     LOW(KB_FIRSTREP)
        JNZ     KP_NONE
        MOV     A,H
        CPI     HIGH(KB_FIRSTREP)
        JNZ     KP_NONE
        LXI     H,KB_FIRSTREP-KB_REPEAT
        SHLD    KCNT
KP_EMIT:
        MOV     A,B
        CALL    DECODE
        JMP     KP_DONE
KP_NONE:
        XRA     A
KP_DONE:
        POP     H
        POP     D
        POP     B
        RET

; A := the character of position A (00-4F) in the current mode and Shift state.
DECODE: MOV     E,A
        MVI     D,0
        LDA     KBDMODE
        ORA     A
        LXI     H,KT_LAT
        JP      DK1
        LXI     H,KT_CYR
DK1:    LDA     KSHIFT
        ORA     A
        JZ      DK2
        LXI     B,KT_LAT_SH-KT_LAT
        DAD     B
DK2:    DAD     D
        MOV     A,M
        RET

; For long listings: returns NZ when a key went down since the last poll (the key
; then counts as delivered, so it does not also reach the next prompt), else Z.
CHKBRK: PUSH    B
        PUSH    D
        PUSH    H
        CALL    KSCAN
        MOV     B,A
        LDA     KPOS
        CMP     B
        JZ      CB_NO
        MOV     A,B
        STA     KPOS
        CPI     POS_NONE
        JZ      CB_NO
        LXI     H,KB_DEBOUNCE
        SHLD    KCNT
        MVI     A,1
        ORA     A
        JMP     CB_DONE
CB_NO:  XRA     A
CB_DONE:
        POP     H
        POP     D
        POP     B
        RET

; Waits for a key with a blinking cursor and returns its code in A (never 0).
; Keeps the other registers.
GETKEY: PUSH    B
        PUSH    D
        PUSH    H
        LDA     CURX            ; a full line wraps before the cursor shows
        CPI     COLS
        CNC     NEWLINE
        CALL    CURSON
        LXI     H,KB_BLINK
        SHLD    BLINK
GK1:    CALL    KPOLL
        ORA     A
        JNZ     GK4
        LDA     CURON           ; a mode change recolours the cursor at once
        ORA     A
        JZ      GK2
        CALL    MODEMASK
        MOV     B,A
        LDA     CURMASK
        CMP     B
        JZ      GK2
        CALL    CURSOFF
        CALL    CURSON
GK2:    LHLD    BLINK
        DCX     H
        SHLD    BLINK
        MOV     A,H
        ORA     L
        JNZ     GK1
        LXI     H,KB_BLINK
        SHLD    BLINK
        LDA     CURON
        ORA     A
        JZ      GK3
        CALL    CURSOFF
        JMP     GK1
GK3:    CALL    CURSON
        JMP     GK1
GK4:    PUSH    PSW
        CALL    CURSOFF
        POP     PSW
        POP     H
        POP     D
        POP     B
        RET
