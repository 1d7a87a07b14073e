#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quillon {

// Eight bytes at a time, for the scans of the parser, the escaper and the block converter.
constexpr std::uint64_t LowBits = 0x0101010101010101ULL;
constexpr std::uint64_t HighBits = 0x8080808080808080ULL;
constexpr std::uint64_t SevenBits = 0x7F7F7F7F7F7F7F7FULL;

// Words are handled with the first byte in memory as the lowest: the borrows of the flag
// arithmetic run towards later bytes, so the first flagged byte is exact.
inline std::uint64_t loadWord(const char* At) {
  std::uint64_t Word;
  std::memcpy(&Word, At, sizeof Word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  Word = __builtin_bswap64(Word);
#endif
  return Word;
}

// The high bit of the lowest flagged byte is set exactly where Word has its first zero byte.
inline std::uint64_t zeroBytes(std::uint64_t Word) { return (Word - LowBits) & ~Word & HighBits; }

// The offset of the first byte from 0x80 up in [Data, Data + Size), or Size.
inline std::size_t findHighByte(const char* Data, std::size_t Size) {
  std::size_t I = 0;
  while (I + 8 <= Size && (loadWord(Data + I) & HighBits) == 0)
    I += 8;
  for (; I < Size; ++I)
    if (static_cast<unsigned char>(Data[I]) >= 0x80)
      return I;
  return Size;
}

} // namespace quillon
