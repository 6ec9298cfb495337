// Frame timer period from the frames-per-second setting.
#include "devices/speed.h"

#include <string>

#include "core/errors.h"

namespace lvov {

int frame_interval_ms(int fps) {
    if (fps <= 0) throw RangeError("Frames per second must be at least 1, not " + std::to_string(fps));
    constexpr int MS_PER_SECOND = 1000;
    int interval = MS_PER_SECOND / fps;
    const int twice_remainder = 2 * (MS_PER_SECOND % fps);
    // Round to nearest; an exact half goes to the even neighbour (62.5 -> 62, 2.5 -> 2).
    if (twice_remainder > fps || (twice_remainder == fps && (interval & 1))) ++interval;
    return interval;
}

}  // namespace lvov
