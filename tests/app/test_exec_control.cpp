// Execution control: breakpoints, watchpoints and port breakpoints with conditions and
// hit counts, the steps, the trace and the cycle counter, on small programs assembled
// here; and the checking interpreter loop against the plain one.
#include <gtest/gtest.h>

#include <memory>
#include <string_view>

#include "app/exec_control.h"
#include "asm/assembler.h"
#include "core/errors.h"
#include "core/i8080.h"

namespace lvov {
namespace {

// A machine in RAM mode (or video mode) with a program assembled into its memory and PC
// at the label START.
struct Program {
    std::unique_ptr<MachineState> m = std::make_unique<MachineState>();
    AssembleResult code;
    ExecControl exec;

    explicit Program(std::string_view source, bool ram_mode = true) : code(assemble_text(source)) {
        EXPECT_TRUE(code.ok()) << (code.errors.empty() ? "" : code.errors.front().text());
        init_RAM(*m);
        m->port_latches[LATCH_SYSTEM_CONTROL] = ram_mode ? 0xFF : 0x00;
        for (uint32_t a = 0; a < MEMORY_SIZE; ++a) {
            if (code.used[a]) m->memory[a] = code.memory[a];
        }
        m->PC = at("START");
    }
    uint16_t at(std::string_view label) const { return static_cast<uint16_t>(code.symbol(label).value_or(0)); }
    bool run(int32_t budget = 68000) { return exec.run(*m, budget); }
};

// A loop counting A up from 0, calling a routine that keeps a copy at 9000.
constexpr std::string_view COUNTER = R"(
        ORG 100H
START:  LXI SP,0B000H
        XRA A
LOOP:   INR A
        CALL KEEP
        JMP LOOP
KEEP:   STA 9000H
        RET
)";

TEST(ExecBreakpoints, StopBeforeTheInstructionAndGoOnPastIt) {
    Program p(COUNTER);
    const uint16_t keep = p.at("KEEP");
    const int id = p.exec.add(BreakKind::Exec, keep, keep);

    // The frame stops before KEEP, at an instruction boundary, with the cycles run so far.
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, keep);
    EXPECT_EQ(p.m->A, 1);
    EXPECT_EQ(p.m->cycles, 10 + 4 + 5 + 17);  // LXI, XRA, INR, CALL
    EXPECT_EQ(p.exec.find(id)->hits, 1u);
    EXPECT_EQ(p.exec.last_stop(), StopKind::Breakpoint);
    EXPECT_EQ(p.exec.last_hit()->id, id);
    EXPECT_EQ(register_line(*p.m), "PC=010B SP=AFFE A=01 F=02 BC=0000 DE=0000 HL=0000 cycles=36");

    // Going on does not stop at the same instruction again at once: the next stop is the
    // next time round the loop, and the next frame starts from 0.
    p.exec.continue_run();
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, keep);
    EXPECT_EQ(p.m->A, 2);
    EXPECT_EQ(p.m->cycles, 13 + 10 + 10 + 5 + 17);  // STA, RET, JMP, INR, CALL
    EXPECT_EQ(p.exec.find(id)->hits, 2u);

    // A condition lets the machine run on until it holds; a disabled breakpoint neither
    // stops nor counts.
    p.exec.set_condition(id, " A = 05 ");
    p.exec.continue_run();
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->A, 5);
    EXPECT_EQ(p.exec.find(id)->hits, 3u);
    EXPECT_EQ(p.exec.find(id)->condition_text, "A = 05");
    p.exec.set_enabled(id, false);
    p.exec.continue_run();
    EXPECT_FALSE(p.run());
    EXPECT_EQ(p.exec.find(id)->hits, 3u);
    EXPECT_GE(p.m->cycles, 68000);

    // After a pause the machine goes on past the breakpoint it stopped at, but not past
    // one at a new PC (a program loaded meanwhile that starts there).
    p.exec.set_enabled(id, true);
    p.exec.set_condition(id, "");
    ASSERT_TRUE(p.run());
    p.exec.note_break(*p.m);
    p.exec.go_on(*p.m);
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->cycles, 55);  // one round, not a stop at once
    const int start = p.exec.add(BreakKind::Exec, 0x0100, 0x0100);
    p.m->PC = 0x0100;
    p.exec.go_on(*p.m);
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->cycles, 0);
    EXPECT_EQ(p.exec.last_hit()->id, start);
}

TEST(ExecBreakpoints, AStopLeavesTheMachineAsAPlainRunOfThoseCyclesWould) {
    Program p(COUNTER);
    Program plain(COUNTER);
    p.exec.add(BreakKind::Exec, p.at("KEEP"), p.at("KEEP"), "A=2A");
    ASSERT_TRUE(p.run(1'000'000));
    i8080_do_opcodes(*plain.m, p.m->cycles);
    EXPECT_EQ(plain.m->cycles, p.m->cycles);
    EXPECT_EQ(plain.m->PC, p.m->PC);
    EXPECT_EQ(plain.m->SP, p.m->SP);
    EXPECT_EQ(plain.m->A, 0x2A);
    EXPECT_EQ(plain.m->F, p.m->F);
    EXPECT_EQ(plain.m->memory, p.m->memory);
}

TEST(ExecWatchpoints, StopAfterTheAccessAsTheProcessorSeesMemory) {
    constexpr std::string_view source = R"(
            ORG 8000H
    START:  LXI SP,0A000H
            MVI A,77H
            STA 4000H        ; video memory in video mode
    AFTER1: STA 0C000H       ; dropped by the firmware area, still a write
    AFTER2: LXI H,9000H
            MOV B,M          ; a read
    AFTER3: LXI SP,9002H
            PUSH B           ; two bytes, 9000 and 9001: one hit
    AFTER4: JMP 9010H
            ORG 9010H
            NOP              ; executing in a watched range is no read
            NOP
            OUT 0C2H         ; A = 77: RAM mode from here
    AFTER5: STA 4000H
    AFTER6: JMP AFTER6
    )";
    Program p(source, false);
    const int video = p.exec.add(BreakKind::Write, 0x4000, 0x4000);
    const int rom = p.exec.add(BreakKind::Write, 0xC000, 0xC000);
    const int read = p.exec.add(BreakKind::Read, 0x9000, 0x90FF);
    const int stack = p.exec.add(BreakKind::Write, 0x9000, 0x9001);

    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, p.at("AFTER1"));
    EXPECT_EQ(p.m->vram[0], 0x77);
    EXPECT_EQ(p.exec.find(video)->hits, 1u);

    p.exec.continue_run();
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, p.at("AFTER2"));
    EXPECT_EQ(p.exec.find(rom)->hits, 1u);

    p.exec.continue_run();
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, p.at("AFTER3"));
    EXPECT_EQ(p.exec.find(read)->hits, 1u);

    p.exec.continue_run();
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, p.at("AFTER4"));
    EXPECT_EQ(p.exec.find(stack)->hits, 1u);
    EXPECT_EQ(p.exec.find(read)->hits, 1u);

    // The write to 4000 in RAM mode goes to memory, and the watch still sees it.
    p.exec.continue_run();
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, p.at("AFTER6"));
    EXPECT_EQ(p.m->memory[0x4000], 0x77);
    EXPECT_EQ(p.exec.find(video)->hits, 2u);
    EXPECT_EQ(p.exec.find(read)->hits, 1u);
}

TEST(ExecPortBreakpoints, InAndOutWithACondition) {
    constexpr std::string_view source = R"(
            ORG 100H
    START:  MVI B,0
    LOOP:   INR B
            MOV A,B
            OUT 0C1H
    AFTER:  IN 0C2H
    AFTER2: JMP LOOP
    )";
    Program p(source);
    const int out = p.exec.add(BreakKind::Out, 0xC1, 0xC1, "B=3");
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, p.at("AFTER"));
    EXPECT_EQ(p.m->port_latches[0xC1], 3);
    EXPECT_EQ(p.exec.find(out)->hits, 1u);

    p.exec.set_enabled(out, false);
    const int in = p.exec.add(BreakKind::In, 0xC2, 0xC2);
    p.exec.continue_run();
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, p.at("AFTER2"));
    EXPECT_EQ(p.exec.find(in)->hits, 1u);
    EXPECT_THROW(p.exec.add(BreakKind::In, 0x100, 0x100), RangeError);
    EXPECT_THROW(p.exec.add(BreakKind::Read, 0x5000, 0x4000), RangeError);
    EXPECT_THROW(p.exec.add(BreakKind::Exec, 0, 0, "Q=1"), ConversionError);
    EXPECT_EQ(p.exec.breakpoints().size(), 2u);
}

TEST(ExecConditions, RegistersPairsAndFlags) {
    MachineState m;
    m.A = 0x05, m.B = 0x12, m.C = 0x34, m.D = 0x56, m.E = 0x78, m.H = 0x40, m.L = 0x9A, m.SP = 0xAFFE, m.PC = 0x0123;
    m.F = FLAG_Z | FLAG_CY;
    const auto holds = [&m](std::string_view text) { return parse_condition(text)->holds(m); };
    EXPECT_TRUE(holds("A=05"));
    EXPECT_TRUE(holds("a=5"));
    EXPECT_FALSE(holds("A!=05"));
    // Every register and pair reads its own value, the pairs high byte first.
    for (const char* text : {"B=12", "C=34", "D=56", "E=78", "H=40", "L=9A", "F=41", "BC=1234", "DE=5678", "HL=409A"})
        EXPECT_TRUE(holds(text)) << text;  // C is the register; the carry is CY
    for (const char* text : {"BC=3412", "DE=7856", "HL=9A40", "DE=0000"}) EXPECT_FALSE(holds(text)) << text;
    EXPECT_TRUE(holds("HL=$409A"));
    EXPECT_TRUE(holds("SP=0xAFFE"));
    EXPECT_TRUE(holds("PC=123H"));
    EXPECT_TRUE(holds("Z=1"));
    EXPECT_TRUE(holds("CY=1"));
    EXPECT_TRUE(holds("S=0"));
    EXPECT_TRUE(holds("AC!=1"));
    EXPECT_FALSE(parse_condition("  ").has_value());
    for (const char* bad : {"A", "A=", "A=100", "Z=2", "X=1", "A=G1", "HL=12345", "=5"}) {
        EXPECT_THROW(parse_condition(bad), ConversionError) << bad;
    }
}

// A routine that calls itself three levels deep, pushing a register around each call.
constexpr std::string_view NESTED = R"(
        ORG 100H
START:  LXI SP,0B000H
        MVI B,3
        CALL DEEP
BACK:   MVI A,1
        HLT
        NOP
DEEP:   PUSH B
        DCR B
        CZ LEAF          ; only at the bottom
AFTERZ: MOV A,B
        ORA A
        CNZ DEEP
AFTERNZ: POP B
        RNZ              ; not taken: Z is still set
INNER:  RET
LEAF:   RST 7
        RET
        ORG 38H
        RET
)";

TEST(ExecSteps, StepStepOverStepOutAndRunToCursor) {
    Program p(NESTED);
    const int bp = p.exec.add(BreakKind::Exec, 0x0100, 0x0100);

    // Step runs one instruction, even from a breakpoint's address.
    p.exec.step();
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, 0x0103);
    EXPECT_EQ(p.m->cycles, 10);
    EXPECT_EQ(p.exec.last_stop(), StopKind::Step);
    EXPECT_EQ(p.exec.find(bp)->hits, 0u);
    p.exec.step();
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, 0x0105);

    // Step over runs the whole recursion and stops after the CALL, stack as before.
    p.exec.step_over(*p.m);
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, p.at("BACK"));
    EXPECT_EQ(p.m->SP, 0xB000);
    EXPECT_EQ(p.exec.last_stop(), StopKind::StepOver);
    // ... and over an instruction that calls nothing it is a step.
    p.exec.step_over(*p.m);
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.m->PC, p.at("BACK") + 2);

    // Step out from the innermost level, past a push, a nested call and RST, and a
    // conditional return that is not taken.
    Program q(NESTED);
    q.exec.run_to(q.at("LEAF"));
    ASSERT_TRUE(q.run());
    EXPECT_EQ(q.m->PC, q.at("LEAF"));
    EXPECT_EQ(q.exec.last_stop(), StopKind::RunToCursor);
    q.exec.step_out(*q.m);  // LEAF returns to the CZ's next instruction
    ASSERT_TRUE(q.run());
    EXPECT_EQ(q.m->PC, q.at("AFTERZ"));
    EXPECT_EQ(q.exec.last_stop(), StopKind::StepOut);
    q.exec.step_out(*q.m);  // the bottom level of DEEP returns into the level above
    ASSERT_TRUE(q.run());
    EXPECT_EQ(q.m->PC, q.at("AFTERNZ"));
    EXPECT_EQ(q.m->B, 1);
}

// Step over stops after the instruction whatever its length: a conditional call, taken or
// not, is three bytes; RST is one.
TEST(ExecSteps, StepOverConditionalCallsAndRst) {
    const auto step_over = [](Program& p, uint16_t expected_pc) {
        const uint16_t sp = p.m->SP;
        p.exec.step_over(*p.m);
        ASSERT_TRUE(p.run());
        EXPECT_EQ(p.exec.last_stop(), StopKind::StepOver);
        EXPECT_EQ(p.m->PC, expected_pc);
        EXPECT_EQ(p.m->SP, sp);
    };
    Program p(NESTED);
    const uint16_t cz = static_cast<uint16_t>(p.at("AFTERZ") - 3);
    p.exec.run_to(cz);  // the top level: B = 2, CZ not taken
    ASSERT_TRUE(p.run());
    ASSERT_EQ(p.m->B, 2);
    step_over(p, p.at("AFTERZ"));
    for (int level = 0; level < 2; ++level) {
        p.exec.run_to(cz);
        ASSERT_TRUE(p.run());
    }
    ASSERT_EQ(p.m->B, 0);  // the bottom level: CZ calls LEAF, which runs RST 7
    step_over(p, p.at("AFTERZ"));

    Program q(NESTED);
    q.exec.run_to(q.at("LEAF"));
    ASSERT_TRUE(q.run());
    step_over(q, static_cast<uint16_t>(q.at("LEAF") + 1));
}

TEST(ExecTrace, KeepsTheLastInstructionsWithTheirBytesAndRegisters) {
    Program p(COUNTER);
    p.exec.set_trace(true);
    p.exec.run_to(p.at("KEEP"));
    ASSERT_TRUE(p.run());
    const auto lines = p.exec.trace_lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "0100: 31 00 B0  LXI SP,    B000  A=00 F=00 BC=0000 DE=0000 HL=0000 SP=B000");
    EXPECT_EQ(lines[2], "0104: 3C        INR A            A=01 F=02 BC=0000 DE=0000 HL=0000 SP=B000");
    EXPECT_EQ(lines[3].substr(0, 20), "0105: CD 0B 01  CALL");
    EXPECT_EQ(p.exec.trace_lines(1), std::vector<std::string>{lines[3]});

    // Past the ring's size only the last 4096 stay, oldest first.
    p.exec.continue_run();
    EXPECT_FALSE(p.run(200'000));
    ASSERT_EQ(p.exec.trace.size(), TRACE_CAPACITY);
    EXPECT_GT(p.exec.trace.total, TRACE_CAPACITY);
    EXPECT_EQ(p.exec.trace_lines().size(), TRACE_CAPACITY);
    // The newest entry holds the registers the run ended with; the loop repeats every
    // five instructions (INR, CALL, STA, RET, JMP).
    EXPECT_EQ(p.exec.trace.at(TRACE_CAPACITY - 1).a, p.m->A);
    EXPECT_EQ(p.exec.trace.at(TRACE_CAPACITY - 1).sp, p.m->SP);
    EXPECT_EQ(p.exec.trace.at(0).pc, p.exec.trace.at(5).pc);
    EXPECT_NE(p.exec.trace.at(0).pc, p.exec.trace.at(1).pc);

    p.exec.set_trace(false);
    p.exec.clear_trace();
    EXPECT_FALSE(p.run());
    EXPECT_EQ(p.exec.trace.size(), 0u);
}

TEST(ExecCycleCounter, CountsFromTheLastStop) {
    Program p(COUNTER);
    EXPECT_FALSE(p.run(1000));
    EXPECT_FALSE(p.run(1000));
    EXPECT_GE(p.exec.cycles, 2000);
    EXPECT_LE(p.exec.cycles, 2000 + 2 * 17);
    EXPECT_EQ(p.exec.cycles_since_stop(), p.exec.cycles);  // no stop yet
    const int64_t before = p.exec.cycles;
    p.exec.note_break(*p.m);
    EXPECT_EQ(p.exec.cycles_since_stop(), before);  // the span up to the break
    p.exec.note_break(*p.m);  // no run since: the same stop
    EXPECT_EQ(p.exec.cycles_since_stop(), before);
    p.exec.step_over(*p.m);
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.exec.cycles_since_stop(), p.m->cycles);
}

// The checking loop executes exactly what the plain loop does: the same program run
// both ways, with a trace and a breakpoint that is never met, ends in the same state, in
// RAM mode and in video mode.
TEST(ExecCheckedLoop, RunsLikeThePlainLoop) {
    constexpr std::string_view source = R"(
            ORG 8000H
    START:  LXI SP,0A000H
            LXI H,4000H
            LXI D,9000H
    OUTER:  MVI B,0
    INNER:  MOV A,M
            ADD B
            XRA C
            RLC
            MOV C,A
            STAX D
            INX H
            INX D
            PUSH B
            CALL SUB
            POP B
            XTHL
            XTHL
            DCR B
            JNZ INNER
            MOV A,H
            ANI 7FH
            ORI 40H
            MOV H,A
            MOV A,D
            ANI 9FH
            ORI 90H
            MOV D,A
            JMP OUTER
    SUB:    ANI 0FH
            ORA A
            RZ
            CPI 5
            RET
    )";
    for (const bool ram_mode : {true, false}) {
        Program checked(source, ram_mode);
        Program plain(source, ram_mode);
        checked.exec.set_trace(true);
        checked.exec.add(BreakKind::Exec, 0x0000, 0x0000);
        checked.exec.add(BreakKind::Write, 0xB000, 0xB0FF);
        int64_t total = 0;
        for (int frame = 0; frame < 20; ++frame) {
            EXPECT_FALSE(checked.run());
            i8080_do_opcodes(*plain.m, 68000);
            ASSERT_EQ(checked.m->cycles, plain.m->cycles) << frame;
            total += plain.m->cycles;
        }
        EXPECT_EQ(checked.exec.cycles, total);
        EXPECT_EQ(checked.exec.trace.size(), TRACE_CAPACITY);
        EXPECT_EQ(checked.m->PC, plain.m->PC);
        EXPECT_EQ(checked.m->SP, plain.m->SP);
        EXPECT_EQ(checked.m->A, plain.m->A);
        EXPECT_EQ(checked.m->F, plain.m->F);
        EXPECT_EQ(checked.m->B, plain.m->B);
        EXPECT_EQ(checked.m->C, plain.m->C);
        EXPECT_EQ(checked.m->H, plain.m->H);
        EXPECT_EQ(checked.m->L, plain.m->L);
        EXPECT_EQ(checked.m->memory, plain.m->memory);
        EXPECT_EQ(checked.m->vram, plain.m->vram);
    }
}

TEST(ExecListing, FollowsPcWithTheInstructionsLeadingUpToIt) {
    Program p(COUNTER);
    const uint16_t keep = p.at("KEEP");
    // 11 bytes back from KEEP is START (0100), from which decoding lands on KEEP; one
    // more byte back starts at the zero (NOP) before it.
    auto lines = code_around(*p.m, keep, 11, 4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].address, 0x0100);
    EXPECT_EQ(lines[1].address, 0x0103);
    EXPECT_EQ(lines[1].row.mnemonic, "XRA A");
    lines = code_around(*p.m, keep, 12, 2);
    EXPECT_EQ(lines[0].address, 0x00FF);
    EXPECT_EQ(lines[1].address, 0x0100);
    // Without context the listing starts at PC.
    lines = code_around(*p.m, p.at("LOOP"), 0, 1);
    EXPECT_EQ(lines[0].address, p.at("LOOP"));
    const auto at_pc = code_around(*p.m, 0x0100, 0, 1);
    EXPECT_EQ(at_pc[0].row.mnemonic, "LXI SP,");
}

}  // namespace
}  // namespace lvov
