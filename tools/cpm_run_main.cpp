// cpm-run: runs a CP/M .COM program on the machine core and prints what it prints.
//
//   cpm-run PROGRAM.COM [--max-cycles N]   exit 0 when the program ended (jump to 0000
//                                          or BDOS function 0)
//   cpm-run --boot                         reset with the firmware and one boot run
//
// Console input comes from standard input, so an interactive program can be scripted
// (a line feed arrives as CR). The program's clock cycles go to stderr as "cycles: N",
// and so does a note the first time the program uses a function the harness lacks.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include <poll.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/hex.h"
#include "core/i8080.h"
#include "core/rom.h"
#include "cpm_machine.h"
#include "storage/program_files.h"

namespace {

std::filesystem::path program_dir(const char* argv0) {
    std::error_code ec;
    auto exe = std::filesystem::canonical("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv0, ec);
    return exe.parent_path();
}

int boot(const char* argv0) {
    using namespace lvov;
    const RomImages roms = load_rom_images(program_dir(argv0));
    for (const auto& problem : roms.problems) std::cerr << problem << "\n";
    auto m = std::make_unique<MachineState>();
    ResetComp(*m, roms);
    const auto start = std::chrono::steady_clock::now();
    i8080_do_opcodes(*m, boot_cycles);
    const auto end = std::chrono::steady_clock::now();
    const double ms = std::chrono::duration<double, std::milli>(end - start).count();
    std::printf("boot run: %d cycles in %.2f ms (firmware image 1%s, ROM identity %d), PC=%s SP=%s\n", m->cycles, ms,
                roms.image1_builtin ? " built-in" : " from file", identify_rom(*m, roms), hex4(m->PC).c_str(),
                hex4(m->SP).c_str());
    std::fprintf(stderr, "cycles: %d\n", m->cycles);
    return 0;
}

// Standard input for the program: blocking reads, or without wait only what has arrived.
std::optional<std::string> read_stdin(size_t max, bool wait) {
    if (!wait) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) return std::string();
    }
    char buf[256];
    ssize_t n;
    do {
        n = read(STDIN_FILENO, buf, std::min(max, sizeof buf));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return std::nullopt;
    return std::string(buf, static_cast<size_t>(n));
}

int usage() {
    std::cerr << "usage: cpm-run PROGRAM.COM [--max-cycles N]\n       cpm-run --boot\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace lvov;
    if (argc < 2) return usage();
    const std::string first = argv[1];
    if (first == "--boot") return argc == 2 ? boot(argv[0]) : usage();

    uint64_t max_cycles = 0;
    if (argc == 4 && std::string(argv[2]) == "--max-cycles") {
        char* end = nullptr;
        max_cycles = std::strtoull(argv[3], &end, 10);
        if (!end || *end != '\0') return usage();
    } else if (argc != 2) {
        return usage();
    }

    try {
        const auto program = read_cpm_program(first);
        auto m = std::make_unique<MachineState>();
        cpm_setup(*m, program);
        CpmOptions options;
        options.max_cycles = max_cycles;
        options.input = read_stdin;
        options.interactive = isatty(STDIN_FILENO) == 1;
        options.on_output = [](std::string_view piece) {
            std::fwrite(piece.data(), 1, piece.size(), stdout);
            std::fflush(stdout);
        };
        options.on_note = [](std::string_view note) {
            std::fprintf(stderr, "cpm-run: %.*s\n", static_cast<int>(note.size()), note.data());
        };
        const CpmResult r = cpm_run(*m, options);
        std::fprintf(stderr, "\ncycles: %llu\n", static_cast<unsigned long long>(r.cycles));
        if (!r.stop.empty()) {
            std::fprintf(stderr, "cpm-run: %s\n", r.stop.c_str());
            return 1;
        }
        if (!r.finished) {
            std::fprintf(stderr, "cpm-run: stopped after %llu cycles without the program ending\n",
                         static_cast<unsigned long long>(r.cycles));
            return 1;
        }
        return 0;
    } catch (const EmuError& e) {
        std::cerr << "cpm-run: " << e.what() << "\n";
        return 1;
    }
}
