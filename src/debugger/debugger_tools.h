// The debugger's tools, free of any window: the texts of the memory grid, the
// disassembly listing, memory search and replace, and the value tracker.
//
// Every tool works on MachineState::memory, the 64 KiB address space (RAM below C000,
// the firmware image from C000 up), by raw indexing: what the memory-map switch gives
// the processor plays no part, video memory is never shown, and reading never has side
// effects. Nothing outside the 64 KiB array is ever read or written.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/machine.h"
#include "core/opcodes.h"

namespace lvov {

// ---------------------------------------------------------------------------------------
// Memory grid: 4097 rows of 18 columns. Row 0 and column 0 are headers; row r (1..4096)
// shows the 16 bytes from (r - 1) * 16 in columns 1..16 and their characters in 17.

constexpr int GRID_COLUMNS = 18;
constexpr int GRID_ROWS = 4097;
constexpr int GRID_BYTES_PER_ROW = 16;
constexpr int GRID_CHAR_COLUMN = 17;
constexpr int GRID_LAST_ROW = GRID_ROWS - 1;

// "0000:" ... "FFF0:", the address of a grid row's first byte (row 1..4096).
std::string row_address_text(int row);
// "3E": two upper-case hexadecimal digits.
std::string byte_text(uint8_t value);
// The character column's letter for a byte: 32..127 as themselves, everything else '.'.
char display_char(uint8_t value);
// The 16 characters of the row that starts at address start (a multiple of 16).
std::string row_chars(const MachineState& m, uint16_t start);
// The status bar's text for the byte under the mouse: "Adress:C000 Byte:3E".
std::string hover_text(const MachineState& m, uint16_t address);

struct GridCell {
    int column = 0;
    int row = 0;
    bool operator==(const GridCell&) const = default;
};
// The cell that shows the byte at address (0..FFFF).
GridCell cell_of_address(uint16_t address);
// Where Enter moves the current cell: along the row into the character column, from
// there to column 1 of the next row, and from the last row's end back to row 1.
GridCell cell_after_enter(GridCell cell);

// ---------------------------------------------------------------------------------------
// Disassembly listing

// Called after each listed instruction with the number listed so far.
using ListingProgress = std::function<void(int rows)>;

// Lists start..end (both included) as instructions, one row each, decoding linearly:
// every instruction starts right after the previous one. An instruction that starts at
// or before end is listed whole. The address space ends at FFFF: the listing stops
// there, an operand byte that would lie past FFFF reads as 00, and a start below 0000
// begins the listing at 0000. start above end lists nothing.
std::vector<ListingRow> listing_rows(const MachineState& m, int32_t start, int32_t end,
                                     const ListingProgress& progress = {});

// The progress range of a listing: end - start, kept within int.
int listing_progress_range(int32_t start, int32_t end);

// ---------------------------------------------------------------------------------------
// Search and replace

// Every address, ascending, whose byte equals the low 8 bits of value (256 finds 00).
std::vector<uint32_t> search_memory(const MachineState& m, int32_t value);

// The address as a 16-bit one; an address outside 0000-FFFF throws RangeError.
uint16_t address_in_space(int64_t address);

// Writes the low 8 bits of value at address, raw: the firmware image from C000 up is
// written too. An address outside 0000-FFFF throws RangeError and writes nothing.
void replace_byte(MachineState& m, int64_t address, int32_t value);

// ---------------------------------------------------------------------------------------
// Value tracker: remember the address space, later list the bytes that went down by one.

struct ValueTracker {
    std::array<uint8_t, MEMORY_SIZE> memory_snapshot{};  // zeros until the first remember

    // Copies the whole address space; returns the number of bytes copied (65536).
    int remember(const MachineState& m);
    // Every address, ascending, whose byte is now exactly one less than the remembered
    // one. No wrap: 00 -> FF is no decrease, and 01 -> 00 is never listed.
    std::vector<uint32_t> decreased_by_one(const MachineState& m) const;
};

}  // namespace lvov
