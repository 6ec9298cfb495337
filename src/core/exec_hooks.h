// What the checking copy of the interpreter looks at: breakpoints, watchpoints, the
// trace and single steps.
//
// i8080_do_opcodes runs the plain loop and looks at nothing. i8080_run_checked(m, budget,
// hooks) runs the same instructions through a copy of the loop that, at every
// instruction boundary and on every data access, tests the per-address and per-port
// flag bytes below and the step settings; only when something is flagged does it write
// the registers back into the machine and ask the hooks object. So a run with a few
// breakpoints costs a table lookup per instruction and per access, and the hooks are
// called only where the user asked.
//
// Stops happen only at instruction boundaries: an execution breakpoint stops before its
// instruction, a watchpoint or a port breakpoint after the instruction that made the
// access, a step after its instructions. On a stop the machine holds the registers of
// that boundary and m.cycles the clock cycles the run executed up to it.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "core/machine.h"

namespace lvov {

// Flags of one address of the processor's address space.
enum AddressFlag : uint8_t {
    BREAK_EXEC = 0x01,  // execution of an instruction that starts here
    WATCH_READ = 0x02,  // a data read of this address (not an instruction or operand fetch)
    WATCH_WRITE = 0x04,  // a data write of this address, also one the memory map drops
};

// Flags of one port number, as the IN or OUT instruction names it.
enum PortFlag : uint8_t {
    BREAK_IN = 0x01,
    BREAK_OUT = 0x02,
};

// One executed instruction: where it was, its bytes as fetched (through the memory map)
// and the registers after it.
struct TraceEntry {
    uint16_t pc = 0;
    uint8_t bytes[3] = {};
    uint8_t a = 0, f = 0;
    uint8_t spare = 0;
    uint16_t bc = 0, de = 0, hl = 0, sp = 0;
};

constexpr size_t TRACE_CAPACITY = 4096;

// The last TRACE_CAPACITY executed instructions.
struct TraceRing {
    std::array<TraceEntry, TRACE_CAPACITY> entries{};
    uint64_t total = 0;  // entries written since the last clear; the newest is entries[(total - 1) % capacity]

    size_t size() const { return total < TRACE_CAPACITY ? static_cast<size_t>(total) : TRACE_CAPACITY; }
    // i = 0 is the oldest kept, size() - 1 the newest.
    const TraceEntry& at(size_t i) const { return entries[(total - size() + i) % TRACE_CAPACITY]; }
    void clear() { total = 0; }
    void push(const TraceEntry& e) { entries[total++ % TRACE_CAPACITY] = e; }
};

// A data access or port access of one instruction that met a flag.
struct Access {
    uint8_t kind = 0;  // WATCH_READ or WATCH_WRITE (address), BREAK_IN or BREAK_OUT (port)
    bool port = false;
    uint16_t address = 0;  // the address, or the port number
    uint8_t value = 0;  // the byte read or written
};

// An instruction makes at most four data accesses (XTHL: two reads, two writes).
constexpr int MAX_ACCESSES = 4;

enum class StopCause : uint8_t {
    None,  // the budget ran out
    Breakpoint,  // exec_hit answered true
    Access,  // access_hit answered true
    Step,  // instruction_limit reached
    Return,  // a return left the routine (return_floor)
};

class ExecHooks {
public:
    virtual ~ExecHooks() = default;

    std::array<uint8_t, MEMORY_SIZE> address_flags{};  // AddressFlag bits
    std::array<uint8_t, 256> port_flags{};  // PortFlag bits

    // Trace: with trace_on every executed instruction is pushed into trace.
    bool trace_on = false;
    TraceRing trace;

    // Single steps: >= 0 stops the run once that many more instructions have executed.
    int64_t instruction_limit = -1;
    // Step out: >= 0 stops after a return (RET, a taken conditional return, the
    // undocumented D9) that popped its address from SP >= return_floor, that is, a
    // return from the routine whose frame starts there or from one of its callers.
    int32_t return_floor = -1;
    // The first instruction of the next run is not checked against BREAK_EXEC: a run that
    // goes on from a breakpoint must not stop at it again. Cleared by the run.
    bool skip_first_exec = false;

    // Filled by every checked run.
    StopCause stop_cause = StopCause::None;
    uint64_t instructions = 0;  // executed, all runs together
    int64_t cycles = 0;  // clock cycles executed, all runs together

    // With the registers written back into m: the instruction at m.PC carries
    // BREAK_EXEC. True stops the run before it.
    virtual bool exec_hit(const MachineState& m) = 0;
    // After an instruction whose accesses met flags (the registers are those after it).
    // True stops the run here.
    virtual bool access_hit(const MachineState& m, const Access* accesses, int count) = 0;

    // Anything to check at all? Without it the plain loop may run instead.
    bool any_check() const { return trace_on || instruction_limit >= 0 || return_floor >= 0 || armed_; }
    // Kept by whoever sets the flag tables: true while any flag byte is non-zero.
    void set_armed(bool armed) { armed_ = armed; }
    bool armed() const { return armed_; }

private:
    bool armed_ = false;
};

// Runs like i8080_do_opcodes(m, budget) (m.cycles zeroed, instructions until the budget
// is used up) while checking everything hooks asks for. Returns true when the run
// stopped early; hooks.stop_cause says why.
bool i8080_run_checked(MachineState& m, int32_t budget, ExecHooks& hooks);

}  // namespace lvov
