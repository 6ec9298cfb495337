// The games catalogue: titles mapped to image files by GAMES/index.ini in the program's
// directory, a window-1251 text of lines "title=file".
//
//   - a line without '=' is skipped ([Games] and blank lines included);
//   - the title is the text before the first '=', the file the text after it, untrimmed
//     (a trailing '\r' of a CR LF line is dropped);
//   - a file that is absolute on the host, or starts with a drive letter and ':'
//     ("D:\lvov\demo.sav"), is used unchanged as the path; any other file is relative
//     to program_dir/GAMES (a ':' elsewhere, as in "Star Wars: Ep 1=sw.lvt", is just a
//     character of the title or name).
// Entries keep the file's order, duplicates included. Titles are kept as window-1251
// bytes (the window converts them for display, and matches a picked entry by its own
// bytes, since byte 98 has no Unicode form); paths as host paths in UTF-8.
//
// The index is read in blocks with bounded memory: of each line only its first
// MAX_LINE_KEPT bytes are kept, and the rest is scanned for its line break (and its first
// '=') without being stored, so an index without line breaks costs no more memory than
// any other.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/machine.h"
#include "storage/buffers.h"

namespace lvov {

// Window-1251 <-> UTF-8. Characters without a window-1251 form become '?'; the one
// undefined window-1251 byte (98) becomes U+FFFD.
std::string cp1251_to_utf8(std::string_view cp1251);
std::string utf8_to_cp1251(std::string_view utf8);
// Whether every character of the UTF-8 text has a window-1251 form (a text for which
// utf8_to_cp1251 substitutes nothing).
bool fits_cp1251(std::string_view utf8);

// Upper case of window-1251 text: a-z, а-я, ё, і, є, ї; every other byte unchanged.
std::string UpperCaseCp1251(std::string_view text);

class GamesCatalogue {
public:
    static constexpr int MAX_GAMES = 300;
    static constexpr size_t MAX_TITLE_END = 255;  // the first '=' must be within this many characters
    static constexpr size_t MAX_LINE_KEPT = 4096;  // a title, '=' and a file name of up to a host path's length

    // Reads program_dir/GAMES/index.ini (a missing index leaves the catalogue empty).
    // More than MAX_GAMES entries, a first '=' beyond character 255, or an entry line
    // longer than MAX_LINE_KEPT throws RangeError naming the index; the entries read
    // before stay. An index that is no regular file (a folder, a FIFO) or cannot be read
    // throws IoError, without waiting on it.
    void FillGamesList(const std::filesystem::path& program_dir);

    int game_count() const { return static_cast<int>(names.size()); }
    // Index of the first title equal to title_cp1251 in any letter case, or -1.
    int find(std::string_view title_cp1251) const;
    // Loads the file of entry `index`; the entry's title then becomes current_title and is
    // returned ("" for an index outside the list). A file that is missing, is no regular
    // file, is taken by no reader or is damaged throws IoError or RangeError naming it,
    // and m and current_title are unchanged.
    std::string LoadGame(ByteBufferBank& bank, MachineState& m, int index);
    // Forgets the game shown: after a reset or another file replaced it, its title no
    // longer stands for what the machine runs, and choosing it again loads it again.
    void forget_current() { current_title = placeholder(); }
    static std::string placeholder() { return utf8_to_cp1251("(выберите игру)"); }

    std::vector<std::string> names;  // window-1251 titles
    std::vector<std::string> paths;  // UTF-8 host paths
    std::string current_title = placeholder();
};

}  // namespace lvov
