#include "app/session.h"

#include <chrono>

#include "core/errors.h"
#include "core/i8080.h"
#include "core/version.h"
#include "debugger/debugger_tools.h"
#include "devices/key_codes.h"
#include "host/files.h"

namespace lvov {

namespace {

Input input_of(InputKind kind, uint8_t code = 0, int32_t value = 0, int32_t value2 = 0) {
    Input input;
    input.kind = kind;
    input.code = code;
    input.value = value;
    input.value2 = value2;
    return input;
}

}  // namespace

std::string window_title() { return std::string("NEV \xD0\xB5mulator for PK-01 Lvov    ") + PROGRAM_VERSION; }

int64_t steady_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Session::Session(const std::filesystem::path& program_dir, MonotonicClock clock, Clock local_clock)
    : Session(DataDirs::beside(program_dir), std::move(clock), std::move(local_clock)) {}

Session::Session(const DataDirs& dirs, MonotonicClock clock, Clock local_clock)
    : emu_(dirs, std::move(local_clock)),
      clock_(std::move(clock)),
      pause_slot_([this](const MachineState& m) { write_key_press_slot(m); }, [this] { return clock_(); },
                  [this](int ms) { listener().wake_after(ms); }),
      autosave_due_(clock_() + AUTOSAVE_INTERVAL_MS) {}

Session::~Session() = default;

void Session::set_listener(SessionListener* listener) { listener_ = listener ? listener : &quiet_; }

void Session::report_error(const std::string& text) { listener().message({SessionMessage::Kind::Error, "", text}); }

void Session::guarded(const std::function<void()>& work) {
    lvov::guarded(work, [this](const std::string& text) { report_error(text); });
}

// A failing step leaves the machine paused: the user sees the message over the state the
// command stopped in.
void Session::command(const std::function<void()>& work) {
    guarded([&] {
        pause(true);
        work();
        restore_pause();
    });
}

void Session::paint() {
    if (emu_.paint()) listener().picture_changed();
}

void Session::repaint() {
    emu_.request_repaint();
    paint();
}

// ---------------------------------------------------------------------------------------
// Inputs

void Session::apply(const Input& input) {
    if (replayer_ && !replay_input_)
        throw RangeError(
            "A recording is being replayed: it alone gives the machine its inputs until it ends or Esc "
            "stops it.");
    const InputPosition at = position();
    take(input);
    if (recorder_) recorder_->input(at, input);
    if (on_input) on_input(at, input);
}

void Session::take(const Input& input) {
    MachineState& m = emu_.machine;
    switch (input.kind) {
    case InputKind::KeyDown: emu_.press_key(input.code); break;
    case InputKind::KeyUp: emu_.release_key(input.code); break;
    case InputKind::Speed:
        emu_.apply_speed(input.value, input.value2);  // throws before anything changes
        applied_fps_ = input.value;
        listener().speed_changed(applied_speed());
        break;
    case InputKind::Reset:
        emu_.reset(input.code != 0 ? ResetKind::Quick : ResetKind::Full);
        listener().game_changed(emu_.games.current_title);
        break;
    case InputKind::LoadFile:
    case InputKind::ChooseGame:
        emu_.load(input);
        listener().game_changed(emu_.games.current_title);
        paint();
        break;
    case InputKind::RewindBack:
    case InputKind::RewindForward: {
        const bool moved = input.kind == InputKind::RewindBack ? emu_.rewind.step_back(m) : emu_.rewind.step_forward(m);
        if (moved) {
            repaint();
            listener().state_replaced();
        }
        break;
    }
    case InputKind::Pause:
    case InputKind::Resume: set_paused(input.kind == InputKind::Pause); break;
    case InputKind::Poke: replace_byte(m, input.value, input.code); break;
    case InputKind::Step: step_once(); break;
    case InputKind::StepOver:
        emu_.exec.step_over(m);
        if (emu_.exec.instruction_limit >= 0) {  // not a call: a plain step
            step_once();
        } else {
            resume_commanded();
        }
        break;
    case InputKind::StepOut:
        emu_.exec.step_out(m);
        resume_commanded();
        break;
    case InputKind::RunTo:
        emu_.exec.run_to(static_cast<uint16_t>(input.value));
        resume_commanded();
        break;
    case InputKind::Continue:
        emu_.exec.continue_run();
        resume_commanded();
        break;
    case InputKind::Break: emu_.exec.note_break(m); break;
    }
}

// Pausing releases every key (the host's keys no longer reach the machine) and is a stop
// of the execution control; resuming goes on from the state shown, the later states of
// the rewind history dropped. A debugger command has said where breakpoints count;
// otherwise the first instruction passes a breakpoint the machine stopped at.
void Session::set_paused(bool value) {
    paused_before_ = paused_;
    paused_ = value;
    if (value) {
        emu_.release_all();
        emu_.exec.note_break(emu_.machine);
    } else {
        autosave_due_ = clock_() + AUTOSAVE_INTERVAL_MS;
        due_since_.reset();
        emu_.rewind.resume();
        if (!commanded_) emu_.exec.go_on(emu_.machine);
        emu_.stopped = false;
    }
    listener().pause_changed(value);
    if (!value) listener().title_changed(window_title());
    repaint();
}

void Session::resume_commanded() {
    if (!paused_) return;
    commanded_ = true;
    try {
        set_paused(false);
    } catch (...) {
        commanded_ = false;
        throw;
    }
    commanded_ = false;
}

// One instruction at once, while paused.
void Session::step_once() {
    emu_.exec.step();
    emu_.exec.run(emu_.machine, MAX_BUDGET);  // stops after the one instruction
    emu_.stopped = false;
    cycles_into_frame_ += static_cast<uint32_t>(emu_.machine.cycles);
    repaint();
    listener().stopped_at(emu_.machine.PC);
}

// ---------------------------------------------------------------------------------------
// Time

bool Session::run_frame(int32_t budget) {
    FrameRun run{frames_, budget, 0, false};
    const bool changed = emu_.run_frame(budget);
    run.cycles = emu_.machine.cycles;
    run.stopped = emu_.stopped;
    ++frames_;
    cycles_into_frame_ = 0;
    // A frame that stopped early is replayed with the cycles it ran: it ends where it
    // stopped, breakpoints or not.
    if (recorder_) recorder_->frame_done(run.stopped ? run.cycles : run.budget);
    if (on_frame) on_frame(run);
    if (changed) listener().picture_changed();
    listener().frame_done();
    return run.stopped;
}

void Session::frame_tick() {
    if (replayer_) {  // the replay runs its frames, paused or not
        guarded([&] { replay_step(); });
        return;
    }
    if (paused_) return;  // a tick queued before the pause began
    guarded([&] {
        if (run_frame(emu_.cycles_per_frame)) {
            stopped();
            return;
        }
        if (clock_() >= autosave_due_) {
            autosave_due_ = clock_() + AUTOSAVE_INTERVAL_MS;
            autosave();
        }
    });
}

// A stop at a breakpoint or of a step pauses as the Pause command does.
void Session::stopped() {
    if (!paused_) pause_command();
    listener().stopped_at(emu_.machine.PC);
}

int Session::run_due(int64_t now_ms) {
    const auto halted = [this] { return paused_ && !replayer_; };
    if (halted() || !due_since_ || now_ms < *due_since_) {
        due_since_ = now_ms;
        due_us_ = 0;
        return 0;
    }
    due_us_ += (now_ms - *due_since_) * 1000;
    due_since_ = now_ms;
    const int64_t frame_us = 1'000'000 / applied_fps_;
    int64_t frames = due_us_ / frame_us;
    if (frames > MAX_DUE_FRAMES) {
        frames = MAX_DUE_FRAMES;
        due_us_ = 0;  // a stall is not made up for
    } else {
        due_us_ -= frames * frame_us;
    }
    int ran = 0;
    for (; ran < frames && !halted(); ++ran) frame_tick();
    return ran;
}

void Session::wake() {
    guarded([&] { pause_slot_.flush(); });
}

void Session::autosave() {
    if (paused_) return;
    guarded([&] {
        try {
            emu_.autosave();
            autosave_failed_ = false;
        } catch (const EmuError&) {
            if (autosave_failed_) return;
            autosave_failed_ = true;
            throw;
        }
    });
}

// ---------------------------------------------------------------------------------------
// Start-up, pause, speed

// The emulator's start-up sequence, resuming the last session. Firmware problems are
// told first; a broken key map or games index, or a close file that cannot be restored,
// is reported once all is done, over the machine start-up made without it.
void Session::start_up(bool file_follows) {
    command([&] {
        const StartupReport report = emu_.start_up({.boot = file_follows});
        if (!report.firmware.empty()) {
            std::string lines;
            for (const std::string& p : report.firmware) lines += (lines.empty() ? "" : "\n") + p;
            listener().message({SessionMessage::Kind::Information, "", lines});
        }
        listener().games_listed();
        after_reset();
        paint();
        std::string problems;
        for (const StartupProblem& p : report.problems) {
            problems += (problems.empty() ? "" : "\n\n") + p.error + "\n" + p.outcome;
        }
        if (!problems.empty()) report_error(problems);
    });
}

// The machine has been reset: the game shown and the speed the front end asks for.
void Session::after_reset() {
    listener().game_changed(emu_.games.current_title);
    apply_speed_settings();
}

// A frame rate below 1 is reported and changes nothing; the command that asked goes on.
// Either way the front end is told the settings in effect, so a refused text does not
// stay behind to fail again at the next reset.
void Session::apply_speed_settings() {
    const std::optional<SpeedSettings> asked = listener().asked_speed();
    if (asked && (asked->fps != applied_fps_ || asked->cycles_per_frame != emu_.cycles_per_frame)) {
        try {
            apply(input_of(InputKind::Speed, 0, asked->fps, asked->cycles_per_frame));
            return;
        } catch (const EmuError& e) {
            listener().speed_changed(applied_speed());
            report_error(e.what());
            return;
        }
    }
    listener().speed_changed(applied_speed());
}

void Session::pause(bool value) {
    if (value) rest_pause_slot();
    apply(input_of(value ? InputKind::Pause : InputKind::Resume));
}

// On the way into the pause the pause slot is written first. A failed write is reported,
// but the machine pauses all the same: the snapshot is a by-product of the command, the
// pause is what the user asked for.
void Session::pause_command() {
    guarded([&] {
        if (!paused_) pause_slot_.drop();  // the pause writes a newer state itself
        try {
            emu_.save_pause_slot(paused_);
        } catch (const EmuError&) {
            toggle_pause();
            throw;
        }
        toggle_pause();
    });
}

// ---------------------------------------------------------------------------------------
// Keys and the pause slot

void Session::key_down(uint8_t vk) {
    if (replayer_) {  // the recording's keys only
        if (vk == VK_ESCAPE) stop_replay();
        return;
    }
    guarded([&] {
        if (vk == VK_DELETE || vk == VK_PAUSE) toggle_pause();
        if (!paused_) {
            pause_slot_.key_pressed(emu_.machine);
            apply(input_of(InputKind::KeyDown, vk));
        } else if (vk >= VK_0 && vk <= VK_9) {  // a recent snapshot; the key is consumed, set or not
            open_recent(vk - VK_0);
        } else if (vk == VK_LEFT) {  // the arrows walk the recent past while paused
            apply(input_of(InputKind::RewindBack));
        } else if (vk == VK_RIGHT) {
            apply(input_of(InputKind::RewindForward));
        }
    });
}

void Session::key_up(uint8_t vk) {
    if (paused_ || replayer_) return;
    apply(input_of(InputKind::KeyUp, vk));
}

// When a pause-slot write fails (a read-only program folder, a full disk) the first
// failure is reported, and stops the key when it was written at the press; later
// failures stay silent and the keys go on reaching the machine, so the emulated keyboard
// never goes dead. A successful write re-arms the report.
void Session::write_key_press_slot(const MachineState& m) {
    try {
        emu_.save_key_press_slot(m);
        pause_slot_failed_ = false;
    } catch (const EmuError&) {
        if (pause_slot_failed_) return;
        pause_slot_failed_ = true;
        throw;
    }
}

// Keys stop reaching the machine (a pause, the close): the kept state is written, and
// the first press after the pause is written at once.
void Session::rest_pause_slot() {
    guarded([&] { pause_slot_.rest(); });
}

void Session::open_recent(int digit) {
    if (const std::optional<Input> recent = emu_.read_recent(digit)) apply(*recent);
}

// ---------------------------------------------------------------------------------------
// Files, slots, games

void Session::load(const Input& input) { apply(input); }

void Session::open(const std::function<std::string()>& ask) {
    command([&] {
        const std::string chosen = ask();
        if (!chosen.empty()) {
            load(emu_.read_file(chosen));
            emu_.snapshot_slots.last_opened = chosen;
        }
        if (!emu_.snapshot_slots.last_opened.empty()) listener().reopen_changed(true);
    });
}

void Session::reopen() {
    command([&] { load(emu_.read_file(emu_.snapshot_slots.last_opened)); });
}

void Session::quick_open() {
    command([&] { load(emu_.read_quick_slot()); });
}

void Session::quick_save() {
    command([&] { emu_.quick_save(); });
}

void Session::save_as(const std::function<std::string()>& ask) {
    command([&] {
        const std::string chosen = ask();
        if (!chosen.empty()) emu_.save_as(chosen);
    });
}

// A reset slot that cannot be written is reported after the reset, which happens as asked.
void Session::reset_command(ResetKind kind) {
    command([&] {
        const std::optional<std::string> failure = emu_.save_reset_slot();
        apply(input_of(InputKind::Reset, kind == ResetKind::Quick ? 1 : 0));
        after_reset();
        if (failure) report_error(*failure);
    });
}

// The game's file is checked before anything changes: one that is missing or damaged is
// reported, and the machine, the reset slot and the game shown stay as they were.
void Session::choose_game(int index) {
    command([&] {
        listener().game_changed(emu_.games.current_title);  // what still runs, should the file be refused
        const std::optional<Input> game = emu_.read_game(index);
        if (!game) return;
        const std::optional<std::string> failure = emu_.save_reset_slot();
        load(*game);  // loaded all the same, as asked
        after_reset();
        if (failure) report_error(*failure);
    });
}

void Session::drop_file(const std::string& path_utf8) {
    wake();  // the dropped file may be the pause slot
    listener().title_changed(path_utf8);
    guarded([&] { load(emu_.read_file(path_utf8)); });
}

void Session::close() {
    if (recorder_) stop_recording();
    keep_session();
}

void Session::keep_session() {
    rest_pause_slot();
    guarded([&] { emu_.save_close_slot(); });
}

// ---------------------------------------------------------------------------------------
// Execution control and rewind

void Session::continue_run() {
    guarded([&] { apply(input_of(InputKind::Continue)); });
}

void Session::break_run() {
    guarded([&] {
        if (!paused_) pause_command();
        apply(input_of(InputKind::Break));
        listener().stopped_at(emu_.machine.PC);
    });
}

void Session::step() {
    guarded([&] {
        if (!paused_) pause_command();
        apply(input_of(InputKind::Step));
    });
}

void Session::step_over() {
    guarded([&] {
        if (!paused_) pause_command();
        apply(input_of(InputKind::StepOver));
    });
}

void Session::step_out() {
    guarded([&] {
        if (!paused_) pause_command();
        apply(input_of(InputKind::StepOut));
    });
}

void Session::run_to(uint16_t address) {
    guarded([&] {
        if (!paused_) pause_command();
        apply(input_of(InputKind::RunTo, 0, address));
    });
}

// Rewind writes no file: a running machine is paused without the pause slot.
void Session::rewind_back() {
    guarded([&] {
        if (!paused_) pause(true);
        apply(input_of(InputKind::RewindBack));
    });
}

void Session::rewind_forward() {
    if (!paused_) return;  // the present is the newest state there is
    guarded([&] { apply(input_of(InputKind::RewindForward)); });
}

void Session::poke(int64_t address, int32_t value) {
    apply(input_of(InputKind::Poke, static_cast<uint8_t>(value), address_in_space(address)));
}

// ---------------------------------------------------------------------------------------
// Recording and replay

void Session::start_recording(const std::string& path_utf8) {
    guarded([&] {
        if (replayer_) throw RangeError("A recording is being replayed; recording can start once it has ended.");
        if (recorder_) throw RangeError("A recording is under way into \"" + record_path_ + "\".");
        if (const std::string problem = output_file_problem(host_path(path_utf8)); !problem.empty())
            throw IoError("Cannot record into \"" + path_utf8 + "\": " + problem);
        RecordingStart start = emu_.begin_recording();
        start.fps = applied_fps_;
        start.paused = paused_;
        recorder_ = std::make_unique<Recorder>(std::move(start), position());
        record_path_ = path_utf8;
        listener().recording_changed(true);
    });
}

Recording Session::recording_so_far() const {
    if (!recorder_) throw RangeError("No recording is under way.");
    return recorder_->finish(emu_.machine, position());
}

void Session::stop_recording() {
    guarded([&] {
        if (!recorder_) return;
        save_recording(emu_.bank, recording_so_far(), record_path_);
        recorder_.reset();
        listener().recording_changed(false);
    });
}

void Session::start_replay(const std::string& path_utf8) {
    guarded([&] { start_replay(load_recording(path_utf8), path_utf8); });
}

// The recording's start replaces the machine and the settings its inputs act through;
// the pause state is the recorded one, as a debugger command depends on it.
void Session::start_replay(Recording recording, const std::string& name) {
    if (recorder_) throw RangeError("A recording is under way; a replay can start once it has stopped.");
    auto replayer = std::make_unique<Replayer>(std::move(recording));
    const RecordingStart& start = replayer->start();
    emu_.begin_replay(start);  // throws before anything changes
    replayer_ = std::move(replayer);
    replay_name_ = name;
    replay_outcome_.reset();
    applied_fps_ = start.fps;
    paused_before_ = paused_ = start.paused;
    commanded_ = false;
    listener().replay_changed(true);
    listener().speed_changed(applied_speed());
    listener().game_changed(emu_.games.current_title);
    listener().pause_changed(paused_);
    repaint();
}

bool Session::replay_step() {
    if (!replayer_) return false;
    replay_input_ = true;
    try {
        while (const Input* input = replayer_->take_due()) apply(*input);
        replay_input_ = false;
    } catch (...) {
        replay_input_ = false;
        stop_replay();
        throw;
    }
    if (replayer_->at_end()) {
        finish_replay();
        return false;
    }
    run_frame(replayer_->frame_budget());
    replayer_->frame_done();
    return true;
}

void Session::finish_replay() {
    ReplayOutcome outcome;
    outcome.recorded_hash = replayer_->recording().final_hash;
    outcome.reached_hash = state_hash(emu_.machine);
    outcome.matched = outcome.reached_hash == outcome.recorded_hash;
    outcome.frames = replayer_->frames_done();
    outcome.inputs = replayer_->recording().inputs.size();
    replayer_.reset();
    replay_outcome_ = outcome;
    listener().replay_changed(false);
    listener().pause_changed(paused_);
    const std::string counts =
        std::to_string(outcome.frames) + " frames, " + std::to_string(outcome.inputs) + " inputs";
    if (outcome.matched) {
        listener().message({SessionMessage::Kind::Information, "",
                            "The replay of \"" + replay_name_ + "\" (" + counts +
                                ") ended in the recorded state (state hash " + hash_text(outcome.reached_hash) + ")."});
    } else {
        report_error("The replay of \"" + replay_name_ + "\" (" + counts +
                     ") ended in another state than the recorded one: state hash " + hash_text(outcome.reached_hash) +
                     ", recorded " + hash_text(outcome.recorded_hash) + ".");
    }
}

void Session::stop_replay() {
    if (!replayer_) return;
    replayer_.reset();
    listener().replay_changed(false);
    listener().pause_changed(paused_);
}

}  // namespace lvov
