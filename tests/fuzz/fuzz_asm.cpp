// The 8080 assembler on any text.
//
// The input holds up to three files separated by zero bytes: the main source
// (main.asm), a second source (part.inc) and a binary (data.bin), all written to a folder
// of the target's own, so INCLUDE and INCBIN read only these. Inputs that name a file
// with a path separator on an INCLUDE or INCBIN line are skipped: they could reach
// files outside that folder.
//
// Properties:
//  - an assembly with errors yields no bytes at all, and every error names a file and
//    says what is wrong;
//  - an assembly without errors agrees with its own listing: each listed byte is at its
//    address, and the listing holds exactly the bytes assembled;
//  - the raw binary runs from the lowest to the highest assembled address.
#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "asm/assembler.h"
#include "fuzz_support.h"

using namespace lvov;

namespace {

// True when a line that could be an INCLUDE or INCBIN holds a path separator.
bool names_outside_file(std::string_view text) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        for (char& c : line) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if ((line.find("INCLUDE") != std::string::npos || line.find("INCBIN") != std::string::npos) &&
            line.find('/') != std::string::npos)
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path dir = [] {
        const std::filesystem::path d = lvov::fuzz::scratch_dir() / "asm";
        std::filesystem::create_directories(d);
        return d;
    }();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view parts[3];
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t end = i == 2 ? input.size() : std::min(input.find('\0', at), input.size());
        parts[i] = input.substr(std::min(at, input.size()), end - std::min(at, input.size()));
        at = end + 1;
    }
    if (names_outside_file(parts[0]) || names_outside_file(parts[1])) return -1;
    const char* names[3] = {"main.asm", "part.inc", "data.bin"};
    for (int i = 0; i < 3; ++i)
        lvov::fuzz::write_file(dir / names[i], reinterpret_cast<const uint8_t*>(parts[i].data()), parts[i].size());

    const AssembleResult r = assemble_file(dir / names[0]);
    if (!r.ok()) {
        FUZZ_CHECK(std::none_of(r.used.begin(), r.used.end(), [](bool u) { return u; }) &&
                       std::all_of(r.memory.begin(), r.memory.end(), [](uint8_t b) { return b == 0; }),
                   "an assembly with errors left bytes behind");
        for (const AsmError& e : r.errors)
            FUZZ_CHECK(!e.file.empty() && !e.message.empty() && e.line >= 0, "an error without file or message");
        return 0;
    }

    size_t listed = 0;
    for (const ListingLine& line : r.listing) {
        for (size_t k = 0; k < line.bytes.size(); ++k) {
            const uint32_t a = line.address + static_cast<uint32_t>(k);
            FUZZ_CHECK(a <= 0xFFFF && r.used[a] && r.memory[a] == line.bytes[k],
                       line.file + ":" + std::to_string(line.line) + ": listed byte " + std::to_string(k) +
                           " is not at " + hex4(a));
        }
        listed += line.bytes.size();
    }
    const size_t used = static_cast<size_t>(std::count(r.used.begin(), r.used.end(), true));
    FUZZ_CHECK(listed == used, std::to_string(listed) + " bytes listed, " + std::to_string(used) + " assembled");

    const std::vector<uint8_t> raw = raw_binary(r);
    if (used == 0) {
        FUZZ_CHECK(raw.empty(), "an empty assembly has a binary");
    } else {
        FUZZ_CHECK(raw.size() == size_t(r.highest()) - r.lowest() + 1 && r.used[r.lowest()] && r.used[r.highest()] &&
                       std::equal(raw.begin(), raw.end(), r.memory.begin() + r.lowest()),
                   "the binary does not run from the lowest to the highest assembled byte");
    }
    return 0;
}
