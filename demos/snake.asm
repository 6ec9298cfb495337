; Snake: steer with the arrow keys, eat the red balls, don't hit the wall or yourself.
; Space starts a game. Every ball scores one point (decimal, up to 9999) and now and
; then makes the snake faster; the best score of the session stays on the top line.
;
; The field is the 32 x 32 text grid: the walls run along text rows 2 and 31 and
; columns 0 and 31. GRID keeps what lies in every cell; the snake's cells are a ring
; of up to 256 positions in BODY_X/BODY_Y, from TAIL to HEAD.
;
; Runs from 8000H with its stack below B000H and video memory switched in.

        ORG     8000H

STACK_TOP       EQU     0B000H
PALETTE         EQU     0FH             ; 0 black, 1 green, 2 blue, 3 red
GRID            EQU     9000H           ; 32 x 32 cells, y*32 + x (1,024-byte aligned)
BODY_X          EQU     9400H           ; ring of the snake's cells (256-byte aligned)
BODY_Y          EQU     9500H

EMPTY           EQU     0               ; contents of a cell
WALL            EQU     1
BODY            EQU     2
FOOD            EQU     3

TOP_ROW         EQU     2               ; walls
BOTTOM_ROW      EQU     31
LEFT_COL        EQU     0
RIGHT_COL       EQU     31

STATE_TITLE     EQU     0
STATE_PLAYING   EQU     1
STATE_OVER      EQU     2

TICK            EQU     500             ; DELAY count of one tick (about 12,000 cycles)
START_SPEED     EQU     36              ; ticks per step at the start
FAST_SPEED      EQU     16              ; the fastest it gets

START:
        LXI     SP,STACK_TOP
        CALL    VIDEO_ON
        MVI     A,PALETTE
        OUT     PORT_PALETTE
        MVI     B,1
        MVI     C,0
        CALL    SETCOL
        CALL    CLS
        CALL    SHOW_SCORE
        MVI     B,3
        MVI     C,0
        CALL    SETCOL
        LXI     H,SCREEN+9*ROWB+13*CELLB
        LXI     D,T_TITLE
        CALL    PRINT
        MVI     B,1
        CALL    SETCOL
        LXI     H,SCREEN+14*ROWB+8*CELLB
        LXI     D,T_STEER
        CALL    PRINT
        LXI     H,SCREEN+16*ROWB+7*CELLB
        LXI     D,T_EAT
        CALL    PRINT
        LXI     H,SCREEN+21*ROWB+10*CELLB
        LXI     D,T_START
        CALL    PRINT
        CALL    WAIT_SPACE

NEW_GAME:
        MVI     A,STATE_PLAYING
        STA     STATE
        CALL    SETUP
PLAY:
        LDA     SPEED
.tick:  PUSH    PSW
        LXI     B,TICK
        CALL    DELAY
        CALL    STEER
        POP     PSW
        DCR     A
        JNZ     .tick
        CALL    MOVE
        JNC     PLAY

GAME_OVER:
        MVI     A,STATE_OVER
        STA     STATE
        LXI     H,SCORE_HI      ; a new best score?
        LDA     BEST_HI
        CMP     M
        JC      .best
        JNZ     .shown
        LDA     BEST_LO
        DCX     H
        CMP     M
        JNC     .shown
.best:  LHLD    SCORE_LO
        SHLD    BEST_LO
.shown: CALL    SHOW_SCORE
        MVI     B,3
        MVI     C,0
        CALL    SETCOL
        LXI     H,SCREEN+14*ROWB+11*CELLB
        LXI     D,T_OVER
        CALL    PRINT
        MVI     B,1
        CALL    SETCOL
        LXI     H,SCREEN+17*ROWB+7*CELLB
        LXI     D,T_AGAIN
        CALL    PRINT
        CALL    WAIT_SPACE
        JMP     NEW_GAME

; Waits for Space to be released and then pressed, stirring the random numbers.
WAIT_SPACE:
        CALL    RANDOM
        CALL    SPACE_HELD
        JNZ     WAIT_SPACE
.press: CALL    RANDOM
        CALL    SPACE_HELD
        JZ      .press
        RET

; A fresh field: walls, a snake of three cells heading right, one ball, score 0.
SETUP:
        MVI     B,1
        MVI     C,0
        CALL    SETCOL
        CALL    CLS
        LXI     H,GRID          ; empty grid
        LXI     B,32*32
.clear: MVI     M,EMPTY
        INX     H
        DCX     B
        MOV     A,B
        ORA     C
        JNZ     .clear
        MVI     D,0             ; top and bottom walls
.horiz: MVI     E,TOP_ROW
        MVI     A,WALL
        CALL    SET_CELL
        MVI     E,BOTTOM_ROW
        MVI     A,WALL
        CALL    SET_CELL
        INR     D
        MOV     A,D
        CPI     32
        JNZ     .horiz
        MVI     E,TOP_ROW+1     ; side walls
.vert:  MVI     D,LEFT_COL
        MVI     A,WALL
        CALL    SET_CELL
        MVI     D,RIGHT_COL
        MVI     A,WALL
        CALL    SET_CELL
        INR     E
        MOV     A,E
        CPI     BOTTOM_ROW
        JNZ     .vert
        XRA     A
        STA     TAIL
        STA     DIR
        STA     NEXT_DIR
        STA     SCORE_LO
        STA     SCORE_HI
        MVI     A,START_SPEED
        STA     SPEED
        MVI     D,8             ; the snake: (8,16) (9,16) (10,16)
        MVI     E,16
        MVI     B,0
.snake: MOV     A,B
        STA     HEAD
        CALL    PUT_HEAD
        INR     D
        INR     B
        MOV     A,B
        CPI     3
        JNZ     .snake
        CALL    PLACE_FOOD
        JMP     SHOW_SCORE

; STEER: a held arrow becomes the next direction unless it points straight back.
STEER:
        CALL    READ_ARROWS
        ORA     A
        RZ
        MVI     B,0             ; B := number of the lowest held arrow
.low:   RRC
        JC      .found
        INR     B
        JMP     .low
.found: LDA     DIR
        XRI     2               ; the opposite direction
        CMP     B
        RZ
        MOV     A,B
        STA     NEXT_DIR
        RET

; MOVE: one step of the snake. Carry set when it crashed.
MOVE:
        LDA     NEXT_DIR
        STA     DIR
        LXI     H,DIR_X         ; D := head x + dx, E := head y + dy
        CALL    TABLE_BYTE
        MOV     B,A
        LDA     DIR
        LXI     H,DIR_Y
        CALL    TABLE_BYTE
        MOV     C,A
        LDA     HEAD
        MOV     L,A
        MVI     H,HIGH BODY_X
        MOV     A,M
        ADD     B
        MOV     D,A
        MVI     H,HIGH BODY_Y
        MOV     A,M
        ADD     C
        MOV     E,A
        CALL    GRID_CELL
        MOV     A,M
        CPI     FOOD
        JZ      .eat
        ORA     A
        STC
        RNZ                     ; wall or body
        CALL    DROP_TAIL       ; moving on: the tail cell empties
        JMP     .head
.eat:   CALL    SCORE_POINT
        LDA     TAIL            ; a full ring does not grow: it stays 255 cells long
        MOV     B,A
        LDA     HEAD
        ADI     2
        CMP     B
        CZ      DROP_TAIL
        CALL    .head           ; the new head goes in before the next ball is placed
        CALL    PLACE_FOOD
        ORA     A               ; carry clear: alive
        RET
.head:  LDA     HEAD
        INR     A
        STA     HEAD
        CALL    PUT_HEAD
        ORA     A
        RET

; DROP_TAIL: the tail cell empties and the next one becomes the tail. Keeps D and E.
DROP_TAIL:
        PUSH    D
        LDA     TAIL
        MOV     L,A
        INR     A
        STA     TAIL
        MVI     H,HIGH BODY_X
        MOV     D,M
        MVI     H,HIGH BODY_Y
        MOV     E,M
        MVI     A,EMPTY
        CALL    SET_CELL
        POP     D
        RET

; SCORE_POINT: one more point, in decimal; faster after every second ball. Keeps D and E.
SCORE_POINT:
        LDA     SCORE_LO
        ADI     1
        DAA
        STA     SCORE_LO
        LDA     SCORE_HI
        ACI     0
        DAA
        STA     SCORE_HI
        LDA     SCORE_LO
        ANI     1
        JNZ     .shown
        LDA     SPEED
        CPI     FAST_SPEED+1
        JC      .shown
        SUI     2
        STA     SPEED
.shown: PUSH    D
        CALL    SHOW_SCORE
        POP     D
        RET

; PUT_HEAD: records (D,E) as the cell at ring position HEAD and draws it. Keeps B,C,D,E.
PUT_HEAD:
        LDA     HEAD
        MOV     L,A
        MVI     H,HIGH BODY_X
        MOV     M,D
        MVI     H,HIGH BODY_Y
        MOV     M,E
        MVI     A,BODY
        JMP     SET_CELL

; PLACE_FOOD: puts a ball on a random empty cell inside the walls.
PLACE_FOOD:
        CALL    RANDOM
        ANI     31
        CPI     LEFT_COL+1
        JC      PLACE_FOOD
        CPI     RIGHT_COL
        JNC     PLACE_FOOD
        MOV     D,A
.y:     CALL    RANDOM
        ANI     31
        CPI     TOP_ROW+1
        JC      .y
        CPI     BOTTOM_ROW
        JNC     .y
        MOV     E,A
        CALL    GRID_CELL
        MOV     A,M
        ORA     A
        JNZ     PLACE_FOOD
        MVI     A,FOOD
        JMP     SET_CELL

; SET_CELL: cell (D,E) := A (EMPTY, WALL, BODY or FOOD), in GRID and on the screen.
; Keeps B, C, D and E.
SET_CELL:
        PUSH    B
        PUSH    D
        PUSH    PSW
        CALL    GRID_CELL
        POP     PSW
        MOV     M,A
        MOV     C,A
        LXI     H,KIND_INK
        CALL    TABLE_BYTE
        MOV     B,A
        MOV     A,C
        PUSH    PSW
        MVI     C,0
        CALL    SETCOL
        POP     PSW
        LXI     H,KIND_GLYPH
        CALL    TABLE_BYTE
        CALL    CELL_AT
        POP     D
        POP     B
        RET

; Draws glyph A at cell (D,E). Keeps D and E.
CELL_AT:
        PUSH    D
        PUSH    PSW
        CALL    CELL
        POP     PSW
        CALL    PUTCH
        POP     D
        RET

; CELL: HL := the screen address of cell (D,E).
CELL:
        MOV     A,E
        ADD     A
        ADI     HIGH SCREEN
        MOV     H,A
        MOV     A,D
        ADD     A
        MOV     L,A
        RET

; GRID_CELL: HL := the GRID entry of cell (D,E). Keeps B, C, D, E.
GRID_CELL:
        MOV     A,E
        RRC
        RRC
        RRC
        MOV     H,A
        ANI     0E0H            ; (y AND 7) * 32
        ORA     D
        MOV     L,A
        MOV     A,H
        ANI     03H             ; y / 8
        ADI     HIGH GRID
        MOV     H,A
        RET

; A := byte A of the table at HL.
TABLE_BYTE:
        ADD     L
        MOV     L,A
        MOV     A,H
        ACI     0
        MOV     H,A
        MOV     A,M
        RET

; RANDOM: A := the next step of a 16-bit linear feedback shift register.
RANDOM:
        LHLD    SEED
        XRA     A               ; clear carry
        MOV     A,H
        RAR
        MOV     H,A
        MOV     A,L
        RAR
        MOV     L,A
        JNC     .keep
        MOV     A,H
        XRI     0B4H
        MOV     H,A
.keep:  SHLD    SEED
        MOV     A,L
        RET

; The score line: "SCORE nnnn" and "BEST nnnn".
SHOW_SCORE:
        MVI     B,1
        MVI     C,0
        CALL    SETCOL
        LXI     H,SCREEN+0*ROWB+1*CELLB
        LXI     D,T_SCORE
        CALL    PRINT
        LDA     SCORE_HI
        CALL    PUTHEX
        LDA     SCORE_LO
        CALL    PUTHEX
        LXI     H,SCREEN+0*ROWB+21*CELLB
        LXI     D,T_BEST
        CALL    PRINT
        LDA     BEST_HI
        CALL    PUTHEX
        LDA     BEST_LO
        JMP     PUTHEX

DIR_X:          DB      1, 0, -1, 0     ; right, up, left, down (the arrow bits' order)
DIR_Y:          DB      0, -1, 0, 1
KIND_GLYPH:     DB      ' ', 62H, 60H, 63H
KIND_INK:       DB      0, 2, 1, 3

T_TITLE:        DB      "SNAKE", 0
T_STEER:        DB      "ARROW KEYS STEER", 0
T_EAT:          DB      "EAT THE RED BALLS", 0
T_START:        DB      "SPACE: START", 0
T_OVER:         DB      "GAME OVER", 0
T_AGAIN:        DB      "SPACE: PLAY AGAIN", 0
T_SCORE:        DB      "SCORE ", 0
T_BEST:         DB      "BEST ", 0

STATE:          DB      STATE_TITLE
SEED:           DW      0ACE1H
SCORE_LO:       DB      0               ; packed decimal, SCORE_HI right after
SCORE_HI:       DB      0
BEST_LO:        DB      0
BEST_HI:        DB      0
SPEED:          DB      START_SPEED
HEAD:           DB      0
TAIL:           DB      0
DIR:            DB      0
NEXT_DIR:       DB      0

        INCLUDE "lib/screen.inc"
        INCLUDE "lib/font.inc"
