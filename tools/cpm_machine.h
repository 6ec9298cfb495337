// A CP/M-style test bench for the 8080 core: runs .COM programs (the public 8080
// diagnostics among them) on the emulated machine, in RAM mode, without any hook in
// the interpreter.
//
// Memory layout set up by cpm_setup:
//   0000        JMP 0000           the program ends by jumping here; the harness stops
//                                  when PC sits at 0000 after a budget
//   0005        JMP A000           BDOS entry; the word at 0006 (A000) is the top of the
//                                  program's memory, so its stack stays below A000
//   0100        the program        started with SP = A000 and 0000 pushed as return address
//   A000        BDOS routine       8080 code: function 2 prints E, function 9 prints the
//                                  text at DE up to '$', every other function returns
//   A0FE        write pointer      address of the next free byte of the output buffer
//   A100-BFFF   output buffer      drained by the host after every budget; when it is full
//                                  the routine waits (spins) until the host drains it
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/machine.h"

namespace lvov {

constexpr uint16_t CPM_TPA = 0x0100;          // load and start address
constexpr uint16_t CPM_BDOS_ENTRY = 0x0005;
constexpr uint16_t CPM_TOP = 0xA000;          // word at 0006; the BDOS routine starts here
constexpr uint16_t CPM_OUT_PTR = 0xA0FE;      // little-endian write pointer
constexpr uint16_t CPM_OUT_BUF = 0xA100;      // output buffer A100..BFFF
constexpr uint32_t CPM_OUT_END = 0xC000;
constexpr size_t CPM_MAX_PROGRAM = CPM_TOP - CPM_TPA;
constexpr int32_t CPM_SLICE = 4'000'000;      // cycles per interpreter run

// Reads a .COM file whole. IoError when it is missing or unreadable, RangeError when it
// is empty or does not fit below the BDOS routine.
std::vector<uint8_t> read_cpm_program(const std::filesystem::path& path);

// Puts the machine in the state above with the program at 0100 (RAM mode, every latch
// FF, flag table built, other memory 00). RangeError when the program is too big;
// the machine is then left unchanged.
void cpm_setup(MachineState& m, std::span<const uint8_t> program);

// Takes the characters the program printed since the last drain and empties the buffer.
std::string cpm_drain_output(MachineState& m);

// True once the program has jumped to 0000.
inline bool cpm_finished(const MachineState& m) { return m.PC == 0x0000; }

struct CpmResult {
    std::string output;       // everything printed (also handed to on_output, if given)
    uint64_t cycles = 0;      // clock cycles of all runs together
    bool finished = false;    // the program jumped to 0000
};

// Runs the set-up machine in budgets of `slice` cycles until the program jumps to 0000
// or max_cycles (0 = no limit) have run. on_output receives each drained piece.
CpmResult cpm_run(MachineState& m, uint64_t max_cycles = 0, int32_t slice = CPM_SLICE,
                  const std::function<void(std::string_view)>& on_output = {});

}  // namespace lvov
