// asm8080: assembles one 8080 source file into a raw binary, a tape image or a
// fixed-size memory image.
//
//   asm8080 SOURCE.asm -o OUT                      raw bytes, lowest to highest address
//   asm8080 SOURCE.asm -o OUT.lvt --lvt NAME [--run ADDR]
//                                                  machine-code tape image (run defaults
//                                                  to the lowest address)
//   asm8080 SOURCE.asm -o OUT --image START SIZE   exactly SIZE bytes from START
//   ... [-l LISTING]                               also write a listing with the symbols
//
// ADDR, START and SIZE are numbers or expressions in the assembler's syntax and may name
// labels of the source (--run START). A run address outside the assembled bytes is kept
// but warned about (--run 8000 is decimal, 1F40H). Exit status 0 on success; 1 with
// messages on stderr otherwise, and then no output file is written.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "asm/assembler.h"
#include "core/errors.h"

namespace {

const char USAGE[] = "usage: asm8080 SOURCE.asm -o OUT [--lvt NAME [--run ADDR]] [--image START SIZE] [-l LISTING]\n";

int fail(const std::string& message) {
    std::fprintf(stderr, "asm8080: %s\n", message.c_str());
    return 1;
}

// Writes the whole file through a temporary beside it, so a failed write leaves any
// earlier file of that name as it was. Only a regular file is replaced (the rename would
// put a plain file in the place of a device such as /dev/null or of a FIFO); a symbolic
// link is followed to the file it names.
void write_file(const std::filesystem::path& given, const std::string_view bytes) {
    std::error_code ec;
    std::filesystem::path path = given;
    const auto st = std::filesystem::status(given, ec);
    if (!ec && std::filesystem::exists(st)) {
        if (!std::filesystem::is_regular_file(st))
            throw lvov::IoError("'" + given.string() + "' is not a regular file; it is left as it is");
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(given, ec)))
            path = std::filesystem::canonical(given, ec);
        if (ec) throw lvov::IoError("cannot follow the link '" + given.string() + "'");
    }
    std::filesystem::path tmp = path;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) throw lvov::IoError("cannot create '" + tmp.string() + "'");
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::filesystem::remove(tmp, ec);
            throw lvov::IoError("cannot write '" + tmp.string() + "'");
        }
    }
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::filesystem::remove(tmp, ec);
        throw lvov::IoError("cannot write '" + path.string() + "'");
    }
}

std::string_view as_chars(const std::vector<uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

int main(int argc, char** argv) {
    std::string source, output, listing, tape_name, run_text, image_start, image_size;
    bool tape = false, image = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        std::optional<std::string> v;
        if (arg == "-o") {
            if (!(v = value())) return fail("-o needs a file name\n" + std::string(USAGE));
            output = *v;
        } else if (arg == "-l") {
            if (!(v = value())) return fail("-l needs a file name");
            listing = *v;
        } else if (arg == "--lvt") {
            if (!(v = value())) return fail("--lvt needs a name of up to 6 characters");
            tape = true;
            tape_name = *v;
        } else if (arg == "--run") {
            if (!(v = value())) return fail("--run needs an address");
            run_text = *v;
        } else if (arg == "--image" || arg == "--pad-to") {
            if (i + 2 >= argc) return fail(arg + " needs START and SIZE");
            image = true;
            image_start = argv[++i];
            image_size = argv[++i];
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            return fail("unknown option '" + arg + "'\n" + USAGE);
        } else if (source.empty()) {
            source = arg;
        } else {
            return fail("more than one source file given\n" + std::string(USAGE));
        }
    }
    if (source.empty() || output.empty()) return fail(std::string("a source file and -o OUT are needed\n") + USAGE);
    if (tape && image) return fail("--lvt and --image exclude each other");
    if (!run_text.empty() && !tape) return fail("--run goes with --lvt");

    const lvov::AssembleResult result = lvov::assemble_file(source);
    if (!result.ok()) {
        for (const lvov::AsmError& e : result.errors) std::fprintf(stderr, "%s\n", e.text().c_str());
        std::fprintf(stderr, "asm8080: %zu error%s, nothing written\n", result.errors.size(),
                     result.errors.size() == 1 ? "" : "s");
        return 1;
    }
    if (result.empty()) return fail(source + ": the source assembles no bytes, nothing written");

    auto number = [&](const std::string& text, const char* what) -> std::optional<int32_t> {
        std::string err;
        const auto v = lvov::evaluate(text, result, &err);
        if (!v) {
            // "C000" reads as a label; say how hexadecimal is written.
            const bool hexlike = !text.empty() && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
            if (hexlike) err += " (hexadecimal is written 0" + text + "H or 0x" + text + ")";
            std::fprintf(stderr, "asm8080: %s '%s': %s\n", what, text.c_str(), err.c_str());
        }
        return v;
    };

    try {
        std::vector<uint8_t> bytes;
        if (tape) {
            int32_t run = result.lowest();
            if (!run_text.empty()) {
                const auto v = number(run_text, "--run");
                if (!v) return 1;
                if (*v < 0 || *v > 0xFFFF) return fail("--run address out of range 0 to FFFFH");
                run = *v;
            }
            bytes = lvov::tape_image(result, tape_name, static_cast<uint16_t>(run));
            const std::string warning = lvov::run_address_warning(result, run_text, static_cast<uint16_t>(run));
            if (!warning.empty()) std::fprintf(stderr, "asm8080: warning: %s\n", warning.c_str());
        } else if (image) {
            const auto start = number(image_start, "--image START");
            const auto size = number(image_size, "--image SIZE");
            if (!start || !size) return 1;
            if (*start < 0 || *size <= 0) return fail("--image START and SIZE must be positive");
            bytes = lvov::fixed_image(result, static_cast<uint32_t>(*start), static_cast<uint32_t>(*size));
        } else {
            bytes = lvov::raw_binary(result);
        }
        write_file(output, as_chars(bytes));
        if (!listing.empty()) write_file(listing, lvov::listing_text(result));
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    return 0;
}
