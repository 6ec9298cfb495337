; Keyboard tester: shows the main 8 x 8 and the extra key matrix live.
;
; Every matrix position has a box on the screen that fills while its key is held, so a
; user can see which position each host key reaches. The last key pressed is named
; below the grids with its column/row and the 16-bit key code that a key-map file holds
; for it (main: column, row, FF; extra: FF, column, row), and the raw row bits of every
; column are shown in hexadecimal. Only rows 0-3 of the extra matrix reach port D2.
;
; Runs from 8000H with its stack below B000H and video memory switched in.

        ORG     8000H

STACK_TOP       EQU     0B000H
PALETTE         EQU     0FH             ; 0 black, 1 green, 2 blue, 3 red
MAIN_X          EQU     3               ; text column of main matrix column 0
EXTRA_X         EQU     22              ; text column of extra matrix column 0
GRID_Y          EQU     4               ; text row of matrix row 0
LAST_Y          EQU     22              ; text row naming the last key
RAW_Y           EQU     26              ; text rows of the raw column bytes

GLYPH_HELD      EQU     60H
GLYPH_FREE      EQU     61H

START:
        LXI     SP,STACK_TOP
        CALL    VIDEO_ON
        MVI     A,PALETTE
        OUT     PORT_PALETTE
        MVI     B,1
        MVI     C,0
        CALL    SETCOL
        CALL    CLS
        CALL    LABELS
        ; every box empty to begin with
        MVI     C,0
.main:  MVI     B,0
        CALL    DRAW_MAIN
        INR     C
        MOV     A,C
        CPI     8
        JNZ     .main
        MVI     C,0
.extra: MVI     B,0
        CALL    DRAW_EXTRA
        INR     C
        MOV     A,C
        CPI     4
        JNZ     .extra
        CALL    DRAW_RAW

; Scans both matrices over and over and redraws the columns that changed.
LOOP:
        CALL    SCAN_MAIN
        CALL    SCAN_EXTRA
        XRA     A
        STA     CHANGED
        MVI     C,0             ; main columns
.mcol:  LXI     H,KMAIN
        CALL    INDEX
        MOV     B,M             ; held now
        LXI     H,OLDMAIN
        CALL    INDEX
        MOV     A,M
        CMP     B
        JZ      .mnext
        MOV     M,B
        CMA
        ANA     B               ; newly pressed rows
        JZ      .mdraw
        MVI     E,0             ; main
        CALL    REMEMBER
.mdraw: CALL    DRAW_MAIN
        MVI     A,1
        STA     CHANGED
.mnext: INR     C
        MOV     A,C
        CPI     8
        JNZ     .mcol

        MVI     C,0             ; extra columns
.xcol:  LXI     H,KEXTRA
        CALL    INDEX
        MOV     B,M
        LXI     H,OLDEXTRA
        CALL    INDEX
        MOV     A,M
        CMP     B
        JZ      .xnext
        MOV     M,B
        CMA
        ANA     B
        JZ      .xdraw
        MVI     E,1             ; extra
        CALL    REMEMBER
.xdraw: CALL    DRAW_EXTRA
        MVI     A,1
        STA     CHANGED
.xnext: INR     C
        MOV     A,C
        CPI     4
        JNZ     .xcol

        LDA     CHANGED
        ORA     A
        CNZ     DRAW_RAW
        JMP     LOOP

; HL := HL + C.
INDEX:
        MOV     A,L
        ADD     C
        MOV     L,A
        RNC
        INR     H
        RET

; REMEMBER: A = newly pressed rows of column C, E = 0 main / 1 extra. Records the
; lowest of those rows as the last key and names it on the screen. Keeps B and C.
REMEMBER:
        MOV     D,A
        MVI     A,0
.low:   PUSH    PSW
        MOV     A,D
        RRC
        MOV     D,A
        JC      .found
        POP     PSW
        INR     A
        JMP     .low
.found: POP     PSW
        STA     LAST_ROW
        MOV     A,C
        STA     LAST_COL
        MOV     A,E
        STA     LAST_KIND
        PUSH    B
        CALL    DRAW_LAST
        POP     B
        RET

; DRAW_MAIN: C = main column, B = its held rows. Keeps B and C.
DRAW_MAIN:
        MOV     A,C
        ADD     A
        ADI     MAIN_X
        MOV     D,A
        MVI     A,8
        JMP     DRAW_COLUMN

; DRAW_EXTRA: C = extra column, B = its held rows (0-3). Keeps B and C.
DRAW_EXTRA:
        MOV     A,C
        ADD     A
        ADI     EXTRA_X
        MOV     D,A
        MVI     A,4

; DRAW_COLUMN: D = text column, A = number of rows, B = held rows. Keeps B and C.
DRAW_COLUMN:
        STA     COUNT
        PUSH    B
        MVI     E,GRID_Y
.row:   PUSH    D
        CALL    CELL
        MOV     A,B
        RRC
        MOV     B,A
        PUSH    B
        MVI     B,2             ; free: blue frame
        MVI     A,GLYPH_FREE
        JNC     .draw
        MVI     B,3             ; held: red block
        MVI     A,GLYPH_HELD
.draw:  MVI     C,0
        PUSH    PSW
        CALL    SETCOL
        POP     PSW
        CALL    PUTCH
        POP     B
        POP     D
        INR     E
        INR     E
        LDA     COUNT
        DCR     A
        STA     COUNT
        JNZ     .row
        POP     B
        RET

; CELL: HL := the screen address of text cell column D, row E.
CELL:
        MOV     A,E
        ADD     A
        ADI     HIGH SCREEN
        MOV     H,A
        MOV     A,D
        ADD     A
        MOV     L,A
        RET

; Titles and the row and column numbers.
LABELS:
        LXI     H,SCREEN+0*ROWB+1*CELLB
        LXI     D,T_TITLE
        CALL    PRINT
        LXI     H,SCREEN+2*ROWB+1*CELLB
        LXI     D,T_HEAD
        CALL    PRINT
        LXI     H,SCREEN+3*ROWB+MAIN_X*CELLB
        LXI     D,T_COLS8
        CALL    PRINT
        LXI     H,SCREEN+3*ROWB+EXTRA_X*CELLB
        LXI     D,T_COLS4
        CALL    PRINT
        MVI     E,GRID_Y        ; row numbers beside both grids
        MVI     C,'0'
.row:   MVI     D,MAIN_X-2
        CALL    CELL
        PUSH    D
        MOV     A,C
        CALL    PUTCH
        POP     D
        MOV     A,C
        CPI     '4'
        JNC     .next
        MVI     D,EXTRA_X-2
        CALL    CELL
        PUSH    D
        MOV     A,C
        CALL    PUTCH
        POP     D
.next:  INR     E
        INR     E
        INR     C
        MOV     A,C
        CPI     '8'
        JNZ     .row
        LXI     H,SCREEN+20*ROWB+1*CELLB
        LXI     D,T_LAST
        CALL    PRINT
        LXI     H,SCREEN+LAST_Y*ROWB+1*CELLB
        LXI     D,T_NONE
        CALL    PRINT
        LXI     H,SCREEN+24*ROWB+1*CELLB
        LXI     D,T_RAW
        CALL    PRINT
        LXI     H,SCREEN+30*ROWB+1*CELLB
        LXI     D,T_NOTE
        JMP     PRINT

; Names the last key: "MAIN  c/r  KEY CODE crFF" or "EXTRA c/r  KEY CODE FFcr".
DRAW_LAST:
        MVI     B,1
        MVI     C,0
        CALL    SETCOL
        LXI     H,SCREEN+LAST_Y*ROWB+1*CELLB
        LDA     LAST_KIND
        ORA     A
        LXI     D,T_MAIN
        JZ      .kind
        LXI     D,T_EXTRA
.kind:  CALL    PRINT
        LDA     LAST_COL
        ADI     '0'
        CALL    PUTCH
        MVI     A,'/'
        CALL    PUTCH
        LDA     LAST_ROW
        ADI     '0'
        CALL    PUTCH
        LXI     D,T_CODE
        CALL    PRINT
        LDA     LAST_COL        ; column in the upper nibble, row in the lower
        RLC
        RLC
        RLC
        RLC
        MOV     B,A
        LDA     LAST_ROW
        ORA     B
        MOV     B,A
        LDA     LAST_KIND
        ORA     A
        JNZ     .extra
        MOV     A,B
        CALL    PUTHEX
        MVI     A,0FFH
        JMP     PUTHEX
.extra: MVI     A,0FFH
        CALL    PUTHEX
        MOV     A,B
        JMP     PUTHEX

; The held rows of every column as hexadecimal bytes.
DRAW_RAW:
        MVI     B,1
        MVI     C,0
        CALL    SETCOL
        LXI     H,SCREEN+RAW_Y*ROWB+1*CELLB
        LXI     D,T_MAIN
        CALL    PRINT
        LXI     D,OLDMAIN
        MVI     C,8
        CALL    .bytes
        LXI     H,SCREEN+(RAW_Y+1)*ROWB+1*CELLB
        LXI     D,T_EXTRA
        CALL    PRINT
        LXI     D,OLDEXTRA
        MVI     C,4
.bytes: LDAX    D
        PUSH    D
        CALL    PUTHEX
        MVI     A,' '
        CALL    PUTCH
        POP     D
        INX     D
        DCR     C
        JNZ     .bytes
        RET

T_TITLE:        DB      "KEYBOARD TEST", 0
T_HEAD:         DB      "MAIN MATRIX        EXTRA", 0
T_COLS8:        DB      "0 1 2 3 4 5 6 7", 0
T_COLS4:        DB      "0 1 2 3", 0
T_LAST:         DB      "LAST KEY (COLUMN/ROW):", 0
T_NONE:         DB      "NONE YET", 0
T_MAIN:         DB      "MAIN  ", 0
T_EXTRA:        DB      "EXTRA ", 0
T_CODE:         DB      "  KEY CODE ", 0
T_RAW:          DB      "HELD ROWS BY COLUMN:", 0
T_NOTE:         DB      "EXTRA ROWS 4-7: NO PORT", 0

OLDMAIN:        DS      8, 0
OLDEXTRA:       DS      4, 0
LAST_KIND:      DB      0
LAST_COL:       DB      0
LAST_ROW:       DB      0
CHANGED:        DB      0
COUNT:          DB      0

        INCLUDE "lib/screen.inc"
        INCLUDE "lib/font.inc"
