// The opcode table against the 8080 data sheet, and the debugger listing's rows.
#include <gtest/gtest.h>

#include "core/opcodes.h"

namespace lvov {
namespace {

// The data sheet's clock cycles and lengths, derived group by group from the encoding
// (x = bits 7-6, y = bits 5-3, z = bits 2-0) independently of the table; taken matters
// for the conditional calls and returns only.
int datasheet_cycles(uint8_t op, bool taken) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
    if (op == 0x76) return 4;  // HLT: a no-op on this machine
    switch (x) {
    case 1: return (y == 6 || z == 6) ? 7 : 5;
    case 2: return z == 6 ? 7 : 4;
    case 0:
        switch (z) {
        case 0: return 4;
        case 1: return 10;
        case 2: return y < 4 ? 7 : (y < 6 ? 16 : 13);
        case 3: return 5;
        case 4:
        case 5: return y == 6 ? 10 : 5;
        case 6: return y == 6 ? 10 : 7;
        default: return 4;
        }
    default:
        switch (z) {
        case 0: return taken ? 11 : 5;
        case 1: return (y == 5 || y == 7) ? 5 : 10;  // PCHL, SPHL; else POP, RET
        case 2: return 10;
        case 3: return y == 4 ? 18 : (y >= 5 ? 4 : 10);  // XTHL; XCHG, DI, EI; JMP, OUT, IN
        case 4: return taken ? 17 : 11;
        case 5: return (y & 1) ? 17 : 11;  // CALL and its aliases; PUSH
        case 6: return 7;
        default: return 11;
        }
    }
}

int instruction_length(uint8_t op) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
    if (x == 0) {
        if (z == 1) return (y & 1) ? 1 : 3;  // DAD; LXI
        if (z == 2) return y >= 4 ? 3 : 1;
        if (z == 6) return 2;
        return 1;
    }
    if (x == 3) {
        if (z == 2 || z == 4) return 3;
        if (z == 6) return 2;
        if (z == 3) return y <= 1 ? 3 : (y <= 3 ? 2 : 1);
        if (z == 5) return (y & 1) ? 3 : 1;
    }
    return 1;
}

// The one check of the table's lengths and cycles: the interpreter takes both from it
// (test_i8080.cpp), so a wrong count in the table would otherwise go unnoticed.
TEST(OpcodeTable, LengthsAndCyclesFollowTheDataSheetGroups) {
    int documented = 0;
    for (int op = 0; op < 256; ++op) {
        const uint8_t code = static_cast<uint8_t>(op);
        const OpcodeInfo& info = opcode_info(code);
        SCOPED_TRACE(::testing::Message() << "opcode " << std::hex << op << " " << info.mnemonic);
        EXPECT_EQ(info.length, instruction_length(code));
        EXPECT_EQ(info.cycles, datasheet_cycles(code, false));
        EXPECT_EQ(info.cycles_taken, datasheet_cycles(code, true));
        // The assembler reads the operand kind, the interpreter the length: they agree.
        const int kind_length = info.kind == OperandKind::None ? 1 : info.kind == OperandKind::Byte ? 2 : 3;
        EXPECT_EQ(info.length, kind_length);
        documented += info.documented(code);
    }
    EXPECT_EQ(documented, 244);
}

TEST(OpcodeTable, ListingRowsHaveTheDebuggerLayout) {
    auto row = [](uint16_t a, uint8_t op, uint8_t b1, uint8_t b2) {
        const ListingRow r = listing_row(a, op, b1, b2);
        return r.address + "|" + r.bytes + "|" + r.mnemonic + "|" + r.operand;
    };
    EXPECT_EQ(row(0x0100, 0x41, 0, 0), "0100:|41 |MOV B,C|");
    EXPECT_EQ(row(0x0200, 0xC3, 0x00, 0xC0), "0200:|C3 00 C0|JMP |C000");
    EXPECT_EQ(row(0xABCD, 0x06, 0x3F, 0), "ABCD:|06 3F|MVI B ,3F|");
    EXPECT_EQ(row(0x0100, 0xD3, 0x10, 0), "0100:|D3 10|OUT port|");
    EXPECT_EQ(row(0, 0xDB, 0xd1, 0), "0000:|DB D1|IN D1|");
    EXPECT_EQ(row(0, 0xE6, 0x0F, 0), "0000:|E6 0F|ANI ,0F|");
    EXPECT_EQ(row(0, 0xFE, 0x0F, 0), "0000:|FE 0F|CPI 0F|");
    EXPECT_EQ(row(0, 0xCB, 0x34, 0x12), "0000:|CB 34 12|_jmp_ |1234");
    EXPECT_EQ(row(0, 0xED, 0xcd, 0xab), "0000:|ED CD AB|_call_ |ABCD");
    EXPECT_EQ(row(0, 0xD9, 0, 0), "0000:|D9 |_ret_|");
    EXPECT_EQ(row(0, 0x38, 0, 0), "0000:|38 |_nop_|");
    EXPECT_EQ(row(0, 0x31, 0xFF, 0xBF), "0000:|31 FF BF|LXI SP,|BFFF");
    EXPECT_EQ(row(0, 0xF5, 0, 0), "0000:|F5 |PUSH PSW|");
    EXPECT_EQ(row(0, 0x9E, 0, 0), "0000:|9E |SBB M|");
}

}  // namespace
}  // namespace lvov
