// The headless run: the session without a window, frames back to back.
//
// Start-up is a full reset and a boot run of the firmware of program_dir (or the
// built-in one), then FILE if given, then the typed text, then the frames; at the end
// the picture and a snapshot may be written. No snapshot slot is read or written. The
// only toolkit code used is the PNG writer of the screenshot.
#pragma once
#include <filesystem>
#include <iosfwd>

#include "app/command_line.h"

namespace lvov {

struct Emulator;
struct DataDirs;
class Session;

// Frames a key is held, then released, when typing.
constexpr int TYPE_HOLD_FRAMES = 3;
constexpr int TYPE_RELEASE_FRAMES = 3;

// Types text into a running machine: for each stroke its keys are pressed in order, the
// machine runs TYPE_HOLD_FRAMES frames, the keys are released in reverse order and it
// runs TYPE_RELEASE_FRAMES frames. The keys are the session's inputs. Throws
// ConversionError before typing anything when a character has no key.
void type_text(Session& session, const std::string& text);

// Writes the 256 x 256 picture as PNG; throws IoError when it cannot.
void save_picture_png(const Emulator& emu, const std::filesystem::path& path);

// Runs the whole headless session: the trace and the registers at a stop go to out,
// messages to err. Returns the exit status.
int run_headless(const CommandLine& options, const std::filesystem::path& program_dir, std::ostream& out,
                 std::ostream& err);
// The same with the key map in dirs.writable and the firmware looked for along dirs.
int run_headless(const CommandLine& options, const DataDirs& dirs, std::ostream& out, std::ostream& err);

}  // namespace lvov
