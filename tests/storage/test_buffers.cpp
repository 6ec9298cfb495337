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
    tail.insert(tail.begin(), n, 0);
    return tail;
}

TEST(ZeroRunCodec, TokenExamples) {
    ByteBufferBank bank;
    EXPECT_EQ(encode(bank, {0, 0, 0, 7}), Bytes({0x00, 0x03, 0x00, 0x07}));
    EXPECT_EQ(decode(bank, {0x00, 0x03, 0x00, 0x07}, 4), Bytes({0, 0, 0, 7}));
    EXPECT_EQ(bank.zero_run(), 0);
    EXPECT_EQ(encode(bank, {'a', 'b', 'c'}), Bytes({0x61, 0x62, 0x63}));
    EXPECT_EQ(encode(bank, zeros_then(65535, {5})), Bytes({0x00, 0xFF, 0xFF, 0x05}));
    EXPECT_EQ(encode(bank, zeros_then(65536, {5})), Bytes({0x00, 0xFF, 0xFF, 0x00, 0x01, 0x00, 0x05}));
    // A count of 0 wraps to 65,536 zeros, after which a raw byte can follow.
    EXPECT_EQ(decode(bank, {0x00, 0x00, 0x00, 0x09}, 65536), Bytes(65536, 0));
    EXPECT_EQ(bank.zero_run(), 0);
    EXPECT_EQ(bank.GetByte(1), 0x09);

    // Zeros stay pending until a non-zero byte, the 65535 limit or the flush.
    EXPECT_TRUE(encode(bank, {0, 0}, false).empty());
    bank.ZeroRunFlush();
    EXPECT_EQ(Bytes(bank.data(1), bank.data(1) + bank.cursor(1)), Bytes({0x00, 0x02, 0x00}));
    EXPECT_EQ(encode(bank, Bytes(65535 * 2 + 1, 0)), Bytes({0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x01, 0x00}));
}

TEST(ZeroRunCodec, RandomStreamsRoundTripByByteAndByBlock) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 40; ++round) {
        Bytes in;
        for (int p = 1 + rng() % 12; p > 0; --p) {
            const size_t limits[] = {1, 2, 256, 65534, 65535, 65536, 65537, 131070, 131071};
            in.insert(in.end(), rng() % 3 == 0 ? limits[rng() % 9] : rng() % 5, 0);
            for (int k = rng() % 6; k > 0; --k) in.push_back(1 + rng() % 255);
        }
        ByteBufferBank bank;
        const Bytes stream = encode(bank, in);
        ASSERT_EQ(decode(bank, stream, in.size()), in) << "round " << round;
        EXPECT_EQ(bank.cursor(1), stream.size()) << "every token consumed";

        ByteBufferBank block;
        block.ZeroRunBegin(1);
        block.ZeroRunPutBytes(in.data(), in.size());
        block.ZeroRunFlush();
        ASSERT_EQ(Bytes(block.data(1), block.data(1) + block.cursor(1)), stream);
        Bytes out(in.size());
        block.set_cursor(1, 0);
        ASSERT_TRUE(block.ZeroRunGetBytes(out.data(), out.size(), stream.size()));
        ASSERT_EQ(out, in);
        // One byte short (a literal lost or a run token cut): the block decoder stops.
        block.set_cursor(1, 0);
        EXPECT_FALSE(block.ZeroRunGetBytes(out.data(), out.size(), stream.size() - 1));
    }
}

TEST(ByteBuffers, NothingIsReadOrWrittenOutsideABuffer) {
    ByteBufferBank bank;
    EXPECT_THROW(bank.PutByte(0, 1), RangeError);
    EXPECT_THROW(bank.ZeroRunBegin(4), RangeError);
    bank.set_cursor(3, BUFFER_CAPACITY - 1);
    bank.PutByte(3, 0x42);
    EXPECT_THROW(bank.PutByte(3, 0x43), RangeError);
    EXPECT_THROW(bank.GetByte(3), RangeError);
    bank.set_cursor(3, BUFFER_CAPACITY - 1);
    EXPECT_THROW(bank.GetWord(3), RangeError);
}

TEST(ByteBuffers, FilesInAndOut) {
    test::TempDir dir;
    ByteBufferBank bank;
    bank.ZeroRunBegin(1);
    bank.SaveBufferToFile(1, dir / "empty.bin");
    EXPECT_EQ(std::filesystem::file_size(dir / "empty.bin"), 0u);
    bank.PutString(1, "keep");
    bank.LoadFileToBuffer(1, dir / "empty.bin");
    EXPECT_EQ(bank.loaded_size(1), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bank.data(1)), 4), "keep") << "old contents stay";

    Bytes big(1500000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    test::write_file(dir / "big.bin", big);
    bank.LoadFileToBuffer(2, dir / "big.bin");
    EXPECT_EQ(bank.loaded_size(2), BUFFER_CAPACITY);
    EXPECT_TRUE(std::equal(bank.data(2), bank.data(2) + BUFFER_CAPACITY, big.begin()));
    bank.set_cursor(2, 10);  // only the positions before the cursor are written
    bank.SaveBufferToFile(2, dir / "big.bin");
    EXPECT_EQ(test::read_file(dir / "big.bin"), Bytes(big.begin(), big.begin() + 10));

    // A name as long as the file system allows is written like any other.
    const std::string longest = std::string(255 - 7, 'g') + ".NevLVE";
    bank.SaveBufferToFile(2, dir / longest);
    EXPECT_EQ(test::read_file(dir / longest), Bytes(big.begin(), big.begin() + 10));
}

TEST(ByteBuffers, FailuresNameTheFileAndKeepWhatWasThere) {
    test::TempDir dir;
    ByteBufferBank bank;
    try {
        bank.LoadFileToBuffer(1, dir / "missing.lvt");
        ADD_FAILURE() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("missing.lvt"), std::string::npos) << e.what();
    }
    EXPECT_THROW(bank.LoadFileToBuffer(1, dir.path()), IoError);  // a folder

    std::filesystem::create_directory(dir / "taken");
    bank.ZeroRunBegin(1);
    bank.PutString(1, "data");
    EXPECT_THROW(bank.SaveBufferToFile(1, dir / "taken"), IoError);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken"));
    EXPECT_THROW(bank.SaveBufferToFile(1, dir / "no-such-folder" / "x.bin"), IoError);

    // Running out of space mid-write (a file size limit stands in for a full disk)
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
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "no temporary file left";
}

}  // namespace
}  // namespace lvov
