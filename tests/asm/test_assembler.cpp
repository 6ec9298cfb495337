// The assembler: syntax, expressions, symbols, error reports and the output formats.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "../node_limits.h"
#include "asm/assembler.h"
#include "core/errors.h"

namespace lvov {
namespace {

std::vector<uint8_t> bytes_at(const AssembleResult& r, uint16_t from, size_t n) {
    return {r.memory.begin() + from, r.memory.begin() + from + n};
}

std::string first_error(const AssembleResult& r) { return r.errors.empty() ? "" : r.errors[0].text(); }

// A scratch folder for file-based tests, removed afterwards.
struct TempDir {
    std::filesystem::path path;
    TempDir() {
        path = std::filesystem::temp_directory_path() /
               ("asmtest-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::filesystem::path write(const std::string& name, const std::string& text) const {
        std::ofstream(path / name, std::ios::binary) << text;
        return path / name;
    }
};

TEST(Expressions, NumbersOperatorsAndPrecedence) {
    struct Case {
        const char* expr;
        int32_t value;
    };
    const Case cases[] = {
        {"1+2*3", 7},        {"(1+2)*3", 9},
        {"0FFH", 255},       {"0xFF", 255},
        {"$FF", 255},        {"0ffh", 255},
        {"1010B", 10},       {"0b1010", 10},
        {"17Q", 15},         {"12D", 12},
        {"'A'", 65},         {"'AB'", 0x4142},
        {"''''", 39},        {"HIGH(1234H)", 0x12},
        {"LOW 1234H", 0x34}, {"HIGH 1234H+1", 0x13},
        {"~0 & 0FFH", 0xFF}, {"1<<4|1", 17},
        {"100/7", 14},       {"100%7", 2},
        {"5^3", 6},          {"-1 & 0FFFFH", 0xFFFF},
        {"0C000H>>8", 0xC0}, {"2+3<<1", 10},
        {"6&3|8", 10},       {"-(2-5)", 3},
        {"--4", 4},          {"0BH", 11},
    };
    for (const Case& c : cases) {
        const AssembleResult r = assemble_text(std::string("X EQU ") + c.expr + "\n", "e.asm");
        ASSERT_TRUE(r.ok()) << c.expr << ": " << first_error(r);
        EXPECT_EQ(r.symbol("x"), c.value) << c.expr;
    }
}

TEST(Expressions, DollarIsTheAddressOfTheStatement) {
    const AssembleResult r = assemble_text(
        "  ORG 8000H\n"
        "  JMP $\n"
        "  DW $, $+2\n"
        "HERE EQU $\n");
    ASSERT_TRUE(r.ok()) << first_error(r);
    EXPECT_EQ(bytes_at(r, 0x8000, 7), (std::vector<uint8_t>{0xC3, 0x00, 0x80, 0x03, 0x80, 0x05, 0x80}));
    EXPECT_EQ(r.symbol("HERE"), 0x8007);
}

TEST(Labels, ForwardReferencesLocalsColonsAndCase) {
    const AssembleResult r = assemble_text(
        "BASE EQU TOP - 10H   ; constant from a label defined later\n"
        "     ORG ORIGIN\n"
        "start:  lxi h,Table\n"
        "        jmp .done\n"
        ".done   ret\n"  // a local label without a colon, in column 0
        "Second  call start\n"
        ".done:  jnz .done\n"  // the same local name under another label
        "Table:  db 1,2,3\n"
        "TOP     equ 9000H\n"
        "ORIGIN  = 8100H\n");
    ASSERT_TRUE(r.ok()) << first_error(r);
    EXPECT_EQ(r.lowest(), 0x8100);
    EXPECT_EQ(bytes_at(r, 0x8100, 16), (std::vector<uint8_t>{0x21, 0x0D, 0x81, 0xC3, 0x06, 0x81, 0xC9, 0xCD, 0x00, 0x81,
                                                             0xC2, 0x0A, 0x81, 1, 2, 3}));
    EXPECT_EQ(r.symbol("base"), 0x8FF0);
    EXPECT_EQ(r.symbol("START.DONE"), 0x8106);
    EXPECT_EQ(r.symbol("second.done"), 0x810A);
}

TEST(Data, StringsBytesWordsAndReservedSpace) {
    const AssembleResult r = assemble_text(
        "  ORG 100H\n"
        "  DB \"a;b, c\", 0, 'It''s', 'x'+1, -1\n"
        "  DW 1234H, -2\n"
        "  DS 2\n"
        "  DS 2, 0AAH\n"
        "  DB 'Z' ; trailing comment\n");
    ASSERT_TRUE(r.ok()) << first_error(r);
    const std::vector<uint8_t> expected = {'a', ';',  'b',  ',',  ' ',  'c',  0, 'I', 't',  '\'', 's',
                                           'y', 0xFF, 0x34, 0x12, 0xFE, 0xFF, 0, 0,   0xAA, 0xAA, 'Z'};
    EXPECT_EQ(raw_binary(r), expected);
    EXPECT_FALSE(r.used[0x100 + 17]);  // DS without a fill emits nothing
}

// END ends the source: nothing after it is assembled, not even a line in error, and an
// END inside an included file ends the including one too.
TEST(Data, NothingAfterEndIsAssembled) {
    const AssembleResult r = assemble_text("  ORG 100H\n  DB 1\n  END\n  DB 2\n  JMP nowhere\n");
    ASSERT_TRUE(r.ok()) << first_error(r);
    EXPECT_EQ(raw_binary(r), std::vector<uint8_t>{1});
    EXPECT_FALSE(r.used[0x101]);

    TempDir dir;
    dir.write("part.inc", "  DB 3\n  END\n  DB 4\n");
    const AssembleResult inc = assemble_file(dir.write("main.asm", "  ORG 100H\n  INCLUDE 'part.inc'\n  DB 5\n"));
    ASSERT_TRUE(inc.ok()) << first_error(inc);
    EXPECT_EQ(raw_binary(inc), std::vector<uint8_t>{3});
}

TEST(Files, IncludeAndIncbinResolveBesideTheIncludingFile) {
    TempDir dir;
    std::filesystem::create_directories(dir.path / "lib");
    dir.write("lib/defs.inc", "PORT EQU 0C1H\n  INCLUDE \"more.inc\"\n");
    dir.write("lib/more.inc", "VALUE EQU 42\n");
    dir.write("lib/data.bin", std::string("\x01\x02\xFF", 3));
    const auto main = dir.write("main.asm",
                                "  INCLUDE \"lib/defs.inc\"\n"
                                "  ORG 8000H\n"
                                "  MVI A,VALUE\n"
                                "  OUT PORT\n"
                                "  INCBIN 'lib/data.bin'\n");
    const AssembleResult r = assemble_file(main);
    ASSERT_TRUE(r.ok()) << first_error(r);
    EXPECT_EQ(raw_binary(r), (std::vector<uint8_t>{0x3E, 42, 0xD3, 0xC1, 0x01, 0x02, 0xFF}));
}

// Each error names the file, the line and what is wrong, and leaves no bytes behind.
TEST(Errors, NameFileLineAndProblem) {
    struct Case {
        const char* source;
        int line;
        const char* message;
    };
    const Case cases[] = {
        {"  NOP\n  MOOV A,B\n", 2, "unknown mnemonic 'MOOV'"},
        {"  MOV A,Q\n", 1, "bad operand 'Q' for MOV"},
        {"  MOV M,M\n", 1, "bad operands 'M,M' for MOV"},
        {"  PUSH SP\n", 1, "bad operand 'SP' for PUSH"},
        {"  MOV A\n", 1, "MOV takes 2 operands, found 1"},
        {"  JMP nowhere\n", 1, "undefined label 'nowhere'"},
        {"a: NOP\n\na: NOP\n", 3, "duplicate label 'a' (first defined at p.asm:1)"},
        {"A EQU 1\na EQU 2\n", 2, "duplicate label 'a'"},
        {"  MVI A,256\n", 1, "value out of range: 256 is not a byte"},
        {"  DB -129\n", 1, "value out of range"},
        {"  LXI H,10000H\n", 1, "value out of range: 65536 is not a word"},
        {"  RST 8\n", 1, "value out of range: 8 is not an RST number"},
        {"  ORG -1\n", 1, "value out of range"},
        {"  DB 1,,2\n", 1, "missing value in DB"},
        {"  DW (1+2\n", 1, "missing ')'"},
        {"  DB 1/0\n", 1, "division by zero"},
        {"  DB 'abc\n", 1, "missing closing quote"},
        {"X EQU Y\nY EQU X\n", 1, "circular definition"},
        {"  ORG 0FFFFH\n  DW 0\n", 2, "code runs past address FFFF"},
        {"  ORG 10H\n  NOP\n  ORG 10H\n  NOP\n", 4, "address 0010H is assembled twice"},
        {"  INCLUDE \"no-such-file.inc\"\n", 1, "cannot open include file"},
        {"  NOP extra\n", 1, "NOP takes 0 operands, found 1"},
    };
    for (const Case& c : cases) {
        const AssembleResult r = assemble_text(c.source, "p.asm");
        ASSERT_FALSE(r.ok()) << c.source;
        EXPECT_EQ(r.errors[0].file, "p.asm") << c.source;
        EXPECT_EQ(r.errors[0].line, c.line) << c.source;
        EXPECT_NE(r.errors[0].message.find(c.message), std::string::npos) << c.source << " -> " << r.errors[0].text();
        EXPECT_TRUE(r.empty()) << c.source;
    }
}

TEST(Errors, AllAreReportedAndIncludedFilesAreNamed) {
    TempDir dir;
    dir.write("inner.inc", "  NOP\n  BAD\n");
    const auto main = dir.write("outer.asm", "  FOO\n  INCLUDE \"inner.inc\"\n  MVI A,999\n");
    const AssembleResult r = assemble_file(main);
    ASSERT_EQ(r.errors.size(), 3u);
    EXPECT_EQ(r.errors[0].text(), main.string() + ":1: error: unknown mnemonic 'FOO'");
    EXPECT_EQ(r.errors[1].file, (dir.path / "inner.inc").string());
    EXPECT_EQ(r.errors[1].line, 2);
    EXPECT_EQ(r.errors[2].line, 3);
}

// A statement that fails still takes its room, so the labels after it do not move and
// the mistake is reported once, not again as labels that "do not settle"; a line met
// again through a second INCLUDE of its file is reported once too.
TEST(Errors, OneMistakeGivesOneMessage) {
    const char* const sources[] = {
        "  CPI B\nA1: NOP\n  JMP A1\nA2: DB 1\n  DW A2\n",
        "  MVI A,256\nA1: NOP\n  JMP A1\n",
        "  DB 1, -129, 'xy'\nA1: NOP\n  JMP A1\n",
        "  DW 1, nowhere\nA1: NOP\n  JMP A1\n",
        "  ORG -1\nA1: NOP\n  JMP A1\n",
        "  ORG 10H\n  NOP\n  ORG 10H\n  LXI H,0\nA1: NOP\n  JMP A1\n",
    };
    for (const char* source : sources) {
        const AssembleResult r = assemble_text(source, "p.asm");
        ASSERT_EQ(r.errors.size(), 1u) << source << first_error(r) << "\n" << r.errors.back().text();
        EXPECT_EQ(r.errors[0].line, std::string(source).find("ORG 10H") != std::string::npos ? 4 : 1) << source;
    }

    TempDir dir;
    dir.write("bad.inc", "  CPI B\n");
    const auto main = dir.write("main.asm", "  INCLUDE \"bad.inc\"\n  INCLUDE \"bad.inc\"\nX: NOP\n  JMP X\n");
    const AssembleResult r = assemble_file(main);
    ASSERT_EQ(r.errors.size(), 1u) << first_error(r);
    EXPECT_EQ(r.errors[0].file, (dir.path / "bad.inc").string());
    EXPECT_NE(r.errors[0].message.find("bad operand 'B' for CPI"), std::string::npos) << r.errors[0].message;
}

// INCLUDE cycles are refused where they close; an INCLUDE tree too large for any 64 KiB
// program stops the assembly with one message instead of running for minutes.
TEST(Files, IncludeCyclesAndRunawayExpansionAreRefused) {
    TempDir dir;
    const auto self = dir.write("self.asm",
                                "  NOP\n  INCLUDE \"self.asm\"\n  INCLUDE \"self.asm\"\n"
                                "  INCLUDE \"self.asm\"\n  INCLUDE \"self.asm\"\n");
    const AssembleResult r1 = assemble_file(self);
    ASSERT_EQ(r1.errors.size(), 4u) << first_error(r1);  // one for each INCLUDE line
    EXPECT_EQ(r1.errors[0].line, 2);
    EXPECT_NE(r1.errors[0].message.find("INCLUDE cycle"), std::string::npos) << r1.errors[0].message;

    dir.write("a.inc", "  NOP\n  INCLUDE \"sub/b.inc\"\n");
    std::filesystem::create_directories(dir.path / "sub");
    dir.write("sub/b.inc", "  INCLUDE \"../a.inc\"\n");
    const AssembleResult r2 = assemble_file(dir.write("main.asm", "  INCLUDE \"a.inc\"\n"));
    ASSERT_EQ(r2.errors.size(), 1u) << first_error(r2);
    EXPECT_EQ(r2.errors[0].file, (dir.path / "sub" / "b.inc").string());
    EXPECT_NE(r2.errors[0].message.find("INCLUDE cycle"), std::string::npos);

    // 16 INCLUDEs of 16 INCLUDEs ... five levels deep: over a million lines.
    for (int level = 1; level <= 5; ++level) {
        std::string text;
        for (int i = 0; i < 16; ++i) text += "  INCLUDE \"l" + std::to_string(level + 1) + ".inc\"\n";
        dir.write("l" + std::to_string(level) + ".inc", text);
    }
    dir.write("l6.inc", "; empty\n");
    const AssembleResult r3 = assemble_file(dir.write("fan.asm", "  ORG 100H\n  INCLUDE \"l1.inc\"\n"));
    ASSERT_EQ(r3.errors.size(), 1u) << first_error(r3);
    EXPECT_EQ(r3.errors[0].line, 2);
    EXPECT_NE(r3.errors[0].message.find("runs past 1048576 lines"), std::string::npos) << r3.errors[0].message;
}

// Only regular files are read (a FIFO would block, a device never ends), and INCBIN
// takes at most the 64 KiB of the address space.
TEST(Files, OnlyRegularFilesOfSensibleSizeAreRead) {
    TempDir dir;
    dir.write("big.bin", std::string(0x10001, 'x'));
    dir.write("full.bin", std::string(0x10000, 'y'));
    auto expect_error = [&](const std::string& source, const std::string& message) {
        const AssembleResult r = assemble_file(dir.write("main.asm", source));
        ASSERT_EQ(r.errors.size(), 1u) << source << first_error(r);
        EXPECT_NE(r.errors[0].message.find(message), std::string::npos) << source << r.errors[0].message;
    };
    expect_error("  INCBIN \"/dev/zero\"\n", "'/dev/zero' is a device, not a regular file");
    expect_error("  INCBIN \"big.bin\"\n", "is 65537 bytes long; at most 65536");
    expect_error("  INCLUDE \".\"\n", "is a folder");
    const AssembleResult full = assemble_file(dir.write("main.asm", "  INCBIN \"full.bin\"\n"));
    ASSERT_TRUE(full.ok()) << first_error(full);
    EXPECT_EQ(full.highest(), 0xFFFF);

    LVOV_SKIP_UNDER_NODE("it cannot make a FIFO");
    const auto fifo = dir.path / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    expect_error("  INCBIN \"pipe\"\n", "is a FIFO, not a regular file");
    expect_error("  INCLUDE \"pipe\"\n", "include file '" + fifo.string() + "' is a FIFO");
    const AssembleResult source = assemble_file(fifo);
    ASSERT_EQ(source.errors.size(), 1u);
    EXPECT_NE(source.errors[0].message.find("is a FIFO"), std::string::npos) << source.errors[0].message;
}

TEST(Output, TapeImageLayout) {
    const AssembleResult r = assemble_text("  ORG 8000H\nGO: MVI A,1\n  JMP GO\n");
    ASSERT_TRUE(r.ok());
    const std::vector<uint8_t> t = tape_image(r, "DEMO", 0x8002);
    const std::vector<uint8_t> expected = {'L',  'V',  'O',  'V',  '/',  '2',  '.',  '0',  '/',
                                           0xD0, 'D',  'E',  'M',  'O',  ' ',  ' ',  0x00, 0x80,
                                           0x04, 0x80, 0x02, 0x80, 0x3E, 0x01, 0xC3, 0x00, 0x80};
    EXPECT_EQ(t, expected);
    EXPECT_THROW(tape_image(r, "TOOLONG", 0x8000), RangeError);
    EXPECT_THROW(tape_image(assemble_text("X EQU 1\n"), "E", 0), RangeError);
}

// A run address outside the tape's bytes is named in hexadecimal with the range it
// misses; a plain number that was probably meant as hexadecimal gets the hint.
TEST(Output, RunAddressOutsideTheBytesIsWarnedAbout) {
    const AssembleResult r = assemble_text("  ORG 8000H\nSTART: NOP\n  JMP START\n");
    ASSERT_TRUE(r.ok()) << first_error(r);
    EXPECT_EQ(run_address_warning(r, "START", 0x8000), "");
    EXPECT_EQ(run_address_warning(r, "8003H", 0x8003), "");
    EXPECT_EQ(run_address_warning(r, "8000", 8000),
              "run address 8000 is 1F40H, outside the assembled bytes 8000H-8003H (a plain number is decimal; "
              "write 8000H for hexadecimal)");
    // No hint where the decimal reading is the hexadecimal one, or the number has a suffix.
    EXPECT_EQ(run_address_warning(r, "9", 9), "run address 9 is 0009H, outside the assembled bytes 8000H-8003H");
    EXPECT_EQ(run_address_warning(r, "8004H", 0x8004),
              "run address 8004H is 8004H, outside the assembled bytes 8000H-8003H");
}

TEST(Output, FixedImageIsExactlyTheWindow) {
    const AssembleResult r = assemble_text("  ORG 0C000H\n  JMP 0C000H\n  ORG 0FFFFH\n  DB 77H\n");
    ASSERT_TRUE(r.ok());
    const std::vector<uint8_t> image = fixed_image(r, 0xC000, 16384);
    ASSERT_EQ(image.size(), 16384u);
    EXPECT_EQ(image[0], 0xC3);
    EXPECT_EQ(image[3], 0x00);
    EXPECT_EQ(image[16383], 0x77);
    EXPECT_THROW(fixed_image(r, 0xC000, 0x3FFF), RangeError);  // FFFF falls outside
    EXPECT_THROW(fixed_image(r, 0xC001, 0x3FFF), RangeError);  // C000 falls outside
    EXPECT_THROW(fixed_image(r, 0xC000, 0x4001), RangeError);  // past FFFF
    EXPECT_THROW(fixed_image(r, 0xFFFF, 0xFFFFFFFF), RangeError);  // the end wraps around 32 bits
    try {
        fixed_image(r, 0x12345, 1);
        ADD_FAILURE() << "a window from 12345H was taken";
    } catch (const RangeError& e) {
        EXPECT_NE(std::string(e.what()).find("from 12345H"), std::string::npos) << e.what();
    }
    // Raw output spans lowest to highest with a zero-filled gap.
    EXPECT_EQ(raw_binary(r).size(), 16384u);
}

TEST(Output, ListingShowsAddressesBytesAndConstants) {
    const AssembleResult r = assemble_text("; note\nK EQU 0BEEFH\n  ORG 8000H\nGO: LXI H,K\n  DB 1,2,3,4,5\n");
    ASSERT_TRUE(r.ok());
    const std::string text = listing_text(r);
    EXPECT_NE(text.find("    1                     ; note\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    2  =BEEF              K EQU"), std::string::npos) << text;
    EXPECT_NE(text.find("    4   8000  21 EF BE    GO:"), std::string::npos) << text;
    EXPECT_NE(text.find("    5   8003  01 02 03 04   DB 1,2,3,4,5\n        8007  05\n"), std::string::npos) << text;
    EXPECT_NE(text.find("GO                       8000H"), std::string::npos) << text;
}

#ifdef ASM8080_COMMAND
// The tool: exit status, messages on stderr and no output file on errors.
TEST(Tool, WritesOnSuccessOnlyAndEvaluatesRunLabels) {
    TempDir dir;
    const auto good = dir.write("good.asm", "  ORG 8000H\n  NOP\nENTRY: JMP ENTRY\n");
    const auto bad = dir.write("bad.asm", "  ORG 8000H\n  JMP nowhere\n");
    const std::string tool = ASM8080_COMMAND;
    const auto out = dir.path / "out.lvt";
    const auto err = dir.path / "err.txt";
    auto run = [&](const std::string& args) { return std::system((tool + " " + args + " 2>" + err.string()).c_str()); };
    auto text_of = [](const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    EXPECT_EQ(run(good.string() + " -o " + out.string() + " --lvt GOOD --run ENTRY"), 0);
    std::string t = text_of(out);
    ASSERT_EQ(t.size(), 26u);
    EXPECT_EQ(uint8_t(t[20]) | (uint8_t(t[21]) << 8), 0x8001);
    EXPECT_EQ(text_of(err), "");

    // A run address outside the code is written as given, with a warning.
    EXPECT_EQ(run(good.string() + " -o " + out.string() + " --lvt GOOD --run 8000"), 0);
    t = text_of(out);
    ASSERT_EQ(t.size(), 26u);
    EXPECT_EQ(uint8_t(t[20]) | (uint8_t(t[21]) << 8), 8000);
    EXPECT_NE(text_of(err).find("warning: run address 8000 is 1F40H, outside"), std::string::npos) << text_of(err);

    const auto out2 = dir.path / "bad.bin";
    EXPECT_NE(run(bad.string() + " -o " + out2.string()), 0);
    EXPECT_FALSE(std::filesystem::exists(out2));
    const std::string msg = text_of(err);
    EXPECT_NE(msg.find("bad.asm:2: error: undefined label 'nowhere'"), std::string::npos) << msg;

    EXPECT_NE(run(good.string() + " -o " + out2.string() + " --image 9000H 100H"), 0);
    EXPECT_FALSE(std::filesystem::exists(out2));

    // An output that is not a regular file is left alone, not replaced by one.
    LVOV_SKIP_UNDER_NODE("it cannot make a FIFO");
    const auto fifo = dir.path / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(run(good.string() + " -o " + fifo.string()), 0);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}
#endif

}  // namespace
}  // namespace lvov
