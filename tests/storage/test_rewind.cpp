// The rewind history: its difference coder, walking back and forward, resuming, and its
// bounds.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "storage/buffers.h"
#include "storage/rewind.h"

namespace lvov {
namespace {

using Bytes = std::vector<uint8_t>;

// A machine whose state after `frame` frames is known: each frame writes a few bytes of
// memory and video memory and moves the registers, the way a running program would.
void advance(MachineState& m, uint64_t frame) {
    m.memory[(frame * 37) % 0xC000] = static_cast<uint8_t>(frame);
    m.memory[0x8000 + frame % 64] = static_cast<uint8_t>(frame * 3 + 1);
    m.vram[(frame * 11) % VRAM_SIZE] = static_cast<uint8_t>(~frame);
    m.port_latches[0xC1] = static_cast<uint8_t>(frame / 7);
    m.A = static_cast<uint8_t>(frame);
    m.F = static_cast<uint8_t>(frame >> 3);
    // Every register different from every other, so a state that puts one in another's
    // place differs.
    m.B = static_cast<uint8_t>(frame + 1);
    m.C = static_cast<uint8_t>(frame + 2);
    m.D = static_cast<uint8_t>(frame + 3);
    m.E = static_cast<uint8_t>(frame + 4);
    m.H = static_cast<uint8_t>(frame + 5);
    m.L = static_cast<uint8_t>(frame + 6);
    m.warm_sp = static_cast<uint16_t>(0xAF00 + frame);
    m.warm_pc = static_cast<uint16_t>(0xC100 + frame);
    m.basic_start_ptr = static_cast<uint16_t>(0x0300 + frame);
    m.basic_end_ptr = static_cast<uint16_t>(0x0400 + frame);
    m.PC = static_cast<uint16_t>(0x8000 + frame * 5);
    m.SP = static_cast<uint16_t>(0xB000 - frame % 16);
    m.cycles = static_cast<int32_t>(68000 + frame % 17);
}

Bytes packed(const MachineState& m) {
    Bytes b(REWIND_STATE_SIZE);
    RewindHistory::pack(m, b.data());
    return b;
}

// Runs `frames` frames from where `m` is, telling the history after each one; returns
// the packed state after every frame (index 0 = after frame from + 1).
std::vector<Bytes> run_frames(MachineState& m, RewindHistory& h, uint64_t from, uint64_t frames, bool keep = true) {
    std::vector<Bytes> states;
    for (uint64_t f = from + 1; f <= from + frames; ++f) {
        advance(m, f);
        h.frame_done(m);
        if (keep) states.push_back(packed(m));
    }
    return states;
}

TEST(RewindCoder, WritesTheSnapshotCodecTokensAndUndoesItself) {
    // Differences with short and long equal stretches, a lone equal byte between changes,
    // and runs past the longest a token holds.
    std::mt19937 rng(7);
    Bytes a(200000), b(200000);
    for (auto& x : a) x = static_cast<uint8_t>(rng());
    b = a;
    for (size_t i = 0; i < 1000; ++i) b[i] ^= static_cast<uint8_t>(1 + i % 255);
    for (size_t i = 1000; i < 1200; i += 2) b[i] ^= 0x5A;  // every other byte changes
    b[70000] ^= 1;  // after a run of 68,800
    b[199999] ^= 0x80;  // after a run longer than 65,535

    Bytes code(2 * a.size() + 3);
    code.resize(encode_xor_runs(a.data(), b.data(), a.size(), code.data()));

    // The same tokens as the snapshot codec makes of the difference itself.
    Bytes diff(a.size());
    for (size_t i = 0; i < a.size(); ++i) diff[i] = a[i] ^ b[i];
    auto bank = std::make_unique<ByteBufferBank>();
    bank->ZeroRunBegin(1);
    bank->ZeroRunPutBytes(diff.data(), diff.size());
    bank->ZeroRunFlush();
    EXPECT_EQ(code, Bytes(bank->data(1), bank->data(1) + bank->cursor(1)));

    Bytes restored = a;
    apply_xor_runs(code.data(), code.size(), restored.data(), restored.size());
    EXPECT_EQ(restored, b);
    apply_xor_runs(code.data(), code.size(), restored.data(), restored.size());
    EXPECT_EQ(restored, a);

    // Worst case: every other byte differs, still within the bound the caller provides.
    Bytes c = a;
    for (size_t i = 0; i < c.size(); i += 2) c[i] ^= 0xFF;
    Bytes worst(2 * a.size() + 3);
    EXPECT_LE(encode_xor_runs(a.data(), c.data(), a.size(), worst.data()), worst.size());
}

TEST(RewindHistory, StepsBackAndForwardThroughExactStates) {
    auto m = std::make_unique<MachineState>();
    m->kbd_matrix[3] = 0x10;  // a key held by the host now
    RewindHistory h;
    const auto states = run_frames(*m, h, 0, 203);  // captures at 10, 20, ... 200; present 203
    EXPECT_EQ(h.count(), 20u);
    EXPECT_FALSE(h.step_forward(*m));  // nothing to go forward to before stepping back

    // The first step back keeps the present (frame 203), then goes five states back.
    ASSERT_TRUE(h.step_back(*m));
    EXPECT_EQ(h.count(), 21u);
    EXPECT_EQ(packed(*m), states[160 - 1]);
    EXPECT_EQ(h.frames_behind(), 43u);
    EXPECT_EQ(m->kbd_matrix[3], 0x10);  // the keyboard is not part of a state

    ASSERT_TRUE(h.step_back(*m, 3));
    EXPECT_EQ(packed(*m), states[130 - 1]);
    ASSERT_TRUE(h.step_back(*m, 100));  // stops at the oldest
    EXPECT_EQ(packed(*m), states[10 - 1]);
    EXPECT_FALSE(h.step_back(*m));

    ASSERT_TRUE(h.step_forward(*m));
    EXPECT_EQ(packed(*m), states[60 - 1]);
    ASSERT_TRUE(h.step_forward(*m, 1000));  // back to where the pause began
    EXPECT_EQ(packed(*m), states[203 - 1]);
    EXPECT_FALSE(h.step_forward(*m));
}

TEST(RewindHistory, ResumingDropsTheLaterStatesAndGoesOnFromTheOneShown) {
    auto m = std::make_unique<MachineState>();
    RewindHistory h;
    auto first = run_frames(*m, h, 0, 100);
    ASSERT_TRUE(h.step_back(*m, 4));  // to frame 60
    EXPECT_EQ(packed(*m), first[60 - 1]);
    h.resume();
    EXPECT_FALSE(h.browsing());
    EXPECT_EQ(h.count(), 6u);  // 10 .. 60
    EXPECT_EQ(h.frames(), 60u);

    // A different future from frame 60: the old frames 70..100 are gone for good.
    m->memory[0x1234] = 0xEE;
    auto second = run_frames(*m, h, 60, 40);
    EXPECT_EQ(h.count(), 10u);
    ASSERT_TRUE(h.step_back(*m, 2));  // from 100: 90, 80
    EXPECT_EQ(packed(*m), second[80 - 61]);
    EXPECT_EQ(m->memory[0x1234], 0xEE);
    ASSERT_TRUE(h.step_back(*m, 3));  // 70, 60, 50: across the point of resuming
    EXPECT_EQ(packed(*m), first[50 - 1]);

    // Resuming without a step back changes nothing.
    h.resume();
    RewindHistory idle;
    run_frames(*m, idle, 0, 30);
    idle.resume();
    EXPECT_EQ(idle.count(), 3u);

    // Cleared, the history starts as a new one: its first state after ten frames (a
    // recording and its replay rewind to the same states).
    run_frames(*m, idle, 30, 5);
    idle.clear();
    run_frames(*m, idle, 0, 9);
    EXPECT_EQ(idle.count(), 0u);
    run_frames(*m, idle, 9, 1);
    EXPECT_EQ(idle.count(), 1u);
}

TEST(RewindHistory, KeepsSixtySecondsAndStaysWithinItsMemory) {
    auto m = std::make_unique<MachineState>();
    RewindHistory h;
    run_frames(*m, h, 0, 3500, false);  // 70 s at 50 frames a second
    EXPECT_EQ(h.count(), REWIND_STATES);
    // The oldest kept state is frame 3500 - 2990 = 510.
    ASSERT_TRUE(h.step_back(*m, 1000));
    MachineState expected;
    for (uint64_t f = 1; f <= 510; ++f) advance(expected, f);
    EXPECT_EQ(packed(*m), packed(expected));

    // Changes that code worst (every other byte of memory and video memory): the byte
    // bound wins over the count.
    RewindHistory noisy;
    std::mt19937 rng(1);
    for (int i = 0; i < 320; ++i) {
        for (size_t a = 0; a < MEMORY_SIZE; a += 2) m->memory[a] ^= static_cast<uint8_t>(rng() | 1);
        for (size_t a = 0; a < VRAM_SIZE; a += 2) m->vram[a] ^= static_cast<uint8_t>(rng() | 1);
        noisy.capture(*m);
        ASSERT_LE(noisy.memory_bytes(), REWIND_MAX_BYTES);
    }
    EXPECT_LT(noisy.count(), REWIND_STATES);
    EXPECT_GT(noisy.count(), 150u);  // about 32 MB / 160 KB per state
    const Bytes newest = packed(*m);
    ASSERT_TRUE(noisy.step_back(*m, 1));
    ASSERT_TRUE(noisy.step_forward(*m, 1));
    EXPECT_EQ(packed(*m), newest);
}

}  // namespace
}  // namespace lvov
