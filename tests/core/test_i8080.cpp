// The 8080 interpreter: run contract, flag rules, cycle counts, undocumented opcodes,
// stack and operand wrap-around, and the memory map as the processor sees it.
#include <gtest/gtest.h>

#include "core/opcodes.h"
#include "core_test_util.h"

namespace lvov {
namespace {

using test::pair;
using test::put;
using test::ram_mode_machine;
using test::step;

class I8080 : public ::testing::Test {
protected:
    std::unique_ptr<MachineState> mp = ram_mode_machine();
    MachineState& m = *mp;
};

// ---- run contract ----

TEST_F(I8080, BudgetZeroOrNegativeRunsNothing) {
    put(m, 0x1000, {0x3C});  // INR A
    for (int32_t budget : {0, -1, INT32_MIN}) {
        m.cycles = 99;
        i8080_do_opcodes(m, budget);
        EXPECT_EQ(m.cycles, 0);
        EXPECT_EQ(m.PC, 0x1000);
        EXPECT_EQ(m.A, 0);
    }
}

TEST_F(I8080, CrossingInstructionCompletesAndExcessIsNotCarried) {
    put(m, 0x1000, {0xCD, 0x00, 0x20});  // CALL 2000
    i8080_do_opcodes(m, 1);
    EXPECT_EQ(m.cycles, 17);
    EXPECT_EQ(m.PC, 0x2000);
    EXPECT_EQ(m.SP, 0x7FFE);

    // NOPs at 2000: a budget of 10 runs 3 of them (12 cycles), twice.
    i8080_do_opcodes(m, 10);
    EXPECT_EQ(m.cycles, 12);
    EXPECT_EQ(m.PC, 0x2003);
    i8080_do_opcodes(m, 10);
    EXPECT_EQ(m.cycles, 12);
    EXPECT_EQ(m.PC, 0x2006);
}

// ---- flags ----

struct AluCase {
    const char* what;
    uint8_t opcode;  // an instruction with B as operand, or an immediate form
    uint8_t a, operand, f_in;
    uint8_t a_out, f_out;
};

class AluFlags : public ::testing::TestWithParam<AluCase> {};

TEST_P(AluFlags, ResultAndFlags) {
    const AluCase& c = GetParam();
    auto mp = ram_mode_machine();
    MachineState& m = *mp;
    m.A = c.a;
    m.B = c.operand;
    m.F = c.f_in;
    put(m, 0x1000, {c.opcode, c.operand});
    step(m);
    EXPECT_EQ(m.A, c.a_out) << c.what;
    EXPECT_EQ(m.F, c.f_out) << c.what;
}

// F values: 02 fixed, 80 S, 40 Z, 10 AC, 04 P, 01 CY.
INSTANTIATE_TEST_SUITE_P(
    I8080, AluFlags,
    ::testing::Values(AluCase{"ADD 3A+C6: zero, carry out of both nibbles", 0x80, 0x3A, 0xC6, 0x00, 0x00, 0x57},
                      AluCase{"ADI 7F+01: sign, AC, no carry", 0xC6, 0x7F, 0x01, 0x01, 0x80, 0x92},
                      AluCase{"ADC adds CY", 0x88, 0x10, 0x0F, 0x01, 0x20, 0x12},
                      AluCase{"ACI FF+00+CY wraps to 00", 0xCE, 0xFF, 0x00, 0x01, 0x00, 0x57},
                      AluCase{"SUB 10-01: AC marks the borrow out of the low nibble", 0x90, 0x10, 0x01, 0x00, 0x0F,
                              0x16},
                      AluCase{"SUI 05-03: no borrow anywhere", 0xD6, 0x05, 0x03, 0x00, 0x02, 0x02},
                      AluCase{"SBB with CY: borrow through", 0x98, 0x00, 0x00, 0x01, 0xFF, 0x97},
                      AluCase{"SBI 10-0F-CY = 00", 0xDE, 0x10, 0x0F, 0x01, 0x00, 0x56},
                      AluCase{"CMP 01 with 02: CY and S, A kept", 0xB8, 0x01, 0x02, 0x00, 0x01, 0x97},
                      AluCase{"CPI equal: Z and P", 0xFE, 0x42, 0x42, 0x01, 0x42, 0x46},
                      AluCase{"ANA keeps AC, clears CY", 0xA0, 0xF0, 0x3C, 0x11, 0x30, 0x16},
                      AluCase{"ANI with AC clear leaves it clear", 0xE6, 0xFF, 0x0F, 0x01, 0x0F, 0x06},
                      AluCase{"XRA keeps AC, clears CY", 0xA8, 0x55, 0x55, 0x11, 0x00, 0x56},
                      AluCase{"ORA after AC keeps it and clears CY", 0xB0, 0x80, 0x01, 0x11, 0x81, 0x96},
                      AluCase{"ORI odd parity", 0xF6, 0x00, 0x07, 0x00, 0x07, 0x02}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(I8080, IncDecAuxiliaryCarryFollowsBit4AndKeepsCarry) {
    struct Case {
        uint8_t opcode, in, f_in, out, f_out;
    } cases[] = {
        {0x05, 0x10, 0x00, 0x0F, 0x16},  // DCR B: 10 -> 0F, bit 4 changes: AC
        {0x05, 0x11, 0x01, 0x10, 0x03},  // DCR B: 11 -> 10, AC clear, CY kept
        {0x05, 0x00, 0x00, 0xFF, 0x96},  // DCR B: 00 -> FF, S, P, AC
        {0x04, 0x0F, 0x01, 0x10, 0x13},  // INR B: 0F -> 10, AC, CY kept
        {0x04, 0xFF, 0x00, 0x00, 0x56},  // INR B: FF -> 00, Z, P, AC
        {0x04, 0x41, 0x00, 0x42, 0x06},  // INR B: plain
    };
    for (const auto& c : cases) {
        auto mp = ram_mode_machine();
        mp->B = c.in;
        mp->F = c.f_in;
        put(*mp, 0x1000, {c.opcode});
        step(*mp);
        EXPECT_EQ(mp->B, c.out) << std::hex << int(c.opcode) << " " << int(c.in);
        EXPECT_EQ(mp->F, c.f_out) << std::hex << int(c.opcode) << " " << int(c.in);
    }
    // Every register form and M behave alike; C and L sit in the low half of their pair.
    const uint8_t inr[] = {0x04, 0x0C, 0x14, 0x1C, 0x24, 0x2C, 0x3C};
    uint8_t MachineState::*regs[] = {&MachineState::B, &MachineState::C, &MachineState::D, &MachineState::E,
                                     &MachineState::H, &MachineState::L, &MachineState::A};
    for (int i = 0; i < 7; ++i) {
        auto mp = ram_mode_machine();
        mp->B = mp->C = mp->D = mp->E = mp->H = mp->L = mp->A = 0x2F;
        put(*mp, 0x1000, {inr[i], static_cast<uint8_t>(inr[i] + 1)});  // INR r, DCR r
        step(*mp);
        EXPECT_EQ((*mp).*regs[i], 0x30);
        EXPECT_EQ(mp->F, 0x16);
        step(*mp);
        EXPECT_EQ((*mp).*regs[i], 0x2F);
        EXPECT_EQ(mp->F, 0x12);
        for (int j = 0; j < 7; ++j) {
            if (j != i) {
                EXPECT_EQ((*mp).*regs[j], 0x2F) << i << " touched " << j;
            }
        }
    }
    m.H = 0x90;
    m.L = 0x00;
    m.memory[0x9000] = 0x0F;
    m.F = 0x01;
    put(m, 0x1000, {0x34, 0x35, 0x35});  // INR M, DCR M, DCR M
    EXPECT_EQ(step(m), 10);
    EXPECT_EQ(m.memory[0x9000], 0x10);
    EXPECT_EQ(m.F, 0x13);
    step(m);
    step(m);
    EXPECT_EQ(m.memory[0x9000], 0x0E);
    EXPECT_EQ(m.F, 0x03);
}

TEST_F(I8080, DecimalAdjust) {
    m.A = 0x9B;
    m.F = 0x00;
    put(m, 0x1000, {0x27});
    step(m);
    EXPECT_EQ(m.A, 0x01);
    EXPECT_EQ(m.F & (FLAG_CY | FLAG_AC), FLAG_CY | FLAG_AC);

    // 99 + 99 = 32 with AC and CY; DAA makes 98 and keeps CY.
    m.PC = 0x1000;
    m.A = 0x99;
    m.B = 0x99;
    put(m, 0x1000, {0x80, 0x27});
    step(m);
    EXPECT_EQ(m.A, 0x32);
    EXPECT_EQ(m.F & (FLAG_CY | FLAG_AC), FLAG_CY | FLAG_AC);
    step(m);
    EXPECT_EQ(m.A, 0x98);
    EXPECT_TRUE(m.F & FLAG_CY);
    EXPECT_TRUE(m.F & FLAG_S);

    // A low nibble above 9 adds 06 (3C -> 42, no carry); the old CY alone adds 60 and stays.
    m.PC = 0x1001;
    m.A = 0x3C;
    m.F = 0x02;
    step(m);
    EXPECT_EQ(m.A, 0x42);
    EXPECT_FALSE(m.F & FLAG_CY);
    m.PC = 0x1001;
    m.A = 0x12;
    m.F = 0x03;
    step(m);
    EXPECT_EQ(m.A, 0x72);
    EXPECT_TRUE(m.F & FLAG_CY);
}

TEST_F(I8080, InstructionsThatOnlyTouchCarryKeepEveryOtherBit) {
    struct Case {
        uint8_t opcode, a, f_in, a_out, f_out;
    } cases[] = {
        {0x07, 0x80, 0xFE, 0x01, 0xFF},  // RLC
        {0x07, 0x01, 0x29, 0x02, 0x28}, {0x0F, 0x01, 0xD6, 0x80, 0xD7},  // RRC
        {0x17, 0x80, 0x00, 0x00, 0x01},  // RAL: old CY into bit 0
        {0x17, 0x01, 0x01, 0x03, 0x00}, {0x1F, 0x01, 0x00, 0x00, 0x01},  // RAR: old CY into bit 7
        {0x1F, 0x02, 0xFF, 0x81, 0xFE}, {0x37, 0x12, 0x28, 0x12, 0x29},  // STC
        {0x3F, 0x12, 0x29, 0x12, 0x28},  // CMC
        {0x3F, 0x12, 0x00, 0x12, 0x01}, {0x2F, 0x5A, 0xD7, 0xA5, 0xD7},  // CMA: no flag at all
    };
    for (const auto& c : cases) {
        auto mp = ram_mode_machine();
        mp->A = c.a;
        mp->F = c.f_in;
        put(*mp, 0x1000, {c.opcode});
        EXPECT_EQ(step(*mp), 4);
        EXPECT_EQ(mp->A, c.a_out) << std::hex << int(c.opcode);
        EXPECT_EQ(mp->F, c.f_out) << std::hex << int(c.opcode);
    }
    // DAD: carry out of bit 15 only.
    m.H = 0xFF;
    m.L = 0xFF;
    m.B = 0x00;
    m.C = 0x02;
    m.F = 0xD4;
    put(m, 0x1000, {0x09, 0x29, 0x39});  // DAD B, DAD H, DAD SP
    EXPECT_EQ(step(m), 10);
    EXPECT_EQ(pair(m.H, m.L), 0x0001);
    EXPECT_EQ(m.F, 0xD5);
    step(m);
    EXPECT_EQ(pair(m.H, m.L), 0x0002);
    EXPECT_EQ(m.F, 0xD4);
    step(m);
    EXPECT_EQ(pair(m.H, m.L), 0x8002);
}

TEST_F(I8080, PopPswLoadsAllEightBitsAndPushWritesThemBack) {
    m.SP = 0x8000;
    m.memory[0x8000] = 0xFF;
    m.memory[0x8001] = 0x00;
    put(m, 0x1000, {0xF1, 0xF5});
    EXPECT_EQ(step(m), 10);
    EXPECT_EQ(m.F, 0xFF);
    EXPECT_EQ(m.A, 0x00);
    EXPECT_EQ(m.SP, 0x8002);
    m.memory[0x8000] = 0x00;
    EXPECT_EQ(step(m), 11);
    EXPECT_EQ(m.memory[0x8000], 0xFF);  // bits 5 and 3 read back as 1
    EXPECT_EQ(m.memory[0x8001], 0x00);

    // After reset F is 00 and pushes as 00 (bit 1 is not forced on).
    auto fresh = ram_mode_machine();
    fresh->F = 0x00;
    fresh->A = 0x12;
    put(*fresh, 0x1000, {0xF5});
    step(*fresh);
    EXPECT_EQ(fresh->memory[0x7FFE], 0x00);
    EXPECT_EQ(fresh->memory[0x7FFF], 0x12);
}

static_assert(SZP_FLAGS[0x00] == 0x46 && SZP_FLAGS[0xFF] == 0x86 && SZP_FLAGS[0x01] == 0x02 &&
              SZP_FLAGS[0x03] == 0x06 && SZP_FLAGS[0x80] == 0x82);

// A state straight from its constructor, with nothing prepared, computes S, Z and P.
TEST(I8080Unprepared, ComputesFlagsWithoutInitialisation) {
    auto fresh = std::make_unique<MachineState>();
    fresh->port_latches[LATCH_SYSTEM_CONTROL] = RAM_MODE_BIT;
    put(*fresh, 0x0000, {0xAF, 0x3E, 0x81, 0xB7});  // XRA A; MVI A,81; ORA A
    step(*fresh);
    EXPECT_EQ(fresh->F, FLAG_Z | FLAG_P | FLAG_FIXED);
    step(*fresh);
    step(*fresh);
    EXPECT_EQ(fresh->F, FLAG_S | FLAG_P | FLAG_FIXED);
}

// The opcode table's control-flow class against what each opcode does: it runs once
// with every flag set and once with every flag clear, and where PC and SP went tells
// the class; a class seen in one run only is a conditional one.
TEST(I8080Flow, ControlFlowClassesMatchExecution) {
    for (int op = 0; op < 256; ++op) {
        Flow seen[2];
        for (int run = 0; run < 2; ++run) {
            auto m = ram_mode_machine();  // PC 1000, SP 8000
            put(*m, 0x1000, {static_cast<uint8_t>(op), 0x34, 0x12});
            m->F = run ? 0xFF : 0x02;
            m->H = 0x23, m->L = 0x45;
            put(*m, 0x8000, {0x78, 0x56});
            step(*m);
            const uint16_t next = static_cast<uint16_t>(0x1000 + opcode_info(static_cast<uint8_t>(op)).length);
            const bool pushed_next = m->SP == 0x7FFE && get_var(*m, 0x7FFE) == next;
            if (m->PC == next) {
                seen[run] = Flow::Next;
            } else if (pushed_next && m->PC == 0x1234) {
                seen[run] = Flow::Call;
            } else if (pushed_next && m->PC == (op & 0x38)) {
                seen[run] = Flow::Restart;
            } else if (m->SP == 0x8002 && m->PC == 0x5678) {
                seen[run] = Flow::Return;
            } else {
                EXPECT_TRUE(m->PC == 0x1234 || m->PC == 0x2345) << "opcode " << op;  // JMP/Jcc, PCHL
                seen[run] = Flow::Jump;
            }
        }
        const ControlFlow flow = control_flow(static_cast<uint8_t>(op));
        EXPECT_EQ(flow.kind, seen[0] != Flow::Next ? seen[0] : seen[1]) << "opcode " << op;
        EXPECT_EQ(flow.conditional, seen[0] != seen[1]) << "opcode " << op;
    }
}

// ---- lengths and cycles come from the opcode table ----

// Condition of a conditional instruction with bits 5-3 = y, against F.
bool condition_true(uint8_t y, uint8_t f) {
    static const uint8_t flag_of[] = {FLAG_Z, FLAG_CY, FLAG_P, FLAG_S};
    return ((f & flag_of[y >> 1]) != 0) == ((y & 1) != 0);
}

// True when the instruction loads PC (when taken) instead of advancing it.
bool transfers_control(uint8_t op) {
    if ((op & 0xC0) != 0xC0) return false;
    const int y = (op >> 3) & 7, z = op & 7;
    return z == 0 || z == 2 || z == 4 || z == 7 || (z == 1 && (y == 1 || y == 3 || y == 5)) || (z == 3 && y <= 1) ||
           (z == 5 && (y & 1));
}

// Every opcode, with its condition (if any) once false and once true, costs the cycles
// the table gives for that outcome and, unless it jumps, advances PC by the table's
// length. (The table itself is checked against the data sheet in test_opcodes.cpp.)
TEST(I8080Cycles, EveryOpcodeTakesItsLengthAndCyclesFromTheTable) {
    for (int op = 0; op < 256; ++op) {
        const OpcodeInfo& info = opcode_info(static_cast<uint8_t>(op));
        for (uint8_t f : {uint8_t{0x02}, uint8_t{0xD7}}) {  // NZ NC PO P, then Z C PE M
            auto mp = ram_mode_machine();
            MachineState& m = *mp;
            m.F = f;
            m.B = 0x91, m.C = 0x00, m.D = 0x92, m.E = 0x00, m.H = 0x90, m.L = 0x00;
            put(m, 0x1000, {static_cast<uint8_t>(op), 0x20, 0x30});
            const bool conditional = (op & 0xC0) == 0xC0 && ((op & 7) == 0 || (op & 7) == 2 || (op & 7) == 4);
            const bool taken = !conditional || condition_true((op >> 3) & 7, f);
            SCOPED_TRACE(::testing::Message() << "opcode " << std::hex << op << " F " << int(f));
            EXPECT_EQ(step(m), taken ? info.cycles_taken : info.cycles);
            if (!transfers_control(static_cast<uint8_t>(op)) || !taken) {
                EXPECT_EQ(m.PC, 0x1000 + info.length);
            }
        }
    }
}

// ---- undocumented opcodes, HLT, EI, DI ----

TEST_F(I8080, UndocumentedOpcodesActAsTheirDocumentedTwins) {
    for (uint8_t op : {0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38, 0x76, 0xF3, 0xFB}) {
        auto mp = ram_mode_machine();
        mp->A = 0x12, mp->B = 0x34, mp->F = 0x57;
        put(*mp, 0x1000, {op, 0x3C});
        EXPECT_EQ(step(*mp), 4) << int(op);
        EXPECT_EQ(mp->PC, 0x1001) << int(op);
        EXPECT_EQ(mp->A, 0x12);
        EXPECT_EQ(mp->B, 0x34);
        EXPECT_EQ(mp->F, 0x57);
        EXPECT_EQ(mp->SP, 0x8000);
        step(*mp);  // execution goes on: INR A
        EXPECT_EQ(mp->A, 0x13);
    }
    for (uint8_t op : {0xDD, 0xED, 0xFD}) {
        auto mp = ram_mode_machine();
        put(*mp, 0x1000, {op, 0x00, 0x20});
        EXPECT_EQ(step(*mp), 17);
        EXPECT_EQ(mp->PC, 0x2000);
        EXPECT_EQ(mp->SP, 0x7FFE);
        EXPECT_EQ(get_var(*mp, 0x7FFE), 0x1003);
    }
    m.SP = 0x8000;
    set_var(m, 0x8000, 0x4321);
    put(m, 0x1000, {0xCB, 0x00, 0x30});
    put(m, 0x3000, {0xD9});
    EXPECT_EQ(step(m), 10);
    EXPECT_EQ(m.PC, 0x3000);
    EXPECT_EQ(step(m), 10);
    EXPECT_EQ(m.PC, 0x4321);
    EXPECT_EQ(m.SP, 0x8002);
}

// ---- control transfer and the stack ----

TEST_F(I8080, CallsReturnsAndRestarts) {
    m.PC = 0x1234;
    put(m, 0x1234, {0xFF});  // RST 7
    EXPECT_EQ(step(m), 11);
    EXPECT_EQ(m.PC, 0x0038);
    EXPECT_EQ(get_var(m, 0x7FFE), 0x1235);

    put(m, 0x0038, {0xC8, 0xC0});  // RZ (not taken), RNZ (taken)
    m.F = 0x02;
    EXPECT_EQ(step(m), 5);
    EXPECT_EQ(m.PC, 0x0039);
    EXPECT_EQ(step(m), 11);
    EXPECT_EQ(m.PC, 0x1235);
    EXPECT_EQ(m.SP, 0x8000);

    put(m, 0x1235, {0xDC, 0x00, 0x50, 0xD4, 0x00, 0x50});  // CC (not taken), CNC (taken)
    EXPECT_EQ(step(m), 11);
    EXPECT_EQ(m.PC, 0x1238);
    EXPECT_EQ(step(m), 17);
    EXPECT_EQ(m.PC, 0x5000);
    EXPECT_EQ(get_var(m, 0x7FFE), 0x123B);

    m.H = 0x22, m.L = 0x33;
    put(m, 0x5000, {0xE9});  // PCHL
    EXPECT_EQ(step(m), 5);
    EXPECT_EQ(m.PC, 0x2233);
}

TEST_F(I8080, StackWrapsAndDropsBytesForRom) {
    // PUSH with SP = 0001: low byte to FFFF (ROM, dropped), high byte to 0000.
    m.SP = 0x0001;
    m.B = 0xAB, m.C = 0xCD;
    m.memory[0xFFFF] = 0x77;
    put(m, 0x1000, {0xC5, 0xD1});  // PUSH B, POP D
    step(m);
    EXPECT_EQ(m.SP, 0xFFFF);
    EXPECT_EQ(m.memory[0xFFFF], 0x77);
    EXPECT_EQ(m.memory[0x0000], 0xAB);
    // POP with SP = FFFF reads FFFF and 0000.
    step(m);
    EXPECT_EQ(m.E, 0x77);
    EXPECT_EQ(m.D, 0xAB);
    EXPECT_EQ(m.SP, 0x0001);

    // A stack in ROM loses the pushed word; below C000 the low byte survives.
    m.PC = 0x1000;
    m.SP = 0xC001;
    step(m);
    EXPECT_EQ(m.memory[0xBFFF], 0xCD);
    EXPECT_EQ(m.memory[0xC000], 0x00);
}

TEST_F(I8080, WordOperandsAndDirectAddressesWrapPastFFFF) {
    // LXI B at FFFE takes its operand from FFFF and 0000.
    m.PC = 0xFFFE;
    m.memory[0xFFFE] = 0x01;
    m.memory[0xFFFF] = 0x34;
    m.memory[0x0000] = 0x12;
    EXPECT_EQ(step(m), 10);
    EXPECT_EQ(pair(m.B, m.C), 0x1234);
    EXPECT_EQ(m.PC, 0x0001);

    // MVI at FFFF: operand at 0000.
    m.PC = 0xFFFF;
    m.memory[0xFFFF] = 0x3E;
    m.memory[0x0000] = 0x5A;
    step(m);
    EXPECT_EQ(m.A, 0x5A);
    EXPECT_EQ(m.PC, 0x0001);

    // LHLD FFFF reads FFFF and 0000; SHLD BFFF writes L only (H would go to ROM).
    m.PC = 0x1000;
    m.memory[0xFFFF] = 0x11;
    m.memory[0x0000] = 0x22;
    m.memory[0xC000] = 0x99;
    put(m, 0x1000, {0x2A, 0xFF, 0xFF, 0x22, 0xFF, 0xBF});
    EXPECT_EQ(step(m), 16);
    EXPECT_EQ(pair(m.H, m.L), 0x2211);
    EXPECT_EQ(step(m), 16);
    EXPECT_EQ(m.memory[0xBFFF], 0x11);
    EXPECT_EQ(m.memory[0xC000], 0x99);

    // XTHL exchanges L with (SP) and H with (SP+1).
    m.SP = 0x8000;
    set_var(m, 0x8000, 0xBEEF);
    put(m, 0x1006, {0xE3});
    EXPECT_EQ(step(m), 18);
    EXPECT_EQ(pair(m.H, m.L), 0xBEEF);
    EXPECT_EQ(get_var(m, 0x8000), 0x2211);
}

TEST_F(I8080, DataMovesUseTheirPairsAndAddresses) {
    put(m, 0x1000, {0x01, 0x00, 0x90,  // LXI B,9000
                    0x11, 0x01, 0x90,  // LXI D,9001
                    0x3E, 0x5A,  // MVI A,5A
                    0x02,  // STAX B      9000 = 5A
                    0x3C,  // INR A
                    0x12,  // STAX D      9001 = 5B
                    0x32, 0x02, 0x90,  // STA 9002    9002 = 5B
                    0x0A,  // LDAX B      A = 5A
                    0x21, 0x01, 0x90,  // LXI H,9001
                    0x46,  // MOV B,M     B = 5B
                    0x36, 0x77,  // MVI M,77    9001 = 77
                    0x4E,  // MOV C,M     C = 77
                    0x23,  // INX H
                    0x70,  // MOV M,B     9002 = 5B
                    0x71,  // MOV M,C     9002 = 77
                    0xEB,  // XCHG        DE = 9002, HL = 9001
                    0xF9,  // SPHL        SP = 9001
                    0x3B,  // DCX SP
                    0x1B,  // DCX D
                    0x1A,  // LDAX D      A = 77
                    0x3A, 0x00, 0x90});  // LDA 9000    A = 5A
    i8080_do_opcodes(m, 10 + 10 + 7 + 7 + 5 + 7 + 13 + 7 + 10 + 7 + 10 + 7 + 5 + 7 + 7 + 4 + 5 + 5 + 5 + 7);
    EXPECT_EQ(m.PC, 0x101E);
    EXPECT_EQ(m.memory[0x9000], 0x5A);
    EXPECT_EQ(m.memory[0x9001], 0x77);
    EXPECT_EQ(m.memory[0x9002], 0x77);
    EXPECT_EQ(pair(m.B, m.C), 0x5B77);
    EXPECT_EQ(pair(m.D, m.E), 0x9001);
    EXPECT_EQ(pair(m.H, m.L), 0x9001);
    EXPECT_EQ(m.SP, 0x9000);
    EXPECT_EQ(m.A, 0x77);
    step(m);
    EXPECT_EQ(m.A, 0x5A);
    // INX/DCX wrap and touch no flag.
    m.B = 0xFF, m.C = 0xFF, m.F = 0x00;
    put(m, m.PC, {0x03, 0x0B});
    step(m);
    EXPECT_EQ(pair(m.B, m.C), 0x0000);
    step(m);
    EXPECT_EQ(pair(m.B, m.C), 0xFFFF);
    EXPECT_EQ(m.F, 0x00);
}

// ---- the memory map as the processor sees it ----

TEST_F(I8080, VideoModeLowRangeRunsAsNops) {
    m.port_latches[0xC2] = 0x00;
    m.memory[0x0000] = 0x3C;  // INR A in RAM, invisible in video mode
    m.PC = 0x0000;
    i8080_do_opcodes(m, 40);
    EXPECT_EQ(m.cycles, 40);
    EXPECT_EQ(m.PC, 0x000A);
    EXPECT_EQ(m.A, 0x00);
}

TEST_F(I8080, OutToTheMapSwitchTakesEffectAtTheNextFetch) {
    // In RAM: MVI A,00; OUT C2; then INR A at 1004, which video mode hides (reads 00).
    put(m, 0x1000, {0x3E, 0x00, 0xD3, 0xC2, 0x3C});
    i8080_do_opcodes(m, 7 + 10 + 1);
    EXPECT_EQ(m.PC, 0x1005);
    EXPECT_EQ(m.A, 0x00);
    EXPECT_EQ(m.cycles, 21);

    // Code in 8000-BFFF works in both modes: write and read video memory, then switch back.
    m.vram[0] = 0x66;
    put(m, 0x8000,
        {0x3A, 0x00, 0x40,  // LDA 4000  -> vram[0]
         0x3C,  // INR A
         0x32, 0x01, 0x40,  // STA 4001  -> vram[1]
         0x3E, 0x02,  // MVI A,02
         0xD3, 0x42,  // OUT 42 (selects latch C2): RAM mode
         0x3A, 0x00, 0x40,  // LDA 4000  -> memory[4000]
         0x32, 0x34, 0x12});  // STA 1234
    m.memory[0x4000] = 0x11;
    m.PC = 0x8000;
    i8080_do_opcodes(m, 13 + 5 + 13 + 7 + 10 + 13 + 13);
    EXPECT_EQ(m.vram[1], 0x67);
    EXPECT_EQ(m.memory[0x4001], 0x00);
    EXPECT_EQ(m.port_latches[0xC2], 0x02);
    EXPECT_EQ(m.A, 0x11);
    EXPECT_EQ(m.memory[0x1234], 0x11);
    EXPECT_EQ(m.PC, 0x8011);
}

TEST_F(I8080, VideoModeDropsLowWritesAndKeepsRamBehindVideoMemory) {
    m.port_latches[0xC2] = 0xFD;  // every bit but bit 1: video mode
    m.memory[0x1234] = 0xAA;
    m.memory[0x4000] = 0xBB;
    m.A = 0x55;
    m.H = 0x12, m.L = 0x34;
    m.SP = 0x4002;
    put(m, 0x8000, {0x77, 0x7E, 0x32, 0x00, 0x40, 0xC5});  // MOV M,A; MOV A,M; STA 4000; PUSH B
    m.B = 0x9A, m.C = 0xBC;
    m.PC = 0x8000;
    step(m);
    EXPECT_EQ(m.memory[0x1234], 0xAA);
    step(m);
    EXPECT_EQ(m.A, 0x00);  // 0000-3FFF reads 00
    m.A = 0x55;
    step(m);
    EXPECT_EQ(m.vram[0], 0x55);
    EXPECT_EQ(m.memory[0x4000], 0xBB);
    step(m);
    EXPECT_EQ(m.vram[0], 0xBC);
    EXPECT_EQ(m.vram[1], 0x9A);
}

// Every data access of the interpreter lands where do_read/do_write would put it, for
// every address in both modes, bytes and words alike.
TEST(I8080Map, EveryAddressRoutesLikeDoReadAndDoWrite) {
    for (uint8_t latch : {uint8_t{0xFF}, uint8_t{0x00}}) {
        auto xp = ram_mode_machine();  // runs the instructions
        auto yp = ram_mode_machine();  // the reference, driven by do_read/do_write
        MachineState& x = *xp;
        MachineState& y = *yp;
        for (uint32_t i = 0; i < MEMORY_SIZE; ++i) x.memory[i] = y.memory[i] = static_cast<uint8_t>(i * 13 + 5);
        for (uint32_t i = 0; i < VRAM_SIZE; ++i) x.vram[i] = y.vram[i] = static_cast<uint8_t>(i * 29 + 3);
        x.port_latches[0xC2] = y.port_latches[0xC2] = latch;
        for (uint32_t a = 0; a < MEMORY_SIZE; ++a) {
            // The code sits in plain memory in both modes, away from the bytes it writes.
            const uint16_t code = (a >= 0x9FF0 && a < 0xA010) ? 0xB000 : 0xA000;
            const uint8_t lo = static_cast<uint8_t>(a), hi = static_cast<uint8_t>(a >> 8);
            const uint16_t next = static_cast<uint16_t>(a + 1);
            SCOPED_TRACE(::testing::Message() << "latch " << int(latch) << " address " << std::hex << a);
            // LDA a; LHLD a
            put(x, code, {0x3A, lo, hi, 0x2A, lo, hi});
            put(y, code, {0x3A, lo, hi, 0x2A, lo, hi});
            x.PC = code;
            step(x);
            ASSERT_EQ(x.A, do_read(y, a));
            step(x);
            ASSERT_EQ(x.L, do_read(y, a));
            ASSERT_EQ(x.H, do_read(y, next));
            // STA a with 5A; SHLD a with HL = C3D4
            x.A = 0x5A;
            x.H = 0xC3, x.L = 0xD4;
            put(x, code, {0x32, lo, hi, 0x22, lo, hi});
            put(y, code, {0x32, lo, hi, 0x22, lo, hi});
            x.PC = code;
            step(x);
            do_write(y, a, 0x5A);
            ASSERT_EQ(x.memory[a], y.memory[a]);
            ASSERT_EQ(x.vram[a & 0x3FFF], y.vram[a & 0x3FFF]);
            step(x);
            do_write(y, a, 0xD4);
            do_write(y, next, 0xC3);
            for (uint16_t t : {static_cast<uint16_t>(a), next}) {
                ASSERT_EQ(x.memory[t], y.memory[t]);
                ASSERT_EQ(x.vram[t & 0x3FFF], y.vram[t & 0x3FFF]);
            }
            // PUSH H with SP = a + 2, then POP D: the word goes to a, a + 1 and back.
            x.SP = static_cast<uint16_t>(a + 2);
            x.H = 0xE1, x.L = 0xF2;
            put(x, code, {0xE5, 0xD1});
            put(y, code, {0xE5, 0xD1});
            x.PC = code;
            step(x);
            do_write(y, a, 0xF2);
            do_write(y, next, 0xE1);
            step(x);
            ASSERT_EQ(x.E, do_read(y, a));
            ASSERT_EQ(x.D, do_read(y, next));
        }
        EXPECT_EQ(x.memory, y.memory);
        EXPECT_EQ(x.vram, y.vram);
    }
}

// Code fetched from every region: operands that straddle the region boundaries and the
// top of memory are read through the map, byte by byte.
TEST(I8080Map, OperandsAreFetchedThroughTheMapAtEveryBoundary) {
    for (uint8_t latch : {uint8_t{0xFF}, uint8_t{0x00}}) {
        for (uint32_t at : {0x3FFEu, 0x3FFFu, 0x7FFEu, 0x7FFFu, 0xBFFEu, 0xBFFFu, 0xFFFDu, 0xFFFEu, 0xFFFFu}) {
            auto mp = ram_mode_machine();
            MachineState& m = *mp;
            for (uint32_t i = 0; i < MEMORY_SIZE; ++i) m.memory[i] = static_cast<uint8_t>(i * 7 + 1);
            for (uint32_t i = 0; i < VRAM_SIZE; ++i) m.vram[i] = static_cast<uint8_t>(i * 11 + 2);
            m.port_latches[0xC2] = latch;
            m.PC = static_cast<uint16_t>(at);
            const uint16_t expected =
                static_cast<uint16_t>(do_read(m, (at + 1) & 0xFFFF) | (do_read(m, (at + 2) & 0xFFFF) << 8));
            // Put LXI B there through whichever array the map shows at that address.
            if (latch == 0x00 && at >= 0x4000 && at < 0x8000) {
                m.vram[at - 0x4000] = 0x01;
            } else if (latch == 0xFF || at >= 0x8000) {
                m.memory[at] = 0x01;
            } else {
                continue;  // 0000-3FFF in video mode fetches 00: covered elsewhere
            }
            SCOPED_TRACE(::testing::Message() << "latch " << int(latch) << " at " << std::hex << at);
            step(m);
            EXPECT_EQ(pair(m.B, m.C), expected);
            EXPECT_EQ(m.PC, static_cast<uint16_t>(at + 3));
        }
    }
}

TEST_F(I8080, InputAndOutputGoThroughThePortLayer) {
    m.kbd_matrix[2] = 0x81;
    put(m, 0x1000,
        {0x3E, 0xFB,  // MVI A,FB: select column 2
         0xD3, 0xD0,  // OUT D0
         0xDB, 0xF1,  // IN F1 (decodes as D1)
         0x47,  // MOV B,A
         0x3E, 0x12,  // MVI A,12
         0xD3, 0x05,  // OUT 05 (decodes as C1)
         0xDB, 0xC1});  // IN C1: always FF
    i8080_do_opcodes(m, 7 + 10 + 10 + 5);
    EXPECT_EQ(m.B, 0x7E);
    i8080_do_opcodes(m, 7 + 10 + 10);
    EXPECT_EQ(m.port_latches[0xC1], 0x12);
    EXPECT_EQ(m.A, 0xFF);
}

}  // namespace
}  // namespace lvov
