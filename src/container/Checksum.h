#pragma once
// The two payload checksums of the container engine.
//  - XOR: the XOR of the buffer's little-endian 32-bit words, floor(length / 4) of them; trailing bytes
//    are not covered; an empty buffer gives 0.
//  - CRC-16/ARC: reflected polynomial 0xA001, initial value 0, no final XOR (table driven); the 16-bit
//    result is held zero-extended in a 32-bit field.
// Any other checksum type computes as 0 and verifies as matching (pages of unknown checksum type stay
// readable).
#include <cstddef>
#include <cstdint>

namespace quillmar {

inline constexpr uint8_t ctXor = 0;
inline constexpr uint8_t ctCRC16 = 1;

uint32_t XorChecksum(const uint8_t* data, size_t length);
uint16_t Crc16Arc(const uint8_t* data, size_t length);

// Checksum of the given type; 0 for an unknown type.
uint32_t ComputeChecksum(uint8_t checksumType, const uint8_t* data, size_t length);
// True when `stored` matches the buffer under the given type; always true for an unknown type.
bool VerifyChecksum(uint8_t checksumType, uint32_t stored, const uint8_t* data, size_t length);

}  // namespace quillmar
