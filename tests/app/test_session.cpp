// The session controller without a window: the command bracket, the autosave schedule,
// the pacing of the pause slot, key routing, rewind, stepping and breakpoints, frames due
// by elapsed time, and the inputs that pass one place, on a clock the test moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "app/session.h"
#include "devices/key_codes.h"
#include "storage/snapshot.h"
#include "storage_test_util.h"

namespace lvov::test {
namespace {

namespace fs = std::filesystem;

// A loop that counts at 9000 and calls a routine; it reads no keys.
//   8000 LXI SP,A000 / 8003 LDA 9000 / 8006 INR A / 8007 STA 9000 / 800A CALL 8010
//   800D JMP 8003 / 8010 RET
constexpr uint16_t LOOP = 0x8003, MARK = 0x8007, CALL = 0x800A, AFTER = 0x800D, SUB = 0x8010;
const Bytes PROGRAM = {0x31, 0x00, 0xA0, 0x3A, 0x00, 0x90, 0x3C, 0x32, 0x00,
                       0x90, 0xCD, 0x10, 0x80, 0xC3, 0x03, 0x80, 0xC9};

Bytes tape(uint16_t start, const Bytes& code, uint16_t run) {
    const uint16_t end = static_cast<uint16_t>(start + code.size() - 1);
    Bytes image = {'L', 'V', 'O', 'V', '/', '2', '.', '0', '/', 0xD0, 0, 0, 0, 0, 0, 0};
    for (const uint16_t word : {start, end, run}) {
        image.push_back(static_cast<uint8_t>(word));
        image.push_back(static_cast<uint8_t>(word >> 8));
    }
    image.insert(image.end(), code.begin(), code.end());
    return image;
}

bool held(const MachineState& m, int column, int row) { return (m.kbd_matrix[column] >> row) & 1; }

// What the session told its front end.
struct Events : SessionListener {
    std::vector<std::string> errors, infos, titles;
    std::vector<bool> pauses;
    std::vector<uint16_t> stops;
    std::vector<int> wakes;
    std::optional<SpeedSettings> asked;
    int frames = 0;

    void message(const SessionMessage& m) override {
        (m.kind == SessionMessage::Kind::Error ? errors : infos).push_back(m.text);
    }
    void pause_changed(bool paused) override { pauses.push_back(paused); }
    void stopped_at(uint16_t pc) override { stops.push_back(pc); }
    void title_changed(const std::string& title) override { titles.push_back(title); }
    void wake_after(int ms) override { wakes.push_back(ms); }
    void frame_done() override { ++frames; }
    std::optional<SpeedSettings> asked_speed() override { return asked; }
};

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override { session = started(dir); }
    std::unique_ptr<Session> started(const TempDir& folder) {
        auto s = std::make_unique<Session>(folder.path(), [this] { return now; });
        s->set_listener(&events);
        s->start_up(true);
        return s;
    }
    MachineState& machine() { return session->emu().machine; }
    void load_program() {
        write_file(dir / "loop.lvt", tape(0x8000, PROGRAM, 0x8000));
        session->drop_file((dir / "loop.lvt").string());
    }
    // The byte at address in the snapshot a slot file holds.
    uint8_t in_slot(const char* slot, uint16_t address) {
        ByteBufferBank bank;
        auto m = std::make_unique<MachineState>();
        if (LoadImageFile(bank, *m, (dir / slot).string()) != LoadResult::Snapshot) return 0xEE;
        return m->memory[address];
    }

    TempDir dir;
    int64_t now = 1'000'000;
    Events events;
    std::unique_ptr<Session> session;
};

// A command pauses, works and returns to the state it found; one that fails stops where
// it failed, paused, with one message. A reset whose slot cannot be written still resets.
TEST_F(SessionTest, CommandBracketReturnsToTheStateItFoundAndStopsWhereItFails) {
    ASSERT_TRUE(events.errors.empty());
    ASSERT_FALSE(session->paused());
    machine().memory[0x9000] = 7;
    session->quick_open();  // no quick save yet
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_NE(events.errors[0].find("QuickSave.NevLVE"), std::string::npos);
    EXPECT_TRUE(session->paused());
    EXPECT_EQ(machine().memory[0x9000], 7);

    session->quick_save();
    EXPECT_TRUE(session->paused());  // back to the pause it found
    session->pause(false);
    machine().memory[0x9000] = 8;
    events.pauses.clear();
    session->quick_open();
    EXPECT_EQ(machine().memory[0x9000], 7);
    EXPECT_EQ(events.pauses, (std::vector<bool>{true, false}));

    // The bracket does not nest: an inner pause overwrites the state remembered.
    session->pause(true);
    EXPECT_FALSE(session->paused_before());
    session->pause(true);
    session->restore_pause();
    EXPECT_TRUE(session->paused());
    session->toggle_pause();

    fs::create_directory(dir / "OnReset.NevLVE");
    session->reset_command(ResetKind::Full);
    ASSERT_EQ(events.errors.size(), 2u);
    EXPECT_NE(events.errors[1].find("OnReset.NevLVE"), std::string::npos);
    EXPECT_EQ(machine().memory[0x9000], 0);
    EXPECT_EQ(machine().PC, 0xC000);
    EXPECT_FALSE(session->paused());
}

// The quick-save slot is written after every minute of running, never while paused; a
// failing write is told once until a write works again.
TEST_F(SessionTest, AutosaveEveryMinuteOfRunningFailuresToldOnce) {
    const fs::path quick = dir / "QuickSave.NevLVE";
    now += AUTOSAVE_INTERVAL_MS - 1;
    session->frame_tick();
    EXPECT_FALSE(fs::exists(quick));
    now += 1;
    session->frame_tick();
    EXPECT_TRUE(fs::exists(quick));

    fs::remove(quick);
    session->pause(true);
    now += 5 * AUTOSAVE_INTERVAL_MS;
    session->frame_tick();
    session->autosave();
    session->pause(false);  // a fresh minute from here
    now += AUTOSAVE_INTERVAL_MS - 1;
    session->frame_tick();
    EXPECT_FALSE(fs::exists(quick));

    fs::create_directory(quick);
    for (int i = 0; i < 3; ++i) {
        now += AUTOSAVE_INTERVAL_MS;
        session->frame_tick();
    }
    EXPECT_EQ(events.errors.size(), 1u);
    EXPECT_FALSE(session->paused());
    fs::remove(quick);
    session->autosave();
    EXPECT_TRUE(fs::is_regular_file(quick));
    fs::remove(quick);
    fs::create_directory(quick);
    session->autosave();
    EXPECT_EQ(events.errors.size(), 2u);
}

// Presses 40 ms apart write the pause slot at most every 200 ms; the last press waits for
// a wake-up, and reaches the file before a pause. A slot that cannot be written is told
// once and never deadens the keys.
TEST_F(SessionTest, PauseSlotPacingAndItsFailures) {
    int writes = 0;
    int mark = -1;
    for (int n = 0; n < 25; ++n, now += 40) {
        machine().memory[0x9F00] = static_cast<uint8_t>(n);
        session->key_down('A');
        if (in_slot("onPause.NevLVE", 0x9F00) != mark) {
            ++writes;
            mark = in_slot("onPause.NevLVE", 0x9F00);
            EXPECT_EQ(mark, n);
        }
    }
    EXPECT_EQ(writes, 5);
    EXPECT_EQ(events.wakes, (std::vector<int>{160, 160, 160, 160, 160}));
    session->wake();
    EXPECT_EQ(in_slot("onPause.NevLVE", 0x9F00), 24);
    EXPECT_TRUE(held(machine(), 6, 4));

    // A kept press reaches the file when Delete pauses.
    now += 1000;
    machine().memory[0x9F00] = 30;
    session->key_down('A');
    now += 50;
    machine().memory[0x9F00] = 31;
    session->key_down('A');
    session->key_down(VK_DELETE);
    EXPECT_TRUE(session->paused());
    EXPECT_EQ(in_slot("onPause.NevLVE", 0x9F00), 31);
    EXPECT_FALSE(held(machine(), 6, 4));  // the pause released the key
    session->pause(false);

    fs::remove(dir / "onPause.NevLVE");
    fs::create_directory(dir / "onPause.NevLVE");
    session->key_down('A');
    ASSERT_EQ(events.errors.size(), 1u);  // told, and that key stops there
    EXPECT_FALSE(held(machine(), 6, 4));
    now += 1000;
    session->key_down('S');  // later failures are silent, keys go through
    EXPECT_EQ(events.errors.size(), 1u);
    EXPECT_TRUE(held(machine(), 7, 7));
    session->pause_command();  // told, and paused all the same
    EXPECT_EQ(events.errors.size(), 2u);
    EXPECT_TRUE(session->paused());
}

// Delete and Pause toggle the pause; while paused keys reach nothing and write nothing,
// and digits load the recent snapshots.
TEST_F(SessionTest, KeysWhilePausedReachNothingButDigitsLoadRecentSnapshots) {
    const fs::path pause_slot = dir / "onPause.NevLVE";
    machine().memory[0x9000] = 1;
    session->quick_save();  // recent 9: its dated copy; recent 0: the pause slot
    session->key_down('A');
    ASSERT_TRUE(held(machine(), 6, 4));
    machine().memory[0x9000] = 2;
    session->pause_command();
    EXPECT_TRUE(session->paused());
    EXPECT_EQ(in_slot("onPause.NevLVE", 0x9000), 2);  // written on the way into the pause
    EXPECT_FALSE(held(machine(), 6, 4));  // and every key released
    machine().memory[0x9000] = 3;
    session->key_down(VK_0 + 9);
    EXPECT_EQ(machine().memory[0x9000], 1);
    session->key_down(VK_0);
    EXPECT_EQ(machine().memory[0x9000], 2);

    fs::remove(pause_slot);
    session->key_down('A');
    session->key_down(VK_0 + 5);  // no snapshot: swallowed
    EXPECT_FALSE(held(machine(), 6, 4));
    EXPECT_FALSE(fs::exists(pause_slot));
    EXPECT_EQ(machine().memory[0x9000], 2);
    const fs::path gone = session->view().snapshot_slots.recent_snapshots[9];
    fs::remove(gone);
    session->key_down(VK_0 + 9);
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_NE(events.errors[0].find(gone.filename().string()), std::string::npos);
    EXPECT_EQ(machine().memory[0x9000], 2);
    EXPECT_TRUE(session->paused());

    // Resuming by the command writes nothing; the Pause key resumes, and then the key
    // itself, reaching a running machine, writes the slot; Delete pauses before writing.
    session->pause_command();
    EXPECT_FALSE(session->paused());
    EXPECT_FALSE(fs::exists(pause_slot));
    EXPECT_EQ(events.titles.back(), window_title());
    session->pause(true);
    session->key_down(VK_PAUSE);
    EXPECT_FALSE(session->paused());
    EXPECT_TRUE(fs::exists(pause_slot));
    fs::remove(pause_slot);
    session->key_down(VK_DELETE);
    EXPECT_TRUE(session->paused());
    EXPECT_FALSE(fs::exists(pause_slot));
}

// Rewind walks one second at a time through the states of the running machine, writing
// no file; resuming goes on from the state shown.
TEST_F(SessionTest, RewindWalksThePastAndResumesFromIt) {
    load_program();
    std::map<int, std::vector<uint8_t>> at;
    const auto state = [this] {
        std::vector<uint8_t> s(REWIND_STATE_SIZE);
        RewindHistory::pack(machine(), s.data());
        return s;
    };
    for (int frame = 1; frame <= 120; ++frame) {
        session->frame_tick();
        if (frame == 20 || frame == 21 || frame == 70 || frame == 120) at[frame] = state();
    }
    session->rewind_forward();  // running: nothing
    EXPECT_FALSE(session->paused());
    session->rewind_back();  // pauses, without the pause slot
    EXPECT_TRUE(session->paused());
    EXPECT_FALSE(fs::exists(dir / "onPause.NevLVE"));
    EXPECT_EQ(state(), at[70]);
    session->rewind_forward();
    EXPECT_EQ(state(), at[120]);
    session->rewind_back();
    session->rewind_back();
    EXPECT_EQ(state(), at[20]);
    // While paused the arrow keys walk the same way, and reach no key of the machine.
    session->key_down(VK_RIGHT);
    EXPECT_EQ(state(), at[70]);
    session->key_down(VK_LEFT);
    EXPECT_EQ(state(), at[20]);
    session->pause(false);
    session->frame_tick();
    EXPECT_EQ(state(), at[21]);
}

// A breakpoint stops the frame where it is and pauses as the Pause command does; the
// steps stop where they say; Continue starts a fresh frame.
TEST_F(SessionTest, BreakpointsAndSteps) {
    load_program();
    session->emu().exec.add(BreakKind::Exec, MARK, MARK);
    session->frame_tick();
    ASSERT_TRUE(session->paused());
    EXPECT_EQ(machine().PC, MARK);
    EXPECT_LT(machine().cycles, session->view().cycles_per_frame);
    EXPECT_EQ(events.stops, (std::vector<uint16_t>{MARK}));
    ASSERT_TRUE(fs::exists(dir / "onPause.NevLVE"));

    const uint8_t rounds = machine().memory[0x9000];
    session->step();
    EXPECT_TRUE(session->paused());
    EXPECT_EQ(machine().PC, CALL);
    EXPECT_EQ(machine().memory[0x9000], static_cast<uint8_t>(rounds + 1));
    EXPECT_EQ(machine().cycles, 13);
    session->step_over();  // the CALL: runs on until it has returned
    EXPECT_FALSE(session->paused());
    session->frame_tick();
    EXPECT_EQ(machine().PC, AFTER);
    session->emu().exec.set_enabled(1, false);
    session->run_to(SUB);
    session->frame_tick();
    EXPECT_EQ(machine().PC, SUB);
    session->step_out();
    session->frame_tick();
    EXPECT_EQ(machine().PC, AFTER);
    session->emu().exec.set_enabled(1, true);
    session->continue_run();
    session->frame_tick();
    EXPECT_EQ(machine().PC, MARK);  // before its instruction: the round run to SUB stored, this one in A only
    EXPECT_EQ(machine().memory[0x9000], static_cast<uint8_t>(rounds + 2));
    EXPECT_EQ(machine().A, static_cast<uint8_t>(rounds + 3));
    EXPECT_EQ(int64_t{machine().cycles}, session->view().exec.cycles_since_stop());

    session->emu().exec.remove_all();
    session->continue_run();
    session->frame_tick();
    EXPECT_FALSE(session->paused());
    session->break_run();
    EXPECT_TRUE(session->paused());
    EXPECT_EQ(session->view().exec.last_stop(), StopKind::Break);
    EXPECT_EQ(events.stops.back(), machine().PC);
    EXPECT_TRUE(events.errors.empty());
}

// run_due runs the frames the elapsed time asks for at the frame rate in effect, and
// after a stall only a few.
TEST_F(SessionTest, FramesDueByElapsedTime) {
    const auto frames = [this] { return session->position().frame; };
    EXPECT_EQ(session->run_due(now), 0);
    EXPECT_EQ(session->run_due(now += 30), 1);
    EXPECT_EQ(session->run_due(now += 10), 1);  // 40 ms: two frames in all
    EXPECT_EQ(session->run_due(now += 5000), MAX_DUE_FRAMES);
    EXPECT_EQ(session->run_due(now += 19), 0);  // the stall is not made up for
    EXPECT_EQ(frames(), uint64_t(2 + MAX_DUE_FRAMES));
    events.asked = SpeedSettings{10, 1000};
    session->apply_speed_settings();
    EXPECT_EQ(session->run_due(now += 99), 1);  // the 19 ms before, then a frame every 100 ms
    session->pause(true);
    EXPECT_EQ(session->run_due(now += 1000), 0);
    session->pause(false);
    EXPECT_EQ(session->run_due(now += 1000), 0);  // a resume starts the count afresh
    EXPECT_EQ(session->run_due(now += 100), 1);
}

// Every input passes apply(): the inputs seen with their positions and the frames with
// their cycles are enough for another session, started alike, to end in the same state,
// file contents, game and breakpoint stop included, with no file and no breakpoint of
// its own.
TEST_F(SessionTest, InputsSeenAtTheirPositionsReplayTheSessionExactly) {
    fs::create_directories(dir / "GAMES");
    std::ofstream(dir / "GAMES" / "index.ini") << "Loop=loop.lvt\n";
    write_file(dir / "GAMES" / "loop.lvt", tape(0x8000, PROGRAM, 0x8000));
    write_file(dir / "poke.lvt", tape(0x9100, {0x11, 0x22}, LOOP));  // data; the loop goes on
    TempDir elsewhere;
    session = started(dir);
    auto replay = started(elsewhere);

    std::vector<RecordedInput> inputs;
    std::vector<FrameRun> frames;
    session->on_input = [&](const InputPosition& at, const Input& in) { inputs.push_back({at, in}); };
    session->on_frame = [&](const FrameRun& run) { frames.push_back(run); };

    session->key_down('A');
    session->frame_tick();
    session->key_up('A');
    events.asked = SpeedSettings{25, 30000};
    session->apply_speed_settings();
    session->choose_game(0);
    session->frame_tick();
    session->drop_file((dir / "poke.lvt").string());
    session->emu().exec.add(BreakKind::Exec, MARK, MARK);
    session->frame_tick();  // stops at the breakpoint, part of the way into the frame
    session->step();
    session->poke(0x9200, 0x1AB);
    session->emu().exec.remove_all();
    session->continue_run();
    session->frame_tick();
    session->rewind_back();
    session->reset_command(ResetKind::Quick);
    session->pause(false);
    session->frame_tick();
    ASSERT_TRUE(events.errors.empty());
    EXPECT_EQ(machine().memory[0x9200], 0);  // the reset cleared it

    const auto kinds_seen = [&](InputKind kind) {
        return std::count_if(inputs.begin(), inputs.end(),
                             [&](const RecordedInput& r) { return r.input.kind == kind; });
    };
    for (const InputKind kind : {InputKind::KeyDown, InputKind::KeyUp, InputKind::Speed, InputKind::ChooseGame,
                                 InputKind::LoadFile, InputKind::Pause, InputKind::Resume, InputKind::Step,
                                 InputKind::Poke, InputKind::Continue, InputKind::RewindBack, InputKind::Reset}) {
        EXPECT_GT(kinds_seen(kind), 0) << static_cast<int>(kind);
    }
    const auto file = std::find_if(inputs.begin(), inputs.end(),
                                   [](const RecordedInput& r) { return r.input.kind == InputKind::LoadFile; });
    EXPECT_EQ(file->input.bytes, read_file(dir / "poke.lvt"));
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_TRUE(frames[2].stopped);
    EXPECT_LT(frames[2].cycles, frames[2].budget);
    EXPECT_EQ(frames[2].budget, 30000);

    // The replay: the inputs before each frame, then the frame with the cycles it ran.
    size_t next = 0;
    for (const FrameRun& run : frames) {
        for (; next < inputs.size() && inputs[next].at.frame <= run.frame; ++next) replay->apply(inputs[next].input);
        replay->run_frame(run.stopped ? run.cycles : run.budget);
    }
    for (; next < inputs.size(); ++next) replay->apply(inputs[next].input);
    const MachineState& a = machine();
    const MachineState& b = replay->machine();
    EXPECT_TRUE(a.memory == b.memory && a.vram == b.vram && a.port_latches == b.port_latches);
    EXPECT_TRUE(a.PC == b.PC && a.SP == b.SP && a.A == b.A && a.F == b.F && a.cycles == b.cycles);
    EXPECT_EQ(a.kbd_matrix, b.kbd_matrix);
    EXPECT_EQ(session->view().games.current_title, replay->view().games.current_title);
    EXPECT_EQ(session->applied_speed().cycles_per_frame, replay->applied_speed().cycles_per_frame);
}

// A session recorded from the middle of its run (a key held, a game, a file, a
// breakpoint stop, a step, a patch, a rewind, a speed change, a key held at the end) into
// a file, and played from it by a session elsewhere, whose key map maps no key, through
// frame_tick as the window's timer plays it: the same final state, and it says so.
TEST_F(SessionTest, ARecordingReplaysElsewhereThroughTheFrameTickToTheRecordedState) {
    fs::create_directories(dir / "GAMES");
    std::ofstream(dir / "GAMES" / "index.ini") << "Loop=loop.lvt\n";
    write_file(dir / "GAMES" / "loop.lvt", tape(0x8000, PROGRAM, 0x8000));
    write_file(dir / "poke.lvt", tape(0x9100, {0x11, 0x22}, LOOP));
    session = started(dir);
    session->key_down('A');
    session->frame_tick();
    const std::string file = (dir / "run.NevLVR").string();
    session->start_recording(file);
    ASSERT_TRUE(session->recording());

    session->frame_tick();
    session->key_up('A');
    session->choose_game(0);
    session->drop_file((dir / "poke.lvt").string());
    session->emu().exec.add(BreakKind::Exec, MARK, MARK);
    session->frame_tick();  // stops at the breakpoint, part of the way into the frame
    session->step();
    session->poke(0x9200, 0x1AB);
    session->emu().exec.remove_all();
    session->continue_run();
    for (int i = 0; i < 12; ++i) session->frame_tick();
    session->rewind_back();
    session->pause(false);
    events.asked = SpeedSettings{25, 30000};
    session->apply_speed_settings();
    session->frame_tick();
    session->key_down('B');
    session->frame_tick();
    session->stop_recording();
    ASSERT_TRUE(events.errors.empty()) << events.errors[0];
    EXPECT_FALSE(session->recording());
    const uint64_t recorded = state_hash(machine());

    TempDir elsewhere;
    write_file(elsewhere / "NEVEmulator.key", Bytes(1024, 0xFF));  // no key mapped
    Events seen;
    auto replay = std::make_unique<Session>(elsewhere.path(), [this] { return now; });
    replay->set_listener(&seen);
    replay->start_up(false);
    seen.errors.clear();
    replay->start_replay(file);
    ASSERT_TRUE(replay->replaying());
    for (int tick = 0; tick < 100 && replay->replaying(); ++tick) replay->frame_tick();
    ASSERT_TRUE(replay->replay_outcome().has_value());
    EXPECT_TRUE(replay->replay_outcome()->matched);
    EXPECT_EQ(hash_text(state_hash(replay->machine())), hash_text(recorded));
    EXPECT_NE(replay->machine().kbd_matrix, (std::array<uint8_t, 8>{})) << "B held through the recorded key map";
    ASSERT_EQ(seen.infos.size(), 1u);
    EXPECT_NE(seen.infos[0].find("ended in the recorded state"), std::string::npos) << seen.infos[0];
    EXPECT_TRUE(seen.errors.empty());
}

// While a replay plays it alone gives inputs: keys are ignored, commands refused, and
// Esc stops it; a replay that ends elsewhere says so; a recording that cannot be read
// changes nothing; a recording that cannot be written goes on until it can be.
TEST_F(SessionTest, AReplayOwnsTheInputsAndEveryFailureIsToldWithNothingLost) {
    load_program();
    const std::string file = (dir / "later" / "run.NevLVR").string();
    session->start_recording(file);
    session->frame_tick();
    session->poke(0x9300, 0x42);
    session->frame_tick();
    session->stop_recording();  // its folder does not exist yet
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_NE(events.errors[0].find("run.NevLVR"), std::string::npos) << events.errors[0];
    EXPECT_TRUE(session->recording());
    fs::create_directories(dir / "later");
    session->frame_tick();
    session->stop_recording();
    EXPECT_FALSE(session->recording());
    Recording recording = load_recording(file);
    EXPECT_EQ(recording.end.frame, 3u) << "the frame run after the failed write is in it";

    // Keys, commands and recording while it plays; Esc ends it where it is.
    events.errors.clear();
    session->start_replay(recording, "run");
    const auto before = std::make_unique<MachineState>(machine());
    session->key_down('C');
    session->reset_command(ResetKind::Full);
    session->start_recording((dir / "other.NevLVR").string());
    EXPECT_EQ(events.errors.size(), 2u);
    for (const std::string& e : events.errors) EXPECT_NE(e.find("being replayed"), std::string::npos) << e;
    EXPECT_EQ(state_hash(machine()), state_hash(*before));
    EXPECT_FALSE(session->recording());
    session->frame_tick();
    session->key_down(VK_ESCAPE);
    EXPECT_FALSE(session->replaying());
    EXPECT_FALSE(session->replay_outcome().has_value());

    // A final state that is not the recorded one.
    events.errors.clear();
    recording.final_hash ^= 1;
    session->start_replay(recording, "run");
    for (int tick = 0; tick < 10 && session->replaying(); ++tick) session->frame_tick();
    ASSERT_TRUE(session->replay_outcome().has_value());
    EXPECT_FALSE(session->replay_outcome()->matched);
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_NE(events.errors[0].find("another state"), std::string::npos) << events.errors[0];

    // A file cut short: refused by name, the machine as it was.
    Bytes cut = read_file(file);
    cut.resize(cut.size() - 1);
    write_file(dir / "cut.NevLVR", cut);
    events.errors.clear();
    const uint64_t hash = state_hash(machine());
    session->start_replay((dir / "cut.NevLVR").string());
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_NE(events.errors[0].find("cut.NevLVR"), std::string::npos);
    EXPECT_FALSE(session->replaying());
    EXPECT_EQ(state_hash(machine()), hash);
}

}  // namespace
}  // namespace lvov::test
