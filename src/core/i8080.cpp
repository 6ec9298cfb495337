// The Intel 8080 interpreter: the dispatch loop.
//
// One run keeps the registers in local variables (the pairs BC, DE and HL as 16-bit
// values, since most instructions use them as addresses) and jumps from each handler
// straight to the next one through a table of label addresses (computed goto), so the
// host's branch predictor sees one indirect jump per opcode. Compilers without labels
// as values get the same handlers behind a switch (LVOV_COMPUTED_GOTO unset). The
// registers go back into the MachineState when the run ends and nowhere else: nothing
// else runs during a run.
//
// The loop exists once for each setting of the memory-map switch (i8080_memory.h). The
// switch can only change through OUT, so the OUT handler leaves the loop as soon as the
// bit no longer matches the copy that is running, and the very next fetch goes through
// the new map.
//
// Both copies exist once more as the checking loop of i8080_run_checked (CHECK true):
// the same handlers, with data and port accesses that look up their flags
// (i8080_check.h) and a check point between instructions for breakpoints, steps and
// the trace. i8080_do_opcodes runs the plain copies, in which all of that compiles away.
//
// Each handler says only what its instruction does. Its length and clock cycles come
// from the opcode table (core/opcodes.h) at compile time, so the table is the one place
// that states them. The flag rules are in i8080_alu.h.
//
// Cycles count down from the budget: "left" is budget - cycles - 1, and the loop runs
// while it is not negative (a sign test the host reads straight from the subtraction).
// The instruction that crosses the budget completes; the caller turns the remainder
// back into m.cycles.
#include "core/i8080.h"

#include <array>
#include <utility>

#include "core/exec_hooks.h"
#include "core/i8080_alu.h"
#include "core/i8080_check.h"
#include "core/i8080_memory.h"
#include "core/opcodes.h"
#include "core/ports.h"

namespace lvov {

namespace {

using namespace i8080_detail;

consteval uint64_t length_of(uint8_t op) { return opcode_info(op).length; }
consteval int32_t cycles_of(uint8_t op) { return opcode_info(op).cycles; }
consteval int32_t cycles_taken_of(uint8_t op) { return opcode_info(op).cycles_taken; }

// Runs while left >= 0 or until an OUT flips the map switch away from RAM. The checking
// copy (CHECK, with cs) also stops where the hooks ask: see the check point below.
template <bool RAM, bool CHECK = false>
void run(MachineState& m, int32_t& left_io, [[maybe_unused]] CheckState* cs = nullptr) {
    // The flag tables beside the handler addresses, so that the tables are addressed
    // from the register that already holds the dispatch table.
    struct Tables {
#if LVOV_COMPUTED_GOTO
        std::array<const void*, 256> dispatch;
#endif
        FlagTable szp, inr, dcr;
    };
#define LABELS16(h)                                                                                                 \
    &&L_0x##h##0, &&L_0x##h##1, &&L_0x##h##2, &&L_0x##h##3, &&L_0x##h##4, &&L_0x##h##5, &&L_0x##h##6, &&L_0x##h##7, \
        &&L_0x##h##8, &&L_0x##h##9, &&L_0x##h##A, &&L_0x##h##B, &&L_0x##h##C, &&L_0x##h##D, &&L_0x##h##E, &&L_0x##h##F
    static const Tables tables = {
#if LVOV_COMPUTED_GOTO
        {LABELS16(0), LABELS16(1), LABELS16(2), LABELS16(3), LABELS16(4), LABELS16(5), LABELS16(6), LABELS16(7),
         LABELS16(8), LABELS16(9), LABELS16(A), LABELS16(B), LABELS16(C), LABELS16(D), LABELS16(E), LABELS16(F)},
#endif
        SZP_FLAGS,
        kIncDecFlags.inr,
        kIncDecFlags.dcr
    };
#undef LABELS16

    // Every local holds its register's value exactly: 8-bit ones 00-FF, pairs and
    // pointers 0000-FFFF (64-bit, so that they index memory as they are).
    uint64_t a = m.A, f = m.F;
    uint64_t bc = (m.B << 8) | m.C, de = (m.D << 8) | m.E, hl = (m.H << 8) | m.L;
    uint64_t pc = m.PC, sp = m.SP;
    int32_t left = left_io;
    const FlagTable& ft = tables.szp;

    // The checking copy keeps its state in locals during a run and in cs between runs.
    [[maybe_unused]] const uint8_t* flags = nullptr;
    [[maybe_unused]] TraceEntry* ring = nullptr;
    [[maybe_unused]] bool pending = false, skip_exec = false, trace_on = false;
    [[maybe_unused]] int64_t limit = -1;
    [[maybe_unused]] int32_t floor = -1;
    [[maybe_unused]] uint64_t instructions = 0, trace_total = 0, trace_head = 0, op = 0, sp_before = 0;
    if constexpr (CHECK) {
        ExecHooks& h = cs->hooks;
        flags = cs->flags;
        ring = h.trace.entries.data();
        trace_on = h.trace_on;
        trace_total = h.trace.total;
        limit = h.instruction_limit;
        floor = h.return_floor;
        pending = cs->pending;
        skip_exec = cs->skip_exec;
        op = cs->op;
        sp_before = cs->sp_before;
        trace_head = cs->trace_head;
    }

    // Operands. var := (var + n) modulo 65,536 for a local that holds 0000-FFFF.
#define ADD16(var, n) ((var) = ((var) + (n)) & 0xFFFF)
#define FETCH(addr) rd<RAM>(m, (addr))
#define RD(addr) data_rd<RAM, CHECK>(m, (addr), flags, cs)
#define WR(addr, v) data_wr<RAM, CHECK>(m, (addr), (v), flags, cs)
#define RD16(addr) data_rd16<RAM, CHECK>(m, (addr), flags, cs)
#define WR16(addr, v) data_wr16<RAM, CHECK>(m, (addr), (v), flags, cs)
#define IMM8 imm8<RAM>(m, pc)
#define IMM16 imm16<RAM>(m, pc)
#define PORT static_cast<uint8_t>(IMM8)
#define PUSH(v) data_push<RAM, CHECK>(m, sp, (v), flags, cs)
#define POP data_pop<RAM, CHECK>(m, sp, flags, cs)
    // The registers back into the machine: at the end of a run, and in the checking copy
    // before the hooks look at them.
#define SYNC                                 \
    do {                                     \
        m.A = static_cast<uint8_t>(a);       \
        m.F = static_cast<uint8_t>(f);       \
        m.B = static_cast<uint8_t>(bc >> 8); \
        m.C = static_cast<uint8_t>(bc);      \
        m.D = static_cast<uint8_t>(de >> 8); \
        m.E = static_cast<uint8_t>(de);      \
        m.H = static_cast<uint8_t>(hl >> 8); \
        m.L = static_cast<uint8_t>(hl);      \
        m.PC = static_cast<uint16_t>(pc);    \
        m.SP = static_cast<uint16_t>(sp);    \
    } while (0)

    // The 8-bit registers inside their pairs, M (the byte at HL) and PSW.
#define GET_B (bc >> 8)
#define GET_C (bc & 0xFF)
#define GET_D (de >> 8)
#define GET_E (de & 0xFF)
#define GET_H (hl >> 8)
#define GET_L (hl & 0xFF)
#define GET_M RD(hl)
#define GET_A a
#define GET_PSW ((a << 8) | f)
#define SET_B(v) bc = (bc & 0x00FF) | (static_cast<uint64_t>(v) << 8)
#define SET_C(v) bc = (bc & 0xFF00) | static_cast<uint64_t>(v)
#define SET_D(v) de = (de & 0x00FF) | (static_cast<uint64_t>(v) << 8)
#define SET_E(v) de = (de & 0xFF00) | static_cast<uint64_t>(v)
#define SET_H(v) hl = (hl & 0x00FF) | (static_cast<uint64_t>(v) << 8)
#define SET_L(v) hl = (hl & 0xFF00) | static_cast<uint64_t>(v)
#define SET_M(v) WR(hl, (v))
#define SET_A(v) a = (v)
#define SET_PSW(v) /* F gets all eight bits as stored */ \
    do {                                                 \
        const uint64_t psw_ = (v);                       \
        a = psw_ >> 8;                                   \
        f = psw_ & 0xFF;                                 \
    } while (0)

    // Arithmetic and logic with A (flag rules in i8080_alu.h).
#define OP_ADD(v) a = add(f, ft, a, (v), 0)
#define OP_ADC(v) a = add(f, ft, a, (v), f & FLAG_CY)
#define OP_SUB(v) a = subtract(f, ft, a, (v), 0)
#define OP_SBB(v) a = subtract(f, ft, a, (v), f & FLAG_CY)
#define OP_CMP(v) subtract(f, ft, a, (v), 0)
#define OP_ANA(v) a = logical(f, ft, a & (v))
#define OP_XRA(v) a = logical(f, ft, a ^ (v))
#define OP_ORA(v) a = logical(f, ft, a | (v))
    // INR and DCR of a register (B, D, H: the high half of their pair, changed in place),
    // and of M.
#define INR_R(GET, SET)                       \
    do {                                      \
        const uint64_t v_ = GET;              \
        f = inc_dec_flags(tables.inr, v_, f); \
        SET((v_ + 1) & 0xFF);                 \
    } while (0)
#define DCR_R(GET, SET)                       \
    do {                                      \
        const uint64_t v_ = GET;              \
        f = inc_dec_flags(tables.dcr, v_, f); \
        SET((v_ - 1) & 0xFF);                 \
    } while (0)
#define INR_HI(pair)                                   \
    do {                                               \
        f = inc_dec_flags(tables.inr, (pair) >> 8, f); \
        (pair) = ((pair) + 0x100) & 0xFFFF;            \
    } while (0)
#define DCR_HI(pair)                                   \
    do {                                               \
        f = inc_dec_flags(tables.dcr, (pair) >> 8, f); \
        (pair) = ((pair)-0x100) & 0xFFFF;              \
    } while (0)
#define INR_M INR_R(GET_M, SET_M)
#define DCR_M DCR_R(GET_M, SET_M)

    // Conditions of jumps, calls and returns.
#define CC_NZ (!(f & FLAG_Z))
#define CC_Z (f & FLAG_Z)
#define CC_NC (!(f & FLAG_CY))
#define CC_C (f & FLAG_CY)
#define CC_PO (!(f & FLAG_P))
#define CC_PE (f & FLAG_P)
#define CC_P (!(f & FLAG_S))
#define CC_M (f & FLAG_S)
    // Inside a handler, "length" is the instruction's length, so pc + length is the
    // address of the next instruction.
#define CALL(target)                  \
    do {                              \
        const uint64_t t_ = (target); \
        PUSH(pc + length);            \
        pc = t_;                      \
    } while (0)
#define RST(n)             \
    do {                   \
        PUSH(pc + length); \
        pc = (n)*8;        \
    } while (0)

    // Dispatch of the next instruction, or the end of the run. The checking copy goes
    // through the check point between any two instructions.
#if LVOV_COMPUTED_GOTO
#define DISPATCH                          \
    do {                                  \
        if (left < 0) [[unlikely]]        \
            goto done;                    \
        goto* tables.dispatch[FETCH(pc)]; \
    } while (0)
#define DISPATCH_OP(opcode) goto* tables.dispatch[opcode]  // NOLINT(bugprone-macro-parentheses): a statement
#else
#define DISPATCH goto next
#define DISPATCH_OP(opcode) goto next
#endif
#define NEXT                        \
    do {                            \
        if constexpr (CHECK) {      \
            goto after_instruction; \
        } else {                    \
            DISPATCH;               \
        }                           \
    } while (0)

    // The handlers, one line per opcode:
    //   OP(op, ...)          does ..., then PC advances by the length
    //   JUMP(op, ...)        does ..., which loads PC
    //   COND(op, cc, ...)    cc true: does ..., which loads PC (cycles_taken);
    //                        cc false: PC advances by the length (cycles)
    // and each adds the opcode's clock cycles from the table.
#define ADVANCE(op)           \
    ADD16(pc, length_of(op)); \
    left -= cycles_of(op)
#define OP(op, ...)           \
    L_##op : { __VA_ARGS__; } \
    ADVANCE(op);              \
    NEXT;
#define JUMP(op, ...)                                               \
    L_##op : {                                                      \
        [[maybe_unused]] constexpr uint64_t length = length_of(op); \
        __VA_ARGS__;                                                \
    }                                                               \
    left -= cycles_of(op);                                          \
    NEXT;
    // A conditional jump costs the same either way: one subtraction after both paths
    // (which the host then shares) instead of one in each.
#define COND(op, cc, ...)                                           \
    L_##op : {                                                      \
        [[maybe_unused]] constexpr uint64_t length = length_of(op); \
        if constexpr (cycles_taken_of(op) == cycles_of(op)) {       \
            if (cc) {                                               \
                __VA_ARGS__;                                        \
            } else {                                                \
                ADD16(pc, length);                                  \
            }                                                       \
            left -= cycles_of(op);                                  \
        } else if (cc) {                                            \
            __VA_ARGS__;                                            \
            left -= cycles_taken_of(op);                            \
        } else {                                                    \
            ADD16(pc, length);                                      \
            left -= cycles_of(op);                                  \
        }                                                           \
    }                                                               \
    NEXT;

    // The check point between two instructions: the plain loop passes it only on entry.
    // The checking copy comes here after every instruction for the checks of the one just
    // done (trace, noted accesses, Step out, Step), then for those of the next one
    // (budget, execution breakpoint), noting what its own checks will need.
    if constexpr (CHECK) {
        if (pending) {  // the instruction that ended the last run (an OUT) is still due
            pending = false;
            goto after_instruction;
        }
    } else if (false) {
        goto after_instruction;  // labels only the checking copy jumps to
        goto stop;
    }
    goto before_instruction;
after_instruction:
    if constexpr (CHECK) {
        ++instructions;
        if (trace_on) {
            // The entry in two stores: PC, its bytes, A, F / BC, DE, HL, SP.
            store_trace_entry(ring[trace_total % TRACE_CAPACITY], trace_head | (a << 40) | (f << 48),
                              bc | (de << 16) | (hl << 32) | (sp << 48));
            ++trace_total;
        }
        if (cs->count) [[unlikely]] {
            SYNC;
            const int n = cs->count;
            cs->count = 0;
            if (cs->hooks.access_hit(m, cs->accesses, n)) {
                cs->hooks.stop_cause = StopCause::Access;
                goto stop;
            }
        }
        if (floor >= 0 && is_return(static_cast<uint8_t>(op)) && sp == ((sp_before + 2) & 0xFFFF) &&
            sp_before >= static_cast<uint64_t>(floor)) {
            cs->hooks.stop_cause = StopCause::Return;
            goto stop;
        }
        if (limit > 0) --limit;
    }
before_instruction:
    if constexpr (CHECK) {
        if (limit == 0) [[unlikely]] {
            cs->hooks.stop_cause = StopCause::Step;
            goto stop;
        }
        if (left < 0) goto done;
        if (flags[pc] & BREAK_EXEC) [[unlikely]] {
            if (!skip_exec) {
                SYNC;
                if (cs->hooks.exec_hit(m)) {
                    cs->hooks.stop_cause = StopCause::Breakpoint;
                    goto stop;
                }
            }
        }
        skip_exec = false;
        op = FETCH(pc);
        sp_before = sp;
        if (trace_on) trace_head = pc | (op << 16) | (IMM16 << 24);
        DISPATCH_OP(op);
    }
    DISPATCH;
stop:
    if constexpr (CHECK) cs->stopped = true;
    goto done;

    // One line an opcode, in opcode order; the comments line up as a listing does.
    // clang-format off
    OP(0x00, /* nothing */)                                       // NOP
    OP(0x01, bc = IMM16)                                          // LXI B,d16
    OP(0x02, WR(bc, a))                                           // STAX B
    OP(0x03, ADD16(bc, 1))                                        // INX B
    OP(0x04, INR_HI(bc))                                          // INR B
    OP(0x05, DCR_HI(bc))                                          // DCR B
    OP(0x06, SET_B(IMM8))                                         // MVI B,d8
    OP(0x07, a = rotate_left(f, a))                               // RLC
    OP(0x08, signal_inv_opc())                                    // undocumented NOP
    OP(0x09, hl = add_to_hl(f, hl, bc))                           // DAD B
    OP(0x0A, a = RD(bc))                                          // LDAX B
    OP(0x0B, ADD16(bc, -1))                                       // DCX B
    OP(0x0C, INR_R(GET_C, SET_C))                                 // INR C
    OP(0x0D, DCR_R(GET_C, SET_C))                                 // DCR C
    OP(0x0E, SET_C(IMM8))                                         // MVI C,d8
    OP(0x0F, a = rotate_right(f, a))                              // RRC
    OP(0x10, signal_inv_opc())                                    // undocumented NOP
    OP(0x11, de = IMM16)                                          // LXI D,d16
    OP(0x12, WR(de, a))                                           // STAX D
    OP(0x13, ADD16(de, 1))                                        // INX D
    OP(0x14, INR_HI(de))                                          // INR D
    OP(0x15, DCR_HI(de))                                          // DCR D
    OP(0x16, SET_D(IMM8))                                         // MVI D,d8
    OP(0x17, a = rotate_left_through_carry(f, a))                 // RAL
    OP(0x18, signal_inv_opc())                                    // undocumented NOP
    OP(0x19, hl = add_to_hl(f, hl, de))                           // DAD D
    OP(0x1A, a = RD(de))                                          // LDAX D
    OP(0x1B, ADD16(de, -1))                                       // DCX D
    OP(0x1C, INR_R(GET_E, SET_E))                                 // INR E
    OP(0x1D, DCR_R(GET_E, SET_E))                                 // DCR E
    OP(0x1E, SET_E(IMM8))                                         // MVI E,d8
    OP(0x1F, a = rotate_right_through_carry(f, a))                // RAR
    OP(0x20, signal_inv_opc())                                    // undocumented NOP
    OP(0x21, hl = IMM16)                                          // LXI H,d16
    OP(0x22, WR16(IMM16, hl))                                     // SHLD a16
    OP(0x23, ADD16(hl, 1))                                        // INX H
    OP(0x24, INR_HI(hl))                                          // INR H
    OP(0x25, DCR_HI(hl))                                          // DCR H
    OP(0x26, SET_H(IMM8))                                         // MVI H,d8
    OP(0x27, a = decimal_adjust(f, ft, a))                        // DAA
    OP(0x28, signal_inv_opc())                                    // undocumented NOP
    OP(0x29, hl = add_to_hl(f, hl, hl))                           // DAD H
    OP(0x2A, hl = RD16(IMM16))                                    // LHLD a16
    OP(0x2B, ADD16(hl, -1))                                       // DCX H
    OP(0x2C, INR_R(GET_L, SET_L))                                 // INR L
    OP(0x2D, DCR_R(GET_L, SET_L))                                 // DCR L
    OP(0x2E, SET_L(IMM8))                                         // MVI L,d8
    OP(0x2F, a ^= 0xFF)                                           // CMA
    OP(0x30, signal_inv_opc())                                    // undocumented NOP
    OP(0x31, sp = IMM16)                                          // LXI SP,d16
    OP(0x32, WR(IMM16, a))                                        // STA a16
    OP(0x33, ADD16(sp, 1))                                        // INX SP
    OP(0x34, INR_M)                                               // INR M
    OP(0x35, DCR_M)                                               // DCR M
    OP(0x36, WR(hl, IMM8))                                        // MVI M,d8
    OP(0x37, f |= FLAG_CY)                                        // STC
    OP(0x38, signal_inv_opc())                                    // undocumented NOP
    OP(0x39, hl = add_to_hl(f, hl, sp))                           // DAD SP
    OP(0x3A, a = RD(IMM16))                                       // LDA a16
    OP(0x3B, ADD16(sp, -1))                                       // DCX SP
    OP(0x3C, INR_R(GET_A, SET_A))                                 // INR A
    OP(0x3D, DCR_R(GET_A, SET_A))                                 // DCR A
    OP(0x3E, SET_A(IMM8))                                         // MVI A,d8
    OP(0x3F, f ^= FLAG_CY)                                        // CMC
    OP(0x40, /* nothing */)                                       // MOV B,B
    OP(0x41, SET_B(GET_C))                                        // MOV B,C
    OP(0x42, SET_B(GET_D))                                        // MOV B,D
    OP(0x43, SET_B(GET_E))                                        // MOV B,E
    OP(0x44, SET_B(GET_H))                                        // MOV B,H
    OP(0x45, SET_B(GET_L))                                        // MOV B,L
    OP(0x46, SET_B(GET_M))                                        // MOV B,M
    OP(0x47, SET_B(GET_A))                                        // MOV B,A
    OP(0x48, SET_C(GET_B))                                        // MOV C,B
    OP(0x49, /* nothing */)                                       // MOV C,C
    OP(0x4A, SET_C(GET_D))                                        // MOV C,D
    OP(0x4B, SET_C(GET_E))                                        // MOV C,E
    OP(0x4C, SET_C(GET_H))                                        // MOV C,H
    OP(0x4D, SET_C(GET_L))                                        // MOV C,L
    OP(0x4E, SET_C(GET_M))                                        // MOV C,M
    OP(0x4F, SET_C(GET_A))                                        // MOV C,A
    OP(0x50, SET_D(GET_B))                                        // MOV D,B
    OP(0x51, SET_D(GET_C))                                        // MOV D,C
    OP(0x52, /* nothing */)                                       // MOV D,D
    OP(0x53, SET_D(GET_E))                                        // MOV D,E
    OP(0x54, SET_D(GET_H))                                        // MOV D,H
    OP(0x55, SET_D(GET_L))                                        // MOV D,L
    OP(0x56, SET_D(GET_M))                                        // MOV D,M
    OP(0x57, SET_D(GET_A))                                        // MOV D,A
    OP(0x58, SET_E(GET_B))                                        // MOV E,B
    OP(0x59, SET_E(GET_C))                                        // MOV E,C
    OP(0x5A, SET_E(GET_D))                                        // MOV E,D
    OP(0x5B, /* nothing */)                                       // MOV E,E
    OP(0x5C, SET_E(GET_H))                                        // MOV E,H
    OP(0x5D, SET_E(GET_L))                                        // MOV E,L
    OP(0x5E, SET_E(GET_M))                                        // MOV E,M
    OP(0x5F, SET_E(GET_A))                                        // MOV E,A
    OP(0x60, SET_H(GET_B))                                        // MOV H,B
    OP(0x61, SET_H(GET_C))                                        // MOV H,C
    OP(0x62, SET_H(GET_D))                                        // MOV H,D
    OP(0x63, SET_H(GET_E))                                        // MOV H,E
    OP(0x64, /* nothing */)                                       // MOV H,H
    OP(0x65, SET_H(GET_L))                                        // MOV H,L
    OP(0x66, SET_H(GET_M))                                        // MOV H,M
    OP(0x67, SET_H(GET_A))                                        // MOV H,A
    OP(0x68, SET_L(GET_B))                                        // MOV L,B
    OP(0x69, SET_L(GET_C))                                        // MOV L,C
    OP(0x6A, SET_L(GET_D))                                        // MOV L,D
    OP(0x6B, SET_L(GET_E))                                        // MOV L,E
    OP(0x6C, SET_L(GET_H))                                        // MOV L,H
    OP(0x6D, /* nothing */)                                       // MOV L,L
    OP(0x6E, SET_L(GET_M))                                        // MOV L,M
    OP(0x6F, SET_L(GET_A))                                        // MOV L,A
    OP(0x70, SET_M(GET_B))                                        // MOV M,B
    OP(0x71, SET_M(GET_C))                                        // MOV M,C
    OP(0x72, SET_M(GET_D))                                        // MOV M,D
    OP(0x73, SET_M(GET_E))                                        // MOV M,E
    OP(0x74, SET_M(GET_H))                                        // MOV M,H
    OP(0x75, SET_M(GET_L))                                        // MOV M,L
    OP(0x76, /* does not halt */)                                 // HLT
    OP(0x77, SET_M(GET_A))                                        // MOV M,A
    OP(0x78, SET_A(GET_B))                                        // MOV A,B
    OP(0x79, SET_A(GET_C))                                        // MOV A,C
    OP(0x7A, SET_A(GET_D))                                        // MOV A,D
    OP(0x7B, SET_A(GET_E))                                        // MOV A,E
    OP(0x7C, SET_A(GET_H))                                        // MOV A,H
    OP(0x7D, SET_A(GET_L))                                        // MOV A,L
    OP(0x7E, SET_A(GET_M))                                        // MOV A,M
    OP(0x7F, /* nothing */)                                       // MOV A,A
    OP(0x80, OP_ADD(GET_B))                                       // ADD B
    OP(0x81, OP_ADD(GET_C))                                       // ADD C
    OP(0x82, OP_ADD(GET_D))                                       // ADD D
    OP(0x83, OP_ADD(GET_E))                                       // ADD E
    OP(0x84, OP_ADD(GET_H))                                       // ADD H
    OP(0x85, OP_ADD(GET_L))                                       // ADD L
    OP(0x86, OP_ADD(GET_M))                                       // ADD M
    OP(0x87, OP_ADD(GET_A))                                       // ADD A
    OP(0x88, OP_ADC(GET_B))                                       // ADC B
    OP(0x89, OP_ADC(GET_C))                                       // ADC C
    OP(0x8A, OP_ADC(GET_D))                                       // ADC D
    OP(0x8B, OP_ADC(GET_E))                                       // ADC E
    OP(0x8C, OP_ADC(GET_H))                                       // ADC H
    OP(0x8D, OP_ADC(GET_L))                                       // ADC L
    OP(0x8E, OP_ADC(GET_M))                                       // ADC M
    OP(0x8F, OP_ADC(GET_A))                                       // ADC A
    OP(0x90, OP_SUB(GET_B))                                       // SUB B
    OP(0x91, OP_SUB(GET_C))                                       // SUB C
    OP(0x92, OP_SUB(GET_D))                                       // SUB D
    OP(0x93, OP_SUB(GET_E))                                       // SUB E
    OP(0x94, OP_SUB(GET_H))                                       // SUB H
    OP(0x95, OP_SUB(GET_L))                                       // SUB L
    OP(0x96, OP_SUB(GET_M))                                       // SUB M
    OP(0x97, OP_SUB(GET_A))                                       // SUB A
    OP(0x98, OP_SBB(GET_B))                                       // SBB B
    OP(0x99, OP_SBB(GET_C))                                       // SBB C
    OP(0x9A, OP_SBB(GET_D))                                       // SBB D
    OP(0x9B, OP_SBB(GET_E))                                       // SBB E
    OP(0x9C, OP_SBB(GET_H))                                       // SBB H
    OP(0x9D, OP_SBB(GET_L))                                       // SBB L
    OP(0x9E, OP_SBB(GET_M))                                       // SBB M
    OP(0x9F, OP_SBB(GET_A))                                       // SBB A
    OP(0xA0, OP_ANA(GET_B))                                       // ANA B
    OP(0xA1, OP_ANA(GET_C))                                       // ANA C
    OP(0xA2, OP_ANA(GET_D))                                       // ANA D
    OP(0xA3, OP_ANA(GET_E))                                       // ANA E
    OP(0xA4, OP_ANA(GET_H))                                       // ANA H
    OP(0xA5, OP_ANA(GET_L))                                       // ANA L
    OP(0xA6, OP_ANA(GET_M))                                       // ANA M
    OP(0xA7, OP_ANA(GET_A))                                       // ANA A
    OP(0xA8, OP_XRA(GET_B))                                       // XRA B
    OP(0xA9, OP_XRA(GET_C))                                       // XRA C
    OP(0xAA, OP_XRA(GET_D))                                       // XRA D
    OP(0xAB, OP_XRA(GET_E))                                       // XRA E
    OP(0xAC, OP_XRA(GET_H))                                       // XRA H
    OP(0xAD, OP_XRA(GET_L))                                       // XRA L
    OP(0xAE, OP_XRA(GET_M))                                       // XRA M
    OP(0xAF, OP_XRA(GET_A))                                       // XRA A
    OP(0xB0, OP_ORA(GET_B))                                       // ORA B
    OP(0xB1, OP_ORA(GET_C))                                       // ORA C
    OP(0xB2, OP_ORA(GET_D))                                       // ORA D
    OP(0xB3, OP_ORA(GET_E))                                       // ORA E
    OP(0xB4, OP_ORA(GET_H))                                       // ORA H
    OP(0xB5, OP_ORA(GET_L))                                       // ORA L
    OP(0xB6, OP_ORA(GET_M))                                       // ORA M
    OP(0xB7, OP_ORA(GET_A))                                       // ORA A
    OP(0xB8, OP_CMP(GET_B))                                       // CMP B
    OP(0xB9, OP_CMP(GET_C))                                       // CMP C
    OP(0xBA, OP_CMP(GET_D))                                       // CMP D
    OP(0xBB, OP_CMP(GET_E))                                       // CMP E
    OP(0xBC, OP_CMP(GET_H))                                       // CMP H
    OP(0xBD, OP_CMP(GET_L))                                       // CMP L
    OP(0xBE, OP_CMP(GET_M))                                       // CMP M
    OP(0xBF, OP_CMP(GET_A))                                       // CMP A
    COND(0xC0, CC_NZ, pc = POP)                                   // RNZ
    OP(0xC1, bc = POP)                                            // POP B
    COND(0xC2, CC_NZ, pc = IMM16)                                 // JNZ a16
    JUMP(0xC3, pc = IMM16)                                        // JMP a16
    COND(0xC4, CC_NZ, CALL(IMM16))                                // CNZ a16
    OP(0xC5, PUSH(bc))                                            // PUSH B
    OP(0xC6, OP_ADD(IMM8))                                        // ADI d8
    JUMP(0xC7, RST(0))                                            // RST 0
    COND(0xC8, CC_Z, pc = POP)                                    // RZ
    JUMP(0xC9, pc = POP)                                          // RET
    COND(0xCA, CC_Z, pc = IMM16)                                  // JZ a16
    JUMP(0xCB, signal_inv_opc(); pc = IMM16)                      // undocumented JMP a16
    COND(0xCC, CC_Z, CALL(IMM16))                                 // CZ a16
    JUMP(0xCD, CALL(IMM16))                                       // CALL a16
    OP(0xCE, OP_ADC(IMM8))                                        // ACI d8
    JUMP(0xCF, RST(1))                                            // RST 1
    COND(0xD0, CC_NC, pc = POP)                                   // RNC
    OP(0xD1, de = POP)                                            // POP D
    COND(0xD2, CC_NC, pc = IMM16)                                 // JNC a16
L_0xD3:  // OUT d8
    port_out<CHECK>(m, PORT, static_cast<uint8_t>(a), cs);
    ADVANCE(0xD3);
    if (m.ram_mode() != RAM) {  // the other copy of the loop takes over
        if constexpr (CHECK) pending = true;
        goto done;
    }
    NEXT;
    COND(0xD4, CC_NC, CALL(IMM16))                                // CNC a16
    OP(0xD5, PUSH(de))                                            // PUSH D
    OP(0xD6, OP_SUB(IMM8))                                        // SUI d8
    JUMP(0xD7, RST(2))                                            // RST 2
    COND(0xD8, CC_C, pc = POP)                                    // RC
    JUMP(0xD9, signal_inv_opc(); pc = POP)                        // undocumented RET
    COND(0xDA, CC_C, pc = IMM16)                                  // JC a16
    OP(0xDB, a = port_in<CHECK>(m, PORT, cs))                     // IN d8
    COND(0xDC, CC_C, CALL(IMM16))                                 // CC a16
    JUMP(0xDD, signal_inv_opc(); CALL(IMM16))                     // undocumented CALL a16
    OP(0xDE, OP_SBB(IMM8))                                        // SBI d8
    JUMP(0xDF, RST(3))                                            // RST 3
    COND(0xE0, CC_PO, pc = POP)                                   // RPO
    OP(0xE1, hl = POP)                                            // POP H
    COND(0xE2, CC_PO, pc = IMM16)                                 // JPO a16
    OP(0xE3, const uint64_t t = RD16(sp); WR16(sp, hl); hl = t)   // XTHL
    COND(0xE4, CC_PO, CALL(IMM16))                                // CPO a16
    OP(0xE5, PUSH(hl))                                            // PUSH H
    OP(0xE6, OP_ANA(IMM8))                                        // ANI d8
    JUMP(0xE7, RST(4))                                            // RST 4
    COND(0xE8, CC_PE, pc = POP)                                   // RPE
    JUMP(0xE9, pc = hl)                                           // PCHL
    COND(0xEA, CC_PE, pc = IMM16)                                 // JPE a16
    OP(0xEB, std::swap(de, hl))                                   // XCHG
    COND(0xEC, CC_PE, CALL(IMM16))                                // CPE a16
    JUMP(0xED, signal_inv_opc(); CALL(IMM16))                     // undocumented CALL a16
    OP(0xEE, OP_XRA(IMM8))                                        // XRI d8
    JUMP(0xEF, RST(5))                                            // RST 5
    COND(0xF0, CC_P, pc = POP)                                    // RP
    OP(0xF1, SET_PSW(POP))                                        // POP PSW
    COND(0xF2, CC_P, pc = IMM16)                                  // JP a16
    OP(0xF3, /* no interrupts exist */)                           // DI
    COND(0xF4, CC_P, CALL(IMM16))                                 // CP a16
    OP(0xF5, PUSH(GET_PSW))                                       // PUSH PSW
    OP(0xF6, OP_ORA(IMM8))                                        // ORI d8
    JUMP(0xF7, RST(6))                                            // RST 6
    COND(0xF8, CC_M, pc = POP)                                    // RM
    OP(0xF9, sp = hl)                                             // SPHL
    COND(0xFA, CC_M, pc = IMM16)                                  // JM a16
    OP(0xFB, /* no interrupts exist */)                           // EI
    COND(0xFC, CC_M, CALL(IMM16))                                 // CM a16
    JUMP(0xFD, signal_inv_opc(); CALL(IMM16))                     // undocumented CALL a16
    OP(0xFE, OP_CMP(IMM8))                                        // CPI d8
    JUMP(0xFF, RST(7))                                            // RST 7
    // clang-format on

#if !LVOV_COMPUTED_GOTO
next:
    if (left < 0) goto done;
#define CASES16(h)                  \
    case 0x##h##0: goto L_0x##h##0; \
    case 0x##h##1: goto L_0x##h##1; \
    case 0x##h##2: goto L_0x##h##2; \
    case 0x##h##3: goto L_0x##h##3; \
    case 0x##h##4: goto L_0x##h##4; \
    case 0x##h##5: goto L_0x##h##5; \
    case 0x##h##6: goto L_0x##h##6; \
    case 0x##h##7: goto L_0x##h##7; \
    case 0x##h##8: goto L_0x##h##8; \
    case 0x##h##9: goto L_0x##h##9; \
    case 0x##h##A: goto L_0x##h##A; \
    case 0x##h##B: goto L_0x##h##B; \
    case 0x##h##C: goto L_0x##h##C; \
    case 0x##h##D: goto L_0x##h##D; \
    case 0x##h##E: goto L_0x##h##E; \
    case 0x##h##F: goto L_0x##h##F
    switch (FETCH(pc)) {
        CASES16(0);
        CASES16(1);
        CASES16(2);
        CASES16(3);
        CASES16(4);
        CASES16(5);
        CASES16(6);
        CASES16(7);
        CASES16(8);
        CASES16(9);
        CASES16(A);
        CASES16(B);
        CASES16(C);
        CASES16(D);
        CASES16(E);
        CASES16(F);
    }
#undef CASES16
#endif

done:
    if constexpr (CHECK) {
        ExecHooks& h = cs->hooks;
        h.instructions += instructions;
        h.trace.total = trace_total;
        h.instruction_limit = limit;
        cs->pending = pending;
        cs->skip_exec = skip_exec;
        cs->op = static_cast<uint8_t>(op);
        cs->sp_before = static_cast<uint16_t>(sp_before);
        cs->trace_head = trace_head;
    }
    SYNC;
    left_io = left;
#undef ADD16
#undef DISPATCH
#undef DISPATCH_OP
#undef FETCH
#undef SYNC
#undef ADVANCE
#undef CALL
#undef CC_C
#undef CC_M
#undef CC_NC
#undef CC_NZ
#undef CC_P
#undef CC_PE
#undef CC_PO
#undef CC_Z
#undef COND
#undef DCR_HI
#undef DCR_M
#undef DCR_R
#undef GET_A
#undef GET_B
#undef GET_C
#undef GET_D
#undef GET_E
#undef GET_H
#undef GET_L
#undef GET_M
#undef GET_PSW
#undef IMM16
#undef IMM8
#undef INR_HI
#undef INR_M
#undef INR_R
#undef JUMP
#undef NEXT
#undef OP
#undef OP_ADC
#undef OP_ADD
#undef OP_ANA
#undef OP_CMP
#undef OP_ORA
#undef OP_SBB
#undef OP_SUB
#undef OP_XRA
#undef POP
#undef PORT
#undef PUSH
#undef RD
#undef RD16
#undef RST
#undef SET_A
#undef SET_B
#undef SET_C
#undef SET_D
#undef SET_E
#undef SET_H
#undef SET_L
#undef SET_M
#undef SET_PSW
#undef WR
#undef WR16
}

}  // namespace

bool signal_inv_opc() { return false; }

bool i8080_run_checked(MachineState& m, int32_t budget, ExecHooks& hooks) {
    m.cycles = 0;
    hooks.stop_cause = StopCause::None;
    const bool skip = std::exchange(hooks.skip_first_exec, false);
    if (budget <= 0) return false;
    if (budget > MAX_BUDGET) budget = MAX_BUDGET;
    CheckState cs(hooks, skip);
    int32_t left = budget - 1;
    // Once more after the budget when the last instruction's checks are still due (an OUT
    // that flipped the memory map left the loop before its check point).
    while ((left >= 0 || cs.pending) && !cs.stopped) {
        if (m.ram_mode()) {
            run<true, true>(m, left, &cs);
        } else {
            run<false, true>(m, left, &cs);
        }
    }
    m.cycles = budget - 1 - left;
    hooks.cycles += m.cycles;
    return cs.stopped;
}

void i8080_do_opcodes(MachineState& m, int32_t budget) {
    m.cycles = 0;
    if (budget <= 0) return;
    if (budget > MAX_BUDGET) budget = MAX_BUDGET;
    int32_t left = budget - 1;
    while (left >= 0) {
        if (m.ram_mode()) {
            run<true>(m, left);
        } else {
            run<false>(m, left);
        }
    }
    m.cycles = budget - 1 - left;
}

}  // namespace lvov
