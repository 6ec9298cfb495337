// A two-pass Intel 8080 assembler: source text in, bytes by address out.
//
// Syntax (one statement per line, ';' starts a comment):
//   [label[:]] MNEMONIC operands     Intel mnemonics and operands: MOV A,M  MVI B,3FH
//                                    LXI SP,0B000H  PUSH PSW  RST 7
//   name EQU expr   /  name = expr   a constant (may refer to labels defined later)
//   ORG expr                         continue assembling at that address
//   DB item, ...                     bytes; an item is an expression or a quoted string
//   DW expr, ...                     16-bit words, low byte first
//   DS count [, fill]                reserve count bytes (emitted only when a fill is given)
//   INCLUDE "file"                   assemble another file here (path relative to this file;
//                                    a file may not include itself, directly or not)
//   INCBIN "file"                    copy a file's bytes here (at most 64 KiB)
//   END                              stop assembling
// Labels: a name followed by ':' anywhere, or without ':' when it starts in column 0.
// Names hold letters, digits and _ . ? @ and do not start with a digit. Mnemonics,
// registers, directives and names are all case-insensitive (START, Start and start are
// the same label). A name beginning with '.' is local: it belongs to the last ordinary
// label before it, so ".loop" can be reused after every routine.
// Numbers: 123, 123D, 0FFH, 0xFF, $FF, 1010B, 0b1010, 17Q/17O (octal); 'c' and 'ab'
// character constants (a doubled quote stands for the quote itself). Expressions use
// + - * / % & | ^ << >> ~, unary - +, HIGH x, LOW x, parentheses and $ (the address of
// the current statement), with C precedence; arithmetic is 32-bit.
// Strings are copied byte for byte as they appear in the source file.
//
// Only regular files are read: a FIFO, a device or a folder is refused without being
// opened. Every error names the file and line, once; an assembly with errors yields no
// output.
#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lvov {

struct AsmError {
    std::string file;
    int line = 0;  // 1-based; 0 when the error belongs to no line
    std::string message;  // what is wrong: "unknown mnemonic 'MOOV'"

    // "file:line: error: message"
    std::string text() const;
};

// One source line of the final pass, for the listing.
struct ListingLine {
    enum class Show : uint8_t { Nothing, Address, Value };
    std::string file;
    int line = 0;
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
    std::string source;
    Show show = Show::Nothing;  // what the listing prints for a line without bytes
    int32_t value = 0;  // the value of an EQU line
};

struct AssembleResult {
    std::vector<uint8_t> memory = std::vector<uint8_t>(0x10000);  // assembled bytes by address
    std::vector<bool> used = std::vector<bool>(0x10000);  // which addresses were assembled
    std::vector<AsmError> errors;
    std::map<std::string, int32_t> symbols;  // every label and constant, upper-case name -> value
    std::vector<ListingLine> listing;

    bool ok() const { return errors.empty(); }
    bool empty() const;  // no byte assembled
    uint16_t lowest() const;  // lowest assembled address (0 when empty)
    uint16_t highest() const;  // highest assembled address (0 when empty)
    std::optional<int32_t> symbol(std::string_view name) const;  // any letter case
};

AssembleResult assemble_text(std::string_view text, const std::string& name = "<text>");
AssembleResult assemble_file(const std::filesystem::path& path);

// Evaluates an expression in the assembler's syntax against the symbols of a finished
// assembly ($ is 0). nullopt with a message in *error when it cannot.
std::optional<int32_t> evaluate(std::string_view expression, const AssembleResult& result,
                                std::string* error = nullptr);

// The lowest to the highest assembled address, gaps as zeros; empty when nothing was assembled.
std::vector<uint8_t> raw_binary(const AssembleResult& result);

// A machine-code tape image: "LVOV/2.0/", type D0, the name at 10 (up to six printable
// ASCII characters, padded with spaces), start, end (inclusive) and run address at 16,
// 18 and 20 (low byte first), then the bytes from start to end. Throws RangeError for an
// empty assembly or a bad name.
std::vector<uint8_t> tape_image(const AssembleResult& result, std::string_view name, uint16_t run);

// "" when a tape image's run address lies within its bytes (lowest to highest assembled
// address); otherwise a warning naming the address taken, in hexadecimal, and the range
// it misses. run_text is the address as the user wrote it: a plain number is decimal,
// so one whose digits read differently as hexadecimal ("8000" is 1F40H) gets a hint at
// the H suffix.
std::string run_address_warning(const AssembleResult& result, std::string_view run_text, uint16_t run);

// Exactly size bytes covering start .. start+size-1, zero-filled. Throws RangeError when
// the window leaves 0000-FFFF or an assembled byte lies outside it.
std::vector<uint8_t> fixed_image(const AssembleResult& result, uint32_t start, uint32_t size);

// A listing: address, bytes and source of every line, then the symbols.
std::string listing_text(const AssembleResult& result);

}  // namespace lvov
