// The opcode table against the assembler and against the instruction set it describes.
#include <gtest/gtest.h>

#include <set>

#include "asm/assembler.h"
#include "asm/opcodes.h"

namespace lvov {
namespace {

// Every opcode, written out as text and assembled again, comes back as the same bytes;
// an undocumented opcode comes back as the documented one it executes as, with the same
// length and cycles.
TEST(OpcodeTable, EveryOpcodeRoundTripsThroughTheAssembler) {
    for (int op = 0; op < 256; ++op) {
        const OpcodeInfo& info = opcode_info(static_cast<uint8_t>(op));
        const uint8_t b1 = static_cast<uint8_t>(0xA5 ^ op), b2 = static_cast<uint8_t>(0x3C + op);
        const uint8_t target = info.executes_as;
        const std::string text = format_instruction(target, b1, b2);
        const AssembleResult r = assemble_text("  ORG 1000H\n  " + text + "\n", "rt.asm");
        ASSERT_TRUE(r.ok()) << text << ": " << (r.errors.empty() ? "" : r.errors[0].text());
        ASSERT_EQ(r.highest() - r.lowest() + 1, info.length) << text;
        EXPECT_EQ(r.memory[0x1000], target) << text;
        if (info.length >= 2) {
            EXPECT_EQ(r.memory[0x1001], b1) << text;
        }
        if (info.length == 3) {
            EXPECT_EQ(r.memory[0x1002], b2) << text;
        }
        const OpcodeInfo& back = opcode_info(r.memory[0x1000]);
        EXPECT_EQ(back.length, info.length) << text;
        EXPECT_EQ(back.cycles, info.cycles) << text;
        EXPECT_EQ(back.cycles_taken, info.cycles_taken) << text;
    }
}

TEST(OpcodeTable, LengthsMatchTheInstructionSet) {
    const std::set<int> three = {0x01, 0x11, 0x21, 0x22, 0x2A, 0x31, 0x32, 0x3A, 0xC2, 0xC3,
                                 0xC4, 0xCA, 0xCB, 0xCC, 0xCD, 0xD2, 0xD4, 0xDA, 0xDC, 0xDD,
                                 0xE2, 0xE4, 0xEA, 0xEC, 0xED, 0xF2, 0xF4, 0xFA, 0xFC, 0xFD};
    const std::set<int> two = {0x06, 0x0E, 0x16, 0x1E, 0x26, 0x2E, 0x36, 0x3E, 0xC6,
                               0xCE, 0xD3, 0xD6, 0xDB, 0xDE, 0xE6, 0xEE, 0xF6, 0xFE};
    int documented = 0;
    for (int op = 0; op < 256; ++op) {
        const OpcodeInfo& info = opcode_info(static_cast<uint8_t>(op));
        const int expected = three.count(op) ? 3 : two.count(op) ? 2 : 1;
        EXPECT_EQ(info.length, expected) << std::hex << op;
        documented += info.documented(static_cast<uint8_t>(op));
    }
    EXPECT_EQ(documented, 244);
}

TEST(OpcodeTable, CyclesFollowTheDataSheet) {
    struct Case { uint8_t op; int cycles; int taken; };
    const Case cases[] = {
        {0x00, 4, 4},   {0x08, 4, 4},   {0x41, 5, 5},   {0x46, 7, 7},   {0x70, 7, 7},   {0x76, 4, 4},
        {0x86, 7, 7},   {0x80, 4, 4},   {0x34, 10, 10}, {0x3C, 5, 5},   {0x36, 10, 10}, {0x3E, 7, 7},
        {0x01, 10, 10}, {0x09, 10, 10}, {0x03, 5, 5},   {0x0A, 7, 7},   {0x32, 13, 13}, {0x2A, 16, 16},
        {0xC0, 5, 11},  {0xC9, 10, 10}, {0xD9, 10, 10}, {0xC4, 11, 17}, {0xCD, 17, 17}, {0xDD, 17, 17},
        {0xC2, 10, 10}, {0xCB, 10, 10}, {0xC5, 11, 11}, {0xF1, 10, 10}, {0xFF, 11, 11}, {0xE3, 18, 18},
        {0xE9, 5, 5},   {0xF9, 5, 5},   {0xEB, 4, 4},   {0xD3, 10, 10}, {0xDB, 10, 10}, {0xFE, 7, 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(opcode_info(c.op).cycles, c.cycles) << std::hex << int(c.op);
        EXPECT_EQ(opcode_info(c.op).cycles_taken, c.taken) << std::hex << int(c.op);
    }
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
