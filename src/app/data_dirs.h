// Where the program's files live.
//
// A copy that runs from a folder of its own (a build folder, a copy on a USB stick)
// keeps everything beside the program, as long as it may write there. An installed copy
// (the program in <prefix>/bin with its data in <prefix>/share/nevemulator), or a copy
// in a folder it may not write, keeps the files it writes and reads in the user's data
// folder, $XDG_DATA_HOME/nevemulator (by default ~/.local/share/nevemulator):
//
//   user's data folder         snapshot slots, AutoSave/, NEVEmulator.key, the user's own
//                              GAMES/index.ini, firmware/ (looked for first)
//   shipped folder             GAMES/ (the demo catalogue, listed while the user has no
//                              index of their own), firmware/ (looked for second)
//
// The shipped folder is <prefix>/share/nevemulator for an installed copy, the program's
// own folder otherwise. --dir puts everything in the folder it names, with no fallback.
//
// Computed without the window toolkit (from XDG_DATA_HOME and HOME), so the headless run
// starts no window system.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "core/version.h"

namespace lvov {

// The folder name under the user's data folder, and under <prefix>/share.
constexpr const char* DATA_FOLDER_NAME = PROGRAM_NAME;

struct DataDirs {
    // Snapshot slots, AutoSave/, the key map and the user's own games index; the open
    // and save dialogs start here. Created when the window starts (make_writable_dir).
    std::filesystem::path writable;
    // Folders whose firmware/image1.rom .. image3.rom are looked for, first found wins
    // (load_rom_images over this list).
    std::vector<std::filesystem::path> firmware;
    // Folders whose GAMES/index.ini is the games catalogue: the first that has one.
    std::vector<std::filesystem::path> games;
    // Everything lives in one folder: the program's own, or --dir.
    bool beside_program = true;

    // Everything in one folder.
    static DataDirs beside(const std::filesystem::path& dir);

    // The folder whose GAMES/index.ini is read: the first of games that has one, else
    // writable (where the catalogue is then empty).
    std::filesystem::path games_root() const;
};

// What the resolver takes from the process environment.
struct DataEnvironment {
    std::string xdg_data_home;  // $XDG_DATA_HOME; ignored unless an absolute path
    std::string home;  // $HOME, or the home folder of the user's account
};
DataEnvironment process_environment();

// Where the project's README lives relative to the program's folder, "/"-separated
// ("README.md", "../share/doc/nevemulator/README.md"); "" when it is not found there.
std::string readme_beside_program(const std::filesystem::path& program_dir);

// $XDG_DATA_HOME/nevemulator, else $HOME/.local/share/nevemulator; empty when neither
// gives an absolute path.
std::filesystem::path user_data_dir(const DataEnvironment& env);

// <prefix>/share/nevemulator for a program in <prefix>/bin (the layout of an install),
// whether or not it exists.
std::filesystem::path installed_data_dir(const std::filesystem::path& program_dir);

// True when the program may create files in dir. For the superuser, who may write
// anywhere, a folder without any write permission bit counts as read-only, so that a
// copy made read-only on purpose behaves alike for every user.
bool folder_writable(const std::filesystem::path& dir);

// The folders for a program in program_dir (no --dir): beside the program when it is
// not an installed copy and its folder is writable, else the user's data folder with
// the shipped folder as the fallback for firmware and games. Without a usable home
// folder everything stays beside the program.
DataDirs find_data_dirs(const std::filesystem::path& program_dir, const DataEnvironment& env);

// Creates the writable folder (and its parents) when missing. Returns "" or a message
// naming the folder; a folder that cannot be made shows up again at the first write.
std::string make_writable_dir(const DataDirs& dirs);

}  // namespace lvov
