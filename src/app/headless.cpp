#include "app/headless.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <memory>
#include <ostream>

#include "app/session.h"
#include "core/errors.h"
#include "core/version.h"
#include "devices/typing.h"
#include "host/files.h"

namespace lvov {

void type_text(Session& session, const std::string& text) {
    const std::vector<KeyStroke> strokes = keystrokes_for_text(text);
    const auto key = [&session](InputKind kind, uint8_t vk) {
        Input input;
        input.kind = kind;
        input.code = vk;
        session.apply(input);
    };
    const auto frames = [&session](int n) {
        for (int i = 0; i < n; ++i) {
            if (session.run_frame(session.view().cycles_per_frame)) return false;
        }
        return true;
    };
    for (const KeyStroke& stroke : strokes) {
        for (const uint8_t vk : stroke.keys) key(InputKind::KeyDown, vk);
        if (!frames(TYPE_HOLD_FRAMES)) return;
        for (size_t k = stroke.keys.size(); k-- > 0;) key(InputKind::KeyUp, stroke.keys[k]);  // last pressed first
        if (!frames(TYPE_RELEASE_FRAMES)) return;
    }
}

// The picture is encoded in memory and written like every other file (temporary file,
// rename), so a full disk leaves the previous picture, and the name reaches the file
// system as given, whatever its encoding.
void save_picture_png(const Emulator& emu, const std::filesystem::path& path) {
    const auto& pixels = emu.picture.pixels;
    const QImage image(reinterpret_cast<const uchar*>(pixels.data()), SCREEN_WIDTH, SCREEN_HEIGHT,
                       SCREEN_WIDTH * static_cast<int>(sizeof(uint32_t)), QImage::Format_RGB32);
    QByteArray png;
    QBuffer out(&png);
    out.open(QIODevice::WriteOnly);
    if (!image.save(&out, "PNG")) throw IoError("Cannot encode the picture for \"" + path_text(path) + "\".");
    write_file_atomically(path, reinterpret_cast<const uint8_t*>(png.constData()), static_cast<size_t>(png.size()),
                          true);
}

int run_headless(const CommandLine& options, const std::filesystem::path& program_dir, std::ostream& out,
                 std::ostream& err) {
    return run_headless(options, DataDirs::beside(program_dir), out, err);
}

namespace {

// The end of a run: the picture and the snapshot asked for.
void write_outputs(const CommandLine& options, Emulator& emu) {
    if (!options.screenshot.empty()) save_picture_png(emu, host_path(options.screenshot));
    if (!options.save_snapshot.empty()) emu.save_as(options.save_snapshot);
}

// --replay: the recording's start in place of the start-up, its inputs and frames, then
// the state reached compared with the recorded one.
int replay_headless(const CommandLine& options, const DataDirs& dirs, std::ostream& out, std::ostream& err) {
    const auto fail = [&err](const std::string& message, int status) {
        err << PROGRAM_NAME << ": " << message << "\n";
        return status;
    };
    const auto session = std::make_unique<Session>(dirs);
    try {
        session->start_replay(load_recording(options.replay), options.replay);
        while (session->replay_step()) {}
    } catch (const EmuError& e) {
        return fail(e.what(), EXIT_USAGE);
    }
    const ReplayOutcome& outcome = *session->replay_outcome();
    const std::string counts =
        std::to_string(outcome.frames) + " frames, " + std::to_string(outcome.inputs) + " inputs";
    if (outcome.matched) {
        out << "replayed " << options.replay << " (" << counts
            << "): the final state matches the recorded one, state hash " << hash_text(outcome.reached_hash) << "\n";
    } else {
        err << PROGRAM_NAME << ": replayed " << options.replay << " (" << counts
            << "): the final state differs from the recorded one: state hash " << hash_text(outcome.reached_hash)
            << ", recorded " << hash_text(outcome.recorded_hash) << "\n";
    }
    out.flush();
    try {
        session->emu().paint();
        write_outputs(options, session->emu());
    } catch (const EmuError& e) {
        return fail(e.what(), EXIT_FAILURE_WRITE);
    }
    return outcome.matched ? EXIT_OK : EXIT_REPLAY_MISMATCH;
}

}  // namespace

int run_headless(const CommandLine& options, const DataDirs& dirs, std::ostream& out, std::ostream& err) {
    const auto fail = [&err](const std::string& message, int status) {
        err << PROGRAM_NAME << ": " << message << "\n";
        return status;
    };

    // Everything that can be refused is checked before the machine runs.
    if (const std::string problem = check_outputs(options); !problem.empty()) return fail(problem, EXIT_USAGE);
    if (!options.replay.empty()) return replay_headless(options, dirs, out, err);
    if (options.type_text) {
        try {
            keystrokes_for_text(*options.type_text);
        } catch (const EmuError& e) {
            return fail(std::string("--type: ") + e.what(), EXIT_USAGE);
        }
    }

    // The window's start-up without the window's session: a fresh machine, booted, at the
    // default speed. A key map that cannot be used is a mistake on the command line here.
    const auto session = std::make_unique<Session>(dirs);
    Emulator& emu = session->emu();
    const StartupReport report = emu.start_up({.read_games = false, .restore_session = false, .boot = true});
    for (const std::string& problem : report.firmware) err << PROGRAM_NAME << ": " << problem << "\n";
    if (const StartupProblem* p = report.find(StartupProblem::Source::KeyMap)) return fail(p->error, EXIT_USAGE);

    // --record: everything from here on, FILE included, is an input of the recording.
    if (!options.record.empty()) {
        session->start_recording(options.record);
        if (!session->recording()) return fail("cannot record into \"" + options.record + "\"", EXIT_USAGE);
    }
    if (!options.file.empty()) {
        try {
            session->apply(emu.read_file(options.file));  // a file no reader takes is refused like a damaged one
        } catch (const EmuError& e) {
            return fail(e.what(), EXIT_USAGE);
        }
    }
    emu.paint();

    // Breakpoints and the trace watch the typing and the frames; the first stop ends them.
    for (const uint16_t address : options.breaks) emu.exec.add(BreakKind::Exec, address, address);
    for (const uint16_t address : options.watches) emu.exec.add(BreakKind::Write, address, address);
    emu.exec.set_trace(options.trace > 0);
    emu.rewind_enabled = false;
    if (options.type_text) type_text(*session, *options.type_text);
    for (int i = 0; i < options.frames && !emu.stopped; ++i) session->run_frame(emu.cycles_per_frame);
    const bool watching = !options.breaks.empty() || !options.watches.empty();
    if (options.trace > 0) {
        for (const std::string& line : emu.exec.trace_lines(static_cast<size_t>(options.trace))) out << line << "\n";
    }
    if (emu.stopped) {
        out << register_line(emu.machine) << "\n";
    } else if (watching) {
        err << PROGRAM_NAME << ": the frames ran out before any --break or --watch was reached\n";
    }
    out.flush();

    try {
        write_outputs(options, emu);
        if (session->recording()) save_recording(emu.bank, session->recording_so_far(), options.record);
    } catch (const EmuError& e) {
        return fail(e.what(), EXIT_FAILURE_WRITE);
    }
    return watching && !emu.stopped ? EXIT_NOT_STOPPED : EXIT_OK;
}

}  // namespace lvov
