// The file buffers and the zero-run codec; the host file rules under them.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "../node_limits.h"
#include "core/errors.h"
#include "host/files.h"
#include "scratch_mount.h"
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

// Decodes byte by byte, as a reader of single values does.
Bytes decode(ZeroRunReader& in, size_t count) {
    Bytes out(count);
    for (auto& b : out) EXPECT_TRUE(in.read(&b, 1));
    return out;
}

Bytes zeros_then(size_t n, Bytes tail) {
    tail.insert(tail.begin(), n, 0);
    return tail;
}

TEST(ZeroRunCodec, TokenExamples) {
    ByteBufferBank bank;
    EXPECT_EQ(encode(bank, {0, 0, 0, 7}), Bytes({0x00, 0x03, 0x00, 0x07}));
    const Bytes three_zeros = {0x00, 0x03, 0x00, 0x07};
    ZeroRunReader short_run(three_zeros);
    EXPECT_EQ(decode(short_run, 4), Bytes({0, 0, 0, 7}));
    EXPECT_TRUE(short_run.at_end());
    EXPECT_EQ(encode(bank, {'a', 'b', 'c'}), Bytes({0x61, 0x62, 0x63}));
    EXPECT_EQ(encode(bank, zeros_then(65535, {5})), Bytes({0x00, 0xFF, 0xFF, 0x05}));
    EXPECT_EQ(encode(bank, zeros_then(65536, {5})), Bytes({0x00, 0xFF, 0xFF, 0x00, 0x01, 0x00, 0x05}));
    // A count of 0 wraps to 65,536 zeros, after which a raw byte can follow.
    const Bytes wrapped = {0x00, 0x00, 0x00, 0x09};
    ZeroRunReader long_run(wrapped);
    EXPECT_EQ(decode(long_run, 65536), Bytes(65536, 0));
    EXPECT_EQ(long_run.pending_zeros(), 0u);
    uint8_t raw = 0;
    EXPECT_TRUE(long_run.read_raw(raw));
    EXPECT_EQ(raw, 0x09);
    EXPECT_FALSE(long_run.read_raw(raw)) << "nothing past the span";

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
        ZeroRunReader by_byte(stream);
        ASSERT_EQ(decode(by_byte, in.size()), in) << "round " << round;
        EXPECT_EQ(by_byte.position(), stream.size()) << "every token consumed";

        ByteBufferBank block;
        block.ZeroRunBegin(1);
        block.ZeroRunPutBytes(in.data(), in.size());
        block.ZeroRunFlush();
        ASSERT_EQ(Bytes(block.data(1), block.data(1) + block.cursor(1)), stream);
        Bytes out(in.size());
        ZeroRunReader whole(stream);
        ASSERT_TRUE(whole.read(out.data(), out.size()));
        ASSERT_EQ(out, in);
        // One byte short (a literal lost or a run token cut): the decoder stops at the
        // span's end, even with the missing byte still in the memory behind it.
        ZeroRunReader cut(std::span<const uint8_t>(stream.data(), stream.size() - 1));
        EXPECT_FALSE(cut.read(out.data(), out.size()));
        EXPECT_LE(cut.position(), stream.size() - 1);
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
    LVOV_SKIP_UNDER_NODE("it enforces no file size limit");
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

// The names in a folder, sorted.
std::vector<std::string> names_in(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t mode_of(const std::filesystem::path& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

// Ends the test program when a test blocks (a FIFO opened for reading would wait for a
// writer for ever): a hang is reported as a crash, not waited out.
struct HangGuard {
    explicit HangGuard(unsigned seconds) { alarm(seconds); }
    ~HangGuard() { alarm(0); }
};

TEST(HostFiles, WritesGoThroughLinksAndKeepPermissions) {
    test::TempDir dir;
    ByteBufferBank bank;
    bank.ZeroRunBegin(1);
    bank.PutString(1, "new state");
    std::filesystem::create_directory(dir / "real");
    test::write_file(dir / "real/slot.bin", {'o', 'l', 'd'});
    chmod((dir / "real/slot.bin").c_str(), 0600);
    // QuickSave.bin -> link2 -> real/slot.bin, the first link relative.
    std::filesystem::create_symlink(dir / "real/slot.bin", dir / "link2");
    std::filesystem::create_symlink("link2", dir / "QuickSave.bin");

    bank.SaveBufferToFile(1, dir / "QuickSave.bin");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "QuickSave.bin")) << "the link stays a link";
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link2"));
    EXPECT_EQ(test::read_file(dir / "real/slot.bin"), test::Bytes({'n', 'e', 'w', ' ', 's', 't', 'a', 't', 'e'}));
    EXPECT_EQ(mode_of(dir / "real/slot.bin"), 0600u) << "a private file stays private";
    EXPECT_EQ(names_in(dir / "real"), std::vector<std::string>({"slot.bin"})) << "no temporary file left";

    // A link to a file that does not exist yet: the file is made where the link points.
    std::filesystem::create_symlink("real/fresh.bin", dir / "dangling");
    bank.SaveBufferToFile(1, dir / "dangling", false);
    EXPECT_EQ(test::read_file(dir / "real/fresh.bin").size(), 9u);
    // A loop of links is refused and changes nothing.
    std::filesystem::create_symlink("loop-b", dir / "loop-a");
    std::filesystem::create_symlink("loop-a", dir / "loop-b");
    EXPECT_THROW(bank.SaveBufferToFile(1, dir / "loop-a"), IoError);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "loop-a"));
}

// A file replaced by a write stays replaced: once its successor is moved aside or
// removed, the name is free, and no earlier contents come back under it.
TEST(HostFiles, AReplacedFileNeverComesBack) {
    test::TempDir dir;
    const auto slot = dir / "slot.bin";
    auto write = [&](uint8_t value) { write_file_atomically(slot, &value, 1, true); };
    write(1);
    write(2);
    write(3);
    const std::filesystem::path aside = move_aside(slot, ".old");
    EXPECT_FALSE(std::filesystem::exists(slot));
    EXPECT_EQ(test::read_file(aside), Bytes({3}));
    EXPECT_THROW(read_regular_file(slot, 16), IoError);
    write(4);
    EXPECT_EQ(test::read_file(slot), Bytes({4}));
    write(5);
    std::filesystem::remove(slot);
    EXPECT_FALSE(std::filesystem::exists(slot));
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>({"slot.bin.old"}));
}

TEST(HostFiles, OnlyRegularFilesAreReadOrReplacedAndNothingWaits) {
    HangGuard guard(20);
    test::TempDir dir;
    ByteBufferBank bank;
    std::filesystem::create_directory(dir / "folder");
    bank.ZeroRunBegin(1);
    bank.PutString(1, "data");
    auto expect_refused = [&bank](const std::filesystem::path& p) {
        try {
            bank.LoadFileToBuffer(1, p);
            ADD_FAILURE() << p << " was read";
        } catch (const IoError& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find(p.filename().string()), std::string::npos) << text;
            EXPECT_NE(text.find("not a regular file"), std::string::npos) << text;
        }
        EXPECT_THROW(read_regular_file(p, 1024), IoError);
        EXPECT_FALSE(output_file_problem(p).empty()) << p;
        EXPECT_EQ(bank.loaded_size(1), 0u) << "nothing was loaded from " << p;
    };
    expect_refused("/dev/urandom");  // a device: reading it would never end
    expect_refused(dir / "folder");
    // Writing over them is refused too, and they stay what they were.
    EXPECT_THROW(bank.SaveBufferToFile(1, "/dev/null"), IoError);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    EXPECT_EQ(output_file_problem(dir / "folder/"),
              "\"" + (dir / "folder/").string() + "\" names a folder, not a file");
    EXPECT_EQ(output_file_problem(dir / "new.png"), "");

    LVOV_SKIP_UNDER_NODE("it cannot make a FIFO");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    expect_refused(dir / "fifo");
    EXPECT_THROW(bank.SaveBufferToFile(1, dir / "fifo"), IoError);
    std::filesystem::create_symlink("fifo", dir / "to-fifo");
    EXPECT_THROW(bank.SaveBufferToFile(1, dir / "to-fifo"), IoError);
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo"));
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>({"fifo", "folder", "to-fifo"}));
}

TEST(HostFiles, FullOrReadOnlyFileSystemKeepsThePreviousFile) {
    test::ScratchMount disk;
    if (!disk.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
    ByteBufferBank bank;
    bank.ZeroRunBegin(1);
    for (int i = 0; i < 20000; ++i) bank.PutByte(1, static_cast<uint8_t>(i));
    const test::Bytes before(bank.data(1), bank.data(1) + 20000);
    bank.SaveBufferToFile(1, disk / "slot.bin");
    disk.fill();
    bank.ZeroRunBegin(1);
    for (int i = 0; i < 30000; ++i) bank.PutByte(1, 0x5A);
    EXPECT_THROW(bank.SaveBufferToFile(1, disk / "slot.bin"), IoError);
    EXPECT_THROW(bank.SaveBufferToFile(1, disk / "slot.bin", false), IoError);
    EXPECT_EQ(test::read_file(disk / "slot.bin"), before);
    EXPECT_EQ(names_in(disk.path()), std::vector<std::string>({"filler", "slot.bin"}));

    disk.unfill();
    if (!disk.make_read_only()) GTEST_SKIP() << "cannot remount read-only here";
    EXPECT_THROW(bank.SaveBufferToFile(1, disk / "slot.bin"), IoError);
    EXPECT_THROW(bank.SaveBufferToFile(1, disk / "other.bin"), IoError);
    EXPECT_EQ(test::read_file(disk / "slot.bin"), before);
    bank.LoadFileToBuffer(2, disk / "slot.bin");  // still readable
    EXPECT_EQ(bank.loaded_size(2), 20000u);
}

// A disk that fails to flush (an I/O error surfacing only at fsync), for as long as it
// lives; counts the flushes asked of it.
struct FailingSync {
    static int sync(int) {
        ++calls;
        errno = EIO;
        return -1;
    }
    static inline int calls = 0;
    FileSync previous = replace_file_sync(sync);
    ~FailingSync() { replace_file_sync(previous); }
};

// The durable write reports a failed flush and keeps the previous file; a write that
// need not be durable never flushes.
TEST(HostFiles, AFailedFlushKeepsThePreviousFile) {
    const FailingSync failing;
    test::TempDir dir;
    test::write_file(dir / "slot.bin", {'o', 'l', 'd'});
    ByteBufferBank bank;
    bank.ZeroRunBegin(1);
    bank.PutString(1, "new state");
    try {
        bank.SaveBufferToFile(1, dir / "slot.bin");
        ADD_FAILURE() << "a failed flush went unreported";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("slot.bin"), std::string::npos) << e.what();
    }
    EXPECT_EQ(FailingSync::calls, 1);
    EXPECT_EQ(test::read_file(dir / "slot.bin"), test::Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>({"slot.bin"})) << "no temporary file left";

    bank.SaveBufferToFile(1, dir / "slot.bin", false);
    EXPECT_EQ(FailingSync::calls, 1);
    EXPECT_EQ(test::read_file(dir / "slot.bin").size(), 9u);
}

TEST(HostFiles, AWriteKilledMidwayLeavesThePreviousFileAndItsTemporaryIsRemovedLater) {
    LVOV_SKIP_UNDER_NODE("it cannot fork a process");
    test::TempDir dir;
    test::write_file(dir / "slot.bin", test::Bytes(100, 0xAB));
    // A child process writes 50,000 bytes under a file size limit of 4,096: the system
    // kills it (SIGXFSZ) in the middle of its write.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit small{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &small);
        ByteBufferBank bank;
        bank.ZeroRunBegin(1);
        for (int i = 0; i < 50000; ++i) bank.PutByte(1, 0x11);
        try {
            bank.SaveBufferToFile(1, dir / "slot.bin");
        } catch (...) {}
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "the child was not killed mid-write";
    EXPECT_EQ(test::read_file(dir / "slot.bin"), test::Bytes(100, 0xAB));
    const auto left = names_in(dir.path());
    ASSERT_EQ(left.size(), 2u) << "the killed write left its temporary file";

    // Kept: files of a running process (pid 1) and names that only look alike.
    test::write_file(dir / ".lvov-1-0.tmp", {1});
    test::write_file(dir / ".lvov-notes.tmp", {2});
    test::write_file(dir / ".lvov-12-x.tmp", {3});
    EXPECT_EQ(remove_stale_temporaries(dir.path()), 1);
    EXPECT_EQ(names_in(dir.path()),
              std::vector<std::string>({".lvov-1-0.tmp", ".lvov-12-x.tmp", ".lvov-notes.tmp", "slot.bin"}));
    EXPECT_EQ(remove_stale_temporaries(dir / "missing"), 0);
}

TEST(HostFiles, FileNamesThatAreNotUtf8SurviveTheToolkitsText) {
    const std::string samples[] = {
        "plain.lvt",
        "\xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C.lvt",  // Cyrillic, valid UTF-8
        "\xF0\x9F\x98\x80.NevLVE",  // outside the BMP
        "\xC6\xE8\xE7\xED\xFC.lvt",  // the same word in window-1251
        "\xFF\xFE\x80",  // stray bytes
        "\xC0\xAF\xE0\x80\xAF",  // overlong forms
        "\xED\xA0\x80\xED\xB2\x80",  // encoded surrogates
        "\xF4\x90\x80\x80\xE2\x82",  // past U+10FFFF, a cut sequence
    };
    for (const std::string& s : samples) {
        const std::u16string text = escape_file_name(s);
        EXPECT_EQ(unescape_file_name(text), s);
        EXPECT_EQ(host_path(unescape_file_name(text)).native(), s) << "reaches the file system as given";
    }
    EXPECT_EQ(escape_file_name("\xD0\x96"), u"\u0416");
    EXPECT_EQ(escape_file_name("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(escape_file_name("a\xFF"), std::u16string(u"a\xDCFF"));
}

}  // namespace
}  // namespace lvov
