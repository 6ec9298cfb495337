// The memory map, raw word access, the port layer, reset and firmware identification.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "core/ports.h"
#include "core/rom.h"
#include "core_test_util.h"

namespace lvov {
namespace {

// ---- memory map ----

TEST(MemoryMap, RamModeSeesMemoryEverywhereAndProtectsRom) {
    auto mp = test::ram_mode_machine();
    MachineState& m = *mp;
    m.memory[0x4000] = 0x12;
    m.vram[0] = 0x34;
    EXPECT_EQ(do_read(m, 0x4000), 0x12);
    do_write(m, 0x1234, 0x56);
    EXPECT_EQ(m.memory[0x1234], 0x56);
    do_write2(m, 0x34, 0x12, 0x7F);
    EXPECT_EQ(m.memory[0x1234], 0x7F);
    EXPECT_EQ(do_read2(m, 0x34, 0x12), 0x7F);
    m.memory[0xC000] = 0xC3;
    do_write(m, 0xC000, 0x00);
    do_write(m, 0xFFFF, 0x00);
    EXPECT_EQ(m.memory[0xC000], 0xC3);
    EXPECT_EQ(m.memory[0xFFFF], 0x00);
    EXPECT_EQ(do_read(m, 0xC000), 0xC3);
    m.memory[0x0000] = 0xAB;
    EXPECT_EQ(do_read(m, 0x10000), 0xAB);  // one past FFFF wraps
    // Only bit 1 of latch C2 counts.
    m.port_latches[0xC2] = 0x02;
    EXPECT_EQ(do_read(m, 0x4000), 0x12);
}

TEST(MemoryMap, VideoModeHidesLowRamAndMapsVideoMemory) {
    auto mp = test::ram_mode_machine();
    MachineState& m = *mp;
    for (uint8_t latch : {uint8_t{0x00}, uint8_t{0xFD}}) {
        m.port_latches[0xC2] = latch;
        m.memory[0x1234] = 0x99;
        EXPECT_EQ(do_read(m, 0x1234), 0x00);
        do_write(m, 0x1234, 0x11);
        EXPECT_EQ(m.memory[0x1234], 0x99);
        m.memory[0x4000] = 0x77;
        do_write(m, 0x4000, 0x55);
        EXPECT_EQ(m.vram[0], 0x55);
        EXPECT_EQ(m.memory[0x4000], 0x77);
        EXPECT_EQ(do_read(m, 0x7FFF), m.vram[0x3FFF]);
        m.memory[0x8000] = 0x42;
        EXPECT_EQ(do_read(m, 0x8000), 0x42);
        do_write(m, 0xBFFF, 0x24);
        EXPECT_EQ(m.memory[0xBFFF], 0x24);
        m.memory[0xC000] = 0xC3;
        do_write(m, 0xC000, 0x00);
        EXPECT_EQ(do_read(m, 0xC000), 0xC3);
    }
    // Back in RAM mode the RAM behind video memory is as it was.
    m.port_latches[0xC2] = 0xFF;
    EXPECT_EQ(do_read(m, 0x4000), 0x77);
}

TEST(MemoryMap, RawWordsAreLittleEndianAndWrap) {
    auto mp = std::make_unique<MachineState>();
    MachineState& m = *mp;
    set_var(m, 0x1234, 0x12FF);
    EXPECT_EQ(m.memory[0x1234], 0xFF);
    EXPECT_EQ(m.memory[0x1235], 0x12);
    EXPECT_EQ(get_var(m, 0x1234), 0x12FF);
    set_var(m, 0xFFFF, 0xABCD);
    EXPECT_EQ(m.memory[0xFFFF], 0xCD);
    EXPECT_EQ(m.memory[0x0000], 0xAB);
    EXPECT_EQ(get_var(m, 0xFFFF), 0xABCD);
}

TEST(MemoryMap, InitRamClearsEverythingIncludingTheRomArea) {
    auto mp = std::make_unique<MachineState>();
    MachineState& m = *mp;
    m.memory.fill(0x5A);
    m.vram.fill(0x5A);
    m.port_latches.fill(0x5A);
    m.kbd_matrix.fill(0x5A);
    m.kbd_extra.fill(0x5A);
    init_RAM(m);
    EXPECT_EQ(std::accumulate(m.memory.begin(), m.memory.end(), 0), 0);
    EXPECT_EQ(std::accumulate(m.vram.begin(), m.vram.end(), 0), 0);
    EXPECT_EQ(std::accumulate(m.port_latches.begin(), m.port_latches.end(), 0), 0);
    EXPECT_EQ(std::accumulate(m.kbd_matrix.begin(), m.kbd_matrix.end(), 0), 0);
    EXPECT_EQ(std::accumulate(m.kbd_extra.begin(), m.kbd_extra.end(), 0), 0);
    // Latches 00 mean video mode, where C000 now reads the cleared ROM area.
    EXPECT_EQ(do_read(m, 0xC000), 0x00);
}

// ---- ports ----

TEST(Ports, OnlyBits410OfThePortNumberAreDecoded) {
    auto mp = test::ram_mode_machine();
    MachineState& m = *mp;
    do_output(m, 0x05, 0x12);
    EXPECT_EQ(m.port_latches[0xC1], 0x12);
    do_output(m, 0x41, 0x34);
    EXPECT_EQ(m.port_latches[0xC1], 0x34);
    do_output(m, 0xFF, 0x56);  // FF & 13 = 13: latch D3
    EXPECT_EQ(m.port_latches[0xD3], 0x56);
    EXPECT_EQ(m.port_latches[0xC3], 0xFF);
    do_output(m, 0xC3, 0x78);
    EXPECT_EQ(m.port_latches[0xC3], 0x78);
    EXPECT_EQ(m.port_latches[0xD3], 0x56);
    for (int latch = 0; latch < 0xC0; ++latch) EXPECT_EQ(m.port_latches[latch], 0xFF);

    // Reads: C2 gives all eight bits back; C0, C1, C3, D0, D3 read FF.
    do_output(m, 0xC2, 0x5D);
    EXPECT_EQ(do_input(m, 0xC2), 0x5D);
    EXPECT_EQ(do_input(m, 0x02), 0x5D);
    for (uint8_t port : {0xC0, 0xC1, 0xC3, 0xD0, 0xD3, 0x00, 0x13}) EXPECT_EQ(do_input(m, port), 0xFF) << int(port);
}

TEST(Ports, KeyboardMatricesReadThroughSelectedColumns) {
    auto mp = test::ram_mode_machine();
    MachineState& m = *mp;
    for (int c = 0; c < 8; ++c) m.kbd_matrix[c] = static_cast<uint8_t>(1u << c);
    // After reset no column is selected: FF whatever keys are held.
    EXPECT_EQ(do_input(m, 0xD1), 0xFF);
    do_output(m, 0xD0, 0x00);  // all columns
    EXPECT_EQ(do_input(m, 0xD1), 0x00);
    do_output(m, 0xD0, 0xF5);  // columns 1 and 3
    EXPECT_EQ(do_input(m, 0xD1), static_cast<uint8_t>(~0x0A));
    EXPECT_EQ(do_input(m, 0xF1), static_cast<uint8_t>(~0x0A));

    m.kbd_extra = {0x01, 0x02, 0x04, 0xF8};
    do_output(m, 0xD2, 0x0A);  // extra columns 0 and 2; bits 4-7 of the latch are 0
    EXPECT_EQ(do_input(m, 0xD2), 0xAA);  // rows 0 and 2 pressed -> bits 4, 6 low; low nibble A
    do_output(m, 0xD2, 0xF7);  // column 3: its rows 4-7 never reach the port
    EXPECT_EQ(do_input(m, 0xD2), 0x77);
    do_output(m, 0xD2, 0xFF);
    EXPECT_EQ(do_input(m, 0xD2), 0xFF);
}

// ---- firmware images, identification and reset ----

RomImage patterned_image(uint8_t seed) {
    RomImage img{};
    for (size_t i = 0; i < img.size(); ++i) img[i] = static_cast<uint8_t>(i * 7 + seed);
    return img;
}

TEST(Reset, PowerOnState) {
    const RomImages roms = builtin_rom_images();
    auto mp = std::make_unique<MachineState>();
    MachineState& m = *mp;
    m.memory.fill(0x11);
    m.vram.fill(0x22);
    m.kbd_matrix.fill(0x33);
    m.A = m.B = m.C = m.D = m.E = m.H = m.L = m.F = 0x44;
    m.SP = 0x1234;
    m.cycles = 55;
    ResetComp(m, roms);
    EXPECT_EQ(m.PC, 0xC000);
    EXPECT_EQ(m.SP, 0x0000);
    EXPECT_EQ(m.cycles, 0);
    for (uint8_t r : {m.A, m.B, m.C, m.D, m.E, m.H, m.L, m.F}) EXPECT_EQ(r, 0);
    EXPECT_TRUE(std::all_of(m.memory.begin(), m.memory.begin() + 0xC000, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(roms.image[0]->begin(), roms.image[0]->end(), m.memory.begin() + 0xC000));
    EXPECT_TRUE(std::all_of(m.vram.begin(), m.vram.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(m.port_latches.begin(), m.port_latches.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::all_of(m.kbd_matrix.begin(), m.kbd_matrix.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(m.warm_sp, 0xAFC1);
    EXPECT_EQ(m.warm_pc, 0x02FD);
    EXPECT_EQ(m.basic_start_ptr, 0x0243);
    EXPECT_EQ(m.basic_end_ptr, 0x0245);
    EXPECT_EQ(identify_rom(m, roms), 0) << "the built-in firmware is no original image";
    EXPECT_EQ(do_read(m, 0x4000), m.memory[0x4000]);
    EXPECT_EQ(do_input(m, 0xD1), 0xFF);
}

TEST(Reset, BootRunCyclesAndWarmStart) {
    const RomImages roms = builtin_rom_images();
    auto mp = std::make_unique<MachineState>();
    MachineState& m = *mp;
    ResetComp(m, roms);
    i8080_do_opcodes(m, boot_cycles);
    EXPECT_GE(m.cycles, 11'000'000);
    EXPECT_LT(m.cycles, 11'000'018);

    ResetComp(m, roms);
    m.port_latches[0xC2] = 0x00;
    warm_start(m);
    EXPECT_EQ(m.port_latches[0xC2], 0xFF);
    EXPECT_EQ(m.SP, 0xAFC1);
    EXPECT_EQ(m.memory[0xAFC1], 0xFD);
    EXPECT_EQ(m.memory[0xAFC2], 0x02);
    EXPECT_EQ(m.PC, 0x02FD);
}

TEST(Reset, IdentifyRomAndLoadBios) {
    RomImages roms = builtin_rom_images();
    roms.image1_builtin = false;  // as if all three were read from firmware files
    roms.image[1] = patterned_image(1);
    roms.image[2] = patterned_image(2);
    auto mp = std::make_unique<MachineState>();
    MachineState& m = *mp;
    ResetComp(m, roms);
    EXPECT_EQ(identify_rom(m, roms), 1);
    m.memory[0xE123] ^= 0x01;
    EXPECT_EQ(identify_rom(m, roms), 0);
    LoadBios(m, roms, 2);
    EXPECT_EQ(identify_rom(m, roms), 2);
    LoadBios(m, roms, 4);
    LoadBios(m, roms, 0);
    EXPECT_EQ(identify_rom(m, roms), 2);
    LoadBios(m, roms, 3);
    EXPECT_EQ(identify_rom(m, roms), 3);
    m.memory[0xFFFF] ^= 0xFF;
    EXPECT_EQ(identify_rom(m, roms), 0);
    // An image that is absent is never identified and never loaded.
    RomImages only1 = builtin_rom_images();
    LoadBios(m, roms, 2);
    LoadBios(m, only1, 3);
    EXPECT_EQ(identify_rom(m, only1), 0);
    EXPECT_EQ(identify_rom(m, roms), 2);
    // The built-in firmware standing in for image 1 is never named image 1.
    LoadBios(m, only1, 1);
    EXPECT_EQ(identify_rom(m, only1), 0);
    EXPECT_EQ(identify_rom(m, roms), 1);
}

}  // namespace
}  // namespace lvov
