#include "app/exec_control.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/errors.h"
#include "core/hex.h"
#include "core/i8080.h"
#include "core/opcodes.h"
#include "core/text.h"

namespace lvov {

namespace {

constexpr uint8_t OUT_OPCODE = 0xD3;

struct SubjectName {
    const char* name;
    Condition::Subject subject;
    unsigned max;
};
constexpr SubjectName SUBJECTS[] = {
    {"A", Condition::A, 0xFF},     {"B", Condition::B, 0xFF},     {"C", Condition::C, 0xFF},
    {"D", Condition::D, 0xFF},     {"E", Condition::E, 0xFF},     {"H", Condition::H, 0xFF},
    {"L", Condition::L, 0xFF},     {"F", Condition::F, 0xFF},     {"BC", Condition::BC, 0xFFFF},
    {"DE", Condition::DE, 0xFFFF}, {"HL", Condition::HL, 0xFFFF}, {"SP", Condition::SP, 0xFFFF},
    {"PC", Condition::PC, 0xFFFF}, {"S", Condition::FlagS, 1},    {"Z", Condition::FlagZ, 1},
    {"AC", Condition::FlagAC, 1},  {"P", Condition::FlagP, 1},    {"CY", Condition::FlagCY, 1},
};

[[noreturn]] void bad_condition(std::string_view text, const std::string& why) {
    throw ConversionError("'" + std::string(text) + "' is not a condition: " + why);
}

bool matches(BreakKind kind, const Access& a) {
    if (a.port) return (kind == BreakKind::In && a.kind == BREAK_IN) || (kind == BreakKind::Out && a.kind == BREAK_OUT);
    switch (kind) {
    case BreakKind::Read: return a.kind == WATCH_READ;
    case BreakKind::Write: return a.kind == WATCH_WRITE;
    case BreakKind::ReadWrite: return a.kind == WATCH_READ || a.kind == WATCH_WRITE;
    default: return false;
    }
}

bool is_port_kind(BreakKind kind) { return kind == BreakKind::In || kind == BreakKind::Out; }

}  // namespace

const char* break_kind_name(BreakKind kind) {
    switch (kind) {
    case BreakKind::Exec: return "exec";
    case BreakKind::Read: return "read";
    case BreakKind::Write: return "write";
    case BreakKind::ReadWrite: return "access";
    case BreakKind::In: return "in";
    case BreakKind::Out: return "out";
    }
    return "";
}

// ---------------------------------------------------------------------------------------
// Conditions

bool Condition::holds(const MachineState& m) const {
    unsigned v = 0;
    switch (subject) {
    case A: v = m.A; break;
    case B: v = m.B; break;
    case C: v = m.C; break;
    case D: v = m.D; break;
    case E: v = m.E; break;
    case H: v = m.H; break;
    case L: v = m.L; break;
    case F: v = m.F; break;
    case BC: v = (m.B << 8) | m.C; break;
    case DE: v = (m.D << 8) | m.E; break;
    case HL: v = (m.H << 8) | m.L; break;
    case SP: v = m.SP; break;
    case PC: v = m.PC; break;
    case FlagS: v = (m.F & FLAG_S) != 0; break;
    case FlagZ: v = (m.F & FLAG_Z) != 0; break;
    case FlagAC: v = (m.F & FLAG_AC) != 0; break;
    case FlagP: v = (m.F & FLAG_P) != 0; break;
    case FlagCY: v = (m.F & FLAG_CY) != 0; break;
    }
    return (v == value) != not_equal;
}

std::optional<Condition> parse_condition(std::string_view text) {
    std::string s;
    for (const char c : text) {
        if (c != ' ' && c != '\t') s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (s.empty()) return std::nullopt;

    Condition cond;
    size_t op = s.find("!=");
    size_t value_at = op + 2;
    if (op == std::string::npos) {
        op = s.find('=');
        if (op == std::string::npos) bad_condition(text, "write it as REGISTER=VALUE, e.g. A=05 or Z=1");
        value_at = op + 1;
    } else {
        cond.not_equal = true;
    }
    const std::string name = s.substr(0, op);
    std::string value = s.substr(value_at);

    const SubjectName* subject = nullptr;
    for (const auto& sn : SUBJECTS) {
        if (name == sn.name) subject = &sn;
    }
    if (!subject) bad_condition(text, "'" + name + "' is none of A B C D E H L F BC DE HL SP PC S Z AC P CY");
    cond.subject = subject->subject;

    if (value.rfind("0X", 0) == 0) {
        value.erase(0, 2);
    } else if (!value.empty() && value[0] == '$') {
        value.erase(0, 1);
    } else if (value.size() > 1 && value.back() == 'H') {
        value.pop_back();
    }
    const std::optional<uint32_t> parsed = parse_hex_digits(value, 4);
    if (!parsed) bad_condition(text, "the value must be hexadecimal, e.g. 05 or 4000");
    const unsigned v = *parsed;
    if (v > subject->max) bad_condition(text, name + " holds at most " + hex_digits(subject->max, 1));
    cond.value = static_cast<uint16_t>(v);
    return cond;
}

std::string Breakpoint::where() const {
    if (is_port_kind(kind)) return hex2(first);
    if (first == last) return hex4(first);
    return hex4(first) + "-" + hex4(last);
}

// ---------------------------------------------------------------------------------------
// Breakpoints

ExecControl::ExecControl() = default;

int ExecControl::add(BreakKind kind, uint16_t first, uint16_t last, std::string_view condition) {
    if (kind == BreakKind::Exec || is_port_kind(kind)) last = first;
    if (is_port_kind(kind) && first > 0xFF)
        throw RangeError("A port number runs from 00 to FF, not " + hex4(first) + ".");
    if (last < first) throw RangeError("The range " + hex4(first) + "-" + hex4(last) + " runs backwards.");
    Breakpoint bp;
    bp.kind = kind;
    bp.first = first;
    bp.last = last;
    bp.condition = parse_condition(condition);
    if (bp.condition) {
        const auto begin = condition.find_first_not_of(" \t");
        const auto end = condition.find_last_not_of(" \t");
        bp.condition_text = std::string(condition.substr(begin, end - begin + 1));
    }
    bp.id = next_id_++;
    breakpoints_.push_back(std::move(bp));
    rebuild_flags();
    return breakpoints_.back().id;
}

void ExecControl::remove(int id) {
    std::erase_if(breakpoints_, [id](const Breakpoint& bp) { return bp.id == id; });
    rebuild_flags();
}

void ExecControl::remove_all() {
    breakpoints_.clear();
    rebuild_flags();
}

Breakpoint* ExecControl::find_mutable(int id) {
    for (auto& bp : breakpoints_) {
        if (bp.id == id) return &bp;
    }
    return nullptr;
}

const Breakpoint* ExecControl::find(int id) const {
    for (const auto& bp : breakpoints_) {
        if (bp.id == id) return &bp;
    }
    return nullptr;
}

void ExecControl::set_enabled(int id, bool enabled) {
    if (Breakpoint* bp = find_mutable(id)) {
        bp->enabled = enabled;
        rebuild_flags();
    }
}

void ExecControl::set_condition(int id, std::string_view condition) {
    Breakpoint* bp = find_mutable(id);
    if (!bp) return;
    auto parsed = parse_condition(condition);  // throws before anything changes
    bp->condition = parsed;
    bp->condition_text.clear();
    if (parsed) {
        const auto begin = condition.find_first_not_of(" \t");
        const auto end = condition.find_last_not_of(" \t");
        bp->condition_text = std::string(condition.substr(begin, end - begin + 1));
    }
}

void ExecControl::reset_hits() {
    for (auto& bp : breakpoints_) bp.hits = 0;
}

const Breakpoint* ExecControl::exec_at(uint16_t address) const {
    for (const auto& bp : breakpoints_) {
        if (bp.kind == BreakKind::Exec && bp.first == address) return &bp;
    }
    return nullptr;
}

bool ExecControl::toggle_exec(uint16_t address) {
    if (const Breakpoint* bp = exec_at(address)) {
        remove(bp->id);
        return false;
    }
    add(BreakKind::Exec, address, address);
    return true;
}

// The flag tables follow the enabled breakpoints and the step target.
void ExecControl::rebuild_flags() {
    address_flags.fill(0);
    port_flags.fill(0);
    bool any = false;
    for (const auto& bp : breakpoints_) {
        if (!bp.enabled) continue;
        any = true;
        switch (bp.kind) {
        case BreakKind::Exec: address_flags[bp.first] |= BREAK_EXEC; break;
        case BreakKind::Read:
        case BreakKind::Write:
        case BreakKind::ReadWrite: {
            const uint8_t bits = bp.kind == BreakKind::Read    ? WATCH_READ
                                 : bp.kind == BreakKind::Write ? WATCH_WRITE
                                                               : WATCH_READ | WATCH_WRITE;
            for (uint32_t a = bp.first; a <= bp.last; ++a) address_flags[a] |= bits;
            break;
        }
        case BreakKind::In: port_flags[bp.first] |= BREAK_IN; break;
        case BreakKind::Out: port_flags[bp.first] |= BREAK_OUT; break;
        }
    }
    if (target_) {
        address_flags[*target_] |= BREAK_EXEC;
        any = true;
    }
    set_armed(any);
}

// ---------------------------------------------------------------------------------------
// Steps

void ExecControl::disarm_steps() {
    instruction_limit = -1;
    return_floor = -1;
    const bool had_target = target_.has_value();
    target_.reset();
    target_min_sp_.reset();
    armed_step_ = StopKind::None;
    if (had_target) rebuild_flags();
}

void ExecControl::continue_run() {
    disarm_steps();
    skip_first_exec = true;
    stopped_ = false;
}

void ExecControl::step() {
    continue_run();
    instruction_limit = 1;
    armed_step_ = StopKind::Step;
}

void ExecControl::step_over(const MachineState& m) {
    const uint8_t op = do_read(m, m.PC);
    if (!control_flow(op).enters_subroutine()) {
        step();
        return;
    }
    continue_run();
    target_ = static_cast<uint16_t>(m.PC + opcode_info(op).length);
    target_min_sp_ = m.SP;  // a recursive call of the same routine passes by the same address deeper down
    armed_step_ = StopKind::StepOver;
    rebuild_flags();
}

void ExecControl::step_out(const MachineState& m) {
    continue_run();
    return_floor = m.SP;
    armed_step_ = StopKind::StepOut;
}

void ExecControl::run_to(uint16_t address) {
    continue_run();
    target_ = address;
    armed_step_ = StopKind::RunToCursor;
    rebuild_flags();
}

void ExecControl::note_break(const MachineState& m) {
    if (!stopped_) stopped(StopKind::Break, m.PC);  // a pause right after a stop is that stop
}

void ExecControl::go_on(const MachineState& m) { skip_first_exec = m.PC == stop_pc_; }

void ExecControl::stopped(StopKind kind, uint16_t pc) {
    last_stop_ = kind;
    stop_pc_ = pc;
    last_span_ = cycles - cycles_mark_;
    cycles_mark_ = cycles;
    stopped_ = true;
    disarm_steps();
}

int64_t ExecControl::cycles_since_stop() const { return stopped_ ? last_span_ : cycles - cycles_mark_; }

// ---------------------------------------------------------------------------------------
// Running

bool ExecControl::run(MachineState& m, int32_t budget) {
    stopped_ = false;
    if (!any_check()) {
        skip_first_exec = false;
        i8080_do_opcodes(m, budget);
        cycles += m.cycles;
        return false;
    }
    last_hit_id_ = 0;
    const StopKind step_kind = armed_step_;
    StopKind reached = StopKind::None;
    pending_kind_ = StopKind::None;
    if (!i8080_run_checked(m, budget, *this)) return false;
    switch (stop_cause) {
    case StopCause::Breakpoint:
    case StopCause::Access: reached = pending_kind_; break;
    case StopCause::Step: reached = StopKind::Step; break;
    case StopCause::Return: reached = StopKind::StepOut; break;
    case StopCause::None: reached = step_kind; break;
    }
    stopped(reached, m.PC);
    return true;
}

bool ExecControl::exec_hit(const MachineState& m) {
    bool hit = false;
    if (target_ && m.PC == *target_ && (!target_min_sp_ || m.SP >= *target_min_sp_)) {
        pending_kind_ = armed_step_;
        hit = true;
    }
    for (auto& bp : breakpoints_) {
        if (!bp.enabled || bp.kind != BreakKind::Exec || bp.first != m.PC) continue;
        if (bp.condition && !bp.condition->holds(m)) continue;
        ++bp.hits;
        last_hit_id_ = bp.id;
        pending_kind_ = StopKind::Breakpoint;
        hit = true;
    }
    return hit;
}

bool ExecControl::access_hit(const MachineState& m, const Access* accesses, int count) {
    bool hit = false;
    for (auto& bp : breakpoints_) {
        if (!bp.enabled || bp.kind == BreakKind::Exec) continue;
        bool met = false;
        for (int i = 0; i < count && !met; ++i) {
            const Access& a = accesses[i];
            met = matches(bp.kind, a) && a.address >= bp.first && a.address <= bp.last;
        }
        if (!met || (bp.condition && !bp.condition->holds(m))) continue;
        ++bp.hits;  // once per instruction, however many of its bytes fall in the range
        last_hit_id_ = bp.id;
        pending_kind_ = StopKind::Breakpoint;
        hit = true;
    }
    return hit;
}

std::string ExecControl::stop_text() const {
    switch (last_stop_) {
    case StopKind::None: return "";
    case StopKind::Breakpoint:
        if (const Breakpoint* bp = last_hit()) {
            std::string s =
                "breakpoint " + std::to_string(bp->id) + ": " + break_kind_name(bp->kind) + " " + bp->where();
            if (bp->condition) s += " if " + bp->condition_text;
            return s;
        }
        return "breakpoint";
    case StopKind::Step: return "step";
    case StopKind::StepOver: return "step over";
    case StopKind::StepOut: return "step out";
    case StopKind::RunToCursor: return "run to cursor";
    case StopKind::Break: return "break";
    }
    return "";
}

// ---------------------------------------------------------------------------------------
// Trace

void ExecControl::set_trace(bool on) { trace_on = on; }

std::string trace_line(const TraceEntry& e) {
    const ListingRow row = listing_row(e.pc, e.bytes[0], e.bytes[1], e.bytes[2]);
    char text[64];
    std::snprintf(text, sizeof text, "%-5s %-8s  %-10s %-4s  ", row.address.c_str(), row.bytes.c_str(),
                  row.mnemonic.c_str(), row.operand.c_str());
    return text + ("A=" + hex2(e.a)) + " F=" + hex2(e.f) + " BC=" + hex4(e.bc) + " DE=" + hex4(e.de) +
           " HL=" + hex4(e.hl) + " SP=" + hex4(e.sp);
}

ListingRow code_row(uint16_t address, uint8_t op, uint8_t b1, uint8_t b2) {
    ListingRow row = listing_row(address, op, b1, b2);
    if (op == OUT_OPCODE) row.mnemonic = "OUT " + hex2(b1);
    return row;
}

std::vector<CodeLine> code_around(const MachineState& m, uint16_t pc, int context, int count) {
    const auto length_at = [&m](uint16_t a) { return opcode_info(do_read(m, a)).length; };
    uint16_t start = pc;
    for (int back = context; back > 0; --back) {
        uint16_t a = static_cast<uint16_t>(pc - back);
        int walked = 0;
        while (walked < back) {
            const int n = length_at(a);
            walked += n;
            a = static_cast<uint16_t>(a + n);
        }
        if (walked == back) {
            start = static_cast<uint16_t>(pc - back);
            break;
        }
    }
    std::vector<CodeLine> lines;
    lines.reserve(static_cast<size_t>(std::max(count, 0)));
    uint16_t a = start;
    for (int i = 0; i < count; ++i) {
        const uint8_t op = do_read(m, a);
        lines.push_back(
            {a, code_row(a, op, do_read(m, static_cast<uint16_t>(a + 1)), do_read(m, static_cast<uint16_t>(a + 2)))});
        a = static_cast<uint16_t>(a + opcode_info(op).length);
    }
    return lines;
}

std::string register_line(const MachineState& m) {
    return "PC=" + hex4(m.PC) + " SP=" + hex4(m.SP) + " A=" + hex2(m.A) + " F=" + hex2(m.F) + " BC=" + hex2(m.B) +
           hex2(m.C) + " DE=" + hex2(m.D) + hex2(m.E) + " HL=" + hex2(m.H) + hex2(m.L) +
           " cycles=" + std::to_string(m.cycles);
}

std::vector<std::string> ExecControl::trace_lines(size_t n) const {
    const size_t size = trace.size();
    const size_t from = n < size ? size - n : 0;
    std::vector<std::string> lines;
    lines.reserve(size - from);
    for (size_t i = from; i < size; ++i) lines.push_back(trace_line(trace.at(i)));
    return lines;
}

}  // namespace lvov
