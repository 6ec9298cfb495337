#include "storage/snapshot.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "core/errors.h"
#include "storage/images.h"
#include "storage/layout.h"
#include "storage/registers.h"

namespace lvov {

namespace {

constexpr uint32_t MAGIC_SIZE = 8;
constexpr uint32_t VERSION_OFFSET = 8;
constexpr uint32_t BODY_OFFSET = 9;
constexpr uint32_t RAM_SIZE = ROM_START;  // 0000-BFFF
constexpr uint32_t LATCH_COUNT = 256;
constexpr uint8_t LATCH_COMPLEMENT = 0xFF;  // latches at their reset value FF are stored as zeros

constexpr uint8_t VERSION_RAW_FULL = 0x01;  // memory 0000-FFFF raw
constexpr uint8_t VERSION_RAW_ROM_ID = 0x02;  // memory 0000-BFFF, rom_id, raw
constexpr uint8_t VERSION_TAPE = 0x03;  // a tape image behind the snapshot magic
constexpr uint8_t VERSION_CODED_FULL = 0x31;  // zero-run coded, memory 0000-FFFF

bool begins_with_magic(const std::string& header) {
    return header.size() >= MAGIC_SIZE && header.compare(0, MAGIC_SIZE, SNAPSHOT_MAGIC) == 0;
}

// Versions 01 and 02: raw sections, checked against the file's size before any is copied.
void read_raw(std::span<const uint8_t> file, MachineState& m, uint8_t version) {
    const char* what = "The snapshot";
    uint32_t rom_bytes = ROM_SIZE;
    if (version == VERSION_RAW_ROM_ID) {
        require_loaded(file, BODY_OFFSET + RAM_SIZE + 1, what);
        const uint8_t rom_id = file[BODY_OFFSET + RAM_SIZE];
        rom_bytes = rom_id == 0 ? ROM_SIZE : 0;  // the firmware bytes follow only for id 0
    }
    const uint32_t id_bytes = version == VERSION_RAW_ROM_ID ? 1 : 0;
    require_loaded(
        file, uint64_t(BODY_OFFSET) + RAM_SIZE + id_bytes + rom_bytes + VRAM_SIZE + LATCH_COUNT + REGISTER_BLOCK_SIZE,
        what);

    const uint8_t* p = file.data() + BODY_OFFSET;
    std::memcpy(m.memory.data(), p, RAM_SIZE);
    p += RAM_SIZE + id_bytes;
    std::memcpy(m.memory.data() + ROM_START, p, rom_bytes);
    p += rom_bytes;
    std::memcpy(m.vram.data(), p, VRAM_SIZE);
    p += VRAM_SIZE;
    std::memcpy(m.port_latches.data(), p, LATCH_COUNT);  // as they are, not complemented
    p += LATCH_COUNT;
    unpack_registers(p, m);
}

// Decodes the zero-run stream of the file with every token checked against its size. A
// stream that ends before every section is decoded, even at a token boundary, is a
// truncated file: the format has no length or checksum, so a file cut by one byte would
// otherwise load with its last register silently zero.
class CheckedDecoder {
public:
    CheckedDecoder(std::span<const uint8_t> file, size_t position) : in_(file, position), size_(file.size()) {}

    // A byte outside the coding (rom_id).
    uint8_t raw() {
        uint8_t b = 0x00;
        if (!in_.read_raw(b)) truncated();
        return b;
    }
    void fill(uint8_t* out, size_t count) {
        if (!in_.read(out, count)) truncated();
    }

private:
    [[noreturn]] void truncated() const {
        throw RangeError("The snapshot is cut short: its coded data ends at byte " + std::to_string(size_) +
                         " before the sections are complete");
    }
    ZeroRunReader in_;
    size_t size_;
};

// Versions 0x31 and 0x32: decoded aside first, copied into the machine only when the
// whole stream has been read.
struct DecodedSections {
    std::array<uint8_t, MEMORY_SIZE> memory;
    std::array<uint8_t, VRAM_SIZE> vram;
    std::array<uint8_t, LATCH_COUNT> latches;
    RegisterBlock registers;
};

void read_coded(std::span<const uint8_t> file, MachineState& m, uint8_t version) {
    auto next = std::make_unique<DecodedSections>();
    CheckedDecoder in(file, BODY_OFFSET);
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
    in.fill(next->registers.data(), REGISTER_BLOCK_SIZE);

    std::memcpy(m.memory.data(), next->memory.data(), memory_bytes);
    m.vram = next->vram;
    for (uint32_t i = 0; i < LATCH_COUNT; ++i) m.port_latches[i] = next->latches[i] ^ LATCH_COMPLEMENT;
    unpack_registers(next->registers.data(), m);
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
    // The extension in any letter case, as the file systems the format comes from match it.
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    std::string folded = path;
    std::transform(folded.begin(), folded.end(), folded.begin(), lower);
    std::string extension = SNAPSHOT_EXTENSION;
    std::transform(extension.begin(), extension.end(), extension.begin(), lower);
    const size_t at = folded.find(extension, name_start);
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
    std::string target = snapshot_path_with_extension(path);
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
    const RegisterBlock registers = pack_registers(m);
    bank.ZeroRunPutBytes(registers.data(), registers.size());
    bank.ZeroRunFlush();  // the registers end the stream: their trailing zeros must reach the file
    bank.SaveBufferToFile(1, host_path(target), durable);
    return target;
}

bool ReadSnapshot(std::span<const uint8_t> file, MachineState& m, const std::string& file_header) {
    if (!begins_with_magic(file_header)) return false;
    require_loaded(file, BODY_OFFSET, "The snapshot");
    const uint8_t version = file[VERSION_OFFSET];
    switch (version) {
    case VERSION_RAW_FULL:
    case VERSION_RAW_ROM_ID: read_raw(file, m, version); return true;
    case VERSION_TAPE: ReadTapeBody(file, m); return true;
    case VERSION_CODED_FULL:
    case SNAPSHOT_VERSION: read_coded(file, m, version); return true;
    default: return false;  // unknown version: not taken, nothing changed
    }
}

LoadResult LoadImageBytes(std::span<const uint8_t> file, MachineState& m, const std::string& name) {
    // Only bytes of this file count: a file shorter than a magic cannot match it, and no
    // reader sees past the file's end.
    const size_t header_size = std::min<size_t>(FILE_HEADER_SIZE, file.size());
    const std::string file_header(reinterpret_cast<const char*>(file.data()), header_size);
    try {
        if (ReadSnapshot(file, m, file_header)) return LoadResult::Snapshot;
        if (ReadDumpImage(file, m, file_header)) return LoadResult::Dump;
        if (ReadTapeImage(file, m, file_header)) return LoadResult::Tape;
    } catch (const RangeError& e) {
        throw RangeError("Cannot load \"" + name + "\": " + e.what());
    }
    return LoadResult::NotRecognised;
}

LoadResult LoadImageFile(ByteBufferBank& bank, MachineState& m, const std::string& path) {
    bank.ZeroRunBegin(1);
    bank.LoadFileToBuffer(1, host_path(path));
    return LoadImageBytes(bank.loaded_bytes(1), m, path);
}

LoadResult LoadRecognisedImageFile(ByteBufferBank& bank, MachineState& m, const std::string& path) {
    const LoadResult result = LoadImageFile(bank, m, path);
    if (result == LoadResult::NotRecognised)
        throw RangeError("Cannot load \"" + path + "\": it is not a tape image, dump or snapshot; nothing was loaded");
    return result;
}

}  // namespace lvov
