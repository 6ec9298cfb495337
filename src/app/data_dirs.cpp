#include "app/data_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "storage/buffers.h"

#ifndef LVOV_DATA_FROM_BINDIR
#define LVOV_DATA_FROM_BINDIR "../share/nevemulator"
#endif
#ifndef LVOV_DOC_FROM_BINDIR
#define LVOV_DOC_FROM_BINDIR "../share/doc/nevemulator"
#endif

namespace lvov {

DataDirs DataDirs::beside(const std::filesystem::path& dir) {
    DataDirs dirs;
    dirs.writable = dir;
    dirs.firmware = {dir};
    dirs.games = {dir};
    dirs.beside_program = true;
    return dirs;
}

std::filesystem::path DataDirs::games_root() const {
    std::error_code ec;
    for (const auto& dir : games) {
        if (std::filesystem::exists(dir / "GAMES" / "index.ini", ec)) return dir;
    }
    return writable;
}

DataEnvironment process_environment() {
    DataEnvironment env;
    if (const char* xdg = std::getenv("XDG_DATA_HOME")) env.xdg_data_home = xdg;
    if (const char* home = std::getenv("HOME"); home && *home) {
        env.home = home;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
        env.home = pw->pw_dir;
    }
    return env;
}

std::filesystem::path user_data_dir(const DataEnvironment& env) {
    // A relative XDG_DATA_HOME is invalid and ignored, as the XDG base directory rules say.
    const std::filesystem::path xdg(env.xdg_data_home);
    if (xdg.is_absolute()) return xdg / DATA_FOLDER_NAME;
    const std::filesystem::path home(env.home);
    if (home.is_absolute()) return home / ".local" / "share" / DATA_FOLDER_NAME;
    return {};
}

std::filesystem::path installed_data_dir(const std::filesystem::path& program_dir) {
    return (program_dir / LVOV_DATA_FROM_BINDIR).lexically_normal();
}

std::string readme_beside_program(const std::filesystem::path& program_dir) {
    // Beside the program, where the installation puts its documents, and one folder up
    // (a program built in a folder of the source tree).
    for (const std::filesystem::path& relative :
         {std::filesystem::path("README.md"), std::filesystem::path(LVOV_DOC_FROM_BINDIR) / "README.md",
          std::filesystem::path("..") / "README.md"}) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(program_dir / relative, ec))
            return relative.lexically_normal().generic_string();
    }
    return "";
}

bool folder_writable(const std::filesystem::path& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (::access(dir.c_str(), W_OK | X_OK) != 0) return false;  // also a read-only mount
    return ::geteuid() != 0 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

DataDirs find_data_dirs(const std::filesystem::path& program_dir, const DataEnvironment& env) {
    std::error_code ec;
    const std::filesystem::path installed = installed_data_dir(program_dir);
    const bool installed_copy = std::filesystem::is_directory(installed, ec);
    if (!installed_copy && folder_writable(program_dir)) return DataDirs::beside(program_dir);

    const std::filesystem::path user = user_data_dir(env);
    if (user.empty()) return DataDirs::beside(program_dir);
    const std::filesystem::path shipped = installed_copy ? installed : program_dir;
    DataDirs dirs;
    dirs.writable = user;
    dirs.firmware = {user, shipped};
    dirs.games = {user, shipped};
    dirs.beside_program = false;
    return dirs;
}

std::string make_writable_dir(const DataDirs& dirs) {
    std::error_code ec;
    std::filesystem::create_directories(dirs.writable, ec);
    std::error_code exists_ec;
    if (ec && !std::filesystem::is_directory(dirs.writable, exists_ec)) {
        return "Cannot create the folder \"" + path_text(dirs.writable) + "\": " + ec.message();
    }
    return {};
}

}  // namespace lvov
