// The interpreter's speed on a CP/M program, the same code natively and in WebAssembly,
// so that a browser, node and the host can be compared side by side on identical work.
//
// The program runs on the CP/M bench of tools/ in slices of CPM_SLICE cycles, its output
// drained between slices, until it ends (or a limit of cycles is reached). The caller
// times each speed_run call: the module runs a share of the program and returns the
// cycles it executed, so a long program never blocks a page for more than one call.
//
// Natively this file is also a program: cpm-speed PROGRAM.COM [--cycles N] [--runs R]
// prints one JSON line per run: {"cycles", "seconds", "cpu_seconds", "finished", "output"}
// (seconds of the clock on the wall, and of the processor time the process used).
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/i8080.h"
#include "cpm_machine.h"

namespace {

std::vector<uint8_t> program;
std::unique_ptr<lvov::MachineState> machine;
std::string output;

}  // namespace

extern "C" {

// Takes a copy of the program and sets the machine up to run it from the start.
// Returns 0, or 1 when the program does not fit.
int speed_load(const uint8_t* bytes, int size) {
    try {
        program.assign(bytes, bytes + size);
        if (!machine) machine = std::make_unique<lvov::MachineState>();
        lvov::cpm_setup(*machine, program);
        output.clear();
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

// Runs the loaded program on for at least `cycles` more cycles (whole slices), or until
// it ends. Returns the cycles executed.
double speed_run(double cycles) {
    double done = 0;
    while (done < cycles && !lvov::cpm_finished(*machine)) {
        lvov::i8080_do_opcodes(*machine, lvov::CPM_SLICE);
        done += machine->cycles;
        output += lvov::cpm_drain_output(*machine);
    }
    return done;
}

int speed_finished() { return lvov::cpm_finished(*machine) ? 1 : 0; }

// Everything the program printed since it was loaded (NULs among it: CPUTEST pads with
// them), and its length.
const char* speed_output() { return output.data(); }
int speed_output_size() { return static_cast<int>(output.size()); }

}  // extern "C"

#ifndef __EMSCRIPTEN__
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>

#include "core/errors.h"

namespace {

std::string json_text(const std::string& s) {
    std::string out = "\"";
    for (const unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

int usage() {
    std::fprintf(stderr, "usage: cpm-speed PROGRAM.COM [--cycles N] [--runs R]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    double limit = 1e18;
    int runs = 1;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        char* end = nullptr;
        const double value = std::strtod(argv[i + 1], &end);
        if (!end || *end != '\0' || value < 1) return usage();
        if (name == "--cycles")
            limit = value;
        else if (name == "--runs")
            runs = static_cast<int>(value);
        else
            return usage();
    }
    if (argc % 2 != 0) return usage();
    try {
        const auto bytes = lvov::read_cpm_program(argv[1]);
        constexpr double kChunk = 500'000'000;  // as the page's driver calls it
        for (int r = 0; r < runs; ++r) {
            if (speed_load(bytes.data(), static_cast<int>(bytes.size())) != 0) return usage();
            double cycles = 0, seconds = 0;
            const std::clock_t cpu_start = std::clock();
            while (cycles < limit && !speed_finished()) {
                const auto start = std::chrono::steady_clock::now();
                cycles += speed_run(std::min(kChunk, limit - cycles));
                seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            }
            const double cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
            std::printf("{\"cycles\":%.0f,\"seconds\":%.6f,\"cpu_seconds\":%.6f,\"finished\":%s,\"output\":%s}\n",
                        cycles, seconds, cpu_seconds, speed_finished() ? "true" : "false", json_text(output).c_str());
            std::fflush(stdout);
        }
        return 0;
    } catch (const lvov::EmuError& e) {
        std::fprintf(stderr, "cpm-speed: %s\n", e.what());
        return 1;
    }
}
#endif
