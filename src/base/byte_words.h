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

// The four bytes at At, in the low half of a word.
inline std::uint64_t loadHalfWord(const char* At) {
  std::uint32_t Half;
  std::memcpy(&Half, At, sizeof Half);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  Half = __builtin_bswap32(Half);
#endif
  return Half;
}

inline void storeWord(char* At, std::uint64_t Word) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  Word = __builtin_bswap64(Word);
#endif
  std::memcpy(At, &Word, sizeof Word);
}

// The word of the Count bytes (1 to 7) at At, the rest zero, read without a byte loop and
// without touching a byte beyond them.
inline std::uint64_t partialWord(const char* At, std::size_t Count) {
  if (Count >= 4) // two overlapping halves
    return loadHalfWord(At) | loadHalfWord(At + Count - 4) << (8 * (Count - 4));
  // the first, middle and last byte cover one to three bytes
  const auto byteAt = [At](std::size_t I) {
    return static_cast<std::uint64_t>(static_cast<unsigned char>(At[I])) << (8 * I);
  };
  return byteAt(0) | byteAt(Count / 2) | byteAt(Count - 1);
}

// The word of the last Count bytes (1 to 7) before End, the rest zero; the 8 bytes before End
// must be readable.
inline std::uint64_t lastBytes(const char* End, std::size_t Count) {
  return loadWord(End - 8) >> (8 * (8 - Count));
}

// A mask of the first Count (1 to 7) bytes of a word.
inline std::uint64_t firstBytes(std::size_t Count) { return (1ULL << (8 * Count)) - 1; }

// The position in its word of the lowest byte flagged in Hits (not 0).
inline std::size_t firstFlagged(std::uint64_t Hits) {
  return static_cast<std::size_t>(__builtin_ctzll(Hits) >> 3);
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
