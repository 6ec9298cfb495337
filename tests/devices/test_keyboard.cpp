// Key tables, the matrix updates and the key-map layout.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/errors.h"
#include "core/ports.h"
#include "devices/keyboard.h"

namespace lvov {
namespace {

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        init_RAM(*m);
        m->port_latches.fill(0xFF);
    }
    void set_cyrillic(bool on) { m->memory[FIRMWARE_KBD_MODE] = on ? 0x80 : 0x7F; }
    bool main_held(int c, int r) const { return m->kbd_matrix[c] & (1 << r); }
    void key(uint8_t vk, bool pressed) { kbd(*m, readmask(*m, tables, vk), pressed); }

    std::unique_ptr<MachineState> m = std::make_unique<MachineState>();
    KeyTables tables = default_key_tables();
};

TEST_F(Keyboard, DefaultTablesHoldTheListedEntries) {
    int latin = 0, cyrillic = 0, shared = 0;
    for (int vk = 0; vk < 256; ++vk) {
        latin += tables.latin[vk] != NO_KEY;
        cyrillic += tables.cyrillic[vk] != NO_KEY;
        shared += tables.latin[vk] != NO_KEY && tables.latin[vk] == tables.cyrillic[vk];
    }
    EXPECT_EQ(latin, 76);
    EXPECT_EQ(cyrillic, 76);
    EXPECT_EQ(shared, 41);
    // Main positions: 3/3 reached by neither table, 3/5 only by the Cyrillic one, 6/1
    // only by the Latin one.
    auto reaches = [](const std::array<KeyCode, 256>& t, KeyCode code) {
        return std::find(t.begin(), t.end(), code) != t.end();
    };
    EXPECT_FALSE(reaches(tables.latin, 0x33FF) || reaches(tables.cyrillic, 0x33FF));
    EXPECT_TRUE(reaches(tables.cyrillic, 0x35FF) && !reaches(tables.latin, 0x35FF));
    EXPECT_TRUE(reaches(tables.latin, 0x61FF) && !reaches(tables.cyrillic, 0x61FF));
    // Russian layout: host A (Ф) takes the Latin F, host Q (Й) the Latin J.
    EXPECT_EQ(tables.cyrillic['A'], tables.latin['F']);
    EXPECT_EQ(tables.cyrillic['Q'], tables.latin['J']);
    EXPECT_EQ(tables.latin[0x2E], NO_KEY);  // Delete
    EXPECT_EQ(tables.latin[0x13], NO_KEY);  // Pause
}

TEST_F(Keyboard, ModeByteChoosesTheTableAtEveryCall) {
    set_cyrillic(false);
    EXPECT_EQ(readmask(*m, tables, 'Q'), 0x71FF);
    set_cyrillic(true);
    EXPECT_EQ(readmask(*m, tables, 'Q'), 0x52FF);
    // With video memory switched in, BE1D is still RAM.
    m->port_latches[LATCH_SYSTEM_CONTROL] = 0x00;
    m->vram.fill(0x00);
    EXPECT_EQ(readmask(*m, tables, 'Q'), 0x52FF);
    set_cyrillic(false);
    EXPECT_EQ(readmask(*m, tables, 'Q'), 0x71FF);
}

TEST_F(Keyboard, HeldKeysAreIndependent) {
    set_cyrillic(false);
    key('A', true);  // main 6/4
    key('S', true);  // main 7/7
    key('A', false);
    EXPECT_FALSE(main_held(6, 4));
    EXPECT_TRUE(main_held(7, 7));
    m->port_latches[LATCH_KBD_COLUMNS] = static_cast<uint8_t>(~0x80);  // select column 7
    EXPECT_EQ(do_input(*m, 0xD1), 0x7F);
}

TEST_F(Keyboard, CodesPressBothValidHalvesAndIgnoreInvalidOnes) {
    kbd(*m, 0x3312, true);  // main 3/3 and extra 1/2 together
    EXPECT_EQ(m->kbd_matrix[3], 0x08);
    EXPECT_EQ(m->kbd_extra[1], 0x04);
    kbd(*m, 0x3312, false);
    EXPECT_EQ(m->kbd_matrix[3], 0x00);
    EXPECT_EQ(m->kbd_extra[1], 0x00);

    // Invalid halves: main column 8, main row 8, extra column 4, extra row 8.
    for (KeyCode bad : {KeyCode{0x88FF}, KeyCode{0x38FF}, KeyCode{0xFF48}, KeyCode{0xFF18}, NO_KEY}) kbd(*m, bad, true);
    EXPECT_EQ(m->kbd_matrix, (std::array<uint8_t, 8>{}));
    EXPECT_EQ(m->kbd_extra, (std::array<uint8_t, 4>{}));
    kbd(*m, 0x8812, true);  // main half invalid, extra 1/2 still pressed
    EXPECT_EQ(m->kbd_matrix, (std::array<uint8_t, 8>{}));
    EXPECT_EQ(m->kbd_extra[1], 0x04);

    // Extra row 5 is stored but port D2 shows only rows 0-3.
    kbd(*m, 0xFF05, true);
    EXPECT_EQ(m->kbd_extra[0], 0x20);
    m->port_latches[LATCH_KBD_EXTRA] = 0xFE;  // extra column 0 selected
    EXPECT_EQ(do_input(*m, 0xD2), 0xFE);
}

TEST_F(Keyboard, KeyReleasedThroughTheOtherTableStaysHeld) {
    set_cyrillic(false);
    key('Q', true);  // main 7/1
    set_cyrillic(true);
    key('Q', false);  // the bare table lookup releases main 5/2 instead
    EXPECT_TRUE(main_held(7, 1));
    key('Z', false);  // the Cyrillic Z is main 7/1
    EXPECT_FALSE(main_held(7, 1));
}

// Host keys remember the code they went down with: a table switch while they are held
// moves neither their repeats nor their release.
TEST_F(Keyboard, HostKeysAreReleasedWhereTheyWerePressed) {
    HeldKeys held;
    set_cyrillic(false);
    press_host_key(*m, tables, held, 'Q');  // main 7/1
    set_cyrillic(true);
    press_host_key(*m, tables, held, 'Q');  // an auto-repeat: still 7/1, not the Cyrillic 5/2
    EXPECT_TRUE(main_held(7, 1));
    EXPECT_FALSE(main_held(5, 2));
    release_host_key(*m, held, 'Z');  // never went down: the Cyrillic Z (also 7/1) releases nothing
    EXPECT_TRUE(main_held(7, 1));
    release_host_key(*m, held, 'Q');
    EXPECT_EQ(m->kbd_matrix, (std::array<uint8_t, 8>{}));

    // Latin A and Cyrillic F are both main 6/4: it stays held until both are up.
    set_cyrillic(false);
    press_host_key(*m, tables, held, 'A');
    set_cyrillic(true);
    press_host_key(*m, tables, held, 'F');
    press_host_key(*m, tables, held, 0x26);  // Up, extra 3/1
    release_host_key(*m, held, 'A');
    EXPECT_TRUE(main_held(6, 4));
    release_host_key(*m, held, 'F');
    release_host_key(*m, held, 0x26);
    EXPECT_EQ(m->kbd_matrix, (std::array<uint8_t, 8>{}));
    EXPECT_EQ(m->kbd_extra, (std::array<uint8_t, 4>{}));
    // A key that goes down again after its release reads the table anew.
    press_host_key(*m, tables, held, 'Q');
    EXPECT_TRUE(main_held(5, 2));
}

TEST_F(Keyboard, ReleaseAllClearsBothMatricesWhateverPressedThem) {
    HeldKeys held;
    set_cyrillic(false);
    for (uint8_t vk : {uint8_t{0x11}, uint8_t{'A'}, uint8_t{0x22}, uint8_t{'1'}}) press_host_key(*m, tables, held, vk);
    kbd(*m, 0x3315, true);  // main 3/3 and extra row 5: no table entry reaches them
    set_cyrillic(true);
    release_all_keys(*m, held);
    EXPECT_EQ(m->kbd_matrix, (std::array<uint8_t, 8>{}));
    EXPECT_EQ(m->kbd_extra, (std::array<uint8_t, 4>{}));
    // Nothing is remembered as held: a later key-up releases nothing another key pressed.
    press_host_key(*m, tables, held, 0xC0);  // ` is main 6/0 in both tables
    release_host_key(*m, held, 'A');
    EXPECT_TRUE(main_held(6, 0));
}

TEST(KeyMapBytes, TooFewBytesAreRefusedNotReadPast) {
    EXPECT_THROW(key_tables_from_bytes(std::vector<uint8_t>(KEY_MAP_FILE_SIZE - 1, 0x12)), RangeError);
    EXPECT_EQ(key_tables_from_bytes(std::vector<uint8_t>(KEY_MAP_FILE_SIZE, 0x12)).cyrillic[0xFF], 0x1212);
}

}  // namespace
}  // namespace lvov
