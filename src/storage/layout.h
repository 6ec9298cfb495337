// Internal to the storage readers: checks that a file holds a whole layout before a
// reader changes anything, so a short file is refused with the machine untouched.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "core/errors.h"

namespace lvov {

// Throws RangeError unless the file holds at least `needed` bytes.
inline void require_loaded(std::span<const uint8_t> file, uint64_t needed, const char* what) {
    if (file.size() < needed) {
        throw RangeError(std::string(what) + " is cut short: the file holds " + std::to_string(file.size()) +
                         " bytes, its layout needs " + std::to_string(needed));
    }
}

// The word at offset, low byte first; the caller has checked that the file holds it.
inline uint16_t loaded_word(std::span<const uint8_t> file, uint32_t offset) {
    return static_cast<uint16_t>(file[offset] | (file[offset + 1] << 8));
}

}  // namespace lvov
