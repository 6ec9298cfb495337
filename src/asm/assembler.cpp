#include "asm/assembler.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <unordered_map>

#include "core/opcodes.h"
#include "core/errors.h"

namespace lvov {

namespace {

constexpr int MAX_PASSES = 12;        // passes that settle forward references before the final one
constexpr int MAX_INCLUDE_DEPTH = 16;
constexpr size_t MAX_ERRORS = 200;
// Source lines one pass may go through. INCLUDE can repeat a file; past this many lines
// (16 for each byte of the 64 KiB address space) the expansion cannot be a program.
constexpr size_t MAX_PASS_LINES = size_t{1} << 20;
constexpr uint64_t MAX_INCBIN_BYTES = 0x10000;         // the whole address space
constexpr uint64_t MAX_SOURCE_BYTES = uint64_t{16} << 20;

// Tape image layout.
constexpr char TAPE_MAGIC[] = "LVOV/2.0/";
constexpr size_t TAPE_MAGIC_SIZE = 9;
constexpr uint8_t TAPE_TYPE_BINARY = 0xD0;
constexpr size_t TAPE_NAME_OFFSET = 10;
constexpr size_t TAPE_NAME_SIZE = 6;
constexpr size_t TAPE_START_OFFSET = 16;
constexpr size_t TAPE_END_OFFSET = 18;
constexpr size_t TAPE_RUN_OFFSET = 20;
constexpr size_t TAPE_DATA_OFFSET = 22;

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool is_name_start(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '?' || c == '@';
}
bool is_name_char(char c) { return is_name_start(c) || std::isdigit(static_cast<unsigned char>(c)); }

std::string hex4(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(v));
    return buf;
}

// Keeps a value within 32 bits, two's complement.
int64_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v & 0xFFFFFFFF)); }

// An error found on the current line; the statement is abandoned.
struct LineError {
    std::string message;
};

struct Value {
    int64_t v = 0;
    bool known = true;  // false while a forward reference is not yet resolved
};

// Reads a quoted string starting at s[pos] (the quote); a doubled quote stands for one.
// Advances pos past the closing quote.
std::string read_quoted(std::string_view s, size_t& pos) {
    const char q = s[pos++];
    std::string out;
    while (true) {
        if (pos >= s.size()) throw LineError{"missing closing quote " + std::string(1, q)};
        if (s[pos] == q) {
            if (pos + 1 < s.size() && s[pos + 1] == q) {
                out += q;
                pos += 2;
                continue;
            }
            ++pos;
            return out;
        }
        out += s[pos++];
    }
}

// Interprets a number token in any of the accepted notations.
int64_t parse_number(std::string_view tok) {
    auto digits = [&](std::string_view d, int base) -> int64_t {
        if (d.empty()) throw LineError{"bad number '" + std::string(tok) + "'"};
        int64_t v = 0;
        for (char c : d) {
            int digit;
            if (std::isdigit(static_cast<unsigned char>(c))) digit = c - '0';
            else if (std::isalpha(static_cast<unsigned char>(c))) digit = std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
            else digit = 99;
            if (digit >= base) throw LineError{"bad number '" + std::string(tok) + "'"};
            v = v * base + digit;
            if (v > 0xFFFFFFFFLL) throw LineError{"number too large '" + std::string(tok) + "'"};
        }
        return v;
    };
    const std::string u = upper(tok);
    const std::string_view t = u;
    if (t.size() > 2 && t[0] == '0' && t[1] == 'X') return digits(t.substr(2), 16);
    const char last = t.back();
    if (last == 'H') return digits(t.substr(0, t.size() - 1), 16);
    if (t.size() > 2 && t[0] == '0' && t[1] == 'B' && t.find_first_not_of("01", 2) == std::string_view::npos)
        return digits(t.substr(2), 2);
    if (last == 'B') return digits(t.substr(0, t.size() - 1), 2);
    if (last == 'Q' || last == 'O') return digits(t.substr(0, t.size() - 1), 8);
    if (last == 'D') return digits(t.substr(0, t.size() - 1), 10);
    return digits(t, 10);
}

// Recursive-descent expression evaluator with C precedence.
class ExprParser {
public:
    using Lookup = std::function<Value(const std::string& name)>;

    ExprParser(std::string_view text, int64_t here, const Lookup& lookup)
        : s_(text), here_(here), lookup_(lookup) {}

    Value parse() {
        skip();
        if (pos_ >= s_.size()) throw LineError{"missing expression"};
        Value v = parse_or();
        skip();
        if (pos_ < s_.size()) throw LineError{"bad expression '" + std::string(trim(s_)) + "': unexpected '" +
                                              std::string(s_.substr(pos_)) + "'"};
        return v;
    }

private:
    std::string_view s_;
    size_t pos_ = 0;
    int64_t here_;
    const Lookup& lookup_;

    void skip() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    bool eat(std::string_view op) {
        skip();
        if (s_.substr(pos_, op.size()) != op) return false;
        // "<" must not swallow half of "<<" and so on; single-character operators are unambiguous here.
        pos_ += op.size();
        return true;
    }
    static Value combine(Value a, Value b, int64_t v) { return {wrap32(v), a.known && b.known}; }

    Value parse_or() {
        Value a = parse_xor();
        while (eat("|")) { Value b = parse_xor(); a = combine(a, b, a.v | b.v); }
        return a;
    }
    Value parse_xor() {
        Value a = parse_and();
        while (eat("^")) { Value b = parse_and(); a = combine(a, b, a.v ^ b.v); }
        return a;
    }
    Value parse_and() {
        Value a = parse_shift();
        while (eat("&")) { Value b = parse_shift(); a = combine(a, b, a.v & b.v); }
        return a;
    }
    Value parse_shift() {
        Value a = parse_add();
        while (true) {
            const bool left = eat("<<");
            if (!left && !eat(">>")) return a;
            Value b = parse_add();
            if (b.known && (b.v < 0 || b.v > 31)) throw LineError{"shift count " + std::to_string(b.v) + " out of range 0 to 31"};
            const int n = static_cast<int>(b.v & 31);
            a = combine(a, b, left ? static_cast<int64_t>(static_cast<uint32_t>(a.v) << n) : (a.v >> n));
        }
    }
    Value parse_add() {
        Value a = parse_mul();
        while (true) {
            if (eat("+")) { Value b = parse_mul(); a = combine(a, b, a.v + b.v); }
            else if (eat("-")) { Value b = parse_mul(); a = combine(a, b, a.v - b.v); }
            else return a;
        }
    }
    Value parse_mul() {
        Value a = parse_unary();
        while (true) {
            char op;
            if (eat("*")) op = '*';
            else if (eat("/")) op = '/';
            else if (eat("%")) op = '%';
            else return a;
            Value b = parse_unary();
            if (op == '*') { a = combine(a, b, a.v * b.v); continue; }
            if (b.v == 0) {
                if (b.known) throw LineError{"division by zero"};
                a = combine(a, b, 0);
                continue;
            }
            a = combine(a, b, op == '/' ? a.v / b.v : a.v % b.v);
        }
    }
    Value parse_unary() {
        skip();
        if (eat("-")) { Value a = parse_unary(); return {wrap32(-a.v), a.known}; }
        if (eat("+")) return parse_unary();
        if (eat("~")) { Value a = parse_unary(); return {wrap32(~a.v), a.known}; }
        // HIGH and LOW are operators: HIGH x, HIGH(x).
        if (pos_ < s_.size() && is_name_start(s_[pos_])) {
            size_t end = pos_;
            while (end < s_.size() && is_name_char(s_[end])) ++end;
            const std::string word = upper(s_.substr(pos_, end - pos_));
            if (word == "HIGH" || word == "LOW") {
                pos_ = end;
                Value a = parse_unary();
                return {word == "HIGH" ? (a.v >> 8) & 0xFF : a.v & 0xFF, a.known};
            }
        }
        return parse_primary();
    }
    Value parse_primary() {
        skip();
        if (pos_ >= s_.size()) throw LineError{"bad expression '" + std::string(trim(s_)) + "': operand missing at the end"};
        const char c = s_[pos_];
        if (c == '(') {
            ++pos_;
            Value v = parse_or();
            if (!eat(")")) throw LineError{"bad expression '" + std::string(trim(s_)) + "': missing ')'"};
            return v;
        }
        if (c == '$') {
            ++pos_;
            if (pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) {
                size_t end = pos_;
                while (end < s_.size() && std::isalnum(static_cast<unsigned char>(s_[end]))) ++end;
                const std::string_view digits = s_.substr(pos_, end - pos_);
                pos_ = end;
                return {parse_number("0x" + std::string(digits)), true};
            }
            return {here_, true};
        }
        if (c == '\'' || c == '"') {
            const std::string str = read_quoted(s_, pos_);
            if (str.empty() || str.size() > 2)
                throw LineError{"character constant must hold one or two characters: " + std::string(1, c) + str + c};
            int64_t v = 0;
            for (unsigned char ch : str) v = v * 256 + ch;
            return {v, true};
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t end = pos_;
            while (end < s_.size() && std::isalnum(static_cast<unsigned char>(s_[end]))) ++end;
            const std::string_view tok = s_.substr(pos_, end - pos_);
            pos_ = end;
            return {parse_number(tok), true};
        }
        if (is_name_start(c)) {
            size_t end = pos_;
            while (end < s_.size() && is_name_char(s_[end])) ++end;
            const std::string name(s_.substr(pos_, end - pos_));
            pos_ = end;
            return lookup_(name);
        }
        throw LineError{"bad expression '" + std::string(trim(s_)) + "': unexpected '" + std::string(1, c) + "'"};
    }
};

// Splits an operand field at the commas that are outside quotes and parentheses.
std::vector<std::string_view> split_operands(std::string_view s) {
    std::vector<std::string_view> out;
    s = trim(s);
    if (s.empty()) return out;
    size_t start = 0;
    int depth = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\'' || c == '"') {
            size_t p = i;
            read_quoted(s, p);
            i = p - 1;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            out.push_back(trim(s.substr(start, i - start)));
            start = i + 1;
        }
    }
    out.push_back(trim(s.substr(start)));
    return out;
}

// The text of a line up to its comment.
std::string_view strip_comment(std::string_view s) {
    char quote = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quote) {
            if (c == quote) quote = 0;  // a doubled quote closes and reopens: same effect
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            return s.substr(0, i);
        }
    }
    return s;
}

bool is_directive(const std::string& u) {
    return u == "ORG" || u == "EQU" || u == "DB" || u == "DW" || u == "DS" || u == "INCLUDE" || u == "INCBIN" ||
           u == "END";
}

// "" when path names a regular file of at most max_bytes bytes; otherwise what is wrong,
// for a message. Only looks (stat): opening a FIFO or a device could block or never end.
std::string file_problem(const std::filesystem::path& path, uint64_t max_bytes, const char* what) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    const std::string name = "'" + path.string() + "'";
    if (ec || !fs::exists(st)) return std::string("cannot open ") + what + " " + name;
    if (!fs::is_regular_file(st)) {
        const char* kind = fs::is_directory(st)                                         ? "a folder"
                           : fs::is_fifo(st)                                            ? "a FIFO"
                           : fs::is_character_file(st) || fs::is_block_file(st)         ? "a device"
                           : fs::is_socket(st)                                          ? "a socket"
                                                                                        : "not a file";
        return std::string(what) + " " + name + " is " + kind + ", not a regular file";
    }
    const uint64_t bytes = fs::file_size(path, ec);
    if (ec) return std::string("cannot read ") + what + " " + name;
    if (bytes > max_bytes)
        return std::string(what) + " " + name + " is " + std::to_string(bytes) + " bytes long; at most " +
               std::to_string(max_bytes) + " are taken";
    return "";
}

// One name per file, however it was reached ("lib/../a.inc" and "a.inc" are the same).
std::string file_key(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
    return (ec ? path.lexically_normal() : canonical).string();
}

struct Symbol {
    std::string name;  // as first written
    int64_t value = 0;
    bool known = false;
    int pass = 0;      // pass that last defined it
    std::string file;
    int line = 0;
};

class Assembler {
public:
    explicit Assembler(AssembleResult& result) : result_(result) {}

    // main_text: the main source; name: how errors name it; dir: where its includes are looked up.
    void run(const std::string& main_text, const std::string& name, const std::filesystem::path& dir) {
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
    bool twice_reported_ = false;              // "assembled twice" said for this line
    std::string main_key_;                     // file_key of the main source
    std::vector<std::string> including_;       // file_key of every file being included, outermost first
    std::pair<std::string, int> outer_include_;  // the main file's INCLUDE being expanded
    size_t pass_lines_ = 0;
    bool aborted_ = false;                     // the source expands without bound; no more passes
    std::unordered_map<std::string, std::string> keys_;  // path as written -> file_key

    const std::string& key_of(const std::filesystem::path& path) {
        auto it = keys_.find(path.native());
        if (it == keys_.end()) it = keys_.emplace(path.native(), file_key(path)).first;
        return it->second;
    }

    static std::vector<std::string> split_lines(const std::string& text) {
        std::vector<std::string> lines;
        std::string cur;
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '\n') {
                lines.push_back(cur);
                cur.clear();
            } else if (c == '\r') {
                lines.push_back(cur);
                cur.clear();
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            } else {
                cur += c;
            }
        }
        if (!cur.empty()) lines.push_back(cur);
        return lines;
    }

    std::map<std::string, std::pair<int64_t, bool>> snapshot() const {
        std::map<std::string, std::pair<int64_t, bool>> s;
        for (const auto& [key, sym] : symbols_) s[key] = {sym.value, sym.known};
        return s;
    }

    void error(const std::string& message) {
        if (!final_ || result_.errors.size() >= MAX_ERRORS) return;
        // A line met again through another INCLUDE of its file says its problem once.
        for (const AsmError& e : result_.errors)
            if (e.line == line_ && e.file == file_ && e.message == message) return;
        result_.errors.push_back({file_, line_, message});
        if (result_.errors.size() == MAX_ERRORS)
            result_.errors.push_back({file_, line_, "too many errors; assembly stopped"});
    }

    void run_pass(bool final, const std::vector<std::string>& lines, const std::string& name,
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

    void process_lines(const std::vector<std::string>& lines, const std::string& name,
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

    std::string full_name(const std::string& name) const {
        if (!name.empty() && name[0] == '.') return last_global_ + name;
        return name;
    }

    Value lookup(const std::string& name) {
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

    void define(const std::string& name, Value v) {
        if (!is_name_start(name[0]) || !std::all_of(name.begin(), name.end(), is_name_char))
            throw LineError{"bad label name '" + name + "'"};
        const std::string full = full_name(name);
        const std::string key = upper(full);
        if (key == "HIGH" || key == "LOW")
            throw LineError{"'" + name + "' is an operator and cannot be a label"};
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

    Value eval(std::string_view text) {
        const ExprParser::Lookup fn = [this](const std::string& n) { return lookup(n); };
        return ExprParser(text, line_address_, fn).parse();
    }

    // A value that has to fit a field; only the final pass judges it.
    int64_t checked(Value v, int64_t lo, int64_t hi, const std::string& what) {
        if (final_ && v.known && (v.v < lo || v.v > hi))
            throw LineError{"value out of range: " + std::to_string(v.v) + " is not " + what};
        return v.v;
    }

    // ---- output ----

    void emit(uint8_t b) {
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

    std::filesystem::path resolve(std::string_view operand, const std::filesystem::path& dir) {
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

    const std::vector<std::string>& source_file(const std::filesystem::path& path) {
        const std::string& key = key_of(path);
        auto it = file_cache_.find(key);
        if (it != file_cache_.end()) return it->second;
        if (std::string problem = file_problem(path, MAX_SOURCE_BYTES, "include file"); !problem.empty())
            throw LineError{problem};
        std::ifstream in(path, std::ios::binary);
        if (!in) throw LineError{"cannot open include file '" + path.string() + "'"};
        std::ostringstream ss;
        ss << in.rdbuf();
        return file_cache_.emplace(key, split_lines(ss.str())).first->second;
    }

    const std::vector<uint8_t>& binary_file(const std::filesystem::path& path) {
        const std::string& key = key_of(path);
        auto it = binary_cache_.find(key);
        if (it != binary_cache_.end()) return it->second;
        if (std::string problem = file_problem(path, MAX_INCBIN_BYTES, "binary file"); !problem.empty())
            throw LineError{problem};
        std::ifstream in(path, std::ios::binary);
        if (!in) throw LineError{"cannot open binary file '" + path.string() + "'"};
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return binary_cache_.emplace(key, std::move(bytes)).first->second;
    }

    // ---- statements ----

    void process_line(const std::string& raw, const std::filesystem::path& dir, int depth) {
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
        if (op.empty() && !operands.empty())
            throw LineError{"unexpected '" + std::string(trim(operands)) + "'"};

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

    // Runs a statement whose size is known beforehand. When it fails, the address still
    // advances by that size, so the labels after it keep the values the earlier passes
    // gave them and the mistake is not reported again as labels that "do not settle".
    template <typename Body>
    void keeping_size(std::optional<uint32_t> size, Body body) {
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
    static std::optional<uint32_t> data_size(std::string_view operands, uint32_t unit) {
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

    void define_label(const std::string& label) {
        define(label, {static_cast<int64_t>(pc_), true});
        if (label[0] != '.') last_global_ = label;
    }

    void do_db(std::string_view operands) {
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

    void do_dw(std::string_view operands) {
        const auto items = split_operands(operands);
        if (items.empty()) throw LineError{"DW needs at least one value"};
        for (std::string_view item : items) {
            if (item.empty()) throw LineError{"missing value in DW"};
            const int64_t v = checked(eval(item), -32768, 0xFFFF, "a word (-32768 to 65535)");
            emit(static_cast<uint8_t>(v));
            emit(static_cast<uint8_t>(v >> 8));
        }
    }

    void do_ds(std::string_view operands) {
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

    void do_instruction(const std::string& op, MnemonicShape shape, std::string_view operand_text) {
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
            opcode = static_cast<uint8_t>(0xC7 | ((n & 7) << 3));
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
    Value operand_value(const std::string& uop, std::string_view operand, const char* kind) {
        try {
            return eval(operand);
        } catch (const LineError&) {
            const std::string u = upper(trim(operand));
            static const char* const registers[] = {"A", "B", "C", "D", "E", "H", "L", "M", "SP", "PSW"};
            for (const char* r : registers)
                if (u == r)
                    throw LineError{"bad operand '" + std::string(trim(operand)) + "' for " + uop + ": expected a " +
                                    kind + " value, not a register"};
            throw;
        }
    }

    // Names the register operand that no encoding of the mnemonic accepts.
    [[noreturn]] static void bad_registers(const std::string& uop, const std::vector<std::string_view>& ops,
                                           int count) {
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
        for (int i = 0; i < count; ++i) all += (i ? "," : "") + std::string(ops[i]);
        throw LineError{"bad operands '" + all + "' for " + uop + ": no such instruction"};
    }
};

}  // namespace

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
    const auto it = symbols.find(upper(name));
    if (it == symbols.end()) return std::nullopt;
    return it->second;
}

AssembleResult assemble_text(std::string_view text, const std::string& name) {
    AssembleResult result;
    const std::filesystem::path dir = std::filesystem::path(name).parent_path();
    Assembler(result).run(std::string(text), name, dir);
    return result;
}

AssembleResult assemble_file(const std::filesystem::path& path) {
    if (std::string problem = file_problem(path, MAX_SOURCE_BYTES, "source file"); !problem.empty()) {
        AssembleResult result;
        result.errors.push_back({path.string(), 0, problem});
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        AssembleResult result;
        result.errors.push_back({path.string(), 0, "cannot open source file"});
        return result;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return assemble_text(ss.str(), path.string());
}

std::optional<int32_t> evaluate(std::string_view expression, const AssembleResult& result, std::string* error) {
    const ExprParser::Lookup fn = [&](const std::string& name) -> Value {
        const auto v = result.symbol(name);
        if (!v) throw LineError{"undefined label '" + name + "'"};
        return {*v, true};
    };
    try {
        return static_cast<int32_t>(ExprParser(expression, 0, fn).parse().v);
    } catch (const LineError& e) {
        if (error) *error = e.message;
        return std::nullopt;
    }
}

std::vector<uint8_t> raw_binary(const AssembleResult& result) {
    if (result.empty()) return {};
    return std::vector<uint8_t>(result.memory.begin() + result.lowest(), result.memory.begin() + result.highest() + 1);
}

std::vector<uint8_t> tape_image(const AssembleResult& result, std::string_view name, uint16_t run) {
    if (result.empty()) throw RangeError("nothing was assembled, so there is no tape image to write");
    if (name.size() > TAPE_NAME_SIZE) throw RangeError("tape name '" + std::string(name) + "' is longer than 6 characters");
    for (char c : name)
        if (c < 0x20 || c > 0x7E) throw RangeError("tape name '" + std::string(name) + "' must be printable ASCII");
    const uint16_t start = result.lowest();
    const uint16_t end = result.highest();
    std::vector<uint8_t> out(TAPE_DATA_OFFSET, 0);
    std::copy(TAPE_MAGIC, TAPE_MAGIC + TAPE_MAGIC_SIZE, out.begin());
    out[TAPE_MAGIC_SIZE] = TAPE_TYPE_BINARY;
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

std::vector<uint8_t> fixed_image(const AssembleResult& result, uint32_t start, uint32_t size) {
    if (size == 0 || start > 0xFFFF || start + size > 0x10000)
        throw RangeError("image of " + std::to_string(size) + " bytes from " + hex4(start) + "H does not fit in 0000H-FFFFH");
    const uint32_t end = start + size;  // exclusive
    for (uint32_t a = 0; a < 0x10000; ++a) {
        if (result.used[a] && (a < start || a >= end))
            throw RangeError("code at " + hex4(a) + "H lies outside the image " + hex4(start) + "H-" + hex4(end - 1) + "H");
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
                std::snprintf(buf, sizeof buf, "%02X ", l.bytes[k]);
                bytes += buf;
            }
            std::snprintf(buf, sizeof buf, "%5d  ", l.line);
            out += i == 0 ? buf : "       ";
            if (!l.bytes.empty() || l.show == ListingLine::Show::Address) {
                out += " " + hex4((l.address + i) & 0xFFFF);
            } else if (l.show == ListingLine::Show::Value) {
                out += "=" + hex4(static_cast<uint32_t>(l.value) & 0xFFFF);
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
        std::snprintf(buf, sizeof buf, "%-24s %04XH  %d\n", name.c_str(), static_cast<unsigned>(value) & 0xFFFF, value);
        out += buf;
    }
    return out;
}

}  // namespace lvov
