// File buffers and the zero-run codec.
//
// Every file of the storage area passes through a ByteBufferBank: a file is read whole
// into a buffer and handed to its reader as the span of the bytes read, and a snapshot
// is assembled byte by byte in a buffer and written out in one piece. The bank knows
// nothing about the emulated machine; it moves bytes only.
//
// Three buffers, numbered 1..3 (there is no buffer 0), each BUFFER_CAPACITY bytes,
// allocated once with the bank. Contents are never cleared: bytes past the data last
// placed in a buffer keep whatever an earlier operation left there.
//
// Zero-run stream: a sequence of tokens
//   literal   b (b != 00)      -> the byte b
//   zero run  00 lo hi         -> (hi * 256 + lo) zero bytes; a count of 0 means 65,536
// The encoder writes counts 1..65535; a run is emitted when a non-zero byte follows it,
// when it reaches 65535, or when the writer calls ZeroRunFlush at the end of a stream.
// The encoder's state (pending run, buffer in use) belongs to the bank, so each bank is
// an independent encoder. ZeroRunReader decodes a stream held in any span of bytes.
//
// Errors: a buffer number outside 1..3 or a cursor at or past the capacity throws
// RangeError (nothing is read or written outside the buffer); file failures throw
// IoError naming the file.
#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "host/files.h"

namespace lvov {

constexpr uint32_t BUFFER_CAPACITY = 1000001;
constexpr int BUFFER_COUNT = 3;

class ByteBufferBank {
public:
    ByteBufferBank();
    ByteBufferBank(const ByteBufferBank&) = delete;
    ByteBufferBank& operator=(const ByteBufferBank&) = delete;

    // cursor := 0, loaded_size := 0; contents untouched.
    void ResetBuffer(int n);

    // Raw access at the cursor, which then advances.
    void PutByte(int n, uint8_t b);
    void PutString(int n, std::string_view s);  // one byte per character, no length, no terminator
    uint8_t GetByte(int n);
    uint16_t GetWord(int n);  // low byte first
    uint32_t GetDWord(int n);  // least significant byte first

    // Writes positions 0 .. cursor-1 of buffer n to path with write_file_atomically
    // (host/files.h): a failure (no permission, disk full, path is a folder or a FIFO)
    // throws IoError and leaves any previous file at path intact. durable: the data and
    // the rename are flushed to the disk before it returns.
    void SaveBufferToFile(int n, const std::filesystem::path& path, bool durable = true);

    // Reads at most BUFFER_CAPACITY bytes of the file into positions 0 onwards; sets
    // loaded_size to the count read and cursor to 0. Throws IoError naming the file
    // when it cannot be opened or read, or is no regular file (a folder, a FIFO, a
    // device: refused at once, never waited on); then loaded_size and cursor are unchanged.
    void LoadFileToBuffer(int n, const std::filesystem::path& path);

    // Encoder. ZeroRunBegin clears the encoder, makes buffer n its buffer and resets it.
    void ZeroRunBegin(int n);
    void ZeroRunPutByte(uint8_t b);
    void ZeroRunPutWord(uint16_t v);
    void ZeroRunPutDWord(uint32_t v);
    // ZeroRunPutByte of n bytes in order, in one pass.
    void ZeroRunPutBytes(const uint8_t* bytes, size_t n);
    // Emits the pending zero run, if any, so that every byte put is in the buffer.
    // Writers call it before SaveBufferToFile.
    void ZeroRunFlush();

    uint32_t cursor(int n) const;
    void set_cursor(int n, uint32_t position);
    uint32_t loaded_size(int n) const;
    // Positions 0 .. loaded_size-1 of buffer n: the bytes of the file last loaded into it.
    std::span<const uint8_t> loaded_bytes(int n) const;
    uint8_t* data(int n);
    const uint8_t* data(int n) const;

    uint16_t zero_run() const { return zero_run_; }
    int codec_buffer() const { return codec_buffer_; }

private:
    struct Buffer {
        std::unique_ptr<uint8_t[]> bytes;
        uint32_t cursor = 0;
        uint32_t loaded_size = 0;
    };
    Buffer& buf(int n);
    const Buffer& buf(int n) const;

    Buffer buffers_[BUFFER_COUNT];
    uint16_t zero_run_ = 0;
    int codec_buffer_ = 1;
};

// Decodes a zero-run stream held in a span, from a given position on. Reads nothing
// outside the span: a stream that ends early, or a run token cut short by the span's end,
// is reported, never read past.
class ZeroRunReader {
public:
    explicit ZeroRunReader(std::span<const uint8_t> stream, size_t position = 0)
        : stream_(stream), position_(position) {}

    // Decodes the next n bytes into out. Returns false, with out partly filled, when the
    // stream ends (or a run token is cut) before n bytes are delivered.
    bool read(uint8_t* out, size_t n);
    // The byte at the position, taken as it is, outside the coding (a 00 is the value 0,
    // not a run token); zeros of a run still pending stay pending. Returns false at the
    // end of the span.
    bool read_raw(uint8_t& out);

    // True when no pending zeros remain and the span has no byte left.
    bool at_end() const { return pending_zeros_ == 0 && position_ >= stream_.size(); }
    size_t position() const { return position_; }  // bytes of the span consumed
    uint32_t pending_zeros() const { return pending_zeros_; }  // zeros of the last run not yet delivered

private:
    std::span<const uint8_t> stream_;
    size_t position_;
    uint32_t pending_zeros_ = 0;
};

// A path from UTF-8 text (what the window passes in), independent of the host's
// narrow encoding; on POSIX hosts the bytes are taken as they are, so a name that is not
// UTF-8 survives the trip through path_text (host/files.h) and back.
std::filesystem::path host_path(std::string_view utf8);

// File names through UTF-16 text (the window toolkit's strings) and back without loss:
// a byte that is no part of valid UTF-8 travels as the lone surrogate U+DC00 + byte, as
// host file systems that are not UTF-8 clean require. Valid UTF-8 converts as usual.
std::u16string escape_file_name(std::string_view bytes);
std::string unescape_file_name(std::u16string_view text);

}  // namespace lvov
