// What a test program compiled to WebAssembly cannot do under node: no FIFOs (mkfifo fails,
// or on the host's files makes an ordinary file), no fork, no mounts, no resource limits.
// A test that needs one of them skips from that point on, giving the reason; everything
// before the skip has run and counts.
#pragma once
#include <gtest/gtest.h>

#ifdef __EMSCRIPTEN__
#define LVOV_SKIP_UNDER_NODE(reason) GTEST_SKIP() << "not under node: " << (reason)
#else
#define LVOV_SKIP_UNDER_NODE(reason) static_cast<void>(0)
#endif
