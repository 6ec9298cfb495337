// The statements of the assembler's passes: labels, directives and instructions.
#include "asm/passes.h"

#include <algorithm>
#include <cctype>

namespace lvov::asm_detail {

namespace {

constexpr int MAX_INCLUDE_DEPTH = 16;

bool is_directive(const std::string& u) {
    return u == "ORG" || u == "EQU" || u == "DB" || u == "DW" || u == "DS" || u == "INCLUDE" || u == "INCBIN" ||
           u == "END";
}

}  // namespace

// Runs a statement whose size is known beforehand. When it fails, the address still
// advances by that size, so the labels after it keep the values the earlier passes
// gave them and the mistake is not reported again as labels that "do not settle".
template <typename Body>
void Assembler::keeping_size(std::optional<uint32_t> size, Body body) {
    const uint32_t start = pc_;
    try {
        body();
    } catch (const LineError&) {
        if (size) pc_ = start + *size;
        throw;
    }
}

// The bytes DB (unit 1) or DW (unit 2) emits, from the shape of its items alone;
// nullopt when the operands cannot even be split.
std::optional<uint32_t> Assembler::data_size(std::string_view operands, uint32_t unit) {
    std::vector<std::string_view> items;
    try {
        items = split_operands(operands);
    } catch (const LineError&) {
        return std::nullopt;
    }
    uint32_t size = 0;
    for (std::string_view item : items) {
        if (unit == 1 && !item.empty() && (item[0] == '"' || item[0] == '\'')) {
            size_t p = 0;
            try {
                const std::string str = read_quoted(item, p);
                if (p == item.size() && str.size() != 1) {
                    size += static_cast<uint32_t>(str.size());
                    continue;
                }
            } catch (const LineError&) {
                return std::nullopt;
            }
        }
        size += unit;
    }
    return size;
}

void Assembler::process_line(const std::string& raw, const std::filesystem::path& dir, int depth) {
    const std::string_view text = strip_comment(raw);
    const bool column0 = !text.empty() && !std::isspace(static_cast<unsigned char>(text[0]));
    size_t pos = 0;
    auto skip = [&] {
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    };
    auto word = [&] {
        skip();
        const size_t start = pos;
        while (pos < text.size() && is_name_char(text[pos])) ++pos;
        return std::string(text.substr(start, pos - start));
    };

    std::string label;
    std::string op;
    std::string first = word();
    if (first.empty()) {
        skip();
        if (pos < text.size()) throw LineError{"unexpected '" + std::string(trim(text.substr(pos))) + "'"};
        return;
    }
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        label = first;
        op = word();
    } else {
        const size_t save = pos;
        skip();
        const bool equals = pos < text.size() && text[pos] == '=';
        pos = save;
        const size_t save2 = pos;
        const std::string second = upper(word());
        pos = save2;
        const std::string ufirst = upper(first);
        if (equals || second == "EQU") {
            label = first;
            if (equals) {
                skip();
                ++pos;
                op = "EQU";
            } else {
                op = word();
            }
        } else if (is_directive(ufirst) || mnemonic_shape(ufirst)) {
            op = first;
        } else if (column0) {
            label = first;
            op = word();
        } else {
            throw LineError{"unknown mnemonic '" + first + "'"};
        }
    }
    skip();
    const std::string_view operands = text.substr(pos);
    const std::string uop = upper(op);
    if (op.empty() && !operands.empty()) throw LineError{"unexpected '" + std::string(trim(operands)) + "'"};

    if (uop == "EQU") {
        if (label.empty()) throw LineError{"EQU needs a name"};
        const Value v = eval(operands);
        define(label, v);
        if (final_ && listing_index_ >= 0) {
            result_.listing[listing_index_].show = ListingLine::Show::Value;
            result_.listing[listing_index_].value = static_cast<int32_t>(v.v);
        }
        return;
    }
    if (final_ && listing_index_ >= 0 && (!label.empty() || uop == "ORG" || uop == "DS"))
        result_.listing[listing_index_].show = ListingLine::Show::Address;
    if (uop == "ORG") {
        const Value v = eval(operands);
        const int64_t addr = checked(v, 0, 0xFFFF, "an address (0 to 0FFFFH)");
        if (v.known && addr >= 0 && addr <= 0xFFFF) pc_ = static_cast<uint32_t>(addr);
        line_address_ = pc_;
        if (final_ && listing_index_ >= 0) result_.listing[listing_index_].address = pc_;
        if (!label.empty()) define_label(label);
        return;
    }
    if (!label.empty()) define_label(label);
    if (op.empty()) return;

    if (uop == "DB") return keeping_size(data_size(operands, 1), [&] { do_db(operands); });
    if (uop == "DW") return keeping_size(data_size(operands, 2), [&] { do_dw(operands); });
    if (uop == "DS") return do_ds(operands);
    if (uop == "END") {
        ended_ = true;
        return;
    }
    if (uop == "INCLUDE") {
        const std::filesystem::path path = resolve(operands, dir);
        const std::string& key = key_of(path);
        if (std::find(including_.begin(), including_.end(), key) != including_.end())
            throw LineError{"INCLUDE cycle: '" + path.string() + "' is already being assembled here"};
        if (depth >= MAX_INCLUDE_DEPTH) throw LineError{"INCLUDE nested too deeply"};
        const std::vector<std::string>& lines = source_file(path);
        including_.push_back(key);
        process_lines(lines, path.string(), path.parent_path(), depth + 1);
        including_.pop_back();
        return;
    }
    if (uop == "INCBIN") {
        const std::filesystem::path path = resolve(operands, dir);
        for (uint8_t b : binary_file(path)) emit(b);
        return;
    }
    const auto shape = mnemonic_shape(uop);
    if (!shape) throw LineError{"unknown mnemonic '" + op + "'"};
    const uint32_t size = 1 + (shape->kind == OperandKind::Byte ? 1 : shape->kind == OperandKind::Word ? 2 : 0);
    keeping_size(size, [&] { do_instruction(op, *shape, operands); });
}

void Assembler::do_db(std::string_view operands) {
    const auto items = split_operands(operands);
    if (items.empty()) throw LineError{"DB needs at least one value"};
    for (std::string_view item : items) {
        if (item.empty()) throw LineError{"missing value in DB"};
        if (item[0] == '"' || item[0] == '\'') {
            size_t p = 0;
            const std::string str = read_quoted(item, p);
            if (p == item.size() && str.size() != 1) {
                for (unsigned char c : str) emit(c);
                continue;
            }
        }
        emit(static_cast<uint8_t>(checked(eval(item), -128, 255, "a byte (-128 to 255)")));
    }
}

void Assembler::do_dw(std::string_view operands) {
    const auto items = split_operands(operands);
    if (items.empty()) throw LineError{"DW needs at least one value"};
    for (std::string_view item : items) {
        if (item.empty()) throw LineError{"missing value in DW"};
        const int64_t v = checked(eval(item), -32768, 0xFFFF, "a word (-32768 to 65535)");
        emit(static_cast<uint8_t>(v));
        emit(static_cast<uint8_t>(v >> 8));
    }
}

void Assembler::do_ds(std::string_view operands) {
    const auto items = split_operands(operands);
    if (items.empty() || items.size() > 2) throw LineError{"DS takes a count and an optional fill byte"};
    const Value count = eval(items[0]);
    if (final_ && !count.known) throw LineError{"DS count is not known"};
    const int64_t n = checked(count, 0, 0x10000, "a DS count (0 to 65536)");
    if (!count.known || n < 0 || n > 0x10000) return;
    if (items.size() == 2) {
        const uint8_t fill = static_cast<uint8_t>(checked(eval(items[1]), -128, 255, "a byte (-128 to 255)"));
        for (int64_t i = 0; i < n; ++i) emit(fill);
    } else {
        pc_ += static_cast<uint32_t>(n);
    }
}

void Assembler::do_instruction(const std::string& op, MnemonicShape shape, std::string_view operand_text) {
    const std::string uop = upper(op);
    const auto ops = split_operands(operand_text);
    const size_t expected = static_cast<size_t>(shape.registers) + (shape.kind == OperandKind::None ? 0 : 1);
    if (ops.size() != expected) {
        throw LineError{uop + " takes " + std::to_string(expected) + (expected == 1 ? " operand" : " operands") +
                        ", found " + std::to_string(ops.size())};
    }
    for (std::string_view o : ops)
        if (o.empty()) throw LineError{"missing operand for " + uop};

    uint8_t opcode;
    if (uop == "RST") {
        const int64_t n = checked(eval(ops[0]), 0, 7, "an RST number (0 to 7)");
        opcode = *find_opcode(uop, std::to_string(n));
    } else {
        std::string regs;
        for (int i = 0; i < shape.registers; ++i) {
            if (i) regs += ",";
            regs += upper(ops[i]);
        }
        const auto found = find_opcode(uop, regs);
        if (!found) bad_registers(uop, ops, shape.registers);
        opcode = *found;
    }
    emit(opcode);
    if (shape.kind == OperandKind::Byte) {
        emit(static_cast<uint8_t>(checked(operand_value(uop, ops.back(), "byte"), -128, 255, "a byte (-128 to 255)")));
    } else if (shape.kind == OperandKind::Word) {
        const int64_t v = checked(operand_value(uop, ops.back(), "word"), -32768, 0xFFFF, "a word (-32768 to 65535)");
        emit(static_cast<uint8_t>(v));
        emit(static_cast<uint8_t>(v >> 8));
    }
}

// The value operand of an instruction; a register written there ("CPI B") is named as
// such rather than as an undefined label.
Value Assembler::operand_value(const std::string& uop, std::string_view operand, const char* kind) {
    try {
        return eval(operand);
    } catch (const LineError&) {
        const std::string u = upper(trim(operand));
        static const char* const registers[] = {"A", "B", "C", "D", "E", "H", "L", "M", "SP", "PSW"};
        for (const char* r : registers)
            if (u == r)
                throw LineError{"bad operand '" + std::string(trim(operand)) + "' for " + uop + ": expected a " + kind +
                                " value, not a register"};
        throw;
    }
}

// Names the register operand that no encoding of the mnemonic accepts.
void Assembler::bad_registers(const std::string& uop, const std::vector<std::string_view>& ops, int count) {
    for (int i = 0; i < count; ++i) {
        std::vector<std::string> valid;
        for (int code = 0; code < 256; ++code) {
            const OpcodeInfo& info = opcode_info(static_cast<uint8_t>(code));
            if (!info.documented(static_cast<uint8_t>(code)) || uop != info.mnemonic) continue;
            std::string_view regs = info.operands;
            for (int k = 0; k < i; ++k) regs.remove_prefix(regs.find(',') + 1);
            const std::string reg(regs.substr(0, regs.find(',')));
            if (std::find(valid.begin(), valid.end(), reg) == valid.end()) valid.push_back(reg);
        }
        if (std::find(valid.begin(), valid.end(), upper(ops[i])) == valid.end()) {
            std::string list;
            for (size_t k = 0; k < valid.size(); ++k) {
                if (k) list += k + 1 == valid.size() ? " or " : ", ";
                list += valid[k];
            }
            throw LineError{"bad operand '" + std::string(ops[i]) + "' for " + uop + ": expected " + list};
        }
    }
    std::string all;
    for (int i = 0; i < count; ++i) {
        if (i) all += ',';
        all += ops[i];
    }
    throw LineError{"bad operands '" + all + "' for " + uop + ": no such instruction"};
}

}  // namespace lvov::asm_detail
