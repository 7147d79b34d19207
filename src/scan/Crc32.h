// CRC-32 of the Zip and gzip formats (reflected polynomial 0xEDB88320).
// Every function follows the same chaining rule: pass 0 for the first piece and the previous
// result for each further piece; the result is the finished CRC of everything passed so far.
#pragma once

#include <cstddef>
#include <cstdint>

// Byte at a time, with its table built afresh per call: the plain definition the fast paths answer to.
[[nodiscard]] uint32_t Crc32Reference(uint32_t crc, const void* data, size_t size);

// Eight bytes per step from eight tables; runs on any processor.
[[nodiscard]] uint32_t Crc32SliceBy8(uint32_t crc, const void* data, size_t size);

// Carry-less multiply folding; only valid where Crc32ClmulAvailable() says so.
[[nodiscard]] bool Crc32ClmulAvailable();
[[nodiscard]] uint32_t Crc32Clmul(uint32_t crc, const void* data, size_t size);

// The fastest of the above that this processor runs.
[[nodiscard]] uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);
