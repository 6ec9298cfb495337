// The Intel 8080 opcode table, shared by the assembler, the disassembler and the tests.
//
// One entry per opcode byte 00-FF: the mnemonic, the register operands fixed by the
// encoding, the kind of immediate that follows, the instruction length, the clock cycles
// and the text the debugger's listing shows. The undocumented opcodes have entries of
// their own (08..38 "_nop_", CB "_jmp_", D9 "_ret_", DD/ED/FD "_call_") that record the
// documented instruction they execute as; the assembler never emits them.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lvov {

// What follows the opcode byte.
enum class OperandKind : uint8_t {
    None,  // one-byte instruction
    Byte,  // 8-bit immediate or port number
    Word,  // 16-bit immediate or address, low byte first
};

struct OpcodeInfo {
    const char* mnemonic;   // "MOV", "LXI", "_nop_"; upper case
    const char* operands;   // register operands fixed by the encoding: "B,C", "SP", "PSW", "3" for RST 3, or ""
    OperandKind kind;
    uint8_t length;         // 1, 2 or 3 bytes
    uint8_t cycles;         // clock cycles; for a conditional call or return, when not taken
    uint8_t cycles_taken;   // conditional call or return taken; equals cycles for everything else
    uint8_t executes_as;    // the opcode itself, or the documented opcode an undocumented one stands for
    const char* listing;    // the debugger listing's mnemonic column: "MVI B ,", "JMP ", "OUT port"

    bool documented(uint8_t self) const { return executes_as == self; }
};

const std::array<OpcodeInfo, 256>& opcode_table();
inline const OpcodeInfo& opcode_info(uint8_t op) { return opcode_table()[op]; }

// The documented opcode for a mnemonic and its register operands in canonical form
// (upper case, no spaces: "MOV" "A,M", "PUSH" "PSW", "RST" "7", "JMP" ""); nullopt when
// no documented instruction matches.
std::optional<uint8_t> find_opcode(std::string_view mnemonic, std::string_view operands);

// The operand shape shared by every documented encoding of a mnemonic: how many register
// operands come first (MOV 2, MVI 1, JMP 0; RST 1, its number) and what immediate follows.
struct MnemonicShape {
    int registers;
    OperandKind kind;
};
// nullopt when the word (any letter case) is no documented mnemonic.
std::optional<MnemonicShape> mnemonic_shape(std::string_view mnemonic);

// Assembly text of the instruction op with operand bytes b1, b2, in the assembler's own
// syntax: "MOV A,M", "MVI B,3FH", "JMP 0C000H". Undocumented opcodes give their own
// names ("_jmp_ 1234H"), which the assembler does not accept.
std::string format_instruction(uint8_t op, uint8_t b1, uint8_t b2);

// One row of the debugger's listing, upper-case hexadecimal throughout:
//   address "0100:", bytes "06 3F" / "C3 00 C0", mnemonic "MVI B ,3F" / "JMP ",
//   operand "C000" for three-byte instructions, empty otherwise.
struct ListingRow {
    std::string address;
    std::string bytes;
    std::string mnemonic;
    std::string operand;
};
ListingRow listing_row(uint16_t address, uint8_t op, uint8_t b1, uint8_t b2);

}  // namespace lvov
