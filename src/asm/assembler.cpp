// The assembler's entry points and the result they return; the work is done by the
// passes (passes.cpp, statements.cpp) over the text level (expressions.cpp).
#include "asm/assembler.h"

#include <algorithm>

#include "asm/expressions.h"
#include "asm/passes.h"
#include "asm/source_files.h"

namespace lvov {

std::string AsmError::text() const {
    if (line > 0) return file + ":" + std::to_string(line) + ": error: " + message;
    return file + ": error: " + message;
}

bool AssembleResult::empty() const { return std::find(used.begin(), used.end(), true) == used.end(); }

uint16_t AssembleResult::lowest() const {
    for (uint32_t a = 0; a < 0x10000; ++a)
        if (used[a]) return static_cast<uint16_t>(a);
    return 0;
}

uint16_t AssembleResult::highest() const {
    for (uint32_t a = 0x10000; a-- > 0;)
        if (used[a]) return static_cast<uint16_t>(a);
    return 0;
}

std::optional<int32_t> AssembleResult::symbol(std::string_view name) const {
    const auto it = symbols.find(asm_detail::upper(name));
    if (it == symbols.end()) return std::nullopt;
    return it->second;
}

AssembleResult assemble_text(std::string_view text, const std::string& name) {
    AssembleResult result;
    const std::filesystem::path dir = std::filesystem::path(name).parent_path();
    asm_detail::Assembler(result).run(std::string(text), name, dir);
    return result;
}

AssembleResult assemble_file(const std::filesystem::path& path) {
    std::string text;
    try {
        text = asm_detail::read_file(path, asm_detail::MAX_SOURCE_BYTES, "source file");
    } catch (const asm_detail::LineError& e) {
        AssembleResult result;
        result.errors.push_back({path.string(), 0, e.message});
        return result;
    }
    return assemble_text(text, path.string());
}

std::optional<int32_t> evaluate(std::string_view expression, const AssembleResult& result, std::string* error) {
    const auto lookup = [&](const std::string& name) -> asm_detail::Value {
        const auto v = result.symbol(name);
        if (!v) throw asm_detail::LineError{"undefined label '" + name + "'"};
        return {*v, true};
    };
    try {
        return static_cast<int32_t>(asm_detail::evaluate_expression(expression, 0, lookup).v);
    } catch (const asm_detail::LineError& e) {
        if (error) *error = e.message;
        return std::nullopt;
    }
}

}  // namespace lvov
