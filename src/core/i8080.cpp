// The Intel 8080 interpreter.
//
// One run keeps the registers in local variables and dispatches with a table of label
// addresses (GCC computed goto), each handler ending in its own dispatch so the host's
// branch predictor sees one indirect jump per opcode. The registers go back into the
// MachineState when the run ends and nowhere else: nothing else runs during a run.
//
// The loop body exists twice, once for each setting of the memory-map switch (bit 1 of
// latch C2). In the RAM-mode copy a read is one array access and a write one comparison
// against C000; the video-mode copy goes through do_read/do_write. The switch can only
// change through OUT, so the OUT handler leaves the loop as soon as the bit no longer
// matches the copy that is running, and the very next fetch goes through the new map.
//
// Cycles count down from the budget: "left" is budget - cycles, and the loop runs while
// it is positive. The instruction that crosses the budget completes; the caller turns
// the remainder back into m.cycles.
#include "core/i8080.h"

#include <array>
#include <bit>

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

// Mapped access with the state of the map switch known at compile time. In RAM mode
// this is exactly do_read/do_write's routing for a set bit; otherwise they are called.
template <bool RAM>
inline uint8_t rd(const MachineState& m, uint32_t address) {
    if constexpr (RAM) {
        return m.memory[static_cast<uint16_t>(address)];
    } else {
        return do_read(m, address);
    }
}

template <bool RAM>
inline void wr(MachineState& m, uint32_t address, uint8_t value) {
    if constexpr (RAM) {
        const uint16_t a = static_cast<uint16_t>(address);
        if (a < ROM_START) m.memory[a] = value;
    } else {
        do_write(m, address, value);
    }
}

// Runs while left > 0 or until an OUT flips the map switch away from RAM.
template <bool RAM>
void run(MachineState& m, int32_t& left_io) {
#define T16(h)                                                                                  \
    &&L_0x##h##0, &&L_0x##h##1, &&L_0x##h##2, &&L_0x##h##3, &&L_0x##h##4, &&L_0x##h##5,         \
        &&L_0x##h##6, &&L_0x##h##7, &&L_0x##h##8, &&L_0x##h##9, &&L_0x##h##A, &&L_0x##h##B,     \
        &&L_0x##h##C, &&L_0x##h##D, &&L_0x##h##E, &&L_0x##h##F
    static const void* const dispatch[256] = {T16(0), T16(1), T16(2), T16(3), T16(4), T16(5),
                                              T16(6), T16(7), T16(8), T16(9), T16(A), T16(B),
                                              T16(C), T16(D), T16(E), T16(F)};
#undef T16

    uint8_t a = m.A, b = m.B, c = m.C, d = m.D, e = m.E, h = m.H, l = m.L, f = m.F;
    uint16_t pc = m.PC, sp = m.SP;
    int32_t left = left_io;
    const uint8_t* const ft = m.flag_table.data();

#define RD(addr) rd<RAM>(m, (addr))
#define WR(addr, v) wr<RAM>(m, (addr), (v))
#define NEXT                               \
    do {                                   \
        if (left <= 0) goto done;          \
        goto* dispatch[RD(pc)];            \
    } while (0)
#define STEP(len, cyc) \
    pc += (len);       \
    left -= (cyc);     \
    NEXT
#define IMM8 RD(pc + 1u)
#define IMM16 static_cast<uint16_t>(RD(pc + 1u) | (RD(pc + 2u) << 8))
#define BC static_cast<uint16_t>((b << 8) | c)
#define DE static_cast<uint16_t>((d << 8) | e)
#define HL static_cast<uint16_t>((h << 8) | l)
#define SET_PAIR(hi, lo, v)                       \
    do {                                          \
        const uint16_t v_ = (v);                  \
        hi = static_cast<uint8_t>(v_ >> 8);       \
        lo = static_cast<uint8_t>(v_);            \
    } while (0)
#define PUSH16(v)                                          \
    do {                                                   \
        const uint16_t pv_ = (v);                          \
        sp -= 2;                                           \
        WR(sp, static_cast<uint8_t>(pv_));                 \
        WR(sp + 1u, static_cast<uint8_t>(pv_ >> 8));       \
    } while (0)
#define POP_BYTES(hi, lo)          \
    do {                           \
        lo = RD(sp);               \
        hi = RD(sp + 1u);          \
        sp += 2;                   \
    } while (0)

    // Arithmetic and logic. r is the result before truncation, computed in 32 bits so
    // that a borrow shows as the high bits set.
#define ADD8(v, cin)                                                                        \
    do {                                                                                    \
        const uint32_t v_ = (v);                                                            \
        const uint32_t r_ = a + v_ + (cin);                                                 \
        f = static_cast<uint8_t>(ft[r_ & 0xFF] | ((a ^ v_ ^ r_) & FLAG_AC) | (r_ >> 8));     \
        a = static_cast<uint8_t>(r_);                                                       \
    } while (0)
#define SUB8(v, cin, store)                                                                     \
    do {                                                                                        \
        const uint32_t v_ = (v);                                                                \
        const uint32_t r_ = a - v_ - (cin);                                                     \
        f = static_cast<uint8_t>(ft[r_ & 0xFF] | ((a ^ v_ ^ r_) & FLAG_AC) | ((r_ >> 8) & 1));   \
        if (store) a = static_cast<uint8_t>(r_);                                                \
    } while (0)
#define OP_ADD(v) ADD8(v, 0)
#define OP_ADC(v) ADD8(v, f & FLAG_CY)
#define OP_SUB(v) SUB8(v, 0, true)
#define OP_SBB(v) SUB8(v, f & FLAG_CY, true)
#define OP_CMP(v) SUB8(v, 0, false)
    // Logical operations keep AC as it was and clear CY.
#define OP_ANA(v)                                                    \
    do {                                                             \
        a &= (v);                                                    \
        f = static_cast<uint8_t>(ft[a] | (f & FLAG_AC));             \
    } while (0)
#define OP_XRA(v)                                                    \
    do {                                                             \
        a ^= (v);                                                    \
        f = static_cast<uint8_t>(ft[a] | (f & FLAG_AC));             \
    } while (0)
#define OP_ORA(v)                                                    \
    do {                                                             \
        a |= (v);                                                    \
        f = static_cast<uint8_t>(ft[a] | (f & FLAG_AC));             \
    } while (0)

    // One row of eight opcodes with the register operand in bits 2-0 (B C D E H L M A).
#define ALU_ROW(o0, o1, o2, o3, o4, o5, o6, o7, OP) \
    L_##o0 : OP(b);                                 \
    STEP(1, 4);                                     \
    L_##o1 : OP(c);                                 \
    STEP(1, 4);                                     \
    L_##o2 : OP(d);                                 \
    STEP(1, 4);                                     \
    L_##o3 : OP(e);                                 \
    STEP(1, 4);                                     \
    L_##o4 : OP(h);                                 \
    STEP(1, 4);                                     \
    L_##o5 : OP(l);                                 \
    STEP(1, 4);                                     \
    L_##o6 : OP(RD(HL));                            \
    STEP(1, 7);                                     \
    L_##o7 : OP(a);                                 \
    STEP(1, 4)

#define MOV_ROW(o0, o1, o2, o3, o4, o5, o6, o7, dst) \
    L_##o0 : dst = b;                                \
    STEP(1, 5);                                      \
    L_##o1 : dst = c;                                \
    STEP(1, 5);                                      \
    L_##o2 : dst = d;                                \
    STEP(1, 5);                                      \
    L_##o3 : dst = e;                                \
    STEP(1, 5);                                      \
    L_##o4 : dst = h;                                \
    STEP(1, 5);                                      \
    L_##o5 : dst = l;                                \
    STEP(1, 5);                                      \
    L_##o6 : dst = RD(HL);                           \
    STEP(1, 7);                                      \
    L_##o7 : dst = a;                                \
    STEP(1, 5)

#define INR_R(r)                                                        \
    f = static_cast<uint8_t>(kIncDec.inr[r] | (f & FLAG_CY));           \
    r = static_cast<uint8_t>(r + 1);                                    \
    STEP(1, 5)
#define DCR_R(r)                                                        \
    f = static_cast<uint8_t>(kIncDec.dcr[r] | (f & FLAG_CY));           \
    r = static_cast<uint8_t>(r - 1);                                    \
    STEP(1, 5)
#define DAD(v)                                             \
    do {                                                   \
        const uint32_t s_ = HL + static_cast<uint32_t>(v); \
        f = static_cast<uint8_t>((f & ~FLAG_CY) | (s_ >> 16)); \
        SET_PAIR(h, l, s_);                                \
    } while (0);                                           \
    STEP(1, 10)

    // Conditions of jumps, calls and returns.
#define CC_NZ (!(f & FLAG_Z))
#define CC_Z (f & FLAG_Z)
#define CC_NC (!(f & FLAG_CY))
#define CC_C (f & FLAG_CY)
#define CC_PO (!(f & FLAG_P))
#define CC_PE (f & FLAG_P)
#define CC_P (!(f & FLAG_S))
#define CC_M (f & FLAG_S)
#define JCC(cond)           \
    if (cond) {             \
        pc = IMM16;         \
    } else {                \
        pc += 3;            \
    }                       \
    left -= 10;             \
    NEXT
#define CALL_TAKEN                  \
    do {                            \
        const uint16_t t_ = IMM16;  \
        PUSH16(pc + 3u);            \
        pc = t_;                    \
        left -= 17;                 \
    } while (0)
#define CCC(cond)      \
    if (cond) {        \
        CALL_TAKEN;    \
    } else {           \
        pc += 3;       \
        left -= 11;    \
    }                  \
    NEXT
#define RET_TAKEN                                            \
    do {                                                     \
        const uint8_t lo_ = RD(sp);                          \
        const uint8_t hi_ = RD(sp + 1u);                     \
        sp += 2;                                             \
        pc = static_cast<uint16_t>(lo_ | (hi_ << 8));        \
    } while (0)
#define RCC(cond)          \
    if (cond) {            \
        RET_TAKEN;         \
        left -= 11;        \
    } else {               \
        pc += 1;           \
        left -= 5;         \
    }                      \
    NEXT
#define RST(n)           \
    PUSH16(pc + 1u);     \
    pc = (n) * 8;        \
    left -= 11;          \
    NEXT

    NEXT;

    // 00-3F
L_0x00:
    STEP(1, 4);
L_0x08:
L_0x10:
L_0x18:
L_0x20:
L_0x28:
L_0x30:
L_0x38:
    signal_inv_opc();
    STEP(1, 4);
L_0x01:
    c = IMM8;
    b = RD(pc + 2u);
    STEP(3, 10);
L_0x11:
    e = IMM8;
    d = RD(pc + 2u);
    STEP(3, 10);
L_0x21:
    l = IMM8;
    h = RD(pc + 2u);
    STEP(3, 10);
L_0x31:
    sp = IMM16;
    STEP(3, 10);
L_0x02:
    WR(BC, a);
    STEP(1, 7);
L_0x12:
    WR(DE, a);
    STEP(1, 7);
L_0x22: {
    const uint16_t t = IMM16;
    WR(t, l);
    WR(t + 1u, h);
    STEP(3, 16);
}
L_0x32:
    WR(IMM16, a);
    STEP(3, 13);
L_0x0A:
    a = RD(BC);
    STEP(1, 7);
L_0x1A:
    a = RD(DE);
    STEP(1, 7);
L_0x2A: {
    const uint16_t t = IMM16;
    l = RD(t);
    h = RD(t + 1u);
    STEP(3, 16);
}
L_0x3A:
    a = RD(IMM16);
    STEP(3, 13);
L_0x03:
    SET_PAIR(b, c, BC + 1);
    STEP(1, 5);
L_0x13:
    SET_PAIR(d, e, DE + 1);
    STEP(1, 5);
L_0x23:
    SET_PAIR(h, l, HL + 1);
    STEP(1, 5);
L_0x33:
    ++sp;
    STEP(1, 5);
L_0x0B:
    SET_PAIR(b, c, BC - 1);
    STEP(1, 5);
L_0x1B:
    SET_PAIR(d, e, DE - 1);
    STEP(1, 5);
L_0x2B:
    SET_PAIR(h, l, HL - 1);
    STEP(1, 5);
L_0x3B:
    --sp;
    STEP(1, 5);
L_0x04:
    INR_R(b);
L_0x0C:
    INR_R(c);
L_0x14:
    INR_R(d);
L_0x1C:
    INR_R(e);
L_0x24:
    INR_R(h);
L_0x2C:
    INR_R(l);
L_0x3C:
    INR_R(a);
L_0x05:
    DCR_R(b);
L_0x0D:
    DCR_R(c);
L_0x15:
    DCR_R(d);
L_0x1D:
    DCR_R(e);
L_0x25:
    DCR_R(h);
L_0x2D:
    DCR_R(l);
L_0x3D:
    DCR_R(a);
L_0x34: {
    const uint16_t t = HL;
    const uint8_t v = RD(t);
    f = static_cast<uint8_t>(kIncDec.inr[v] | (f & FLAG_CY));
    WR(t, static_cast<uint8_t>(v + 1));
    STEP(1, 10);
}
L_0x35: {
    const uint16_t t = HL;
    const uint8_t v = RD(t);
    f = static_cast<uint8_t>(kIncDec.dcr[v] | (f & FLAG_CY));
    WR(t, static_cast<uint8_t>(v - 1));
    STEP(1, 10);
}
L_0x06:
    b = IMM8;
    STEP(2, 7);
L_0x0E:
    c = IMM8;
    STEP(2, 7);
L_0x16:
    d = IMM8;
    STEP(2, 7);
L_0x1E:
    e = IMM8;
    STEP(2, 7);
L_0x26:
    h = IMM8;
    STEP(2, 7);
L_0x2E:
    l = IMM8;
    STEP(2, 7);
L_0x36:
    WR(HL, IMM8);
    STEP(2, 10);
L_0x3E:
    a = IMM8;
    STEP(2, 7);
L_0x09:
    DAD(BC);
L_0x19:
    DAD(DE);
L_0x29:
    DAD(HL);
L_0x39:
    DAD(sp);
L_0x07: {
    const uint8_t cy = a >> 7;
    a = static_cast<uint8_t>((a << 1) | cy);
    f = static_cast<uint8_t>((f & ~FLAG_CY) | cy);
    STEP(1, 4);
}
L_0x0F: {
    const uint8_t cy = a & 1;
    a = static_cast<uint8_t>((a >> 1) | (cy << 7));
    f = static_cast<uint8_t>((f & ~FLAG_CY) | cy);
    STEP(1, 4);
}
L_0x17: {
    const uint8_t cy = a >> 7;
    a = static_cast<uint8_t>((a << 1) | (f & FLAG_CY));
    f = static_cast<uint8_t>((f & ~FLAG_CY) | cy);
    STEP(1, 4);
}
L_0x1F: {
    const uint8_t cy = a & 1;
    a = static_cast<uint8_t>((a >> 1) | ((f & FLAG_CY) << 7));
    f = static_cast<uint8_t>((f & ~FLAG_CY) | cy);
    STEP(1, 4);
}
L_0x27: {
    // DAA: add 60 when CY is set or A > 99, add 06 when AC is set or the low nibble > 9.
    uint32_t corr = 0;
    if ((f & FLAG_CY) || a > 0x99) corr += 0x60;
    if ((f & FLAG_AC) || (a & 0x0F) > 9) corr += 0x06;
    const uint32_t r = a + corr;
    f = static_cast<uint8_t>(ft[r & 0xFF] | ((a ^ corr ^ r) & FLAG_AC) | ((r >> 8) | (f & FLAG_CY)));
    a = static_cast<uint8_t>(r);
    STEP(1, 4);
}
L_0x2F:
    a = static_cast<uint8_t>(~a);
    STEP(1, 4);
L_0x37:
    f |= FLAG_CY;
    STEP(1, 4);
L_0x3F:
    f ^= FLAG_CY;
    STEP(1, 4);

    // 40-7F: MOV, with HLT at 76.
    MOV_ROW(0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, b);
    MOV_ROW(0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, c);
    MOV_ROW(0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, d);
    MOV_ROW(0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F, e);
    MOV_ROW(0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, h);
    MOV_ROW(0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, l);
    MOV_ROW(0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F, a);
L_0x70:
    WR(HL, b);
    STEP(1, 7);
L_0x71:
    WR(HL, c);
    STEP(1, 7);
L_0x72:
    WR(HL, d);
    STEP(1, 7);
L_0x73:
    WR(HL, e);
    STEP(1, 7);
L_0x74:
    WR(HL, h);
    STEP(1, 7);
L_0x75:
    WR(HL, l);
    STEP(1, 7);
L_0x77:
    WR(HL, a);
    STEP(1, 7);
L_0x76:  // HLT does not halt: a 4-cycle no-op
    STEP(1, 4);

    // 80-BF: arithmetic and logic with a register or M.
    ALU_ROW(0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, OP_ADD);
    ALU_ROW(0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, OP_ADC);
    ALU_ROW(0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, OP_SUB);
    ALU_ROW(0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F, OP_SBB);
    ALU_ROW(0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, OP_ANA);
    ALU_ROW(0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, OP_XRA);
    ALU_ROW(0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, OP_ORA);
    ALU_ROW(0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, OP_CMP);

    // C0-FF
L_0xC6:
    OP_ADD(IMM8);
    STEP(2, 7);
L_0xCE:
    OP_ADC(IMM8);
    STEP(2, 7);
L_0xD6:
    OP_SUB(IMM8);
    STEP(2, 7);
L_0xDE:
    OP_SBB(IMM8);
    STEP(2, 7);
L_0xE6:
    OP_ANA(IMM8);
    STEP(2, 7);
L_0xEE:
    OP_XRA(IMM8);
    STEP(2, 7);
L_0xF6:
    OP_ORA(IMM8);
    STEP(2, 7);
L_0xFE:
    OP_CMP(IMM8);
    STEP(2, 7);

L_0xC0:
    RCC(CC_NZ);
L_0xC8:
    RCC(CC_Z);
L_0xD0:
    RCC(CC_NC);
L_0xD8:
    RCC(CC_C);
L_0xE0:
    RCC(CC_PO);
L_0xE8:
    RCC(CC_PE);
L_0xF0:
    RCC(CC_P);
L_0xF8:
    RCC(CC_M);

L_0xC2:
    JCC(CC_NZ);
L_0xCA:
    JCC(CC_Z);
L_0xD2:
    JCC(CC_NC);
L_0xDA:
    JCC(CC_C);
L_0xE2:
    JCC(CC_PO);
L_0xEA:
    JCC(CC_PE);
L_0xF2:
    JCC(CC_P);
L_0xFA:
    JCC(CC_M);

L_0xC4:
    CCC(CC_NZ);
L_0xCC:
    CCC(CC_Z);
L_0xD4:
    CCC(CC_NC);
L_0xDC:
    CCC(CC_C);
L_0xE4:
    CCC(CC_PO);
L_0xEC:
    CCC(CC_PE);
L_0xF4:
    CCC(CC_P);
L_0xFC:
    CCC(CC_M);

L_0xC7:
    RST(0);
L_0xCF:
    RST(1);
L_0xD7:
    RST(2);
L_0xDF:
    RST(3);
L_0xE7:
    RST(4);
L_0xEF:
    RST(5);
L_0xF7:
    RST(6);
L_0xFF:
    RST(7);

L_0xC1:
    POP_BYTES(b, c);
    STEP(1, 10);
L_0xD1:
    POP_BYTES(d, e);
    STEP(1, 10);
L_0xE1:
    POP_BYTES(h, l);
    STEP(1, 10);
L_0xF1:  // POP PSW loads all eight bits of F as stored
    POP_BYTES(a, f);
    STEP(1, 10);
L_0xC5:
    PUSH16(BC);
    STEP(1, 11);
L_0xD5:
    PUSH16(DE);
    STEP(1, 11);
L_0xE5:
    PUSH16(HL);
    STEP(1, 11);
L_0xF5:
    PUSH16(static_cast<uint16_t>((a << 8) | f));
    STEP(1, 11);

L_0xCB:
    signal_inv_opc();
    // then as the documented instruction below
L_0xC3:
    pc = IMM16;
    left -= 10;
    NEXT;
L_0xD9:
    signal_inv_opc();
    // then as the documented instruction below
L_0xC9:
    RET_TAKEN;
    left -= 10;
    NEXT;
L_0xDD:
L_0xED:
L_0xFD:
    signal_inv_opc();
    // then as the documented instruction below
L_0xCD:
    CALL_TAKEN;
    NEXT;

L_0xD3:
    do_output(m, IMM8, a);
    pc += 2;
    left -= 10;
    if (m.ram_mode() != RAM) goto done;  // the other copy of the loop takes over
    NEXT;
L_0xDB:
    a = do_input(m, IMM8);
    STEP(2, 10);
L_0xE3: {
    const uint8_t lo = RD(sp);
    WR(sp, l);
    l = lo;
    const uint8_t hi = RD(sp + 1u);
    WR(sp + 1u, h);
    h = hi;
    STEP(1, 18);
}
L_0xE9:
    pc = HL;
    left -= 5;
    NEXT;
L_0xF9:
    sp = HL;
    STEP(1, 5);
L_0xEB: {
    uint8_t t = d;
    d = h;
    h = t;
    t = e;
    e = l;
    l = t;
    STEP(1, 4);
}
L_0xF3:  // DI and EI: no interrupts exist
L_0xFB:
    STEP(1, 4);

done:
    m.A = a;
    m.B = b;
    m.C = c;
    m.D = d;
    m.E = e;
    m.H = h;
    m.L = l;
    m.F = f;
    m.PC = pc;
    m.SP = sp;
    left_io = left;

#undef RD
#undef WR
#undef NEXT
#undef STEP
#undef IMM8
#undef IMM16
#undef BC
#undef DE
#undef HL
#undef SET_PAIR
#undef PUSH16
#undef POP_BYTES
#undef ADD8
#undef SUB8
#undef OP_ADD
#undef OP_ADC
#undef OP_SUB
#undef OP_SBB
#undef OP_CMP
#undef OP_ANA
#undef OP_XRA
#undef OP_ORA
#undef ALU_ROW
#undef MOV_ROW
#undef INR_R
#undef DCR_R
#undef DAD
#undef CC_NZ
#undef CC_Z
#undef CC_NC
#undef CC_C
#undef CC_PO
#undef CC_PE
#undef CC_P
#undef CC_M
#undef JCC
#undef CALL_TAKEN
#undef CCC
#undef RET_TAKEN
#undef RCC
#undef RST
}

}  // namespace

void i8080_init(MachineState& m) { build_flag_table(m); }

bool signal_inv_opc() { return false; }

void i8080_do_opcodes(MachineState& m, int32_t budget) {
    m.cycles = 0;
    if (budget <= 0) return;
    if (budget > MAX_BUDGET) budget = MAX_BUDGET;
    int32_t left = budget;
    while (left > 0) {
        if (m.ram_mode()) {
            run<true>(m, left);
        } else {
            run<false>(m, left);
        }
    }
    m.cycles = budget - left;
}

}  // namespace lvov
