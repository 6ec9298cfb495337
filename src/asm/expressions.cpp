#include "asm/expressions.h"

#include <cctype>

namespace lvov::asm_detail {

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

int64_t parse_number(std::string_view tok) {
    auto digits = [&](std::string_view d, int base) -> int64_t {
        if (d.empty()) throw LineError{"bad number '" + std::string(tok) + "'"};
        int64_t v = 0;
        for (char c : d) {
            int digit;
            if (std::isdigit(static_cast<unsigned char>(c)))
                digit = c - '0';
            else if (std::isalpha(static_cast<unsigned char>(c)))
                digit = std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
            else
                digit = 99;
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

namespace {

// Keeps a value within 32 bits, two's complement.
int64_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v & 0xFFFFFFFF)); }

// Recursive-descent expression evaluator with C precedence.
class ExprParser {
public:
    ExprParser(std::string_view text, int64_t here, const SymbolLookup& lookup)
        : s_(text), here_(here), lookup_(lookup) {}

    Value parse() {
        skip();
        if (pos_ >= s_.size()) throw LineError{"missing expression"};
        Value v = parse_or();
        skip();
        if (pos_ < s_.size())
            throw LineError{"bad expression '" + std::string(trim(s_)) + "': unexpected '" +
                            std::string(s_.substr(pos_)) + "'"};
        return v;
    }

private:
    std::string_view s_;
    size_t pos_ = 0;
    int64_t here_;
    const SymbolLookup& lookup_;

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
        while (eat("|")) {
            Value b = parse_xor();
            a = combine(a, b, a.v | b.v);
        }
        return a;
    }
    Value parse_xor() {
        Value a = parse_and();
        while (eat("^")) {
            Value b = parse_and();
            a = combine(a, b, a.v ^ b.v);
        }
        return a;
    }
    Value parse_and() {
        Value a = parse_shift();
        while (eat("&")) {
            Value b = parse_shift();
            a = combine(a, b, a.v & b.v);
        }
        return a;
    }
    Value parse_shift() {
        Value a = parse_add();
        while (true) {
            const bool left = eat("<<");
            if (!left && !eat(">>")) return a;
            Value b = parse_add();
            if (b.known && (b.v < 0 || b.v > 31))
                throw LineError{"shift count " + std::to_string(b.v) + " out of range 0 to 31"};
            const int n = static_cast<int>(b.v & 31);
            a = combine(a, b, left ? static_cast<int64_t>(static_cast<uint32_t>(a.v) << n) : (a.v >> n));
        }
    }
    Value parse_add() {
        Value a = parse_mul();
        while (true) {
            if (eat("+")) {
                Value b = parse_mul();
                a = combine(a, b, a.v + b.v);
            } else if (eat("-")) {
                Value b = parse_mul();
                a = combine(a, b, a.v - b.v);
            } else
                return a;
        }
    }
    Value parse_mul() {
        Value a = parse_unary();
        while (true) {
            char op;
            if (eat("*"))
                op = '*';
            else if (eat("/"))
                op = '/';
            else if (eat("%"))
                op = '%';
            else
                return a;
            Value b = parse_unary();
            if (op == '*') {
                a = combine(a, b, a.v * b.v);
                continue;
            }
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
        if (eat("-")) {
            Value a = parse_unary();
            return {wrap32(-a.v), a.known};
        }
        if (eat("+")) return parse_unary();
        if (eat("~")) {
            Value a = parse_unary();
            return {wrap32(~a.v), a.known};
        }
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
        if (pos_ >= s_.size())
            throw LineError{"bad expression '" + std::string(trim(s_)) + "': operand missing at the end"};
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

}  // namespace

Value evaluate_expression(std::string_view text, int64_t here, const SymbolLookup& lookup) {
    return ExprParser(text, here, lookup).parse();
}

}  // namespace lvov::asm_detail
