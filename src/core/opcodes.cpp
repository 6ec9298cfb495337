// Text forms of the opcode table: lookup by mnemonic for the assembler, assembly text and
// the debugger listing's rows.
#include "core/opcodes.h"

#include <cctype>
#include <unordered_map>

#include "core/hex.h"

namespace lvov {

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

struct Lookup {
    std::unordered_map<std::string, uint8_t> by_text;  // "MOV A,M" -> 7E
    std::unordered_map<std::string, MnemonicShape> shapes;  // "MOV" -> 2 registers, no immediate
};

const Lookup& lookup() {
    static const Lookup table = [] {
        Lookup l;
        for (int op = 0; op < 256; ++op) {
            const OpcodeInfo& info = OPCODE_TABLE[op];
            if (!info.documented(static_cast<uint8_t>(op))) continue;
            l.by_text.emplace(std::string(info.mnemonic) + " " + info.operands, static_cast<uint8_t>(op));
            const std::string_view regs = info.operands;
            int count = regs.empty() ? 0 : 1;
            for (char c : regs) count += c == ',';
            l.shapes.emplace(info.mnemonic, MnemonicShape{count, info.kind});
        }
        return l;
    }();
    return table;
}

// A number in the assembler's syntax: hexadecimal with an H suffix, a leading 0 when the
// first digit is a letter.
std::string asm_hex(unsigned value, size_t digits) {
    std::string h = hex_digits(value, digits);
    if (std::isalpha(static_cast<unsigned char>(h[0]))) h.insert(h.begin(), '0');
    return h + "H";
}

}  // namespace

std::optional<uint8_t> find_opcode(std::string_view mnemonic, std::string_view operands) {
    const auto& map = lookup().by_text;
    const auto it = map.find(upper(mnemonic) + " " + upper(operands));
    if (it == map.end()) return std::nullopt;
    return it->second;
}

std::optional<MnemonicShape> mnemonic_shape(std::string_view mnemonic) {
    const auto& map = lookup().shapes;
    const auto it = map.find(upper(mnemonic));
    if (it == map.end()) return std::nullopt;
    return it->second;
}

std::string format_instruction(uint8_t op, uint8_t b1, uint8_t b2) {
    const OpcodeInfo& info = OPCODE_TABLE[op];
    std::string text = info.mnemonic;
    std::string operands = info.operands;
    if (info.kind == OperandKind::Byte) {
        if (!operands.empty()) operands += ",";
        operands += asm_hex(b1, 2);
    } else if (info.kind == OperandKind::Word) {
        if (!operands.empty()) operands += ",";
        operands += asm_hex(b1 | (b2 << 8), 4);
    }
    if (!operands.empty()) text += " " + operands;
    return text;
}

ListingRow listing_row(uint16_t address, uint8_t op, uint8_t b1, uint8_t b2) {
    const OpcodeInfo& info = OPCODE_TABLE[op];
    ListingRow row;
    row.address = hex4(address) + ":";
    row.bytes = hex2(op) + " ";
    row.mnemonic = info.listing;
    if (info.length == 2) {
        row.bytes += hex2(b1);
        if (op != 0xD3) row.mnemonic += hex2(b1);  // "OUT port" shows no operand
    } else if (info.length == 3) {
        row.bytes += hex2(b1) + " " + hex2(b2);
        row.operand = hex4(b1 | (b2 << 8));
    }
    return row;
}

}  // namespace lvov
