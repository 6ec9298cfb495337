// The assembler's output formats: raw bytes, tape image, fixed-size image and listing.
#include "asm/assembler.h"

#include <algorithm>
#include <cstdio>

#include "core/errors.h"
#include "core/hex.h"
#include "storage/tape_format.h"

namespace lvov {

std::vector<uint8_t> raw_binary(const AssembleResult& result) {
    if (result.empty()) return {};
    return std::vector<uint8_t>(result.memory.begin() + result.lowest(), result.memory.begin() + result.highest() + 1);
}

std::vector<uint8_t> tape_image(const AssembleResult& result, std::string_view name, uint16_t run) {
    if (result.empty()) throw RangeError("nothing was assembled, so there is no tape image to write");
    if (name.size() > TAPE_NAME_SIZE)
        throw RangeError("tape name '" + std::string(name) + "' is longer than 6 characters");
    for (char c : name)
        if (c < 0x20 || c > 0x7E) throw RangeError("tape name '" + std::string(name) + "' must be printable ASCII");
    const uint16_t start = result.lowest();
    const uint16_t end = result.highest();
    std::vector<uint8_t> out(TAPE_BINARY_DATA, 0);
    std::copy(TAPE_MAGIC, TAPE_MAGIC + TAPE_MAGIC_SIZE, out.begin());
    out[TAPE_TYPE_OFFSET] = TAPE_TYPE_BINARY;
    for (size_t i = 0; i < TAPE_NAME_SIZE; ++i) out[TAPE_NAME_OFFSET + i] = i < name.size() ? name[i] : ' ';
    auto word = [&](size_t at, uint16_t v) {
        out[at] = static_cast<uint8_t>(v);
        out[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    word(TAPE_START_OFFSET, start);
    word(TAPE_END_OFFSET, end);
    word(TAPE_RUN_OFFSET, run);
    out.insert(out.end(), result.memory.begin() + start, result.memory.begin() + end + 1);
    return out;
}

std::string run_address_warning(const AssembleResult& result, std::string_view run_text, uint16_t run) {
    if (result.empty() || (run >= result.lowest() && run <= result.highest())) return {};
    std::string text = "run address " + std::string(run_text) + " is " + hex4(run) + "H, outside the assembled bytes " +
                       hex4(result.lowest()) + "H-" + hex4(result.highest()) + "H";
    const bool plain_digits = !run_text.empty() && run_text.find_first_not_of("0123456789") == std::string_view::npos;
    if (plain_digits && run >= 10)
        text += " (a plain number is decimal; write " + std::string(run_text) + "H for hexadecimal)";
    return text;
}

std::vector<uint8_t> fixed_image(const AssembleResult& result, uint32_t start, uint32_t size) {
    if (size == 0 || start > 0xFFFF || size > 0x10000 - start) {
        throw RangeError("image of " + std::to_string(size) + " bytes from " + hex_digits(start, 4) +
                         "H does not fit in 0000H-FFFFH");
    }
    const uint32_t end = start + size;  // exclusive
    for (uint32_t a = 0; a < 0x10000; ++a) {
        if (result.used[a] && (a < start || a >= end))
            throw RangeError("code at " + hex4(a) + "H lies outside the image " + hex4(start) + "H-" + hex4(end - 1) +
                             "H");
    }
    return std::vector<uint8_t>(result.memory.begin() + start, result.memory.begin() + end);
}

std::string listing_text(const AssembleResult& result) {
    std::string out;
    char buf[64];
    std::string file;
    for (const ListingLine& l : result.listing) {
        if (l.file != file) {
            file = l.file;
            out += "; " + file + "\n";
        }
        // Four bytes per row; longer data continues on rows of its own.
        size_t i = 0;
        do {
            std::string bytes;
            for (size_t k = i; k < l.bytes.size() && k < i + 4; ++k) {
                bytes += hex2(l.bytes[k]) + " ";
            }
            std::snprintf(buf, sizeof buf, "%5d  ", l.line);
            out += i == 0 ? buf : "       ";
            if (!l.bytes.empty() || l.show == ListingLine::Show::Address) {
                out += " " + hex4(l.address + i);
            } else if (l.show == ListingLine::Show::Value) {
                out += "=" + hex4(static_cast<uint32_t>(l.value));
            } else {
                out += "     ";
            }
            out += "  " + bytes + std::string(12 - bytes.size(), ' ');
            if (i == 0) out += l.source;
            while (!out.empty() && out.back() == ' ') out.pop_back();
            out += "\n";
            i += 4;
        } while (i < l.bytes.size());
    }
    out += "\n; symbols\n";
    for (const auto& [name, value] : result.symbols) {
        std::snprintf(buf, sizeof buf, "%-24s %sH  %d\n", name.c_str(), hex4(static_cast<uint32_t>(value)).c_str(),
                      value);
        out += buf;
    }
    return out;
}

}  // namespace lvov
