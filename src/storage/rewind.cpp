#include "storage/rewind.h"

#include <algorithm>
#include <cstring>

namespace lvov {

namespace {

constexpr uint32_t MAX_RUN = 0xFFFF;  // the longest run one token holds

inline uint8_t* put_run(uint8_t* out, uint32_t run) {
    while (run > 0) {
        const uint32_t n = std::min(run, MAX_RUN);
        *out++ = 0x00;
        *out++ = static_cast<uint8_t>(n);
        *out++ = static_cast<uint8_t>(n >> 8);
        run -= n;
    }
    return out;
}

// Offsets of the sections of a packed state.
constexpr size_t AT_VRAM = MEMORY_SIZE;
constexpr size_t AT_LATCHES = AT_VRAM + VRAM_SIZE;
constexpr size_t AT_REGISTERS = AT_LATCHES + 256;
constexpr size_t AT_CYCLES = AT_REGISTERS + REGISTER_BLOCK_SIZE;
constexpr size_t AT_WARM = AT_CYCLES + 4;  // warm_sp, warm_pc, basic_start_ptr, basic_end_ptr
static_assert(AT_WARM + 8 == REWIND_STATE_SIZE);

inline void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

size_t encode_xor_runs(const uint8_t* a, const uint8_t* b, size_t n, uint8_t* out) {
    uint8_t* const start = out;
    uint32_t run = 0;  // zeros pending
    size_t i = 0;
    while (i < n) {
        // Equal stretches go eight bytes at a time.
        if (i + 8 <= n) {
            uint64_t x, y;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            if (x == y) {
                run += 8;
                i += 8;
                if (run >= MAX_RUN) {
                    out = put_run(out, MAX_RUN);
                    run -= MAX_RUN;
                }
                continue;
            }
        }
        const uint8_t d = a[i] ^ b[i];
        ++i;
        if (d == 0) {
            if (++run == MAX_RUN) {
                out = put_run(out, run);
                run = 0;
            }
            continue;
        }
        out = put_run(out, run);
        run = 0;
        *out++ = d;
    }
    out = put_run(out, run);
    return static_cast<size_t>(out - start);
}

void apply_xor_runs(const uint8_t* code, size_t code_size, uint8_t* dst, size_t n) {
    size_t i = 0;
    size_t c = 0;
    while (c < code_size && i < n) {
        const uint8_t t = code[c++];
        if (t != 0) {
            dst[i++] ^= t;
            continue;
        }
        if (code_size - c < 2) return;
        uint32_t count = code[c] | (code[c + 1] << 8);
        c += 2;
        if (count == 0) count = 0x10000;  // the token format's reading of a zero count
        i += count;
    }
}

void RewindHistory::pack(const MachineState& m, uint8_t* out) {
    std::memcpy(out, m.memory.data(), MEMORY_SIZE);
    std::memcpy(out + AT_VRAM, m.vram.data(), VRAM_SIZE);
    std::memcpy(out + AT_LATCHES, m.port_latches.data(), 256);
    const RegisterBlock registers = pack_registers(m);
    std::memcpy(out + AT_REGISTERS, registers.data(), registers.size());
    const auto cycles = static_cast<uint32_t>(m.cycles);
    put16(out + AT_CYCLES, static_cast<uint16_t>(cycles));
    put16(out + AT_CYCLES + 2, static_cast<uint16_t>(cycles >> 16));
    put16(out + AT_WARM, m.warm_sp);
    put16(out + AT_WARM + 2, m.warm_pc);
    put16(out + AT_WARM + 4, m.basic_start_ptr);
    put16(out + AT_WARM + 6, m.basic_end_ptr);
}

void RewindHistory::unpack(const uint8_t* in, MachineState& m) {
    std::memcpy(m.memory.data(), in, MEMORY_SIZE);
    std::memcpy(m.vram.data(), in + AT_VRAM, VRAM_SIZE);
    std::memcpy(m.port_latches.data(), in + AT_LATCHES, 256);
    unpack_registers(in + AT_REGISTERS, m);
    m.cycles = static_cast<int32_t>(get16(in + AT_CYCLES) | (uint32_t{get16(in + AT_CYCLES + 2)} << 16));
    m.warm_sp = get16(in + AT_WARM);
    m.warm_pc = get16(in + AT_WARM + 2);
    m.basic_start_ptr = get16(in + AT_WARM + 4);
    m.basic_end_ptr = get16(in + AT_WARM + 6);
}

RewindHistory::RewindHistory()
    : newest_(REWIND_STATE_SIZE),
      shown_(REWIND_STATE_SIZE),
      scratch_(REWIND_STATE_SIZE),
      coded_(2 * REWIND_STATE_SIZE + 3) {}

void RewindHistory::frame_done(const MachineState& m) {
    if (browsing_) return;
    ++frames_;
    if (frames_ % REWIND_FRAMES_PER_STATE == 0) capture(m);
}

void RewindHistory::capture(const MachineState& m) {
    if (browsing_) return;
    pack(m, scratch_.data());
    if (!states_.empty() && std::memcmp(scratch_.data(), newest_.data(), REWIND_STATE_SIZE) == 0) return;
    add_state(frames_);
}

// scratch_ holds the new state: the old newest gets its difference to it, and the new
// one becomes the newest.
void RewindHistory::add_state(uint64_t frame) {
    if (!states_.empty()) {
        const size_t n = encode_xor_runs(newest_.data(), scratch_.data(), REWIND_STATE_SIZE, coded_.data());
        Entry& previous = states_.back();
        previous.diff.assign(coded_.begin(), coded_.begin() + static_cast<std::ptrdiff_t>(n));
        diff_bytes_ += previous.diff.capacity();
    }
    states_.push_back(Entry{frame, {}});
    newest_.swap(scratch_);
    enforce_bounds();
}

size_t RewindHistory::memory_bytes() const {
    return diff_bytes_ + newest_.capacity() + shown_.capacity() + scratch_.capacity() + coded_.capacity();
}

// The oldest states go first, until both the count and the bytes fit; the newest always
// stays.
void RewindHistory::enforce_bounds() {
    while (states_.size() > 1 && (states_.size() > REWIND_STATES || memory_bytes() > REWIND_MAX_BYTES)) {
        diff_bytes_ -= states_.front().diff.capacity();
        states_.pop_front();
    }
}

uint64_t RewindHistory::frames_behind() const {
    if (!browsing_) return 0;
    return states_.back().frame - states_[position_].frame;
}

// Moves shown_ from position_ to target, one difference at a time.
void RewindHistory::walk_to(size_t target) {
    while (position_ > target) {
        --position_;
        const auto& d = states_[position_].diff;
        apply_xor_runs(d.data(), d.size(), shown_.data(), REWIND_STATE_SIZE);
    }
    while (position_ < target) {
        const auto& d = states_[position_].diff;
        apply_xor_runs(d.data(), d.size(), shown_.data(), REWIND_STATE_SIZE);
        ++position_;
    }
}

bool RewindHistory::step_back(MachineState& m, int states) {
    if (!browsing_) {
        capture(m);  // the present, so that stepping forward can return to it
        if (states_.size() < 2) return false;
        browsing_ = true;
        position_ = states_.size() - 1;
        shown_ = newest_;
    }
    if (position_ == 0 || states <= 0) return false;
    walk_to(position_ > static_cast<size_t>(states) ? position_ - states : 0);
    unpack(shown_.data(), m);
    return true;
}

bool RewindHistory::step_forward(MachineState& m, int states) {
    if (!browsing_ || states <= 0 || position_ + 1 >= states_.size()) return false;
    walk_to(std::min(position_ + states, states_.size() - 1));
    unpack(shown_.data(), m);
    return true;
}

void RewindHistory::resume() {
    if (!browsing_) return;
    browsing_ = false;
    while (states_.size() > position_ + 1) states_.pop_back();
    states_.back().diff = {};
    newest_.swap(shown_);
    // The frame count goes on from the state that became the present.
    frames_ = states_.back().frame;
    diff_bytes_ = 0;
    for (const Entry& e : states_) diff_bytes_ += e.diff.capacity();
}

void RewindHistory::clear() {
    states_.clear();
    diff_bytes_ = 0;
    position_ = 0;
    browsing_ = false;
}

}  // namespace lvov
