// The Intel 8080 interpreter.
//
// One run keeps the registers in local variables (the pairs BC, DE and HL as 16-bit
// values, since most instructions use them as addresses) and dispatches with a table of
// label addresses (GCC computed goto), each handler ending in its own dispatch so the
// host's branch predictor sees one indirect jump per opcode. The registers go back into
// the MachineState when the run ends and nowhere else: nothing else runs during a run.
//
// The loop body exists twice, once for each setting of the memory-map switch (bit 1 of
// latch C2), each with the map's routing for its setting built in: in the RAM-mode copy
// a read is one array access and a write one comparison against C000. The switch can
// only change through OUT, so the OUT handler leaves the loop as soon as the bit no
// longer matches the copy that is running, and the very next fetch goes through the new
// map. Two-byte accesses (operands, stack, LHLD/SHLD) are one host access when both
// bytes are plain memory, byte by byte through the map otherwise.
//
// Cycles count down from the budget: "left" is budget - cycles - 1, and the loop runs
// while it is not negative (a sign test the host reads straight from the subtraction).
// The instruction that crosses the budget completes; the caller turns the remainder
// back into m.cycles.
#include "core/i8080.h"

#include <array>
#include <bit>
#include <cstring>

#include "core/ports.h"

namespace lvov {

namespace {

// S, Z, P and the fixed bit 1 of a result byte: the same rule as flag_table.
constexpr uint8_t szp_flags(unsigned v) {
    uint8_t f = FLAG_FIXED;
    if (v & 0x80) f |= FLAG_S;
    if (v == 0) f |= FLAG_Z;
    if (std::popcount(v) % 2 == 0) f |= FLAG_P;
    return f;
}

// Flags of INR and DCR for every operand, AC included (set when bit 4 of the operand
// and of the result differ); the caller ORs in the unchanged CY.
struct IncDecFlags {
    std::array<uint8_t, 256> inr{};
    std::array<uint8_t, 256> dcr{};
    constexpr IncDecFlags() {
        for (unsigned v = 0; v < 256; ++v) {
            const unsigned up = (v + 1) & 0xFF;
            const unsigned down = (v - 1) & 0xFF;
            inr[v] = static_cast<uint8_t>(szp_flags(up) | ((v ^ up) & FLAG_AC));
            dcr[v] = static_cast<uint8_t>(szp_flags(down) | ((v ^ down) & FLAG_AC));
        }
    }
};
constexpr IncDecFlags kIncDec;

constexpr bool kLittleHost = std::endian::native == std::endian::little;

// Mapped access with the state of the map switch known at compile time: the routing
// of do_read/do_write for that state, without reading latch C2 again on every access.
//   RAM mode:   0000-BFFF memory; C000-FFFF memory, writes dropped
//   video mode: 0000-3FFF reads 00, writes dropped; 4000-7FFF vram; 8000-BFFF memory;
//               C000-FFFF memory, writes dropped
// Addresses are 0000-FFFF: callers reduce sums such as PC + 1 first.
template <bool RAM>
inline uint8_t rd(const MachineState& m, uint64_t a) {
    if constexpr (!RAM) {
        if (a < 0x8000) return a >= 0x4000 ? m.vram[a - 0x4000] : 0x00;
    }
    return m.memory[a];
}

template <bool RAM>
inline void wr(MachineState& m, uint64_t a, uint8_t value) {
    if (a >= ROM_START) return;
    if constexpr (!RAM) {
        if (a < 0x8000) {
            if (a >= 0x4000) m.vram[a - 0x4000] = value;
            return;
        }
    }
    m.memory[a] = value;
}

// The lowest address from which reads and writes reach plain memory in this mode.
template <bool RAM>
constexpr uint64_t kPlainFrom = RAM ? 0x0000 : 0x8000;

// Little-endian word at a, the high byte from a + 1 wrapping past FFFF. One host access
// when both bytes are plain memory.
template <bool RAM>
inline uint64_t rd16(const MachineState& m, uint64_t a) {
    if constexpr (kLittleHost) {
        if (a - kPlainFrom<RAM> < 0xFFFF - kPlainFrom<RAM>) [[likely]] {
            uint16_t w;
            std::memcpy(&w, m.memory.data() + a, 2);
            return w;
        }
    }
    return rd<RAM>(m, a) | (rd<RAM>(m, (a + 1) & 0xFFFF) << 8);
}

// Low byte at a, then high byte at a + 1 (wrapping), each through the map.
template <bool RAM>
inline void wr16(MachineState& m, uint64_t a, uint64_t v) {
    if constexpr (kLittleHost) {
        if (a - kPlainFrom<RAM> < (ROM_START - 1u) - kPlainFrom<RAM>) [[likely]] {
            const uint16_t w = static_cast<uint16_t>(v);
            std::memcpy(m.memory.data() + a, &w, 2);
            return;
        }
    }
    wr<RAM>(m, a, static_cast<uint8_t>(v));
    wr<RAM>(m, (a + 1) & 0xFFFF, static_cast<uint8_t>(v >> 8));
}

// The two operand bytes of the instruction at pc.
template <bool RAM>
inline uint64_t imm16(const MachineState& m, uint64_t pc) {
    if constexpr (kLittleHost) {
        constexpr uint64_t from = RAM ? 0 : kPlainFrom<RAM> - 1;  // pc + 1 is plain memory
        if (pc - from < 0xFFFE - from) [[likely]] {
            uint16_t w;
            std::memcpy(&w, m.memory.data() + pc + 1, 2);
            return w;
        }
    }
    return rd<RAM>(m, (pc + 1) & 0xFFFF) | (rd<RAM>(m, (pc + 2) & 0xFFFF) << 8);
}

// Runs while left >= 0 or until an OUT flips the map switch away from RAM.
template <bool RAM>
void run(MachineState& m, int32_t& left_io) {
#define T16(h)                                                                              \
    &&L_0x##h##0, &&L_0x##h##1, &&L_0x##h##2, &&L_0x##h##3, &&L_0x##h##4, &&L_0x##h##5,     \
        &&L_0x##h##6, &&L_0x##h##7, &&L_0x##h##8, &&L_0x##h##9, &&L_0x##h##A, &&L_0x##h##B, \
        &&L_0x##h##C, &&L_0x##h##D, &&L_0x##h##E, &&L_0x##h##F
    // The handler addresses and the INR/DCR flag tables in one object, so that the
    // tables are addressed from the register that already holds the dispatch table.
    struct Tables {
        std::array<const void*, 256> dispatch;
        std::array<uint8_t, 256> inr, dcr;
    };
    static const Tables tables = {{T16(0), T16(1), T16(2), T16(3), T16(4), T16(5), T16(6), T16(7), T16(8),
                                   T16(9), T16(A), T16(B), T16(C), T16(D), T16(E), T16(F)},
                                  kIncDec.inr,
                                  kIncDec.dcr};
    const auto& dispatch = tables.dispatch;
#undef T16

    // Every local holds its register's value exactly: 8-bit ones 00-FF, pairs and
    // pointers 0000-FFFF.
    // (64-bit, so that they index memory as they are.)
    uint64_t a = m.A, f = m.F;
    uint64_t bc = (m.B << 8) | m.C, de = (m.D << 8) | m.E, hl = (m.H << 8) | m.L;
    uint64_t pc = m.PC, sp = m.SP;
    int32_t left = left_io;
    const auto& ft = m.flag_table;

    // var := (var + n) modulo 65,536 for a local that holds 0000-FFFF.
#define ADD16(var, n) var = (var + (n)) & 0xFFFF
#define RD(addr) rd<RAM>(m, (addr))
#define WR(addr, v) wr<RAM>(m, (addr), (v))
#define NEXT                           \
    do {                               \
        if (left < 0) [[unlikely]] {   \
            m.PC = static_cast<uint16_t>(pc); \
            goto done;                 \
        }                              \
        goto* dispatch[RD(pc)];        \
    } while (0)
#define STEP(len, cyc)               \
    ADD16(pc, len);                  \
    left -= (cyc);                   \
    NEXT
#define IMM8 RD((pc + 1) & 0xFFFF)
#define IMM16 imm16<RAM>(m, pc)
#define PUSH16(v)                    \
    do {                             \
        const uint64_t pv_ = (v);    \
        ADD16(sp, -2);               \
        wr16<RAM>(m, sp, pv_);       \
    } while (0)
#define POP16(dst)                   \
    do {                             \
        dst = rd16<RAM>(m, sp);      \
        ADD16(sp, 2);                \
    } while (0)

    // The six 8-bit registers inside their pairs.
#define GET_B (bc >> 8)
#define GET_C (bc & 0xFF)
#define GET_D (de >> 8)
#define GET_E (de & 0xFF)
#define GET_H (hl >> 8)
#define GET_L (hl & 0xFF)
#define GET_M RD(hl)
#define GET_A a
#define SET_B(v) bc = (bc & 0x00FF) | (static_cast<uint64_t>(v) << 8)
#define SET_C(v) bc = (bc & 0xFF00) | static_cast<uint64_t>(v)
#define SET_D(v) de = (de & 0x00FF) | (static_cast<uint64_t>(v) << 8)
#define SET_E(v) de = (de & 0xFF00) | static_cast<uint64_t>(v)
#define SET_H(v) hl = (hl & 0x00FF) | (static_cast<uint64_t>(v) << 8)
#define SET_L(v) hl = (hl & 0xFF00) | static_cast<uint64_t>(v)
#define SET_M(v) WR(hl, (v))
#define SET_A(v) a = (v)

    // Arithmetic and logic. r is the result before truncation, computed in 64 bits:
    // a carry shows in bit 8, a borrow as all high bits set (bit 63 taken as CY).
#define ADD8(v, cin)                                                        \
    do {                                                                    \
        const uint64_t v_ = (v);                                            \
        const uint64_t r_ = a + v_ + (cin);                                 \
        f = ft[r_ & 0xFF] | ((a ^ v_ ^ r_) & FLAG_AC) | (r_ >> 8);          \
        a = r_ & 0xFF;                                                      \
    } while (0)
#define SUB8(v, cin, store)                                                 \
    do {                                                                    \
        const uint64_t v_ = (v);                                            \
        const uint64_t r_ = a - v_ - (cin);                                 \
        f = ft[r_ & 0xFF] | ((a ^ v_ ^ r_) & FLAG_AC) | (r_ >> 63);         \
        if (store) a = r_ & 0xFF;                                           \
    } while (0)
#define OP_ADD(v) ADD8(v, 0)
#define OP_ADC(v) ADD8(v, f & FLAG_CY)
#define OP_SUB(v) SUB8(v, 0, true)
#define OP_SBB(v) SUB8(v, f & FLAG_CY, true)
#define OP_CMP(v) SUB8(v, 0, false)
    // Logical operations keep AC as it was and clear CY.
#define OP_ANA(v)                          \
    do {                                   \
        a &= (v);                          \
        f = ft[a] | (f & FLAG_AC);         \
    } while (0)
#define OP_XRA(v)                          \
    do {                                   \
        a ^= (v);                          \
        f = ft[a] | (f & FLAG_AC);         \
    } while (0)
#define OP_ORA(v)                          \
    do {                                   \
        a |= (v);                          \
        f = ft[a] | (f & FLAG_AC);         \
    } while (0)

#define INR_R(GET, SET)                                  \
    do {                                                 \
        const uint64_t v_ = GET;                         \
        f = tables.inr[v_] | (f & FLAG_CY);             \
        SET((v_ + 1) & 0xFF);                            \
    } while (0)
#define DCR_R(GET, SET)                                  \
    do {                                                 \
        const uint64_t v_ = GET;                         \
        f = tables.dcr[v_] | (f & FLAG_CY);             \
        SET((v_ - 1) & 0xFF);                            \
    } while (0)
#define INR_HI(pair)                                     \
    do {                                                 \
        f = tables.inr[pair >> 8] | (f & FLAG_CY);      \
        pair = (pair + 0x100) & 0xFFFF;                  \
    } while (0)
#define DCR_HI(pair)                                     \
    do {                                                 \
        f = tables.dcr[pair >> 8] | (f & FLAG_CY);      \
        pair = (pair - 0x100) & 0xFFFF;                  \
    } while (0)
#define DAD(v)                                           \
    do {                                                 \
        hl += (v);                                       \
        f = (f & ~uint64_t{FLAG_CY}) | (hl >> 16);       \
        hl &= 0xFFFF;                                    \
    } while (0)

    // Conditions of jumps, calls and returns.
#define CC_NZ (!(f & FLAG_Z))
#define CC_Z (f & FLAG_Z)
#define CC_NC (!(f & FLAG_CY))
#define CC_C (f & FLAG_CY)
#define CC_PO (!(f & FLAG_P))
#define CC_PE (f & FLAG_P)
#define CC_P (!(f & FLAG_S))
#define CC_M (f & FLAG_S)
#define JCC(cond)                    \
    if (cond) {                      \
        pc = IMM16;                  \
    } else {                         \
        ADD16(pc, 3);                \
    }                                \
    left -= 10;                      \
    NEXT
#define CALL_TAKEN                   \
    do {                             \
        const uint64_t t_ = IMM16;   \
        PUSH16(pc + 3);              \
        pc = t_;                     \
        left -= 17;                  \
    } while (0)
#define CCC(cond)                    \
    if (cond) {                      \
        CALL_TAKEN;                  \
    } else {                         \
        ADD16(pc, 3);                \
        left -= 11;                  \
    }                                \
    NEXT
#define RCC(cond)                    \
    if (cond) {                      \
        POP16(pc);                   \
        left -= 11;                  \
    } else {                         \
        ADD16(pc, 1);                \
        left -= 5;                   \
    }                                \
    NEXT
#define RST(n)                       \
    PUSH16(pc + 1);                  \
    pc = (n) * 8;                    \
    left -= 11;                      \
    NEXT

    NEXT;

L_0x00:  // NOP
    STEP(1, 4);
L_0x08:  // undocumented NOP
L_0x10:  // undocumented NOP
L_0x18:  // undocumented NOP
L_0x20:  // undocumented NOP
L_0x28:  // undocumented NOP
L_0x30:  // undocumented NOP
L_0x38:  // undocumented NOP
    signal_inv_opc();
    STEP(1, 4);
L_0x01:  // LXI B,d16
    bc = IMM16;
    STEP(3, 10);
L_0x11:  // LXI D,d16
    de = IMM16;
    STEP(3, 10);
L_0x21:  // LXI H,d16
    hl = IMM16;
    STEP(3, 10);
L_0x31:  // LXI SP,d16
    sp = IMM16;
    STEP(3, 10);
L_0x02:  // STAX B
    WR(bc, a);
    STEP(1, 7);
L_0x12:  // STAX D
    WR(de, a);
    STEP(1, 7);
L_0x22:  // SHLD a16
    wr16<RAM>(m, IMM16, hl);
    STEP(3, 16);
L_0x32:  // STA a16
    WR(IMM16, a);
    STEP(3, 13);
L_0x0A:  // LDAX B
    a = RD(bc);
    STEP(1, 7);
L_0x1A:  // LDAX D
    a = RD(de);
    STEP(1, 7);
L_0x2A:  // LHLD a16
    hl = rd16<RAM>(m, IMM16);
    STEP(3, 16);
L_0x3A:  // LDA a16
    a = RD(IMM16);
    STEP(3, 13);
L_0x03:  // INX B
    ADD16(bc, 1);
    STEP(1, 5);
L_0x0B:  // DCX B
    ADD16(bc, -1);
    STEP(1, 5);
L_0x09:  // DAD B
    DAD(bc);
    STEP(1, 10);
L_0x13:  // INX D
    ADD16(de, 1);
    STEP(1, 5);
L_0x1B:  // DCX D
    ADD16(de, -1);
    STEP(1, 5);
L_0x19:  // DAD D
    DAD(de);
    STEP(1, 10);
L_0x23:  // INX H
    ADD16(hl, 1);
    STEP(1, 5);
L_0x2B:  // DCX H
    ADD16(hl, -1);
    STEP(1, 5);
L_0x29:  // DAD H
    DAD(hl);
    STEP(1, 10);
L_0x33:  // INX SP
    ADD16(sp, 1);
    STEP(1, 5);
L_0x3B:  // DCX SP
    ADD16(sp, -1);
    STEP(1, 5);
L_0x39:  // DAD SP
    DAD(sp);
    STEP(1, 10);
L_0x04:  // INR B
    INR_HI(bc);
    STEP(1, 5);
L_0x05:  // DCR B
    DCR_HI(bc);
    STEP(1, 5);
L_0x06:  // MVI B,d8
    SET_B(IMM8);
    STEP(2, 7);
L_0x0C:  // INR C
    INR_R(GET_C, SET_C);
    STEP(1, 5);
L_0x0D:  // DCR C
    DCR_R(GET_C, SET_C);
    STEP(1, 5);
L_0x0E:  // MVI C,d8
    SET_C(IMM8);
    STEP(2, 7);
L_0x14:  // INR D
    INR_HI(de);
    STEP(1, 5);
L_0x15:  // DCR D
    DCR_HI(de);
    STEP(1, 5);
L_0x16:  // MVI D,d8
    SET_D(IMM8);
    STEP(2, 7);
L_0x1C:  // INR E
    INR_R(GET_E, SET_E);
    STEP(1, 5);
L_0x1D:  // DCR E
    DCR_R(GET_E, SET_E);
    STEP(1, 5);
L_0x1E:  // MVI E,d8
    SET_E(IMM8);
    STEP(2, 7);
L_0x24:  // INR H
    INR_HI(hl);
    STEP(1, 5);
L_0x25:  // DCR H
    DCR_HI(hl);
    STEP(1, 5);
L_0x26:  // MVI H,d8
    SET_H(IMM8);
    STEP(2, 7);
L_0x2C:  // INR L
    INR_R(GET_L, SET_L);
    STEP(1, 5);
L_0x2D:  // DCR L
    DCR_R(GET_L, SET_L);
    STEP(1, 5);
L_0x2E:  // MVI L,d8
    SET_L(IMM8);
    STEP(2, 7);
L_0x34:  // INR M
    {
        const uint64_t v = RD(hl);
        f = tables.inr[v] | (f & FLAG_CY);
        WR(hl, static_cast<uint8_t>(v + 1));
    }
    STEP(1, 10);
L_0x35:  // DCR M
    {
        const uint64_t v = RD(hl);
        f = tables.dcr[v] | (f & FLAG_CY);
        WR(hl, static_cast<uint8_t>(v - 1));
    }
    STEP(1, 10);
L_0x36:  // MVI M,d8
    WR(hl, IMM8);
    STEP(2, 10);
L_0x3C:  // INR A
    INR_R(GET_A, SET_A);
    STEP(1, 5);
L_0x3D:  // DCR A
    DCR_R(GET_A, SET_A);
    STEP(1, 5);
L_0x3E:  // MVI A,d8
    SET_A(IMM8);
    STEP(2, 7);
L_0x07:  // RLC
    f = (f & ~uint64_t{FLAG_CY}) | (a >> 7);
    a = std::rotl(static_cast<uint8_t>(a), 1);
    STEP(1, 4);
L_0x0F:  // RRC
    f = (f & ~uint64_t{FLAG_CY}) | (a & 1);
    a = std::rotr(static_cast<uint8_t>(a), 1);
    STEP(1, 4);
L_0x17:  // RAL
    {
        const uint64_t cy = a >> 7;
        a = ((a << 1) | (f & FLAG_CY)) & 0xFF;
        f = (f & ~uint64_t{FLAG_CY}) | cy;
    }
    STEP(1, 4);
L_0x1F:  // RAR
    {
        const uint64_t cy = a & 1;
        a = (a >> 1) | ((f & FLAG_CY) << 7);
        f = (f & ~uint64_t{FLAG_CY}) | cy;
    }
    STEP(1, 4);
L_0x27:  // DAA
    {  // add 60 when CY is set or A > 99, add 06 when AC is set or the low nibble > 9
        uint64_t corr = 0;
        if ((f & FLAG_CY) || a > 0x99) corr += 0x60;
        if ((f & FLAG_AC) || (a & 0x0F) > 9) corr += 0x06;
        const uint64_t r = a + corr;
        f = ft[r & 0xFF] | ((a ^ corr ^ r) & FLAG_AC) | (r >> 8) | (f & FLAG_CY);
        a = r & 0xFF;
    }
    STEP(1, 4);
L_0x2F:  // CMA
    a ^= 0xFF;
    STEP(1, 4);
L_0x37:  // STC
    f |= FLAG_CY;
    STEP(1, 4);
L_0x3F:  // CMC
    f ^= FLAG_CY;
    STEP(1, 4);
L_0x40:  // MOV B,B
    STEP(1, 5);
L_0x41:  // MOV B,C
    SET_B(GET_C);
    STEP(1, 5);
L_0x42:  // MOV B,D
    SET_B(GET_D);
    STEP(1, 5);
L_0x43:  // MOV B,E
    SET_B(GET_E);
    STEP(1, 5);
L_0x44:  // MOV B,H
    SET_B(GET_H);
    STEP(1, 5);
L_0x45:  // MOV B,L
    SET_B(GET_L);
    STEP(1, 5);
L_0x46:  // MOV B,M
    SET_B(GET_M);
    STEP(1, 7);
L_0x47:  // MOV B,A
    SET_B(GET_A);
    STEP(1, 5);
L_0x48:  // MOV C,B
    SET_C(GET_B);
    STEP(1, 5);
L_0x49:  // MOV C,C
    STEP(1, 5);
L_0x4A:  // MOV C,D
    SET_C(GET_D);
    STEP(1, 5);
L_0x4B:  // MOV C,E
    SET_C(GET_E);
    STEP(1, 5);
L_0x4C:  // MOV C,H
    SET_C(GET_H);
    STEP(1, 5);
L_0x4D:  // MOV C,L
    SET_C(GET_L);
    STEP(1, 5);
L_0x4E:  // MOV C,M
    SET_C(GET_M);
    STEP(1, 7);
L_0x4F:  // MOV C,A
    SET_C(GET_A);
    STEP(1, 5);
L_0x50:  // MOV D,B
    SET_D(GET_B);
    STEP(1, 5);
L_0x51:  // MOV D,C
    SET_D(GET_C);
    STEP(1, 5);
L_0x52:  // MOV D,D
    STEP(1, 5);
L_0x53:  // MOV D,E
    SET_D(GET_E);
    STEP(1, 5);
L_0x54:  // MOV D,H
    SET_D(GET_H);
    STEP(1, 5);
L_0x55:  // MOV D,L
    SET_D(GET_L);
    STEP(1, 5);
L_0x56:  // MOV D,M
    SET_D(GET_M);
    STEP(1, 7);
L_0x57:  // MOV D,A
    SET_D(GET_A);
    STEP(1, 5);
L_0x58:  // MOV E,B
    SET_E(GET_B);
    STEP(1, 5);
L_0x59:  // MOV E,C
    SET_E(GET_C);
    STEP(1, 5);
L_0x5A:  // MOV E,D
    SET_E(GET_D);
    STEP(1, 5);
L_0x5B:  // MOV E,E
    STEP(1, 5);
L_0x5C:  // MOV E,H
    SET_E(GET_H);
    STEP(1, 5);
L_0x5D:  // MOV E,L
    SET_E(GET_L);
    STEP(1, 5);
L_0x5E:  // MOV E,M
    SET_E(GET_M);
    STEP(1, 7);
L_0x5F:  // MOV E,A
    SET_E(GET_A);
    STEP(1, 5);
L_0x60:  // MOV H,B
    SET_H(GET_B);
    STEP(1, 5);
L_0x61:  // MOV H,C
    SET_H(GET_C);
    STEP(1, 5);
L_0x62:  // MOV H,D
    SET_H(GET_D);
    STEP(1, 5);
L_0x63:  // MOV H,E
    SET_H(GET_E);
    STEP(1, 5);
L_0x64:  // MOV H,H
    STEP(1, 5);
L_0x65:  // MOV H,L
    SET_H(GET_L);
    STEP(1, 5);
L_0x66:  // MOV H,M
    SET_H(GET_M);
    STEP(1, 7);
L_0x67:  // MOV H,A
    SET_H(GET_A);
    STEP(1, 5);
L_0x68:  // MOV L,B
    SET_L(GET_B);
    STEP(1, 5);
L_0x69:  // MOV L,C
    SET_L(GET_C);
    STEP(1, 5);
L_0x6A:  // MOV L,D
    SET_L(GET_D);
    STEP(1, 5);
L_0x6B:  // MOV L,E
    SET_L(GET_E);
    STEP(1, 5);
L_0x6C:  // MOV L,H
    SET_L(GET_H);
    STEP(1, 5);
L_0x6D:  // MOV L,L
    STEP(1, 5);
L_0x6E:  // MOV L,M
    SET_L(GET_M);
    STEP(1, 7);
L_0x6F:  // MOV L,A
    SET_L(GET_A);
    STEP(1, 5);
L_0x70:  // MOV M,B
    SET_M(GET_B);
    STEP(1, 7);
L_0x71:  // MOV M,C
    SET_M(GET_C);
    STEP(1, 7);
L_0x72:  // MOV M,D
    SET_M(GET_D);
    STEP(1, 7);
L_0x73:  // MOV M,E
    SET_M(GET_E);
    STEP(1, 7);
L_0x74:  // MOV M,H
    SET_M(GET_H);
    STEP(1, 7);
L_0x75:  // MOV M,L
    SET_M(GET_L);
    STEP(1, 7);
L_0x76:  // HLT
    STEP(1, 4);  // does not halt: a 4-cycle no-op
L_0x77:  // MOV M,A
    SET_M(GET_A);
    STEP(1, 7);
L_0x78:  // MOV A,B
    SET_A(GET_B);
    STEP(1, 5);
L_0x79:  // MOV A,C
    SET_A(GET_C);
    STEP(1, 5);
L_0x7A:  // MOV A,D
    SET_A(GET_D);
    STEP(1, 5);
L_0x7B:  // MOV A,E
    SET_A(GET_E);
    STEP(1, 5);
L_0x7C:  // MOV A,H
    SET_A(GET_H);
    STEP(1, 5);
L_0x7D:  // MOV A,L
    SET_A(GET_L);
    STEP(1, 5);
L_0x7E:  // MOV A,M
    SET_A(GET_M);
    STEP(1, 7);
L_0x7F:  // MOV A,A
    STEP(1, 5);
L_0x80:  // ADD B
    OP_ADD(GET_B);
    STEP(1, 4);
L_0x81:  // ADD C
    OP_ADD(GET_C);
    STEP(1, 4);
L_0x82:  // ADD D
    OP_ADD(GET_D);
    STEP(1, 4);
L_0x83:  // ADD E
    OP_ADD(GET_E);
    STEP(1, 4);
L_0x84:  // ADD H
    OP_ADD(GET_H);
    STEP(1, 4);
L_0x85:  // ADD L
    OP_ADD(GET_L);
    STEP(1, 4);
L_0x86:  // ADD M
    OP_ADD(GET_M);
    STEP(1, 7);
L_0x87:  // ADD A
    OP_ADD(GET_A);
    STEP(1, 4);
L_0x88:  // ADC B
    OP_ADC(GET_B);
    STEP(1, 4);
L_0x89:  // ADC C
    OP_ADC(GET_C);
    STEP(1, 4);
L_0x8A:  // ADC D
    OP_ADC(GET_D);
    STEP(1, 4);
L_0x8B:  // ADC E
    OP_ADC(GET_E);
    STEP(1, 4);
L_0x8C:  // ADC H
    OP_ADC(GET_H);
    STEP(1, 4);
L_0x8D:  // ADC L
    OP_ADC(GET_L);
    STEP(1, 4);
L_0x8E:  // ADC M
    OP_ADC(GET_M);
    STEP(1, 7);
L_0x8F:  // ADC A
    OP_ADC(GET_A);
    STEP(1, 4);
L_0x90:  // SUB B
    OP_SUB(GET_B);
    STEP(1, 4);
L_0x91:  // SUB C
    OP_SUB(GET_C);
    STEP(1, 4);
L_0x92:  // SUB D
    OP_SUB(GET_D);
    STEP(1, 4);
L_0x93:  // SUB E
    OP_SUB(GET_E);
    STEP(1, 4);
L_0x94:  // SUB H
    OP_SUB(GET_H);
    STEP(1, 4);
L_0x95:  // SUB L
    OP_SUB(GET_L);
    STEP(1, 4);
L_0x96:  // SUB M
    OP_SUB(GET_M);
    STEP(1, 7);
L_0x97:  // SUB A
    OP_SUB(GET_A);
    STEP(1, 4);
L_0x98:  // SBB B
    OP_SBB(GET_B);
    STEP(1, 4);
L_0x99:  // SBB C
    OP_SBB(GET_C);
    STEP(1, 4);
L_0x9A:  // SBB D
    OP_SBB(GET_D);
    STEP(1, 4);
L_0x9B:  // SBB E
    OP_SBB(GET_E);
    STEP(1, 4);
L_0x9C:  // SBB H
    OP_SBB(GET_H);
    STEP(1, 4);
L_0x9D:  // SBB L
    OP_SBB(GET_L);
    STEP(1, 4);
L_0x9E:  // SBB M
    OP_SBB(GET_M);
    STEP(1, 7);
L_0x9F:  // SBB A
    OP_SBB(GET_A);
    STEP(1, 4);
L_0xA0:  // ANA B
    OP_ANA(GET_B);
    STEP(1, 4);
L_0xA1:  // ANA C
    OP_ANA(GET_C);
    STEP(1, 4);
L_0xA2:  // ANA D
    OP_ANA(GET_D);
    STEP(1, 4);
L_0xA3:  // ANA E
    OP_ANA(GET_E);
    STEP(1, 4);
L_0xA4:  // ANA H
    OP_ANA(GET_H);
    STEP(1, 4);
L_0xA5:  // ANA L
    OP_ANA(GET_L);
    STEP(1, 4);
L_0xA6:  // ANA M
    OP_ANA(GET_M);
    STEP(1, 7);
L_0xA7:  // ANA A
    OP_ANA(GET_A);
    STEP(1, 4);
L_0xA8:  // XRA B
    OP_XRA(GET_B);
    STEP(1, 4);
L_0xA9:  // XRA C
    OP_XRA(GET_C);
    STEP(1, 4);
L_0xAA:  // XRA D
    OP_XRA(GET_D);
    STEP(1, 4);
L_0xAB:  // XRA E
    OP_XRA(GET_E);
    STEP(1, 4);
L_0xAC:  // XRA H
    OP_XRA(GET_H);
    STEP(1, 4);
L_0xAD:  // XRA L
    OP_XRA(GET_L);
    STEP(1, 4);
L_0xAE:  // XRA M
    OP_XRA(GET_M);
    STEP(1, 7);
L_0xAF:  // XRA A
    OP_XRA(GET_A);
    STEP(1, 4);
L_0xB0:  // ORA B
    OP_ORA(GET_B);
    STEP(1, 4);
L_0xB1:  // ORA C
    OP_ORA(GET_C);
    STEP(1, 4);
L_0xB2:  // ORA D
    OP_ORA(GET_D);
    STEP(1, 4);
L_0xB3:  // ORA E
    OP_ORA(GET_E);
    STEP(1, 4);
L_0xB4:  // ORA H
    OP_ORA(GET_H);
    STEP(1, 4);
L_0xB5:  // ORA L
    OP_ORA(GET_L);
    STEP(1, 4);
L_0xB6:  // ORA M
    OP_ORA(GET_M);
    STEP(1, 7);
L_0xB7:  // ORA A
    OP_ORA(GET_A);
    STEP(1, 4);
L_0xB8:  // CMP B
    OP_CMP(GET_B);
    STEP(1, 4);
L_0xB9:  // CMP C
    OP_CMP(GET_C);
    STEP(1, 4);
L_0xBA:  // CMP D
    OP_CMP(GET_D);
    STEP(1, 4);
L_0xBB:  // CMP E
    OP_CMP(GET_E);
    STEP(1, 4);
L_0xBC:  // CMP H
    OP_CMP(GET_H);
    STEP(1, 4);
L_0xBD:  // CMP L
    OP_CMP(GET_L);
    STEP(1, 4);
L_0xBE:  // CMP M
    OP_CMP(GET_M);
    STEP(1, 7);
L_0xBF:  // CMP A
    OP_CMP(GET_A);
    STEP(1, 4);
L_0xC6:  // ADI d8
    OP_ADD(IMM8);
    STEP(2, 7);
L_0xCE:  // ACI d8
    OP_ADC(IMM8);
    STEP(2, 7);
L_0xD6:  // SUI d8
    OP_SUB(IMM8);
    STEP(2, 7);
L_0xDE:  // SBI d8
    OP_SBB(IMM8);
    STEP(2, 7);
L_0xE6:  // ANI d8
    OP_ANA(IMM8);
    STEP(2, 7);
L_0xEE:  // XRI d8
    OP_XRA(IMM8);
    STEP(2, 7);
L_0xF6:  // ORI d8
    OP_ORA(IMM8);
    STEP(2, 7);
L_0xFE:  // CPI d8
    OP_CMP(IMM8);
    STEP(2, 7);
L_0xC0:  // RNZ
    RCC(CC_NZ);
L_0xC2:  // JNZ a16
    JCC(CC_NZ);
L_0xC4:  // CNZ a16
    CCC(CC_NZ);
L_0xC7:  // RST 0
    RST(0);
L_0xC8:  // RZ
    RCC(CC_Z);
L_0xCA:  // JZ a16
    JCC(CC_Z);
L_0xCC:  // CZ a16
    CCC(CC_Z);
L_0xCF:  // RST 1
    RST(1);
L_0xD0:  // RNC
    RCC(CC_NC);
L_0xD2:  // JNC a16
    JCC(CC_NC);
L_0xD4:  // CNC a16
    CCC(CC_NC);
L_0xD7:  // RST 2
    RST(2);
L_0xD8:  // RC
    RCC(CC_C);
L_0xDA:  // JC a16
    JCC(CC_C);
L_0xDC:  // CC a16
    CCC(CC_C);
L_0xDF:  // RST 3
    RST(3);
L_0xE0:  // RPO
    RCC(CC_PO);
L_0xE2:  // JPO a16
    JCC(CC_PO);
L_0xE4:  // CPO a16
    CCC(CC_PO);
L_0xE7:  // RST 4
    RST(4);
L_0xE8:  // RPE
    RCC(CC_PE);
L_0xEA:  // JPE a16
    JCC(CC_PE);
L_0xEC:  // CPE a16
    CCC(CC_PE);
L_0xEF:  // RST 5
    RST(5);
L_0xF0:  // RP
    RCC(CC_P);
L_0xF2:  // JP a16
    JCC(CC_P);
L_0xF4:  // CP a16
    CCC(CC_P);
L_0xF7:  // RST 6
    RST(6);
L_0xF8:  // RM
    RCC(CC_M);
L_0xFA:  // JM a16
    JCC(CC_M);
L_0xFC:  // CM a16
    CCC(CC_M);
L_0xFF:  // RST 7
    RST(7);
L_0xC1:  // POP B
    POP16(bc);
    STEP(1, 10);
L_0xC5:  // PUSH B
    PUSH16(bc);
    STEP(1, 11);
L_0xD1:  // POP D
    POP16(de);
    STEP(1, 10);
L_0xD5:  // PUSH D
    PUSH16(de);
    STEP(1, 11);
L_0xE1:  // POP H
    POP16(hl);
    STEP(1, 10);
L_0xE5:  // PUSH H
    PUSH16(hl);
    STEP(1, 11);
L_0xF1:  // POP PSW
    {  // F gets all eight bits as stored
        uint64_t psw;
        POP16(psw);
        a = psw >> 8;
        f = psw & 0xFF;
    }
    STEP(1, 10);
L_0xF5:  // PUSH PSW
    PUSH16((a << 8) | f);
    STEP(1, 11);
L_0xCB:  // undocumented JMP a16
    signal_inv_opc();  // then on as JMP
L_0xC3:  // JMP a16
    pc = IMM16;
    left -= 10;
    NEXT;
L_0xD9:  // undocumented RET
    signal_inv_opc();  // then on as RET
L_0xC9:  // RET
    POP16(pc);
    left -= 10;
    NEXT;
L_0xDD:  // undocumented CALL a16
L_0xED:  // undocumented CALL a16
L_0xFD:  // undocumented CALL a16
    signal_inv_opc();  // then on as CALL
L_0xCD:  // CALL a16
    CALL_TAKEN;
    NEXT;
L_0xD3:  // OUT p
    do_output(m, static_cast<uint8_t>(IMM8), static_cast<uint8_t>(a));
    ADD16(pc, 2);
    left -= 10;
    if (m.ram_mode() != RAM) {  // the other copy of the loop takes over
        m.PC = static_cast<uint16_t>(pc);
        goto done;
    }
    NEXT;
L_0xDB:  // IN p
    a = do_input(m, static_cast<uint8_t>(IMM8));
    STEP(2, 10);
L_0xE3:  // XTHL
    {  // L with the byte at SP, H with the byte at SP + 1
        const uint64_t t = rd16<RAM>(m, sp);
        wr16<RAM>(m, sp, hl);
        hl = t;
    }
    STEP(1, 18);
L_0xE9:  // PCHL
    pc = hl;
    left -= 5;
    NEXT;
L_0xF9:  // SPHL
    sp = hl;
    STEP(1, 5);
L_0xEB:  // XCHG
    {
        const uint64_t t = de;
        de = hl;
        hl = t;
    }
    STEP(1, 4);
L_0xF3:  // DI
L_0xFB:  // EI
    STEP(1, 4);  // no interrupts exist

done:
    m.A = static_cast<uint8_t>(a);
    m.F = static_cast<uint8_t>(f);
    m.B = static_cast<uint8_t>(bc >> 8);
    m.C = static_cast<uint8_t>(bc);
    m.D = static_cast<uint8_t>(de >> 8);
    m.E = static_cast<uint8_t>(de);
    m.H = static_cast<uint8_t>(hl >> 8);
    m.L = static_cast<uint8_t>(hl);
    m.SP = static_cast<uint16_t>(sp);
    left_io = left;
#undef ADD16
#undef ADD8
#undef CALL_TAKEN
#undef CCC
#undef CC_C
#undef CC_M
#undef CC_NC
#undef CC_NZ
#undef CC_P
#undef CC_PE
#undef CC_PO
#undef CC_Z
#undef DAD
#undef DCR_HI
#undef DCR_R
#undef GET_A
#undef GET_B
#undef GET_C
#undef GET_D
#undef GET_E
#undef GET_H
#undef GET_L
#undef GET_M
#undef IMM16
#undef IMM8
#undef INR_HI
#undef INR_R
#undef JCC
#undef NEXT
#undef OP_ADC
#undef OP_ADD
#undef OP_ANA
#undef OP_CMP
#undef OP_ORA
#undef OP_SBB
#undef OP_SUB
#undef OP_XRA
#undef POP16
#undef PUSH16
#undef RCC
#undef RD
#undef RST
#undef SET_A
#undef SET_B
#undef SET_C
#undef SET_D
#undef SET_E
#undef SET_H
#undef SET_L
#undef SET_M
#undef STEP
#undef SUB8
#undef WR
}

}  // namespace

void i8080_init(MachineState& m) { build_flag_table(m); }

bool signal_inv_opc() { return false; }

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
