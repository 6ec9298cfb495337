// The public CP/M diagnostics on this core, and the CP/M bench they run on.
#include <gtest/gtest.h>

#include <fstream>

#include "core/errors.h"
#include "core_test_util.h"
#include "cpm_machine.h"

namespace lvov {
namespace {

// Runs one diagnostic to its end (or max_cycles) and returns what it printed.
CpmResult run_diagnostic(const std::string& name, uint64_t max_cycles) {
    const auto dir = test::cpu_tests_dir();
    if (!dir) return {};
    const auto program = read_cpm_program(*dir / name);
    auto m = std::make_unique<MachineState>();
    cpm_setup(*m, program);
    return cpm_run(*m, max_cycles);
}

#define REQUIRE_CPU_TESTS()                                                                            \
    if (!test::cpu_tests_dir())                                                                        \
    GTEST_SKIP() << "the 8080 diagnostics folder (shared/cpu-tests) is absent; set LVOV_CPU_TESTS to " \
                    "point at it"

TEST(CpmDiagnostics, Tst8080) {
    REQUIRE_CPU_TESTS();
    const CpmResult r = run_diagnostic("TST8080.COM", 100'000'000);
    EXPECT_TRUE(r.finished);
    EXPECT_NE(r.output.find("CPU IS OPERATIONAL"), std::string::npos) << r.output;
}

TEST(CpmDiagnostics, Preliminary8080) {
    REQUIRE_CPU_TESTS();
    const CpmResult r = run_diagnostic("8080PRE.COM", 100'000'000);
    EXPECT_TRUE(r.finished);
    EXPECT_NE(r.output.find("8080 Preliminary tests complete"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("ERROR"), std::string::npos) << r.output;
}

// CPUTEST stops at test 0011H: after DCR of 02 this machine leaves AC clear (bit 4 does
// not change), where the silicon would set it.
TEST(CpmDiagnostics, CputestStopsAtTheDeliberateDcrAuxiliaryCarryRule) {
    REQUIRE_CPU_TESTS();
    const CpmResult r = run_diagnostic("CPUTEST.COM", 1'000'000'000);
    EXPECT_TRUE(r.finished);
    EXPECT_NE(r.output.find("REGISTER f CONTAINS 46H"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("BUT SHOULD CONTAIN 56H"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("TEST NUMBER  0011H"), std::string::npos) << r.output;
}

// ---- the bench itself ----

TEST(CpmBench, BdosPrintsCharactersAndStringsAndEndsAtZero) {
    // MVI C,2; MVI E,'h'; CALL 5; MVI C,9; LXI D,text; CALL 5; MVI C,7; CALL 5;
    // MOV A,B; STA 1000H; RST 0
    const std::vector<uint8_t> program = {0x0E, 0x02, 0x1E, 'h',  0xCD, 0x05, 0x00, 0x0E, 0x09, 0x11,
                                          0x19, 0x01, 0xCD, 0x05, 0x00, 0x0E, 0x07, 0xCD, 0x05, 0x00,
                                          0x78, 0x32, 0x00, 0x10, 0xC7, 'i',  '!',  '$',  'x'};
    auto m = std::make_unique<MachineState>();
    cpm_setup(*m, program);
    m->B = 0x42;
    m->memory[0x1000] = 0x77;
    const CpmResult r = cpm_run(*m, 10'000'000, 1000);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.output, "hi!");
    EXPECT_EQ(m->memory[0x1000], 0x00);  // B = H = 0 on return, as in CP/M

    // The count is the program's, not a multiple of the budget.
    auto again = std::make_unique<MachineState>();
    cpm_setup(*again, program);
    EXPECT_EQ(cpm_run(*again, 10'000'000).cycles, r.cycles);
}

TEST(CpmBench, FullBufferWaitsForTheHostInsteadOfLosingText) {
    // Prints 10000 characters ('A'..'Z' repeated) with function 2; the buffer holds 2048.
    const std::vector<uint8_t> program = {
        0x21, 0x10,    0x27,  // 0100 LXI H,10000
        0x1E, 'A',  // 0103 MVI E,'A'
        0x0E, 0x02,  // 0105 MVI C,2      loop:
        0xE5,  // 0107 PUSH H
        0xD5,  // 0108 PUSH D
        0xCD, 0x05,    0x00,  // 0109 CALL 5
        0xD1,  // 010C POP D
        0xE1,  // 010D POP H
        0x1C,  // 010E INR E
        0x7B,  // 010F MOV A,E
        0xFE, 'Z' + 1,  // 0110 CPI 'Z'+1
        0xC2, 0x17,    0x01,  // 0112 JNZ 0117
        0x1E, 'A',  // 0115 MVI E,'A'
        0x2B,  // 0117 DCX H
        0x7C,  // 0118 MOV A,H
        0xB5,  // 0119 ORA L
        0xC2, 0x05,    0x01,  // 011A JNZ loop
        0xC3, 0x00,    0x00,  // 011D JMP 0
    };
    auto m = std::make_unique<MachineState>();
    cpm_setup(*m, program);
    const CpmResult r = cpm_run(*m, 100'000'000);
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.output.size(), 10000u);
    for (size_t i = 0; i < r.output.size(); ++i) ASSERT_EQ(r.output[i], 'A' + static_cast<char>(i % 26)) << i;
}

TEST(CpmBench, RefusesMissingEmptyAndOversizedPrograms) {
    const auto dir = std::filesystem::temp_directory_path() / "lvov-cpm-bench-test";
    std::filesystem::create_directories(dir);
    EXPECT_THROW(read_cpm_program(dir / "absent.com"), IoError);
    EXPECT_THROW(read_cpm_program(dir), IoError);
    { std::ofstream(dir / "empty.com", std::ios::binary); }
    EXPECT_THROW(read_cpm_program(dir / "empty.com"), RangeError);
    {
        std::ofstream big(dir / "big.com", std::ios::binary);
        const std::string bytes(cpm_max_program() + 1, '\0');
        big.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    try {
        read_cpm_program(dir / "big.com");
        ADD_FAILURE() << "an oversized program was accepted";
    } catch (const RangeError& e) {
        EXPECT_NE(std::string(e.what()).find("big.com"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find(std::to_string(cpm_max_program() + 1)), std::string::npos);
    }
    std::filesystem::remove_all(dir);

    auto m = std::make_unique<MachineState>();
    m->memory[0x0100] = 0x77;
    const std::vector<uint8_t> too_big(cpm_max_program() + 1, 0);
    EXPECT_THROW(cpm_setup(*m, too_big), RangeError);
    EXPECT_EQ(m->memory[0x0100], 0x77);  // left as it was
}

}  // namespace
}  // namespace lvov
