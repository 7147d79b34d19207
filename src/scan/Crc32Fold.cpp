// CRC-32 by carry-less multiplication: four 128-bit lanes folded 64 bytes at a time, then
// reduced to one lane and finished with a Barrett reduction ("Fast CRC Computation for Generic
// Polynomials Using PCLMULQDQ Instruction", Intel, 2009). The constants are the bit-reflected
// values for the polynomial 0x04C11DB7. This file alone is compiled for PCLMULQDQ and SSE4.1;
// Crc32Clmul() only calls it after checking the processor.
#include <cstddef>
#include <cstdint>

#include <emmintrin.h>
#include <smmintrin.h>
#include <wmmintrin.h>

uint32_t Crc32FoldBlocks(uint32_t state, const unsigned char* data, size_t size);

namespace {

alignas(16) const uint64_t kFold512[2] = {0x0154442bd4ull, 0x01c6e41596ull};
alignas(16) const uint64_t kFold128[2] = {0x01751997d0ull, 0x00ccaa009eull};
alignas(16) const uint64_t kFold64[2] = {0x0163cd6124ull, 0x0000000000ull};
alignas(16) const uint64_t kBarrett[2] = {0x01db710641ull, 0x01f7011641ull};

__m128i Load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Folds `acc` forward by the distance `k` encodes and adds `next`.
__m128i Fold(__m128i acc, __m128i k, __m128i next) {
    const __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

}  // namespace

uint32_t Crc32FoldBlocks(uint32_t state, const unsigned char* data, size_t size) {
    __m128i x1 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(state)));
    __m128i x2 = Load(data + 16);
    __m128i x3 = Load(data + 32);
    __m128i x4 = Load(data + 48);
    data += 64;
    size -= 64;

    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold512));
    while (size >= 64) {
        x1 = Fold(x1, k, Load(data));
        x2 = Fold(x2, k, Load(data + 16));
        x3 = Fold(x3, k, Load(data + 32));
        x4 = Fold(x4, k, Load(data + 48));
        data += 64;
        size -= 64;
    }

    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold128));
    x1 = Fold(x1, k, x2);
    x1 = Fold(x1, k, x3);
    x1 = Fold(x1, k, x4);
    while (size >= 16) {
        x1 = Fold(x1, k, Load(data));
        data += 16;
        size -= 16;
    }

    // 128 bits down to 64.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x2r = _mm_clmulepi64_si128(x1, k, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2r);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kFold64));
    x2r = _mm_srli_si128(x1, 4);
    x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00);
    x1 = _mm_xor_si128(x1, x2r);

    // Barrett reduction to 32 bits.
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), k, 0x00);
    x1 = _mm_xor_si128(x1, t);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}
