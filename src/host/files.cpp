#include "host/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

#include "core/errors.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <cstdio>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lvov {

namespace {

std::string quoted(const std::filesystem::path& path) { return "\"" + path_text(path) + "\""; }

std::string reason(int err) { return err ? std::string(": ") + std::strerror(err) : std::string(); }

constexpr char TEMP_PREFIX[] = ".lvov-";
constexpr char TEMP_SUFFIX[] = ".tmp";

long current_pid() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<long>(getpid());
#endif
}

// ".lvov-PID-N.tmp" in the folder of target: unique within this process through the
// counter and across processes through the process id; O_EXCL refuses to reuse one.
// The name is short and independent of the target's, so a target name at the file
// system's length limit still gets a temporary file.
std::filesystem::path temporary_beside(const std::filesystem::path& target) {
    static std::atomic<unsigned> counter{0};
    return target.parent_path() /
           (TEMP_PREFIX + std::to_string(current_pid()) + "-" + std::to_string(counter++) + TEMP_SUFFIX);
}

// The pid of a name of the form ".lvov-PID-N.tmp", or -1 for any other name.
long temporary_owner(const std::string& name) {
    const size_t prefix = std::strlen(TEMP_PREFIX), suffix = std::strlen(TEMP_SUFFIX);
    if (name.size() <= prefix + suffix || name.compare(0, prefix, TEMP_PREFIX) != 0 ||
        name.compare(name.size() - suffix, suffix, TEMP_SUFFIX) != 0)
        return -1;
    const std::string middle = name.substr(prefix, name.size() - prefix - suffix);
    const size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size()) return -1;
    for (size_t i = 0; i < middle.size(); ++i)
        if (i != dash && (middle[i] < '0' || middle[i] > '9')) return -1;
    if (dash > 9) return 0;  // no process has such an id: a stale name of any age
    return std::stol(middle.substr(0, dash));
}

#ifndef _WIN32

const char* kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a file";
}

// "Cannot open file "X": it is a FIFO (named pipe), not a regular file"
std::string not_regular(const std::filesystem::path& path, mode_t mode) {
    return quoted(path) + ": it is " + kind_of(mode) + ", not a regular file";
}

// The file a path finally names once its symbolic links are followed (the path itself
// when it is no link; a dangling link gives the missing file it points to).
std::filesystem::path final_target(const std::filesystem::path& path) {
    std::filesystem::path at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        std::error_code ec;
        const std::filesystem::path link = std::filesystem::read_symlink(at, ec);
        if (ec) throw IoError("Cannot write file " + quoted(path) + ": " + ec.message());
        at = link.is_absolute() ? link : at.parent_path() / link;
    }
    throw IoError("Cannot write file " + quoted(path) + reason(ELOOP));
}

bool write_all(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

FileSync file_sync = ::fsync;

// Flushes a folder's entries (a rename in it) to the disk.
int sync_folder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;  // a folder we may write but not read: nothing more can be done
    int err = 0;
    if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP) err = errno;
    ::close(fd);
    return err;
}

#endif

}  // namespace

std::string path_text(const std::filesystem::path& path) {
    const std::u8string u = path.u8string();
    return std::string(u.begin(), u.end());
}

#ifndef _WIN32

InputFile::InputFile(const std::filesystem::path& path) : path_(path) {
    // A look before the open spares devices the open itself; the check on the open
    // descriptor is the one that counts. O_NONBLOCK makes opening a FIFO return at once.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw IoError("Cannot open file " + not_regular(path, st.st_mode));
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) throw IoError("Cannot open file " + quoted(path) + reason(errno));
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        const bool regular = S_ISREG(st.st_mode);
        ::close(fd_);
        fd_ = -1;
        throw IoError("Cannot open file " + (regular ? quoted(path) + reason(err) : not_regular(path, st.st_mode)));
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = static_cast<uint64_t>(st.st_size);
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

size_t InputFile::read(uint8_t* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd_, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw IoError("Cannot read file " + quoted(path_) + reason(errno));
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

FileSync replace_file_sync(FileSync sync) { return std::exchange(file_sync, sync); }

void write_file_atomically(const std::filesystem::path& path, const uint8_t* data, size_t size, bool durable) {
    const std::filesystem::path target = final_target(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) throw IoError("Cannot write file " + not_regular(path, old.st_mode));

    const std::filesystem::path tmp = temporary_beside(target);
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) throw IoError("Cannot write file " + quoted(path) + reason(errno));
    int err = 0;
    if (exists) {
        // The new file takes the old one's permission bits (and, where this process may
        // give them, its owner and group).
        if (::fchmod(fd, old.st_mode & 07777) != 0) err = errno;
        if (!err && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            ::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not allowed to give the file away: it stays this user's, with the old bits.
        }
    }
    if (!err && !write_all(fd, data, size)) err = errno ? errno : EIO;
    if (!err && durable && file_sync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    bool old_removed = false;
#ifdef __EMSCRIPTEN__
    // Emscripten's in-memory file system (the page's) keeps a file that a rename replaced
    // in its lookup of names: once the new file is removed or renamed, the replaced one
    // is found under the name again. The old file goes first instead; nothing can run
    // between the two calls in a page, so the name never stands empty for anyone.
    if (!err && exists) {
        if (::unlink(target.c_str()) != 0) err = errno;
        old_removed = !err;
    }
#endif
    if (!err && ::rename(tmp.c_str(), target.c_str()) != 0) err = errno;
    if (err && old_removed)  // the temporary file holds the only copy left: kept, and named
        throw IoError("Cannot write file " + quoted(path) + reason(err) + "; its new contents are in " + quoted(tmp));
    if (err) {
        ::unlink(tmp.c_str());
        throw IoError("Cannot write file " + quoted(path) + reason(err));
    }
    if (durable) {
        if (const int e = sync_folder(target.parent_path()))
            throw IoError("File " + quoted(path) + " was written but could not be flushed to the disk" + reason(e));
    }
}

std::string output_file_problem(const std::filesystem::path& path) {
    if (!path.has_filename() || path.filename() == "." || path.filename() == "..")
        return quoted(path) + " names a folder, not a file";
    std::filesystem::path target;
    try {
        target = final_target(path);
    } catch (const IoError& e) {
        return e.what();
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return quoted(path) + " is " + kind_of(st.st_mode) + ", not a regular file";
    return {};
}

// Removes a temporary file of ours written by process pid unless it may be a write in
// progress; true when it was removed.
static bool remove_if_stale(const std::filesystem::path& file, long pid) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // A temporary file of another running process may be a write in progress.
    if (pid > 0 && pid != current_pid() && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) return false;
    return ::unlink(file.c_str()) == 0;
}

#else  // Windows: the same rules through the standard library, without the descriptor checks.

InputFile::InputFile(const std::filesystem::path& path) : path_(path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        throw IoError("Cannot open file " + quoted(path) + ": it is not a regular file");
    std::FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) throw IoError("Cannot open file " + quoted(path) + reason(errno));
    fd_ = _fileno(f);
    fd_ = _dup(fd_);
    std::fclose(f);
    size_ = std::filesystem::file_size(path, ec);
}

InputFile::~InputFile() {
    if (fd_ >= 0) _close(fd_);
}

size_t InputFile::read(uint8_t* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        const int n = _read(fd_, out + done, static_cast<unsigned>(std::min<size_t>(count - done, 1u << 30)));
        if (n < 0) throw IoError("Cannot read file " + quoted(path_) + reason(errno));
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void write_file_atomically(const std::filesystem::path& path, const uint8_t* data, size_t size, bool durable) {
    if (const std::string problem = output_file_problem(path); !problem.empty())
        throw IoError("Cannot write file: " + problem);
    const std::filesystem::path tmp = temporary_beside(path);
    std::FILE* f = _wfopen(tmp.c_str(), durable ? L"wbxc" : L"wbx");
    if (!f) throw IoError("Cannot write file " + quoted(path) + reason(errno));
    int err = size && std::fwrite(data, 1, size, f) != size ? (errno ? errno : EIO) : 0;
    if (!err && durable && std::fflush(f) != 0) err = errno;
    if (std::fclose(f) != 0 && !err) err = errno ? errno : EIO;
    std::error_code ec;
    if (!err) std::filesystem::rename(tmp, path, ec);
    if (err || ec) {
        std::error_code ignored;
        std::filesystem::remove(tmp, ignored);
        throw IoError("Cannot write file " + quoted(path) + (err ? reason(err) : ": " + ec.message()));
    }
}

std::string output_file_problem(const std::filesystem::path& path) {
    if (!path.has_filename() || path.filename() == "." || path.filename() == "..")
        return quoted(path) + " names a folder, not a file";
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return quoted(path) + " is not a regular file";
    return {};
}

static bool remove_if_stale(const std::filesystem::path& file, long pid) {
    if (pid == current_pid()) return false;
    std::error_code rm;
    return std::filesystem::remove(file, rm);  // a file still being written is locked
}

#endif

int remove_stale_temporaries(const std::filesystem::path& folder) {
    int removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const long pid = temporary_owner(path_text(it->path().filename()));
        if (pid >= 0 && remove_if_stale(it->path(), pid)) ++removed;
    }
    return removed;
}

namespace {

// Renames from to to unless to exists; false (errno EEXIST) when it does.
bool rename_no_replace(const std::filesystem::path& from, const std::filesystem::path& to) {
#if defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
        // A file system without the flag: checked first, then renamed.
#endif
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(to, ec))) {
        errno = EEXIST;
        return false;
    }
    std::filesystem::rename(from, to, ec);
    if (ec) errno = ec.value();
    return !ec;
}

}  // namespace

std::filesystem::path move_aside(const std::filesystem::path& file, const std::string& suffix) {
    std::filesystem::path base = file;
    base += suffix;  // ASCII: the same in every host encoding
    for (int n = 1; n < 1000; ++n) {
        std::filesystem::path to = base;
        if (n > 1) to += "-" + std::to_string(n);
        if (rename_no_replace(file, to)) return to;
        if (errno != EEXIST) {
            throw IoError("Cannot move " + quoted(file) + " aside to " + quoted(to) + reason(errno));
        }
    }
    throw IoError("Cannot move " + quoted(file) + " aside: every name from " + quoted(base) + " on is taken");
}

std::vector<uint8_t> read_regular_file(const std::filesystem::path& path, size_t max_bytes) {
    InputFile in(path);
    std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(in.size(), max_bytes)));
    bytes.resize(in.read(bytes.data(), bytes.size()));
    return bytes;
}

}  // namespace lvov
