// cpm-run's CP/M harness, driven with small programs built by the project's assembler:
// the cycle count, console input and output, the CP/M 2.2 answers, the BIOS table, the
// unsupported functions and a program that writes over the harness.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <tuple>

#include <sys/wait.h>

#include "asm/assembler.h"
#include "cpm_machine.h"

namespace lvov {
namespace {

using namespace std::string_literals;

// Every program is assembled for 0100; R is a scratch area for results.
const char kPrologue[] =
    "R       EQU 1000H\n"
    "        ORG 100H\n";
// Calls the address in HL (for the BIOS entries).
const char kEpilogue[] = "CALLHL: PCHL\n";

AssembleResult build(const std::string& body) {
    AssembleResult a = assemble_text(kPrologue + body + kEpilogue, "prog.asm");
    EXPECT_TRUE(a.ok()) << (a.errors.empty() ? "" : a.errors[0].text());
    return a;
}

struct Outcome {
    std::unique_ptr<MachineState> m = std::make_unique<MachineState>();
    AssembleResult program;
    CpmResult result;
    std::vector<std::string> notes;
    uint8_t at(uint16_t a) const { return m->memory[a]; }
    // The bytes at a label of the program.
    std::string bytes(const char* label, size_t n) const {
        const uint16_t a = static_cast<uint16_t>(program.symbol(label).value_or(0));
        return std::string(m->memory.begin() + a, m->memory.begin() + a + n);
    }
};

// Runs the program with `input` handed over `chunk` bytes at a time.
Outcome run(const std::string& body, const std::string& input = "", size_t chunk = 256, int32_t slice = CPM_SLICE) {
    Outcome out;
    out.program = build(body);
    cpm_setup(*out.m, raw_binary(out.program));
    CpmOptions options;
    options.max_cycles = 50'000'000;
    options.slice = slice;
    auto pos = std::make_shared<size_t>(0);
    options.input = [input, chunk, pos](size_t max, bool) -> std::optional<std::string> {
        if (*pos >= input.size()) return std::nullopt;
        const size_t n = std::min({chunk, max, input.size() - *pos});
        std::string piece = input.substr(*pos, n);
        *pos += n;
        return piece;
    };
    options.on_note = [&out](std::string_view note) { out.notes.emplace_back(note); };
    out.result = cpm_run(*out.m, options);
    return out;
}

TEST(CpmRun, CountsExactlyUpToTheJumpToZero) {
    const Outcome jump = run("  MVI A,1\n  JMP 0\n");  // 7 + 10
    EXPECT_TRUE(jump.result.finished);
    EXPECT_EQ(jump.result.cycles, 17u);

    const Outcome ret = run("  RET\n");  // to the 0000 pushed below (0006)
    EXPECT_TRUE(ret.result.finished);
    EXPECT_EQ(ret.result.cycles, 10u);

    // Function 0 ends the program; the JMP $ after it would run until max_cycles.
    const Outcome reset = run("  MVI C,0\n  CALL 5\n  JMP $\n");
    EXPECT_TRUE(reset.result.finished);
    EXPECT_LT(reset.result.cycles, 1000u);
}

// Waits for the host (a full output buffer, input not yet handed over, a status check
// on an empty buffer) are left out, so neither the budget size nor the way the input
// arrives changes the count.
TEST(CpmRun, CountDoesNotDependOnBudgetsOrInputChunks) {
    const std::string program =
        "        LXI H,3000      ; more than the 2 KiB output buffer holds\n"
        "fill:   PUSH H\n"
        "        MVI C,2\n"
        "        MVI E,'x'\n"
        "        CALL 5\n"
        "        POP H\n"
        "        DCX H\n"
        "        MOV A,H\n"
        "        ORA L\n"
        "        JNZ fill\n"
        "again:  MVI C,11        ; status first\n"
        "        CALL 5\n"
        "        MVI C,10\n"
        "        LXI D,BUF\n"
        "        CALL 5\n"
        "        LDA BUF+1\n"
        "        ORA A\n"
        "        JZ last\n"
        "        MVI C,2\n"
        "        MVI E,'['\n"
        "        CALL 5          ; B = 0 after it\n"
        "        LDA BUF+1\n"
        "        MOV B,A\n"
        "        LXI H,BUF+2\n"
        "echo:   PUSH B\n"
        "        PUSH H\n"
        "        MOV E,M\n"
        "        MVI C,2\n"
        "        CALL 5\n"
        "        POP H\n"
        "        POP B\n"
        "        INX H\n"
        "        DCR B\n"
        "        JNZ echo\n"
        "        MVI C,2\n"
        "        MVI E,']'\n"
        "        CALL 5\n"
        "        JMP again\n"
        "last:   MVI C,1\n"
        "        CALL 5\n"
        "        STA R\n"
        "        MVI C,6\n"
        "        MVI E,0FFH\n"
        "        CALL 5\n"
        "        STA R+1\n"
        "        JMP 0\n"
        "BUF:    DB 20,0\n"
        "        DS 20,0\n";
    const std::string input = "one\ntwo\r\n\nZ";
    const Outcome whole = run(program, input, 256, CPM_SLICE);
    ASSERT_TRUE(whole.result.finished) << whole.result.stop;
    ASSERT_GE(whole.result.output.size(), 3000u);
    EXPECT_EQ(whole.result.output.find_first_not_of('x'), 3000u);
    EXPECT_EQ(whole.result.output.substr(3000), "one\r[one]two\r[two]\rZ");
    EXPECT_EQ(whole.at(0x1000), 'Z');
    EXPECT_EQ(whole.at(0x1001), 0);  // nothing left: function 6 answers 0

    for (const auto& [chunk, slice] : {std::pair<size_t, int32_t>{1, 997}, {3, 10'007}, {256, 150}}) {
        const Outcome other = run(program, input, chunk, slice);
        EXPECT_TRUE(other.result.finished) << chunk << " " << slice;
        EXPECT_TRUE(other.result.output == whole.result.output)
            << chunk << " " << slice << ": " << ::testing::PrintToString(other.result.output.substr(2990));
        EXPECT_EQ(other.result.cycles, whole.result.cycles) << chunk << " " << slice;
    }
}

TEST(CpmRun, ConsoleInputFunctions) {
    const Outcome r =
        run("        MVI C,10\n"
            "        LXI D,B1\n"
            "        CALL 5\n"
            "        MVI C,10        ; room for 3: the read ends when full\n"
            "        LXI D,B2\n"
            "        CALL 5\n"
            "        MVI C,10\n"
            "        LXI D,B3\n"
            "        CALL 5\n"
            "        MVI C,1\n"
            "        CALL 5\n"
            "        STA R\n"
            "        MVI C,1\n"
            "        CALL 5\n"
            "        STA R+1\n"
            "        MVI C,1\n"
            "        CALL 5\n"
            "        STA R+2\n"
            "        MVI C,11\n"
            "        CALL 5\n"
            "        STA R+3\n"
            "        MVI C,6\n"
            "        MVI E,0FFH\n"
            "        CALL 5\n"
            "        STA R+4\n"
            "        MVI C,11\n"
            "        CALL 5\n"
            "        STA R+5\n"
            "        MVI C,6\n"
            "        MVI E,0FFH\n"
            "        CALL 5\n"
            "        STA R+6\n"
            "        JMP 0\n"
            "B1:     DB 10,0EEH\n"
            "        DS 10,0\n"
            "B2:     DB 3,0EEH\n"
            "        DS 3,0\n"
            "B3:     DB 10,0EEH\n"
            "        DS 10,0\n",
            "abX\bc\n12345\nq\x01\r\nw");
    ASSERT_TRUE(r.result.finished) << r.result.stop;
    // Function 10: max, count, characters; BS rubs out, CR or LF or a full buffer ends.
    EXPECT_EQ(r.bytes("B1", 6), std::string("\x0A\x03"
                                            "abc\0",
                                            6));
    EXPECT_EQ(r.bytes("B2", 5),
              "\x03\x03"
              "123");
    EXPECT_EQ(r.bytes("B3", 5), std::string("\x0A\x02"
                                            "45\0",
                                            5));
    // Echo: the rub-out, the CR that ends each line, the printable and CR characters of
    // function 1; neither control characters of function 1 nor function 6 echo.
    EXPECT_EQ(r.result.output, "abX\b \bc\r123\r45\rq\r");
    EXPECT_EQ(r.at(0x1000), 'q');
    EXPECT_EQ(r.at(0x1001), 0x01);
    EXPECT_EQ(r.at(0x1002), '\r');  // CR LF arrives as one CR
    EXPECT_EQ(r.at(0x1003), 1);  // 'w' waits
    EXPECT_EQ(r.at(0x1004), 'w');
    EXPECT_EQ(r.at(0x1005), 0);  // the input has ended: nothing waits
    EXPECT_EQ(r.at(0x1006), 0);
}

TEST(CpmRun, CtrlCOnAnEmptyLineEndsAndEndOfInputStopsAReader) {
    const Outcome ctrl_c = run("  MVI C,10\n  LXI D,BUF\n  CALL 5\n  JMP $\nBUF: DB 5,0\n  DS 5\n", "\x03");
    EXPECT_TRUE(ctrl_c.result.finished) << ctrl_c.result.stop;

    // A read that can never be answered stops the run at once instead of spinning.
    const Outcome ended = run("  MVI C,1\n  CALL 5\n  JMP 0\n", "");
    EXPECT_FALSE(ended.result.finished);
    EXPECT_NE(ended.result.stop.find("input has ended"), std::string::npos) << ended.result.stop;
    EXPECT_LT(ended.result.cycles, 1000u);
}

TEST(CpmRun, VersionDiskUserAndUnsupportedFunctionsAnswerAsCpm22) {
    const Outcome r =
        run("        LXI D,5678H\n"
            "        MVI C,12\n"
            "        CALL 5\n"
            "        SHLD R\n"
            "        STA R+2\n"
            "        MOV A,B\n"
            "        STA R+3\n"
            "        MOV A,C         ; C and DE are kept\n"
            "        STA R+4\n"
            "        XCHG\n"
            "        SHLD R+5\n"
            "        MVI C,25\n"
            "        CALL 5\n"
            "        STA R+7\n"
            "        MVI C,32\n"
            "        MVI E,23H\n"
            "        CALL 5\n"
            "        STA R+8\n"
            "        MVI C,32\n"
            "        MVI E,0FFH\n"
            "        CALL 5\n"
            "        STA R+9\n"
            "        LXI H,0FFFFH\n"
            "        MVI B,0FFH\n"
            "        MVI A,0FFH\n"
            "        MVI C,15\n"
            "        CALL 5\n"
            "        SHLD R+10\n"
            "        STA R+12\n"
            "        MOV A,B\n"
            "        STA R+13\n"
            "        MVI C,15\n"
            "        CALL 5\n"
            "        MVI C,99\n"
            "        CALL 5\n"
            "        LDA 2           ; BIOS SELDSK through the table (0001) points into\n"
            "        MOV H,A\n"
            "        MVI L,9*3\n"
            "        CALL CALLHL\n"
            "        SHLD R+14\n"
            "        JMP 0\n");
    ASSERT_TRUE(r.result.finished) << r.result.stop;
    EXPECT_EQ(r.bytes("R", 16), std::string("\x22\x00\x22\x00\x0C\x78\x56\x00\x00\x03\x00\x00\x00\x00\x00\x00", 16));
    // Each unsupported function is named once, however often it is used.
    ASSERT_EQ(r.notes.size(), 3u);
    EXPECT_NE(r.notes[0].find("BDOS function 15 (open file)"), std::string::npos) << r.notes[0];
    EXPECT_NE(r.notes[1].find("BDOS function 99"), std::string::npos) << r.notes[1];
    EXPECT_NE(r.notes[2].find("BIOS entry SELDSK"), std::string::npos) << r.notes[2];
}

TEST(CpmRun, BiosConsoleEntries) {
    const Outcome r =
        run("        LDA 2\n"
            "        MOV H,A\n"
            "        MVI L,6         ; CONST\n"
            "        CALL CALLHL\n"
            "        STA R\n"
            "        LDA 2\n"
            "        MOV H,A\n"
            "        MVI L,9         ; CONIN\n"
            "        CALL CALLHL\n"
            "        STA R+1\n"
            "        LDA 2\n"
            "        MOV H,A\n"
            "        MVI L,6\n"
            "        CALL CALLHL\n"
            "        STA R+2\n"
            "        LDA 2\n"
            "        MOV H,A\n"
            "        MVI L,0CH       ; CONOUT writes C as it is\n"
            "        MVI C,9\n"
            "        CALL CALLHL\n"
            "        LDA 2\n"
            "        MOV H,A\n"
            "        MVI L,0CH\n"
            "        MVI C,'!'\n"
            "        CALL CALLHL\n"
            "        JMP 0\n",
            "k");
    ASSERT_TRUE(r.result.finished) << r.result.stop;
    EXPECT_EQ(r.at(1), 0x03);  // 0000 jumps to the WBOOT entry of a table on a page boundary
    EXPECT_EQ(r.bytes("R", 3), "\xFFk\x00"s);
    EXPECT_EQ(r.result.output, "\t!");
    EXPECT_TRUE(r.notes.empty());
}

TEST(CpmRun, TabsExpandToMultiplesOfEightOnConsoleOutput) {
    const Outcome r =
        run("        MVI C,9\n"
            "        LXI D,TEXT\n"
            "        CALL 5\n"
            "        MVI C,2\n"
            "        MVI E,9\n"
            "        CALL 5\n"
            "        MVI C,2\n"
            "        MVI E,'Y'\n"
            "        CALL 5\n"
            "        MVI C,6         ; direct output is raw\n"
            "        MVI E,9\n"
            "        CALL 5\n"
            "        JMP 0\n"
            "TEXT:   DB 'a',9,'b',13,10,'abcdefgh',9,'X',13,10,'abc',8,9,'Z',13,10,'$'\n");
    ASSERT_TRUE(r.result.finished) << r.result.stop;
    EXPECT_EQ(r.result.output,
              "a       b\r\n"
              "abcdefgh        X\r\n"
              "abc\b      Z\r\n"
              "        Y\t");
}

TEST(CpmRun, ProgramWritingOverTheHarnessIsStopped) {
    // The top of the program's memory is free to use ...
    const Outcome own = run("  LHLD 6\n  DCX H\n  MVI M,55H\n  JMP 0\n");
    EXPECT_TRUE(own.result.finished) << own.result.stop;
    EXPECT_EQ(own.at(cpm_top() - 1), 0x55);

    // ... the BDOS above it and the warm-boot jump are not.
    const Outcome bdos = run("  LHLD 6\n  INX H\n  MVI M,76H\n  JMP $\n");
    EXPECT_FALSE(bdos.result.finished);
    EXPECT_NE(bdos.result.stop.find("wrote over the BDOS/BIOS code"), std::string::npos) << bdos.result.stop;
    EXPECT_LE(bdos.result.cycles, static_cast<uint64_t>(CPM_SLICE) + 20);  // at the end of the first budget

    const Outcome vector = run("  XRA A\n  STA 0\n  JMP $\n");
    EXPECT_FALSE(vector.result.finished);
    EXPECT_NE(vector.result.stop.find("warm-boot jump at 0000"), std::string::npos) << vector.result.stop;
}

#ifdef CPM_RUN_COMMAND
// The tool: standard input scripts the program, the cycle count and the notes go to
// stderr, exit status 0 only when the program ended.
TEST(CpmRunTool, ScriptedThroughStandardInput) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("cpmrun-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    const std::string body =
        "        MVI C,10\n"
        "        LXI D,BUF\n"
        "        CALL 5\n"
        "        MVI C,9\n"
        "        LXI D,GOT\n"
        "        CALL 5\n"
        "        LDA BUF+1\n"
        "        MOV E,A\n"
        "        MVI D,0\n"
        "        LXI H,BUF+2\n"
        "        DAD D\n"
        "        MVI M,'$'\n"
        "        MVI C,9\n"
        "        LXI D,BUF+2\n"
        "        CALL 5\n"
        "        MVI C,15\n"
        "        CALL 5\n"
        "        JMP 0\n"
        "GOT:    DB 'got $'\n"
        "BUF:    DB 20,0\n"
        "        DS 21,0\n";
    {
        const std::vector<uint8_t> bytes = raw_binary(build(body));
        std::ofstream(dir / "echo.com", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        std::ofstream(dir / "in.txt", std::ios::binary) << "hi\n";
    }
    auto tool = [&](const std::string& input) {
        const std::string cmd = std::string(CPM_RUN_COMMAND) + " " + (dir / "echo.com").string() + " < " + input +
                                " > " + (dir / "out.txt").string() + " 2> " + (dir / "err.txt").string();
        const int status = std::system(cmd.c_str());
        auto slurp = [](const std::filesystem::path& p) {
            std::ifstream in(p, std::ios::binary);
            std::stringstream ss;
            ss << in.rdbuf();
            return ss.str();
        };
        return std::tuple{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir / "out.txt"), slurp(dir / "err.txt")};
    };

    const auto [status, out, err] = tool((dir / "in.txt").string());
    const Outcome same = run(body, "hi\n");
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(out, "hi\rgot hi");
    EXPECT_NE(err.find("cpm-run: BDOS function 15 (open file) is not supported"), std::string::npos) << err;
    EXPECT_NE(err.find("cycles: " + std::to_string(same.result.cycles) + "\n"), std::string::npos) << err;

    const auto [status2, out2, err2] = tool("/dev/null");
    EXPECT_EQ(status2, 1);
    EXPECT_NE(err2.find("input has ended"), std::string::npos) << err2;
    std::filesystem::remove_all(dir);
}
#endif

}  // namespace
}  // namespace lvov
