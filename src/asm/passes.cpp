#include "asm/passes.h"

#include <algorithm>

#include "asm/source_files.h"
#include "core/hex.h"

namespace lvov::asm_detail {

namespace {

constexpr int MAX_PASSES = 12;  // passes that settle forward references before the final one
constexpr size_t MAX_ERRORS = 200;
// Source lines one pass may go through. INCLUDE can repeat a file; past this many lines
// (16 for each byte of the 64 KiB address space) the expansion cannot be a program.
constexpr size_t MAX_PASS_LINES = size_t{1} << 20;

}  // namespace

void Assembler::run(const std::string& main_text, const std::string& name, const std::filesystem::path& dir) {
    const std::vector<std::string> lines = split_lines(main_text);
    main_key_ = file_key(name);
    // Passes that settle forward references, until no symbol changes.
    for (int i = 0; i < MAX_PASSES && !aborted_; ++i) {
        const auto before = snapshot();
        run_pass(false, lines, name, dir);
        if (i > 0 && snapshot() == before) break;
    }
    if (!aborted_) run_pass(true, lines, name, dir);
    for (const auto& [key, sym] : symbols_)
        if (sym.known) result_.symbols[key] = static_cast<int32_t>(sym.value);
    if (!result_.ok()) {
        std::fill(result_.memory.begin(), result_.memory.end(), 0);
        std::fill(result_.used.begin(), result_.used.end(), false);
    }
}

const std::string& Assembler::key_of(const std::filesystem::path& path) {
    auto it = keys_.find(path.native());
    if (it == keys_.end()) it = keys_.emplace(path.native(), file_key(path)).first;
    return it->second;
}

std::map<std::string, std::pair<int64_t, bool>> Assembler::snapshot() const {
    std::map<std::string, std::pair<int64_t, bool>> s;
    for (const auto& [key, sym] : symbols_) s[key] = {sym.value, sym.known};
    return s;
}

void Assembler::error(const std::string& message) {
    if (!final_ || result_.errors.size() >= MAX_ERRORS) return;
    // A line met again through another INCLUDE of its file says its problem once.
    for (const AsmError& e : result_.errors)
        if (e.line == line_ && e.file == file_ && e.message == message) return;
    result_.errors.push_back({file_, line_, message});
    if (result_.errors.size() == MAX_ERRORS)
        result_.errors.push_back({file_, line_, "too many errors; assembly stopped"});
}

void Assembler::run_pass(bool final, const std::vector<std::string>& lines, const std::string& name,
                         const std::filesystem::path& dir) {
    final_ = final;
    ++pass_;
    ended_ = false;
    pc_ = 0;
    last_global_.clear();
    overflow_reported_ = false;
    pass_lines_ = 0;
    including_.assign(1, main_key_);
    process_lines(lines, name, dir, 0);
}

void Assembler::process_lines(const std::vector<std::string>& lines, const std::string& name,
                              const std::filesystem::path& dir, int depth) {
    for (size_t i = 0; i < lines.size() && !ended_; ++i) {
        if (final_ && result_.errors.size() > MAX_ERRORS) return;
        file_ = name;
        line_ = static_cast<int>(i) + 1;
        if (depth == 0) outer_include_ = {file_, line_};
        if (++pass_lines_ > MAX_PASS_LINES) {
            // Reported at once, whatever the pass: later passes would only repeat it.
            result_.errors.push_back({outer_include_.first, outer_include_.second,
                                      "the source with its INCLUDEs runs past " + std::to_string(MAX_PASS_LINES) +
                                          " lines, more than 64 KiB of code can come from (an INCLUDE "
                                          "repeated too often?); assembly stopped"});
            aborted_ = ended_ = true;
            return;
        }
        line_address_ = pc_;
        twice_reported_ = false;
        if (final_) {
            result_.listing.push_back({name, line_, pc_, {}, lines[i]});
            listing_index_ = static_cast<int>(result_.listing.size()) - 1;
        }
        try {
            process_line(lines[i], dir, depth);
        } catch (const LineError& e) {
            file_ = name;
            line_ = static_cast<int>(i) + 1;
            error(e.message);
        }
    }
}

// ---- symbols ----

std::string Assembler::full_name(const std::string& name) const {
    if (!name.empty() && name[0] == '.') return last_global_ + name;
    return name;
}

Value Assembler::lookup(const std::string& name) {
    const std::string key = upper(full_name(name));
    const auto it = symbols_.find(key);
    if (it == symbols_.end()) {
        if (final_) throw LineError{"undefined label '" + name + "'"};
        return {0, false};
    }
    if (!it->second.known) {
        if (final_) throw LineError{"the value of '" + name + "' cannot be worked out (circular definition?)"};
        return {0, false};
    }
    return {it->second.value, true};
}

void Assembler::define(const std::string& name, Value v) {
    if (!is_name_start(name[0]) || !std::all_of(name.begin(), name.end(), is_name_char))
        throw LineError{"bad label name '" + name + "'"};
    const std::string full = full_name(name);
    const std::string key = upper(full);
    if (key == "HIGH" || key == "LOW") throw LineError{"'" + name + "' is an operator and cannot be a label"};
    Symbol& sym = symbols_[key];
    if (sym.pass == pass_) {
        throw LineError{"duplicate label '" + name + "' (first defined at " + sym.file + ":" +
                        std::to_string(sym.line) + ")"};
    }
    if (final_ && (!v.known || sym.value != v.v || !sym.known) && result_.errors.empty()) {
        // Only when nothing went wrong before: an earlier error can move every later
        // label, and one mistake gets one message.
        sym.pass = pass_;
        throw LineError{"the value of '" + name + "' does not settle (circular definition?)"};
    }
    sym.name = full;
    sym.value = v.v;
    sym.known = v.known;
    sym.pass = pass_;
    sym.file = file_;
    sym.line = line_;
}

void Assembler::define_label(const std::string& label) {
    define(label, {static_cast<int64_t>(pc_), true});
    if (label[0] != '.') last_global_ = label;
}

Value Assembler::eval(std::string_view text) {
    return evaluate_expression(text, line_address_, [this](const std::string& n) { return lookup(n); });
}

int64_t Assembler::checked(Value v, int64_t lo, int64_t hi, const std::string& what) {
    if (final_ && v.known && (v.v < lo || v.v > hi))
        throw LineError{"value out of range: " + std::to_string(v.v) + " is not " + what};
    return v.v;
}

// ---- output ----

void Assembler::emit(uint8_t b) {
    if (final_) {
        if (pc_ > 0xFFFF) {
            if (!overflow_reported_) error("code runs past address FFFF");
            overflow_reported_ = true;
        } else {
            // Reported without abandoning the statement, so the addresses after it stay
            // what the earlier passes worked out.
            if (result_.used[pc_]) {
                if (!twice_reported_) error("address " + hex4(pc_) + "H is assembled twice");
                twice_reported_ = true;
            }
            result_.used[pc_] = true;
            result_.memory[pc_] = b;
            if (listing_index_ >= 0) result_.listing[listing_index_].bytes.push_back(b);
        }
    }
    ++pc_;
}

// ---- files ----

std::filesystem::path Assembler::resolve(std::string_view operand, const std::filesystem::path& dir) {
    operand = trim(operand);
    std::string path;
    if (!operand.empty() && (operand[0] == '"' || operand[0] == '\'')) {
        size_t p = 0;
        path = read_quoted(operand, p);
        if (!trim(operand.substr(p)).empty()) throw LineError{"unexpected text after the file name"};
    } else {
        path = std::string(operand);
    }
    if (path.empty()) throw LineError{"missing file name"};
    return dir / path;
}

const std::vector<std::string>& Assembler::source_file(const std::filesystem::path& path) {
    const std::string& key = key_of(path);
    auto it = file_cache_.find(key);
    if (it != file_cache_.end()) return it->second;
    return file_cache_.emplace(key, split_lines(read_file(path, MAX_SOURCE_BYTES, "include file"))).first->second;
}

const std::vector<uint8_t>& Assembler::binary_file(const std::filesystem::path& path) {
    const std::string& key = key_of(path);
    auto it = binary_cache_.find(key);
    if (it != binary_cache_.end()) return it->second;
    const std::string bytes = read_file(path, MAX_INCBIN_BYTES, "binary file");
    return binary_cache_.emplace(key, std::vector<uint8_t>(bytes.begin(), bytes.end())).first->second;
}

}  // namespace lvov::asm_detail
