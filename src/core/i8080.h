// The Intel 8080 interpreter.
//
// i8080_do_opcodes(m, budget) zeroes m.cycles and executes instructions until
// m.cycles >= budget; a budget <= 0 executes nothing, the instruction that crosses the
// budget always completes and the excess is not carried into the next run. Every
// memory access goes through the memory map (do_read/do_write), IN and OUT through
// do_input/do_output. There are no interrupts and no halted state: HLT, EI and DI are
// 4-cycle no-ops. Undocumented opcodes call signal_inv_opc and then execute as the
// documented instruction they stand for (08..38 NOP, CB JMP, D9 RET, DD/ED/FD CALL).
// i8080_run_checked (core/exec_hooks.h) runs the same instructions with breakpoints,
// watchpoints, steps and the trace.
#pragma once
#include <cstdint>

#include "core/machine.h"

namespace lvov {

// Budgets are capped here so that the last instruction of a run cannot carry the
// signed 32-bit cycle counter past its limit.
constexpr int32_t MAX_BUDGET = INT32_MAX - 32;

void i8080_do_opcodes(MachineState& m, int32_t budget);

// Called before any undocumented opcode executes; answers false (go on).
bool signal_inv_opc();

}  // namespace lvov
