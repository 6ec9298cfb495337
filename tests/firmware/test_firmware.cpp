// The built-in firmware, run on the machine core without a window: start-up, the
// banner, keyboard decoding in both modes, the line editor, the monitor commands and
// the warm start. Keys are pressed the way the keyboard layer presses them, through
// the default host key tables; the screen is read back by matching every character
// cell against the firmware's own font.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "asm/assembler.h"
#include "core/i8080.h"
#include "core/rom.h"
#include "devices/key_codes.h"
#include "devices/keyboard.h"
#include "devices/typing.h"
#include "devices/video.h"

namespace lvov {
namespace {

constexpr int32_t FRAME_CYCLES = 68000;

// The firmware source assembled once: its symbols give the addresses of the font
// and of the variables the tests look at.
const AssembleResult& firmware_source() {
    static const AssembleResult result = assemble_file(std::filesystem::path(LVOV_FIRMWARE_DIR) / "main.asm");
    return result;
}

uint16_t sym(const char* name) {
    const auto value = firmware_source().symbol(name);
    if (!value) ADD_FAILURE() << "no symbol " << name;
    return static_cast<uint16_t>(value.value_or(0));
}

// The character code of glyph number i of the font table.
uint8_t glyph_code(int i) {
    if (i < 96) return static_cast<uint8_t>(0x20 + i);
    if (i < 128) return static_cast<uint8_t>(0xC0 + i - 96);
    return i == 128 ? 0xA8 : 0xB9;
}
constexpr int GLYPHS = 130;

class Firmware : public ::testing::Test {
protected:
    MachineState m;
    RomImages roms = builtin_rom_images();
    KeyTables keys = default_key_tables();

    void SetUp() override {
        ASSERT_TRUE(firmware_source().ok()) << firmware_source().errors.front().text();
        ResetComp(m, roms);
        i8080_do_opcodes(m, boot_cycles);
    }

    void frames(int n) {
        for (int i = 0; i < n; ++i) i8080_do_opcodes(m, FRAME_CYCLES);
    }

    // A host key event, as the main window's key handlers pass it on.
    void host_key(uint8_t vk, bool down) { kbd(m, readmask(m, keys, vk), down); }
    void tap(uint8_t vk) { press_chord({vk}); }
    // After Enter, the command may take several frames: waits (up to 4 s) until the
    // next prompt is ready for input.
    void press_chord(const std::vector<uint8_t>& vks) {
        for (uint8_t vk : vks) host_key(vk, true);
        frames(2);
        for (auto it = vks.rbegin(); it != vks.rend(); ++it) host_key(*it, false);
        frames(2);
        if (std::find(vks.begin(), vks.end(), VK_RETURN) == vks.end()) return;
        for (int i = 0; i < 200 && !(m.memory[sym("LINELEN")] == 0 && m.memory[sym("CURX")] == 2); ++i) frames(1);
    }
    void type(std::string_view text) {
        for (const KeyStroke& s : keystrokes_for_text(text)) press_chord(s.keys);
    }

    // Holds main-matrix position col/row (and Shift, main 7/0) for the given frames.
    void hold_position(int col, int row, int frame_count, bool shift = false) {
        m.kbd_matrix[col] |= static_cast<uint8_t>(1u << row);
        if (shift) m.kbd_matrix[7] |= 1;
        frames(frame_count);
        m.kbd_matrix[col] &= static_cast<uint8_t>(~(1u << row));
        if (shift) m.kbd_matrix[7] &= 0xFE;
        frames(2);
    }

    // The line being edited at the prompt, as the firmware holds it.
    std::string edit_buffer() const {
        const uint16_t buf = sym("LINEBUF");
        return std::string(reinterpret_cast<const char*>(&m.memory[buf]), m.memory[sym("LINELEN")]);
    }

    int cursor_line() const { return m.memory[sym("CURY")]; }

    // Pixel value of pixel x of row y.
    int pixel(int x, int y) const {
        const uint8_t b = m.vram[y * 64 + x / 4];
        const int k = x % 4;
        return ((b >> (7 - k)) & 1) | (((b >> (3 - k)) & 1) << 1);
    }

    // The code whose glyph the cell shows (any ink colour), '\x01' for none. Identical
    // Latin and Cyrillic glyphs read as Latin.
    char cell(int line, int col) const {
        if (m.memory[sym("CURON")] && line == cursor_line() && col == m.memory[sym("CURX")]) return ' ';
        std::array<uint8_t, 8> ink{};
        for (int r = 0; r < 8; ++r)
            for (int k = 0; k < 8; ++k)
                if (pixel(col * 8 + k, line * 8 + r) != 0) ink[r] |= static_cast<uint8_t>(0x80 >> k);
        const uint16_t font = sym("FONT");
        for (int i = 0; i < GLYPHS; ++i)
            if (std::equal(ink.begin(), ink.end(), m.memory.begin() + font + i * 8))
                return static_cast<char>(glyph_code(i));
        return '\x01';
    }

    std::string screen_line(int line) const {
        std::string s;
        for (int col = 0; col < 32; ++col) s += cell(line, col);
        return s.substr(0, s.find_last_not_of(' ') + 1);
    }

    // Index of the last screen line equal to text, -1 when none.
    int find_line(std::string_view text) const {
        for (int line = 31; line >= 0; --line)
            if (screen_line(line) == text) return line;
        return -1;
    }
};

TEST_F(Firmware, SourceAssemblesToTheEmbeddedImage) {
    const std::vector<uint8_t> image = fixed_image(firmware_source(), 0xC000, 16384);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), builtin_firmware().begin()));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), m.memory.begin() + 0xC000));
}

TEST_F(Firmware, StartUpLeavesWhatLoadedProgramsRelyOn) {
    EXPECT_EQ(get_var(m, 0x0243), 0x0300);
    EXPECT_EQ(get_var(m, 0x0245), 0x0300);
    EXPECT_EQ(m.memory[0x02FD], 0xC3);  // JMP into the ROM
    EXPECT_EQ(get_var(m, 0x02FE), sym("WBOOT"));
    EXPECT_GE(get_var(m, 0x02FE), 0xC000);
    EXPECT_EQ(m.memory[FIRMWARE_KBD_MODE], 0x00);
    // a readable palette: blue background (pixel value 0), white text (1), cyan title (3)
    const uint8_t palette = m.port_latches[0xC1];
    EXPECT_EQ(compute_color_index(palette, 0) & 0xFFFFFF, RGB_BLUE);
    EXPECT_EQ(compute_color_index(palette, 1) & 0xFFFFFF, RGB_RED | RGB_GREEN | RGB_BLUE);
    EXPECT_EQ(compute_color_index(palette, 3) & 0xFFFFFF, RGB_GREEN | RGB_BLUE);
    EXPECT_TRUE(m.ram_mode()) << "video memory must be switched out again";
    EXPECT_EQ(m.port_latches[0xD0], 0xFF);  // no keyboard column left selected
    EXPECT_GE(m.PC, 0xC000) << "the firmware waits for keys in its ROM";
    EXPECT_GE(m.SP, 0x8000);
    EXPECT_LT(m.SP, 0xC000);
}

TEST_F(Firmware, BannerInItsColoursThenThePrompt) {
    EXPECT_EQ(screen_line(0).substr(0, 10), "PK-01 LVOV");
    EXPECT_EQ(screen_line(1), "Built-in firmware, monitor 1.0");
    EXPECT_EQ(screen_line(2), "ROM images go in firmware/");
    EXPECT_EQ(screen_line(cursor_line()), ">");
    // every start-up line ends short of the right edge: the last character cell is blank
    for (int y = 0; y < cursor_line() * 8; ++y)
        for (int x = 248; x < 256; ++x) ASSERT_EQ(pixel(x, y), 0) << "text at the right edge, row " << y;
    EXPECT_EQ(m.memory[sym("CURX")], 2);
    // the title's ink is cyan (3), the rest white (1) on background 0
    int title = 0, text = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 256; ++x) {
            if (pixel(x, y) != 0) {
                ++title;
                EXPECT_EQ(pixel(x, y), 3);
            }
            if (pixel(x, y + 8) != 0) {
                ++text;
                EXPECT_EQ(pixel(x, y + 8), 1);
            }
        }
    EXPECT_GT(title, 100);
    EXPECT_GT(text, 100);
    // everything below the prompt is background
    for (int y = (cursor_line() + 1) * 8; y < 256; ++y)
        for (int x = 0; x < 256; x += 4) ASSERT_EQ(m.vram[y * 64 + x / 4], 0) << "row " << y;
}

TEST(FirmwareStart, ReadyWithinTheFirstSecondOfFrames) {
    MachineState m;
    const RomImages roms = builtin_rom_images();
    ResetComp(m, roms);
    for (int i = 0; i < 50; ++i) i8080_do_opcodes(m, FRAME_CYCLES);
    MachineState booted;
    ResetComp(booted, roms);
    i8080_do_opcodes(booted, boot_cycles);
    // the same screen text and the same prompt position as after the boot run
    const uint16_t cury = sym("CURY");
    EXPECT_EQ(m.memory[cury], booted.memory[cury]);
    for (int row = 0; row < m.memory[cury] * 8; ++row)
        for (int b = 0; b < 64; ++b) ASSERT_EQ(m.vram[row * 64 + b], booted.vram[row * 64 + b]) << "row " << row;
    EXPECT_EQ(m.memory[0x02FD], 0xC3);
}

TEST_F(Firmware, LatinModeGivesTheCharacterOnEveryHostKey) {
    // letters come out as capitals; shifted digits and punctuation as on a US keyboard
    const std::string_view chunks[] = {"abcdefghijklmnopqrstuvwxyz", "0123456789-=[]\\;',./`",
                                       "!@#$%^&*()_+{}|:\"<>?~ X"};
    for (std::string_view chunk : chunks) {
        type(chunk);
        std::string expected(chunk);
        for (char& c : expected) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(edit_buffer(), expected);
        EXPECT_EQ(screen_line(cursor_line()), "> " + expected);
        tap(VK_ESCAPE);
        EXPECT_EQ(edit_buffer(), "");
        EXPECT_EQ(screen_line(cursor_line()), ">");
    }
}

TEST_F(Firmware, CtrlTogglesCyrillicLettersOfTheRussianLayout) {
    tap(VK_CONTROL);
    EXPECT_EQ(m.memory[FIRMWARE_KBD_MODE] & 0x80, 0x80);
    // the host keys in ЙЦУКЕН order, with their Cyrillic legends in window-1251
    type("qwertyuiop[]asdfghjkl;'");
    EXPECT_EQ(edit_buffer(),
              "\xC9\xD6\xD3\xCA\xC5\xCD\xC3\xD8\xD9\xC7\xD5\xDA\xD4\xDB\xC2\xC0\xCF\xD0\xCE\xCB"
              "\xC4\xC6\xDD");
    EXPECT_EQ(cell(cursor_line(), 2), '\xC9');  // Й has a glyph of its own
    tap(VK_ESCAPE);
    type("zxcvbnm,.");
    EXPECT_EQ(edit_buffer(), "\xDF\xD7\xD1\xCC\xC8\xD2\xDC\xC1\xDE");
    tap(VK_ESCAPE);
    // digits and symbols follow the Russian layout too: Shift+2 ", Shift+3 numero,
    // the / key . and Shift+/ ,, the ` key YO
    const std::vector<uint8_t> chords[] = {
        {0x31}, {VK_SHIFT, 0x31}, {VK_SHIFT, 0x32}, {VK_SHIFT, 0x33}, {0xBF}, {VK_SHIFT, 0xBF}, {0xC0}, {0xBB}, {0xDC}};
    for (const auto& chord : chords) press_chord(chord);
    EXPECT_EQ(edit_buffer(), "1!\"\xB9.,\xA8=\\");
    tap(VK_ESCAPE);
    // Ctrl again: back to Latin, although the first Ctrl's position may still be held
    tap(VK_CONTROL);
    EXPECT_EQ(m.memory[FIRMWARE_KBD_MODE] & 0x80, 0);
    type("fq");
    EXPECT_EQ(edit_buffer(), "FQ");
    tap(VK_CONTROL);
    EXPECT_EQ(m.memory[FIRMWARE_KBD_MODE] & 0x80, 0x80);
    type("f");
    EXPECT_EQ(edit_buffer(), "FQ\xC0");
}

TEST_F(Firmware, MatrixPositionsDecodeByMode) {
    hold_position(6, 4, 3);  // host A
    hold_position(4, 7, 3);  // host 1
    hold_position(4, 7, 3, true);  // Shift+1
    m.memory[FIRMWARE_KBD_MODE] = 0x80;  // Cyrillic, set as a program would
    hold_position(6, 4, 3);  // host F in the Cyrillic table: А
    hold_position(6, 7, 3);  // host A in the Cyrillic table: Ф
    EXPECT_EQ(edit_buffer(), "A1!\xC0\xD4");
    EXPECT_EQ(screen_line(cursor_line()), "> A1!A\xD4");
    // the Left arrow (extra 3/2) and Backspace (main 2/3) both erase
    m.kbd_extra[3] |= 1 << 2;
    frames(2);
    m.kbd_extra[3] = 0;
    frames(2);
    hold_position(2, 3, 2);
    EXPECT_EQ(edit_buffer(), "A1!");
    EXPECT_EQ(screen_line(cursor_line()), "> A1!");
}

TEST_F(Firmware, KeysAreDebouncedAndRepeatWhenHeld) {
    // a bounce lasting a couple of polls (about 2 ms) does not count, 6 ms does
    m.kbd_matrix[4] |= 0x80;
    i8080_do_opcodes(m, 7000);
    m.kbd_matrix[4] = 0;
    frames(2);
    EXPECT_EQ(edit_buffer(), "");
    m.kbd_matrix[4] |= 0x80;
    i8080_do_opcodes(m, 20000);
    m.kbd_matrix[4] = 0;
    frames(2);
    EXPECT_EQ(edit_buffer(), "1");
    // a short press gives one character, one held for a second repeats
    hold_position(4, 7, 10);
    EXPECT_EQ(edit_buffer(), "11");
    hold_position(4, 6, 50);
    const std::string held = edit_buffer().substr(2);
    EXPECT_GE(held.size(), 5u);
    EXPECT_LE(held.size(), 20u);
    EXPECT_EQ(held, std::string(held.size(), '2'));
}

TEST_F(Firmware, MonitorWritesFillsAndDumpsMemory) {
    type("m 8000 41 42 43\n");
    EXPECT_EQ(m.memory[0x8000], 0x41);
    EXPECT_EQ(m.memory[0x8001], 0x42);
    EXPECT_EQ(m.memory[0x8002], 0x43);
    EXPECT_EQ(m.memory[0x8003], 0x00);
    type("F 8100 810F AA\n");
    for (int a = 0x8100; a <= 0x810F; ++a) ASSERT_EQ(m.memory[a], 0xAA) << std::hex << a;
    EXPECT_EQ(m.memory[0x80FF], 0x00);
    EXPECT_EQ(m.memory[0x8110], 0x00);
    type("D 8000 800F\n");
    const int first = find_line("8000 41424300 00000000 ABC.....");
    ASSERT_GE(first, 0) << screen_line(cursor_line() - 2);
    EXPECT_EQ(screen_line(first + 1), "8008 00000000 00000000 ........");
    EXPECT_EQ(screen_line(first + 2), ">");
    type("m 8001\n");
    EXPECT_NE(find_line("8001 42"), -1);
}

TEST_F(Firmware, BadCommandsChangeNothing) {
    m.memory[0x8000] = 0x11;
    const char* bad[] = {"M 8000 12 345\n", "M 8000 12 XY\n", "F 8100 80FF 00\n", "Q\n", "G\n", "D 8000 7000\n"};
    for (const char* line : bad) {
        type(line);
        EXPECT_EQ(screen_line(cursor_line() - 1), "? (H for help)") << line;
    }
    EXPECT_EQ(m.memory[0x8000], 0x11);
    EXPECT_EQ(m.memory[0x80FF], 0x00);
    type("h\n");
    EXPECT_NE(find_line("G addr          run; RET = back"), -1);
}

TEST_F(Firmware, GoRunsAProgramAndComesBackWithItsRegisters) {
    const uint8_t program[] = {0x3E, 0x5A,  // MVI A,5A
                               0xB7,  // ORA A: S, Z, AC clear, P set
                               0x01, 0x34, 0x12,  // LXI B,1234
                               0x11, 0xCD, 0xAB,  // LXI D,ABCD
                               0x21, 0x00, 0x90,  // LXI H,9000
                               0x37,  // STC
                               0xC9};  // RET
    std::copy(std::begin(program), std::end(program), m.memory.begin() + 0x9000);
    type("G 9000\n");
    const int regs = find_line("A=5A BC=1234 DE=ABCD HL=9000");
    ASSERT_GE(regs, 0);
    EXPECT_EQ(screen_line(regs + 1).substr(0, 2), "F=");
    EXPECT_EQ(screen_line(regs + 1).substr(2), "07 ---PC SP=BE00 PC=9000");
    EXPECT_EQ(screen_line(regs + 2), ">");
    // back at the prompt: the keyboard works and R shows the same registers
    type("r\n");
    EXPECT_EQ(screen_line(regs + 3), "A=5A BC=1234 DE=ABCD HL=9000");
    type("M 8000 77\n");
    EXPECT_EQ(m.memory[0x8000], 0x77);
}

TEST_F(Firmware, WarmStartReportsBasicAndReturnsToThePrompt) {
    // as the tape loader leaves a BASIC program: its end word moved, then the warm start
    set_var(m, 0x0245, 0x0320);
    warm_start(m);
    frames(10);
    EXPECT_NE(find_line("BASIC program at 0300-031F"), -1);
    EXPECT_NE(find_line("This firmware has no BASIC."), -1);
    EXPECT_EQ(screen_line(cursor_line()), ">");
    EXPECT_EQ(get_var(m, 0x0245), 0x0300);
    // a machine-code program that ends with RET comes back the same way
    m.memory[0x9000] = 0xC9;
    m.port_latches[0xC2] = 0xFF;
    m.SP = m.warm_sp;
    set_var(m, m.SP, m.warm_pc);
    m.PC = 0x9000;
    frames(10);
    EXPECT_NE(find_line("Program ended."), -1);
    type("M 8000 66\n");
    EXPECT_EQ(m.memory[0x8000], 0x66);
}

TEST_F(Firmware, ScreenScrollsAtTheBottom) {
    const int prompt = cursor_line();
    for (int i = prompt; i < 32; ++i) tap(VK_RETURN);  // one line past the bottom
    EXPECT_EQ(cursor_line(), 31);
    EXPECT_EQ(screen_line(0), "Built-in firmware, monitor 1.0");
    EXPECT_EQ(screen_line(30), ">");
    EXPECT_EQ(screen_line(31), ">");
    type("abc");
    tap(VK_BACK);
    EXPECT_EQ(screen_line(31), "> AB");
    tap(VK_ESCAPE);
    // a listing that runs past the bottom keeps its lines in order, then the prompt
    for (int i = 0; i < 0x40; ++i) m.memory[0x8000 + i] = static_cast<uint8_t>(0x41 + i % 26);
    type("d 8000 803f\n");
    const int first = find_line("8000 41424344 45464748 ABCDEFGH");
    ASSERT_GE(first, 0);
    const char* const starts[] = {"8000", "8008", "8010", "8018", "8020", "8028", "8030", "8038"};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(screen_line(first + i).substr(0, 4), starts[i]) << i;
    EXPECT_EQ(screen_line(first + 7), "8038 45464748 494A4B4C EFGHIJKL");
    EXPECT_EQ(cursor_line(), first + 8);
    EXPECT_EQ(screen_line(first + 8), ">");
    for (int line = first + 9; line < 32; ++line) EXPECT_EQ(screen_line(line), "") << line;
}

}  // namespace
}  // namespace lvov
