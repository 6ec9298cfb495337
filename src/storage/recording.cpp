#include "storage/recording.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/errors.h"
#include "core/hex.h"
#include "host/files.h"
#include "storage/registers.h"
#include "storage/snapshot.h"

namespace lvov {

namespace {

constexpr size_t MAGIC_SIZE = 8;
constexpr size_t HEADER_SIZE = MAGIC_SIZE + 2;
constexpr size_t CHECKSUM_SIZE = 8;
// frame, cycle, kind, code, value, value2 and the two lengths: an input without a name or bytes.
constexpr size_t MIN_INPUT_SIZE = 8 + 4 + 1 + 1 + 4 + 4 + 4 + 4;
constexpr size_t BUDGET_SIZE = 8 + 4;

bool before(const InputPosition& a, const InputPosition& b) {
    return a.frame < b.frame || (a.frame == b.frame && a.cycle < b.cycle);
}

// Every kind this version writes. A switch without a default, so a kind added to
// InputKind and not here fails the build (-Wswitch) instead of being refused at replay.
bool known_kind(uint8_t kind) {
    switch (static_cast<InputKind>(kind)) {
    case InputKind::KeyDown:
    case InputKind::KeyUp:
    case InputKind::Speed:
    case InputKind::Reset:
    case InputKind::LoadFile:
    case InputKind::ChooseGame:
    case InputKind::RewindBack:
    case InputKind::RewindForward:
    case InputKind::Pause:
    case InputKind::Resume:
    case InputKind::Poke:
    case InputKind::Step:
    case InputKind::StepOver:
    case InputKind::StepOut:
    case InputKind::RunTo:
    case InputKind::Continue:
    case InputKind::Break: return true;
    }
    return false;
}

// The fields state_hash covers, in its order, fed to a sink of bytes: all of MachineState.
static_assert(sizeof(MachineState) == 12 + 4 + MEMORY_SIZE + VRAM_SIZE + 256 + 8 + 4 + 4 * 2,
              "a field added to MachineState belongs in state_hash");
template <class Sink>
void hashed_fields(const MachineState& m, Sink&& put) {
    const auto word = [&put](uint16_t w) {
        const uint8_t b[] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)};
        put(b, 2);
    };
    const RegisterBlock registers = pack_registers(m);
    put(registers.data(), registers.size());
    const auto cycles = static_cast<uint32_t>(m.cycles);
    word(static_cast<uint16_t>(cycles));
    word(static_cast<uint16_t>(cycles >> 16));
    put(m.memory.data(), m.memory.size());
    put(m.vram.data(), m.vram.size());
    put(m.port_latches.data(), m.port_latches.size());
    put(m.kbd_matrix.data(), m.kbd_matrix.size());
    put(m.kbd_extra.data(), m.kbd_extra.size());
    for (uint16_t w : {m.warm_sp, m.warm_pc, m.basic_start_ptr, m.basic_end_ptr}) word(w);
}

class Writer {
public:
    void u8(uint8_t v) { out.push_back(v); }
    void u16(uint16_t v) { u8(static_cast<uint8_t>(v)), u8(static_cast<uint8_t>(v >> 8)); }
    void u32(uint32_t v) { u16(static_cast<uint16_t>(v)), u16(static_cast<uint16_t>(v >> 16)); }
    void u64(uint64_t v) { u32(static_cast<uint32_t>(v)), u32(static_cast<uint32_t>(v >> 32)); }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void raw(const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }
    void block(const uint8_t* p, size_t n) {
        if (n > UINT32_MAX) throw RangeError("A recorded block of " + std::to_string(n) + " bytes is too large");
        u32(static_cast<uint32_t>(n));
        raw(p, n);
    }
    std::vector<uint8_t> out;
};

// Reads the file's bytes in order and never past their end: a field that would reach
// past it reports the file cut short, naming the section it was reading.
class Reader {
public:
    Reader(std::span<const uint8_t> file, const std::string& name) : file_(file), name_(name) {}

    void section(const char* what) { section_ = what; }
    size_t remaining() const { return file_.size() - at_; }
    size_t position() const { return at_; }

    const uint8_t* take(size_t n) {
        if (n > remaining())
            fail("is cut short: it ends at byte " + std::to_string(file_.size()) + ", inside the " + section_);
        const uint8_t* p = file_.data() + at_;
        at_ += n;
        return p;
    }
    uint8_t u8() { return *take(1); }
    uint16_t u16() {
        const uint8_t* p = take(2);
        return static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    uint32_t u32() {
        const uint32_t low = u16();
        return low | (uint32_t(u16()) << 16);
    }
    uint64_t u64() {
        const uint64_t low = u32();
        return low | (uint64_t(u32()) << 32);
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    // A block's length, checked against the bytes left before anything is allocated.
    size_t length() {
        const uint32_t n = u32();
        if (n > remaining())
            fail("is cut short or damaged: a block of " + std::to_string(n) + " bytes in the " + section_ +
                 " reaches past the file's end");
        return n;
    }
    std::span<const uint8_t> block() {
        const size_t n = length();
        return {take(n), n};
    }

    [[noreturn]] void fail(const std::string& why) const { throw RangeError(refusal(name_, why)); }
    [[noreturn]] void damaged(const std::string& why) const { fail("is damaged: " + why); }

    static std::string refusal(const std::string& name, const std::string& why) {
        return "Cannot replay \"" + name + "\": it " + why + "; nothing was changed";
    }

private:
    std::span<const uint8_t> file_;
    const std::string& name_;
    size_t at_ = 0;
    const char* section_ = "header";
};

void write_start(Writer& w, ByteBufferBank& bank, const RecordingStart& s) {
    // Images that match nothing: the snapshot always carries the firmware bytes.
    EncodeSnapshot(bank, s.machine, RomImages{});
    w.block(bank.data(1), bank.cursor(1));
    const MachineState& m = s.machine;
    w.i32(m.cycles);
    w.raw(m.kbd_matrix.data(), m.kbd_matrix.size());
    w.raw(m.kbd_extra.data(), m.kbd_extra.size());
    for (uint16_t v : {m.warm_sp, m.warm_pc, m.basic_start_ptr, m.basic_end_ptr}) w.u16(v);
    w.i32(s.fps);
    w.i32(s.cycles_per_frame);
    w.u8(s.paused ? 1 : 0);
    for (uint16_t code : s.key_tables) w.u16(code);
    w.raw(s.firmware.data(), s.firmware.size());
    uint16_t held = 0;
    for (uint16_t code : s.held_keys) held += code != NO_HELD_KEY;
    w.u16(held);
    for (size_t vk = 0; vk < s.held_keys.size(); ++vk) {
        if (s.held_keys[vk] == NO_HELD_KEY) continue;
        w.u8(static_cast<uint8_t>(vk));
        w.u16(s.held_keys[vk]);
    }
}

void read_start(Reader& r, RecordingStart& s) {
    r.section("starting state");
    const std::span<const uint8_t> snapshot = r.block();
    MachineState& m = s.machine;
    init_RAM(m);
    m.cycles = r.i32();
    std::memcpy(m.kbd_matrix.data(), r.take(m.kbd_matrix.size()), m.kbd_matrix.size());
    std::memcpy(m.kbd_extra.data(), r.take(m.kbd_extra.size()), m.kbd_extra.size());
    for (uint16_t* v : {&m.warm_sp, &m.warm_pc, &m.basic_start_ptr, &m.basic_end_ptr}) *v = r.u16();
    s.fps = r.i32();
    if (s.fps < 1) r.damaged("its frame rate " + std::to_string(s.fps) + " is below 1");
    s.cycles_per_frame = r.i32();
    const uint8_t paused = r.u8();
    if (paused > 1) r.damaged("its pause state is " + std::to_string(paused) + ", neither 0 nor 1");
    s.paused = paused == 1;
    for (uint16_t& code : s.key_tables) code = r.u16();
    std::memcpy(s.firmware.data(), r.take(s.firmware.size()), s.firmware.size());
    const uint16_t held = r.u16();
    if (held > s.held_keys.size()) r.damaged(std::to_string(held) + " keys are said to be held, of 256");
    int last_vk = -1;
    for (uint16_t i = 0; i < held; ++i) {
        const uint8_t vk = r.u8();
        if (vk <= last_vk) r.damaged("the held keys are not in ascending order");
        last_vk = vk;
        s.held_keys[vk] = r.u16();
    }

    // The snapshot over a machine with the recording's firmware in place, so that a
    // snapshot naming a firmware image by number gets that one.
    std::copy(s.firmware.begin(), s.firmware.end(), m.memory.begin() + ROM_START);
    const size_t header_size = std::min<size_t>(FILE_HEADER_SIZE, snapshot.size());
    const std::string header(reinterpret_cast<const char*>(snapshot.data()), header_size);
    try {
        if (!ReadSnapshot(snapshot, m, header)) r.damaged("its starting state is no snapshot this program reads");
    } catch (const RangeError& e) {
        r.damaged(std::string("its starting state: ") + e.what());
    }
}

void read_inputs(Reader& r, std::vector<RecordedInput>& inputs) {
    r.section("inputs");
    const uint32_t count = r.u32();
    if (count > r.remaining() / MIN_INPUT_SIZE)
        r.fail("is cut short or damaged: " + std::to_string(count) + " inputs cannot fit in the " +
               std::to_string(r.remaining()) + " bytes left");
    inputs.reserve(count);
    InputPosition last;
    for (uint32_t i = 0; i < count; ++i) {
        RecordedInput in;
        in.at.frame = r.u64();
        in.at.cycle = r.u32();
        const uint8_t kind = r.u8();
        if (!known_kind(kind))
            r.damaged("input " + std::to_string(i + 1) + " has the unknown kind " + std::to_string(kind));
        in.input.kind = static_cast<InputKind>(kind);
        in.input.code = r.u8();
        in.input.value = r.i32();
        in.input.value2 = r.i32();
        const std::span<const uint8_t> name = r.block();
        in.input.name.assign(name.begin(), name.end());
        const std::span<const uint8_t> bytes = r.block();
        in.input.bytes.assign(bytes.begin(), bytes.end());
        if (before(in.at, last)) r.damaged("input " + std::to_string(i + 1) + " lies before the one ahead of it");
        last = in.at;
        inputs.push_back(std::move(in));
    }
}

void read_budgets(Reader& r, std::vector<FrameBudget>& budgets) {
    r.section("frame budgets");
    const uint32_t count = r.u32();
    if (count > r.remaining() / BUDGET_SIZE)
        r.fail("is cut short or damaged: " + std::to_string(count) + " frame budgets cannot fit in the " +
               std::to_string(r.remaining()) + " bytes left");
    budgets.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        FrameBudget b;
        b.frame = r.u64();
        b.budget = r.i32();
        if (i == 0 ? b.frame != 0 : b.frame <= budgets.back().frame)
            r.damaged("its frame budgets are not in frame order from frame 0");
        budgets.push_back(b);
    }
}

}  // namespace

uint64_t fnv1a(std::span<const uint8_t> bytes, uint64_t hash) {
    for (uint8_t b : bytes) hash = (hash ^ b) * FNV_PRIME;
    return hash;
}

uint64_t state_hash(const MachineState& m) {
    uint64_t hash = FNV_OFFSET_BASIS;
    hashed_fields(m, [&hash](const uint8_t* p, size_t n) { hash = fnv1a({p, n}, hash); });
    return hash;
}

std::string hash_text(uint64_t hash) {
    return hex_digits(static_cast<uint32_t>(hash >> 32), 8) + hex_digits(static_cast<uint32_t>(hash), 8);
}

std::vector<uint8_t> encode_recording(ByteBufferBank& bank, const Recording& recording) {
    Writer w;
    w.raw(reinterpret_cast<const uint8_t*>(RECORDING_MAGIC), MAGIC_SIZE);
    w.u16(RECORDING_VERSION);
    write_start(w, bank, recording.start);
    w.u32(static_cast<uint32_t>(recording.inputs.size()));
    for (const RecordedInput& in : recording.inputs) {
        w.u64(in.at.frame);
        w.u32(in.at.cycle);
        w.u8(static_cast<uint8_t>(in.input.kind));
        w.u8(in.input.code);
        w.i32(in.input.value);
        w.i32(in.input.value2);
        w.block(reinterpret_cast<const uint8_t*>(in.input.name.data()), in.input.name.size());
        w.block(in.input.bytes.data(), in.input.bytes.size());
    }
    w.u32(static_cast<uint32_t>(recording.budgets.size()));
    for (const FrameBudget& b : recording.budgets) {
        w.u64(b.frame);
        w.i32(b.budget);
    }
    w.u64(recording.end.frame);
    w.u32(recording.end.cycle);
    w.u64(recording.final_hash);
    w.u64(fnv1a(w.out));
    return std::move(w.out);
}

Recording decode_recording(std::span<const uint8_t> file, const std::string& name) {
    Reader r(file, name);
    if (file.size() < MAGIC_SIZE || std::memcmp(file.data(), RECORDING_MAGIC, MAGIC_SIZE) != 0)
        r.fail("is not an input recording");
    r.take(MAGIC_SIZE);
    const uint16_t version = r.u16();
    if (version > RECORDING_VERSION)
        r.fail("was made by a newer version of the program (recording version " + std::to_string(version) +
               "; this one reads up to " + std::to_string(RECORDING_VERSION) + ")");
    if (version == 0) r.damaged("its version is 0");
    // The checksum first: a damaged file is refused as such, before its lengths are believed.
    if (file.size() < HEADER_SIZE + CHECKSUM_SIZE) r.fail("is cut short: it ends inside its header");
    const size_t body = file.size() - CHECKSUM_SIZE;
    uint64_t stored = 0;
    for (size_t i = 0; i < CHECKSUM_SIZE; ++i) stored |= uint64_t(file[body + i]) << (8 * i);
    if (fnv1a(file.first(body)) != stored) r.fail("is damaged or cut short: its checksum does not match its contents");

    auto recording = std::make_unique<Recording>();
    Reader content(file.first(body), name);
    content.take(HEADER_SIZE);
    read_start(content, recording->start);
    read_inputs(content, recording->inputs);
    read_budgets(content, recording->budgets);
    content.section("end");
    recording->end.frame = content.u64();
    recording->end.cycle = content.u32();
    recording->final_hash = content.u64();
    if (content.remaining() != 0) content.damaged(std::to_string(content.remaining()) + " bytes follow its end");
    if (!recording->inputs.empty() && before(recording->end, recording->inputs.back().at))
        content.damaged("its last input lies past its end");
    const std::vector<FrameBudget>& budgets = recording->budgets;
    if (recording->end.frame > 0 && budgets.empty()) content.damaged("its frames have no budget");
    if (!budgets.empty() && budgets.back().frame >= recording->end.frame)
        content.damaged("a frame budget lies past its end");
    return std::move(*recording);
}

void save_recording(ByteBufferBank& bank, const Recording& recording, const std::string& path_utf8) {
    const std::vector<uint8_t> bytes = encode_recording(bank, recording);
    write_file_atomically(host_path(path_utf8), bytes.data(), bytes.size(), true);
}

Recording load_recording(const std::string& path_utf8) {
    const std::vector<uint8_t> file = read_regular_file(host_path(path_utf8), MAX_RECORDING_SIZE + 1);
    if (file.size() > MAX_RECORDING_SIZE)
        throw RangeError(Reader::refusal(
            path_utf8, "is larger than " + std::to_string(MAX_RECORDING_SIZE >> 20) + " MiB, more than any recording"));
    return decode_recording(file, path_utf8);
}

// ---------------------------------------------------------------------------------------
// Recorder and Replayer

Recorder::Recorder(RecordingStart start, InputPosition origin) : origin_(origin) {
    recording_.start = std::move(start);
}

InputPosition Recorder::relative(const InputPosition& at) const {
    if (before(at, origin_))
        throw RangeError("An input at frame " + std::to_string(at.frame) + " lies before the recording's start");
    return {at.frame - origin_.frame, at.frame == origin_.frame ? at.cycle - origin_.cycle : at.cycle};
}

void Recorder::input(const InputPosition& session_at, const Input& input) {
    const InputPosition at = relative(session_at);
    if (at.frame != frames_ || before(at, last_))
        throw RangeError("An input at cycle " + std::to_string(at.cycle) + " of frame " + std::to_string(at.frame) +
                         " is out of step with the recording, at cycle " + std::to_string(last_.cycle) + " of frame " +
                         std::to_string(frames_) + "; it is not recorded");
    recording_.inputs.push_back({at, input});
    last_ = at;
}

void Recorder::frame_done(int32_t budget) {
    std::vector<FrameBudget>& budgets = recording_.budgets;
    if (budgets.empty() || budgets.back().budget != budget) budgets.push_back({frames_, budget});
    ++frames_;
    last_ = {frames_, 0};
}

Recording Recorder::finish(const MachineState& final, const InputPosition& at) const {
    const InputPosition end = relative(at);
    if (end.frame != frames_ || before(end, last_))
        throw RangeError("The recording cannot end at frame " + std::to_string(end.frame) + " after " +
                         std::to_string(frames_) + " frames");
    Recording recording = recording_;
    recording.end = end;
    recording.final_hash = state_hash(final);
    return recording;
}

Replayer::Replayer(Recording recording) : recording_(std::move(recording)) {}

const Input* Replayer::take_due() {
    if (next_ >= recording_.inputs.size() || recording_.inputs[next_].at.frame > frames_) return nullptr;
    return &recording_.inputs[next_++].input;
}

int32_t Replayer::frame_budget() const {
    const std::vector<FrameBudget>& budgets = recording_.budgets;
    return budget_ < budgets.size() ? budgets[budget_].budget : 0;
}

void Replayer::frame_done() {
    ++frames_;
    const std::vector<FrameBudget>& budgets = recording_.budgets;
    if (budget_ + 1 < budgets.size() && budgets[budget_ + 1].frame <= frames_) ++budget_;
}

bool Replayer::at_end() const { return next_ == recording_.inputs.size() && frames_ >= recording_.end.frame; }

}  // namespace lvov
