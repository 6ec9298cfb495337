// The games catalogue: titles mapped to image files by GAMES/index.ini in the program's
// directory, a window-1251 text of lines "title=file".
//
//   - a line without '=' is skipped ([Games] and blank lines included);
//   - the title is the text before the first '=', the file the text after it, untrimmed
//     (a trailing '\r' of a CR LF line is dropped);
//   - a line holding ':' anywhere gives its file text unchanged as the path; otherwise
//     the path is program_dir/GAMES/<file>.
// Entries keep the file's order, duplicates included. Titles are kept as window-1251
// bytes (the window converts them for display); paths as host paths in UTF-8.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/machine.h"
#include "core/rom.h"
#include "storage/buffers.h"

namespace lvov {

// Window-1251 <-> UTF-8. Characters without a window-1251 form become '?'; the one
// undefined window-1251 byte (98) becomes U+FFFD.
std::string cp1251_to_utf8(std::string_view cp1251);
std::string utf8_to_cp1251(std::string_view utf8);

// Upper case of window-1251 text: a-z, а-я, ё, і, є, ї; every other byte unchanged.
std::string UpperCaseCp1251(std::string_view text);

class GamesCatalogue {
public:
    static constexpr int MAX_GAMES = 300;
    static constexpr size_t MAX_TITLE_END = 255;  // the first '=' must be within this many characters

    // Reads program_dir/GAMES/index.ini (a missing index leaves the catalogue empty).
    // More than MAX_GAMES entries, or a first '=' beyond character 255, throws
    // RangeError naming the index; the entries read before stay.
    void FillGamesList(const std::filesystem::path& program_dir);

    int game_count() const { return static_cast<int>(names.size()); }
    // Index of the first title equal to title_cp1251 in any letter case, or -1.
    int find(std::string_view title_cp1251) const;
    // Finds the title and, when its file exists, loads it with LoadImageFile; returns the
    // catalogue's title (window-1251) or "" when nothing was loaded.
    std::string FindAndLoadGame(ByteBufferBank& bank, MachineState& m, std::string_view text_cp1251);

    // A choice from the combo box (window-1251 text). When it differs from
    // current_title: ResetComp, the boot run, FindAndLoadGame; a found title becomes
    // current_title. Returns true when the machine was reset (the window repaints either way).
    bool ChooseGame(ByteBufferBank& bank, MachineState& m, const RomImages& roms,
                    std::string_view selected_cp1251);

    std::vector<std::string> names;  // window-1251 titles
    std::vector<std::string> paths;  // UTF-8 host paths
    std::string current_title = utf8_to_cp1251("(выберите игру)");
};

}  // namespace lvov
