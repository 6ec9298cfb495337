// The games catalogue: window-1251 text, the index rules, case folding and loading.
#include "core/errors.h"
#include "core/i8080.h"
#include "storage/games.h"
#include "storage/snapshot.h"
#include "storage_test_util.h"

namespace lvov {
namespace {

using test::Bytes;

void write_index(const std::filesystem::path& program_dir, const std::string& utf8_text) {
    std::filesystem::create_directories(program_dir / "GAMES");
    const std::string cp = utf8_to_cp1251(utf8_text);
    test::write_file(program_dir / "GAMES" / "index.ini", Bytes(cp.begin(), cp.end()));
}

TEST(Cp1251, ConversionAndCaseFolding) {
    for (int c = 0; c < 256; ++c) {
        if (c == 0x98) continue;  // undefined in window-1251
        const std::string one(1, static_cast<char>(c));
        ASSERT_EQ(utf8_to_cp1251(cp1251_to_utf8(one)), one) << c;
    }
    EXPECT_EQ(cp1251_to_utf8(utf8_to_cp1251("Ёлка №1 «Ї»")), "Ёлка №1 «Ї»");
    EXPECT_EQ(utf8_to_cp1251("a中b\xFF"), "a?b?");

    EXPECT_EQ(cp1251_to_utf8(UpperCaseCp1251(utf8_to_cp1251("race ёжик і є ї ґ ў"))), "RACE ЁЖИК І Є Ї ґ ў");
    for (int c = 0; c < 256; ++c) {  // lower-case letters move down, nothing else changes
        const bool lower = (c >= 'a' && c <= 'z') || c >= 0xE0;
        const int expected = lower ? c - 0x20 : c == 0xB8 ? 0xA8 : c == 0xB3 ? 0xB2 : c == 0xBA ? 0xAA : c == 0xBF ? 0xAF : c;
        ASSERT_EQ(static_cast<uint8_t>(UpperCaseCp1251(std::string(1, static_cast<char>(c)))[0]), expected) << c;
    }
}

TEST(GamesIndex, LinesBecomeEntries) {
    test::TempDir dir;
    write_index(dir.path(),
                "[Games]\r\nRace=race.lvt\r\nDemo=D:\\lvov\\demo.sav\r\n;note=x.lvt\r\nno equals here\r\n"
                "RACE=second.lvt\r\nИгра=игра.lvt\r\nиГРА=other.lvt\r\na=b=c\nЁж=yo.lvt\nSub=sub\\race.lvt");
    GamesCatalogue games;
    games.FillGamesList(dir.path());
    std::vector<std::string> titles;
    for (auto& n : games.names) titles.push_back(cp1251_to_utf8(n));
    EXPECT_EQ(titles, (std::vector<std::string>{"Race", "Demo", ";note", "RACE", "Игра", "иГРА", "a", "Ёж", "Sub"}));
    EXPECT_EQ(games.paths[0], path_text(dir / "GAMES" / "race.lvt"));
    EXPECT_EQ(games.paths[1], "D:\\lvov\\demo.sav");
    EXPECT_EQ(games.paths[4], path_text(dir / "GAMES" / "игра.lvt"));
    EXPECT_EQ(games.paths[6], path_text(dir / "GAMES" / "b=c"));
#ifndef _WIN32
    EXPECT_EQ(games.paths[8], path_text(dir / "GAMES" / "sub" / "race.lvt")) << "index folders use backslashes";
#endif

    EXPECT_EQ(games.find("race"), 0);
    EXPECT_EQ(games.find("RACE"), 0) << "duplicates in another case resolve to the first";
    EXPECT_EQ(games.find(utf8_to_cp1251("ИГРА")), 4);
    EXPECT_EQ(games.find(utf8_to_cp1251("ёЖ")), 7);
    EXPECT_EQ(games.find("Rac"), -1);

    GamesCatalogue none;
    none.FillGamesList(dir / "elsewhere");
    EXPECT_EQ(none.game_count(), 0);
}

TEST(GamesIndex, LimitsKeepWhatWasRead) {
    test::TempDir dir;
    std::string text;
    for (int i = 1; i <= 301; ++i) text += "Game" + std::to_string(i) + "=g.lvt\n";
    write_index(dir.path(), text);
    GamesCatalogue games;
    EXPECT_THROW(games.FillGamesList(dir.path()), RangeError);
    EXPECT_EQ(games.game_count(), 300);
    EXPECT_EQ(games.names.back(), "Game300");

    write_index(dir.path(), "A=a.lvt\n" + std::string(254, 't') + "=ok.lvt\n" + std::string(255, 't') + "=long.lvt\nB=b.lvt\n");
    EXPECT_THROW(games.FillGamesList(dir.path()), RangeError);
    EXPECT_EQ(games.game_count(), 2);
}

TEST(GamesIndex, ChoosingResetsBootsAndLoads) {
    const RomImages roms = builtin_rom_images();
    test::TempDir dir;
    write_index(dir.path(), "Race=race.lvt\nGone=gone.lvt\n");
    Bytes tape;
    test::put(tape, "LVOV/2.0/\xD0......");
    test::put_words(tape, {0x8000, 0x8002, 0x8000});
    test::put(tape, {0x11, 0x22, 0x33});
    test::write_file(dir / "GAMES" / "race.lvt", tape);

    GamesCatalogue games;
    games.FillGamesList(dir.path());
    ByteBufferBank bank;
    auto m = std::make_unique<MachineState>();
    auto booted = test::reset_machine(roms);
    i8080_do_opcodes(*booted, boot_cycles);

    EXPECT_TRUE(games.ChooseGame(bank, *m, roms, "rACE"));
    EXPECT_EQ(games.current_title, "Race");
    EXPECT_EQ(m->memory[0x8001], 0x22);
    EXPECT_EQ(m->PC, 0x8000);

    m->memory[0x9000] = 0x5A;
    EXPECT_FALSE(games.ChooseGame(bank, *m, roms, "Race")) << "the title shown already: nothing happens";
    EXPECT_EQ(m->memory[0x9000], 0x5A);

    EXPECT_TRUE(games.ChooseGame(bank, *m, roms, "Gone"));  // its file is missing
    EXPECT_EQ(games.current_title, "Race");
    test::expect_same_state(*booted, *m);
    EXPECT_TRUE(games.ChooseGame(bank, *m, roms, "R"));  // typing a first letter matches no title
    test::expect_same_state(*booted, *m);
}

}  // namespace
}  // namespace lvov
