#include "storage/buffers.h"

#include <algorithm>
#include <cstring>

#include "core/errors.h"
#include "core/utf8.h"

namespace lvov {

std::filesystem::path host_path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::u16string escape_file_name(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const auto [cp, length] = decode_utf8(bytes, i);
        if (length == 0) {
            out.push_back(static_cast<char16_t>(0xDC00 + static_cast<uint8_t>(bytes[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return out;
}

std::string unescape_file_name(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto put = [&out](char32_t cp) { append_utf8(out, cp); };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            put(0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += static_cast<char>(u - 0xDC00);  // an escaped byte
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            put(0xFFFD);  // any other lone surrogate, as the toolkit converts it
        } else {
            put(u);
        }
    }
    return out;
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

void ByteBufferBank::SaveBufferToFile(int n, const std::filesystem::path& path, bool durable) {
    const Buffer& b = buf(n);
    write_file_atomically(path, b.bytes.get(), b.cursor, durable);
}

void ByteBufferBank::LoadFileToBuffer(int n, const std::filesystem::path& path) {
    Buffer& b = buf(n);
    InputFile in(path);
    const size_t count = in.read(b.bytes.get(), BUFFER_CAPACITY);
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

bool ZeroRunReader::read(uint8_t* out, size_t n) {
    // The state lives in locals while bytes are stored through out, which the compiler
    // must otherwise assume may alias the members. A run's first zero is stored at once:
    // most runs of a machine's memory are one or two bytes long.
    const uint8_t* const in = stream_.data();
    const size_t end = stream_.size();
    size_t pos = position_;
    uint32_t zeros = pending_zeros_;
    size_t i = 0;
    bool complete = true;
    while (i < n) {
        if (zeros > 0) {
            const size_t k = std::min<size_t>(zeros, n - i);
            std::memset(out + i, 0, k);
            zeros -= static_cast<uint32_t>(k);
            i += k;
            continue;
        }
        if (pos >= end) {
            complete = false;
            break;
        }
        const uint8_t c = in[pos];
        if (c != 0x00) {
            out[i++] = c;
            ++pos;
            continue;
        }
        if (end - pos < 3) {  // a run token without its count
            complete = false;
            break;
        }
        const uint32_t count = in[pos + 1] | (in[pos + 2] << 8);
        zeros = (count == 0 ? 0x10000 : count) - 1;  // a count of 0 means 65,536
        pos += 3;
        out[i++] = 0x00;
    }
    position_ = pos;
    pending_zeros_ = zeros;
    return complete;
}

bool ZeroRunReader::read_raw(uint8_t& out) {
    if (position_ >= stream_.size()) return false;
    out = stream_[position_++];
    return true;
}

uint32_t ByteBufferBank::cursor(int n) const { return buf(n).cursor; }

void ByteBufferBank::set_cursor(int n, uint32_t position) { buf(n).cursor = position; }

uint32_t ByteBufferBank::loaded_size(int n) const { return buf(n).loaded_size; }

std::span<const uint8_t> ByteBufferBank::loaded_bytes(int n) const {
    const Buffer& b = buf(n);
    return {b.bytes.get(), b.loaded_size};
}

uint8_t* ByteBufferBank::data(int n) { return buf(n).bytes.get(); }

const uint8_t* ByteBufferBank::data(int n) const { return buf(n).bytes.get(); }

}  // namespace lvov
