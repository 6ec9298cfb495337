// The session: one controller that owns what a running emulator decides, free of any
// window.
//
// A Session owns the Emulator (the machine and everything it is made of) and decides
// running or paused, the command bracket, what a frame tick does, the autosave schedule,
// the pacing of the pause slot, the keys, rewind, the execution commands of the debugger,
// and the files, slots and games. A front end (the main window, the headless run, a page
// in a browser) turns its events into calls of the Session and shows what the Session
// tells it through one SessionListener.
//
// Commands run inside the pause bracket (a command pauses, works and returns to the
// state it found; the bracket does not nest) and with their errors caught at their edge:
// an error ends the command where it was thrown and goes to the listener as one message,
// and the machine is left as the failing step left it (paused, for a command).
//
// Every input that changes what the machine does (a key, a speed, a reset, a file, a
// game, a rewind, a pause, a patch, a step) is built as an Input and taken through
// apply(), the one place where inputs reach the machine. on_input sees each one taken,
// with the position at which it took effect; on_frame sees each frame run, with the
// cycles it actually ran; together they let a recording replay the session exactly.
//
// Recording and replay ride on the same two places: a recording under way keeps every
// input apply() takes and every frame run_frame() runs, from the state it started in; a
// replay puts a recording's start in place and then frame_tick plays its inputs and
// frames instead of the user's (keys are ignored, Esc ends it, any other input is refused
// with a message) and, at its end, compares the state reached with the recorded one.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/emulator.h"
#include "app/pause_slot_throttle.h"
#include "storage/input.h"
#include "storage/recording.h"

namespace lvov {

// The title of the main window, in UTF-8, with the program's version. The letter after
// "NEV " is the Cyrillic е, as the machine's makers wrote it.
std::string window_title();

// Monotonic milliseconds: the clock of the autosave, the pause-slot pacing and run_due.
using MonotonicClock = std::function<int64_t()>;
int64_t steady_ms();

// Frames run_due runs at most in one call: after a stall the machine does not race to
// catch up. Six (120 ms at 50 frames a second) leaves room for a front end that wakes
// every 100 ms while nothing moves on the screen, and for its timer's lateness.
constexpr int MAX_DUE_FRAMES = 6;

struct SessionMessage {
    enum class Kind { Error, Information };
    Kind kind = Kind::Error;
    std::string caption;  // "" for the program's own caption
    std::string text;
};

struct SpeedSettings {
    int fps = DEFAULT_FPS;
    int32_t cycles_per_frame = DEFAULT_CYCLES_PER_FRAME;
};

// One frame run: its number (frames completed before it), the budget it was given and
// the cycles it ran (fewer when a breakpoint or a step stopped it).
struct FrameRun {
    uint64_t frame = 0;
    int32_t budget = 0;
    int32_t cycles = 0;
    bool stopped = false;
};

// How a replay ended: in the recorded state or not, after how many frames.
struct ReplayOutcome {
    bool matched = false;
    uint64_t recorded_hash = 0;
    uint64_t reached_hash = 0;
    uint64_t frames = 0;
    size_t inputs = 0;
};

// What the front end shows. Every call tells what has just happened; none may call back
// into a command of the session.
class SessionListener {
public:
    virtual ~SessionListener() = default;
    virtual void picture_changed() {}
    // A frame has run (the debugger follows the machine).
    virtual void frame_done() {}
    virtual void pause_changed(bool /*paused*/) {}
    // The machine stopped at a breakpoint, after a step, or by Break.
    virtual void stopped_at(uint16_t /*pc*/) {}
    // The machine's state was replaced without running (rewind).
    virtual void state_replaced() {}
    virtual void message(const SessionMessage& /*message*/) {}
    virtual void title_changed(const std::string& /*title*/) {}
    // The game the machine runs (window-1251), or the placeholder.
    virtual void game_changed(const std::string& /*title_cp1251*/) {}
    // The games catalogue has been read.
    virtual void games_listed() {}
    virtual void speed_changed(const SpeedSettings& /*applied*/) {}
    // ReOpen has a file to open again.
    virtual void reopen_changed(bool /*available*/) {}
    // The speed the front end's settings ask for, read when they are applied: when the
    // user locks a field, at a reset, a game chosen and the start-up.
    virtual std::optional<SpeedSettings> asked_speed() { return std::nullopt; }
    // wake() is due in ms milliseconds: a kept pause-slot write waits for it.
    virtual void wake_after(int /*ms*/) {}
    // A recording started or ended (File > Record Input... / Stop Recording).
    virtual void recording_changed(bool /*recording*/) {}
    // A replay started or ended: while it plays, frame_tick runs even while paused.
    virtual void replay_changed(bool /*playing*/) {}
};

class Session {
public:
    explicit Session(const DataDirs& dirs, MonotonicClock clock = steady_ms, Clock local_clock = local_now);
    explicit Session(const std::filesystem::path& program_dir, MonotonicClock clock = steady_ms,
                     Clock local_clock = local_now);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The listener (nullptr: none); it must outlive the session or be unset first.
    void set_listener(SessionListener* listener);

    // The emulator, for reading. Front ends never write the machine: they give commands.
    const Emulator& view() const { return emu_; }
    const MachineState& machine() const { return emu_.machine; }
    // The emulator itself, for the headless run and for tests that set a machine up.
    Emulator& emu() { return emu_; }

    bool paused() const { return paused_; }
    bool paused_before() const { return paused_before_; }
    SpeedSettings applied_speed() const { return {applied_fps_, emu_.cycles_per_frame}; }
    // A key press's state waits for its pause-slot write.
    bool pause_slot_pending() const { return pause_slot_.pending(); }

    // ---- Inputs
    // Takes one input: the only place where inputs reach the machine. Throws (RangeError
    // for a frame rate below 1, an error naming a file that does not load) and changes
    // nothing when an input cannot be taken.
    void apply(const Input& input);
    // Where the session is: frames run (run_frame counts them) and cycles run by steps
    // since the last frame.
    InputPosition position() const { return {frames_, cycles_into_frame_}; }
    std::function<void(const InputPosition&, const Input&)> on_input;
    std::function<void(const FrameRun&)> on_frame;

    // ---- Time
    // One frame of the running machine (the front end's frame timer): the frame, then a
    // stop at a breakpoint pauses as the Pause command does, and the autosave when due.
    // Nothing while paused.
    void frame_tick();
    // For a front end whose clock is no frame timer: runs the frames due since the last
    // call at the frame rate in effect, at most MAX_DUE_FRAMES, by frame_tick. Returns the
    // frames run; the first call only starts the count.
    int run_due(int64_t now_ms);
    // One frame of budget cycles, nothing else: the headless run and a replay.
    bool run_frame(int32_t budget);
    // A kept pause-slot write whose time has come (see SessionListener::wake_after).
    void wake();

    // ---- Commands of the front end
    // The start-up sequence; file_follows: a file is loaded right after it, so the
    // firmware is started under it.
    void start_up(bool file_follows);
    // Runs work as a command: inside the pause bracket, its errors reported.
    void command(const std::function<void()>& work);
    // Runs work with its errors reported (no bracket).
    void guarded(const std::function<void()>& work);

    // The pause state, plainly (no slot is written).
    void pause(bool value);
    void toggle_pause() { pause(!paused_); }
    void restore_pause() { pause(paused_before_); }
    // The Pause command: into the pause the pause slot is written first (a failure is
    // reported, and the machine pauses all the same).
    void pause_command();

    // A host key by virtual-key code. Delete and Pause toggle the pause; while running
    // every press writes the pause slot (paced) and reaches the machine; while paused a
    // digit loads the recent snapshot of that number, Left and Right rewind one second
    // back and forward, and other keys do nothing.
    void key_down(uint8_t vk);
    void key_up(uint8_t vk);

    // Open: ask gives the file chosen ("" = cancelled); the file then is ReOpen's.
    void open(const std::function<std::string()>& ask);
    void reopen();
    void quick_open();
    void quick_save();
    // Save...: ask gives the path ("" = cancelled).
    void save_as(const std::function<std::string()>& ask);
    // Full or quick reset, the reset slot written first.
    void reset_command(ResetKind kind);
    // A game of the catalogue by index: reset, boot, load, the reset slot written first.
    void choose_game(int index);
    // A file dropped on the window (or given on the command line): loaded as it is, the
    // machine running on; the title shows its name.
    void drop_file(const std::string& path_utf8);
    // The autosave: the quick-save slot while running. A failing write is reported once,
    // not every minute, until a write works again. frame_tick calls it every
    // AUTOSAVE_INTERVAL_MS of running.
    void autosave();
    // The front end closes: a recording under way is written, a kept key press reaches
    // the pause slot, then the close slot.
    void close();
    // The front end may go away without another word (a page being hidden may be
    // discarded): the session is kept as close() keeps it, but a recording goes on.
    void keep_session();
    // The speed the front end asks for (SessionListener::asked_speed) takes effect; a
    // frame rate below 1 is reported and changes nothing.
    void apply_speed_settings();
    // The picture drawn again whole.
    void repaint();

    // ---- Execution control (the debugger) and rewind
    void continue_run();
    void break_run();
    void step();
    void step_over();
    void step_out();
    void run_to(uint16_t address);
    // One second back or forward through the recent past (back pauses a running machine,
    // without the pause slot; forward only while paused).
    void rewind_back();
    void rewind_forward();
    // The debugger's patch: the low 8 bits of value at address, raw (an address outside
    // 0000-FFFF throws RangeError and writes nothing).
    void poke(int64_t address, int32_t value);

    // ---- Recording and replay
    // Records from the state now into path_utf8 (written when the recording stops; the
    // rewind history starts afresh, as the replay's will). Refused while a replay plays.
    void start_recording(const std::string& path_utf8);
    bool recording() const { return recorder_ != nullptr; }
    // The recording so far, ending here (RangeError when none is under way).
    Recording recording_so_far() const;
    // Writes the recording and ends it. A file that cannot be written is reported and
    // the recording goes on, so nothing recorded is lost.
    void stop_recording();

    // Reads a recording and plays it (a file that cannot be read or is no recording is
    // reported, and nothing changes); name stands for it in messages.
    void start_replay(const std::string& path_utf8);
    void start_replay(Recording recording, const std::string& name);
    bool replaying() const { return replayer_ != nullptr; }
    // The replay's next frame: the inputs due, then the frame. At the end the state
    // reached is compared with the recorded one and the outcome told (a message), and
    // false returned.
    bool replay_step();
    // Ends a replay where it is (Esc).
    void stop_replay();
    // How the last replay ended; none while one plays or after one was stopped.
    const std::optional<ReplayOutcome>& replay_outcome() const { return replay_outcome_; }

private:
    SessionListener& listener() { return *listener_; }
    void report_error(const std::string& text);
    void take(const Input& input);
    void set_paused(bool value);
    void after_reset();
    void paint();
    void load(const Input& input);
    void write_key_press_slot(const MachineState& m);
    void rest_pause_slot();
    void stopped();
    void step_once();
    void resume_commanded();
    void open_recent(int digit);
    void finish_replay();

    Emulator emu_;
    MonotonicClock clock_;
    SessionListener quiet_;  // stands in while no listener is set
    SessionListener* listener_ = &quiet_;
    PauseSlotThrottle pause_slot_;
    bool paused_ = false;
    bool paused_before_ = false;
    bool commanded_ = false;  // a debugger command resumes the machine
    bool autosave_failed_ = false;
    bool pause_slot_failed_ = false;
    int applied_fps_ = DEFAULT_FPS;
    int64_t autosave_due_ = 0;
    std::optional<int64_t> due_since_;  // run_due's last call
    int64_t due_us_ = 0;  // time run_due owes frames, in microseconds
    uint64_t frames_ = 0;
    uint32_t cycles_into_frame_ = 0;

    std::unique_ptr<Recorder> recorder_;
    std::string record_path_;
    std::unique_ptr<Replayer> replayer_;
    std::string replay_name_;
    bool replay_input_ = false;  // the input being taken comes from the replay
    std::optional<ReplayOutcome> replay_outcome_;
};

}  // namespace lvov
