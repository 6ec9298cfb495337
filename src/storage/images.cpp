#include "storage/images.h"

#include <algorithm>
#include <cstring>

#include "core/hex.h"
#include "core/rom.h"
#include "storage/layout.h"
#include "storage/registers.h"

namespace lvov {

namespace {

bool begins_with(const std::string& header, const char* magic) {
    const size_t len = std::strlen(magic);
    return header.size() >= len && header.compare(0, len, magic) == 0;
}

void read_binary_program(std::span<const uint8_t> file, MachineState& m) {
    require_loaded(file, TAPE_BINARY_DATA, "The machine-code tape image");
    const uint16_t start = loaded_word(file, TAPE_START_OFFSET);
    const uint16_t end = loaded_word(file, TAPE_END_OFFSET);
    const uint16_t run = loaded_word(file, TAPE_RUN_OFFSET);
    const uint32_t count = end >= start ? uint32_t(end) - start + 1 : 0;  // end below start copies nothing
    require_loaded(file, uint64_t(TAPE_BINARY_DATA) + count, "The machine-code tape image");

    // The warm start's address is pushed as the return address, so the program can end
    // in a RET into the firmware; control goes to the program itself.
    warm_start(m);
    m.PC = run;
    // After the push: program bytes over warm_sp..warm_sp+1 replace the return address.
    std::memcpy(m.memory.data() + start, file.data() + TAPE_BINARY_DATA, count);
}

void read_basic_program(std::span<const uint8_t> file, MachineState& m) {
    // Offsets 16 .. size-2; an image of 17 bytes or fewer holds no program bytes.
    const size_t size = file.size();
    const size_t count =
        size > TAPE_HEADER_SIZE + TAPE_BASIC_TRAILER ? size - TAPE_HEADER_SIZE - TAPE_BASIC_TRAILER : 0;

    // The load address is read after the return address is pushed; work it out first
    // as it will be then, so that a program that cannot fit is refused untouched.
    auto byte_after_push = [&m](uint16_t a) -> uint8_t {
        if (a == m.warm_sp) return static_cast<uint8_t>(m.warm_pc);
        if (a == static_cast<uint16_t>(m.warm_sp + 1)) return static_cast<uint8_t>(m.warm_pc >> 8);
        return m.memory[a];
    };
    const uint16_t base = static_cast<uint16_t>(byte_after_push(m.basic_start_ptr) |
                                                (byte_after_push(static_cast<uint16_t>(m.basic_start_ptr + 1)) << 8));
    if (uint32_t(base) + count > MEMORY_SIZE) {
        throw RangeError("The BASIC program of " + std::to_string(count) +
                         " bytes does not fit in memory from address " + hex4(base) + " (it would run past FFFF)");
    }

    warm_start(m);
    std::memcpy(m.memory.data() + base, file.data() + TAPE_HEADER_SIZE, count);
    set_var(m, m.basic_end_ptr, static_cast<uint16_t>(base + count));
}

}  // namespace

void ReadTapeBody(std::span<const uint8_t> file, MachineState& m) {
    require_loaded(file, TAPE_TYPE_OFFSET + 1, "The tape image");
    if (file[TAPE_TYPE_OFFSET] == TAPE_TYPE_BINARY) {
        read_binary_program(file, m);
    } else {
        read_basic_program(file, m);  // every other type is BASIC
    }
}

bool ReadTapeImage(std::span<const uint8_t> file, MachineState& m, const std::string& file_header) {
    if (!begins_with(file_header, TAPE_MAGIC)) return false;
    ReadTapeBody(file, m);
    return true;
}

bool ReadDumpImage(std::span<const uint8_t> file, MachineState& m, const std::string& file_header) {
    if (!begins_with(file_header, DUMP_MAGIC)) return false;
    require_loaded(file, DUMP_SIZE, "The dump image");
    const uint8_t* p = file.data() + DUMP_DATA;
    std::memcpy(m.memory.data(), p, MEMORY_SIZE);
    p += MEMORY_SIZE;
    std::memcpy(m.vram.data(), p, VRAM_SIZE);
    p += VRAM_SIZE;
    std::memcpy(m.port_latches.data(), p, m.port_latches.size());  // as they are, not complemented
    p += m.port_latches.size();
    unpack_registers(p, m);
    return true;
}

}  // namespace lvov
