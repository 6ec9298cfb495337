; Palette explorer: four bars in the pixel values 0-3 under the current value of the
; palette port C1, its value in hexadecimal and binary, and the name of the colour each
; pixel value shows. Left/Right step the value by 1, Down/Up by 16 (holding a key
; repeats), wrapping through all 256 values. Text is drawn in pixel value 1 on 0: those
; two always differ, whatever the palette.
;
; The colour names come from the palette rule: R, G, B start as bits 4, 5, 6; value 0
; inverts R unless bit 3 is set and B unless bit 2 is set; value 1 inverts G; value 2
; inverts B, and R unless bit 0 is set; value 3 inverts R, and G unless bit 1 is set.
;
; Runs from 8000H with its stack below B000H and video memory switched in.

        ORG     8000H

STACK_TOP       EQU     0B000H
BAR_TOP         EQU     7*8             ; first pixel row of the bars
BAR_LINES       EQU     20*8            ; their height in pixel rows
LABEL_Y         EQU     28              ; text row of the bar numbers
NAME_Y          EQU     30              ; text row of the colour names
VALUE_Y         EQU     2               ; text row of the port value
REPEAT_FIRST    EQU     40              ; ticks a key is held before it repeats
REPEAT_NEXT     EQU     10              ; ticks between repeats
TICK            EQU     1000            ; DELAY count of one tick (about 24,000 cycles)

START:
        LXI     SP,STACK_TOP
        CALL    VIDEO_ON
        LDA     VALUE
        OUT     PORT_PALETTE
        MVI     B,1
        MVI     C,0
        CALL    SETCOL
        CALL    CLS
        CALL    BARS
        LXI     H,SCREEN+0*ROWB+1*CELLB
        LXI     D,T_TITLE
        CALL    PRINT
        LXI     H,SCREEN+4*ROWB+1*CELLB
        LXI     D,T_HELP1
        CALL    PRINT
        LXI     H,SCREEN+5*ROWB+1*CELLB
        LXI     D,T_HELP2
        CALL    PRINT
        LXI     H,SCREEN+LABEL_Y*ROWB+3*CELLB
        LXI     D,T_LABELS
        CALL    PRINT
        CALL    SHOW

; Polls the arrows once a tick; a new press steps at once, a held one repeats.
LOOP:
        LXI     B,TICK
        CALL    DELAY
        CALL    READ_ARROWS
        ORA     A
        JNZ     .held
        STA     LASTKEYS
        JMP     LOOP
.held:  LXI     H,LASTKEYS
        CMP     M
        JZ      .same
        MOV     M,A
        MVI     B,REPEAT_FIRST
        JMP     .step
.same:  LXI     H,REPEAT
        DCR     M
        JNZ     LOOP
        MVI     B,REPEAT_NEXT
.step:  LXI     H,REPEAT
        MOV     M,B
        CALL    STEP
        CALL    SHOW
        JMP     LOOP

; STEP: A = held arrows; changes VALUE by +1, -1, +16 or -16 and sends it to the port.
STEP:
        MOV     B,A
        LDA     VALUE
        MOV     C,A
        MOV     A,B
        MVI     D,1
        ANI     KEY_RIGHT
        JNZ     .add
        MOV     A,B
        MVI     D,-1
        ANI     KEY_LEFT
        JNZ     .add
        MOV     A,B
        MVI     D,16
        ANI     KEY_UP
        JNZ     .add
        MVI     D,-16
.add:   MOV     A,C
        ADD     D
        STA     VALUE
        OUT     PORT_PALETTE
        RET

; Writes the value and the four colour names.
SHOW:
        LXI     H,SCREEN+VALUE_Y*ROWB+1*CELLB
        LXI     D,T_PORT
        CALL    PRINT
        LDA     VALUE
        CALL    PUTHEX
        LXI     D,T_BITS
        CALL    PRINT
        LDA     VALUE
        CALL    PUTBIN
        MVI     C,0
.name:  CALL    RGBOF
        ADD     A               ; eight bytes per name
        ADD     A
        ADD     A
        LXI     D,NAMES
        ADD     E
        MOV     E,A
        MOV     A,D
        ACI     0
        MOV     D,A
        MOV     A,C             ; a slot of eight cells (16 bytes) per bar
        RLC
        RLC
        RLC
        RLC
        ADI     LOW (SCREEN+NAME_Y*ROWB)
        MOV     L,A
        MVI     H,HIGH (SCREEN+NAME_Y*ROWB)
        CALL    PRINT
        INR     C
        MOV     A,C
        CPI     4
        JNZ     .name
        RET

; RGBOF: C = pixel value 0-3 -> A = its colour under VALUE, bit 0 red, 1 green, 2 blue.
; Keeps C.
RGBOF:
        LDA     VALUE
        MOV     B,A
        RRC
        RRC
        RRC
        RRC
        ANI     7               ; R, G, B from bits 4, 5, 6
        MOV     D,A
        MOV     A,C
        ORA     A
        JZ      .black
        DCR     A
        JZ      .green
        DCR     A
        JZ      .blue
        MOV     A,D             ; value 3
        XRI     1
        MOV     D,A
        MOV     A,B
        ANI     02H
        JNZ     .done
        MOV     A,D
        XRI     2
        MOV     D,A
        JMP     .done
.black: MOV     A,B
        ANI     08H
        JNZ     .keepr
        MOV     A,D
        XRI     1
        MOV     D,A
.keepr: MOV     A,B
        ANI     04H
        JNZ     .done
        MOV     A,D
        XRI     4
        MOV     D,A
        JMP     .done
.green: MOV     A,D
        XRI     2
        MOV     D,A
        JMP     .done
.blue:  MOV     A,D
        XRI     4
        MOV     D,A
        MOV     A,B
        ANI     01H
        JNZ     .done
        MOV     A,D
        XRI     1
        MOV     D,A
.done:  MOV     A,D
        RET

; Four bars of 64 pixels, filled with pixel values 0, 1, 2 and 3.
BARS:
        LXI     H,SCREEN+BAR_TOP*LINEB
        MVI     B,BAR_LINES
.line:  LXI     D,COLOUR_MASKS
.bar:   LDAX    D
        MVI     C,16
.byte:  MOV     M,A
        INX     H
        DCR     C
        JNZ     .byte
        INX     D
        MOV     A,E
        CPI     LOW (COLOUR_MASKS+4)
        JNZ     .bar
        DCR     B
        JNZ     .line
        LXI     H,SCREEN+(BAR_TOP-3)*LINEB     ; a line in value 1 above and below,
        CALL    .rule                           ; so that bar 0 shows its extent
        LXI     H,SCREEN+(BAR_TOP+BAR_LINES+2)*LINEB
.rule:  MVI     C,LINEB
        MVI     A,0F0H
.dot:   MOV     M,A
        INX     H
        DCR     C
        JNZ     .dot
        RET

T_TITLE:        DB      "PALETTE EXPLORER", 0
T_PORT:         DB      "PORT C1 = ", 0
T_BITS:         DB      "  BITS ", 0
T_HELP1:        DB      "LEFT/RIGHT: STEP 1", 0
T_HELP2:        DB      "DOWN/UP:    STEP 16", 0
T_LABELS:       DB      "0       1       2       3", 0
NAMES:          DB      "BLACK  ", 0
                DB      "RED    ", 0
                DB      "GREEN  ", 0
                DB      "YELLOW ", 0
                DB      "BLUE   ", 0
                DB      "MAGENTA", 0
                DB      "CYAN   ", 0
                DB      "WHITE  ", 0

VALUE:          DB      0FH
LASTKEYS:       DB      0
REPEAT:         DB      0

        INCLUDE "lib/screen.inc"
        INCLUDE "lib/font.inc"
