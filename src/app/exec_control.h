// Execution control, free of any window: breakpoints, watchpoints and port breakpoints
// with conditions and hit counts, the steps (Step, Step over, Step out, Run to cursor),
// the trace of the last executed instructions and the cycle counter since the last stop.
//
// An ExecControl is the hooks object of the checking interpreter loop (core/exec_hooks.h).
// run(m, budget) is the frame's interpreter call: with nothing to check it runs the
// plain loop, otherwise the checking copy, and it reports whether the machine stopped.
// The window (or the headless run) arms a step with one of the step_* calls, then runs
// frames until run() reports the stop.
//
// Addresses are those of the processor's address space, through the memory map: a
// watchpoint on 4000 in video mode sees the write that lands in video memory, and one
// on C000 sees the write the firmware area drops. Data accesses only: instruction and
// operand fetches are no reads. Ports are matched by the number the IN or OUT names.
//
// A condition is one register or flag compared with a hexadecimal value: "A=05",
// "HL!=4000", "Z=1", "CY=0". Registers A B C D E H L F (8 bits), BC DE HL SP PC (16
// bits); flags S Z AC P CY (0 or 1). A breakpoint hits when its address (or port) is
// met and its condition holds; each hit counts, and a hit stops the machine. An
// execution breakpoint stops before its instruction, the others after the instruction
// that made the access.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/exec_hooks.h"
#include "core/opcodes.h"

namespace lvov {

enum class BreakKind : uint8_t {
    Exec,  // execution at an address
    Read,  // data read in an address range
    Write,  // data write in an address range
    ReadWrite,  // either
    In,  // IN of a port
    Out,  // OUT of a port
};

// "exec", "read", "write", "access", "in", "out".
const char* break_kind_name(BreakKind kind);

struct Condition {
    enum Subject : uint8_t { A, B, C, D, E, H, L, F, BC, DE, HL, SP, PC, FlagS, FlagZ, FlagAC, FlagP, FlagCY };
    Subject subject = A;
    bool not_equal = false;
    uint16_t value = 0;

    bool holds(const MachineState& m) const;
};

// Parses a condition; "" (or blanks) gives nullopt. Throws ConversionError with a
// message naming the text when it is not a condition.
std::optional<Condition> parse_condition(std::string_view text);

struct Breakpoint {
    int id = 0;  // 1, 2, ... in the order of adding
    BreakKind kind = BreakKind::Exec;
    uint16_t first = 0;  // address, or port number
    uint16_t last = 0;  // end of the range (included); equals first for exec and ports
    bool enabled = true;
    uint64_t hits = 0;
    std::optional<Condition> condition;
    std::string condition_text;  // as the user wrote it, trimmed

    // "0123", "4000-40FF"; a port as "C2".
    std::string where() const;
};

// What stopped the machine last.
enum class StopKind : uint8_t { None, Breakpoint, Step, StepOver, StepOut, RunToCursor, Break };

class ExecControl : public ExecHooks {
public:
    ExecControl();

    // ---- Breakpoints
    // Adds one and returns its id. first..last is an address range (first only for Exec)
    // or a port (0..FF, In and Out). Throws RangeError for a range that runs backwards or
    // a port above FF, ConversionError for a bad condition; nothing is added then.
    int add(BreakKind kind, uint16_t first, uint16_t last, std::string_view condition = {});
    void remove(int id);
    void remove_all();
    void set_enabled(int id, bool enabled);
    // Throws ConversionError (the old condition stays) when the text is not a condition.
    void set_condition(int id, std::string_view condition);
    void reset_hits();
    const std::vector<Breakpoint>& breakpoints() const { return breakpoints_; }
    const Breakpoint* find(int id) const;
    // The execution breakpoint at address (enabled or not), or null.
    const Breakpoint* exec_at(uint16_t address) const;
    // A click in the listing: removes the execution breakpoint at address, or adds one.
    // Returns true when there is one now.
    bool toggle_exec(uint16_t address);

    // ---- Steps. Each arms what the next runs check; the first instruction is never
    // stopped by a breakpoint at its own address (the machine goes on from there).
    void continue_run();  // no step: until a breakpoint
    void step();  // one instruction
    void step_over(const MachineState& m);  // CALL, Ccc, RST: to the next instruction
    void step_out(const MachineState& m);  // until the current routine returns
    void run_to(uint16_t address);  // until PC reaches address
    // The user stopped the machine (Break, Pause): a stop like any other, steps disarmed.
    // Nothing changes when the machine has not run since the last stop.
    void note_break(const MachineState& m);
    // The machine goes on after a pause: its first instruction is spared a breakpoint
    // only when it is the one the machine stopped at (a file loaded meanwhile that starts
    // at a breakpoint stops there at once).
    void go_on(const MachineState& m);

    // ---- Running
    // One interpreter run of budget cycles. True when it stopped early (the machine is at
    // an instruction boundary, m.cycles the cycles run up to it).
    bool run(MachineState& m, int32_t budget);
    StopKind last_stop() const { return last_stop_; }
    // The breakpoint that made the last stop, if one did.
    const Breakpoint* last_hit() const { return find(last_hit_id_); }
    // "Breakpoint 2: write 4000-40FF", "Step", ... in English, for the headless run.
    std::string stop_text() const;

    // Cycle counter: while running the cycles since the last stop; after a stop the
    // cycles that ran between the stop before and this one.
    int64_t cycles_since_stop() const;

    // ---- Trace
    void set_trace(bool on);
    bool trace_enabled() const { return trace_on; }
    void clear_trace() { trace.clear(); }
    // The last n traced instructions (all kept when n is larger), oldest first, one line
    // each in the listing's columns followed by the registers after the instruction.
    std::vector<std::string> trace_lines(size_t n = TRACE_CAPACITY) const;

    // ExecHooks
    bool exec_hit(const MachineState& m) override;
    bool access_hit(const MachineState& m, const Access* accesses, int count) override;

private:
    void rebuild_flags();
    void disarm_steps();
    void stopped(StopKind kind, uint16_t pc);
    Breakpoint* find_mutable(int id);

    std::vector<Breakpoint> breakpoints_;
    int next_id_ = 1;
    // The temporary target of Step over and Run to cursor.
    std::optional<uint16_t> target_;
    std::optional<uint16_t> target_min_sp_;  // Step over: only once the call has returned
    StopKind armed_step_ = StopKind::None;
    StopKind last_stop_ = StopKind::None;
    StopKind pending_kind_ = StopKind::None;  // what exec_hit or access_hit found
    int last_hit_id_ = 0;
    int64_t cycles_mark_ = 0;  // the cycle total at the last stop
    int64_t last_span_ = 0;  // cycles between the two last stops
    bool stopped_ = false;  // no run since the last stop
    uint16_t stop_pc_ = 0;  // where the last stop left PC
};

// One instruction of a listing that follows PC.
struct CodeLine {
    uint16_t address = 0;
    ListingRow row;
};

// One instruction as the execution page lists it: the listing's row, with the port of
// OUT shown as IN shows its own ("OUT C2", "IN C1").
ListingRow code_row(uint16_t address, uint8_t op, uint8_t b1, uint8_t b2);

// `count` instructions read through the memory map (what the processor would execute),
// decoded linearly from a start a little before pc so that the listing shows what leads
// up to it: the earliest address at most `context` bytes before pc from which decoding
// lands exactly on pc, or pc itself. Addresses wrap past FFFF.
std::vector<CodeLine> code_around(const MachineState& m, uint16_t pc, int context, int count);

// The registers as one line: "PC=C000 SP=AFFE A=00 F=46 BC=0000 DE=0000 HL=0000 cycles=17".
std::string register_line(const MachineState& m);

// One trace line: "C000: C3 00 C0  JMP       C000  A=00 F=02 BC=0000 DE=0000 HL=0000 SP=0000".
std::string trace_line(const TraceEntry& e);

}  // namespace lvov
