#include "storage/games.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "core/errors.h"
#include "core/utf8.h"
#include "host/files.h"
#include "storage/snapshot.h"

namespace lvov {

namespace {

// Unicode code points of window-1251 bytes 80..FF; 98 is undefined.
// clang-format off
constexpr char16_t CP1251_HIGH[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    // C0..FF: А..я, U+0410..U+044F in order
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B,
    0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439,
    0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};
// clang-format on

// Next code point of UTF-8 text; a byte that starts no valid sequence yields U+FFFD.
char32_t next_code_point(std::string_view s, size_t& i) {
    const Utf8Char c = decode_utf8(s, i);
    i += c.length == 0 ? 1 : c.length;
    return c.length == 0 ? 0xFFFD : c.cp;
}

uint8_t upper_cp1251(uint8_t c) {
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c >= 0xE0) return c - 0x20;  // а..я -> А..Я
    switch (c) {
    case 0xB8: return 0xA8;  // ё
    case 0xB3: return 0xB2;  // і
    case 0xBA: return 0xAA;  // є
    case 0xBF: return 0xAF;  // ї
    default: return c;
    }
}

}  // namespace

std::string cp1251_to_utf8(std::string_view cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (char ch : cp1251) {
        const uint8_t c = static_cast<uint8_t>(ch);
        append_utf8(out, c < 0x80 ? char32_t(c) : char32_t(CP1251_HIGH[c - 0x80]));
    }
    return out;
}

std::string utf8_to_cp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t cp = next_code_point(utf8, i);
        char c = '?';
        if (cp < 0x80) {
            c = static_cast<char>(cp);
        } else if (cp != 0xFFFD) {
            for (int k = 0; k < 128; ++k) {
                if (CP1251_HIGH[k] == cp) {
                    c = static_cast<char>(0x80 + k);
                    break;
                }
            }
        }
        out += c;
    }
    return out;
}

bool fits_cp1251(std::string_view utf8) { return cp1251_to_utf8(utf8_to_cp1251(utf8)) == utf8; }

std::string UpperCaseCp1251(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(upper_cp1251(static_cast<uint8_t>(c)));
    return out;
}

namespace {

// A relative file of the index in UTF-8. Index files are written with backslashes between
// folders; on a host whose separator is '/', they become slashes so "sub\race.lvt" is
// found in GAMES/sub.
std::string relative_game_file(const std::string& file_cp1251) {
    std::string file = cp1251_to_utf8(file_cp1251);
#ifndef _WIN32
    for (char& c : file)
        if (c == '\\') c = '/';
#endif
    return file;
}

// A file of the index given as a full path: absolute on the host, or a drive letter and
// a colon at its start. Anything else is relative to GAMES.
bool is_full_path(const std::string& file_cp1251) {
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (file_cp1251.size() >= 2 && letter(file_cp1251[0]) && file_cp1251[1] == ':') return true;
    return host_path(cp1251_to_utf8(file_cp1251)).is_absolute();
}

// One line of the index as it streams past: its first bytes, its length and where its
// first '=' is, however long the line.
struct IndexLine {
    std::string kept;  // the first MAX_LINE_KEPT bytes
    size_t length = 0;  // every byte of the line, its break excluded
    size_t eq = std::string::npos;  // position of the first '='
    char last = 0;  // its last byte

    void add(const char* bytes, size_t n, size_t keep_limit) {
        if (n == 0) return;
        if (kept.size() < keep_limit) kept.append(bytes, std::min(n, keep_limit - kept.size()));
        if (eq == std::string::npos) {
            if (const void* at = std::memchr(bytes, '=', n)) eq = length + (static_cast<const char*>(at) - bytes);
        }
        length += n;
        last = bytes[n - 1];
    }
};

}  // namespace

void GamesCatalogue::FillGamesList(const std::filesystem::path& program_dir) {
    names.clear();
    paths.clear();
    const std::filesystem::path games_dir = program_dir / "GAMES";
    const std::filesystem::path index = games_dir / "index.ini";
    std::error_code ec;
    if (!std::filesystem::exists(index, ec)) return;  // no index, empty catalogue
    // Only a regular file is read, and the open never waits: a FIFO or device would hold
    // the window at start-up.
    InputFile in(index);

    std::vector<uint8_t> block(64 * 1024);
    IndexLine line;
    int number = 0;
    bool pending = false;  // bytes of a last line without a break
    const auto finish_line = [&] {
        ++number;
        IndexLine done = std::move(line);
        line = IndexLine{};
        size_t length = done.length;
        if (done.last == '\r') --length;  // the CR of a CR LF line
        if (done.eq == std::string::npos) return;  // no '=': not an entry
        if (done.eq + 1 > MAX_TITLE_END) {
            throw RangeError("Games index \"" + path_text(index) + "\": the title of line " + std::to_string(number) +
                             " (\"" + cp1251_to_utf8(done.kept.substr(0, 40)) + "...\") is longer than 254 characters");
        }
        if (length > MAX_LINE_KEPT) {
            throw RangeError("Games index \"" + path_text(index) + "\": line " + std::to_string(number) + " (\"" +
                             cp1251_to_utf8(done.kept.substr(0, 40)) + "...\") is longer than " +
                             std::to_string(MAX_LINE_KEPT) + " characters");
        }
        if (game_count() >= MAX_GAMES) {
            throw RangeError("Games index \"" + path_text(index) + "\" lists more than " + std::to_string(MAX_GAMES) +
                             " games; the first " + std::to_string(MAX_GAMES) + " are kept");
        }
        done.kept.resize(length);
        const std::string file = done.kept.substr(done.eq + 1);
        names.push_back(done.kept.substr(0, done.eq));
        paths.push_back(is_full_path(file) ? cp1251_to_utf8(file)
                                           : path_text(games_dir / host_path(relative_game_file(file))));
    };
    for (size_t got; (got = in.read(block.data(), block.size())) > 0;) {
        const char* p = reinterpret_cast<const char*>(block.data());
        const char* const end = p + got;
        while (p < end) {
            const char* const brk = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            const char* const stop = brk ? brk : end;
            line.add(p, static_cast<size_t>(stop - p), MAX_LINE_KEPT);
            pending = true;
            if (!brk) break;
            finish_line();
            pending = false;
            p = brk + 1;
        }
    }
    if (pending) finish_line();
}

int GamesCatalogue::find(std::string_view title_cp1251) const {
    const std::string wanted = UpperCaseCp1251(title_cp1251);
    for (int i = 0; i < game_count(); ++i) {
        if (UpperCaseCp1251(names[i]) == wanted) return i;
    }
    return -1;
}

std::string GamesCatalogue::LoadGame(ByteBufferBank& bank, MachineState& m, int index) {
    if (index < 0 || index >= game_count()) return "";
    // A missing file, a folder and a file no reader takes are refused alike, by name.
    if (paths[index].empty()) throw IoError("The game \"" + cp1251_to_utf8(names[index]) + "\" names no file");
    LoadRecognisedImageFile(bank, m, paths[index]);
    current_title = names[index];
    return current_title;
}

}  // namespace lvov
