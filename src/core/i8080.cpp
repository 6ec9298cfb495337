// Temporary: the interpreter lands in the next commit.
#include "core/i8080.h"
namespace lvov {
void i8080_init(MachineState& m) { build_flag_table(m); }
void i8080_do_opcodes(MachineState& m, int32_t) { m.cycles = 0; }
bool signal_inv_opc() { return false; }
}  // namespace lvov
