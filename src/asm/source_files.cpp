#include "asm/source_files.h"

#include <fstream>
#include <sstream>

#include "asm/expressions.h"

namespace lvov::asm_detail {

std::string file_problem(const std::filesystem::path& path, uint64_t max_bytes, const char* what) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    const std::string name = "'" + path.string() + "'";
    if (ec || !fs::exists(st)) return std::string("cannot open ") + what + " " + name;
    if (!fs::is_regular_file(st)) {
        const char* kind = fs::is_directory(st)                                 ? "a folder"
                           : fs::is_fifo(st)                                    ? "a FIFO"
                           : fs::is_character_file(st) || fs::is_block_file(st) ? "a device"
                           : fs::is_socket(st)                                  ? "a socket"
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

std::string read_file(const std::filesystem::path& path, uint64_t max_bytes, const char* what) {
    if (std::string problem = file_problem(path, max_bytes, what); !problem.empty()) throw LineError{problem};
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LineError{std::string("cannot open ") + what + " '" + path.string() + "'"};
    std::ostringstream ss;
    ss << in.rdbuf();
    return std::move(ss).str();
}

std::string file_key(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
    return (ec ? path.lexically_normal() : canonical).string();
}

std::vector<std::string> split_lines(const std::string& text) {
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

}  // namespace lvov::asm_detail
