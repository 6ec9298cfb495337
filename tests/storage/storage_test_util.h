// Shared helpers of the storage tests: a temporary folder, whole-file read and write,
// and machines in known states.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
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
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline void write_file(const std::filesystem::path& p, const Bytes& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void append(Bytes& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }
inline void append_word(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// A machine right after ResetComp with the built-in firmware.
inline std::unique_ptr<MachineState> reset_machine(const RomImages& roms) {
    auto m = std::make_unique<MachineState>();
    ResetComp(*m, roms);
    return m;
}

// Fills RAM, video memory, latches and registers with a seeded pattern that mixes
// random bytes with long zero runs, leaving the firmware area alone.
inline void scramble(MachineState& m, uint32_t seed) {
    std::mt19937 rng(seed);
    auto fill = [&rng](uint8_t* p, size_t n) {
        for (size_t i = 0; i < n;) {
            size_t run = rng() % 300;
            const bool zeros = rng() % 2;
            for (; run > 0 && i < n; --run, ++i) p[i] = zeros ? 0 : static_cast<uint8_t>(rng());
        }
    };
    fill(m.memory.data(), ROM_START);
    fill(m.vram.data(), VRAM_SIZE);
    fill(m.port_latches.data(), m.port_latches.size());
    m.A = rng(), m.B = rng(), m.C = rng(), m.D = rng(), m.E = rng(), m.H = rng(), m.L = rng(), m.F = rng();
    m.SP = static_cast<uint16_t>(rng());
    m.PC = static_cast<uint16_t>(rng());
}

// Everything a snapshot or dump stores.
inline void expect_same_state(const MachineState& a, const MachineState& b) {
    EXPECT_TRUE(a.memory == b.memory) << "memory differs";
    EXPECT_TRUE(a.vram == b.vram) << "vram differs";
    EXPECT_TRUE(a.port_latches == b.port_latches) << "latches differ";
    EXPECT_EQ(Bytes({a.B, a.C, a.D, a.E, a.H, a.L, a.A, a.F}), Bytes({b.B, b.C, b.D, b.E, b.H, b.L, b.A, b.F}));
    EXPECT_EQ(a.SP, b.SP);
    EXPECT_EQ(a.PC, b.PC);
}

}  // namespace lvov::test

namespace lvov::test {

// Everything, for "the machine is unchanged".
inline void expect_unchanged(const MachineState& before, const MachineState& after) {
    expect_same_state(before, after);
    EXPECT_EQ(before.cycles, after.cycles);
    EXPECT_TRUE(before.kbd_matrix == after.kbd_matrix && before.kbd_extra == after.kbd_extra);
}

}  // namespace lvov::test
