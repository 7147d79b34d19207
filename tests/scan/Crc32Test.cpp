#include "scan/Crc32.h"
#include "scan/FileChecksum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<unsigned char> RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<unsigned char> bytes(size);
    for (auto& b : bytes) b = static_cast<unsigned char>(random());
    return bytes;
}

using CrcFunction = uint32_t (*)(uint32_t, const void*, size_t);

// Every length up to a few folding blocks, at every alignment, plus chained pieces.
void ExpectSameAsReference(CrcFunction crc, const char* name) {
    const std::vector<unsigned char> data = RandomBytes(4096 + 64, 7);
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t length = 0; length <= 600; ++length) {
            ASSERT_EQ(crc(0, data.data() + offset, length), Crc32Reference(0, data.data() + offset, length))
                << name << " offset " << offset << " length " << length;
        }
    }
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        const size_t length = random() % 4096;
        const size_t split = length ? random() % length : 0;
        const uint32_t whole = Crc32Reference(0, data.data(), length);
        ASSERT_EQ(crc(crc(0, data.data(), split), data.data() + split, length - split), whole)
            << name << " split " << split << " of " << length;
    }
    const std::vector<unsigned char> big = RandomBytes((3u << 20) + 13, 3);
    EXPECT_EQ(crc(0, big.data(), big.size()), Crc32Reference(0, big.data(), big.size())) << name;
}

}  // namespace

TEST(Crc32, CheckValues) {
    const char* digits = "123456789";
    for (CrcFunction crc : {&Crc32Reference, &Crc32SliceBy8, &Crc32Update}) {
        EXPECT_EQ(crc(0, digits, 9), 0xCBF43926u);
        EXPECT_EQ(crc(0, "abc", 3), 0x352441C2u);
        EXPECT_EQ(crc(0, "", 0), 0u);
    }
}

TEST(Crc32, SliceBy8MatchesReference) { ExpectSameAsReference(&Crc32SliceBy8, "slice-by-8"); }

TEST(Crc32, ClmulMatchesReference) {
    if (!Crc32ClmulAvailable()) GTEST_SKIP() << "this processor has no carry-less multiply";
    ExpectSameAsReference(&Crc32Clmul, "clmul");
}

TEST(Crc32, TextHasEightUppercaseDigits) {
    EXPECT_EQ(FormatCrcText(0xCBF43926u), L"CBF43926");
    EXPECT_EQ(FormatCrcText(0x0000ABCDu), L"0000ABCD");
    EXPECT_EQ(FormatCrcText(0u), L"00000000");
    EXPECT_EQ(FormatCrcText(0xFFFFFFFFu), L"FFFFFFFF");
}
