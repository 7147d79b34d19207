// XXH3's update built for AVX2, twice the width of the SSE2 build the rest of the program uses;
// called only where the processor and the system support it (FileChecksum.cpp checks).
#define XXH_INLINE_ALL
#include "xxhash/xxhash.h"

#include <cstddef>

void StrongHashUpdateWide(void* state, const void* data, size_t size) {
    (void)XXH3_128bits_update(static_cast<XXH3_state_t*>(state), data, size);
}
