// Host files as the emulator reads and writes them.
//
// Reading: only regular files are read, and opening one never blocks. A FIFO, a device,
// a socket or a folder given where a file is expected is refused at once with a message
// naming what it is; the check is made on the open descriptor, so a file swapped for a
// FIFO between the check and the open cannot hang the program either.
//
// Writing: every file is written whole to a temporary file in the target's folder and
// renamed over the target only when complete, so a failure (no permission, disk full,
// read-only folder, a kill in the middle) leaves the previous file intact. A target that
// is a symbolic link is followed, and its final target is replaced, atomically in that
// target's folder; an existing target keeps its permission bits. Only a regular file
// (or no file) is replaced. A durable write also flushes the file's data and, after the
// rename, the folder entry to the disk, so a power cut right after the write leaves
// either the old or the new file, never an empty one.
//
// The temporary files are named ".lvov-PID-N.tmp". One left by a process that no longer
// runs (killed in the middle of a write) is removed by remove_stale_temporaries.
//
// Failures throw IoError naming the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lvov {

// A regular file open for reading.
class InputFile {
public:
    explicit InputFile(const std::filesystem::path& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // The size of the file when it was opened.
    uint64_t size() const { return size_; }
    // Reads up to count bytes into out; fewer only at the end of the file.
    size_t read(uint8_t* out, size_t count);

private:
    std::filesystem::path path_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

// The first max_bytes bytes of a regular file (all of it when shorter).
std::vector<uint8_t> read_regular_file(const std::filesystem::path& path, size_t max_bytes);

// Writes size bytes to path through a temporary file and a rename (see above).
void write_file_atomically(const std::filesystem::path& path, const uint8_t* data, size_t size, bool durable);

#ifndef _WIN32
// The call a durable write flushes the file's data with (fsync by default), for tests
// that need the flush to fail; returns the one it replaces. Not for use while a write
// runs on another thread.
using FileSync = int (*)(int fd);
FileSync replace_file_sync(FileSync sync);
#endif

// "" when path may be written as a file: it is not a folder name ("DIR/"), and it is
// missing or (after its symbolic links) a regular file. Otherwise the reason, for a
// message. Checks only; a missing folder is found by the write itself.
std::string output_file_problem(const std::filesystem::path& path);

// Renames file (a symbolic link itself, never its target) within its folder to its name
// followed by suffix, or by suffix and "-2", "-3"... when that name is taken: nothing is
// ever replaced. Returns the new path; throws IoError naming both when it cannot.
std::filesystem::path move_aside(const std::filesystem::path& file, const std::string& suffix);

// Removes this program's temporary files left in folder by processes that no longer run
// (a write killed in the middle). Returns how many were removed; never throws.
int remove_stale_temporaries(const std::filesystem::path& folder);

// The path as UTF-8 text (on POSIX hosts: its bytes as they are), for messages.
std::string path_text(const std::filesystem::path& path);

}  // namespace lvov
