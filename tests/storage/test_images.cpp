// Tape and dump images.
#include "core/errors.h"
#include "storage/images.h"
#include "storage/snapshot.h"
#include "storage_test_util.h"

namespace lvov {
namespace {

using test::Bytes;

Bytes tape_header(uint8_t type) {
    Bytes f;
    test::append(f, "LVOV/2.0/");
    f.push_back(type);
    f.insert(f.end(), 6, 0xEE);  // not examined
    return f;
}

Bytes binary_tape(uint16_t start, uint16_t end, uint16_t run, size_t data_bytes) {
    Bytes f = tape_header(0xD0);
    for (uint16_t w : {start, end, run}) test::append_word(f, w);
    for (size_t i = 0; i < data_bytes; ++i) f.push_back(static_cast<uint8_t>(i + 1));
    return f;
}

class ImagesTest : public ::testing::Test {
protected:
    RomImages roms = builtin_rom_images();
    test::TempDir dir;
    ByteBufferBank bank;
    std::unique_ptr<MachineState> m = test::reset_machine(roms);

    LoadResult load(const Bytes& file, const std::string& name = "image.lvt") {
        test::write_file(dir / name, file);
        return LoadImageFile(bank, *m, (dir / name).string());
    }
    void expect_warm_start_return() {
        EXPECT_EQ(m->port_latches[0xC2], 0xFF);
        EXPECT_EQ(m->SP, 0xAFC1);
        EXPECT_EQ(m->memory[0xAFC1], 0xFD);
        EXPECT_EQ(m->memory[0xAFC2], 0x02);
    }
};

TEST_F(ImagesTest, MachineCodeProgram) {
    m->port_latches[0xC2] = 0x00;
    EXPECT_EQ(load(binary_tape(0x8000, 0x80FF, 0x8000, 256)), LoadResult::Tape);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(m->memory[0x8000 + i], static_cast<uint8_t>(i + 1));
    EXPECT_EQ(m->memory[0x8100], 0);
    expect_warm_start_return();
    EXPECT_EQ(m->PC, 0x8000);

    // End below start: nothing copied, the rest as before.
    m = test::reset_machine(roms);
    load(binary_tape(0x9000, 0x8FFF, 0x9000, 0));
    expect_warm_start_return();
    EXPECT_EQ(m->PC, 0x9000);
    EXPECT_EQ(m->memory[0x9000], 0);

    // Program bytes over AFC1-AFC2 replace the pushed return address.
    load(binary_tape(0xAFC0, 0xAFC2, 0xAFC0, 3));
    EXPECT_EQ(Bytes(m->memory.begin() + 0xAFC0, m->memory.begin() + 0xAFC3), Bytes({1, 2, 3}));
}

TEST_F(ImagesTest, BasicProgram) {
    set_var(*m, 0x0243, 0x1200);  // where the firmware keeps the program start
    Bytes f = tape_header(0x02);
    for (int i = 0; i < 0xC0 + 1; ++i) f.push_back(static_cast<uint8_t>(0x30 + i));  // + the unused last byte
    EXPECT_EQ(load(f, "basic.lvt"), LoadResult::Tape);
    EXPECT_EQ(m->memory[0x1200], 0x30);
    EXPECT_EQ(m->memory[0x12BF], static_cast<uint8_t>(0x30 + 0xBF));
    EXPECT_EQ(m->memory[0x12C0], 0) << "the file's last byte is not loaded";
    EXPECT_EQ(m->memory[0x0245], 0xC0);
    EXPECT_EQ(m->memory[0x0246], 0x12);
    expect_warm_start_return();
    EXPECT_EQ(m->PC, 0x02FD);

    // 17 bytes and fewer hold no program: only the start, stored as the end.
    for (size_t size : {17u, 12u, 10u}) {
        m = test::reset_machine(roms);
        set_var(*m, 0x0243, 0x3456);
        Bytes small = tape_header(0x02);
        small.push_back(0x99);
        small.resize(size);
        EXPECT_EQ(load(small), LoadResult::Tape) << size;
        EXPECT_EQ(get_var(*m, 0x0245), 0x3456);
        EXPECT_EQ(m->memory[0x3456], 0);
        EXPECT_EQ(m->PC, 0x02FD);
    }
}

TEST_F(ImagesTest, TapesThatDoNotFitAreRefusedUntouched) {
    test::scramble(*m, 3);
    set_var(*m, 0x0243, 0xFFF0);
    const auto before = std::make_unique<MachineState>(*m);
    Bytes basic = tape_header(0x02);
    basic.insert(basic.end(), 0x12, 0x55);  // 17 program bytes and the unused last one: 16 would fit at FFF0
    EXPECT_THROW(load(basic), RangeError);
    EXPECT_THROW(load(binary_tape(0x8000, 0x80FF, 0x8000, 255)), RangeError);  // one byte short
    const Bytes no_run_address = binary_tape(0, 0, 0, 0);
    EXPECT_THROW(load(Bytes(no_run_address.begin(), no_run_address.begin() + 20)), RangeError);
    EXPECT_THROW(load(Bytes({'L', 'V', 'O', 'V', '/', '2', '.', '0', '/'})), RangeError);  // no type byte
    test::expect_unchanged(*before, *m);
    basic.pop_back();
    EXPECT_EQ(load(basic), LoadResult::Tape);
    EXPECT_EQ(m->memory[0xFFFF], 0x55);
    EXPECT_EQ(get_var(*m, 0x0245), 0x0000) << "the end wraps to 0000";
}

TEST_F(ImagesTest, DumpRestoresTheWholeState) {
    auto src = test::reset_machine(roms);
    test::scramble(*src, 11);
    src->memory[0xC000] = 0x12;
    Bytes f;
    test::append(f, "LVOV/DUMP");
    f.insert(f.end(), 8, 0x77);
    f.insert(f.end(), src->memory.begin(), src->memory.end());
    f.insert(f.end(), src->vram.begin(), src->vram.end());
    f.insert(f.end(), src->port_latches.begin(), src->port_latches.end());
    for (uint8_t r : {src->B, src->C, src->D, src->E, src->H, src->L, src->A, src->F}) f.push_back(r);
    test::append_word(f, src->SP);
    test::append_word(f, src->PC);
    ASSERT_EQ(f.size(), DUMP_SIZE);

    const auto before = std::make_unique<MachineState>(*m);
    EXPECT_THROW(load(Bytes(f.begin(), f.end() - 1), "short.sav"), RangeError);
    test::expect_unchanged(*before, *m);
    EXPECT_EQ(load(f, "whole.sav"), LoadResult::Dump);
    test::expect_same_state(*src, *m);
}

TEST_F(ImagesTest, OnlyTheFilesOwnBytesAreMatchedAgainstMagics) {
    const auto before = std::make_unique<MachineState>(*m);
    Bytes wrong = binary_tape(0x8000, 0x8000, 0x8000, 1);
    wrong[8] = '-';
    EXPECT_EQ(load(wrong), LoadResult::NotRecognised);
    // A full tape image, then a five-byte file: the bytes left in the buffer from the
    // first load do not complete the second one's magic.
    load(binary_tape(0x8000, 0x8000, 0x8000, 1));
    *m = *before;
    EXPECT_EQ(load(Bytes({'L', 'V', 'O', 'V', '/'})), LoadResult::NotRecognised);
    EXPECT_EQ(load(Bytes{}), LoadResult::NotRecognised);
    test::expect_unchanged(*before, *m);
}

}  // namespace
}  // namespace lvov
