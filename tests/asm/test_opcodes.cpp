// The opcode table against the assembler: every opcode's text assembles back to its bytes.
#include <gtest/gtest.h>

#include "asm/assembler.h"
#include "core/opcodes.h"

namespace lvov {
namespace {

// Every opcode, written out as text and assembled again, comes back as the same bytes;
// an undocumented opcode comes back as the documented one it executes as, with the same
// length and cycles.
TEST(OpcodeTableInAssembler, EveryOpcodeRoundTripsThroughTheAssembler) {
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

}  // namespace
}  // namespace lvov
