#pragma once

namespace corvalin {

// Gives the memory the program has freed back to the system: the allocator keeps freed memory in
// its per-thread pools, where days of song changes leave it scattered.
void releaseFreedMemory();

} // namespace corvalin
