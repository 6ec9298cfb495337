// The assembler's text level, shared by its passes: letter case and blanks, names,
// numbers, quoted strings, operand fields, comments and the expression evaluator.
// Internal to the assembler (the syntax is described in asm/assembler.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lvov::asm_detail {

// An error found on the current line; the statement is abandoned.
struct LineError {
    std::string message;
};

// The value of an expression while the passes settle forward references.
struct Value {
    int64_t v = 0;
    bool known = true;  // false while a forward reference is not yet resolved
};

std::string upper(std::string_view s);
std::string_view trim(std::string_view s);

// Names hold letters, digits and _ . ? @ and do not start with a digit.
bool is_name_start(char c);
bool is_name_char(char c);

// Reads a quoted string starting at s[pos] (the quote); a doubled quote stands for one.
// Advances pos past the closing quote.
std::string read_quoted(std::string_view s, size_t& pos);

// Interprets a number token in any of the accepted notations (123, 0FFH, 0xFF, 1010B,
// 0b1010, 17Q, 17O, 123D).
int64_t parse_number(std::string_view tok);

// Splits an operand field at the commas that are outside quotes and parentheses.
std::vector<std::string_view> split_operands(std::string_view s);

// The text of a line up to its comment.
std::string_view strip_comment(std::string_view s);

// The value of a name as the evaluator asks for it; throws LineError when it has none.
using SymbolLookup = std::function<Value(const std::string& name)>;

// Evaluates an expression with C precedence and 32-bit arithmetic; here is the value of $.
Value evaluate_expression(std::string_view text, int64_t here, const SymbolLookup& lookup);

}  // namespace lvov::asm_detail
