// The debugger's window-free tools: grid texts, the listing, search, replace and the
// value tracker.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/errors.h"
#include "debugger/debugger_tools.h"

namespace lvov {
namespace {

TEST(DebuggerGrid, TextsAndCellMoves) {
    auto m = std::make_unique<MachineState>();
    EXPECT_EQ(row_address_text(1), "0000:");
    EXPECT_EQ(row_address_text(4096), "FFF0:");
    EXPECT_EQ(byte_text(0x3E), "3E");
    EXPECT_EQ(byte_text(0x0A), "0A");
    const uint8_t bytes[16] = {0x7F, 0x80, 0x1F, 0x20, 'A',  'z',  0x00, 0xFF,
                               '~',  '0',  '.',  0xC0, 0x5C, 0x7E, 0x21, 0x09};
    for (int i = 0; i < 16; ++i) m->memory[0xFFF0 + i] = bytes[i];
    EXPECT_EQ(row_chars(*m, 0xFFF0), std::string("\x7f.. Az..~0..\\~!."));
    m->memory[0xC000] = 0x3E;
    EXPECT_EQ(hover_text(*m, 0xC000), "Adress:C000 Byte:3E");
    EXPECT_EQ(hover_text(*m, 0x0001), "Adress:0001 Byte:00");

    EXPECT_EQ(cell_of_address(49152), (GridCell{1, 3073}));
    EXPECT_EQ(cell_of_address(0xFFFF), (GridCell{16, 4096}));
    EXPECT_EQ(cell_after_enter({5, 9}), (GridCell{6, 9}));
    EXPECT_EQ(cell_after_enter({16, 9}), (GridCell{17, 9}));
    EXPECT_EQ(cell_after_enter({17, 9}), (GridCell{1, 10}));
    EXPECT_EQ(cell_after_enter({17, 4096}), (GridCell{1, 1}));
}

std::string joined(const ListingRow& r) { return r.address + "|" + r.bytes + "|" + r.mnemonic + "|" + r.operand; }

TEST(DebuggerListing, LinearDecodingWithinTheAddressSpace) {
    auto m = std::make_unique<MachineState>();
    const uint8_t code[] = {0xC3, 0x00, 0xC0, 0xD3, 0x10, 0x3E, 0x01, 0x41};
    std::copy(std::begin(code), std::end(code), m->memory.begin());

    auto one = listing_rows(*m, 0, 0);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(joined(one[0]), "0000:|C3 00 C0|JMP |C000");

    int last_progress = 0;
    auto rows = listing_rows(*m, 0, 7, [&](int n) { last_progress = n; });
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(joined(rows[1]), "0003:|D3 10|OUT port|");
    EXPECT_EQ(joined(rows[2]), "0005:|3E 01|MVI A ,01|");
    EXPECT_EQ(joined(rows[3]), "0007:|41 |MOV B,C|");
    EXPECT_EQ(last_progress, 4);
    // An instruction that starts at the end is listed whole.
    EXPECT_EQ(listing_rows(*m, 0, 5).size(), 3u);
    EXPECT_TRUE(listing_rows(*m, 5, 4).empty());

    // The top of the address space: the listing stops at FFFF, operands past it read 00.
    m->memory[0xFFFE] = 0xCD;
    m->memory[0xFFFF] = 0x34;
    auto top = listing_rows(*m, 0xFFFD, 0xFFFF + 100);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(joined(top[1]), "FFFE:|CD 34 00|CALL |0034");
    auto low = listing_rows(*m, -2, 0);
    ASSERT_EQ(low.size(), 1u);
    EXPECT_EQ(low[0].address, "0000:");

    // All of the address space with every byte 00: one row per byte.
    m->memory.fill(0);
    EXPECT_EQ(listing_rows(*m, 0, 65535).size(), 65536u);
    EXPECT_EQ(listing_progress_range(0, 65535), 65535);
    EXPECT_EQ(listing_progress_range(-2147483647 - 1, 2147483647), 2147483647);
}

TEST(DebuggerSearch, LowByteOfTheValueOverTheWholeSpace) {
    auto m = std::make_unique<MachineState>();
    m->memory.fill(0x2C);
    EXPECT_EQ(search_memory(*m, 300).size(), 65536u);
    m->memory[0x0000] = 0;
    m->memory[0xC000] = 0;
    m->memory[0xFFFF] = 0;
    EXPECT_EQ(search_memory(*m, 0), (std::vector<uint32_t>{0, 0xC000, 0xFFFF}));
    EXPECT_EQ(search_memory(*m, 256), search_memory(*m, 0));
    EXPECT_EQ(search_memory(*m, -212).size(), 65533u);  // -212 = ...FF2C
    EXPECT_TRUE(search_memory(*m, 7).empty());
}

TEST(DebuggerReplace, RawWriteOrRefusal) {
    auto m = std::make_unique<MachineState>();
    m->port_latches[LATCH_SYSTEM_CONTROL] = 0;  // video mode plays no part
    replace_byte(*m, 0xC000, 511);
    replace_byte(*m, 0x4000, 0x55);
    replace_byte(*m, 0xFFFF, -1);
    EXPECT_EQ(m->memory[0xC000], 0xFF);
    EXPECT_EQ(m->memory[0x4000], 0x55);
    EXPECT_EQ(m->vram[0], 0);
    EXPECT_EQ(m->memory[0xFFFF], 0xFF);

    const auto before = m->memory;
    try {
        replace_byte(*m, 65536, 1);
        ADD_FAILURE() << "65536 accepted";
    } catch (const RangeError& e) {
        EXPECT_STREQ(e.what(), "Address 65536 (hex 10000) is outside the address space 0000-FFFF");
    }
    EXPECT_THROW(replace_byte(*m, -1, 1), RangeError);
    EXPECT_TRUE(m->memory == before);
}

TEST(DebuggerTracker, DecreaseByExactlyOne) {
    auto m = std::make_unique<MachineState>();
    auto t = std::make_unique<ValueTracker>();
    m->memory.fill(5);
    EXPECT_TRUE(t->decreased_by_one(*m).empty());  // nothing remembered: no byte is -1

    m->memory[0x10] = 3;
    m->memory[0x11] = 1;
    m->memory[0x12] = 0;
    m->memory[0x13] = 5;
    EXPECT_EQ(t->remember(*m), 65536);
    m->memory[0x10] = 2;  // 03 -> 02: listed
    m->memory[0x11] = 0;  // 01 -> 00: never
    m->memory[0x12] = 0xFF;  // 00 -> FF: no wrap
    m->memory[0x13] = 3;  // down by two
    m->memory[0xFFFF] = 4;  // 05 -> 04: listed
    EXPECT_EQ(t->decreased_by_one(*m), (std::vector<uint32_t>{0x10, 0xFFFF}));
}

}  // namespace
}  // namespace lvov
