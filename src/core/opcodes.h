// The Intel 8080 opcode table: the one place that says how long each instruction is and
// how many clock cycles it takes. The interpreter takes both from here at compile time;
// the assembler, the disassembler and the debugger's listing read the rest.
//
// One entry per opcode byte 00-FF: the mnemonic, the register operands fixed by the
// encoding, the kind of immediate that follows, the instruction length, the clock cycles
// and the text the debugger's listing shows. The undocumented opcodes have entries of
// their own (08..38 "_nop_", CB "_jmp_", D9 "_ret_", DD/ED/FD "_call_") that record the
// documented instruction they execute as; the assembler never emits them.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lvov {

// What follows the opcode byte.
enum class OperandKind : uint8_t {
    None,  // one-byte instruction
    Byte,  // 8-bit immediate or port number
    Word,  // 16-bit immediate or address, low byte first
};

struct OpcodeInfo {
    const char* mnemonic;  // "MOV", "LXI", "_nop_"; upper case
    const char* operands;  // register operands fixed by the encoding: "B,C", "SP", "PSW", "3" for RST 3, or ""
    OperandKind kind;
    uint8_t length;  // 1, 2 or 3 bytes
    uint8_t cycles;  // clock cycles; for a conditional call or return, when not taken
    uint8_t cycles_taken;  // conditional call or return taken; equals cycles for everything else
    uint8_t executes_as;  // the opcode itself, or the documented opcode an undocumented one stands for
    const char* listing;  // the debugger listing's mnemonic column: "MVI B ,", "JMP ", "OUT port"

    constexpr bool documented(uint8_t self) const { return executes_as == self; }
};

// mnemonic, fixed register operands, immediate kind, length, cycles, cycles when taken,
// executes as, listing text. Cycle counts are the 8080 data sheet's, except HLT (4: it
// does not halt on this machine).
inline constexpr std::array<OpcodeInfo, 256> OPCODE_TABLE = {{
    {"NOP", "", OperandKind::None, 1, 4, 4, 0x00, "NOP"},  // 00
    {"LXI", "B", OperandKind::Word, 3, 10, 10, 0x01, "LXI B,"},  // 01
    {"STAX", "B", OperandKind::None, 1, 7, 7, 0x02, "STAX B"},  // 02
    {"INX", "B", OperandKind::None, 1, 5, 5, 0x03, "INX B"},  // 03
    {"INR", "B", OperandKind::None, 1, 5, 5, 0x04, "INR B"},  // 04
    {"DCR", "B", OperandKind::None, 1, 5, 5, 0x05, "DCR B"},  // 05
    {"MVI", "B", OperandKind::Byte, 2, 7, 7, 0x06, "MVI B ,"},  // 06
    {"RLC", "", OperandKind::None, 1, 4, 4, 0x07, "RLC"},  // 07
    {"_nop_", "", OperandKind::None, 1, 4, 4, 0x00, "_nop_"},  // 08
    {"DAD", "B", OperandKind::None, 1, 10, 10, 0x09, "DAD B"},  // 09
    {"LDAX", "B", OperandKind::None, 1, 7, 7, 0x0A, "LDAX B"},  // 0A
    {"DCX", "B", OperandKind::None, 1, 5, 5, 0x0B, "DCX B"},  // 0B
    {"INR", "C", OperandKind::None, 1, 5, 5, 0x0C, "INR C"},  // 0C
    {"DCR", "C", OperandKind::None, 1, 5, 5, 0x0D, "DCR C"},  // 0D
    {"MVI", "C", OperandKind::Byte, 2, 7, 7, 0x0E, "MVI C ,"},  // 0E
    {"RRC", "", OperandKind::None, 1, 4, 4, 0x0F, "RRC"},  // 0F
    {"_nop_", "", OperandKind::None, 1, 4, 4, 0x00, "_nop_"},  // 10
    {"LXI", "D", OperandKind::Word, 3, 10, 10, 0x11, "LXI D,"},  // 11
    {"STAX", "D", OperandKind::None, 1, 7, 7, 0x12, "STAX D"},  // 12
    {"INX", "D", OperandKind::None, 1, 5, 5, 0x13, "INX D"},  // 13
    {"INR", "D", OperandKind::None, 1, 5, 5, 0x14, "INR D"},  // 14
    {"DCR", "D", OperandKind::None, 1, 5, 5, 0x15, "DCR D"},  // 15
    {"MVI", "D", OperandKind::Byte, 2, 7, 7, 0x16, "MVI D ,"},  // 16
    {"RAL", "", OperandKind::None, 1, 4, 4, 0x17, "RAL"},  // 17
    {"_nop_", "", OperandKind::None, 1, 4, 4, 0x00, "_nop_"},  // 18
    {"DAD", "D", OperandKind::None, 1, 10, 10, 0x19, "DAD D"},  // 19
    {"LDAX", "D", OperandKind::None, 1, 7, 7, 0x1A, "LDAX D"},  // 1A
    {"DCX", "D", OperandKind::None, 1, 5, 5, 0x1B, "DCX D"},  // 1B
    {"INR", "E", OperandKind::None, 1, 5, 5, 0x1C, "INR E"},  // 1C
    {"DCR", "E", OperandKind::None, 1, 5, 5, 0x1D, "DCR E"},  // 1D
    {"MVI", "E", OperandKind::Byte, 2, 7, 7, 0x1E, "MVI E ,"},  // 1E
    {"RAR", "", OperandKind::None, 1, 4, 4, 0x1F, "RAR"},  // 1F
    {"_nop_", "", OperandKind::None, 1, 4, 4, 0x00, "_nop_"},  // 20
    {"LXI", "H", OperandKind::Word, 3, 10, 10, 0x21, "LXI H,"},  // 21
    {"SHLD", "", OperandKind::Word, 3, 16, 16, 0x22, "SHLD "},  // 22
    {"INX", "H", OperandKind::None, 1, 5, 5, 0x23, "INX H"},  // 23
    {"INR", "H", OperandKind::None, 1, 5, 5, 0x24, "INR H"},  // 24
    {"DCR", "H", OperandKind::None, 1, 5, 5, 0x25, "DCR H"},  // 25
    {"MVI", "H", OperandKind::Byte, 2, 7, 7, 0x26, "MVI H ,"},  // 26
    {"DAA", "", OperandKind::None, 1, 4, 4, 0x27, "DAA"},  // 27
    {"_nop_", "", OperandKind::None, 1, 4, 4, 0x00, "_nop_"},  // 28
    {"DAD", "H", OperandKind::None, 1, 10, 10, 0x29, "DAD H"},  // 29
    {"LHLD", "", OperandKind::Word, 3, 16, 16, 0x2A, "LHLD "},  // 2A
    {"DCX", "H", OperandKind::None, 1, 5, 5, 0x2B, "DCX H"},  // 2B
    {"INR", "L", OperandKind::None, 1, 5, 5, 0x2C, "INR L"},  // 2C
    {"DCR", "L", OperandKind::None, 1, 5, 5, 0x2D, "DCR L"},  // 2D
    {"MVI", "L", OperandKind::Byte, 2, 7, 7, 0x2E, "MVI L ,"},  // 2E
    {"CMA", "", OperandKind::None, 1, 4, 4, 0x2F, "CMA"},  // 2F
    {"_nop_", "", OperandKind::None, 1, 4, 4, 0x00, "_nop_"},  // 30
    {"LXI", "SP", OperandKind::Word, 3, 10, 10, 0x31, "LXI SP,"},  // 31
    {"STA", "", OperandKind::Word, 3, 13, 13, 0x32, "STA "},  // 32
    {"INX", "SP", OperandKind::None, 1, 5, 5, 0x33, "INX SP"},  // 33
    {"INR", "M", OperandKind::None, 1, 10, 10, 0x34, "INR M"},  // 34
    {"DCR", "M", OperandKind::None, 1, 10, 10, 0x35, "DCR M"},  // 35
    {"MVI", "M", OperandKind::Byte, 2, 10, 10, 0x36, "MVI M ,"},  // 36
    {"STC", "", OperandKind::None, 1, 4, 4, 0x37, "STC"},  // 37
    {"_nop_", "", OperandKind::None, 1, 4, 4, 0x00, "_nop_"},  // 38
    {"DAD", "SP", OperandKind::None, 1, 10, 10, 0x39, "DAD SP"},  // 39
    {"LDA", "", OperandKind::Word, 3, 13, 13, 0x3A, "LDA "},  // 3A
    {"DCX", "SP", OperandKind::None, 1, 5, 5, 0x3B, "DCX SP"},  // 3B
    {"INR", "A", OperandKind::None, 1, 5, 5, 0x3C, "INR A"},  // 3C
    {"DCR", "A", OperandKind::None, 1, 5, 5, 0x3D, "DCR A"},  // 3D
    {"MVI", "A", OperandKind::Byte, 2, 7, 7, 0x3E, "MVI A ,"},  // 3E
    {"CMC", "", OperandKind::None, 1, 4, 4, 0x3F, "CMC"},  // 3F
    {"MOV", "B,B", OperandKind::None, 1, 5, 5, 0x40, "MOV B,B"},  // 40
    {"MOV", "B,C", OperandKind::None, 1, 5, 5, 0x41, "MOV B,C"},  // 41
    {"MOV", "B,D", OperandKind::None, 1, 5, 5, 0x42, "MOV B,D"},  // 42
    {"MOV", "B,E", OperandKind::None, 1, 5, 5, 0x43, "MOV B,E"},  // 43
    {"MOV", "B,H", OperandKind::None, 1, 5, 5, 0x44, "MOV B,H"},  // 44
    {"MOV", "B,L", OperandKind::None, 1, 5, 5, 0x45, "MOV B,L"},  // 45
    {"MOV", "B,M", OperandKind::None, 1, 7, 7, 0x46, "MOV B,M"},  // 46
    {"MOV", "B,A", OperandKind::None, 1, 5, 5, 0x47, "MOV B,A"},  // 47
    {"MOV", "C,B", OperandKind::None, 1, 5, 5, 0x48, "MOV C,B"},  // 48
    {"MOV", "C,C", OperandKind::None, 1, 5, 5, 0x49, "MOV C,C"},  // 49
    {"MOV", "C,D", OperandKind::None, 1, 5, 5, 0x4A, "MOV C,D"},  // 4A
    {"MOV", "C,E", OperandKind::None, 1, 5, 5, 0x4B, "MOV C,E"},  // 4B
    {"MOV", "C,H", OperandKind::None, 1, 5, 5, 0x4C, "MOV C,H"},  // 4C
    {"MOV", "C,L", OperandKind::None, 1, 5, 5, 0x4D, "MOV C,L"},  // 4D
    {"MOV", "C,M", OperandKind::None, 1, 7, 7, 0x4E, "MOV C,M"},  // 4E
    {"MOV", "C,A", OperandKind::None, 1, 5, 5, 0x4F, "MOV C,A"},  // 4F
    {"MOV", "D,B", OperandKind::None, 1, 5, 5, 0x50, "MOV D,B"},  // 50
    {"MOV", "D,C", OperandKind::None, 1, 5, 5, 0x51, "MOV D,C"},  // 51
    {"MOV", "D,D", OperandKind::None, 1, 5, 5, 0x52, "MOV D,D"},  // 52
    {"MOV", "D,E", OperandKind::None, 1, 5, 5, 0x53, "MOV D,E"},  // 53
    {"MOV", "D,H", OperandKind::None, 1, 5, 5, 0x54, "MOV D,H"},  // 54
    {"MOV", "D,L", OperandKind::None, 1, 5, 5, 0x55, "MOV D,L"},  // 55
    {"MOV", "D,M", OperandKind::None, 1, 7, 7, 0x56, "MOV D,M"},  // 56
    {"MOV", "D,A", OperandKind::None, 1, 5, 5, 0x57, "MOV D,A"},  // 57
    {"MOV", "E,B", OperandKind::None, 1, 5, 5, 0x58, "MOV E,B"},  // 58
    {"MOV", "E,C", OperandKind::None, 1, 5, 5, 0x59, "MOV E,C"},  // 59
    {"MOV", "E,D", OperandKind::None, 1, 5, 5, 0x5A, "MOV E,D"},  // 5A
    {"MOV", "E,E", OperandKind::None, 1, 5, 5, 0x5B, "MOV E,E"},  // 5B
    {"MOV", "E,H", OperandKind::None, 1, 5, 5, 0x5C, "MOV E,H"},  // 5C
    {"MOV", "E,L", OperandKind::None, 1, 5, 5, 0x5D, "MOV E,L"},  // 5D
    {"MOV", "E,M", OperandKind::None, 1, 7, 7, 0x5E, "MOV E,M"},  // 5E
    {"MOV", "E,A", OperandKind::None, 1, 5, 5, 0x5F, "MOV E,A"},  // 5F
    {"MOV", "H,B", OperandKind::None, 1, 5, 5, 0x60, "MOV H,B"},  // 60
    {"MOV", "H,C", OperandKind::None, 1, 5, 5, 0x61, "MOV H,C"},  // 61
    {"MOV", "H,D", OperandKind::None, 1, 5, 5, 0x62, "MOV H,D"},  // 62
    {"MOV", "H,E", OperandKind::None, 1, 5, 5, 0x63, "MOV H,E"},  // 63
    {"MOV", "H,H", OperandKind::None, 1, 5, 5, 0x64, "MOV H,H"},  // 64
    {"MOV", "H,L", OperandKind::None, 1, 5, 5, 0x65, "MOV H,L"},  // 65
    {"MOV", "H,M", OperandKind::None, 1, 7, 7, 0x66, "MOV H,M"},  // 66
    {"MOV", "H,A", OperandKind::None, 1, 5, 5, 0x67, "MOV H,A"},  // 67
    {"MOV", "L,B", OperandKind::None, 1, 5, 5, 0x68, "MOV L,B"},  // 68
    {"MOV", "L,C", OperandKind::None, 1, 5, 5, 0x69, "MOV L,C"},  // 69
    {"MOV", "L,D", OperandKind::None, 1, 5, 5, 0x6A, "MOV L,D"},  // 6A
    {"MOV", "L,E", OperandKind::None, 1, 5, 5, 0x6B, "MOV L,E"},  // 6B
    {"MOV", "L,H", OperandKind::None, 1, 5, 5, 0x6C, "MOV L,H"},  // 6C
    {"MOV", "L,L", OperandKind::None, 1, 5, 5, 0x6D, "MOV L,L"},  // 6D
    {"MOV", "L,M", OperandKind::None, 1, 7, 7, 0x6E, "MOV L,M"},  // 6E
    {"MOV", "L,A", OperandKind::None, 1, 5, 5, 0x6F, "MOV L,A"},  // 6F
    {"MOV", "M,B", OperandKind::None, 1, 7, 7, 0x70, "MOV M,B"},  // 70
    {"MOV", "M,C", OperandKind::None, 1, 7, 7, 0x71, "MOV M,C"},  // 71
    {"MOV", "M,D", OperandKind::None, 1, 7, 7, 0x72, "MOV M,D"},  // 72
    {"MOV", "M,E", OperandKind::None, 1, 7, 7, 0x73, "MOV M,E"},  // 73
    {"MOV", "M,H", OperandKind::None, 1, 7, 7, 0x74, "MOV M,H"},  // 74
    {"MOV", "M,L", OperandKind::None, 1, 7, 7, 0x75, "MOV M,L"},  // 75
    {"HLT", "", OperandKind::None, 1, 4, 4, 0x76, "HLT"},  // 76
    {"MOV", "M,A", OperandKind::None, 1, 7, 7, 0x77, "MOV M,A"},  // 77
    {"MOV", "A,B", OperandKind::None, 1, 5, 5, 0x78, "MOV A,B"},  // 78
    {"MOV", "A,C", OperandKind::None, 1, 5, 5, 0x79, "MOV A,C"},  // 79
    {"MOV", "A,D", OperandKind::None, 1, 5, 5, 0x7A, "MOV A,D"},  // 7A
    {"MOV", "A,E", OperandKind::None, 1, 5, 5, 0x7B, "MOV A,E"},  // 7B
    {"MOV", "A,H", OperandKind::None, 1, 5, 5, 0x7C, "MOV A,H"},  // 7C
    {"MOV", "A,L", OperandKind::None, 1, 5, 5, 0x7D, "MOV A,L"},  // 7D
    {"MOV", "A,M", OperandKind::None, 1, 7, 7, 0x7E, "MOV A,M"},  // 7E
    {"MOV", "A,A", OperandKind::None, 1, 5, 5, 0x7F, "MOV A,A"},  // 7F
    {"ADD", "B", OperandKind::None, 1, 4, 4, 0x80, "ADD B"},  // 80
    {"ADD", "C", OperandKind::None, 1, 4, 4, 0x81, "ADD C"},  // 81
    {"ADD", "D", OperandKind::None, 1, 4, 4, 0x82, "ADD D"},  // 82
    {"ADD", "E", OperandKind::None, 1, 4, 4, 0x83, "ADD E"},  // 83
    {"ADD", "H", OperandKind::None, 1, 4, 4, 0x84, "ADD H"},  // 84
    {"ADD", "L", OperandKind::None, 1, 4, 4, 0x85, "ADD L"},  // 85
    {"ADD", "M", OperandKind::None, 1, 7, 7, 0x86, "ADD M"},  // 86
    {"ADD", "A", OperandKind::None, 1, 4, 4, 0x87, "ADD A"},  // 87
    {"ADC", "B", OperandKind::None, 1, 4, 4, 0x88, "ADC B"},  // 88
    {"ADC", "C", OperandKind::None, 1, 4, 4, 0x89, "ADC C"},  // 89
    {"ADC", "D", OperandKind::None, 1, 4, 4, 0x8A, "ADC D"},  // 8A
    {"ADC", "E", OperandKind::None, 1, 4, 4, 0x8B, "ADC E"},  // 8B
    {"ADC", "H", OperandKind::None, 1, 4, 4, 0x8C, "ADC H"},  // 8C
    {"ADC", "L", OperandKind::None, 1, 4, 4, 0x8D, "ADC L"},  // 8D
    {"ADC", "M", OperandKind::None, 1, 7, 7, 0x8E, "ADC M"},  // 8E
    {"ADC", "A", OperandKind::None, 1, 4, 4, 0x8F, "ADC A"},  // 8F
    {"SUB", "B", OperandKind::None, 1, 4, 4, 0x90, "SUB B"},  // 90
    {"SUB", "C", OperandKind::None, 1, 4, 4, 0x91, "SUB C"},  // 91
    {"SUB", "D", OperandKind::None, 1, 4, 4, 0x92, "SUB D"},  // 92
    {"SUB", "E", OperandKind::None, 1, 4, 4, 0x93, "SUB E"},  // 93
    {"SUB", "H", OperandKind::None, 1, 4, 4, 0x94, "SUB H"},  // 94
    {"SUB", "L", OperandKind::None, 1, 4, 4, 0x95, "SUB L"},  // 95
    {"SUB", "M", OperandKind::None, 1, 7, 7, 0x96, "SUB M"},  // 96
    {"SUB", "A", OperandKind::None, 1, 4, 4, 0x97, "SUB A"},  // 97
    {"SBB", "B", OperandKind::None, 1, 4, 4, 0x98, "SBB B"},  // 98
    {"SBB", "C", OperandKind::None, 1, 4, 4, 0x99, "SBB C"},  // 99
    {"SBB", "D", OperandKind::None, 1, 4, 4, 0x9A, "SBB D"},  // 9A
    {"SBB", "E", OperandKind::None, 1, 4, 4, 0x9B, "SBB E"},  // 9B
    {"SBB", "H", OperandKind::None, 1, 4, 4, 0x9C, "SBB H"},  // 9C
    {"SBB", "L", OperandKind::None, 1, 4, 4, 0x9D, "SBB L"},  // 9D
    {"SBB", "M", OperandKind::None, 1, 7, 7, 0x9E, "SBB M"},  // 9E
    {"SBB", "A", OperandKind::None, 1, 4, 4, 0x9F, "SBB A"},  // 9F
    {"ANA", "B", OperandKind::None, 1, 4, 4, 0xA0, "ANA B"},  // A0
    {"ANA", "C", OperandKind::None, 1, 4, 4, 0xA1, "ANA C"},  // A1
    {"ANA", "D", OperandKind::None, 1, 4, 4, 0xA2, "ANA D"},  // A2
    {"ANA", "E", OperandKind::None, 1, 4, 4, 0xA3, "ANA E"},  // A3
    {"ANA", "H", OperandKind::None, 1, 4, 4, 0xA4, "ANA H"},  // A4
    {"ANA", "L", OperandKind::None, 1, 4, 4, 0xA5, "ANA L"},  // A5
    {"ANA", "M", OperandKind::None, 1, 7, 7, 0xA6, "ANA M"},  // A6
    {"ANA", "A", OperandKind::None, 1, 4, 4, 0xA7, "ANA A"},  // A7
    {"XRA", "B", OperandKind::None, 1, 4, 4, 0xA8, "XRA B"},  // A8
    {"XRA", "C", OperandKind::None, 1, 4, 4, 0xA9, "XRA C"},  // A9
    {"XRA", "D", OperandKind::None, 1, 4, 4, 0xAA, "XRA D"},  // AA
    {"XRA", "E", OperandKind::None, 1, 4, 4, 0xAB, "XRA E"},  // AB
    {"XRA", "H", OperandKind::None, 1, 4, 4, 0xAC, "XRA H"},  // AC
    {"XRA", "L", OperandKind::None, 1, 4, 4, 0xAD, "XRA L"},  // AD
    {"XRA", "M", OperandKind::None, 1, 7, 7, 0xAE, "XRA M"},  // AE
    {"XRA", "A", OperandKind::None, 1, 4, 4, 0xAF, "XRA A"},  // AF
    {"ORA", "B", OperandKind::None, 1, 4, 4, 0xB0, "ORA B"},  // B0
    {"ORA", "C", OperandKind::None, 1, 4, 4, 0xB1, "ORA C"},  // B1
    {"ORA", "D", OperandKind::None, 1, 4, 4, 0xB2, "ORA D"},  // B2
    {"ORA", "E", OperandKind::None, 1, 4, 4, 0xB3, "ORA E"},  // B3
    {"ORA", "H", OperandKind::None, 1, 4, 4, 0xB4, "ORA H"},  // B4
    {"ORA", "L", OperandKind::None, 1, 4, 4, 0xB5, "ORA L"},  // B5
    {"ORA", "M", OperandKind::None, 1, 7, 7, 0xB6, "ORA M"},  // B6
    {"ORA", "A", OperandKind::None, 1, 4, 4, 0xB7, "ORA A"},  // B7
    {"CMP", "B", OperandKind::None, 1, 4, 4, 0xB8, "CMP B"},  // B8
    {"CMP", "C", OperandKind::None, 1, 4, 4, 0xB9, "CMP C"},  // B9
    {"CMP", "D", OperandKind::None, 1, 4, 4, 0xBA, "CMP D"},  // BA
    {"CMP", "E", OperandKind::None, 1, 4, 4, 0xBB, "CMP E"},  // BB
    {"CMP", "H", OperandKind::None, 1, 4, 4, 0xBC, "CMP H"},  // BC
    {"CMP", "L", OperandKind::None, 1, 4, 4, 0xBD, "CMP L"},  // BD
    {"CMP", "M", OperandKind::None, 1, 7, 7, 0xBE, "CMP M"},  // BE
    {"CMP", "A", OperandKind::None, 1, 4, 4, 0xBF, "CMP A"},  // BF
    {"RNZ", "", OperandKind::None, 1, 5, 11, 0xC0, "RNZ"},  // C0
    {"POP", "B", OperandKind::None, 1, 10, 10, 0xC1, "POP B"},  // C1
    {"JNZ", "", OperandKind::Word, 3, 10, 10, 0xC2, "JNZ "},  // C2
    {"JMP", "", OperandKind::Word, 3, 10, 10, 0xC3, "JMP "},  // C3
    {"CNZ", "", OperandKind::Word, 3, 11, 17, 0xC4, "CNZ "},  // C4
    {"PUSH", "B", OperandKind::None, 1, 11, 11, 0xC5, "PUSH B"},  // C5
    {"ADI", "", OperandKind::Byte, 2, 7, 7, 0xC6, "ADI ,"},  // C6
    {"RST", "0", OperandKind::None, 1, 11, 11, 0xC7, "RST 0"},  // C7
    {"RZ", "", OperandKind::None, 1, 5, 11, 0xC8, "RZ"},  // C8
    {"RET", "", OperandKind::None, 1, 10, 10, 0xC9, "RET"},  // C9
    {"JZ", "", OperandKind::Word, 3, 10, 10, 0xCA, "JZ "},  // CA
    {"_jmp_", "", OperandKind::Word, 3, 10, 10, 0xC3, "_jmp_ "},  // CB
    {"CZ", "", OperandKind::Word, 3, 11, 17, 0xCC, "CZ "},  // CC
    {"CALL", "", OperandKind::Word, 3, 17, 17, 0xCD, "CALL "},  // CD
    {"ACI", "", OperandKind::Byte, 2, 7, 7, 0xCE, "ACI ,"},  // CE
    {"RST", "1", OperandKind::None, 1, 11, 11, 0xCF, "RST 1"},  // CF
    {"RNC", "", OperandKind::None, 1, 5, 11, 0xD0, "RNC"},  // D0
    {"POP", "D", OperandKind::None, 1, 10, 10, 0xD1, "POP D"},  // D1
    {"JNC", "", OperandKind::Word, 3, 10, 10, 0xD2, "JNC "},  // D2
    {"OUT", "", OperandKind::Byte, 2, 10, 10, 0xD3, "OUT port"},  // D3
    {"CNC", "", OperandKind::Word, 3, 11, 17, 0xD4, "CNC "},  // D4
    {"PUSH", "D", OperandKind::None, 1, 11, 11, 0xD5, "PUSH D"},  // D5
    {"SUI", "", OperandKind::Byte, 2, 7, 7, 0xD6, "SUI ,"},  // D6
    {"RST", "2", OperandKind::None, 1, 11, 11, 0xD7, "RST 2"},  // D7
    {"RC", "", OperandKind::None, 1, 5, 11, 0xD8, "RC"},  // D8
    {"_ret_", "", OperandKind::None, 1, 10, 10, 0xC9, "_ret_"},  // D9
    {"JC", "", OperandKind::Word, 3, 10, 10, 0xDA, "JC "},  // DA
    {"IN", "", OperandKind::Byte, 2, 10, 10, 0xDB, "IN "},  // DB
    {"CC", "", OperandKind::Word, 3, 11, 17, 0xDC, "CC "},  // DC
    {"_call_", "", OperandKind::Word, 3, 17, 17, 0xCD, "_call_ "},  // DD
    {"SBI", "", OperandKind::Byte, 2, 7, 7, 0xDE, "SBI ,"},  // DE
    {"RST", "3", OperandKind::None, 1, 11, 11, 0xDF, "RST 3"},  // DF
    {"RPO", "", OperandKind::None, 1, 5, 11, 0xE0, "RPO"},  // E0
    {"POP", "H", OperandKind::None, 1, 10, 10, 0xE1, "POP H"},  // E1
    {"JPO", "", OperandKind::Word, 3, 10, 10, 0xE2, "JPO "},  // E2
    {"XTHL", "", OperandKind::None, 1, 18, 18, 0xE3, "XTHL"},  // E3
    {"CPO", "", OperandKind::Word, 3, 11, 17, 0xE4, "CPO "},  // E4
    {"PUSH", "H", OperandKind::None, 1, 11, 11, 0xE5, "PUSH H"},  // E5
    {"ANI", "", OperandKind::Byte, 2, 7, 7, 0xE6, "ANI ,"},  // E6
    {"RST", "4", OperandKind::None, 1, 11, 11, 0xE7, "RST 4"},  // E7
    {"RPE", "", OperandKind::None, 1, 5, 11, 0xE8, "RPE"},  // E8
    {"PCHL", "", OperandKind::None, 1, 5, 5, 0xE9, "PCHL"},  // E9
    {"JPE", "", OperandKind::Word, 3, 10, 10, 0xEA, "JPE "},  // EA
    {"XCHG", "", OperandKind::None, 1, 4, 4, 0xEB, "XCHG"},  // EB
    {"CPE", "", OperandKind::Word, 3, 11, 17, 0xEC, "CPE "},  // EC
    {"_call_", "", OperandKind::Word, 3, 17, 17, 0xCD, "_call_ "},  // ED
    {"XRI", "", OperandKind::Byte, 2, 7, 7, 0xEE, "XRI ,"},  // EE
    {"RST", "5", OperandKind::None, 1, 11, 11, 0xEF, "RST 5"},  // EF
    {"RP", "", OperandKind::None, 1, 5, 11, 0xF0, "RP"},  // F0
    {"POP", "PSW", OperandKind::None, 1, 10, 10, 0xF1, "POP PSW"},  // F1
    {"JP", "", OperandKind::Word, 3, 10, 10, 0xF2, "JP "},  // F2
    {"DI", "", OperandKind::None, 1, 4, 4, 0xF3, "DI"},  // F3
    {"CP", "", OperandKind::Word, 3, 11, 17, 0xF4, "CP "},  // F4
    {"PUSH", "PSW", OperandKind::None, 1, 11, 11, 0xF5, "PUSH PSW"},  // F5
    {"ORI", "", OperandKind::Byte, 2, 7, 7, 0xF6, "ORI ,"},  // F6
    {"RST", "6", OperandKind::None, 1, 11, 11, 0xF7, "RST 6"},  // F7
    {"RM", "", OperandKind::None, 1, 5, 11, 0xF8, "RM"},  // F8
    {"SPHL", "", OperandKind::None, 1, 5, 5, 0xF9, "SPHL"},  // F9
    {"JM", "", OperandKind::Word, 3, 10, 10, 0xFA, "JM "},  // FA
    {"EI", "", OperandKind::None, 1, 4, 4, 0xFB, "EI"},  // FB
    {"CM", "", OperandKind::Word, 3, 11, 17, 0xFC, "CM "},  // FC
    {"_call_", "", OperandKind::Word, 3, 17, 17, 0xCD, "_call_ "},  // FD
    {"CPI", "", OperandKind::Byte, 2, 7, 7, 0xFE, "CPI "},  // FE
    {"RST", "7", OperandKind::None, 1, 11, 11, 0xFF, "RST 7"},  // FF
}};

constexpr const std::array<OpcodeInfo, 256>& opcode_table() { return OPCODE_TABLE; }
constexpr const OpcodeInfo& opcode_info(uint8_t op) { return OPCODE_TABLE[op]; }

// How an instruction may send control elsewhere than to the instruction after it. The
// class follows from the mnemonic of the instruction an opcode executes as, so the
// undocumented forms (CB, D9, DD/ED/FD) belong to the class of their documented one.
enum class Flow : uint8_t {
    Next,  // on to the following instruction
    Jump,  // JMP, Jcc, PCHL
    Call,  // CALL, Ccc
    Return,  // RET, Rcc
    Restart,  // RST n
};

struct ControlFlow {
    Flow kind = Flow::Next;
    bool conditional = false;  // Jcc, Ccc, Rcc: taken or not by a flag

    // A call or a restart: pushes the address of the next instruction and goes elsewhere.
    constexpr bool enters_subroutine() const { return kind == Flow::Call || kind == Flow::Restart; }
};

namespace opcodes_detail {

constexpr bool is_condition(std::string_view s) {
    for (std::string_view c : {"NZ", "Z", "NC", "C", "PO", "PE", "P", "M"})
        if (s == c) return true;
    return false;
}

// The class of a documented mnemonic: its first letter and, for J, C and R, a condition
// after it ("CPI" and "RLC" are not "C"/"R" + condition, "CPE" and "RC" are).
constexpr ControlFlow flow_of(std::string_view mnemonic) {
    if (mnemonic == "JMP" || mnemonic == "PCHL") return {Flow::Jump, false};
    if (mnemonic == "CALL") return {Flow::Call, false};
    if (mnemonic == "RET") return {Flow::Return, false};
    if (mnemonic == "RST") return {Flow::Restart, false};
    const std::string_view condition = mnemonic.substr(1);
    if (!is_condition(condition)) return {};
    switch (mnemonic[0]) {
    case 'J': return {Flow::Jump, true};
    case 'C': return {Flow::Call, true};
    case 'R': return {Flow::Return, true};
    default: return {};
    }
}

}  // namespace opcodes_detail

inline constexpr std::array<ControlFlow, 256> CONTROL_FLOW = [] {
    std::array<ControlFlow, 256> flows{};
    for (unsigned op = 0; op < 256; ++op)
        flows[op] = opcodes_detail::flow_of(OPCODE_TABLE[OPCODE_TABLE[op].executes_as].mnemonic);
    return flows;
}();

constexpr ControlFlow control_flow(uint8_t op) { return CONTROL_FLOW[op]; }

// The documented opcode for a mnemonic and its register operands in canonical form
// (upper case, no spaces: "MOV" "A,M", "PUSH" "PSW", "RST" "7", "JMP" ""); nullopt when
// no documented instruction matches.
std::optional<uint8_t> find_opcode(std::string_view mnemonic, std::string_view operands);

// The operand shape shared by every documented encoding of a mnemonic: how many register
// operands come first (MOV 2, MVI 1, JMP 0; RST 1, its number) and what immediate follows.
struct MnemonicShape {
    int registers;
    OperandKind kind;
};
// nullopt when the word (any letter case) is no documented mnemonic.
std::optional<MnemonicShape> mnemonic_shape(std::string_view mnemonic);

// Assembly text of the instruction op with operand bytes b1, b2, in the assembler's own
// syntax: "MOV A,M", "MVI B,3FH", "JMP 0C000H". Undocumented opcodes give their own
// names ("_jmp_ 1234H"), which the assembler does not accept.
std::string format_instruction(uint8_t op, uint8_t b1, uint8_t b2);

// One row of the debugger's listing, upper-case hexadecimal throughout:
//   address "0100:", bytes "06 3F" / "C3 00 C0", mnemonic "MVI B ,3F" / "JMP ",
//   operand "C000" for three-byte instructions, empty otherwise.
struct ListingRow {
    std::string address;
    std::string bytes;
    std::string mnemonic;
    std::string operand;
};
ListingRow listing_row(uint16_t address, uint8_t op, uint8_t b1, uint8_t b2);

}  // namespace lvov
