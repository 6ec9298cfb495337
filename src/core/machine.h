// The PK-01 Lvov machine state and its memory map.
//
// MachineState holds everything the emulated computer is made of: the 8080 registers,
// the cycle count of the current interpreter run, the 64 KiB address space (RAM at
// 0000-BFFF, the firmware image at C000-FFFF), 16 KiB of video memory outside that
// space, the 256 port latches, the keyboard matrices and the warm-start constants.
//
// Memory map, decided afresh on every access by bit 1 of latch C2 (mapped_read and
// mapped_write below):
//
//   range       RAM mode (bit set)     video mode (bit clear)
//   0000-3FFF   memory                 reads 00, writes dropped
//   4000-7FFF   memory                 vram[a - 4000]
//   8000-BFFF   memory                 memory
//   C000-FFFF   read memory, writes dropped in both modes
//
// do_read/do_write go through the map (the interpreter uses them); get_var/set_var and
// direct indexing are raw (loaders, snapshots and the debugger).
#pragma once
#include <array>
#include <bit>
#include <cstdint>

namespace lvov {

constexpr uint8_t FLAG_S = 0x80;
constexpr uint8_t FLAG_Z = 0x40;
constexpr uint8_t FLAG_AC = 0x10;
constexpr uint8_t FLAG_P = 0x04;
constexpr uint8_t FLAG_FIXED = 0x02;  // always 1 when F is rebuilt from SZP_FLAGS
constexpr uint8_t FLAG_CY = 0x01;

// S, Z, P and the fixed bit 1 of a result byte. SZP_FLAGS holds it for every byte value;
// every arithmetic and logical instruction starts its new F from it.
constexpr uint8_t szp_flags(uint8_t v) {
    uint8_t f = FLAG_FIXED;
    if (v & 0x80) f |= FLAG_S;
    if (v == 0) f |= FLAG_Z;
    if (std::popcount(v) % 2 == 0) f |= FLAG_P;
    return f;
}

// szp_flags of every byte value, computed by the compiler: no machine state has to be
// prepared before its flags come out right.
inline constexpr std::array<uint8_t, 256> SZP_FLAGS = [] {
    std::array<uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) table[v] = szp_flags(static_cast<uint8_t>(v));
    return table;
}();

constexpr uint8_t LATCH_SYSTEM_CONTROL = 0xC2;  // bit 1: memory map switch
constexpr uint8_t LATCH_PALETTE = 0xC1;
constexpr uint8_t LATCH_KBD_COLUMNS = 0xD0;
constexpr uint8_t LATCH_KBD_EXTRA = 0xD2;
constexpr uint8_t RAM_MODE_BIT = 0x02;

constexpr uint32_t MEMORY_SIZE = 0x10000;
constexpr uint32_t VRAM_SIZE = 0x4000;
constexpr uint16_t ROM_START = 0xC000;
constexpr uint32_t ROM_SIZE = 0x4000;

struct MachineState {
    uint8_t A = 0, B = 0, C = 0, D = 0, E = 0, H = 0, L = 0, F = 0;
    uint16_t PC = 0, SP = 0;
    int32_t cycles = 0;  // clock cycles of the current (or last) interpreter run

    std::array<uint8_t, MEMORY_SIZE> memory{};
    std::array<uint8_t, VRAM_SIZE> vram{};
    std::array<uint8_t, 256> port_latches{};
    std::array<uint8_t, 8> kbd_matrix{};  // main matrix, bit r of column c = key held
    std::array<uint8_t, 4> kbd_extra{};  // extra matrix

    uint16_t warm_sp = 0;
    uint16_t warm_pc = 0;
    uint16_t basic_start_ptr = 0;
    uint16_t basic_end_ptr = 0;

    bool ram_mode() const { return (port_latches[LATCH_SYSTEM_CONTROL] & RAM_MODE_BIT) != 0; }
};

// The memory map, for one setting of its switch (RAM: bit 1 of latch C2 set). This is
// the one definition of it: do_read/do_write pick the setting from the latch on every
// access, the interpreter's loop (i8080_memory.h) has it fixed for the whole run. The
// address is 0000-FFFF; it comes as 64 bits, as the interpreter keeps it, so that it
// indexes memory as it is.
constexpr uint32_t VRAM_WINDOW_START = 0x4000;  // video mode: vram at 4000-7FFF, 0000-3FFF unmapped
constexpr uint32_t VRAM_WINDOW_END = VRAM_WINDOW_START + VRAM_SIZE;

// The lowest address from which reads and writes reach plain memory (up to C000 for
// writes) with the switch set as RAM says.
template <bool RAM>
constexpr uint64_t PLAIN_MEMORY_FROM = RAM ? 0x0000 : VRAM_WINDOW_END;

template <bool RAM>
inline uint8_t mapped_read(const MachineState& m, uint64_t a) {
    if constexpr (!RAM) {
        if (a < VRAM_WINDOW_END) return a >= VRAM_WINDOW_START ? m.vram[a - VRAM_WINDOW_START] : 0x00;
    }
    return m.memory[a];
}

// ROM and, in video mode, 0000-3FFF drop the byte.
template <bool RAM>
inline void mapped_write(MachineState& m, uint64_t a, uint8_t value) {
    if (a >= ROM_START) return;
    if constexpr (!RAM) {
        if (a < VRAM_WINDOW_END) {
            if (a >= VRAM_WINDOW_START) m.vram[a - VRAM_WINDOW_START] = value;
            return;
        }
    }
    m.memory[a] = value;
}

// Mapped read; the address is taken modulo 65,536.
inline uint8_t do_read(const MachineState& m, uint32_t address) {
    const uint16_t a = static_cast<uint16_t>(address);
    return m.ram_mode() ? mapped_read<true>(m, a) : mapped_read<false>(m, a);
}

// Mapped write; the address is taken modulo 65,536.
inline void do_write(MachineState& m, uint32_t address, uint8_t value) {
    const uint16_t a = static_cast<uint16_t>(address);
    if (m.ram_mode()) {
        mapped_write<true>(m, a, value);
    } else {
        mapped_write<false>(m, a, value);
    }
}

// One-byte accesses whose address comes as two bytes (a register pair or an operand).
inline uint8_t do_read2(const MachineState& m, uint8_t low, uint8_t high) { return do_read(m, low | (high << 8)); }
inline void do_write2(MachineState& m, uint8_t low, uint8_t high, uint8_t value) {
    do_write(m, low | (high << 8), value);
}

// Raw little-endian word access to memory, no map; the second byte wraps past FFFF.
inline uint16_t get_var(const MachineState& m, uint16_t address) {
    return static_cast<uint16_t>(m.memory[address] | (m.memory[static_cast<uint16_t>(address + 1)] << 8));
}
inline void set_var(MachineState& m, uint16_t address, uint16_t value) {
    m.memory[address] = static_cast<uint8_t>(value);
    m.memory[static_cast<uint16_t>(address + 1)] = static_cast<uint8_t>(value >> 8);
}

// Clears memory (ROM area included), video memory, all latches and both keyboard
// matrices.
void init_RAM(MachineState& m);

}  // namespace lvov
