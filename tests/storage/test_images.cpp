// Tape and dump images.
#include "core/errors.h"
#include "storage/images.h"
#include "storage/snapshot.h"
#include "storage_test_util.h"

namespace lvov {
namespace {

using test::Bytes;

Bytes tape(uint8_t type) {
    Bytes f;
    test::put(f, "LVOV/2.0/");
    f.push_back(type);
    f.insert(f.end(), 6, 0xEE);  // not examined
    return f;
}

Bytes binary_tape(uint16_t start, uint16_t end, uint16_t run, size_t data_bytes) {
    Bytes f = tape(TAPE_TYPE_BINARY);
    test::put_words(f, {start, end, run});
    for (size_t i = 0; i < data_bytes; ++i) f.push_back(static_cast<uint8_t>(i + 1));
    return f;
}

class ImagesTest : public ::testing::Test {
protected:
    RomImages roms = builtin_rom_images();
    test::TempDir dir;
    ByteBufferBank bank;
    std::unique_ptr<MachineState> m = test::reset_machine(roms);

    LoadResult load(const Bytes& file) {
        test::write_file(dir / "image", file);
        return LoadImageFile(bank, *m, (dir / "image").string());
    }
    void expect_started(uint16_t pc) {
        EXPECT_EQ(m->port_latches[0xC2], 0xFF);
        EXPECT_EQ(m->SP, 0xAFC1);
        EXPECT_EQ(get_var(*m, 0xAFC1), 0x02FD) << "return address of the warm start";
        EXPECT_EQ(m->PC, pc);
    }
};

TEST_F(ImagesTest, MachineCodeProgram) {
    m->port_latches[0xC2] = 0x00;
    const Bytes f = binary_tape(0x8000, 0x80FF, 0x8010, 256);
    EXPECT_EQ(load(f), LoadResult::Tape);
    Bytes expected(f.begin() + 22, f.end());
    expected.push_back(0);  // 8100 untouched
    EXPECT_EQ(Bytes(m->memory.begin() + 0x8000, m->memory.begin() + 0x8101), expected);
    expect_started(0x8010);

    m = test::reset_machine(roms);
    load(binary_tape(0x9000, 0x8FFF, 0x9000, 0));  // end below start: nothing copied
    expect_started(0x9000);
    EXPECT_EQ(m->memory[0x9000], 0);

    load(binary_tape(0xAFC0, 0xAFC2, 0xAFC0, 3));  // program bytes replace the pushed address
    EXPECT_EQ(Bytes(m->memory.begin() + 0xAFC0, m->memory.begin() + 0xAFC3), Bytes({1, 2, 3}));
}

TEST_F(ImagesTest, BasicProgram) {
    set_var(*m, 0x0243, 0x1200);  // where the booted firmware keeps the program start
    Bytes f = tape(0x02);
    for (int i = 0; i < 0xC0 + 1; ++i) f.push_back(0x30 + i);  // the last byte is not loaded
    EXPECT_EQ(load(f), LoadResult::Tape);
    Bytes expected(f.begin() + 16, f.end() - 1);
    expected.push_back(0);
    EXPECT_EQ(Bytes(m->memory.begin() + 0x1200, m->memory.begin() + 0x12C1), expected);
    EXPECT_EQ(Bytes(m->memory.begin() + 0x0245, m->memory.begin() + 0x0247), Bytes({0xC0, 0x12}));
    expect_started(0x02FD);

    for (size_t size : {17u, 12u, 10u}) {  // no program bytes: the start is stored as the end
        m = test::reset_machine(roms);
        set_var(*m, 0x0243, 0x3456);
        Bytes small = tape(0x02);
        small.push_back(0x99);
        small.resize(size);
        EXPECT_EQ(load(small), LoadResult::Tape) << size;
        EXPECT_EQ(get_var(*m, 0x0245), 0x3456);
        EXPECT_EQ(m->memory[0x3456], 0);
        expect_started(0x02FD);
    }
}

TEST_F(ImagesTest, ImagesThatDoNotFitAreRefusedUntouched) {
    test::scramble(*m, 3);
    set_var(*m, 0x0243, 0xFFF0);
    const auto before = std::make_unique<MachineState>(*m);
    Bytes basic = tape(0x02);
    basic.insert(basic.end(), 17 + 1, 0x55);  // 17 program bytes from FFF0: one past FFFF
    EXPECT_THROW(load(basic), RangeError);
    EXPECT_THROW(load(binary_tape(0x8000, 0x80FF, 0x8000, 255)), RangeError);
    const Bytes header_only = binary_tape(0, 0, 0, 0);
    EXPECT_THROW(load(Bytes(header_only.begin(), header_only.begin() + 20)), RangeError);
    EXPECT_THROW(load(Bytes(header_only.begin(), header_only.begin() + 9)), RangeError);  // no type byte
    Bytes dump;
    test::put(dump, "LVOV/DUMP");
    dump.resize(DUMP_SIZE - 1);
    EXPECT_THROW(load(dump), RangeError);
    test::expect_unchanged(*before, *m);

    basic.pop_back();  // 16 bytes end exactly at FFFF; the stored end wraps to 0000
    EXPECT_EQ(load(basic), LoadResult::Tape);
    EXPECT_EQ(m->memory[0xFFFF], 0x55);
    EXPECT_EQ(get_var(*m, 0x0245), 0x0000);
}

TEST_F(ImagesTest, DumpRestoresTheWholeState) {
    auto src = test::reset_machine(roms);
    test::scramble(*src, 11);
    src->memory[0xC000] ^= 0x12;
    Bytes f;
    test::put(f, "LVOV/DUMP");
    f.insert(f.end(), 8, 0x77);
    f.insert(f.end(), src->memory.begin(), src->memory.end());
    test::put_tail(f, *src, false);
    ASSERT_EQ(f.size(), DUMP_SIZE);
    EXPECT_EQ(load(f), LoadResult::Dump);
    test::expect_same_state(*src, *m);
}

TEST_F(ImagesTest, OnlyTheFilesOwnBytesAreMatchedAgainstMagics) {
    const auto before = std::make_unique<MachineState>(*m);
    Bytes wrong = binary_tape(0x8000, 0x8000, 0x8000, 1);
    wrong[8] = '-';
    EXPECT_EQ(load(wrong), LoadResult::NotRecognised);
    // After a whole tape image, a five-byte file is not completed by the buffer's old bytes.
    wrong[8] = '/';
    load(wrong);
    *m = *before;
    EXPECT_EQ(load(Bytes({'L', 'V', 'O', 'V', '/'})), LoadResult::NotRecognised);
    EXPECT_EQ(load(Bytes{}), LoadResult::NotRecognised);
    test::expect_unchanged(*before, *m);
}

}  // namespace
}  // namespace lvov
