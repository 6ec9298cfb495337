#include "debugger/debugger_tools.h"

#include <algorithm>
#include <limits>

#include "core/errors.h"
#include "core/hex.h"

namespace lvov {

namespace {

constexpr uint8_t FIRST_SHOWN_CHAR = 32;
constexpr uint8_t LAST_SHOWN_CHAR = 127;
constexpr char HIDDEN_CHAR = '.';

}  // namespace

// ---------------------------------------------------------------------------------------
// Memory grid texts

std::string row_address_text(int row) { return hex4(static_cast<uint32_t>((row - 1) * GRID_BYTES_PER_ROW)) + ":"; }

std::string byte_text(uint8_t value) { return hex2(value); }

char display_char(uint8_t value) {
    return value >= FIRST_SHOWN_CHAR && value <= LAST_SHOWN_CHAR ? static_cast<char>(value) : HIDDEN_CHAR;
}

std::string row_chars(const MachineState& m, uint16_t start) {
    std::string s(GRID_BYTES_PER_ROW, HIDDEN_CHAR);
    for (int i = 0; i < GRID_BYTES_PER_ROW; ++i) {
        s[static_cast<size_t>(i)] = display_char(m.memory[static_cast<uint16_t>(start + i)]);
    }
    return s;
}

std::string hover_text(const MachineState& m, uint16_t address) {
    return "Adress:" + hex4(address) + " Byte:" + byte_text(m.memory[address]);
}

GridCell cell_of_address(uint16_t address) {
    return {address % GRID_BYTES_PER_ROW + 1, address / GRID_BYTES_PER_ROW + 1};
}

GridCell cell_after_enter(GridCell cell) {
    if (cell.column < GRID_CHAR_COLUMN) return {cell.column + 1, cell.row};
    if (cell.row >= GRID_LAST_ROW) return {1, 1};
    return {1, cell.row + 1};
}

// ---------------------------------------------------------------------------------------
// Disassembly listing

std::vector<ListingRow> listing_rows(const MachineState& m, int32_t start, int32_t end,
                                     const ListingProgress& progress) {
    std::vector<ListingRow> rows;
    const int64_t last = std::min<int64_t>(end, MEMORY_SIZE - 1);
    // Bytes past the top of the address space read as 00.
    auto byte_at = [&](int64_t a) -> uint8_t { return a < MEMORY_SIZE ? m.memory[static_cast<size_t>(a)] : 0; };
    for (int64_t a = std::max<int64_t>(start, 0); a <= last;) {
        const uint8_t op = byte_at(a);
        rows.push_back(listing_row(static_cast<uint16_t>(a), op, byte_at(a + 1), byte_at(a + 2)));
        a += opcode_info(op).length;
        if (progress) progress(static_cast<int>(rows.size()));
    }
    return rows;
}

int listing_progress_range(int32_t start, int32_t end) {
    const int64_t span = int64_t{end} - start;
    return static_cast<int>(
        std::clamp<int64_t>(span, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// ---------------------------------------------------------------------------------------
// Search and replace

std::vector<uint32_t> search_memory(const MachineState& m, int32_t value) {
    const auto v = static_cast<uint8_t>(value);
    std::vector<uint32_t> found;
    for (uint32_t a = 0; a < MEMORY_SIZE; ++a) {
        if (m.memory[a] == v) found.push_back(a);
    }
    return found;
}

uint16_t address_in_space(int64_t address) {
    if (address < 0 || address >= MEMORY_SIZE) {
        std::string text = "Address " + std::to_string(address);
        if (address >= 0) text += " (hex " + hex_digits(static_cast<uint64_t>(address), 1) + ")";
        throw RangeError(text + " is outside the address space 0000-FFFF");
    }
    return static_cast<uint16_t>(address);
}

void replace_byte(MachineState& m, int64_t address, int32_t value) {
    m.memory[address_in_space(address)] = static_cast<uint8_t>(value);
}

// ---------------------------------------------------------------------------------------
// Value tracker

int ValueTracker::remember(const MachineState& m) {
    memory_snapshot = m.memory;
    return static_cast<int>(memory_snapshot.size());
}

std::vector<uint32_t> ValueTracker::decreased_by_one(const MachineState& m) const {
    std::vector<uint32_t> found;
    for (uint32_t a = 0; a < MEMORY_SIZE; ++a) {
        const int old_value = memory_snapshot[a];
        if (old_value != 1 && m.memory[a] == old_value - 1) found.push_back(a);
    }
    return found;
}

}  // namespace lvov
