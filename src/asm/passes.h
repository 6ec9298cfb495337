// The assembler's passes over the source: symbols, addresses, the bytes of the final pass
// and the files the source reaches. Internal to the assembler.
//
// The passes before the final one settle forward references: each works out every label
// with the values the previous one gave, until no symbol changes.
// Only the final pass reports errors and stores bytes and the listing. A statement that
// fails still takes the room it would have taken, so the labels after it keep their
// values and one mistake gives one message.
//
// passes.cpp holds the passes, the symbols, the output bytes and the files;
// statements.cpp the statements: directives and instructions.
#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "asm/assembler.h"
#include "asm/expressions.h"
#include "core/opcodes.h"

namespace lvov::asm_detail {

struct Symbol {
    std::string name;  // as first written
    int64_t value = 0;
    bool known = false;
    int pass = 0;  // pass that last defined it
    std::string file;
    int line = 0;
};

class Assembler {
public:
    explicit Assembler(AssembleResult& result) : result_(result) {}

    // main_text: the main source; name: how errors name it; dir: where its includes are looked up.
    void run(const std::string& main_text, const std::string& name, const std::filesystem::path& dir);

private:
    AssembleResult& result_;
    std::unordered_map<std::string, Symbol> symbols_;  // key: upper-case full name
    std::map<std::string, std::vector<std::string>> file_cache_;
    std::map<std::string, std::vector<uint8_t>> binary_cache_;
    int pass_ = 0;
    bool final_ = false;
    bool ended_ = false;
    uint32_t pc_ = 0;
    uint32_t line_address_ = 0;  // $: the address at the start of the statement
    std::string last_global_;
    std::string file_;
    int line_ = 0;
    int listing_index_ = -1;
    bool overflow_reported_ = false;
    bool twice_reported_ = false;  // "assembled twice" said for this line
    std::string main_key_;  // file_key of the main source
    std::vector<std::string> including_;  // file_key of every file being included, outermost first
    std::pair<std::string, int> outer_include_;  // the main file's INCLUDE being expanded
    size_t pass_lines_ = 0;
    bool aborted_ = false;  // the source expands without bound; no more passes
    std::unordered_map<std::string, std::string> keys_;  // path as written -> file_key

    // ---- passes (passes.cpp) ----
    std::map<std::string, std::pair<int64_t, bool>> snapshot() const;
    void error(const std::string& message);
    void run_pass(bool final, const std::vector<std::string>& lines, const std::string& name,
                  const std::filesystem::path& dir);
    void process_lines(const std::vector<std::string>& lines, const std::string& name, const std::filesystem::path& dir,
                       int depth);

    // ---- symbols and values ----
    std::string full_name(const std::string& name) const;
    Value lookup(const std::string& name);
    void define(const std::string& name, Value v);
    void define_label(const std::string& label);
    Value eval(std::string_view text);
    // A value that has to fit a field; only the final pass judges it.
    int64_t checked(Value v, int64_t lo, int64_t hi, const std::string& what);

    // ---- output ----
    void emit(uint8_t b);

    // ---- files ----
    const std::string& key_of(const std::filesystem::path& path);
    std::filesystem::path resolve(std::string_view operand, const std::filesystem::path& dir);
    const std::vector<std::string>& source_file(const std::filesystem::path& path);
    const std::vector<uint8_t>& binary_file(const std::filesystem::path& path);

    // ---- statements (statements.cpp) ----
    void process_line(const std::string& raw, const std::filesystem::path& dir, int depth);
    template <typename Body>
    void keeping_size(std::optional<uint32_t> size, Body body);
    static std::optional<uint32_t> data_size(std::string_view operands, uint32_t unit);
    void do_db(std::string_view operands);
    void do_dw(std::string_view operands);
    void do_ds(std::string_view operands);
    void do_instruction(const std::string& op, MnemonicShape shape, std::string_view operand_text);
    Value operand_value(const std::string& uop, std::string_view operand, const char* kind);
    [[noreturn]] static void bad_registers(const std::string& uop, const std::vector<std::string_view>& ops, int count);
};

}  // namespace lvov::asm_detail
