// The 8080's arithmetic and its flag rules, one function per group of instructions.
//
// Registers come as 64-bit values that hold 00-FF, as the interpreter keeps them. A
// result is computed before truncation: an addition's carry shows in bit 8, a
// subtraction's borrow as all high bits set (bit 63 taken as CY). Every arithmetic and
// logical instruction starts its new F from SZP_FLAGS (szp_flags of the result), which
// also clears AC and CY before the rules below set them. These are the processor's own
// rules, quirks included (AC of a logical operation, DAA keeping CY): they stay bit-exact.
#pragma once
#include <array>
#include <bit>
#include <cstdint>

#include "core/machine.h"

namespace lvov::i8080_detail {

using FlagTable = std::array<uint8_t, 256>;

// ADD, ADI (carry_in 0), ADC, ACI (carry_in = CY): returns the new A.
inline uint64_t add(uint64_t& f, const FlagTable& szp, uint64_t a, uint64_t v, uint64_t carry_in) {
    const uint64_t r = a + v + carry_in;
    f = szp[r & 0xFF]  // S, Z, P
        | ((a ^ v ^ r) & FLAG_AC)  // AC: carry out of the low four bits
        | (r >> 8);  // CY: carry out of bit 7
    return r & 0xFF;
}

// SUB, SUI, CMP, CPI (borrow_in 0), SBB, SBI (borrow_in = CY): returns the difference,
// which CMP and CPI drop.
inline uint64_t subtract(uint64_t& f, const FlagTable& szp, uint64_t a, uint64_t v, uint64_t borrow_in) {
    const uint64_t r = a - v - borrow_in;
    f = szp[r & 0xFF]  // S, Z, P
        | ((a ^ v ^ r) & FLAG_AC)  // AC: borrow out of the low four bits
        | (r >> 63);  // CY: borrow, v (+ 1) > a
    return r & 0xFF;
}

// ANA, XRA, ORA and their immediates, given the result: CY cleared, AC left as it was.
inline uint64_t logical(uint64_t& f, const FlagTable& szp, uint64_t result) {
    f = szp[result] | (f & FLAG_AC);
    return result;
}

// DAA: add 60 when CY is set or A > 99, add 06 when AC is set or the low nibble > 9.
// CY stays set once set. Returns the new A.
inline uint64_t decimal_adjust(uint64_t& f, const FlagTable& szp, uint64_t a) {
    uint64_t correction = 0;
    if ((f & FLAG_CY) || a > 0x99) correction += 0x60;
    if ((f & FLAG_AC) || (a & 0x0F) > 9) correction += 0x06;
    const uint64_t r = a + correction;
    f = szp[r & 0xFF] | ((a ^ correction ^ r) & FLAG_AC) | (r >> 8) | (f & FLAG_CY);
    return r & 0xFF;
}

// INR and DCR: F for every operand, AC included (set when bit 4 of the operand and of the
// result differ); the caller ORs in the unchanged CY.
struct IncDecFlags {
    FlagTable inr{};
    FlagTable dcr{};
    constexpr IncDecFlags() {
        for (unsigned v = 0; v < 256; ++v) {
            const uint8_t up = static_cast<uint8_t>(v + 1);
            const uint8_t down = static_cast<uint8_t>(v - 1);
            inr[v] = static_cast<uint8_t>(szp_flags(up) | ((v ^ up) & FLAG_AC));
            dcr[v] = static_cast<uint8_t>(szp_flags(down) | ((v ^ down) & FLAG_AC));
        }
    }
};
inline constexpr IncDecFlags kIncDecFlags;

// F after INR or DCR of v, from one of the tables above.
inline uint64_t inc_dec_flags(const FlagTable& table, uint64_t v, uint64_t f) { return table[v] | (f & FLAG_CY); }

// The rotates, DAD, STC and CMC change CY only and keep every other bit of F.
inline uint64_t with_carry(uint64_t f, uint64_t carry) { return (f & ~uint64_t{FLAG_CY}) | carry; }

// RLC: CY and bit 0 get bit 7.
inline uint64_t rotate_left(uint64_t& f, uint64_t a) {
    f = with_carry(f, a >> 7);
    return std::rotl(static_cast<uint8_t>(a), 1);
}

// RRC: CY and bit 7 get bit 0.
inline uint64_t rotate_right(uint64_t& f, uint64_t a) {
    f = with_carry(f, a & 1);
    return std::rotr(static_cast<uint8_t>(a), 1);
}

// RAL: bit 0 gets the old CY, CY gets bit 7.
inline uint64_t rotate_left_through_carry(uint64_t& f, uint64_t a) {
    const uint64_t r = ((a << 1) | (f & FLAG_CY)) & 0xFF;
    f = with_carry(f, a >> 7);
    return r;
}

// RAR: bit 7 gets the old CY, CY gets bit 0.
inline uint64_t rotate_right_through_carry(uint64_t& f, uint64_t a) {
    const uint64_t r = (a >> 1) | ((f & FLAG_CY) << 7);
    f = with_carry(f, a & 1);
    return r;
}

// DAD: HL + v; CY is the carry out of bit 15. Returns the new HL.
inline uint64_t add_to_hl(uint64_t& f, uint64_t hl, uint64_t v) {
    const uint64_t r = hl + v;
    f = with_carry(f, r >> 16);
    return r & 0xFFFF;
}

}  // namespace lvov::i8080_detail
