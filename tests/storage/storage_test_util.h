// Shared helpers of the storage tests: a temporary folder, whole-file read and write,
// and machines in known states.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/rom.h"

namespace lvov::test {

using Bytes = std::vector<uint8_t>;

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "lvov-storage-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline void write_file(const std::filesystem::path& p, const Bytes& bytes) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}
inline Bytes read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
// Appends text, bytes, or little-endian words.
inline void put(Bytes& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }
inline void put(Bytes& out, std::initializer_list<uint8_t> b) { out.insert(out.end(), b); }
inline void put_words(Bytes& out, std::initializer_list<uint16_t> words) {
    for (uint16_t w : words) put(out, {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)});
}

inline std::unique_ptr<MachineState> reset_machine(const RomImages& roms) {
    auto m = std::make_unique<MachineState>();
    ResetComp(*m, roms);
    return m;
}

// Seeded RAM, video memory, latches and registers: random bytes mixed with zero runs.
inline void scramble(MachineState& m, uint32_t seed) {
    std::mt19937 rng(seed);
    auto fill = [&rng](uint8_t* p, size_t n) {
        for (size_t i = 0; i < n;) {
            const bool zeros = rng() % 2;
            for (size_t run = rng() % 300; run > 0 && i < n; --run, ++i) p[i] = zeros ? 0 : rng();
        }
    };
    fill(m.memory.data(), ROM_START);
    fill(m.vram.data(), VRAM_SIZE);
    fill(m.port_latches.data(), m.port_latches.size());
    m.A = rng(), m.B = rng(), m.C = rng(), m.D = rng(), m.E = rng(), m.H = rng(), m.L = rng(), m.F = rng();
    m.SP = rng(), m.PC = rng();
}

// The sections a snapshot or dump stores, raw: vram, latches (complemented or not), registers.
inline void put_tail(Bytes& f, const MachineState& m, bool complement) {
    f.insert(f.end(), m.vram.begin(), m.vram.end());
    for (uint8_t l : m.port_latches) f.push_back(complement ? l ^ 0xFF : l);
    put(f, {m.B, m.C, m.D, m.E, m.H, m.L, m.A, m.F});
    put_words(f, {m.SP, m.PC});
}

inline void expect_same_state(const MachineState& a, const MachineState& b) {
    EXPECT_TRUE(a.memory == b.memory) << "memory differs";
    EXPECT_TRUE(a.vram == b.vram) << "vram differs";
    Bytes ta, tb;
    put_tail(ta, a, false);
    put_tail(tb, b, false);
    EXPECT_TRUE(ta == tb) << "latches or registers differ";
}

// Everything, for "the machine is unchanged".
inline void expect_unchanged(const MachineState& before, const MachineState& after) {
    expect_same_state(before, after);
    EXPECT_EQ(before.cycles, after.cycles);
    EXPECT_TRUE(before.kbd_matrix == after.kbd_matrix && before.kbd_extra == after.kbd_extra);
}

}  // namespace lvov::test
