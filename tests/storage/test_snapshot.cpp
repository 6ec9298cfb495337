// Snapshot writing and reading, every version, and the load dispatcher.
#include "core/errors.h"
#include "storage/snapshot.h"
#include "storage_test_util.h"

namespace lvov {
namespace {

using test::Bytes;

class SnapshotTest : public ::testing::Test {
protected:
    RomImages roms = builtin_rom_images();
    test::TempDir dir;
    ByteBufferBank bank;
    std::string path(const std::string& name) { return (dir / name).string(); }

    // Decodes a written snapshot's stream (from offset 9) with a fresh bank.
    Bytes decoded(const std::string& file, size_t count) {
        ByteBufferBank b;
        b.ZeroRunBegin(1);
        b.LoadFileToBuffer(1, file);
        b.set_cursor(1, 9);
        Bytes out(count);
        for (auto& v : out) v = b.ZeroRunGetByte();
        return out;
    }
};

TEST_F(SnapshotTest, FreshMachineWritesHeaderAndBuiltInRomId) {
    auto m = test::reset_machine(roms);
    const std::string written = SaveSnapshot(bank, *m, roms, path("fresh"));
    EXPECT_EQ(written, path("fresh.NevLVE"));
    const Bytes file = test::read_file(written);
    ASSERT_GE(file.size(), 9u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 9), "NevLVEmu2");
    // The stream: RAM, rom_id 1, vram, latches all FF stored as zeros, registers.
    const Bytes body = decoded(written, 0xC000 + 1 + 0x4000 + 256 + 12);
    EXPECT_EQ(body[0xC000], 1);
    EXPECT_EQ(Bytes(body.begin() + 0xC001 + 0x4000, body.begin() + 0xC001 + 0x4000 + 256), Bytes(256, 0));
    EXPECT_EQ(Bytes(body.end() - 2, body.end()), Bytes({0x00, 0xC0})) << "PC";
    // Empty RAM, vram and FF latches collapse into run tokens: no firmware bytes stored.
    EXPECT_LT(file.size(), 2000u);
    // Buffer 1 keeps the file's bytes for a second copy.
    EXPECT_EQ(Bytes(bank.data(1), bank.data(1) + bank.cursor(1)), file);
}

TEST_F(SnapshotTest, RoundTripRestoresEverythingStored) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        auto saved = test::reset_machine(roms);
        test::scramble(*saved, seed);
        if (seed == 2) saved->PC = 0x0010, saved->SP = 0, saved->F = 0;  // trailing zeros end the stream
        if (seed == 3) saved->memory[0xD000] ^= 0x5A;                    // a foreign firmware image
        SaveSnapshot(bank, *saved, roms, path("rt.NevLVE"));

        auto loaded = test::reset_machine(roms);
        loaded->cycles = 1234;
        loaded->kbd_matrix[3] = 0x10;
        EXPECT_EQ(LoadImageFile(bank, *loaded, path("rt.NevLVE")), LoadResult::Snapshot);
        test::expect_same_state(*saved, *loaded);
        EXPECT_EQ(loaded->cycles, 1234) << "not stored, left as it was";
        EXPECT_EQ(loaded->kbd_matrix[3], 0x10);
        if (seed == 3) {
            EXPECT_EQ(decoded(path("rt.NevLVE"), 0xC001)[0xC000], 255);
            EXPECT_EQ(identify_rom(*loaded, roms), 0);
        }
    }
}

TEST_F(SnapshotTest, KnownRomIdKeepsTheFirmwareInPlace) {
    auto saved = test::reset_machine(roms);
    saved->memory[0x1234] = 0x77;
    SaveSnapshot(bank, *saved, roms, path("a.NevLVE"));
    auto loaded = test::reset_machine(roms);
    loaded->memory[0xC100] = 0x99;  // some other firmware is in place
    LoadImageFile(bank, *loaded, path("a.NevLVE"));
    EXPECT_EQ(loaded->memory[0x1234], 0x77);
    EXPECT_EQ(loaded->memory[0xC100], 0x99);
}

// The sections every version shares, raw: vram, latches (as given), registers.
void append_tail(Bytes& f, const MachineState& m, bool complement) {
    f.insert(f.end(), m.vram.begin(), m.vram.end());
    for (uint8_t l : m.port_latches) f.push_back(complement ? l ^ 0xFF : l);
    for (uint8_t r : {m.B, m.C, m.D, m.E, m.H, m.L, m.A, m.F}) f.push_back(r);
    test::append_word(f, m.SP);
    test::append_word(f, m.PC);
}

// Zero-run coding written out by hand, independent of the bank's encoder.
Bytes code(const Bytes& in) {
    Bytes out;
    size_t i = 0;
    while (i < in.size()) {
        if (in[i] != 0) {
            out.push_back(in[i++]);
            continue;
        }
        size_t run = 0;
        while (i < in.size() && in[i] == 0 && run < 65535) ++run, ++i;
        out.insert(out.end(), {0x00, static_cast<uint8_t>(run), static_cast<uint8_t>(run >> 8)});
    }
    return out;
}

TEST_F(SnapshotTest, OlderVersionsLoadAsTheirLayoutSays) {
    auto src = test::reset_machine(roms);
    test::scramble(*src, 77);
    for (uint32_t a = 0xC000; a < 0x10000; ++a) src->memory[a] = static_cast<uint8_t>(a * 3 + 1);  // foreign ROM

    {  // 01: everything raw, memory 0000-FFFF, latches as they are.
        Bytes f;
        test::append(f, "NevLVEmu");
        f.push_back(0x01);
        f.insert(f.end(), src->memory.begin(), src->memory.end());
        append_tail(f, *src, false);
        test::write_file(dir / "v01.NevLVE", f);
        auto m = test::reset_machine(roms);
        EXPECT_EQ(LoadImageFile(bank, *m, path("v01.NevLVE")), LoadResult::Snapshot);
        test::expect_same_state(*src, *m);
    }
    {  // 02 with rom_id 0: the firmware bytes follow.
        Bytes f;
        test::append(f, "NevLVEmu");
        f.push_back(0x02);
        f.insert(f.end(), src->memory.begin(), src->memory.end() - 0x4000);
        f.push_back(0);
        f.insert(f.end(), src->memory.end() - 0x4000, src->memory.end());
        append_tail(f, *src, false);
        test::write_file(dir / "v02.NevLVE", f);
        auto m = test::reset_machine(roms);
        LoadImageFile(bank, *m, path("v02.NevLVE"));
        test::expect_same_state(*src, *m);
    }
    {  // 02 with rom_id 2: no firmware bytes, the firmware in place stays.
        Bytes f;
        test::append(f, "NevLVEmu");
        f.push_back(0x02);
        f.insert(f.end(), src->memory.begin(), src->memory.end() - 0x4000);
        f.push_back(2);
        append_tail(f, *src, false);
        test::write_file(dir / "v02b.NevLVE", f);
        auto m = test::reset_machine(roms);
        LoadImageFile(bank, *m, path("v02b.NevLVE"));
        EXPECT_TRUE(std::equal(m->memory.begin(), m->memory.begin() + 0xC000, src->memory.begin()));
        EXPECT_EQ(identify_rom(*m, roms), 1);
        EXPECT_TRUE(m->port_latches == src->port_latches && m->vram == src->vram);
        EXPECT_EQ(m->PC, src->PC);
    }
    {  // 0x31: coded, memory 0000-FFFF, latches complemented.
        Bytes plain(src->memory.begin(), src->memory.end());
        append_tail(plain, *src, true);
        Bytes f;
        test::append(f, "NevLVEmu1");
        const Bytes coded = code(plain);
        f.insert(f.end(), coded.begin(), coded.end());
        test::write_file(dir / "v31.NevLVE", f);
        auto m = test::reset_machine(roms);
        LoadImageFile(bank, *m, path("v31.NevLVE"));
        test::expect_same_state(*src, *m);
    }
    {  // 0x32 with rom_id 0 (never written, but read): the firmware bytes follow.
        Bytes f;
        test::append(f, "NevLVEmu2");
        const Bytes ram = code(Bytes(src->memory.begin(), src->memory.begin() + 0xC000));
        f.insert(f.end(), ram.begin(), ram.end());
        f.push_back(0);  // rom_id, raw
        Bytes rest(src->memory.begin() + 0xC000, src->memory.end());
        append_tail(rest, *src, true);
        const Bytes coded = code(rest);
        f.insert(f.end(), coded.begin(), coded.end());
        test::write_file(dir / "v32.NevLVE", f);
        auto m = test::reset_machine(roms);
        LoadImageFile(bank, *m, path("v32.NevLVE"));
        test::expect_same_state(*src, *m);
    }
    {  // 03: a machine-code tape image behind the snapshot magic.
        Bytes f;
        test::append(f, "NevLVEmu");
        f.push_back(0x03);
        f.push_back(0xD0);
        f.insert(f.end(), 6, 0);
        for (uint16_t w : {0x9000, 0x9002, 0x9001}) test::append_word(f, w);
        f.insert(f.end(), {0x3E, 0x42, 0xC9});
        test::write_file(dir / "v03.NevLVE", f);
        auto m = test::reset_machine(roms);
        EXPECT_EQ(LoadImageFile(bank, *m, path("v03.NevLVE")), LoadResult::Snapshot);
        EXPECT_EQ(Bytes(m->memory.begin() + 0x9000, m->memory.begin() + 0x9003), Bytes({0x3E, 0x42, 0xC9}));
        EXPECT_EQ(m->PC, 0x9001);
        EXPECT_EQ(m->SP, 0xAFC1);
    }
}

TEST_F(SnapshotTest, UnknownVersionWrongMagicAndShortFilesChangeNothing) {
    auto m = test::reset_machine(roms);
    test::scramble(*m, 5);
    const auto before = std::make_unique<MachineState>(*m);

    Bytes v05;
    test::append(v05, "NevLVEmu");
    v05.insert(v05.end(), 90000, 0x05);
    test::write_file(dir / "v05.NevLVE", v05);
    EXPECT_EQ(LoadImageFile(bank, *m, path("v05.NevLVE")), LoadResult::NotRecognised);
    v05[7] = 'x';
    v05[8] = 0x32;
    test::write_file(dir / "magic.NevLVE", v05);
    EXPECT_EQ(LoadImageFile(bank, *m, path("magic.NevLVE")), LoadResult::NotRecognised);

    // A valid snapshot cut short anywhere before its registers is refused with its name.
    auto other = test::reset_machine(roms);
    test::scramble(*other, 6);
    SaveSnapshot(bank, *other, roms, path("whole.NevLVE"));
    const Bytes whole = test::read_file(path("whole.NevLVE"));
    for (size_t cut : {size_t(8), size_t(9), whole.size() / 2, whole.size() - 40}) {
        test::write_file(dir / "cut.NevLVE", Bytes(whole.begin(), whole.begin() + cut));
        try {
            LoadImageFile(bank, *m, path("cut.NevLVE"));
            ADD_FAILURE() << "cut at " << cut << " was loaded";
        } catch (const RangeError& e) {
            EXPECT_NE(std::string(e.what()).find("cut.NevLVE"), std::string::npos) << e.what();
        }
    }
    // Raw version 01 cut short, too; and a file that cannot be read at all.
    Bytes v01;
    test::append(v01, "NevLVEmu");
    v01.push_back(0x01);
    v01.insert(v01.end(), 70000, 0x11);
    test::write_file(dir / "v01.NevLVE", v01);
    EXPECT_THROW(LoadImageFile(bank, *m, path("v01.NevLVE")), RangeError);
    EXPECT_THROW(LoadImageFile(bank, *m, path("none.NevLVE")), IoError);
    test::expect_unchanged(*before, *m);
}

TEST_F(SnapshotTest, StreamWithoutItsTrailingRunLoadsTheMissingRegistersAsZeros) {
    // Writers that did not complete the stream's end left out the registers' trailing zeros.
    auto saved = test::reset_machine(roms);
    test::scramble(*saved, 9);
    saved->SP = 0x0000;
    saved->PC = 0x0000;
    SaveSnapshot(bank, *saved, roms, path("old.NevLVE"));
    Bytes file = test::read_file(path("old.NevLVE"));
    ASSERT_EQ(Bytes(file.end() - 3, file.end()), Bytes({0x00, 0x04, 0x00}));
    file.resize(file.size() - 3);
    test::write_file(dir / "old.NevLVE", file);
    auto m = test::reset_machine(roms);
    m->SP = 0x1111;
    m->PC = 0x2222;
    LoadImageFile(bank, *m, path("old.NevLVE"));
    test::expect_same_state(*saved, *m);
}

TEST(SnapshotExtension, AppendedUnlessTheFirstOccurrenceEndsThePath) {
    EXPECT_EQ(snapshot_path_with_extension("game"), "game.NevLVE");
    EXPECT_EQ(snapshot_path_with_extension("game.NevLVE"), "game.NevLVE");
    EXPECT_EQ(snapshot_path_with_extension("game.nevlve"), "game.nevlve.NevLVE");
    EXPECT_EQ(snapshot_path_with_extension("a.NevLVE.bak"), "a.NevLVE.bak.NevLVE");
    EXPECT_EQ(snapshot_path_with_extension("a.NevLVE.NevLVE"), "a.NevLVE.NevLVE.NevLVE");
    EXPECT_EQ(snapshot_path_with_extension("/x.NevLVE/y"), "/x.NevLVE/y.NevLVE");
}

}  // namespace
}  // namespace lvov
