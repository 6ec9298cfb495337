// The 8080 interpreter on any memory contents, registers and budget, in both settings of
// the memory-map switch (a program may also flip it itself with OUT).
//
// Input: B C D E H L A F, SP, PC (little-endian), the budget (32 bits, little-endian),
// latch C2 (bit 1: the map), latches D0 and D2, the 8 + 4 keyboard matrix bytes, then
// the code. The code is laid out from PC on, repeated through all of memory, and through
// video memory as if it stood at 4000-7FFF, so the first instruction run is the code's
// first byte in either map. Budgets above 20,000 are folded below it to keep runs short.
//
// Properties:
//  - a budget <= 0 runs nothing: cycles 0 and the machine as it was;
//  - otherwise cycles ends between the budget and the budget + 17;
//  - C000-FFFF is never written;
//  - one run of N cycles ends in the same machine as single steps (runs of budget 1, one
//    instruction each, 4 to 18 cycles) that add up to N.
#include <cstring>

#include "core/i8080.h"
#include "fuzz_support.h"

using namespace lvov;
using lvov::fuzz::state_difference;

namespace {

constexpr size_t HEADER = 31;
constexpr int32_t BUDGET_FOLD = 20000;

bool is_instruction_cycles(int32_t cycles) {
    switch (cycles) {
    case 4:
    case 5:
    case 7:
    case 10:
    case 11:
    case 13:
    case 16:
    case 17:
    case 18: return true;
    default: return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < HEADER) return -1;
    static MachineState* start = new MachineState;
    static MachineState* whole = new MachineState;
    static MachineState* stepped = new MachineState;
    MachineState& m = *start;
    init_RAM(m);
    m.B = data[0], m.C = data[1], m.D = data[2], m.E = data[3], m.H = data[4], m.L = data[5], m.A = data[6];
    m.F = data[7];
    m.SP = static_cast<uint16_t>(data[8] | data[9] << 8);
    m.PC = static_cast<uint16_t>(data[10] | data[11] << 8);
    int32_t budget;
    std::memcpy(&budget, data + 12, 4);
    if (budget > BUDGET_FOLD) budget = budget % BUDGET_FOLD;
    const uint8_t* code = data + HEADER;
    const size_t n = size - HEADER;
    for (uint32_t i = 0; i < 256; ++i) m.port_latches[i] = n ? code[i % n] : 0xFF;
    m.port_latches[LATCH_SYSTEM_CONTROL] = data[16];
    m.port_latches[LATCH_KBD_COLUMNS] = data[17];
    m.port_latches[LATCH_KBD_EXTRA] = data[18];
    std::memcpy(m.kbd_matrix.data(), data + 19, 8);
    std::memcpy(m.kbd_extra.data(), data + 27, 4);
    for (uint32_t k = 0; k < MEMORY_SIZE; ++k) m.memory[(m.PC + k) & 0xFFFF] = n ? code[k % n] : 0x00;
    for (uint32_t k = 0; k < VRAM_SIZE; ++k) m.vram[k] = n ? code[((0x4000u + k - m.PC) & 0xFFFF) % n] : 0x00;
    m.cycles = 777;

    *whole = m;
    i8080_do_opcodes(*whole, budget);
    FUZZ_CHECK(std::memcmp(whole->memory.data() + ROM_START, m.memory.data() + ROM_START, ROM_SIZE) == 0,
               "the run wrote C000-FFFF");
    if (budget <= 0) {
        FUZZ_CHECK(whole->cycles == 0, "a budget <= 0 counted cycles");
        MachineState expected = m;
        expected.cycles = 0;
        FUZZ_CHECK(state_difference(*whole, expected).empty(), "a budget <= 0 changed the machine");
        return 0;
    }
    FUZZ_CHECK(whole->cycles >= budget && whole->cycles <= budget + 17,
               "budget " + std::to_string(budget) + " ended at " + std::to_string(whole->cycles) + " cycles");

    *stepped = m;
    int32_t total = 0;
    while (total < budget) {
        i8080_do_opcodes(*stepped, 1);
        FUZZ_CHECK(is_instruction_cycles(stepped->cycles),
                   "one step took " + std::to_string(stepped->cycles) + " cycles");
        total += stepped->cycles;
    }
    FUZZ_CHECK(total == whole->cycles,
               "single steps add up to " + std::to_string(total) + ", the run to " + std::to_string(whole->cycles));
    stepped->cycles = whole->cycles;
    FUZZ_CHECK(state_difference(*whole, *stepped).empty(),
               "one run and single steps end differently: " + state_difference(*whole, *stepped));
    return 0;
}
