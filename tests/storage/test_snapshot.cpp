// Snapshot writing and reading, every version, and the load dispatcher.
#include "core/errors.h"
#include "core/i8080.h"
#include "storage/images.h"
#include "storage/program_files.h"
#include "storage/snapshot.h"
#include "storage_test_util.h"

namespace lvov {
namespace {

using test::Bytes;

// Zero-run coding written out independently of the bank's encoder.
Bytes code(const Bytes& in) {
    Bytes out;
    for (size_t i = 0; i < in.size();) {
        if (in[i] != 0) {
            out.push_back(in[i++]);
            continue;
        }
        size_t run = 0;
        for (; i < in.size() && in[i] == 0 && run < 65535; ++i) ++run;
        test::put(out, {0x00, static_cast<uint8_t>(run), static_cast<uint8_t>(run >> 8)});
    }
    return out;
}

class SnapshotTest : public ::testing::Test {
protected:
    RomImages roms = builtin_rom_images();
    test::TempDir dir;
    ByteBufferBank bank;
    std::string path(const std::string& name) { return (dir / name).string(); }
    std::unique_ptr<MachineState> load(const Bytes& file, LoadResult expected = LoadResult::Snapshot) {
        test::write_file(path("f.NevLVE"), file);
        auto m = test::reset_machine(roms);
        EXPECT_EQ(LoadImageFile(bank, *m, path("f.NevLVE")), expected);
        return m;
    }
};

TEST_F(SnapshotTest, FreshMachineWritesHeaderRomIdAndZeroedLatches) {
    // Image 1 read from a firmware file: rom_id 1 and no firmware bytes. The built-in
    // firmware is no original image: rom_id 255 and its bytes.
    RomImages from_file = roms;
    from_file.image1_builtin = false;
    for (const RomImages* images : {&from_file, &roms}) {
        auto m = test::reset_machine(*images);
        EXPECT_EQ(SaveSnapshot(bank, *m, *images, path("fresh")), path("fresh.NevLVE"));
        const Bytes file = test::read_file(path("fresh.NevLVE"));
        EXPECT_EQ(Bytes(bank.data(1), bank.data(1) + bank.cursor(1)), file) << "buffer 1 keeps the file's bytes";
        // Empty RAM, rom_id, empty vram, 256 latches at FF stored as zeros, registers with PC C000.
        Bytes plain(0xC000, 0);
        if (images == &from_file) {
            plain.push_back(1);
        } else {
            plain.push_back(ROM_ID_OTHER);
            plain.insert(plain.end(), builtin_firmware().begin(), builtin_firmware().end());
        }
        test::put_tail(plain, *m, true);
        Bytes expected;
        test::put(expected, "NevLVEmu2");
        const Bytes coded = code(plain);
        expected.insert(expected.end(), coded.begin(), coded.end());
        EXPECT_EQ(file, expected);
    }
}

TEST_F(SnapshotTest, BuiltInFirmwareSnapshotRestoresOnAnInstallationWithOtherImages) {
    // Saved on the built-in firmware, booted, with a byte of a program in RAM.
    auto saved = test::reset_machine(roms);
    i8080_do_opcodes(*saved, boot_cycles);
    saved->memory[0x9000] = 0x77;
    SaveSnapshot(bank, *saved, roms, path("moved.NevLVE"));

    // Elsewhere firmware/image1.rom is another image: a reset puts it in place.
    std::filesystem::create_directories(dir / "firmware");
    Bytes other(ROM_IMAGE_SIZE);
    for (size_t i = 0; i < other.size(); ++i) other[i] = static_cast<uint8_t>(i * 13 + 5);
    test::write_file(dir / "firmware/image1.rom", other);
    const RomImages there = load_rom_images(dir.path());
    ASSERT_FALSE(there.image1_builtin);
    auto m = test::reset_machine(there);
    EXPECT_EQ(LoadImageFile(bank, *m, path("moved.NevLVE")), LoadResult::Snapshot);
    test::expect_same_state(*saved, *m);

    // It runs on exactly as the machine it was saved from would have.
    i8080_do_opcodes(*saved, 2'000'000);
    i8080_do_opcodes(*m, 2'000'000);
    test::expect_same_state(*saved, *m);
}

TEST_F(SnapshotTest, RoundTripRestoresEverythingStored) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        auto saved = test::reset_machine(roms);
        test::scramble(*saved, seed);
        if (seed == 2) saved->PC = 0x0010, saved->SP = 0, saved->F = 0;  // zeros end the stream
        if (seed == 3) saved->memory[0xD000] ^= 0x5A;  // a foreign firmware image
        SaveSnapshot(bank, *saved, roms, path("rt.NevLVE"));
        auto m = test::reset_machine(roms);
        m->cycles = 1234;
        m->kbd_matrix[3] = 0x10;
        EXPECT_EQ(LoadImageFile(bank, *m, path("rt.NevLVE")), LoadResult::Snapshot);
        test::expect_same_state(*saved, *m);
        EXPECT_EQ(m->cycles, 1234) << "not stored";
        EXPECT_EQ(m->kbd_matrix[3], 0x10) << "not stored";
    }
    // A known rom_id leaves whatever firmware is in place.
    RomImages from_file = roms;
    from_file.image1_builtin = false;
    auto saved = test::reset_machine(from_file);
    SaveSnapshot(bank, *saved, from_file, path("known.NevLVE"));
    auto m = test::reset_machine(from_file);
    m->memory[0xC100] ^= 0xFF;
    LoadImageFile(bank, *m, path("known.NevLVE"));
    EXPECT_NE(m->memory[0xC100], saved->memory[0xC100]);
}

TEST_F(SnapshotTest, OlderVersionsLoadAsTheirLayoutSays) {
    auto src = test::reset_machine(roms);
    test::scramble(*src, 77);
    for (uint32_t a = 0xC000; a < 0x10000; ++a) src->memory[a] = static_cast<uint8_t>(a * 3 + 1);
    const Bytes ram(src->memory.begin(), src->memory.begin() + 0xC000);
    const Bytes rom(src->memory.begin() + 0xC000, src->memory.end());
    auto file = [](const char* head, std::initializer_list<Bytes> parts) {
        Bytes f;
        test::put(f, head);
        for (const Bytes& p : parts) f.insert(f.end(), p.begin(), p.end());
        return f;
    };
    Bytes raw_tail, coded_tail;
    test::put_tail(raw_tail, *src, false);
    test::put_tail(coded_tail, *src, true);

    // 01: raw, memory 0000-FFFF, latches as they are.
    test::expect_same_state(*src, *load(file("NevLVEmu\x01", {ram, rom, raw_tail})));
    // 02: raw with rom_id; 0 means the firmware bytes follow.
    test::expect_same_state(*src, *load(file("NevLVEmu\x02", {ram, {0}, rom, raw_tail})));
    auto m = load(file("NevLVEmu\x02", {ram, {2}, raw_tail}));
    EXPECT_TRUE(std::equal(builtin_firmware().begin(), builtin_firmware().end(), m->memory.begin() + 0xC000))
        << "rom_id 2: the firmware in place stays";
    EXPECT_TRUE(std::equal(ram.begin(), ram.end(), m->memory.begin()) && m->vram == src->vram);
    // 0x31: coded, memory 0000-FFFF, latches complemented.
    Bytes plain = rom;
    plain.insert(plain.begin(), ram.begin(), ram.end());
    plain.insert(plain.end(), coded_tail.begin(), coded_tail.end());
    test::expect_same_state(*src, *load(file("NevLVEmu1", {code(plain)})));
    Bytes v31 = file("NevLVEmu1", {code(plain)});
    v31.pop_back();
    test::write_file(path("cut.NevLVE"), v31);
    EXPECT_THROW(LoadImageFile(bank, *test::reset_machine(roms), path("cut.NevLVE")), RangeError);
    // 0x32 with rom_id 0, never written but read: the firmware bytes follow, coded.
    Bytes rest = rom;
    rest.insert(rest.end(), coded_tail.begin(), coded_tail.end());
    test::expect_same_state(*src, *load(file("NevLVEmu2", {code(ram), {0}, code(rest)})));
    // 03: a machine-code tape image behind the snapshot magic.
    Bytes tape;
    test::put(tape, {0xD0, 0, 0, 0, 0, 0, 0});
    test::put_words(tape, {0x9000, 0x9002, 0x9001});
    test::put(tape, {0x3E, 0x42, 0xC9});
    m = load(file("NevLVEmu\x03", {tape}));
    EXPECT_EQ(Bytes(m->memory.begin() + 0x9000, m->memory.begin() + 0x9003), Bytes({0x3E, 0x42, 0xC9}));
    EXPECT_EQ(m->PC, 0x9001);
    EXPECT_EQ(m->SP, 0xAFC1);
}

TEST_F(SnapshotTest, UnknownVersionWrongMagicAndShortFilesChangeNothing) {
    auto m = test::reset_machine(roms);
    test::scramble(*m, 5);
    const auto before = std::make_unique<MachineState>(*m);
    auto load_into_m = [&](const Bytes& f) {
        test::write_file(path("bad.NevLVE"), f);
        return LoadImageFile(bank, *m, path("bad.NevLVE"));
    };
    Bytes v05;
    test::put(v05, "NevLVEmu\x05");
    v05.insert(v05.end(), 90000, 0x05);
    EXPECT_EQ(load_into_m(v05), LoadResult::NotRecognised);
    v05[7] = 'x', v05[8] = 0x32;
    EXPECT_EQ(load_into_m(v05), LoadResult::NotRecognised);

    auto other = test::reset_machine(roms);
    test::scramble(*other, 6);
    SaveSnapshot(bank, *other, roms, path("whole.NevLVE"));
    const Bytes whole = test::read_file(path("whole.NevLVE"));
    for (size_t cut : {size_t(8), size_t(9), whole.size() / 2, whole.size() - 40}) {
        try {
            load_into_m(Bytes(whole.begin(), whole.begin() + cut));
            ADD_FAILURE() << "cut at " << cut << " was loaded";
        } catch (const RangeError& e) {
            EXPECT_NE(std::string(e.what()).find("bad.NevLVE"), std::string::npos) << e.what();
        }
    }
    Bytes v01;
    test::put(v01, "NevLVEmu\x01");
    v01.insert(v01.end(), 70000, 0x11);
    EXPECT_THROW(load_into_m(v01), RangeError);
    EXPECT_THROW(LoadImageFile(bank, *m, path("none.NevLVE")), IoError);
    test::expect_unchanged(*before, *m);
}

TEST_F(SnapshotTest, ACodedStreamEndingBeforeTheRegistersIsRefused) {
    // Cut one byte short, or without its trailing zero run: both would leave a register
    // zero that was not, so both are refused and the machine keeps its state.
    auto saved = test::reset_machine(roms);
    test::scramble(*saved, 9);
    saved->PC = 0xC123;
    SaveSnapshot(bank, *saved, roms, path("good.NevLVE"));
    const Bytes whole = test::read_file(path("good.NevLVE"));
    ASSERT_EQ(whole.back(), 0xC1);
    saved->SP = saved->PC = 0;
    SaveSnapshot(bank, *saved, roms, path("zeros.NevLVE"));
    const Bytes zeros = test::read_file(path("zeros.NevLVE"));
    ASSERT_EQ(Bytes(zeros.end() - 3, zeros.end()), Bytes({0x00, 0x04, 0x00}));
    for (const Bytes& cut : {Bytes(whole.begin(), whole.end() - 1), Bytes(zeros.begin(), zeros.end() - 3)}) {
        test::write_file(path("cut.NevLVE"), cut);
        auto m = test::reset_machine(roms);
        m->SP = m->PC = 0x1111;
        const auto before = std::make_unique<MachineState>(*m);
        try {
            LoadImageFile(bank, *m, path("cut.NevLVE"));
            ADD_FAILURE() << "a stream of " << cut.size() << " bytes was loaded";
        } catch (const RangeError& e) {
            EXPECT_NE(std::string(e.what()).find("cut.NevLVE"), std::string::npos) << e.what();
        }
        test::expect_unchanged(*before, *m);
    }
}

TEST_F(SnapshotTest, ReadersSeeOnlyTheBytesOfTheirSpan) {
    // Each reader gets a span shorter than the memory behind it, where the rest of a
    // whole file lies: a reader that looked past the span would take the file.
    auto src = test::reset_machine(roms);
    test::scramble(*src, 21);
    SaveSnapshot(bank, *src, roms, path("whole.NevLVE"));
    const Bytes coded = test::read_file(path("whole.NevLVE"));
    Bytes dump;
    test::put(dump, "LVOV/DUMP");
    dump.insert(dump.end(), 8, 0);
    dump.insert(dump.end(), src->memory.begin(), src->memory.end());
    test::put_tail(dump, *src, false);
    Bytes raw;
    test::put(raw, "NevLVEmu\x01");
    raw.insert(raw.end(), src->memory.begin(), src->memory.end());
    test::put_tail(raw, *src, false);
    Bytes tape;
    test::put(tape, "LVOV/2.0/\xD0NAME  ");
    test::put_words(tape, {0x9000, 0x90FF, 0x9000});
    tape.insert(tape.end(), 256, 0x76);

    // The start of every run token in the coded stream, so that cuts can split one.
    std::vector<size_t> tokens;
    for (size_t at = 9; at < coded.size(); at += coded[at] == 0 ? 3 : 1) {
        if (coded[at] == 0) tokens.push_back(at);
    }
    ASSERT_GT(tokens.size(), 10u);
    const size_t token = tokens[tokens.size() / 2];  // in the middle of the stream

    using Reader = bool (*)(std::span<const uint8_t>, MachineState&, const std::string&);
    struct Case {
        const char* what;
        Reader read;
        const Bytes& file;
        size_t cut;
    };
    const Case cases[] = {
        {"coded, a literal short", ReadSnapshot, coded, coded.size() / 2},
        {"coded, run token without its count", ReadSnapshot, coded, token + 1},
        {"coded, run token with half its count", ReadSnapshot, coded, token + 2},
        {"version 01, one byte short", ReadSnapshot, raw, raw.size() - 1},
        {"dump, one byte short", ReadDumpImage, dump, dump.size() - 1},
        {"tape, one byte short", ReadTapeImage, tape, tape.size() - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string header(c.file.begin(), c.file.begin() + FILE_HEADER_SIZE);
        auto m = test::reset_machine(roms);
        const auto before = std::make_unique<MachineState>(*m);
        EXPECT_THROW(c.read(std::span(c.file.data(), c.cut), *m, header), RangeError);
        test::expect_unchanged(*before, *m);
        EXPECT_TRUE(c.read(std::span(c.file), *m, header)) << "the whole file is taken";
    }
}

TEST(SnapshotExtension, AppendedUnlessTheFirstOccurrenceEndsThePath) {
    EXPECT_EQ(snapshot_path_with_extension("game"), "game.NevLVE");
    EXPECT_EQ(snapshot_path_with_extension("game.NevLVE"), "game.NevLVE");
    EXPECT_EQ(snapshot_path_with_extension("game.nevlve"), "game.nevlve");  // any letter case
    EXPECT_EQ(snapshot_path_with_extension("x.NEVLVE.nevLve"), "x.NEVLVE.nevLve.NevLVE");
    EXPECT_EQ(snapshot_path_with_extension("a.NevLVE.NevLVE"), "a.NevLVE.NevLVE.NevLVE");
    EXPECT_EQ(snapshot_path_with_extension("/x.NevLVE/y"), "/x.NevLVE/y.NevLVE");
    // Only the file name counts: a folder named like a snapshot changes nothing.
    EXPECT_EQ(snapshot_path_with_extension("/x.NevLVE/QuickSave.NevLVE"), "/x.NevLVE/QuickSave.NevLVE");
    EXPECT_EQ(snapshot_path_with_extension("x.NevLVE/b.NevLVE.NevLVE"), "x.NevLVE/b.NevLVE.NevLVE.NevLVE");
}

TEST_F(SnapshotTest, AFolderNameIsRefusedBeforeAnythingIsWritten) {
    auto m = test::reset_machine(roms);
    for (const std::string& name : {path("") + "/", path("sub") + "/", path("."), std::string()}) {
        EXPECT_THROW(SaveSnapshot(bank, *m, roms, name), IoError) << name;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "no hidden \".NevLVE\" file";
}

}  // namespace
}  // namespace lvov
