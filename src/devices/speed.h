// Frame timing: the frame timer period derived from the frames-per-second setting.
#pragma once

namespace lvov {

constexpr int DEFAULT_FPS = 50;
constexpr int DEFAULT_CYCLES_PER_FRAME = 68000;
constexpr int MIN_FPS = 1;
constexpr int MAX_FPS = 999;

// 1000 / fps milliseconds, rounded to the nearest whole number, ties to even
// (16 fps -> 62, 400 fps -> 2). fps <= 0 throws RangeError.
int frame_interval_ms(int fps);

}  // namespace lvov
