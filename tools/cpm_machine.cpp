#include "cpm_machine.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "core/errors.h"
#include "core/i8080.h"

namespace lvov {

namespace {

// The BDOS routine, assembled for CPM_TOP (A000).
constexpr uint8_t kBdos[] = {
    0xE5,              // A000 PUSH H
    0xD5,              // A001 PUSH D
    0xC5,              // A002 PUSH B
    0x79,              // A003 MOV A,C
    0xFE, 0x02,        // A004 CPI 2          ; print one character?
    0xC2, 0x10, 0xA0,  // A006 JNZ A010
    0x7B,              // A009 MOV A,E
    0xCD, 0x26, 0xA0,  // A00A CALL putc
    0xC3, 0x22, 0xA0,  // A00D JMP exit
    0xFE, 0x09,        // A010 CPI 9          ; print a '$'-terminated text?
    0xC2, 0x22, 0xA0,  // A012 JNZ exit
    0x1A,              // A015 LDAX D
    0xFE, 0x24,        // A016 CPI '$'
    0xCA, 0x22, 0xA0,  // A018 JZ exit
    0xCD, 0x26, 0xA0,  // A01B CALL putc
    0x13,              // A01E INX D
    0xC3, 0x15, 0xA0,  // A01F JMP A015
    0xC1,              // A022 exit: POP B
    0xD1,              // A023 POP D
    0xE1,              // A024 POP H
    0xC9,              // A025 RET
    0x47,              // A026 putc: MOV B,A
    0x2A, 0xFE, 0xA0,  // A027 LHLD A0FE      ; write pointer
    0x7C,              // A02A MOV A,H
    0xFE, 0xC0,        // A02B CPI C0         ; buffer full: wait for the host to drain it
    0xCA, 0x27, 0xA0,  // A02D JZ A027
    0x70,              // A030 MOV M,B
    0x23,              // A031 INX H
    0x22, 0xFE, 0xA0,  // A032 SHLD A0FE
    0xC9,              // A035 RET
};
static_assert(CPM_TOP + sizeof(kBdos) <= CPM_OUT_PTR);

}  // namespace

std::vector<uint8_t> read_cpm_program(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        throw IoError("Cannot open \"" + path.string() + "\": no such file.");
    if (!std::filesystem::is_regular_file(path, ec))
        throw IoError("Cannot open \"" + path.string() + "\": not a regular file.");
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) throw IoError("Cannot read \"" + path.string() + "\": " + ec.message() + ".");
    if (size == 0) throw RangeError("\"" + path.string() + "\" is empty.");
    if (size > CPM_MAX_PROGRAM)
        throw RangeError("\"" + path.string() + "\" is " + std::to_string(size) + " bytes long; at most " +
                         std::to_string(CPM_MAX_PROGRAM) + " fit below the BDOS routine.");
    std::vector<uint8_t> bytes(size);
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        throw IoError("Cannot read \"" + path.string() + "\".");
    return bytes;
}

void cpm_setup(MachineState& m, std::span<const uint8_t> program) {
    if (program.size() > CPM_MAX_PROGRAM)
        throw RangeError("The program is " + std::to_string(program.size()) + " bytes long; at most " +
                         std::to_string(CPM_MAX_PROGRAM) + " fit.");
    init_RAM(m);
    m.port_latches.fill(0xFF);  // RAM mode: 0000-BFFF is RAM
    i8080_init(m);
    m.A = m.B = m.C = m.D = m.E = m.H = m.L = m.F = 0;
    m.cycles = 0;

    const uint8_t jmp_self[] = {0xC3, 0x00, 0x00};
    std::copy(std::begin(jmp_self), std::end(jmp_self), m.memory.begin());
    m.memory[CPM_BDOS_ENTRY] = 0xC3;
    set_var(m, CPM_BDOS_ENTRY + 1, CPM_TOP);
    std::copy(std::begin(kBdos), std::end(kBdos), m.memory.begin() + CPM_TOP);
    set_var(m, CPM_OUT_PTR, CPM_OUT_BUF);
    std::copy(program.begin(), program.end(), m.memory.begin() + CPM_TPA);

    m.SP = CPM_TOP - 2;
    set_var(m, m.SP, 0x0000);  // a RET from the program ends it too
    m.PC = CPM_TPA;
}

std::string cpm_drain_output(MachineState& m) {
    // The program may have overwritten the pointer; never read outside the buffer.
    const uint32_t end = std::clamp<uint32_t>(get_var(m, CPM_OUT_PTR), CPM_OUT_BUF, CPM_OUT_END);
    std::string text(m.memory.begin() + CPM_OUT_BUF, m.memory.begin() + end);
    set_var(m, CPM_OUT_PTR, CPM_OUT_BUF);
    return text;
}

CpmResult cpm_run(MachineState& m, uint64_t max_cycles, int32_t slice,
                  const std::function<void(std::string_view)>& on_output) {
    CpmResult result;
    if (slice <= 0) slice = CPM_SLICE;
    while (!cpm_finished(m) && (max_cycles == 0 || result.cycles < max_cycles)) {
        i8080_do_opcodes(m, slice);
        result.cycles += static_cast<uint64_t>(m.cycles);
        std::string piece = cpm_drain_output(m);
        if (!piece.empty()) {
            if (on_output) on_output(piece);
            result.output += piece;
        }
    }
    result.finished = cpm_finished(m);
    return result;
}

}  // namespace lvov
