// The checking copy of the 8080 interpreter's loop: its state between instructions and
// its data and port accesses.
//
// The loop of i8080.cpp is a template on CHECK. With CHECK false every accessor here is
// exactly the plain one of i8080_memory.h and ports.h, so the plain loop is the loop it
// always was. With CHECK true each data access (not the fetches of opcodes and operands)
// and each IN and OUT also looks up the flag byte of its address or port, and notes the
// access when a flag is met; the loop's check point, between two instructions, then
// hands the notes to the hooks (core/exec_hooks.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/exec_hooks.h"
#include "core/i8080_memory.h"
#include "core/opcodes.h"
#include "core/ports.h"

namespace lvov::i8080_detail {

// What the checking loop carries from one instruction to the next, and from one run of
// the loop to the next (an OUT that flips the memory map ends a run mid-way).
struct CheckState {
    explicit CheckState(ExecHooks& h, bool skip)
        : hooks(h), flags(h.address_flags.data()), ports(h.port_flags.data()), skip_exec(skip) {}

    ExecHooks& hooks;
    const uint8_t* flags;  // per address, AddressFlag bits
    const uint8_t* ports;  // per port, PortFlag bits
    Access accesses[MAX_ACCESSES];
    int count = 0;  // accesses noted for the instruction under way
    bool pending = false;  // an instruction has run whose after-checks are still due
    bool stopped = false;
    bool skip_exec;  // the run's first instruction is not stopped by BREAK_EXEC
    uint8_t op = 0;  // the instruction under way: opcode, SP before it, and
    uint16_t sp_before = 0;  // the first bytes of its trace entry (PC, its three bytes)
    uint64_t trace_head = 0;

    void note(uint8_t kind, bool port, uint64_t address, uint8_t value) {
        if (count < MAX_ACCESSES) accesses[count++] = Access{kind, port, static_cast<uint16_t>(address), value};
    }
};

// Writes a trace entry from its two halves: bytes 0-7 (PC, the three bytes, A, F, the
// spare byte) and 8-15 (BC, DE, HL, SP), each little-endian.
inline void store_trace_entry(TraceEntry& e, uint64_t w0, uint64_t w1) {
    static_assert(sizeof(TraceEntry) == 16 && offsetof(TraceEntry, bytes) == 2 && offsetof(TraceEntry, a) == 5 &&
                  offsetof(TraceEntry, f) == 6 && offsetof(TraceEntry, bc) == 8 && offsetof(TraceEntry, sp) == 14);
    if constexpr (kLittleHost) {
        std::memcpy(reinterpret_cast<unsigned char*>(&e), &w0, 8);
        std::memcpy(reinterpret_cast<unsigned char*>(&e) + 8, &w1, 8);
    } else {
        e.pc = static_cast<uint16_t>(w0);
        e.bytes[0] = static_cast<uint8_t>(w0 >> 16), e.bytes[1] = static_cast<uint8_t>(w0 >> 24);
        e.bytes[2] = static_cast<uint8_t>(w0 >> 32);
        e.a = static_cast<uint8_t>(w0 >> 40), e.f = static_cast<uint8_t>(w0 >> 48), e.spare = 0;
        e.bc = static_cast<uint16_t>(w1), e.de = static_cast<uint16_t>(w1 >> 16);
        e.hl = static_cast<uint16_t>(w1 >> 32), e.sp = static_cast<uint16_t>(w1 >> 48);
    }
}

// RET, the conditional returns and the undocumented RET (D9).
constexpr bool is_return(uint8_t op) { return control_flow(op).kind == Flow::Return; }

template <bool RAM, bool CHECK>
inline uint8_t data_rd(const MachineState& m, uint64_t a, const uint8_t* flags, CheckState* cs) {
    const uint8_t v = rd<RAM>(m, a);
    if constexpr (CHECK) {
        if (flags[a] & WATCH_READ) [[unlikely]]
            cs->note(WATCH_READ, false, a, v);
    }
    return v;
}

template <bool RAM, bool CHECK>
inline void data_wr(MachineState& m, uint64_t a, uint8_t v, const uint8_t* flags, CheckState* cs) {
    if constexpr (CHECK) {
        if (flags[a] & WATCH_WRITE) [[unlikely]]
            cs->note(WATCH_WRITE, false, a, v);
    }
    wr<RAM>(m, a, v);
}

template <bool RAM, bool CHECK>
inline uint64_t data_rd16(const MachineState& m, uint64_t a, const uint8_t* flags, CheckState* cs) {
    const uint64_t v = rd16<RAM>(m, a);
    if constexpr (CHECK) {
        const uint64_t a1 = (a + 1) & 0xFFFF;
        if ((flags[a] | flags[a1]) & WATCH_READ) [[unlikely]] {
            if (flags[a] & WATCH_READ) cs->note(WATCH_READ, false, a, static_cast<uint8_t>(v));
            if (flags[a1] & WATCH_READ) cs->note(WATCH_READ, false, a1, static_cast<uint8_t>(v >> 8));
        }
    }
    return v;
}

template <bool RAM, bool CHECK>
inline void data_wr16(MachineState& m, uint64_t a, uint64_t v, const uint8_t* flags, CheckState* cs) {
    if constexpr (CHECK) {
        const uint64_t a1 = (a + 1) & 0xFFFF;
        if ((flags[a] | flags[a1]) & WATCH_WRITE) [[unlikely]] {
            if (flags[a] & WATCH_WRITE) cs->note(WATCH_WRITE, false, a, static_cast<uint8_t>(v));
            if (flags[a1] & WATCH_WRITE) cs->note(WATCH_WRITE, false, a1, static_cast<uint8_t>(v >> 8));
        }
    }
    wr16<RAM>(m, a, v);
}

template <bool RAM, bool CHECK>
inline void data_push(MachineState& m, uint64_t& sp, uint64_t v, const uint8_t* flags, CheckState* cs) {
    if constexpr (CHECK) {
        sp = (sp - 2) & 0xFFFF;
        data_wr16<RAM, CHECK>(m, sp, v, flags, cs);
    } else {
        push16<RAM>(m, sp, v);
    }
}

template <bool RAM, bool CHECK>
inline uint64_t data_pop(const MachineState& m, uint64_t& sp, const uint8_t* flags, CheckState* cs) {
    if constexpr (CHECK) {
        const uint64_t v = data_rd16<RAM, CHECK>(m, sp, flags, cs);
        sp = (sp + 2) & 0xFFFF;
        return v;
    } else {
        return pop16<RAM>(m, sp);
    }
}

template <bool CHECK>
inline uint8_t port_in(const MachineState& m, uint8_t port, CheckState* cs) {
    const uint8_t v = do_input(m, port);
    if constexpr (CHECK) {
        if (cs->ports[port] & BREAK_IN) [[unlikely]]
            cs->note(BREAK_IN, true, port, v);
    }
    return v;
}

template <bool CHECK>
inline void port_out(MachineState& m, uint8_t port, uint8_t v, CheckState* cs) {
    if constexpr (CHECK) {
        if (cs->ports[port] & BREAK_OUT) [[unlikely]]
            cs->note(BREAK_OUT, true, port, v);
    }
    do_output(m, port, v);
}

}  // namespace lvov::i8080_detail
