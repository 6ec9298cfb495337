// The games index GAMES/index.ini on any bytes.
//
// Properties:
//  - the index is read or refused with RangeError (too many entries, a title too long),
//    never anything else; the entries read stay, at most 300 of them, a path for each;
//  - every title read is found again: the lookup of a title gives the first entry whose
//    title is the same in any letter case, never a later one, never none;
//  - a title survives the trip to the window's text and back (window-1251 -> UTF-8 ->
//    window-1251), except the one byte 98 that window-1251 leaves undefined.
#include <vector>

#include "core/errors.h"
#include "fuzz_support.h"
#include "storage/games.h"

using namespace lvov;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path dir = [] {
        const std::filesystem::path d = lvov::fuzz::scratch_dir() / "catalogue";
        std::filesystem::create_directories(d / "GAMES");
        return d;
    }();
    lvov::fuzz::write_file(dir / "GAMES" / "index.ini", data, size);

    GamesCatalogue games;
    try {
        games.FillGamesList(dir);
    } catch (const RangeError&) {
        // Too many entries or a title too long: the entries before it stay.
    } catch (const EmuError& e) {
        FUZZ_CHECK(!"reading a readable index threw", std::string(e.what()));
    }
    FUZZ_CHECK(games.names.size() == games.paths.size(), "titles and paths differ in number");
    FUZZ_CHECK(games.game_count() <= GamesCatalogue::MAX_GAMES, std::to_string(games.game_count()) + " entries");

    std::vector<std::string> upper;
    for (const std::string& title : games.names) upper.push_back(UpperCaseCp1251(title));
    for (int i = 0; i < games.game_count(); ++i) {
        const std::string& title = games.names[i];
        FUZZ_CHECK(title.find('=') == std::string::npos && title.find('\n') == std::string::npos,
                   "title " + std::to_string(i) + " holds '=' or a line break");
        const int found = games.find(title);
        FUZZ_CHECK(found >= 0 && found <= i, "title " + std::to_string(i) + " is found at " + std::to_string(found));
        FUZZ_CHECK(upper[found] == upper[i], "title " + std::to_string(i) + " is found under another title");
        for (int k = 0; k < found; ++k)
            FUZZ_CHECK(upper[k] != upper[i], "title " + std::to_string(i) + " is found after its first equal entry");

        std::string expected = title;
        for (char& c : expected)
            if (static_cast<uint8_t>(c) == 0x98) c = '?';
        FUZZ_CHECK(utf8_to_cp1251(cp1251_to_utf8(title)) == expected,
                   "title " + std::to_string(i) + " changes on its way through UTF-8");
    }
    return 0;
}
