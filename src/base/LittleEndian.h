#pragma once
// Little-endian integers in byte buffers: the byte order of every stored format of the program
// (container headers, pages, key records, journals), whatever the machine's own order is.
//
//  - GetLE<T>(p) / PutLE<T>(p, v): sizeof(T) bytes at p, least significant first. REQUIRES: p points
//    to sizeof(T) readable (writable) bytes. Signed types keep their two's-complement bits.
//  - The overloads taking a span and an offset check the bounds first and throw std::out_of_range
//    when the integer does not lie wholly inside the span (offsets near SIZE_MAX included).
#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <type_traits>

namespace quillmar {

template <std::integral T>
inline T GetLE(const uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    // One load: the checksums read every page's payload through this.
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
  } else {
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
      u = static_cast<U>(u | static_cast<U>(static_cast<U>(p[i]) << (8 * i)));
    return static_cast<T>(u);
  }
}

template <std::integral T>
inline void PutLE(uint8_t* p, T value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &value, sizeof value);
  } else {
    using U = std::make_unsigned_t<T>;
    const auto u = static_cast<U>(value);
    for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(u >> (8 * i));
  }
}

namespace detail {
inline void CheckLERange(size_t size, size_t offset, size_t width) {
  if (offset > size || size - offset < width)
    throw std::out_of_range("little-endian field outside the buffer");
}
}  // namespace detail

template <std::integral T>
T GetLE(std::span<const uint8_t> bytes, size_t offset) {
  detail::CheckLERange(bytes.size(), offset, sizeof(T));
  return GetLE<T>(bytes.data() + offset);
}

template <std::integral T>
void PutLE(std::span<uint8_t> bytes, size_t offset, T value) {
  detail::CheckLERange(bytes.size(), offset, sizeof(T));
  PutLE<T>(bytes.data() + offset, value);
}

}  // namespace quillmar
