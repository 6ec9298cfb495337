#include "storage/snapshot.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "core/errors.h"
#include "storage/images.h"
#include "storage/layout.h"

namespace lvov {

namespace {

constexpr uint32_t MAGIC_SIZE = 8;
constexpr uint32_t VERSION_OFFSET = 8;
constexpr uint32_t BODY_OFFSET = 9;
constexpr uint32_t RAM_SIZE = ROM_START;  // 0000-BFFF
constexpr uint32_t LATCH_COUNT = 256;
constexpr uint32_t REGISTER_BYTES = 12;   // B C D E H L A F, SP, PC
constexpr uint8_t LATCH_COMPLEMENT = 0xFF;  // latches at their reset value FF are stored as zeros

constexpr uint8_t VERSION_RAW_FULL = 0x01;   // memory 0000-FFFF raw
constexpr uint8_t VERSION_RAW_ROM_ID = 0x02; // memory 0000-BFFF, rom_id, raw
constexpr uint8_t VERSION_TAPE = 0x03;       // a tape image behind the snapshot magic
constexpr uint8_t VERSION_CODED_FULL = 0x31; // zero-run coded, memory 0000-FFFF

bool begins_with_magic(const std::string& header) {
    return header.size() >= MAGIC_SIZE && header.compare(0, MAGIC_SIZE, SNAPSHOT_MAGIC) == 0;
}

void set_registers(MachineState& m, const uint8_t* r) {
    m.B = r[0], m.C = r[1], m.D = r[2], m.E = r[3], m.H = r[4], m.L = r[5], m.A = r[6], m.F = r[7];
    m.SP = static_cast<uint16_t>(r[8] | (r[9] << 8));
    m.PC = static_cast<uint16_t>(r[10] | (r[11] << 8));
}

// Versions 01 and 02: raw sections, checked against the file's size before any is copied.
void read_raw(ByteBufferBank& bank, MachineState& m, uint8_t version) {
    const char* what = "The snapshot";
    const uint8_t* p = bank.data(1) + BODY_OFFSET;
    uint32_t rom_bytes = ROM_SIZE;
    if (version == VERSION_RAW_ROM_ID) {
        require_loaded(bank, BODY_OFFSET + RAM_SIZE + 1, what);
        const uint8_t rom_id = p[RAM_SIZE];
        rom_bytes = rom_id == 0 ? ROM_SIZE : 0;  // the firmware bytes follow only for id 0
    }
    const uint32_t id_bytes = version == VERSION_RAW_ROM_ID ? 1 : 0;
    require_loaded(bank, uint64_t(BODY_OFFSET) + RAM_SIZE + id_bytes + rom_bytes + VRAM_SIZE + LATCH_COUNT + REGISTER_BYTES,
                   what);

    std::memcpy(m.memory.data(), p, RAM_SIZE);
    p += RAM_SIZE + id_bytes;
    std::memcpy(m.memory.data() + ROM_START, p, rom_bytes);
    p += rom_bytes;
    std::memcpy(m.vram.data(), p, VRAM_SIZE);
    p += VRAM_SIZE;
    std::memcpy(m.port_latches.data(), p, LATCH_COUNT);  // as they are, not complemented
    p += LATCH_COUNT;
    set_registers(m, p);
    bank.set_cursor(1, static_cast<uint32_t>(p + REGISTER_BYTES - bank.data(1)));
}

// Decodes the zero-run stream of buffer 1 with every token checked against the file's
// size. Writers that did not complete the stream's end left the register section's
// trailing zeros unwritten; a stream that ends cleanly there delivers them as zeros.
// Any other shortfall is a truncated file.
class CheckedDecoder {
public:
    explicit CheckedDecoder(ByteBufferBank& bank) : bank_(bank), end_(bank.loaded_size(bank.codec_buffer())) {}

    uint8_t byte(bool may_end = false) {
        if (bank_.zero_run() > 0) return bank_.ZeroRunGetByte();
        const int n = bank_.codec_buffer();
        const uint32_t at = bank_.cursor(n);
        if (at >= end_) {
            if (may_end) return 0x00;
            truncated();
        }
        if (bank_.data(n)[at] == 0x00 && uint64_t(at) + 3 > end_) truncated();  // a run token needs its count
        return bank_.ZeroRunGetByte();
    }
    // A byte outside the decoder (rom_id).
    uint8_t raw() {
        if (bank_.cursor(1) >= bank_.loaded_size(1)) truncated();
        return bank_.GetByte(1);
    }
    void fill(uint8_t* out, size_t count) {
        if (!bank_.ZeroRunGetBytes(out, count, end_)) truncated();
    }

private:
    [[noreturn]] void truncated() const {
        throw RangeError("The snapshot is cut short: its coded data ends at byte " + std::to_string(end_) +
                         " before the sections are complete");
    }
    ByteBufferBank& bank_;
    uint32_t end_;
};

// Versions 0x31 and 0x32: decoded aside first, copied into the machine only when the
// whole stream has been read.
struct DecodedSections {
    std::array<uint8_t, MEMORY_SIZE> memory;
    std::array<uint8_t, VRAM_SIZE> vram;
    std::array<uint8_t, LATCH_COUNT> latches;
    uint8_t registers[REGISTER_BYTES];
};

void read_coded(ByteBufferBank& bank, MachineState& m, uint8_t version) {
    auto next = std::make_unique<DecodedSections>();
    CheckedDecoder in(bank);
    bank.set_cursor(1, BODY_OFFSET);
    uint32_t memory_bytes = MEMORY_SIZE;
    if (version == VERSION_CODED_FULL) {
        in.fill(next->memory.data(), MEMORY_SIZE);
    } else {
        in.fill(next->memory.data(), RAM_SIZE);
        const uint8_t rom_id = in.raw();  // always a literal, taken raw
        if (rom_id == 0 || rom_id == ROM_ID_OTHER) {
            in.fill(next->memory.data() + ROM_START, ROM_SIZE);
        } else {
            memory_bytes = RAM_SIZE;  // rom_id 1..3: the firmware already in place stays
        }
    }
    in.fill(next->vram.data(), VRAM_SIZE);
    in.fill(next->latches.data(), LATCH_COUNT);
    for (auto& r : next->registers) r = in.byte(true);

    std::memcpy(m.memory.data(), next->memory.data(), memory_bytes);
    m.vram = next->vram;
    for (uint32_t i = 0; i < LATCH_COUNT; ++i) m.port_latches[i] = next->latches[i] ^ LATCH_COMPLEMENT;
    set_registers(m, next->registers);
}

}  // namespace

std::string snapshot_path_with_extension(std::string path) {
    const size_t ext_len = std::strlen(SNAPSHOT_EXTENSION);
#ifdef _WIN32
    const size_t slash = path.find_last_of("/\\");
#else
    const size_t slash = path.find_last_of('/');
#endif
    const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    const size_t at = path.find(SNAPSHOT_EXTENSION, name_start);
    if (at == std::string::npos || at + ext_len != path.size()) path += SNAPSHOT_EXTENSION;
    return path;
}

std::string SaveSnapshot(ByteBufferBank& bank, const MachineState& m, const RomImages& roms, const std::string& path,
                         bool durable) {
    // "DIR/" would otherwise become the hidden file "DIR/.NevLVE".
    const std::filesystem::path given = host_path(path);
    if (path.empty() || !given.has_filename() || given.filename() == "." || given.filename() == "..")
        throw IoError("Cannot write a snapshot to \"" + path + "\": it names a folder, not a file");
    bank.ZeroRunBegin(1);
    const std::string target = snapshot_path_with_extension(path);
    bank.PutString(1, SNAPSHOT_MAGIC);
    bank.PutByte(1, SNAPSHOT_VERSION);
    bank.ZeroRunPutBytes(m.memory.data(), RAM_SIZE);
    int id = identify_rom(m, roms);
    if (id == 0) id = ROM_ID_OTHER;
    bank.ZeroRunPutByte(static_cast<uint8_t>(id));
    if (id == ROM_ID_OTHER) {
        bank.ZeroRunPutBytes(m.memory.data() + ROM_START, ROM_SIZE);
    }
    bank.ZeroRunPutBytes(m.vram.data(), VRAM_SIZE);
    uint8_t latches[LATCH_COUNT];
    for (uint32_t i = 0; i < LATCH_COUNT; ++i) latches[i] = m.port_latches[i] ^ LATCH_COMPLEMENT;
    bank.ZeroRunPutBytes(latches, LATCH_COUNT);
    for (uint8_t reg : {m.B, m.C, m.D, m.E, m.H, m.L, m.A, m.F}) bank.ZeroRunPutByte(reg);
    bank.ZeroRunPutWord(m.SP);
    bank.ZeroRunPutWord(m.PC);
    bank.ZeroRunFlush();  // the registers end the stream: their trailing zeros must reach the file
    bank.SaveBufferToFile(1, host_path(target), durable);
    return target;
}

bool ReadSnapshot(ByteBufferBank& bank, MachineState& m, const std::string& file_header) {
    if (!begins_with_magic(file_header)) return false;
    require_loaded(bank, BODY_OFFSET, "The snapshot");
    bank.set_cursor(1, VERSION_OFFSET);
    const uint8_t version = bank.GetByte(1);
    switch (version) {
        case VERSION_RAW_FULL:
        case VERSION_RAW_ROM_ID:
            read_raw(bank, m, version);
            return true;
        case VERSION_TAPE:
            ReadTapeBody(bank, m);
            return true;
        case VERSION_CODED_FULL:
        case SNAPSHOT_VERSION:
            read_coded(bank, m, version);
            return true;
        default:
            return false;  // unknown version: not taken, nothing changed
    }
}

LoadResult LoadImageFile(ByteBufferBank& bank, MachineState& m, const std::string& path) {
    bank.ZeroRunBegin(1);
    bank.LoadFileToBuffer(1, host_path(path));
    // Only bytes of this file count: a file shorter than a magic cannot match it.
    const uint32_t header_size = std::min<uint32_t>(FILE_HEADER_SIZE, bank.loaded_size(1));
    const std::string file_header(reinterpret_cast<const char*>(bank.data(1)), header_size);
    bank.set_cursor(1, 0);
    try {
        if (ReadSnapshot(bank, m, file_header)) return LoadResult::Snapshot;
        if (ReadDumpImage(bank, m, file_header)) return LoadResult::Dump;
        if (ReadTapeImage(bank, m, file_header)) return LoadResult::Tape;
    } catch (const RangeError& e) {
        throw RangeError("Cannot load \"" + path + "\": " + e.what());
    }
    return LoadResult::NotRecognised;
}

}  // namespace lvov
