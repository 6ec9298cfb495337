// The file buffers and the zero-run codec.
#include <sys/resource.h>

#include <csignal>

#include "core/errors.h"
#include "storage/buffers.h"
#include "storage_test_util.h"

namespace lvov {
namespace {

using test::Bytes;

Bytes encode(ByteBufferBank& bank, const Bytes& in, bool flush = true) {
    bank.ZeroRunBegin(1);
    for (uint8_t b : in) bank.ZeroRunPutByte(b);
    if (flush) bank.ZeroRunFlush();
    return Bytes(bank.data(1), bank.data(1) + bank.cursor(1));
}

Bytes decode(ByteBufferBank& bank, const Bytes& stream, size_t count) {
    bank.ZeroRunBegin(1);
    for (uint8_t b : stream) bank.PutByte(1, b);
    bank.set_cursor(1, 0);
    Bytes out(count);
    for (auto& b : out) b = bank.ZeroRunGetByte();
    return out;
}

Bytes zeros_then(size_t n, Bytes tail) {
    Bytes v(n, 0);
    v.insert(v.end(), tail.begin(), tail.end());
    return v;
}

TEST(ZeroRunCodec, TokenExamples) {
    ByteBufferBank bank;
    EXPECT_EQ(encode(bank, {0, 0, 0, 7}), Bytes({0x00, 0x03, 0x00, 0x07}));
    EXPECT_EQ(decode(bank, {0x00, 0x03, 0x00, 0x07}, 4), Bytes({0, 0, 0, 7}));
    EXPECT_EQ(bank.zero_run(), 0);
    EXPECT_EQ(encode(bank, {'a', 'b', 'c'}), Bytes({0x61, 0x62, 0x63}));
    EXPECT_EQ(encode(bank, zeros_then(65535, {5})), Bytes({0x00, 0xFF, 0xFF, 0x05}));
    EXPECT_EQ(encode(bank, zeros_then(65536, {5})), Bytes({0x00, 0xFF, 0xFF, 0x00, 0x01, 0x00, 0x05}));
    // A count of 0 wraps: 65,536 zeros, then the decoder is ready for a raw byte.
    EXPECT_EQ(decode(bank, {0x00, 0x00, 0x00, 0x09}, 65536), Bytes(65536, 0));
    EXPECT_EQ(bank.zero_run(), 0);
    EXPECT_EQ(bank.GetByte(1), 0x09);
}

TEST(ZeroRunCodec, PendingZerosReachTheBufferOnlyWhenFlushed) {
    ByteBufferBank bank;
    EXPECT_TRUE(encode(bank, {0, 0}, false).empty());
    EXPECT_EQ(bank.zero_run(), 2);
    bank.ZeroRunFlush();
    EXPECT_EQ(Bytes(bank.data(1), bank.data(1) + bank.cursor(1)), Bytes({0x00, 0x02, 0x00}));
    // A run that reached 65535 was emitted already: flushing adds nothing.
    EXPECT_EQ(encode(bank, Bytes(65535, 0)), Bytes({0x00, 0xFF, 0xFF}));
    EXPECT_EQ(encode(bank, Bytes(65535 * 2 + 1, 0)), Bytes({0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x01, 0x00}));
}

TEST(ZeroRunCodec, RandomStreamsRoundTrip) {
    ByteBufferBank bank;
    std::mt19937 rng(1234);
    for (int round = 0; round < 40; ++round) {
        Bytes in;
        const int pieces = 1 + rng() % 12;
        for (int p = 0; p < pieces; ++p) {
            // Zero runs around the token limit, short runs and literals.
            const size_t limits[] = {1, 2, 255, 256, 65534, 65535, 65536, 65537, 131070, 131071};
            size_t zeros = rng() % 3 == 0 ? limits[rng() % 10] : rng() % 5;
            in.insert(in.end(), zeros, 0);
            for (int k = rng() % 6; k > 0; --k) in.push_back(static_cast<uint8_t>(1 + rng() % 255));
        }
        const Bytes stream = encode(bank, in);
        ASSERT_EQ(decode(bank, stream, in.size()), in) << "round " << round;
        EXPECT_EQ(bank.zero_run(), 0);
        EXPECT_EQ(bank.cursor(1), stream.size()) << "every token consumed";

        // The block operations agree with the byte ones.
        ByteBufferBank block;
        block.ZeroRunBegin(1);
        block.ZeroRunPutBytes(in.data(), in.size());
        block.ZeroRunFlush();
        ASSERT_EQ(Bytes(block.data(1), block.data(1) + block.cursor(1)), stream);
        Bytes out(in.size());
        block.set_cursor(1, 0);
        ASSERT_TRUE(block.ZeroRunGetBytes(out.data(), out.size(), block.cursor(1) + stream.size()));
        ASSERT_EQ(out, in);
        // One byte short of the stream (a literal lost or a run token cut): the block
        // decoder stops instead of reading on.
        block.ZeroRunBegin(1);
        for (uint8_t b : stream) block.PutByte(1, b);
        block.set_cursor(1, 0);
        EXPECT_FALSE(block.ZeroRunGetBytes(out.data(), out.size(), static_cast<uint32_t>(stream.size() - 1)));
    }
}

TEST(ZeroRunCodec, WordsAreLittleEndianAndRawBytesMixWithCodedOnes) {
    ByteBufferBank bank;
    bank.ZeroRunBegin(2);
    bank.PutString(2, "AB");
    bank.ZeroRunPutWord(0x0100);
    bank.ZeroRunPutDWord(0x00000005);
    bank.ZeroRunFlush();
    bank.PutByte(2, 0xEE);
    EXPECT_EQ(Bytes(bank.data(2), bank.data(2) + bank.cursor(2)),
              Bytes({'A', 'B', 0x00, 0x01, 0x00, 0x01, 0x05, 0x00, 0x03, 0x00, 0xEE}));
    bank.set_cursor(2, 0);
    EXPECT_EQ(bank.GetWord(2), 0x4241);
    EXPECT_EQ(bank.ZeroRunGetWord(), 0x0100);
    EXPECT_EQ(bank.ZeroRunGetDWord(), 5u);
    EXPECT_EQ(bank.GetByte(2), 0xEE);
}

TEST(ByteBuffers, NothingIsReadOrWrittenOutsideABuffer) {
    ByteBufferBank bank;
    EXPECT_THROW(bank.PutByte(0, 1), RangeError);
    EXPECT_THROW(bank.GetByte(4), RangeError);
    EXPECT_THROW(bank.ZeroRunBegin(4), RangeError);
    bank.set_cursor(3, BUFFER_CAPACITY - 1);
    bank.PutByte(3, 0x42);
    EXPECT_THROW(bank.PutByte(3, 0x43), RangeError);
    EXPECT_THROW(bank.GetByte(3), RangeError);
    bank.set_cursor(3, BUFFER_CAPACITY - 1);
    EXPECT_EQ(bank.GetByte(3), 0x42);
    EXPECT_THROW(bank.GetWord(3), RangeError);
}

TEST(ByteBuffers, FilesInAndOut) {
    test::TempDir dir;
    ByteBufferBank bank;
    bank.ZeroRunBegin(1);
    bank.SaveBufferToFile(1, dir / "empty.bin");
    EXPECT_TRUE(std::filesystem::exists(dir / "empty.bin"));
    EXPECT_EQ(std::filesystem::file_size(dir / "empty.bin"), 0u);

    // An empty file loads as nothing and leaves the old contents in place.
    bank.PutString(1, "keep");
    bank.LoadFileToBuffer(1, dir / "empty.bin");
    EXPECT_EQ(bank.loaded_size(1), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bank.data(1)), 4), "keep");

    // A file longer than the buffer is cut to its capacity.
    Bytes big(1500000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    test::write_file(dir / "big.bin", big);
    bank.LoadFileToBuffer(2, dir / "big.bin");
    EXPECT_EQ(bank.loaded_size(2), BUFFER_CAPACITY);
    EXPECT_TRUE(std::equal(bank.data(2), bank.data(2) + BUFFER_CAPACITY, big.begin()));
    EXPECT_EQ(bank.cursor(2), 0u);

    // Only positions before the cursor are written, over the previous file.
    bank.set_cursor(2, 10);
    bank.SaveBufferToFile(2, dir / "big.bin");
    EXPECT_EQ(test::read_file(dir / "big.bin"), Bytes(big.begin(), big.begin() + 10));
}

TEST(ByteBuffers, FailuresNameTheFileAndKeepWhatWasThere) {
    test::TempDir dir;
    ByteBufferBank bank;
    const auto missing = dir / "missing.lvt";
    try {
        bank.LoadFileToBuffer(1, missing);
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("missing.lvt"), std::string::npos) << e.what();
    }
    EXPECT_THROW(bank.LoadFileToBuffer(1, dir.path()), IoError);  // a folder

    // Saving over a folder fails and leaves the folder.
    std::filesystem::create_directory(dir / "taken");
    bank.ZeroRunBegin(1);
    bank.PutString(1, "data");
    EXPECT_THROW(bank.SaveBufferToFile(1, dir / "taken"), IoError);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken"));
    EXPECT_THROW(bank.SaveBufferToFile(1, dir / "no-such-folder" / "x.bin"), IoError);

    // A write that runs out of space (a file size limit stands in for a full disk)
    // leaves the previous file whole.
    test::write_file(dir / "slot.bin", Bytes(100, 0xAB));
    bank.ZeroRunBegin(1);
    for (int i = 0; i < 50000; ++i) bank.PutByte(1, 0x11);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(bank.SaveBufferToFile(1, dir / "slot.bin"), IoError);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(test::read_file(dir / "slot.bin"), Bytes(100, 0xAB));

    // No temporary files are left behind by any of the failures.
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 2);  // taken/ and slot.bin
}

}  // namespace
}  // namespace lvov
