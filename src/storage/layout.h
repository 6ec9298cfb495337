// Internal to the storage readers: checks that buffer 1 holds a whole layout before a
// reader changes anything, so a short file is refused with the machine untouched.
#pragma once
#include <cstdint>
#include <string>

#include "core/errors.h"
#include "storage/buffers.h"

namespace lvov {

// Throws RangeError unless the loaded file holds at least `needed` bytes.
inline void require_loaded(const ByteBufferBank& bank, uint64_t needed, const char* what) {
    const uint32_t have = bank.loaded_size(1);
    if (have < needed) {
        throw RangeError(std::string(what) + " is cut short: the file holds " + std::to_string(have) +
                         " bytes, its layout needs " + std::to_string(needed));
    }
}

inline uint16_t loaded_word(const ByteBufferBank& bank, uint32_t offset) {
    const uint8_t* p = bank.data(1) + offset;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace lvov
