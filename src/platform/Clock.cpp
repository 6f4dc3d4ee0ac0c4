#include "platform/Clock.h"

#include <chrono>

namespace corvalin {

StandardRandom::StandardRandom()
    : engine_(
          static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {
}

int StandardRandom::below(int bound) {
    if (bound <= 1)
        return 0;
    return std::uniform_int_distribution<int>(0, bound - 1)(engine_);
}

int ScriptedRandom::below(int bound) {
    ++draws_;
    if (bound <= 1 || values_.empty())
        return 0;
    const int v = values_[next_];
    next_ = (next_ + 1) % values_.size();
    const int r = v % bound;
    return r < 0 ? r + bound : r;
}

} // namespace corvalin
