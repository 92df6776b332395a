#include "container/Checksum.h"

#include <array>

#include "base/LittleEndian.h"

namespace quillmar {

namespace {

constexpr std::array<uint16_t, 256> MakeCrc16ArcTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t c = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit)
      c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrc16ArcTable = MakeCrc16ArcTable();

}  // namespace

uint32_t XorChecksum(const uint8_t* data, size_t length) {
  uint32_t sum = 0;
  const size_t words = length / 4;
  for (size_t i = 0; i < words; ++i) {
    sum ^= GetLE<uint32_t>(data + 4 * i);
  }
  return sum;
}

uint16_t Crc16Arc(const uint8_t* data, size_t length) {
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i)
    crc = static_cast<uint16_t>((crc >> 8) ^ kCrc16ArcTable[(crc ^ data[i]) & 0xFF]);
  return crc;
}

uint32_t ComputeChecksum(uint8_t checksumType, const uint8_t* data, size_t length) {
  switch (checksumType) {
    case ctXor:
      return XorChecksum(data, length);
    case ctCRC16:
      return Crc16Arc(data, length);
    default:
      return 0;
  }
}

bool VerifyChecksum(uint8_t checksumType, uint32_t stored, const uint8_t* data, size_t length) {
  if (checksumType != ctXor && checksumType != ctCRC16) return true;
  return ComputeChecksum(checksumType, data, length) == stored;
}

}  // namespace quillmar
