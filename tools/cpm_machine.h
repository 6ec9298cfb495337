// A CP/M-style bench for the 8080 core: runs .COM programs (the public 8080 diagnostics
// among them) on the emulated machine, in RAM mode, without any hook in the interpreter.
//
// The BDOS and BIOS are 8080 code (tools/cpm_harness.asm) at the top of RAM:
//   0000        JMP BIOS+3         the program ends by jumping here (or with function 0)
//   0005        JMP BDOS           the word at 0006 is the top of the program's memory
//   0100        the program        started with SP = (0006) and 0000 pushed as return address
//   BDOS-BFFF   the harness        BDOS, then the BIOS jump table on a page of its own
//                                  (CONST, CONIN and CONOUT work), variables, an input
//                                  buffer and an output buffer
//
// BDOS functions: 0 ends the program; 1, 2, 6, 9, 10 and 11 are the console (input comes
// from the CpmOptions::input source, host line feeds arriving as CR); 12 answers 0022H,
// 25 drive A, 32 gets and sets the user number. Every other function returns A = L = 0,
// B = H = 0 and is named once through CpmOptions::on_note.
//
// The host runs the interpreter in budgets and serves the harness between them (see the
// assembly source). The cycle count it reports is the program's own: from 0100 up to and
// including its jump to 0000, with every wait for the host left out, so it does not
// depend on the budget size or on how the input arrives. A program that overwrites the
// harness code or the vectors at 0000 and 0005 is stopped with a message.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/machine.h"

namespace lvov {

constexpr uint16_t CPM_TPA = 0x0100;  // load and start address
constexpr int32_t CPM_SLICE = 1'000'000;  // cycles per interpreter run, also the most allowed

// The word at 0006: the BDOS entry, the lowest byte of the harness.
uint16_t cpm_top();
// The largest program: from 0100 to below the return address pushed under (0006).
size_t cpm_max_program();

// Reads a .COM file whole. IoError when it is missing, not a regular file or unreadable,
// RangeError when it is empty or does not fit below the harness.
std::vector<uint8_t> read_cpm_program(const std::filesystem::path& path);

// Puts the machine in the state above with the program at 0100 (RAM mode, every latch
// FF, flag table built, other memory 00). RangeError when the program is too big;
// the machine is then left unchanged.
void cpm_setup(MachineState& m, std::span<const uint8_t> program);

// Takes the characters the program printed since the last drain and empties the buffer;
// a program waiting for room in the buffer goes on at the next run. For callers that run
// the interpreter themselves (benchmarks); cpm_run does all of this.
std::string cpm_drain_output(MachineState& m);

// True once the program has ended and the harness waits with nothing more to do.
bool cpm_finished(const MachineState& m);

struct CpmOptions {
    uint64_t max_cycles = 0;  // stop after about this many cycles of the program (0 = no limit)
    int32_t slice = CPM_SLICE;  // cycles per interpreter run, 1 .. CPM_SLICE
    // Console input: up to max bytes; with wait, blocks until at least one byte is there.
    // nullopt at the end of the input; "" (only without wait) when nothing is there yet.
    // No function: the input is empty.
    std::function<std::optional<std::string>(size_t max, bool wait)> input;
    // Input typed live (a terminal): console status answers from what has arrived so
    // far instead of waiting for the next byte or the end.
    bool interactive = false;
    std::function<void(std::string_view)> on_output;  // each drained piece of output
    std::function<void(std::string_view)> on_note;  // one line per unsupported function met
};

struct CpmResult {
    std::string output;  // everything printed (also handed to on_output, if given)
    uint64_t cycles = 0;  // the program's clock cycles (see above)
    bool finished = false;  // the program ended by jumping to 0000 or with function 0
    std::string stop;  // why it was stopped, when it did not finish within max_cycles
};

CpmResult cpm_run(MachineState& m, const CpmOptions& options);

// The same with no input and no notes.
CpmResult cpm_run(MachineState& m, uint64_t max_cycles = 0, int32_t slice = CPM_SLICE,
                  const std::function<void(std::string_view)>& on_output = {});

}  // namespace lvov
