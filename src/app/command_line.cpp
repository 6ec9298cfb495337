#include "app/command_line.h"

#include <charconv>
#include <system_error>

#include "core/errors.h"
#include "core/exec_hooks.h"
#include "core/text.h"
#include "host/files.h"
#include "storage/buffers.h"
#include "storage/snapshot.h"

namespace lvov {

namespace {

constexpr int TRACE_LINES_MAX = static_cast<int>(TRACE_CAPACITY);  // all the trace keeps

// "\n" becomes a line break and "\\" one backslash; any other backslash stays as it is.
std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == '\\')) {
            out += text[i + 1] == 'n' ? '\n' : '\\';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool parse_count(const std::string& text, int& value, int maximum) {
    const char* end = text.data() + text.size();
    int parsed = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
    if (ec != std::errc() || ptr != end || parsed < 0 || parsed > maximum) return false;
    value = parsed;
    return true;
}

// A 16-bit address in hexadecimal, with or without "0x": "C000", "0x4000", "ff".
bool parse_address(std::string text, uint16_t& value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.erase(0, 2);
    const std::optional<uint32_t> parsed = parse_hex_digits(text, 4);
    if (!parsed) return false;
    value = static_cast<uint16_t>(*parsed);
    return true;
}

}  // namespace

ParsedCommandLine parse_command_line(const std::vector<std::string>& args) {
    ParsedCommandLine result;
    CommandLine& o = result.options;
    bool options_ended = false;
    bool has_file = false;
    bool frames_given = false;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
            if (has_file) {
                result.error = "only one FILE may be given (\"" + o.file + "\" and \"" + arg + "\")";
                return result;
            }
            o.file = arg;
            has_file = true;
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inline_value;
        if (const auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            name = arg.substr(0, eq);
            inline_value = arg.substr(eq + 1);
        }
        const auto flag = [&](bool& target) {
            if (inline_value) {
                result.error = "option " + name + " takes no value";
                return false;
            }
            target = true;
            return true;
        };
        const auto value = [&](std::string& target) {
            if (inline_value) {
                target = *inline_value;
                return true;
            }
            if (i + 1 >= args.size()) {
                result.error = "option " + name + " needs a value";
                return false;
            }
            target = args[++i];
            return true;
        };

        bool ok = true;
        if (name == "--headless") {
            ok = flag(o.headless);
        } else if (name == "--help" || name == "-h") {
            ok = flag(o.help);
        } else if (name == "--version") {
            ok = flag(o.version);
        } else if (name == "--frames") {
            std::string text;
            ok = value(text);
            if (ok && !parse_count(text, o.frames, MAX_HEADLESS_FRAMES)) {
                result.error = "--frames needs a whole number from 0 to " + std::to_string(MAX_HEADLESS_FRAMES) +
                               ", not \"" + text + "\"";
                return result;
            }
            frames_given = true;
        } else if (name == "--screenshot") {
            ok = value(o.screenshot);
            if (ok && o.screenshot.empty()) result.error = "--screenshot needs a file name";
        } else if (name == "--type") {
            std::string text;
            ok = value(text);
            if (ok) o.type_text = unescape(text);
        } else if (name == "--save-snapshot") {
            ok = value(o.save_snapshot);
            if (ok && o.save_snapshot.empty()) result.error = "--save-snapshot needs a file name";
        } else if (name == "--break" || name == "--watch") {
            std::string text;
            ok = value(text);
            uint16_t address = 0;
            if (ok && !parse_address(text, address)) {
                result.error = name + " needs a hexadecimal address from 0000 to FFFF, not \"" + text + "\"";
                return result;
            }
            (name == "--break" ? o.breaks : o.watches).push_back(address);
        } else if (name == "--trace") {
            std::string text;
            ok = value(text);
            if (ok && !parse_count(text, o.trace, TRACE_LINES_MAX)) {
                result.error = "--trace needs a whole number from 0 to " + std::to_string(TRACE_LINES_MAX) +
                               ", not \"" + text + "\"";
                return result;
            }
        } else if (name == "--record" || name == "--replay") {
            std::string& target = name == "--record" ? o.record : o.replay;
            ok = value(target);
            if (ok && target.empty()) result.error = name + " needs a file name";
        } else if (name == "--dir") {
            ok = value(o.dir);
            if (ok && o.dir.empty()) result.error = "--dir needs a folder";
        } else {
            result.error = "unknown option " + name;
            return result;
        }
        if (!ok || !result.error.empty()) return result;
    }

    if (o.help || o.version) return result;
    if (!o.replay.empty()) {
        // The recording holds the session's inputs and its length; nothing may add to them.
        const char* excluded = !o.record.empty()    ? "--record"
                               : has_file           ? "FILE"
                               : o.type_text        ? "--type"
                               : frames_given       ? "--frames"
                               : !o.breaks.empty()  ? "--break"
                               : !o.watches.empty() ? "--watch"
                               : o.trace > 0        ? "--trace"
                                                    : nullptr;
        if (excluded) {
            result.error = std::string(excluded) + " cannot be given with --replay: the recording holds every input";
            return result;
        }
    }
    if (!o.headless) {
        const char* needs_headless = frames_given               ? "--frames"
                                     : !o.screenshot.empty()    ? "--screenshot"
                                     : o.type_text              ? "--type"
                                     : !o.save_snapshot.empty() ? "--save-snapshot"
                                     : !o.breaks.empty()        ? "--break"
                                     : !o.watches.empty()       ? "--watch"
                                     : o.trace > 0              ? "--trace"
                                                                : nullptr;
        if (needs_headless) result.error = std::string(needs_headless) + " works only with --headless";
    }
    return result;
}

std::filesystem::path executable_dir(const char* argv0) {
    std::error_code ec;
    auto exe = std::filesystem::canonical("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv0 ? argv0 : ".", ec);
    return exe.parent_path();
}

std::filesystem::path resolve_program_dir(const CommandLine& options, const char* argv0) {
    if (!options.dir.empty()) return host_path(options.dir);
    return executable_dir(argv0);
}

std::string check_inputs(const CommandLine& options, const std::filesystem::path& program_dir) {
    std::error_code ec;
    if (!options.dir.empty() && !std::filesystem::is_directory(program_dir, ec)) {
        return "--dir: \"" + options.dir + "\" is not a folder";
    }
    for (const std::string* file : {&options.file, &options.replay}) {
        if (file->empty()) continue;
        const auto path = host_path(*file);
        if (std::filesystem::is_directory(path, ec)) return "\"" + *file + "\" is a folder, not a file";
        try {
            InputFile probe(path);
        } catch (const IoError& e) {
            return e.what();
        }
    }
    return {};
}

std::string check_outputs(const CommandLine& options) {
    if (!options.screenshot.empty()) {
        if (std::string problem = output_file_problem(host_path(options.screenshot)); !problem.empty())
            return "--screenshot: " + problem;
    }
    if (!options.save_snapshot.empty()) {
        // The name written is judged ("dd" writes "dd.NevLVE", whatever "dd" is), but
        // "DIR/" is a folder however the extension rule would complete it.
        const std::filesystem::path given = host_path(options.save_snapshot);
        std::string problem = given.has_filename() && given.filename() != "." && given.filename() != ".."
                                  ? output_file_problem(host_path(snapshot_path_with_extension(options.save_snapshot)))
                                  : output_file_problem(given);
        if (!problem.empty()) return "--save-snapshot: " + problem;
    }
    if (!options.record.empty()) {
        if (std::string problem = output_file_problem(host_path(options.record)); !problem.empty())
            return "--record: " + problem;
    }
    return {};
}

std::string usage_text() {
    return "Usage: " + std::string(PROGRAM_NAME) +
           " [options] [FILE]\n"
           "Emulator of the PK-01 Lvov home computer.\n"
           "\n"
           "  FILE                  a tape image (.lvt), dump (.sav) or snapshot (.NevLVE),\n"
           "                        loaded after start-up as a file dropped onto the window\n"
           "  --headless            run without a window: full reset and boot run, FILE,\n"
           "                        --type, then the frames back to back; no snapshot slot\n"
           "                        file is read or written\n"
           "  --frames N            frames of a headless run (default 250, 50 per emulated\n"
           "                        second; 0 runs none; at most 10000000)\n"
           "  --screenshot OUT.png  write the 256x256 picture at the end of a headless run\n"
           "  --type TEXT           type TEXT after the boot run and FILE, each key held for\n"
           "                        3 frames and released for 3; \\n is Enter\n"
           "  --save-snapshot FILE  write a snapshot at the end of a headless run\n"
           "                        (\".NevLVE\" is appended when missing)\n"
           "  --break ADDR          stop the frames at the first execution of the instruction\n"
           "                        at ADDR (hexadecimal; may be repeated) and print the\n"
           "                        registers: PC=.. SP=.. A=.. F=.. BC=.. DE=.. HL=..\n"
           "                        cycles=N (N: clock cycles of the frame up to the stop)\n"
           "  --watch ADDR          stop the same way after the first write to ADDR\n"
           "  --trace N             print the last N instructions executed (at most " +
           std::to_string(TRACE_LINES_MAX) +
           ")\n"
           "                        before the stop or the end of the run\n"
           "  --record FILE         record every input of the session into FILE (.NevLVR):\n"
           "                        headless, FILE, --type and the frames; in the window,\n"
           "                        until File > Stop Recording or the window closes\n"
           "  --replay FILE         play a recording back; headless, then compare the final\n"
           "                        state with the recorded one (exit status 4 when they\n"
           "                        differ); in the window, keys are ignored until it ends\n"
           "                        or Esc stops it\n"
           "  --dir DIR             the folder that stands for the program's directory\n"
           "                        (snapshot slots, key map, games, firmware)\n"
           "  --help                show this text\n"
           "  --version             show the version\n"
           "\n"
           "Exit status: 0 done, 1 an output file could not be written, 2 bad options, an\n"
           "input file that cannot be read or is no image, or an output that is a folder,\n"
           "FIFO or device, or a recording refused, 3 the frames ran out before a --break or\n"
           "--watch stopped them, 4 a replay ended in another state than the recorded one.\n";
}

std::string version_text() { return std::string(PROGRAM_NAME_VERSION) + "\n"; }

}  // namespace lvov
