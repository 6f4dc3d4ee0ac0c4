#include "platform/MemoryRelease.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace corvalin {

void releaseFreedMemory() {
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

} // namespace corvalin
