// The files read at start: firmware images and the key map.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"
#include "storage/program_files.h"

namespace lvov {
namespace {

RomImage patterned_image(uint8_t seed) {
    RomImage img{};
    for (size_t i = 0; i < img.size(); ++i) img[i] = static_cast<uint8_t>(i * 7 + seed);
    return img;
}

class RomFiles : public ::testing::Test {
protected:
    std::filesystem::path dir;
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("lvov-rom-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "firmware");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream out(dir / "firmware" / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
};

TEST_F(RomFiles, MissingFilesLeaveOnlyTheBuiltInImage) {
    const RomImages roms = load_rom_images(dir);
    EXPECT_TRUE(roms.image1_builtin);
    ASSERT_TRUE(roms.image[0].has_value());
    EXPECT_EQ(*roms.image[0], builtin_firmware());
    EXPECT_FALSE(roms.image[1].has_value());
    EXPECT_FALSE(roms.image[2].has_value());
    EXPECT_TRUE(roms.problems.empty());
}

TEST_F(RomFiles, GoodFilesAreTakenAndWrongSizesRefusedByName) {
    const RomImage two = patterned_image(2);
    write("image1.rom", std::vector<uint8_t>(16383, 0x11));
    write("image2.rom", std::vector<uint8_t>(two.begin(), two.end()));
    write("image3.rom", std::vector<uint8_t>(16385, 0x33));
    const RomImages roms = load_rom_images(dir);
    EXPECT_TRUE(roms.image1_builtin);  // the refused image 1 falls back to the built-in one
    EXPECT_EQ(*roms.image[0], builtin_firmware());
    ASSERT_TRUE(roms.image[1].has_value());
    EXPECT_EQ(*roms.image[1], two);
    EXPECT_FALSE(roms.image[2].has_value());
    ASSERT_EQ(roms.problems.size(), 2u);
    EXPECT_NE(roms.problems[0].find("image1.rom"), std::string::npos);
    EXPECT_NE(roms.problems[0].find("16383"), std::string::npos);
    EXPECT_NE(roms.problems[1].find("image3.rom"), std::string::npos);
    EXPECT_NE(roms.problems[1].find("16385"), std::string::npos);

    const RomImage one = patterned_image(1);
    write("image1.rom", std::vector<uint8_t>(one.begin(), one.end()));
    const RomImages again = load_rom_images(dir);
    EXPECT_FALSE(again.image1_builtin);
    EXPECT_EQ(*again.image[0], one);
    auto mp = std::make_unique<MachineState>();
    ResetComp(*mp, again);
    EXPECT_EQ(identify_rom(*mp, again), 1);
    EXPECT_EQ(mp->memory[0xC000], one[0]);
}

class KeyMapFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("lvov-keymap-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void write(const std::vector<uint8_t>& bytes) {
        std::ofstream(dir / "NEVEmulator.key", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    // Word i: high byte i / 2 & 0x7F, low byte distinct per word, so order and halves show.
    static std::vector<uint8_t> pattern(size_t size) {
        std::vector<uint8_t> b(size, 0xEE);
        for (size_t i = 0; i < 512 && 2 * i + 1 < size; ++i) {
            b[2 * i] = static_cast<uint8_t>(i);
            b[2 * i + 1] = static_cast<uint8_t>(i >> 8 | 0x10);
        }
        return b;
    }
    void expect_io_error() {
        try {
            load_key_map(dir);
            FAIL() << "no IoError";
        } catch (const IoError& e) {
            EXPECT_NE(std::string(e.what()).find("NEVEmulator.key"), std::string::npos) << e.what();
        }
    }
    std::filesystem::path dir;
};

TEST_F(KeyMapFile, AbsentFileGivesDefaults) {
    const KeyTables t = load_key_map(dir);
    const KeyTables d = default_key_tables();
    EXPECT_EQ(t.latin, d.latin);
    EXPECT_EQ(t.cyrillic, d.cyrillic);
}

TEST_F(KeyMapFile, WordsAreLittleEndianLatinFirstAndExtraBytesIgnored) {
    for (size_t size : {size_t{1024}, size_t{1500}}) {
        write(pattern(size));
        const KeyTables t = load_key_map(dir);
        EXPECT_EQ(t.latin[0x00], 0x1000);
        EXPECT_EQ(t.latin[0x51], 0x1051);  // file replaces the default for Q too
        EXPECT_EQ(t.latin[0xFF], 0x10FF);
        EXPECT_EQ(t.cyrillic[0x00], 0x1100);
        EXPECT_EQ(t.cyrillic[0xFF], 0x11FF);
    }
}

TEST_F(KeyMapFile, ShortOrUnreadableFileThrowsIoErrorNamingIt) {
    write(pattern(1023));
    expect_io_error();
    write({});
    expect_io_error();
    std::filesystem::remove(dir / "NEVEmulator.key");
    std::filesystem::create_directory(dir / "NEVEmulator.key");
    expect_io_error();
}

}  // namespace
}  // namespace lvov
