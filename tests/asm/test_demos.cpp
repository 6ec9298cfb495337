// The demo programs, assembled from demos/ and run on the interpreter the way a tape
// load starts them.
#include <gtest/gtest.h>

#include <algorithm>

#include "asm/assembler.h"
#include "core/i8080.h"
#include "core/rom.h"

namespace lvov {
namespace {

constexpr int32_t FRAME = 68000;
constexpr uint16_t SENTINEL = 0xA000;  // "JMP $" that subroutine calls return to

// The 16 video bytes of text cell (col,row).
std::vector<uint8_t> cell_in(const std::array<uint8_t, VRAM_SIZE>& vram, int col, int row) {
    std::vector<uint8_t> out;
    for (int line = 0; line < 8; ++line)
        for (int k = 0; k < 2; ++k) out.push_back(vram[(row * 8 + line) * 64 + col * 2 + k]);
    return out;
}

struct Demo {
    AssembleResult program;
    MachineState m;

    explicit Demo(const std::string& name) {
        program = assemble_file(std::string(DEMOS_DIR) + "/" + name + ".asm");
        if (!program.ok()) return;
        ResetComp(m, builtin_rom_images());
        // As a tape load starts a machine-code program.
        warm_start(m);
        for (uint32_t a = program.lowest(); a <= program.highest(); ++a) m.memory[a] = program.memory[a];
        m.PC = static_cast<uint16_t>(*program.symbol("START"));
    }
    uint16_t sym(const char* name) const { return static_cast<uint16_t>(program.symbol(name).value_or(-1)); }
    uint8_t var(const char* name) const { return m.memory[sym(name)]; }

    // Runs frames; every frame must end with PC inside the program and SP in its stack.
    void frames(int n) {
        for (int i = 0; i < n; ++i) {
            i8080_do_opcodes(m, FRAME);
            ASSERT_GE(m.PC, program.lowest());
            ASSERT_LE(m.PC, program.highest());
            ASSERT_LE(m.SP, 0xB000);
            ASSERT_GT(m.SP, 0xAF00);
        }
    }
    size_t inked_bytes() const {
        return std::count_if(m.vram.begin(), m.vram.end(), [](uint8_t b) { return b != 0; });
    }
    std::vector<uint8_t> cell(int col, int row) const { return cell_in(m.vram, col, row); }
    // Calls a subroutine of the program and runs it to its return.
    void call(const char* routine) {
        m.memory[SENTINEL] = 0xC3;
        set_var(m, SENTINEL + 1, SENTINEL);
        m.SP -= 2;
        set_var(m, m.SP, SENTINEL);
        m.PC = sym(routine);
        for (int i = 0; i < 1000 && m.PC != SENTINEL; ++i) i8080_do_opcodes(m, 1);
        ASSERT_EQ(m.PC, SENTINEL) << routine << " did not return";
    }
};

TEST(Demos, AllAssembleAndDrawFromVideoMode) {
    for (const char* name : {"kbdtest", "palette", "snake"}) {
        Demo d(name);
        ASSERT_TRUE(d.program.ok()) << name << ": " << d.program.errors[0].text();
        EXPECT_GE(d.program.lowest(), 0x8000) << name;
        EXPECT_LT(d.program.highest(), 0x9000) << name;
        d.frames(100);
        EXPECT_EQ(d.m.port_latches[0xC2] & 0x02, 0) << name << " left video memory switched out";
        EXPECT_GT(d.inked_bytes(), 500u) << name;
    }
}

TEST(Demos, KeyboardTesterShowsHeldPositionsAndNamesTheLastKey) {
    Demo d("kbdtest");
    ASSERT_TRUE(d.program.ok());
    d.frames(30);
    const auto before = d.m.vram;
    const auto free_box = cell_in(before, 9, 4);  // main 3/0: text column 3 + 2*3, row 4
    d.m.kbd_matrix[3] = 0x01;
    d.frames(5);
    const auto held_box = d.cell(9, 4);
    EXPECT_NE(held_box, free_box);
    EXPECT_EQ(d.var("LAST_KIND"), 0);
    EXPECT_EQ(d.var("LAST_COL"), 3);
    EXPECT_EQ(d.var("LAST_ROW"), 0);

    d.m.kbd_matrix[3] = 0;
    d.m.kbd_extra[2] = 0x08;  // extra 2/3: text column 22 + 2*2, row 4 + 2*3
    d.frames(5);
    EXPECT_EQ(d.cell(9, 4), free_box);
    EXPECT_EQ(d.cell(26, 10), held_box);
    EXPECT_EQ(d.var("LAST_KIND"), 1);
    EXPECT_EQ(d.var("LAST_COL"), 2);
    EXPECT_EQ(d.var("LAST_ROW"), 3);

    // Released, the grids look as they did before any key.
    d.m.kbd_extra[2] = 0;
    d.frames(5);
    for (int row = 3; row < 20; ++row)
        for (int col = 0; col < 32; ++col) ASSERT_EQ(d.cell(col, row), cell_in(before, col, row)) << col << "," << row;
}

// The colour rule the palette explorer names colours by, written out independently:
// bit 0 red, bit 1 green, bit 2 blue.
int colour_of(int p, int v) {
    int r = (p >> 4) & 1, g = (p >> 5) & 1, b = (p >> 6) & 1;
    if (v == 0) {
        r ^= !(p & 8);
        b ^= !(p & 4);
    }
    if (v == 1) g ^= 1;
    if (v == 2) {
        b ^= 1;
        r ^= !(p & 1);
    }
    if (v == 3) {
        r ^= 1;
        g ^= !(p & 2);
    }
    return r | g << 1 | b << 2;
}

TEST(Demos, PaletteExplorerStepsThePortAndNamesEveryColour) {
    Demo d("palette");
    ASSERT_TRUE(d.program.ok());
    d.frames(30);
    EXPECT_EQ(d.m.port_latches[0xC1], 0x0F);
    auto tap = [&](int key) {
        d.m.kbd_extra[3] = static_cast<uint8_t>(key);
        d.frames(3);
        d.m.kbd_extra[3] = 0;
        d.frames(3);
    };
    tap(0x01);  // Right
    EXPECT_EQ(d.m.port_latches[0xC1], 0x10);
    tap(0x04);  // Left
    tap(0x04);
    EXPECT_EQ(d.m.port_latches[0xC1], 0x0E);
    tap(0x08);  // Down: 16 lower, wrapping
    EXPECT_EQ(d.m.port_latches[0xC1], 0xFE);
    EXPECT_EQ(d.var("VALUE"), 0xFE);
    d.m.kbd_extra[3] = 0x02;  // Up held: repeats
    d.frames(60);
    d.m.kbd_extra[3] = 0;
    EXPECT_GT(((d.m.port_latches[0xC1] - 0xFE) & 0xFF) / 16, 3);

    for (int p = 0; p < 256; ++p) {
        for (int v = 0; v < 4; ++v) {
            d.m.memory[d.sym("VALUE")] = static_cast<uint8_t>(p);
            d.m.C = static_cast<uint8_t>(v);
            d.call("RGBOF");
            ASSERT_EQ(d.m.A, colour_of(p, v)) << "palette " << p << " value " << v;
        }
    }
}

TEST(Demos, SnakeEatsScoresCrashesAndRestarts) {
    Demo d("snake");
    ASSERT_TRUE(d.program.ok());
    d.frames(20);
    EXPECT_EQ(d.var("STATE"), 0);
    d.m.kbd_matrix[3] = 0x01;  // Space
    d.frames(2);
    d.m.kbd_matrix[3] = 0;
    EXPECT_EQ(d.var("STATE"), 1);
    d.frames(10);  // the field is drawn

    // A greedy player: head for the ball, never straight back.
    const uint16_t grid = d.sym("GRID"), body_x = d.sym("BODY_X"), body_y = d.sym("BODY_Y");
    int frames = 0;
    while (d.var("SCORE_LO") < 0x05 && d.var("STATE") == 1 && frames++ < 3000) {
        const uint8_t head = d.var("HEAD");
        const int hx = d.m.memory[body_x + head], hy = d.m.memory[body_y + head];
        int fx = -1, fy = -1;
        for (int i = 0; i < 1024; ++i)
            if (d.m.memory[grid + i] == 3) fx = i % 32, fy = i / 32;
        ASSERT_GE(fx, 0) << "no ball on the field";
        int want = fx > hx ? 0 : fx < hx ? 2 : fy < hy ? 1 : 3;
        if (want == (d.var("DIR") ^ 2)) want ^= 1;  // turn aside instead of reversing
        d.m.kbd_extra[3] = static_cast<uint8_t>(1 << want);
        d.frames(1);
    }
    ASSERT_EQ(d.var("STATE"), 1) << "crashed after " << frames << " frames";
    EXPECT_EQ(d.var("SCORE_LO"), 0x05);
    d.frames(2);  // the new head is in place
    EXPECT_EQ((d.var("HEAD") - d.var("TAIL")) & 0xFF, 3 + 5 - 1) << "the snake grows by one cell per ball";

    // Steering into the top wall ends the game and keeps the best score.
    d.m.kbd_extra[3] = 0x02;
    for (int i = 0; i < 400 && d.var("STATE") == 1; ++i) d.frames(1);
    d.m.kbd_extra[3] = 0;
    EXPECT_EQ(d.var("STATE"), 2);
    EXPECT_EQ(d.var("BEST_LO"), 0x05);
    d.frames(5);  // the game-over text is up
    d.m.kbd_matrix[3] = 0x01;
    d.frames(2);
    d.m.kbd_matrix[3] = 0;
    EXPECT_EQ(d.var("STATE"), 1);
    d.frames(10);
    EXPECT_EQ(d.var("SCORE_LO"), 0);
    EXPECT_EQ(d.var("BEST_LO"), 0x05);
}

}  // namespace
}  // namespace lvov
