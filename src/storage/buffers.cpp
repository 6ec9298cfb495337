#include "storage/buffers.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "core/errors.h"

namespace lvov {

namespace {

std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    std::wstring wmode(mode, mode + std::strlen(mode));
    return _wfopen(path.c_str(), wmode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

std::string quoted(const std::filesystem::path& path) { return "\"" + path_text(path) + "\""; }

std::string reason(int err) { return err ? std::string(": ") + std::strerror(err) : std::string(); }

// A name for the temporary file in the target's folder: unique within this process and,
// through the clock, very likely across processes; "x" mode refuses to reuse one. The
// name is short and independent of the target's, so a target name at the file system's
// length limit still gets a temporary file.
std::filesystem::path temporary_beside(const std::filesystem::path& target) {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return target.parent_path() / (".lvov-" + std::to_string(static_cast<unsigned long long>(stamp) % 1000000007ULL) +
                                   "-" + std::to_string(counter++) + ".tmp");
}

}  // namespace

std::filesystem::path host_path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string path_text(const std::filesystem::path& path) {
    const std::u8string u = path.u8string();
    return std::string(u.begin(), u.end());
}

ByteBufferBank::ByteBufferBank() {
    for (auto& b : buffers_) b.bytes = std::make_unique<uint8_t[]>(BUFFER_CAPACITY);
}

ByteBufferBank::Buffer& ByteBufferBank::buf(int n) {
    if (n < 1 || n > BUFFER_COUNT) throw RangeError("File buffer " + std::to_string(n) + " does not exist");
    return buffers_[n - 1];
}

const ByteBufferBank::Buffer& ByteBufferBank::buf(int n) const {
    if (n < 1 || n > BUFFER_COUNT) throw RangeError("File buffer " + std::to_string(n) + " does not exist");
    return buffers_[n - 1];
}

void ByteBufferBank::ResetBuffer(int n) {
    Buffer& b = buf(n);
    b.cursor = 0;
    b.loaded_size = 0;
}

void ByteBufferBank::PutByte(int n, uint8_t value) {
    Buffer& b = buf(n);
    if (b.cursor >= BUFFER_CAPACITY) throw RangeError("File buffer " + std::to_string(n) + " is full");
    b.bytes[b.cursor++] = value;
}

void ByteBufferBank::PutString(int n, std::string_view s) {
    for (char c : s) PutByte(n, static_cast<uint8_t>(c));
}

uint8_t ByteBufferBank::GetByte(int n) {
    Buffer& b = buf(n);
    if (b.cursor >= BUFFER_CAPACITY) throw RangeError("Read past the end of file buffer " + std::to_string(n));
    return b.bytes[b.cursor++];
}

uint16_t ByteBufferBank::GetWord(int n) {
    const uint8_t low = GetByte(n);
    const uint8_t high = GetByte(n);
    return static_cast<uint16_t>(low | (high << 8));
}

uint32_t ByteBufferBank::GetDWord(int n) {
    const uint32_t low = GetWord(n);
    const uint32_t high = GetWord(n);
    return low | (high << 16);
}

void ByteBufferBank::SaveBufferToFile(int n, const std::filesystem::path& path) {
    const Buffer& b = buf(n);
    const std::filesystem::path tmp = temporary_beside(path);
    std::FILE* f = open_file(tmp, "wbx");
    if (!f) throw IoError("Cannot write file " + quoted(path) + reason(errno));
    const size_t written = b.cursor ? std::fwrite(b.bytes.get(), 1, b.cursor, f) : 0;
    int err = written == b.cursor ? 0 : (errno ? errno : EIO);
    if (std::fclose(f) != 0 && !err) err = errno ? errno : EIO;
    std::error_code ec;
    if (err) {
        std::filesystem::remove(tmp, ec);
        throw IoError("Cannot write file " + quoted(path) + reason(err));
    }
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(tmp, ignored);
        throw IoError("Cannot write file " + quoted(path) + ": " + ec.message());
    }
}

void ByteBufferBank::LoadFileToBuffer(int n, const std::filesystem::path& path) {
    Buffer& b = buf(n);
    std::FILE* f = open_file(path, "rb");
    if (!f) throw IoError("Cannot open file " + quoted(path) + reason(errno));
    errno = 0;
    const size_t count = std::fread(b.bytes.get(), 1, BUFFER_CAPACITY, f);
    const int err = std::ferror(f) ? (errno ? errno : EIO) : 0;
    std::fclose(f);
    if (err) throw IoError("Cannot read file " + quoted(path) + reason(err));
    b.loaded_size = static_cast<uint32_t>(count);
    b.cursor = 0;
}

void ByteBufferBank::ZeroRunBegin(int n) {
    buf(n);  // checks n before the codec changes
    zero_run_ = 0;
    codec_buffer_ = n;
    ResetBuffer(n);
}

void ByteBufferBank::ZeroRunFlush() {
    if (zero_run_ == 0) return;
    PutByte(codec_buffer_, 0x00);
    PutByte(codec_buffer_, static_cast<uint8_t>(zero_run_));
    PutByte(codec_buffer_, static_cast<uint8_t>(zero_run_ >> 8));
    zero_run_ = 0;
}

void ByteBufferBank::ZeroRunPutByte(uint8_t value) {
    if (value == 0x00) {
        if (++zero_run_ == 0xFFFF) ZeroRunFlush();
        return;
    }
    ZeroRunFlush();
    PutByte(codec_buffer_, value);
}

void ByteBufferBank::ZeroRunPutBytes(const uint8_t* bytes, size_t n) {
    Buffer& b = buf(codec_buffer_);
    // Each input byte emits at most four (a run token and a literal); check room in chunks.
    constexpr size_t CHUNK = 4096;
    for (size_t done = 0; done < n;) {
        const size_t count = std::min(CHUNK, n - done);
        if (uint64_t(b.cursor) + 4 * count + 3 > BUFFER_CAPACITY) {
            for (size_t i = 0; i < count; ++i) ZeroRunPutByte(bytes[done + i]);  // checked path near the end
        } else {
            uint8_t* out = b.bytes.get();
            uint32_t at = b.cursor;
            uint32_t run = zero_run_;
            for (size_t i = 0; i < count; ++i) {
                const uint8_t v = bytes[done + i];
                if (v == 0x00) {
                    if (++run == 0xFFFF) {
                        out[at++] = 0x00, out[at++] = 0xFF, out[at++] = 0xFF;
                        run = 0;
                    }
                    continue;
                }
                if (run) {
                    out[at++] = 0x00, out[at++] = static_cast<uint8_t>(run), out[at++] = static_cast<uint8_t>(run >> 8);
                    run = 0;
                }
                out[at++] = v;
            }
            b.cursor = at;
            zero_run_ = static_cast<uint16_t>(run);
        }
        done += count;
    }
}

void ByteBufferBank::ZeroRunPutWord(uint16_t v) {
    ZeroRunPutByte(static_cast<uint8_t>(v));
    ZeroRunPutByte(static_cast<uint8_t>(v >> 8));
}

void ByteBufferBank::ZeroRunPutDWord(uint32_t v) {
    for (int i = 0; i < 4; ++i) ZeroRunPutByte(static_cast<uint8_t>(v >> (8 * i)));
}

uint8_t ByteBufferBank::ZeroRunGetByte() {
    if (zero_run_ > 0) {
        --zero_run_;
        return 0x00;
    }
    const uint8_t c = GetByte(codec_buffer_);
    if (c != 0x00) return c;
    zero_run_ = static_cast<uint16_t>(GetWord(codec_buffer_) - 1);  // a count of 0 wraps to 65,536 zeros
    return 0x00;
}

bool ByteBufferBank::ZeroRunGetBytes(uint8_t* out, size_t n, uint32_t end) {
    Buffer& b = buf(codec_buffer_);
    end = std::min(end, BUFFER_CAPACITY);
    const uint8_t* in = b.bytes.get();
    size_t i = 0;
    while (i < n) {
        if (zero_run_ > 0) {
            const size_t k = std::min<size_t>(zero_run_, n - i);
            std::memset(out + i, 0, k);
            zero_run_ = static_cast<uint16_t>(zero_run_ - k);
            i += k;
            continue;
        }
        if (b.cursor >= end) return false;
        const uint8_t c = in[b.cursor];
        if (c != 0x00) {
            out[i++] = c;
            ++b.cursor;
            continue;
        }
        if (uint64_t(b.cursor) + 3 > end) return false;  // a run token without its count
        zero_run_ = static_cast<uint16_t>((in[b.cursor + 1] | (in[b.cursor + 2] << 8)) - 1);  // 0 means 65,536
        b.cursor += 3;
        out[i++] = 0x00;
    }
    return true;
}

uint16_t ByteBufferBank::ZeroRunGetWord() {
    const uint8_t low = ZeroRunGetByte();
    const uint8_t high = ZeroRunGetByte();
    return static_cast<uint16_t>(low | (high << 8));
}

uint32_t ByteBufferBank::ZeroRunGetDWord() {
    const uint32_t low = ZeroRunGetWord();
    const uint32_t high = ZeroRunGetWord();
    return low | (high << 16);
}

uint32_t ByteBufferBank::cursor(int n) const { return buf(n).cursor; }

void ByteBufferBank::set_cursor(int n, uint32_t position) { buf(n).cursor = position; }

uint32_t ByteBufferBank::loaded_size(int n) const { return buf(n).loaded_size; }

uint8_t* ByteBufferBank::data(int n) { return buf(n).bytes.get(); }

const uint8_t* ByteBufferBank::data(int n) const { return buf(n).bytes.get(); }

}  // namespace lvov
