; Key decoding tables, one byte per matrix position: positions 00-3F are the
; main matrix (column * 8 + row), 40-4F the extra matrix (40 + column * 4 + row).
; 00 = no character. Letters give capitals in both cases; the shifted tables
; hold the US (Latin) or Russian (Cyrillic) shifted symbols of the digit and
; punctuation keys. Cyrillic letters are window-1251 codes.

; Latin, unshifted
KT_LAT:
        DB      036H        ; 00 main 0/0: '6'
        DB      037H        ; 01 main 0/1: '7'
        DB      038H        ; 02 main 0/2: '8'
        DB      001H        ; 03 main 0/3: Insert
        DB      009H        ; 04 main 0/4: Tab
        DB      02DH        ; 05 main 0/5: '-'
        DB      030H        ; 06 main 0/6: '0'
        DB      039H        ; 07 main 0/7: '9'
        DB      047H        ; 08 main 1/0: 'G'
        DB      05BH        ; 09 main 1/1: '['
        DB      05DH        ; 0A main 1/2: ']'
        DB      00DH        ; 0B main 1/3: Enter
        DB      004H        ; 0C main 1/4: PageUp
        DB      03BH        ; 0D main 1/5: ';'
        DB      048H        ; 0E main 1/6: 'H'
        DB      05AH        ; 0F main 1/7: 'Z'
        DB      052H        ; 10 main 2/0: 'R'
        DB      04FH        ; 11 main 2/1: 'O'
        DB      04CH        ; 12 main 2/2: 'L'
        DB      008H        ; 13 main 2/3: Backspace
        DB      02EH        ; 14 main 2/4: '.'
        DB      05CH        ; 15 main 2/5: '\\'
        DB      056H        ; 16 main 2/6: 'V'
        DB      044H        ; 17 main 2/7: 'D'
        DB      020H        ; 18 main 3/0: Space
        DB      042H        ; 19 main 3/1: 'B'
        DB      027H        ; 1A main 3/2: "'"
        DB      000H        ; 1B main 3/3: -
        DB      003H        ; 1C main 3/4: End
        DB      000H        ; 1D main 3/5: -
        DB      02FH        ; 1E main 3/6: '/'
        DB      02CH        ; 1F main 3/7: ','
        DB      01BH        ; 20 main 4/0: Esc
        DB      086H        ; 21 main 4/1: F6
        DB      087H        ; 22 main 4/2: F7
        DB      035H        ; 23 main 4/3: '5'
        DB      034H        ; 24 main 4/4: '4'
        DB      033H        ; 25 main 4/5: '3'
        DB      032H        ; 26 main 4/6: '2'
        DB      031H        ; 27 main 4/7: '1'
        DB      000H        ; 28 main 5/0: -
        DB      000H        ; 29 main 5/1: -
        DB      04AH        ; 2A main 5/2: 'J'
        DB      04EH        ; 2B main 5/3: 'N'
        DB      045H        ; 2C main 5/4: 'E'
        DB      04BH        ; 2D main 5/5: 'K'
        DB      055H        ; 2E main 5/6: 'U'
        DB      043H        ; 2F main 5/7: 'C'
        DB      060H        ; 30 main 6/0: '`'
        DB      000H        ; 31 main 6/1: -
        DB      000H        ; 32 main 6/2: -
        DB      050H        ; 33 main 6/3: 'P'
        DB      041H        ; 34 main 6/4: 'A'
        DB      057H        ; 35 main 6/5: 'W'
        DB      059H        ; 36 main 6/6: 'Y'
        DB      046H        ; 37 main 6/7: 'F'
        DB      000H        ; 38 main 7/0: -
        DB      051H        ; 39 main 7/1: 'Q'
        DB      03DH        ; 3A main 7/2: '='
        DB      058H        ; 3B main 7/3: 'X'
        DB      054H        ; 3C main 7/4: 'T'
        DB      049H        ; 3D main 7/5: 'I'
        DB      04DH        ; 3E main 7/6: 'M'
        DB      053H        ; 3F main 7/7: 'S'
        DB      08CH        ; 40 extra 0/0: F12
        DB      08BH        ; 41 extra 0/1: F11
        DB      08AH        ; 42 extra 0/2: F10
        DB      088H        ; 43 extra 0/3: F8
        DB      005H        ; 44 extra 1/0: PageDown
        DB      089H        ; 45 extra 1/1: F9
        DB      081H        ; 46 extra 1/2: F1
        DB      082H        ; 47 extra 1/3: F2
        DB      002H        ; 48 extra 2/0: Home
        DB      085H        ; 49 extra 2/1: F5
        DB      084H        ; 4A extra 2/2: F4
        DB      083H        ; 4B extra 2/3: F3
        DB      01CH        ; 4C extra 3/0: Right
        DB      01EH        ; 4D extra 3/1: Up
        DB      01DH        ; 4E extra 3/2: Left
        DB      01FH        ; 4F extra 3/3: Down

; Latin, with Shift
KT_LAT_SH:
        DB      05EH        ; 00 main 0/0: '^'
        DB      026H        ; 01 main 0/1: '&'
        DB      02AH        ; 02 main 0/2: '*'
        DB      001H        ; 03 main 0/3: Insert
        DB      009H        ; 04 main 0/4: Tab
        DB      05FH        ; 05 main 0/5: '_'
        DB      029H        ; 06 main 0/6: ')'
        DB      028H        ; 07 main 0/7: '('
        DB      047H        ; 08 main 1/0: 'G'
        DB      07BH        ; 09 main 1/1: '{'
        DB      07DH        ; 0A main 1/2: '}'
        DB      00DH        ; 0B main 1/3: Enter
        DB      004H        ; 0C main 1/4: PageUp
        DB      03AH        ; 0D main 1/5: ':'
        DB      048H        ; 0E main 1/6: 'H'
        DB      05AH        ; 0F main 1/7: 'Z'
        DB      052H        ; 10 main 2/0: 'R'
        DB      04FH        ; 11 main 2/1: 'O'
        DB      04CH        ; 12 main 2/2: 'L'
        DB      008H        ; 13 main 2/3: Backspace
        DB      03EH        ; 14 main 2/4: '>'
        DB      07CH        ; 15 main 2/5: '|'
        DB      056H        ; 16 main 2/6: 'V'
        DB      044H        ; 17 main 2/7: 'D'
        DB      020H        ; 18 main 3/0: Space
        DB      042H        ; 19 main 3/1: 'B'
        DB      022H        ; 1A main 3/2: '"'
        DB      000H        ; 1B main 3/3: -
        DB      003H        ; 1C main 3/4: End
        DB      000H        ; 1D main 3/5: -
        DB      03FH        ; 1E main 3/6: '?'
        DB      03CH        ; 1F main 3/7: '<'
        DB      01BH        ; 20 main 4/0: Esc
        DB      086H        ; 21 main 4/1: F6
        DB      087H        ; 22 main 4/2: F7
        DB      025H        ; 23 main 4/3: '%'
        DB      024H        ; 24 main 4/4: '$'
        DB      023H        ; 25 main 4/5: '#'
        DB      040H        ; 26 main 4/6: '@'
        DB      021H        ; 27 main 4/7: '!'
        DB      000H        ; 28 main 5/0: -
        DB      000H        ; 29 main 5/1: -
        DB      04AH        ; 2A main 5/2: 'J'
        DB      04EH        ; 2B main 5/3: 'N'
        DB      045H        ; 2C main 5/4: 'E'
        DB      04BH        ; 2D main 5/5: 'K'
        DB      055H        ; 2E main 5/6: 'U'
        DB      043H        ; 2F main 5/7: 'C'
        DB      07EH        ; 30 main 6/0: '~'
        DB      000H        ; 31 main 6/1: -
        DB      000H        ; 32 main 6/2: -
        DB      050H        ; 33 main 6/3: 'P'
        DB      041H        ; 34 main 6/4: 'A'
        DB      057H        ; 35 main 6/5: 'W'
        DB      059H        ; 36 main 6/6: 'Y'
        DB      046H        ; 37 main 6/7: 'F'
        DB      000H        ; 38 main 7/0: -
        DB      051H        ; 39 main 7/1: 'Q'
        DB      02BH        ; 3A main 7/2: '+'
        DB      058H        ; 3B main 7/3: 'X'
        DB      054H        ; 3C main 7/4: 'T'
        DB      049H        ; 3D main 7/5: 'I'
        DB      04DH        ; 3E main 7/6: 'M'
        DB      053H        ; 3F main 7/7: 'S'
        DB      08CH        ; 40 extra 0/0: F12
        DB      08BH        ; 41 extra 0/1: F11
        DB      08AH        ; 42 extra 0/2: F10
        DB      088H        ; 43 extra 0/3: F8
        DB      005H        ; 44 extra 1/0: PageDown
        DB      089H        ; 45 extra 1/1: F9
        DB      081H        ; 46 extra 1/2: F1
        DB      082H        ; 47 extra 1/3: F2
        DB      002H        ; 48 extra 2/0: Home
        DB      085H        ; 49 extra 2/1: F5
        DB      084H        ; 4A extra 2/2: F4
        DB      083H        ; 4B extra 2/3: F3
        DB      01CH        ; 4C extra 3/0: Right
        DB      01EH        ; 4D extra 3/1: Up
        DB      01DH        ; 4E extra 3/2: Left
        DB      01FH        ; 4F extra 3/3: Down

; Cyrillic, unshifted
KT_CYR:
        DB      036H        ; 00 main 0/0: '6'
        DB      037H        ; 01 main 0/1: '7'
        DB      038H        ; 02 main 0/2: '8'
        DB      001H        ; 03 main 0/3: Insert
        DB      009H        ; 04 main 0/4: Tab
        DB      02DH        ; 05 main 0/5: '-'
        DB      030H        ; 06 main 0/6: '0'
        DB      039H        ; 07 main 0/7: '9'
        DB      0C3H        ; 08 main 1/0: Cyrillic GHE
        DB      0D8H        ; 09 main 1/1: Cyrillic SHA
        DB      0D9H        ; 0A main 1/2: Cyrillic SHCHA
        DB      00DH        ; 0B main 1/3: Enter
        DB      004H        ; 0C main 1/4: PageUp
        DB      0DAH        ; 0D main 1/5: Cyrillic HARD-SIGN
        DB      0D5H        ; 0E main 1/6: Cyrillic HA
        DB      0C7H        ; 0F main 1/7: Cyrillic ZE
        DB      0D0H        ; 10 main 2/0: Cyrillic ER
        DB      0CEH        ; 11 main 2/1: Cyrillic O
        DB      0CBH        ; 12 main 2/2: Cyrillic EL
        DB      008H        ; 13 main 2/3: Backspace
        DB      05CH        ; 14 main 2/4: '\\'
        DB      0DDH        ; 15 main 2/5: Cyrillic E
        DB      0C6H        ; 16 main 2/6: Cyrillic ZHE
        DB      0C4H        ; 17 main 2/7: Cyrillic DE
        DB      020H        ; 18 main 3/0: Space
        DB      0C1H        ; 19 main 3/1: Cyrillic BE
        DB      0DEH        ; 1A main 3/2: Cyrillic YU
        DB      000H        ; 1B main 3/3: -
        DB      003H        ; 1C main 3/4: End
        DB      000H        ; 1D main 3/5: -
        DB      02EH        ; 1E main 3/6: '.'
        DB      03DH        ; 1F main 3/7: '='
        DB      01BH        ; 20 main 4/0: Esc
        DB      086H        ; 21 main 4/1: F6
        DB      087H        ; 22 main 4/2: F7
        DB      035H        ; 23 main 4/3: '5'
        DB      034H        ; 24 main 4/4: '4'
        DB      033H        ; 25 main 4/5: '3'
        DB      032H        ; 26 main 4/6: '2'
        DB      031H        ; 27 main 4/7: '1'
        DB      000H        ; 28 main 5/0: -
        DB      000H        ; 29 main 5/1: -
        DB      0C9H        ; 2A main 5/2: Cyrillic SHORT-I
        DB      0CDH        ; 2B main 5/3: Cyrillic EN
        DB      0C5H        ; 2C main 5/4: Cyrillic IE
        DB      0CAH        ; 2D main 5/5: Cyrillic KA
        DB      0D3H        ; 2E main 5/6: Cyrillic U
        DB      0D6H        ; 2F main 5/7: Cyrillic TSE
        DB      0A8H        ; 30 main 6/0: Cyrillic YO
        DB      000H        ; 31 main 6/1: -
        DB      000H        ; 32 main 6/2: -
        DB      0CFH        ; 33 main 6/3: Cyrillic PE
        DB      0C0H        ; 34 main 6/4: Cyrillic A
        DB      0C2H        ; 35 main 6/5: Cyrillic VE
        DB      0DBH        ; 36 main 6/6: Cyrillic YERU
        DB      0D4H        ; 37 main 6/7: Cyrillic EF
        DB      000H        ; 38 main 7/0: -
        DB      0DFH        ; 39 main 7/1: Cyrillic YA
        DB      0D7H        ; 3A main 7/2: Cyrillic CHE
        DB      0DCH        ; 3B main 7/3: Cyrillic SOFT-SIGN
        DB      0D2H        ; 3C main 7/4: Cyrillic TE
        DB      0C8H        ; 3D main 7/5: Cyrillic I
        DB      0CCH        ; 3E main 7/6: Cyrillic EM
        DB      0D1H        ; 3F main 7/7: Cyrillic ES
        DB      08CH        ; 40 extra 0/0: F12
        DB      08BH        ; 41 extra 0/1: F11
        DB      08AH        ; 42 extra 0/2: F10
        DB      088H        ; 43 extra 0/3: F8
        DB      005H        ; 44 extra 1/0: PageDown
        DB      089H        ; 45 extra 1/1: F9
        DB      081H        ; 46 extra 1/2: F1
        DB      082H        ; 47 extra 1/3: F2
        DB      002H        ; 48 extra 2/0: Home
        DB      085H        ; 49 extra 2/1: F5
        DB      084H        ; 4A extra 2/2: F4
        DB      083H        ; 4B extra 2/3: F3
        DB      01CH        ; 4C extra 3/0: Right
        DB      01EH        ; 4D extra 3/1: Up
        DB      01DH        ; 4E extra 3/2: Left
        DB      01FH        ; 4F extra 3/3: Down

; Cyrillic, with Shift
KT_CYR_SH:
        DB      03AH        ; 00 main 0/0: ':'
        DB      03FH        ; 01 main 0/1: '?'
        DB      02AH        ; 02 main 0/2: '*'
        DB      001H        ; 03 main 0/3: Insert
        DB      009H        ; 04 main 0/4: Tab
        DB      05FH        ; 05 main 0/5: '_'
        DB      029H        ; 06 main 0/6: ')'
        DB      028H        ; 07 main 0/7: '('
        DB      0C3H        ; 08 main 1/0: Cyrillic GHE
        DB      0D8H        ; 09 main 1/1: Cyrillic SHA
        DB      0D9H        ; 0A main 1/2: Cyrillic SHCHA
        DB      00DH        ; 0B main 1/3: Enter
        DB      004H        ; 0C main 1/4: PageUp
        DB      0DAH        ; 0D main 1/5: Cyrillic HARD-SIGN
        DB      0D5H        ; 0E main 1/6: Cyrillic HA
        DB      0C7H        ; 0F main 1/7: Cyrillic ZE
        DB      0D0H        ; 10 main 2/0: Cyrillic ER
        DB      0CEH        ; 11 main 2/1: Cyrillic O
        DB      0CBH        ; 12 main 2/2: Cyrillic EL
        DB      008H        ; 13 main 2/3: Backspace
        DB      02FH        ; 14 main 2/4: '/'
        DB      0DDH        ; 15 main 2/5: Cyrillic E
        DB      0C6H        ; 16 main 2/6: Cyrillic ZHE
        DB      0C4H        ; 17 main 2/7: Cyrillic DE
        DB      020H        ; 18 main 3/0: Space
        DB      0C1H        ; 19 main 3/1: Cyrillic BE
        DB      0DEH        ; 1A main 3/2: Cyrillic YU
        DB      000H        ; 1B main 3/3: -
        DB      003H        ; 1C main 3/4: End
        DB      000H        ; 1D main 3/5: -
        DB      02CH        ; 1E main 3/6: ','
        DB      02BH        ; 1F main 3/7: '+'
        DB      01BH        ; 20 main 4/0: Esc
        DB      086H        ; 21 main 4/1: F6
        DB      087H        ; 22 main 4/2: F7
        DB      025H        ; 23 main 4/3: '%'
        DB      03BH        ; 24 main 4/4: ';'
        DB      0B9H        ; 25 main 4/5: NUMERO
        DB      022H        ; 26 main 4/6: '"'
        DB      021H        ; 27 main 4/7: '!'
        DB      000H        ; 28 main 5/0: -
        DB      000H        ; 29 main 5/1: -
        DB      0C9H        ; 2A main 5/2: Cyrillic SHORT-I
        DB      0CDH        ; 2B main 5/3: Cyrillic EN
        DB      0C5H        ; 2C main 5/4: Cyrillic IE
        DB      0CAH        ; 2D main 5/5: Cyrillic KA
        DB      0D3H        ; 2E main 5/6: Cyrillic U
        DB      0D6H        ; 2F main 5/7: Cyrillic TSE
        DB      0A8H        ; 30 main 6/0: Cyrillic YO
        DB      000H        ; 31 main 6/1: -
        DB      000H        ; 32 main 6/2: -
        DB      0CFH        ; 33 main 6/3: Cyrillic PE
        DB      0C0H        ; 34 main 6/4: Cyrillic A
        DB      0C2H        ; 35 main 6/5: Cyrillic VE
        DB      0DBH        ; 36 main 6/6: Cyrillic YERU
        DB      0D4H        ; 37 main 6/7: Cyrillic EF
        DB      000H        ; 38 main 7/0: -
        DB      0DFH        ; 39 main 7/1: Cyrillic YA
        DB      0D7H        ; 3A main 7/2: Cyrillic CHE
        DB      0DCH        ; 3B main 7/3: Cyrillic SOFT-SIGN
        DB      0D2H        ; 3C main 7/4: Cyrillic TE
        DB      0C8H        ; 3D main 7/5: Cyrillic I
        DB      0CCH        ; 3E main 7/6: Cyrillic EM
        DB      0D1H        ; 3F main 7/7: Cyrillic ES
        DB      08CH        ; 40 extra 0/0: F12
        DB      08BH        ; 41 extra 0/1: F11
        DB      08AH        ; 42 extra 0/2: F10
        DB      088H        ; 43 extra 0/3: F8
        DB      005H        ; 44 extra 1/0: PageDown
        DB      089H        ; 45 extra 1/1: F9
        DB      081H        ; 46 extra 1/2: F1
        DB      082H        ; 47 extra 1/3: F2
        DB      002H        ; 48 extra 2/0: Home
        DB      085H        ; 49 extra 2/1: F5
        DB      084H        ; 4A extra 2/2: F4
        DB      083H        ; 4B extra 2/3: F3
        DB      01CH        ; 4C extra 3/0: Right
        DB      01EH        ; 4D extra 3/1: Up
        DB      01DH        ; 4E extra 3/2: Left
        DB      01FH        ; 4F extra 3/3: Down
