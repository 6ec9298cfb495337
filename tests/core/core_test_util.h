// Shared set-up for the machine-core tests: a machine in RAM mode with PC at 1000 and
// small programs given as byte lists.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>

#include "core/i8080.h"
#include "core/machine.h"

namespace lvov::test {

inline std::unique_ptr<MachineState> ram_mode_machine() {
    auto m = std::make_unique<MachineState>();
    init_RAM(*m);
    m->port_latches.fill(0xFF);
    m->PC = 0x1000;
    m->SP = 0x8000;
    return m;
}

inline void put(MachineState& m, uint16_t at, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) m.memory[at++] = b;
}

// Runs exactly one instruction (a budget of 1 always completes the first one) and
// returns its clock cycles.
inline int32_t step(MachineState& m) {
    i8080_do_opcodes(m, 1);
    return m.cycles;
}

inline uint16_t pair(uint8_t hi, uint8_t lo) { return static_cast<uint16_t>((hi << 8) | lo); }

// The folder of the public 8080 diagnostics: $LVOV_CPU_TESTS, or shared/cpu-tests beside
// the source tree, or the workplace copy. Never copied into the project.
inline std::optional<std::filesystem::path> cpu_tests_dir() {
    std::vector<std::filesystem::path> candidates;
    if (const char* env = std::getenv("LVOV_CPU_TESTS")) candidates.emplace_back(env);
    candidates.emplace_back(std::filesystem::path(LVOV_SOURCE_DIR) / ".." / "shared" / "cpu-tests");
    candidates.emplace_back("/work/shared/cpu-tests");
    for (const auto& dir : candidates) {
        std::error_code ec;
        if (std::filesystem::exists(dir / "TST8080.COM", ec)) return dir;
    }
    return std::nullopt;
}

}  // namespace lvov::test
