#pragma once
// How the decks' parts (DSPlayer*.cpp, nothing else) take the channels' shared lock: an
// operation of the UI thread waits at most 250 ms for it and does nothing without it.
#include "audio/DSPlayer.h"

#include <chrono>
#include <mutex>

namespace corvalin {

inline constexpr auto kLockWait = std::chrono::milliseconds(250);

using Guard = std::unique_lock<RecursiveTimedLock>;

inline Guard tryLock(RecursiveTimedLock& m) {
    Guard g(m, std::defer_lock);
    (void)g.try_lock_for(kLockWait);
    return g;
}

} // namespace corvalin
