// The program's command line:
//
//   nevemulator [options] [FILE]
//     FILE                 loaded after start-up, as a file dropped onto the window is
//     --headless           no window: reset, boot run, FILE, the frames, then exit 0
//     --frames N           frames of a headless run (default 250; 0 runs none; at most 10,000,000)
//     --screenshot OUT.png the 256 x 256 picture at the end of a headless run
//     --type TEXT          keys typed after the boot run and FILE, before the frames
//     --save-snapshot F    a snapshot of the machine at the end of a headless run
//     --break ADDR         (repeatable, hex) stop the headless run at the first execution there
//     --watch ADDR         (repeatable, hex) stop the headless run after the first write there
//     --trace N            print the last N instructions before the end or the stop
//     --dir DIR            the folder that stands for the program's directory
//     --help, --version
//
// Options take their value as the next argument or after '='. Parsing is free of any
// toolkit so the headless run starts no window system at all.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/version.h"

namespace lvov {

constexpr int DEFAULT_HEADLESS_FRAMES = 250;
constexpr int MAX_HEADLESS_FRAMES = 10'000'000;  // about 55 emulated hours, some minutes of the host

// Exit statuses of the program.
constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILURE_WRITE = 1;  // an output file (screenshot, snapshot) could not be written
constexpr int EXIT_USAGE = 2;  // bad options, or an input file that cannot be read
constexpr int EXIT_NOT_STOPPED = 3;  // --break or --watch given, and the frames ran out first

struct CommandLine {
    bool headless = false;
    int frames = DEFAULT_HEADLESS_FRAMES;
    std::string screenshot;
    std::optional<std::string> type_text;
    std::string save_snapshot;
    std::string dir;
    std::string file;
    std::vector<uint16_t> breaks;  // --break addresses
    std::vector<uint16_t> watches;  // --watch addresses
    int trace = 0;  // --trace N
    bool help = false;
    bool version = false;
};

struct ParsedCommandLine {
    CommandLine options;
    std::string error;  // empty when the arguments are valid
};

// Parses the arguments after the program name. Escapes "\n" in --type's text into a
// line break.
ParsedCommandLine parse_command_line(const std::vector<std::string>& args);

// The directory of the running program (where its fixed files live), found from the
// system or, failing that, from argv[0].
std::filesystem::path executable_dir(const char* argv0);

// --dir when given, else the program's own directory.
std::filesystem::path resolve_program_dir(const CommandLine& options, const char* argv0);

// Checks what must exist before anything starts: the --dir folder and a readable FILE
// (a regular file: a folder, FIFO or device is refused at once, never waited on).
// Returns a message, or "" when all is well.
std::string check_inputs(const CommandLine& options, const std::filesystem::path& program_dir);

// Checks the output files of a headless run before it starts: --screenshot and
// --save-snapshot (with its extension) must name files, not folders ("DIR/"), and may
// replace only regular files. Returns a message, or "" when all is well. A folder that
// does not exist is found when the file is written.
std::string check_outputs(const CommandLine& options);

// The --help text and the --version line.
std::string usage_text();
std::string version_text();  // PROGRAM_NAME_VERSION and a line break

}  // namespace lvov
