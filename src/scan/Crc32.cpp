#include "scan/Crc32.h"

#include <array>

#if defined(_MSC_VER)
#include <intrin.h>
#elif defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

// Implemented in Crc32Fold.cpp, which alone is compiled for PCLMULQDQ and SSE4.1.
// Takes and returns the inverted running state; `size` is at least 64 and a multiple of 16.
uint32_t Crc32FoldBlocks(uint32_t state, const unsigned char* data, size_t size);

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

using SliceTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr SliceTables MakeSliceTables() {
    SliceTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i) {
        for (size_t k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFu];
    }
    return t;
}

constexpr SliceTables kTables = MakeSliceTables();

uint32_t LoadLittleEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Works on the inverted running state.
uint32_t SliceBy8State(uint32_t state, const unsigned char* p, size_t size) {
    while (size >= 8) {
        const uint32_t lo = LoadLittleEndian32(p) ^ state;
        const uint32_t hi = LoadLittleEndian32(p + 4);
        state = kTables[7][lo & 0xFFu] ^ kTables[6][(lo >> 8) & 0xFFu] ^ kTables[5][(lo >> 16) & 0xFFu] ^
                kTables[4][lo >> 24] ^ kTables[3][hi & 0xFFu] ^ kTables[2][(hi >> 8) & 0xFFu] ^
                kTables[1][(hi >> 16) & 0xFFu] ^ kTables[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0) state = (state >> 8) ^ kTables[0][(state ^ *p++) & 0xFFu];
    return state;
}

bool DetectClmul() {
    unsigned ecx = 0;
#if defined(_MSC_VER)
    int regs[4] = {};
    __cpuid(regs, 1);
    ecx = static_cast<unsigned>(regs[2]);
#elif defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
#endif
    const bool pclmul = (ecx & (1u << 1)) != 0;
    const bool sse41 = (ecx & (1u << 19)) != 0;
    return pclmul && sse41;
}

}  // namespace

uint32_t Crc32Reference(uint32_t crc, const void* data, size_t size) {
    uint32_t table[256];
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ kPolynomial : c >> 1;
        table[i] = c;
    }
    const auto* p = static_cast<const unsigned char*>(data);
    uint32_t state = ~crc;
    for (size_t i = 0; i < size; ++i) state = (state >> 8) ^ table[(state ^ p[i]) & 0xFFu];
    return ~state;
}

uint32_t Crc32SliceBy8(uint32_t crc, const void* data, size_t size) {
    return ~SliceBy8State(~crc, static_cast<const unsigned char*>(data), size);
}

bool Crc32ClmulAvailable() {
    static const bool available = DetectClmul();
    return available;
}

uint32_t Crc32Clmul(uint32_t crc, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    uint32_t state = ~crc;
    if (size >= 64) {
        const size_t blocks = size & ~static_cast<size_t>(15);
        state = Crc32FoldBlocks(state, p, blocks);
        p += blocks;
        size -= blocks;
    }
    return ~SliceBy8State(state, p, size);
}

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
    return Crc32ClmulAvailable() ? Crc32Clmul(crc, data, size) : Crc32SliceBy8(crc, data, size);
}
