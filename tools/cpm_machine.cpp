#include "cpm_machine.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>
#include <system_error>

#include "core/errors.h"
#include "core/hex.h"
#include "core/i8080.h"
#include "cpm_harness.h"  // generated from cpm_harness.asm

namespace lvov {

namespace {

namespace h = harness;

constexpr uint16_t addr(int32_t symbol) { return static_cast<uint16_t>(symbol); }

// Cycles a request costs besides the turns of the wait loop, counted from the check
// that found the buffer full or empty (or, for the end, from the arrival at 0000) to
// the same check passing after the host has served it. Each is the sum of the 8080
// timings of the code in cpm_harness.asm:
//   common part: MVI A (7), CALL HWAIT (17), PUSH B (11), STA REQ (13), then after the
//   wait POP B (10), RET (10), JMP .check (10)                                   = 78
constexpr uint32_t kRequestCommon = 78;
// RAWOUT.check: LHLD (16), MOV A,H (5), CPI (7), JNZ (10)
constexpr uint32_t kDrainCost = kRequestCommon + 38;
// GETC.check: LHLD (16), MOV A,L (5), CMP H (4), JNZ (10)
constexpr uint32_t kReadCost = kRequestCommon + 35;
// AVAIL.check: the GETC check (35), LDA INFLAGS (13), ORA A (4), JNZ (10)
constexpr uint32_t kPeekCost = kRequestCommon + 62;
// JMP BIOS+3 at 0000 (10), JMP WBOOT (10), MVI A (7), STA REQ (13), JMP HWLXI (10)
constexpr uint32_t kExitCost = 50;

// One turn of the wait loop: INX B (5), NOP (4), JMP SPIN (10).
constexpr uint32_t kSpinTurn = 19;
static_assert(uint64_t{CPM_SLICE} + 18 < uint64_t{0x10000} * kSpinTurn,
              "BC would wrap within one budget and the wait could not be measured");

constexpr size_t kInputChunk = 255;  // INLEN is one byte

const char* const kBdosNames[] = {
    "system reset",
    "console input",
    "console output",
    "reader input",
    "punch output",
    "list output",
    "direct console I/O",
    "get I/O byte",
    "set I/O byte",
    "print string",
    "read console buffer",
    "get console status",
    "return version number",
    "reset disk system",
    "select disk",
    "open file",
    "close file",
    "search for first",
    "search for next",
    "delete file",
    "read sequential",
    "write sequential",
    "make file",
    "rename file",
    "return login vector",
    "return current disk",
    "set DMA address",
    "get allocation vector",
    "write protect disk",
    "get read-only vector",
    "set file attributes",
    "get disk parameters",
    "get/set user code",
    "read random",
    "write random",
    "compute file size",
    "set random record",
    "reset drive",
    "",
    "",
    "write random with zero fill",
};
const char* const kBiosNames[] = {"BOOT",   "WBOOT",  "CONST",  "CONIN",  "CONOUT", "LIST",  "PUNCH",  "READER", "HOME",
                                  "SELDSK", "SETTRK", "SETSEC", "SETDMA", "READ",   "WRITE", "LISTST", "SECTRAN"};

// Cycles spent in the wait loop so far when PC is in it (the request is in REQ).
std::optional<uint32_t> waited(const MachineState& m) {
    const uint32_t bc = static_cast<uint32_t>(m.B) << 8 | m.C;
    if (m.PC == addr(h::HWLXI)) return 0;  // REQ just stored
    if (m.PC == addr(h::SPIN)) return 10 + kSpinTurn * bc;  // LXI B, then bc turns
    if (m.PC == addr(h::SPIN + 1) && bc) return 10 + kSpinTurn * bc - 14;  // after INX B
    if (m.PC == addr(h::SPIN + 2) && bc) return 10 + kSpinTurn * bc - 10;  // after NOP
    return std::nullopt;
}

// Why the harness can no longer be trusted, or "" when it is intact.
std::string harness_damage(const MachineState& m) {
    const uint16_t top = addr(h::BDOS);
    const uint8_t vectors[8] = {0xC3,
                                static_cast<uint8_t>(h::BIOS + 3),
                                static_cast<uint8_t>((h::BIOS + 3) >> 8),
                                0,
                                0,
                                0xC3,
                                static_cast<uint8_t>(top),
                                static_cast<uint8_t>(top >> 8)};
    for (uint16_t a = 0; a < 8; ++a) {
        if ((a < 3 || a >= 5) && m.memory[a] != vectors[a])
            return "the program wrote over the " + std::string(a < 3 ? "warm-boot jump at 0000" : "BDOS jump at 0005") +
                   "; stopped";
    }
    for (uint32_t a = top; a < static_cast<uint32_t>(h::BIOS_END); ++a) {
        if (m.memory[a] != h::image[a - top])
            return "the program wrote over the BDOS/BIOS code at " + hex4(a) + "H (its memory ends below " + hex4(top) +
                   "H, the word at 0006); stopped";
    }
    const uint16_t out = get_var(m, addr(h::OUTPTR));
    if (out < h::OUTBUF || out > h::OUTEND)
        return "the program wrote over the harness's output pointer at " + hex4(h::OUTPTR) + "H; stopped";
    return "";
}

// True while the processor runs harness code other than the wait loop: its variables
// may then be half updated (an output pointer loaded but not yet stored back), so the
// host leaves the buffers alone until a later budget ends elsewhere.
bool harness_busy(const MachineState& m) { return m.PC >= h::BDOS && m.PC < h::BIOS_END && !waited(m); }

// Takes what the harness has printed and empties its buffer.
// With force (the run is over), takes it whatever the processor was doing.
std::string take_output(MachineState& m, bool force = false) {
    if (!force && harness_busy(m)) return "";
    const uint32_t end = std::clamp<uint32_t>(get_var(m, addr(h::OUTPTR)), h::OUTBUF, h::OUTEND);
    std::string text(m.memory.begin() + h::OUTBUF, m.memory.begin() + end);
    set_var(m, addr(h::OUTPTR), addr(h::OUTBUF));
    return text;
}

// Resumes the harness after the host has served its request.
void resume(MachineState& m) {
    m.memory[addr(h::REQ)] = 0;
    m.PC = addr(h::HWRET);
}

// Feeds console input to the harness: host line feeds become CR (the Return key of a
// CP/M console), and the LF of a CR LF pair is dropped.
class InputFeeder {
public:
    explicit InputFeeder(const CpmOptions& options) : options_(options) {}

    // Refills the empty input buffer. With wait, blocks until at least one byte is there
    // or the input has ended. Returns false at the end of the input.
    bool fill(MachineState& m, bool wait) {
        if (ended_) {
            m.memory[addr(h::INFLAGS)] |= h::IN_END;
            return false;
        }
        while (true) {
            std::optional<std::string> raw;
            if (options_.input) raw = options_.input(kInputChunk, wait);
            if (!raw) {
                ended_ = true;
                m.memory[addr(h::INFLAGS)] |= h::IN_END;
                return false;
            }
            size_t n = 0;
            for (size_t i = 0; i < raw->size() && i < kInputChunk; ++i) {
                const uint8_t c = static_cast<uint8_t>((*raw)[i]);
                const bool after_cr = last_cr_;
                last_cr_ = c == '\r';
                if (c == '\n' && after_cr) continue;
                m.memory[addr(h::INBUF) + n++] = c == '\n' ? '\r' : c;
            }
            if (n > 0 || !wait) {
                m.memory[addr(h::INPOS)] = 0;
                m.memory[addr(h::INLEN)] = static_cast<uint8_t>(n);
                return true;
            }
        }
    }

    bool buffer_empty(const MachineState& m) const { return m.memory[addr(h::INPOS)] == m.memory[addr(h::INLEN)]; }
    bool ended() const { return ended_; }

private:
    const CpmOptions& options_;
    bool ended_ = false;
    bool last_cr_ = false;
};

// Names each unsupported BDOS function and BIOS entry the first time the harness marks it.
class Notes {
public:
    void collect(const MachineState& m, const std::function<void(std::string_view)>& on_note) {
        for (int f = 0; f < 256; ++f) {
            if (!m.memory[addr(h::SEEN + f)] || bdos_[f]) continue;
            bdos_[f] = true;
            const char* name = f < static_cast<int>(std::size(kBdosNames)) ? kBdosNames[f] : "";
            std::string text = "BDOS function " + std::to_string(f);
            if (*name) text += std::string(" (") + name + ")";
            if (on_note) on_note(text + " is not supported here; it returns 0");
        }
        for (int e = 0; e < static_cast<int>(std::size(kBiosNames)); ++e) {
            if (!m.memory[addr(h::BSEEN + e)] || bios_[e]) continue;
            bios_[e] = true;
            if (on_note)
                on_note("BIOS entry " + std::string(kBiosNames[e]) + " (" + hex4(h::BIOS + 3 * e) +
                        "H) is not supported here; it returns 0");
        }
    }

private:
    std::array<bool, 256> bdos_{};
    std::array<bool, std::size(kBiosNames)> bios_{};
};

}  // namespace

uint16_t cpm_top() { return addr(h::BDOS); }

size_t cpm_max_program() { return static_cast<size_t>(h::BDOS) - CPM_TPA - 2; }

std::vector<uint8_t> read_cpm_program(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw IoError("Cannot open \"" + path.string() + "\": no such file.");
    if (!std::filesystem::is_regular_file(path, ec))
        throw IoError("Cannot open \"" + path.string() + "\": not a regular file.");
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) throw IoError("Cannot read \"" + path.string() + "\": " + ec.message() + ".");
    if (size == 0) throw RangeError("\"" + path.string() + "\" is empty.");
    if (size > cpm_max_program())
        throw RangeError("\"" + path.string() + "\" is " + std::to_string(size) + " bytes long; at most " +
                         std::to_string(cpm_max_program()) + " fit below the BDOS.");
    std::vector<uint8_t> bytes(size);
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        throw IoError("Cannot read \"" + path.string() + "\".");
    return bytes;
}

void cpm_setup(MachineState& m, std::span<const uint8_t> program) {
    if (program.size() > cpm_max_program())
        throw RangeError("The program is " + std::to_string(program.size()) + " bytes long; at most " +
                         std::to_string(cpm_max_program()) + " fit.");
    init_RAM(m);
    m.port_latches.fill(0xFF);  // RAM mode: 0000-BFFF is RAM
    m.A = m.B = m.C = m.D = m.E = m.H = m.L = m.F = 0;
    m.cycles = 0;

    m.memory[0x0000] = 0xC3;
    set_var(m, 0x0001, addr(h::BIOS + 3));
    m.memory[0x0005] = 0xC3;
    set_var(m, 0x0006, addr(h::BDOS));
    std::copy(std::begin(h::image), std::end(h::image), m.memory.begin() + h::BDOS);
    std::copy(program.begin(), program.end(), m.memory.begin() + CPM_TPA);

    m.SP = addr(h::BDOS - 2);
    set_var(m, m.SP, 0x0000);  // a RET from the program ends it too
    m.PC = CPM_TPA;
}

std::string cpm_drain_output(MachineState& m) {
    std::string text = take_output(m);
    if (waited(m) && m.memory[addr(h::REQ)] == h::REQ_DRAIN) resume(m);
    return text;
}

bool cpm_finished(const MachineState& m) { return waited(m).has_value() && m.memory[addr(h::REQ)] == h::REQ_EXIT; }

CpmResult cpm_run(MachineState& m, const CpmOptions& options) {
    CpmResult result;
    const int32_t slice = std::clamp(options.slice, 1, CPM_SLICE);
    InputFeeder input(options);
    Notes notes;
    m.memory[addr(h::INFLAGS)] = (options.interactive ? h::IN_TERMINAL : 0) | (options.input ? 0 : h::IN_END);

    // Cycles of the program; the overheads subtracted here were added by earlier runs.
    uint64_t total = 0;
    auto output = [&](MachineState& mm, bool force = false) {
        std::string piece = take_output(mm, force);
        if (piece.empty()) return;
        if (options.on_output) options.on_output(piece);
        result.output += piece;
    };

    while (options.max_cycles == 0 || total < options.max_cycles) {
        int32_t budget = slice;
        if (options.max_cycles) budget = static_cast<int32_t>(std::min<uint64_t>(budget, options.max_cycles - total));
        i8080_do_opcodes(m, budget);
        total += static_cast<uint64_t>(m.cycles);

        if (std::string damage = harness_damage(m); !damage.empty()) {
            output(m, true);
            result.stop = damage;
            break;
        }
        output(m);
        notes.collect(m, options.on_note);

        const std::optional<uint32_t> wait = waited(m);
        if (!wait) {
            if (options.interactive && !harness_busy(m) && input.buffer_empty(m)) input.fill(m, false);
            continue;
        }
        total -= *wait;
        const uint8_t request = m.memory[addr(h::REQ)];
        if (request == h::REQ_EXIT) {
            total -= kExitCost;
            result.finished = true;
            break;
        }
        if (request == h::REQ_DRAIN) {
            total -= kDrainCost;
        } else if (request == h::REQ_READ) {
            total -= kReadCost;
            if (!input.fill(m, true)) {
                result.stop = "the program waits for console input, and the input has ended; stopped";
                break;
            }
        } else if (request == h::REQ_PEEK) {
            total -= kPeekCost;
            input.fill(m, true);
        } else {
            result.stop = "the program wrote over the harness's request byte at " + hex4(h::REQ) + "H; stopped";
            break;
        }
        resume(m);
    }
    if (!result.finished && result.stop.empty()) output(m, true);  // max_cycles reached
    result.cycles = total;
    return result;
}

CpmResult cpm_run(MachineState& m, uint64_t max_cycles, int32_t slice,
                  const std::function<void(std::string_view)>& on_output) {
    CpmOptions options;
    options.max_cycles = max_cycles;
    options.slice = slice;
    options.on_output = on_output;
    return cpm_run(m, options);
}

}  // namespace lvov
