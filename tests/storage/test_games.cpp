// The games catalogue: window-1251 text, the index rules, case folding and loading.
#include <sys/resource.h>
#include <sys/stat.h>

#include "../node_limits.h"
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
    // Every byte of an overlong form or an encoded surrogate is one unknown character.
    EXPECT_EQ(utf8_to_cp1251(std::string{'\xC0', '\x80', 'a', '\xED', '\xA0', '\x80'}), "??a???");

    EXPECT_EQ(cp1251_to_utf8(UpperCaseCp1251(utf8_to_cp1251("race ёжик і є ї ґ ў"))), "RACE ЁЖИК І Є Ї ґ ў");
    for (int c = 0; c < 256; ++c) {  // lower-case letters move down, nothing else changes
        const bool lower = (c >= 'a' && c <= 'z') || c >= 0xE0;
        const int expected = lower       ? c - 0x20
                             : c == 0xB8 ? 0xA8
                             : c == 0xB3 ? 0xB2
                             : c == 0xBA ? 0xAA
                             : c == 0xBF ? 0xAF
                                         : c;
        ASSERT_EQ(static_cast<uint8_t>(UpperCaseCp1251(std::string(1, static_cast<char>(c)))[0]), expected) << c;
    }
}

TEST(GamesIndex, LinesBecomeEntries) {
    test::TempDir dir;
    write_index(dir.path(),
                "[Games]\r\nRace=race.lvt\r\nDemo=D:\\lvov\\demo.sav\r\n;note=x.lvt\r\nno equals here\r\n"
                "RACE=second.lvt\r\nИгра=игра.lvt\r\nиГРА=other.lvt\r\na=b=c\nЁж=yo.lvt\nSub=sub\\race.lvt\n"
                "Star Wars: Ep 1=sw.lvt\nAbs=/opt/lvov/abs.lvt\nDrive=c:x.lvt\nNear=x:y.lvt");
    GamesCatalogue games;
    games.FillGamesList(dir.path());
    std::vector<std::string> titles;
    for (auto& n : games.names) titles.push_back(cp1251_to_utf8(n));
    EXPECT_EQ(titles, (std::vector<std::string>{"Race", "Demo", ";note", "RACE", "Игра", "иГРА", "a", "Ёж", "Sub",
                                                "Star Wars: Ep 1", "Abs", "Drive", "Near"}));
    EXPECT_EQ(games.paths[0], path_text(dir / "GAMES" / "race.lvt"));
    EXPECT_EQ(games.paths[1], "D:\\lvov\\demo.sav");
    EXPECT_EQ(games.paths[4], path_text(dir / "GAMES" / "игра.lvt"));
    EXPECT_EQ(games.paths[6], path_text(dir / "GAMES" / "b=c"));
#ifndef _WIN32
    EXPECT_EQ(games.paths[8], path_text(dir / "GAMES" / "sub" / "race.lvt")) << "index folders use backslashes";
    EXPECT_EQ(games.paths[10], "/opt/lvov/abs.lvt");
#endif
    // Only a drive letter and colon at the start make a full path; a colon elsewhere does not.
    EXPECT_EQ(games.paths[9], path_text(dir / "GAMES" / "sw.lvt"));
    EXPECT_EQ(games.paths[11], "c:x.lvt");
    EXPECT_EQ(games.paths[12], "x:y.lvt");

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

    write_index(dir.path(),
                "A=a.lvt\n" + std::string(254, 't') + "=ok.lvt\n" + std::string(255, 't') + "=long.lvt\nB=b.lvt\n");
    EXPECT_THROW(games.FillGamesList(dir.path()), RangeError);
    EXPECT_EQ(games.game_count(), 2);
}

// Peak memory of this process so far, in KiB.
long peak_rss_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(GamesIndex, LongLinesAreJudgedByTheirStartWithBoundedMemory) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "GAMES");
    const auto index = dir / "GAMES" / "index.ini";
    // 50 MB without a line break, its only '=' near the end: a title far over the limit.
    {
        std::ofstream out(index, std::ios::binary);
        out << "Before=b.lvt\n";
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 50; ++i) out << block;
        out << "=late.lvt";
    }
    GamesCatalogue games;
    const long before = peak_rss_kib();
    try {
        games.FillGamesList(dir.path());
        ADD_FAILURE() << "no error";
    } catch (const RangeError& e) {
        EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
    }
    EXPECT_LT(peak_rss_kib() - before, 16 * 1024) << "the long line was held in memory";
    EXPECT_EQ(games.names, std::vector<std::string>{"Before"});

    // A short title with a file name longer than any path: refused, the entries before stay.
    write_index(dir.path(), "A=a.lvt\nB=" + std::string(5000, 'f') + "\r\nC=c.lvt\n");
    EXPECT_THROW(games.FillGamesList(dir.path()), RangeError);
    EXPECT_EQ(games.game_count(), 1);
    // Up to the limit it is an entry, a CR LF break not counted; a long line without '=' is skipped.
    const std::string longest = "L=" + std::string(GamesCatalogue::MAX_LINE_KEPT - 2, 'f');
    write_index(dir.path(), longest + "\r\n" + std::string(100000, 'n') + "\nZ=z.lvt");
    games.FillGamesList(dir.path());
    ASSERT_EQ(games.game_count(), 2);
    EXPECT_EQ(games.paths[0].size(), path_text(dir / "GAMES" / "").size() + GamesCatalogue::MAX_LINE_KEPT - 2);
    EXPECT_EQ(games.names[1], "Z");
}

TEST(GamesIndex, AnIndexThatIsNoRegularFileIsRefusedAtOnce) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "GAMES" / "index.ini");
    GamesCatalogue games;
    EXPECT_THROW(games.FillGamesList(dir.path()), IoError);
    std::filesystem::remove(dir / "GAMES" / "index.ini");
    LVOV_SKIP_UNDER_NODE("it cannot make a FIFO");
    ASSERT_EQ(mkfifo((dir / "GAMES" / "index.ini").c_str(), 0600), 0);  // opening it would wait for a writer
    EXPECT_THROW(games.FillGamesList(dir.path()), IoError);
}

TEST(GamesIndex, LoadingAnEntry) {
    test::TempDir dir;
    // Byte 98 is undefined in window-1251: the title still holds it and is found by it.
    std::string index = "Race=race.lvt\nGone=gone.lvt\nOdd\x98=race.lvt\n";
    std::filesystem::create_directories(dir / "GAMES");
    test::write_file(dir / "GAMES" / "index.ini", Bytes(index.begin(), index.end()));
    Bytes tape;
    test::put(tape, "LVOV/2.0/\xD0......");
    test::put_words(tape, {0x8000, 0x8002, 0x8000});
    test::put(tape, {0x11, 0x22, 0x33});
    test::write_file(dir / "GAMES" / "race.lvt", tape);

    GamesCatalogue games;
    games.FillGamesList(dir.path());
    ByteBufferBank bank;
    auto m = std::make_unique<MachineState>();
    EXPECT_EQ(games.LoadGame(bank, *m, games.find("rACE")), "Race");
    EXPECT_EQ(games.current_title, "Race");
    EXPECT_EQ(m->memory[0x8001], 0x22);
    EXPECT_EQ(m->PC, 0x8000);

    m = std::make_unique<MachineState>();
    const auto untouched = std::make_unique<MachineState>(*m);
    try {
        games.LoadGame(bank, *m, games.find("Gone"));
        ADD_FAILURE() << "a missing file was taken";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("gone.lvt"), std::string::npos) << e.what();
    }
    EXPECT_EQ(games.LoadGame(bank, *m, games.find("R")), "");  // no such title
    EXPECT_EQ(games.current_title, "Race");
    test::expect_unchanged(*untouched, *m);

    EXPECT_EQ(games.find("odd\x98"), 2);
    EXPECT_EQ(games.LoadGame(bank, *m, 2), "Odd\x98");
    EXPECT_EQ(m->memory[0x8001], 0x22);
    games.forget_current();
    EXPECT_EQ(cp1251_to_utf8(games.current_title), "(выберите игру)");
}

}  // namespace
}  // namespace lvov
