// Input recordings: the file round trip, the refusal of anything that is not a whole
// recording of a version this program reads, the state hash, and the recorder and
// replayer's bookkeeping of positions.
#include <cstring>
#include <memory>

#include "core/errors.h"
#include "storage/recording.h"
#include "storage/snapshot.h"
#include "storage_test_util.h"

namespace lvov {
namespace {

using test::Bytes;

Input input(InputKind kind, uint8_t code = 0, int32_t value = 0, std::string name = {}, Bytes bytes = {}) {
    Input in;
    in.kind = kind;
    in.code = code;
    in.value = value;
    in.value2 = -value;
    in.name = std::move(name);
    in.bytes = std::move(bytes);
    return in;
}

// A recording whose every field differs from its default, the machine's included.
std::unique_ptr<Recording> sample_recording() {
    auto r = std::make_unique<Recording>();
    RecordingStart& s = r->start;
    ResetComp(s.machine, builtin_rom_images());
    test::scramble(s.machine, 7);
    s.machine.memory[0xC123] ^= 0xFF;  // firmware that is no known image
    s.machine.cycles = -12345;
    s.machine.kbd_matrix = {1, 2, 4, 8, 16, 32, 64, 128};
    s.machine.kbd_extra = {3, 5, 9, 17};
    s.machine.warm_sp = 0x1111, s.machine.warm_pc = 0x2222;
    s.machine.basic_start_ptr = 0x3333, s.machine.basic_end_ptr = 0x4444;
    s.fps = 37;
    s.cycles_per_frame = 100000;
    s.paused = true;
    for (size_t i = 0; i < s.key_tables.size(); ++i) s.key_tables[i] = static_cast<uint16_t>(i * 97 + 5);
    for (size_t i = 0; i < s.firmware.size(); ++i) s.firmware[i] = static_cast<uint8_t>(i * 13);
    s.held_keys[0x41] = 0x1234;
    s.held_keys[0xFF] = 0x00FF;
    r->inputs = {
        {{0, 0}, input(InputKind::KeyDown, 0x41)},
        {{0, 0}, input(InputKind::Speed, 0, 25)},
        {{3, 0}, input(InputKind::LoadFile, 0, 0, "игра.sav", Bytes{0x00, 0x01, 0xFF})},
        {{3, 17}, input(InputKind::Step)},
        {{3, 40}, input(InputKind::ChooseGame, 0, 0, "Title", Bytes(70000, 0xAB))},
        {{9, 0}, input(InputKind::Poke, 0x5A, 0xBEEF, "", {})},
    };
    r->budgets = {{0, 100000}, {5, 1234}, {6, -3}};
    r->end = {12, 0};
    r->final_hash = 0x0123456789ABCDEF;
    return r;
}

class RecordingTest : public ::testing::Test {
protected:
    ByteBufferBank bank;
    test::TempDir dir;
    std::string path(const std::string& name) { return (dir / name).string(); }
    Bytes encoded(const Recording& r) { return encode_recording(bank, r); }

    // The file's checksum made to match its contents again, so the damage done to it
    // reaches the checks behind the checksum.
    static void reseal(Bytes& file) {
        const uint64_t sum = fnv1a(std::span<const uint8_t>(file).first(file.size() - 8));
        for (int i = 0; i < 8; ++i) file[file.size() - 8 + i] = static_cast<uint8_t>(sum >> (8 * i));
    }
    // The text of the RangeError decoding file throws; fails when it throws none.
    std::string refusal(const Bytes& file) {
        try {
            decode_recording(file, "taken.NevLVR");
        } catch (const RangeError& e) {
            return e.what();
        }
        ADD_FAILURE() << "the file was read";
        return "";
    }
};

TEST_F(RecordingTest, WhatIsWrittenIsReadBackWholeThroughAFile) {
    const auto original = sample_recording();
    save_recording(bank, *original, path("run.NevLVR"));
    const Bytes file = test::read_file(path("run.NevLVR"));
    EXPECT_EQ(file, encoded(*original)) << "no extension added, the bytes as encoded";
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 10), (Bytes{'N', 'e', 'v', 'L', 'V', 'R', 'e', 'c', 1, 0}));

    const auto back = std::make_unique<Recording>(load_recording(path("run.NevLVR")));
    const MachineState& a = original->start.machine;
    const MachineState& b = back->start.machine;
    EXPECT_EQ(state_hash(a), state_hash(b)) << "every field of the machine";
    EXPECT_EQ(back->start.fps, 37);
    EXPECT_EQ(back->start.cycles_per_frame, 100000);
    EXPECT_TRUE(back->start.paused);
    EXPECT_EQ(back->start.key_tables, original->start.key_tables);
    EXPECT_EQ(back->start.firmware, original->start.firmware);
    EXPECT_EQ(back->start.held_keys, original->start.held_keys);
    EXPECT_EQ(back->inputs, original->inputs);
    EXPECT_EQ(back->budgets, original->budgets);
    EXPECT_EQ(back->end, original->end);
    EXPECT_EQ(back->final_hash, original->final_hash);
    EXPECT_EQ(encoded(*back), file) << "written again: the same bytes";

    // The smallest recording: no input, nothing held.
    auto empty = std::make_unique<Recording>();
    init_RAM(empty->start.machine);
    empty->start.fps = 1;
    const auto empty_back = std::make_unique<Recording>(decode_recording(encoded(*empty), "e"));
    EXPECT_TRUE(empty_back->inputs.empty());
    EXPECT_EQ(state_hash(empty_back->start.machine), state_hash(empty->start.machine));
}

TEST_F(RecordingTest, TheStateHashIsFnv1aOfTheListedFieldsLittleEndian) {
    // The published FNV-1a 64 vectors.
    EXPECT_EQ(fnv1a({}), 0xCBF29CE484222325u);
    const uint8_t a[] = {'a'};
    EXPECT_EQ(fnv1a(a), 0xAF63DC4C8601EC8Cu);
    const uint8_t foobar[] = {'f', 'o', 'o', 'b', 'a', 'r'};
    EXPECT_EQ(fnv1a(foobar), 0x85944171F73967E8u);

    // The canonical bytes laid out by hand: a front end that follows the list gets the same.
    auto m = std::make_unique<MachineState>();
    init_RAM(*m);
    test::scramble(*m, 3);
    m->cycles = -2;
    m->kbd_matrix[7] = 0x80;
    m->kbd_extra[0] = 0x01;
    m->warm_sp = 0xA1B2, m->warm_pc = 0xC3D4, m->basic_start_ptr = 0x0102, m->basic_end_ptr = 0xFFFE;
    Bytes canonical = {m->B, m->C, m->D, m->E, m->H, m->L, m->A, m->F};
    test::put_words(canonical, {m->SP, m->PC, 0xFFFE, 0xFFFF});
    canonical.insert(canonical.end(), m->memory.begin(), m->memory.end());
    canonical.insert(canonical.end(), m->vram.begin(), m->vram.end());
    canonical.insert(canonical.end(), m->port_latches.begin(), m->port_latches.end());
    canonical.insert(canonical.end(), m->kbd_matrix.begin(), m->kbd_matrix.end());
    canonical.insert(canonical.end(), m->kbd_extra.begin(), m->kbd_extra.end());
    test::put_words(canonical, {0xA1B2, 0xC3D4, 0x0102, 0xFFFE});
    EXPECT_EQ(state_hash(*m), fnv1a(canonical));
    EXPECT_EQ(hash_text(0x00AB00CD12345678), "00AB00CD12345678");
}

TEST_F(RecordingTest, AnythingButAWholeRecordingOfAKnownVersionIsRefusedByName) {
    const Bytes good = encoded(*sample_recording());

    // Not a recording at all: nothing, a snapshot, text.
    EXPECT_NE(refusal({}).find("is not an input recording"), std::string::npos);
    EncodeSnapshot(bank, sample_recording()->start.machine, RomImages{});
    EXPECT_NE(refusal(Bytes(bank.data(1), bank.data(1) + bank.cursor(1))).find("is not an input recording"),
              std::string::npos);

    // Newer: refused as such whatever follows; version 0 never existed.
    Bytes newer = good;
    newer[8] = 2;
    EXPECT_NE(refusal(newer).find("newer version"), std::string::npos) << refusal(newer);
    newer.resize(12);
    EXPECT_NE(refusal(newer).find("newer version"), std::string::npos);
    Bytes zero = good;
    zero[8] = 0;
    EXPECT_NE(refusal(zero).find("damaged"), std::string::npos);

    // Cut anywhere, or any byte changed: refused, naming the file.
    for (size_t size :
         {size_t(9), size_t(10), size_t(17), size_t(5000), good.size() / 2, good.size() - 8, good.size() - 1}) {
        const std::string text = refusal(Bytes(good.begin(), good.begin() + size));
        EXPECT_NE(text.find("\"taken.NevLVR\""), std::string::npos) << size << ": " << text;
        EXPECT_NE(text.find("nothing was changed"), std::string::npos) << text;
    }
    for (size_t at = 10; at < good.size(); at += 997) {
        Bytes flipped = good;
        flipped[at] ^= 0x10;
        EXPECT_NE(refusal(flipped).find("damaged"), std::string::npos) << at;
    }
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_NE(refusal(longer).find("damaged"), std::string::npos);
    EXPECT_THROW(load_recording(path("missing.NevLVR")), IoError);
    EXPECT_THROW(load_recording(dir.path().string()), IoError);
}

TEST_F(RecordingTest, DamageBehindAMatchingChecksumIsFoundToo) {
    // Offsets in the sample's file: the snapshot's length at 10, then the fields after it.
    const Bytes good = encoded(*sample_recording());
    const size_t snapshot_size = good[10] | (good[11] << 8) | (good[12] << 16);
    const size_t speed = 10 + 4 + snapshot_size + 4 + 12 + 8;
    const size_t held = speed + 8 + 1 + 1024 + 16384;
    const size_t inputs = held + 2 + 3 * 2;
    const size_t first_input = inputs + 4;
    const auto damaged = [this](Bytes file, size_t at, std::initializer_list<uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<ptrdiff_t>(at));
        reseal(file);
        return refusal(file);
    };
    ASSERT_EQ(good[held], 2) << "the layout this test assumes";
    ASSERT_EQ(good[first_input + 12], uint8_t(InputKind::KeyDown));

    EXPECT_NE(damaged(good, 10, {0xFF, 0xFF, 0xFF, 0x7F}).find("reaches past the file's end"), std::string::npos);
    EXPECT_NE(damaged(good, 14, {'X'}).find("starting state"), std::string::npos) << "the snapshot's magic";
    EXPECT_NE(damaged(good, 10 + 4 + snapshot_size - 1, {0x00}).find("starting state"), std::string::npos)
        << "the snapshot's last byte a zero run that runs past its end";
    EXPECT_NE(damaged(good, speed, {0, 0, 0, 0}).find("frame rate 0"), std::string::npos);
    EXPECT_NE(damaged(good, speed + 8, {2}).find("pause state"), std::string::npos);
    EXPECT_NE(damaged(good, held, {0x01, 0x01}).find("held"), std::string::npos);
    EXPECT_NE(damaged(good, held + 2, {0xFF}).find("ascending"), std::string::npos);
    EXPECT_NE(damaged(good, inputs, {0xFF, 0xFF, 0xFF, 0xFF}).find("cannot fit"), std::string::npos);
    EXPECT_NE(damaged(good, first_input + 12, {0}).find("unknown kind 0"), std::string::npos);
    EXPECT_NE(damaged(good, first_input + 12, {200}).find("unknown kind 200"), std::string::npos);
    EXPECT_NE(damaged(good, first_input, {0x01}).find("before the one ahead"), std::string::npos)
        << "the first input moved to frame 1, after the second";
    // Behind the last input's 70,000 bytes: three frame budgets, then the end at frame 12.
    const size_t end = good.size() - 8 - 8 - 4 - 8;
    const size_t budgets = end - 3 * 12;
    ASSERT_EQ(good[end], 12);
    ASSERT_EQ(good[budgets + 12], 5);
    EXPECT_NE(damaged(good, budgets, {1}).find("frame order"), std::string::npos);
    EXPECT_NE(damaged(good, budgets + 12, {7}).find("frame order"), std::string::npos) << "5 after 6";
    EXPECT_NE(damaged(good, budgets + 24, {12}).find("budget lies past its end"), std::string::npos);
    EXPECT_NE(damaged(good, budgets - 4, {0xFF, 0xFF}).find("cannot fit"), std::string::npos);
    EXPECT_NE(damaged(good, end, {0x08}).find("last input lies past its end"), std::string::npos);
}

TEST_F(RecordingTest, TheRecorderCountsFromItsStartAndTheReplayerHandsOutInputsAndBudgetsInTurn) {
    // Recording starts at the session's frame 100, 7 cycles of steps into it.
    auto start = std::make_unique<RecordingStart>();
    init_RAM(start->machine);
    Recorder recorder(*start, {100, 7});
    recorder.input({100, 7}, input(InputKind::Step));
    recorder.input({100, 30}, input(InputKind::Continue));
    EXPECT_THROW(recorder.input({100, 29}, input(InputKind::Pause)), RangeError) << "back in time";
    EXPECT_THROW(recorder.input({101, 0}, input(InputKind::Pause)), RangeError) << "a frame not run";
    EXPECT_THROW(recorder.input({99, 0}, input(InputKind::Pause)), RangeError) << "before the start";
    recorder.frame_done(68000);
    recorder.frame_done(1234);  // stopped early
    recorder.input({102, 0}, input(InputKind::KeyDown, 1));
    recorder.frame_done(68000);
    recorder.frame_done(68000);
    EXPECT_THROW(recorder.finish(start->machine, {103, 0}), RangeError) << "an end short of the frames run";
    auto final = std::make_unique<MachineState>(start->machine);
    final->A = 1;
    const auto recording = std::make_unique<Recording>(recorder.finish(*final, {104, 0}));
    const std::vector<InputPosition> where = {{0, 0}, {0, 23}, {2, 0}};
    ASSERT_EQ(recording->inputs.size(), where.size());
    for (size_t i = 0; i < where.size(); ++i) EXPECT_EQ(recording->inputs[i].at, where[i]) << i;
    EXPECT_EQ(recording->budgets, (std::vector<FrameBudget>{{0, 68000}, {1, 1234}, {2, 68000}}));
    EXPECT_EQ(recording->end, (InputPosition{4, 0}));
    EXPECT_EQ(recorder.input_count(), 3u) << "finishing leaves the recorder recording";

    // Inputs before each frame, frames with their budgets, until the end.
    Replayer replay(*recording);
    std::vector<std::string> played;
    while (!replay.at_end()) {
        while (const Input* in = replay.take_due()) played.push_back("input " + std::to_string(int(in->kind)));
        if (replay.at_end()) break;
        played.push_back("frame " + std::to_string(replay.frame_budget()));
        replay.frame_done();
    }
    EXPECT_EQ(played, (std::vector<std::string>{"input 12", "input 16", "frame 68000", "frame 1234", "input 1",
                                                "frame 68000", "frame 68000"}));
    EXPECT_TRUE(replay.matches(*final));
    EXPECT_FALSE(replay.matches(start->machine));
}

}  // namespace
}  // namespace lvov
