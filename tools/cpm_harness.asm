; The CP/M harness of cpm-run: a small BDOS and BIOS in 8080 code at the top of RAM.
;
; The host (tools/cpm_machine.cpp) runs the interpreter in budgets of cycles and talks
; to this code only through memory, between budgets: it empties the output buffer,
; fills the input buffer, and answers requests. A request is made by storing its code
; in REQ and spinning in SPIN with BC counting the turns; at the end of the budget the
; host sees PC in the loop, works out from BC and PC how many cycles were spent
; waiting, serves the request and resumes the code at HWRET. So the program's cycle
; count leaves out every wait, whatever the size of the budgets.
;
; Memory:
;   0000        JMP BIOS+3         warm boot: ends the program
;   0005        JMP BDOS           (0006) = BDOS, the top of the program's memory
;   BDOS ...    BDOS code, then the BIOS jump table on the next page and its code;
;               the host checks these bytes after every budget
;   VARS ...    variables, the BDOS stack, the tables of functions met that are not
;               supported, the input buffer (one page) and the output buffer up to BFFF
;
; Console conventions follow CP/M 2.2: a function returns its byte in A and L with
; B = H = 0; C, D and E are kept. Functions 2 and 9 (and the echo of 1 and 10) expand
; TAB to the next multiple of 8 columns; 6 and the BIOS CONOUT write bytes as they are.

REQ_EXIT        EQU     1       ; the program has ended (jumped to 0000)
REQ_READ        EQU     2       ; a character is needed: fill INBUF, or stop at the end of input
REQ_PEEK        EQU     3       ; is a character coming? fill INBUF, or set the end flag
REQ_DRAIN       EQU     4       ; the output buffer is full: empty it

IN_END          EQU     1       ; INFLAGS: standard input has ended
IN_TERMINAL     EQU     2       ; INFLAGS: input is typed live; status never waits for it

CR              EQU     0DH
LF              EQU     0AH
TAB             EQU     09H
BS              EQU     08H
DEL             EQU     7FH
CTRL_C          EQU     03H

NFUNCS          EQU     33      ; functions 0-32 go through the table

BIOS            EQU     0B400H  ; page of the BIOS jump table
VARS            EQU     0B500H
OUTEND          EQU     0C000H

; ------------------------------------------------------------------ BDOS
; The code sits right below the BIOS page, so (0006) is as high as it can be.
        ORG     BIOS - (BDOS_END - BDOS)
BDOS:
        LXI     H,0
        DAD     SP
        SHLD    SAVSP
        LXI     SP,STACK
        PUSH    D
        PUSH    B
        LXI     H,0
        SHLD    ARET
        MOV     A,C
        STA     FUNC
        LXI     H,BDOS_RET
        PUSH    H
        CPI     NFUNCS
        JNC     UNSUP
        MOV     L,A
        MVI     H,0
        DAD     H
        LXI     B,FTABLE
        DAD     B
        MOV     A,M
        INX     H
        MOV     H,M
        MOV     L,A
        PCHL
BDOS_RET:
        POP     B
        POP     D
        LHLD    SAVSP
        SPHL
        LHLD    ARET
        MOV     A,L
        MOV     B,H
        RET

FTABLE:
        DW      F0, F1, F2, UNSUP, UNSUP, UNSUP, F6, UNSUP          ; 0-7
        DW      UNSUP, F9, F10, F11, F12, UNSUP, UNSUP, UNSUP       ; 8-15
        DW      UNSUP, UNSUP, UNSUP, UNSUP, UNSUP, UNSUP, UNSUP     ; 16-22
        DW      UNSUP, UNSUP, F25, UNSUP, UNSUP, UNSUP, UNSUP       ; 23-29
        DW      UNSUP, UNSUP, F32                                   ; 30-32

; A function this harness does not offer: returns 0 and marks it for the host to name.
UNSUP:  LDA     FUNC
        MOV     L,A
        MVI     H,HIGH SEEN
        MVI     M,1
        RET

; 0: system reset ends the program.
F0:     JMP     0

; 1: console input, echoed when printable or CR, LF, TAB, BS.
F1:     CALL    GETC
        STA     ARET
        CPI     ' '
        JNC     CONOUT
        CPI     CR
        JZ      CONOUT
        CPI     LF
        JZ      CONOUT
        CPI     TAB
        JZ      CONOUT
        CPI     BS
        JZ      CONOUT
        RET

; 2: console output of E.
F2:     MOV     A,E
        JMP     CONOUT

; 6: direct console I/O. E = FF: the waiting character or 0, no echo; else output E.
F6:     MOV     A,E
        CPI     0FFH
        JNZ     RAWOUT
        CALL    AVAIL
        RZ
        CALL    GETC
        STA     ARET
        RET

; 9: print the text at DE up to '$'.
F9:     LDAX    D
        CPI     '$'
        RZ
        CALL    CONOUT
        INX     D
        JMP     F9

; 10: read a line into the buffer at DE (max, count, characters). Ends on CR or LF
; (echoed as CR) or when the buffer is full; BS and DEL rub out the last character;
; Ctrl-C on an empty line ends the program.
F10:    XCHG
        MOV     C,M             ; C = room
        INX     H               ; HL = the count byte
        MVI     B,0             ; B = characters so far
.next:  MOV     A,B
        CMP     C
        JNC     .done
        CALL    GETC
        CPI     CR
        JZ      .done
        CPI     LF
        JZ      .done
        CPI     BS
        JZ      .rub
        CPI     DEL
        JZ      .rub
        CPI     CTRL_C
        JNZ     .keep
        MOV     D,A
        MOV     A,B
        ORA     A
        JZ      0
        MOV     A,D
.keep:  INR     B
        PUSH    H
        MOV     E,B
        MVI     D,0
        DAD     D
        MOV     M,A
        POP     H
        CALL    CONOUT
        JMP     .next
.rub:   MOV     A,B
        ORA     A
        JZ      .next
        DCR     B
        MVI     A,BS
        CALL    CONOUT
        MVI     A,' '
        CALL    CONOUT
        MVI     A,BS
        CALL    CONOUT
        JMP     .next
.done:  MOV     M,B
        MVI     A,CR
        JMP     CONOUT

; 11: console status, 1 when a character waits.
F11:    CALL    AVAIL
        RZ
        MVI     A,1
        STA     ARET
        RET

; 12: version number, 22H for CP/M 2.2.
F12:    MVI     A,22H
        STA     ARET
        RET

; 25: current disk, always A (0).
F25:    RET

; 32: E = FF: get the user number; else set it to E AND 1FH.
F32:    MOV     A,E
        CPI     0FFH
        JZ      .get
        ANI     1FH
        STA     USER
        RET
.get:   LDA     USER
        STA     ARET
        RET

; ------------------------------------------------------------------ console
; CONOUT: A to the console with TAB expansion and the column count. Keeps BC, DE, HL.
CONOUT: CPI     TAB
        JNZ     COLOUT
.tab:   MVI     A,' '
        CALL    COLOUT
        LDA     COLUMN
        ANI     7
        JNZ     .tab
        RET
COLOUT: CALL    RAWOUT
        PUSH    H
        LXI     H,COLUMN
        CPI     CR
        JZ      .zero
        CPI     LF
        JZ      .zero
        CPI     BS
        JZ      .back
        CPI     ' '
        JC      .done
        CPI     DEL
        JZ      .done
        INR     M
        JMP     .done
.back:  MOV     A,M
        ORA     A
        JZ      .done
        DCR     M
        JMP     .done
.zero:  MVI     M,0
.done:  POP     H
        RET

; RAWOUT: A into the output buffer, waiting for the host when it is full. Keeps
; every register.
RAWOUT: PUSH    H
        PUSH    PSW
.check: LHLD    OUTPTR
        MOV     A,H
        CPI     HIGH OUTEND
        JNZ     .put
        MVI     A,REQ_DRAIN
        CALL    HWAIT
        JMP     .check
.put:   POP     PSW
        MOV     M,A
        INX     H
        SHLD    OUTPTR
        POP     H
        RET

; GETC: the next input character in A, waiting for the host when none is there.
; Keeps BC, DE, HL.
GETC:   PUSH    H
.check: LHLD    INPOS           ; L = INPOS, H = INLEN
        MOV     A,L
        CMP     H
        JNZ     .take
        MVI     A,REQ_READ
        CALL    HWAIT
        JMP     .check
.take:  INR     A
        STA     INPOS
        DCR     A
        MOV     L,A
        MVI     H,HIGH INBUF
        MOV     A,M
        POP     H
        RET

; AVAIL: Z when no input character waits, NZ when one does. Asks the host when the
; buffer is empty, unless input has ended or is typed live. Keeps BC, DE, HL.
AVAIL:  PUSH    H
.check: LHLD    INPOS
        MOV     A,L
        CMP     H
        JNZ     .done
        LDA     INFLAGS
        ORA     A
        JNZ     .none
        MVI     A,REQ_PEEK
        CALL    HWAIT
        JMP     .check
.none:  XRA     A
.done:  POP     H
        RET

; HWAIT: request A from the host and wait until it has been served. Keeps BC.
HWAIT:  PUSH    B
        STA     REQ
HWLXI:  LXI     B,0
SPIN:   INX     B
        NOP
        JMP     SPIN
HWRET:  POP     B
        RET

; Warm boot: the program has ended.
WBOOT:  MVI     A,REQ_EXIT
        STA     REQ
        JMP     HWLXI
BDOS_END:

; ------------------------------------------------------------------ BIOS
        ORG     BIOS
        JMP     WBOOT           ; 0 BOOT
        JMP     WBOOT           ; 1 WBOOT
        JMP     CONST           ; 2 CONST
        JMP     GETC            ; 3 CONIN
        JMP     CONOUTB         ; 4 CONOUT
        JMP     B5              ; 5 LIST
        JMP     B6              ; 6 PUNCH
        JMP     B7              ; 7 READER
        JMP     B8              ; 8 HOME
        JMP     B9              ; 9 SELDSK
        JMP     B10             ; 10 SETTRK
        JMP     B11             ; 11 SETSEC
        JMP     B12             ; 12 SETDMA
        JMP     B13             ; 13 READ
        JMP     B14             ; 14 WRITE
        JMP     B15             ; 15 LISTST
        JMP     B16             ; 16 SECTRAN

; CONST: A = FF when a character waits, else 0.
CONST:  CALL    AVAIL
        RZ
        MVI     A,0FFH
        RET

; CONOUT: C to the console as it is.
CONOUTB:
        MOV     A,C
        JMP     RAWOUT

; The other entries return A = 0 and HL = 0 (SELDSK: no such disk) and are marked
; for the host to name.
B5:     MVI     A,5
        JMP     BUNSUP
B6:     MVI     A,6
        JMP     BUNSUP
B7:     MVI     A,7
        JMP     BUNSUP
B8:     MVI     A,8
        JMP     BUNSUP
B9:     MVI     A,9
        JMP     BUNSUP
B10:    MVI     A,10
        JMP     BUNSUP
B11:    MVI     A,11
        JMP     BUNSUP
B12:    MVI     A,12
        JMP     BUNSUP
B13:    MVI     A,13
        JMP     BUNSUP
B14:    MVI     A,14
        JMP     BUNSUP
B15:    MVI     A,15
        JMP     BUNSUP
B16:    MVI     A,16
BUNSUP: LXI     H,BSEEN
        ADD     L
        MOV     L,A
        MVI     M,1
        LXI     H,0
        XRA     A
        RET
BIOS_END:

; ------------------------------------------------------------------ variables
        ORG     VARS
REQ:    DB      0               ; the request being waited on
OUTPTR: DW      OUTBUF          ; next free byte of the output buffer
INPOS:  DB      0               ; next byte of INBUF to take
INLEN:  DB      0               ; bytes in INBUF (INPOS = INLEN: empty)
INFLAGS: DB     0               ; IN_END, IN_TERMINAL
COLUMN: DB      0               ; console column, for TAB
USER:   DB      0               ; user number (function 32)
FUNC:   DB      0               ; BDOS function being served
SAVSP:  DW      0               ; the caller's stack pointer
ARET:   DW      0               ; the BDOS function's result
BSEEN:  DS      17, 0           ; BIOS entries met that are not supported
        ORG     VARS + 0C0H
        DS      64, 0
STACK:                          ; the BDOS stack grows down from here

        ORG     VARS + 100H
SEEN:   DS      256, 0          ; BDOS functions met that are not supported
INBUF:  DS      256, 0          ; input the host has handed over
OUTBUF: DS      OUTEND - OUTBUF, 0
