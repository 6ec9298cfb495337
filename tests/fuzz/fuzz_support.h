// Shared pieces of the fuzz targets: property checks that abort (so libFuzzer keeps the
// input as a crash), a private scratch folder per process, and machine comparisons.
#pragma once
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include "core/hex.h"
#include "core/machine.h"

namespace lvov::fuzz {

// A property that failed: say which and abort, so the input is saved as a crash.
[[noreturn]] inline void violated(const char* file, int line, const char* what, const std::string& detail) {
    std::fprintf(stderr, "\n%s:%d: property violated: %s\n", file, line, what);
    if (!detail.empty()) std::fprintf(stderr, "  %s\n", detail.c_str());
    std::abort();
}

#define FUZZ_CHECK(cond, detail)                                                  \
    do {                                                                          \
        if (!(cond)) ::lvov::fuzz::violated(__FILE__, __LINE__, #cond, (detail)); \
    } while (0)

// A folder of this process's own, removed at exit. In /dev/shm where it exists, so the
// files a target writes on every input cost no disk traffic.
inline const std::filesystem::path& scratch_dir() {
    static const std::filesystem::path dir = [] {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec) || access(base.c_str(), W_OK) != 0)
            base = std::filesystem::temp_directory_path();
        std::string templ = (base / "lvov-fuzz-XXXXXX").string();
        if (!mkdtemp(templ.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratch_dir(), ignored);
        });
        return std::filesystem::path(templ);
    }();
    return dir;
}

inline void write_file(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
}

// First difference between two machines in what a snapshot holds (registers, memory,
// video memory, latches), or "" when they agree.
inline std::string stored_state_difference(const MachineState& a, const MachineState& b) {
    const uint8_t ra[] = {a.A, a.B, a.C, a.D, a.E, a.H, a.L, a.F};
    const uint8_t rb[] = {b.A, b.B, b.C, b.D, b.E, b.H, b.L, b.F};
    const char* names = "ABCDEHLF";
    for (int i = 0; i < 8; ++i)
        if (ra[i] != rb[i]) return std::string("register ") + names[i] + ": " + hex4(ra[i]) + " vs " + hex4(rb[i]);
    if (a.PC != b.PC) return "PC: " + hex4(a.PC) + " vs " + hex4(b.PC);
    if (a.SP != b.SP) return "SP: " + hex4(a.SP) + " vs " + hex4(b.SP);
    if (std::memcmp(a.memory.data(), b.memory.data(), MEMORY_SIZE) == 0 &&
        std::memcmp(a.vram.data(), b.vram.data(), VRAM_SIZE) == 0 &&
        std::memcmp(a.port_latches.data(), b.port_latches.data(), 256) == 0)
        return "";
    for (uint32_t i = 0; i < MEMORY_SIZE; ++i)
        if (a.memory[i] != b.memory[i])
            return "memory " + hex4(i) + ": " + hex4(a.memory[i]) + " vs " + hex4(b.memory[i]);
    for (uint32_t i = 0; i < VRAM_SIZE; ++i)
        if (a.vram[i] != b.vram[i]) return "vram " + hex4(i) + ": " + hex4(a.vram[i]) + " vs " + hex4(b.vram[i]);
    for (uint32_t i = 0; i < 256; ++i)
        if (a.port_latches[i] != b.port_latches[i])
            return "latch " + hex4(i) + ": " + hex4(a.port_latches[i]) + " vs " + hex4(b.port_latches[i]);
    return "";
}

// The same over everything in MachineState.
inline std::string state_difference(const MachineState& a, const MachineState& b) {
    std::string d = stored_state_difference(a, b);
    if (!d.empty()) return d;
    if (a.cycles != b.cycles) return "cycles: " + std::to_string(a.cycles) + " vs " + std::to_string(b.cycles);
    if (a.kbd_matrix != b.kbd_matrix) return "main keyboard matrix";
    if (a.kbd_extra != b.kbd_extra) return "extra keyboard matrix";
    if (a.warm_sp != b.warm_sp || a.warm_pc != b.warm_pc || a.basic_start_ptr != b.basic_start_ptr ||
        a.basic_end_ptr != b.basic_end_ptr)
        return "warm-start constants";
    return "";
}

}  // namespace lvov::fuzz
