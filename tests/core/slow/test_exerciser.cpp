// Long runs: the full 8080 instruction exerciser (about 23.8 billion cycles) and a run
// with the largest budget the interpreter accepts.
#include <gtest/gtest.h>

#include "core_test_util.h"
#include "cpm_machine.h"

namespace lvov {
namespace {

TEST(CpmDiagnosticsSlow, ExerciserWithSzpcMasksPassesEveryGroup) {
    const auto dir = test::cpu_tests_dir();
    if (!dir) GTEST_SKIP() << "the 8080 diagnostics folder (shared/cpu-tests) is absent; set LVOV_CPU_TESTS";
    const auto program = read_cpm_program(*dir / "8080EXM-SZPC.COM");
    auto m = std::make_unique<MachineState>();
    cpm_setup(*m, program);
    const CpmResult r = cpm_run(*m, 40'000'000'000ull);
    EXPECT_TRUE(r.finished);
    size_t passes = 0;
    for (size_t at = r.output.find("PASS!"); at != std::string::npos; at = r.output.find("PASS!", at + 1)) ++passes;
    EXPECT_EQ(passes, 25u) << r.output;
    EXPECT_EQ(r.output.find("ERROR"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Tests complete"), std::string::npos) << r.output;
}

TEST(I8080Slow, BudgetsAboveTheCapStayFinite) {
    auto mp = test::ram_mode_machine();
    test::put(*mp, 0x1000, {0xC3, 0x00, 0x10});  // JMP 1000
    i8080_do_opcodes(*mp, INT32_MAX);
    EXPECT_GE(mp->cycles, MAX_BUDGET);
    EXPECT_LT(mp->cycles, MAX_BUDGET + 18);
    EXPECT_EQ(mp->PC, 0x1000);
}

}  // namespace
}  // namespace lvov
