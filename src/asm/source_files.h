// The files an assembly reads: the main source, INCLUDEs and INCBINs. Internal to the
// assembler.
//
// Only regular files are read: a FIFO, a device or a folder is refused after a look at
// the file (stat), without being opened, since opening one could block or never end.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lvov::asm_detail {

constexpr uint64_t MAX_SOURCE_BYTES = uint64_t{16} << 20;
constexpr uint64_t MAX_INCBIN_BYTES = 0x10000;  // the whole address space

// "" when path names a regular file of at most max_bytes bytes; otherwise what is wrong,
// for a message ("include file 'x' is a FIFO, not a regular file"). what names the role.
std::string file_problem(const std::filesystem::path& path, uint64_t max_bytes, const char* what);

// The whole file as bytes in a string; throws LineError with file_problem's message, or
// when the file cannot be opened.
std::string read_file(const std::filesystem::path& path, uint64_t max_bytes, const char* what);

// One name per file, however it was reached ("lib/../a.inc" and "a.inc" are the same).
std::string file_key(const std::filesystem::path& path);

// The lines of a text; a line ends at LF, CR or CR LF.
std::vector<std::string> split_lines(const std::string& text);

}  // namespace lvov::asm_detail
