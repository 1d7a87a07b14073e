#include "fastpath/structure_scan.h"

#include "base/byte_words.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quillon {

namespace {

using Masks = StructureScan::Masks;
using Sets = StructureScan::Sets;

constexpr std::size_t Window = 64;

// Each quotation mark flips the state: bit i tells whether byte i lies after an odd number of
// them in the window.
inline std::uint64_t prefixXor(std::uint64_t Bits) {
  Bits ^= Bits << 1;
  Bits ^= Bits << 2;
  Bits ^= Bits << 4;
  Bits ^= Bits << 8;
  Bits ^= Bits << 16;
  Bits ^= Bits << 32;
  return Bits;
}

// The state a scan carries from one window to the next.
struct Carries {
  std::uint64_t Inside; // all ones while the quotation is open at a window's end
  std::uint64_t Dirty;  // 1 while a cell that holds a byte needing care goes on
};

// The rings the masks go to, and the slot of the first window of a scan.
struct Rings {
  std::uint64_t* Structurals;
  std::uint64_t* Specials;
  std::uint64_t* Feeds;
  std::uint64_t* Quotes;
  std::uint64_t* Cares;
  std::uint64_t* QuotedFeeds;
  std::size_t At;
};

// What every level does with a window's masks (the last one of a scan clipped to its valid
// bytes): the quotation state, the structural bytes and the special ones, kept in the rings at
// window W of the scan. Inside: prefixXor of the quotes.
__attribute__((always_inline)) inline void finishWindow(const Masks& M, std::uint64_t Inside,
                                                        Carries& C, const Rings& R, std::size_t W) {
  Inside ^= C.Inside;
  C.Inside = static_cast<std::uint64_t>(static_cast<std::int64_t>(Inside) >> 63);
  const std::uint64_t Structural = (M.Separator & ~Inside) | M.Feed;
  // In Open a cell's bytes are ones up to the zero of the structural byte that ends it; a
  // byte needing care added there carries into that zero, and only into it.
  const std::uint64_t Open = ~Structural;
  std::uint64_t Sum = 0;
  const bool Over = __builtin_add_overflow(Open, M.Care & Open, &Sum);
  const bool Again = __builtin_add_overflow(Sum, C.Dirty, &Sum);
  C.Dirty = (Over || Again) ? 1 : 0;
  const std::size_t Slot = StructureScan::slot(R.At + W);
  R.Structurals[Slot] = Structural;
  R.Specials[Slot] = (Sum & Structural) | M.Feed;
  R.Feeds[Slot] = M.Feed;
  R.Quotes[Slot] = M.Quote;
  R.Cares[Slot] = M.Care;
  R.QuotedFeeds[Slot] = Inside & M.Feed;
}

// The bits of the first Valid bytes of a window.
inline std::uint64_t validBits(std::size_t Valid) {
  return Valid >= Window ? ~0ULL : (1ULL << Valid) - 1;
}

inline void clip(Masks& M, std::size_t Valid) {
  const std::uint64_t Keep = validBits(Valid);
  M.Quote &= Keep;
  M.Feed &= Keep;
  M.Separator &= Keep;
  M.Care &= Keep;
}

// A scan's window W of Windows: the last one is clipped to its LastValid bytes, so that the
// masks tell nothing of the padding after the stretch (the converter never asks there; other
// readers of the masks may).
inline void clipLast(Masks& M, std::size_t W, std::size_t Windows, std::size_t LastValid) {
  if (W + 1 == Windows)
    clip(M, LastValid);
}

// The windows of one scan by a kernel that fills a window's masks (Classify(At, M)), with the
// quotation state by shifts.
template <typename Classify>
void scanWindows(const char* At, std::size_t Windows, std::size_t LastValid, Carries& C,
                 const Rings& R, Classify classify) {
  for (std::size_t W = 0; W < Windows; ++W, At += Window) {
    Masks M;
    classify(At, M);
    clipLast(M, W, Windows, LastValid);
    finishWindow(M, prefixXor(M.Quote), C, R, W);
  }
}

// ---- 8-byte words, any processor

// The high bit of each byte of Word that is zero, exactly (no borrow crosses bytes).
inline std::uint64_t zeroByteBits(std::uint64_t Word) {
  return ~(((Word & SevenBits) + SevenBits) | Word | SevenBits);
}

// The high bit of each byte whose low seven bits are at least Low (1 to 0x7F).
inline std::uint64_t lowSevenAtLeast(std::uint64_t Word, unsigned Low) {
  return ((Word & SevenBits) + (0x80 - Low) * LowBits) & HighBits;
}

// The high bits of the eight bytes gathered into bits 0 to 7.
inline std::uint64_t gather(std::uint64_t HighBitsOfBytes) {
  return ((HighBitsOfBytes >> 7) * 0x0102040810204080ULL) >> 56;
}

void classifyWords(const char* At, const Sets& Bytes, const std::uint64_t* SeparatorWords,
                   Masks& M) {
  M = Masks{0, 0, 0, 0};
  for (unsigned W = 0; W < 8; ++W) {
    const std::uint64_t Word = loadWord(At + 8 * W);
    const std::uint64_t Quote = zeroByteBits(Word ^ (0x22 * LowBits));
    const std::uint64_t Feed = zeroByteBits(Word ^ (0x0A * LowBits));
    std::uint64_t Separator = 0;
    for (std::size_t K = 0; K < Bytes.SeparatorSlots; ++K)
      Separator |= zeroByteBits(Word ^ SeparatorWords[K]);
    const std::uint64_t High = Word & HighBits;
    const std::uint64_t FromSpace = lowSevenAtLeast(Word, 0x20);
    const std::uint64_t Delete = zeroByteBits(Word ^ (0x7F * LowBits));
    const std::uint64_t Special = Quote | zeroByteBits((Word | LowBits) ^ (0x27 * LowBits)) |
                                  zeroByteBits((Word | 0x02 * LowBits) ^ (0x3E * LowBits));
    std::uint64_t Clean = FromSpace & ~High & ~Delete & ~Special;
    if (Bytes.HighClean)
      Clean |= High & FromSpace;
    const unsigned Shift = 8 * W;
    M.Quote |= gather(Quote) << Shift;
    M.Feed |= gather(Feed) << Shift;
    M.Separator |= gather(Separator) << Shift;
    M.Care |= gather(~Clean & HighBits) << Shift;
  }
}

#if defined(__x86_64__)

// ---- SSE2, every x86-64

struct Sse2Sets {
  __m128i Separators[StructureScan::MaxSeparators];
  __m128i HighClean;
};

inline std::uint64_t sse2Bits(__m128i V) {
  return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(V)) & 0xFFFFu);
}

inline void classifySse2(const char* At, const Sets& Bytes, const Sse2Sets& V, Masks& M) {
  M = Masks{0, 0, 0, 0};
  const __m128i QuoteV = _mm_set1_epi8('"');
  const __m128i FeedV = _mm_set1_epi8('\n');
  const __m128i Below = _mm_set1_epi8(0x1F);
  const __m128i DeleteV = _mm_set1_epi8(0x7F);
  const __m128i One = _mm_set1_epi8(0x01);
  const __m128i Two = _mm_set1_epi8(0x02);
  const __m128i AmpApos = _mm_set1_epi8(0x27);
  const __m128i LessGreater = _mm_set1_epi8(0x3E);
  const __m128i HighLow = _mm_set1_epi8(static_cast<char>(0x9F));
  const __m128i Zero = _mm_setzero_si128();
  for (unsigned Part = 0; Part < 4; ++Part) {
    const __m128i B = _mm_loadu_si128(reinterpret_cast<const __m128i*>(At + 16 * Part));
    const __m128i Quote = _mm_cmpeq_epi8(B, QuoteV);
    __m128i Separator = _mm_cmpeq_epi8(B, V.Separators[0]);
    for (std::size_t K = 1; K < Bytes.SeparatorSlots; ++K)
      Separator = _mm_or_si128(Separator, _mm_cmpeq_epi8(B, V.Separators[K]));
    const __m128i Printable =
        _mm_andnot_si128(_mm_cmpeq_epi8(B, DeleteV), _mm_cmpgt_epi8(B, Below));
    const __m128i Special =
        _mm_or_si128(Quote, _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(B, One), AmpApos),
                                         _mm_cmpeq_epi8(_mm_or_si128(B, Two), LessGreater)));
    const __m128i High = _mm_and_si128(
        V.HighClean, _mm_and_si128(_mm_cmpgt_epi8(B, HighLow), _mm_cmpgt_epi8(Zero, B)));
    const __m128i Clean = _mm_or_si128(_mm_andnot_si128(Special, Printable), High);
    const unsigned Shift = 16 * Part;
    M.Quote |= sse2Bits(Quote) << Shift;
    M.Feed |= sse2Bits(_mm_cmpeq_epi8(B, FeedV)) << Shift;
    M.Separator |= sse2Bits(Separator) << Shift;
    M.Care |= (~sse2Bits(Clean) & 0xFFFFu) << Shift;
  }
}

// ---- AVX2, where the processor has it

#define QUILLON_AVX2 __attribute__((target("avx2,pclmul,popcnt,bmi,bmi2")))

struct Avx2Sets {
  __m256i Separators[StructureScan::MaxSeparators];
  // The bytes needing care, looked up by their two halves: a byte needs care when the classes
  // of its high and its low four bits share a bit.
  __m256i HighHalves;
  __m256i LowHalves;
};

// The classes of the bytes needing care: every byte of a row (0x00 to 0x1F, 0x80 to 0x9F, and
// 0xA0 to 0xFF unless they are clean), or one of a few in the rows of 0x20 (" & '), 0x30 (< >)
// and 0x70 (DEL).
constexpr unsigned char WholeRow = 1, Row2 = 2, Row3 = 4, Row7 = 8;

QUILLON_AVX2 void careHalves(bool HighClean, Avx2Sets& V) {
  alignas(16) unsigned char High[16] = {};
  alignas(16) unsigned char Low[16] = {};
  for (const unsigned Row : {0x0u, 0x1u, 0x8u, 0x9u})
    High[Row] = WholeRow;
  if (!HighClean)
    for (unsigned Row = 0xA; Row <= 0xF; ++Row)
      High[Row] = WholeRow;
  High[0x2] = Row2;
  High[0x3] = Row3;
  High[0x7] = Row7;
  for (unsigned char& Classes : Low)
    Classes = WholeRow;
  for (const unsigned Column : {0x2u, 0x6u, 0x7u}) // " & '
    Low[Column] |= Row2;
  for (const unsigned Column : {0xCu, 0xEu}) // < >
    Low[Column] |= Row3;
  Low[0xF] |= Row7; // DEL
  V.HighHalves =
      _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(High)));
  V.LowHalves = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(Low)));
}

QUILLON_AVX2 inline std::uint64_t avx2Bits(__m256i Low, __m256i High) {
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(Low))) |
         static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(High))) << 32;
}

QUILLON_AVX2 inline std::uint64_t clmulPrefixXor(std::uint64_t Bits) {
  const __m128i Product =
      _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(Bits)), _mm_set1_epi8(-1), 0);
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(Product));
}

struct Avx2Parts {
  __m256i Quote, Feed, Separator, Clean;
};

template <std::size_t Slots>
QUILLON_AVX2 inline Avx2Parts classifyAvx2Half(__m256i B, const Avx2Sets& V) {
  const __m256i Quote = _mm256_cmpeq_epi8(B, _mm256_set1_epi8('"'));
  __m256i Separator = _mm256_cmpeq_epi8(B, V.Separators[0]);
  for (std::size_t K = 1; K < Slots; ++K)
    Separator = _mm256_or_si256(Separator, _mm256_cmpeq_epi8(B, V.Separators[K]));
  const __m256i Nibble = _mm256_set1_epi8(0x0F);
  const __m256i HighClasses =
      _mm256_shuffle_epi8(V.HighHalves, _mm256_and_si256(_mm256_srli_epi16(B, 4), Nibble));
  const __m256i LowClasses = _mm256_shuffle_epi8(V.LowHalves, _mm256_and_si256(B, Nibble));
  const __m256i Clean =
      _mm256_cmpeq_epi8(_mm256_and_si256(HighClasses, LowClasses), _mm256_setzero_si256());
  return {Quote, _mm256_cmpeq_epi8(B, _mm256_set1_epi8('\n')), Separator, Clean};
}

template <std::size_t Slots>
QUILLON_AVX2 void scanAvx2(const char* At, std::size_t Windows, std::size_t LastValid,
                           const Sets& Bytes, Carries& C, const Rings& R) {
  Avx2Sets V;
  for (std::size_t K = 0; K < StructureScan::MaxSeparators; ++K)
    V.Separators[K] = _mm256_set1_epi8(static_cast<char>(Bytes.Separators[K]));
  careHalves(Bytes.HighClean, V);
  for (std::size_t W = 0; W < Windows; ++W, At += Window) {
    const Avx2Parts Low =
        classifyAvx2Half<Slots>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(At)), V);
    const Avx2Parts High =
        classifyAvx2Half<Slots>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(At + 32)), V);
    Masks M{avx2Bits(Low.Quote, High.Quote), avx2Bits(Low.Feed, High.Feed),
            avx2Bits(Low.Separator, High.Separator), ~avx2Bits(Low.Clean, High.Clean)};
    clipLast(M, W, Windows, LastValid);
    finishWindow(M, clmulPrefixXor(M.Quote), C, R, W);
  }
}

bool cpuHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("pclmul") &&
         __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("bmi2");
}

#endif

} // namespace

ScanLevel bestScanLevel() {
#if defined(__x86_64__)
  static const ScanLevel Best = cpuHasAvx2() ? ScanLevel::Avx2 : ScanLevel::Sse2;
  return Best;
#else
  return ScanLevel::Words;
#endif
}

ScanLevel usableScanLevel(ScanLevel Level) {
  const ScanLevel Best = bestScanLevel();
  return static_cast<int>(Level) > static_cast<int>(Best) ? Best : Level;
}

StructureScan::StructureScan(std::string_view Separators, bool HighClean, ScanLevel Level)
    : Level(usableScanLevel(Level)), Structurals(new std::uint64_t[KeptWindows]()),
      Specials(new std::uint64_t[KeptWindows]()), Feeds(new std::uint64_t[KeptWindows]()),
      Quotes(new std::uint64_t[KeptWindows]()), Cares(new std::uint64_t[KeptWindows]()),
      QuotedFeeds(new std::uint64_t[KeptWindows]()) {
  Bytes.SeparatorSlots = Separators.size() <= 2 ? 2 : MaxSeparators;
  for (std::size_t K = 0; K < MaxSeparators; ++K)
    Bytes.Separators[K] = static_cast<unsigned char>(
        Separators.empty() ? '\n' : Separators[K < Separators.size() ? K : 0]);
  Bytes.HighClean = HighClean;
}

void StructureScan::start(const char* Data, std::size_t Size) {
  this->Data = Data;
  this->Size = Size;
  Scanned = 0;
  InsideCarry = 0;
  DirtyCarry = 0;
}

void StructureScan::scan(std::size_t Windows) {
  if (Scanned >= Size)
    return;
  const std::size_t Left = (Size - Scanned + Window - 1) / Window;
  Windows = std::min({Windows, Left, MaxBatch});
  const std::size_t LastValid = Size - Scanned - (Windows - 1) * Window;
  const Rings R{Structurals.get(), Specials.get(),    Feeds.get(),     Quotes.get(),
                Cares.get(),       QuotedFeeds.get(), Scanned / Window};
  const char* At = Data + Scanned;
  Carries C{InsideCarry, DirtyCarry};
#if defined(__x86_64__)
  if (Level == ScanLevel::Avx2) {
    if (Bytes.SeparatorSlots == 2)
      scanAvx2<2>(At, Windows, LastValid, Bytes, C, R);
    else
      scanAvx2<MaxSeparators>(At, Windows, LastValid, Bytes, C, R);
  } else if (Level == ScanLevel::Sse2) {
    Sse2Sets V;
    for (std::size_t K = 0; K < MaxSeparators; ++K)
      V.Separators[K] = _mm_set1_epi8(static_cast<char>(Bytes.Separators[K]));
    V.HighClean = _mm_set1_epi8(Bytes.HighClean ? -1 : 0);
    scanWindows(At, Windows, LastValid, C, R,
                [&](const char* From, Masks& M) { classifySse2(From, Bytes, V, M); });
  } else
#endif
  {
    std::uint64_t SeparatorWords[MaxSeparators];
    for (std::size_t K = 0; K < MaxSeparators; ++K)
      SeparatorWords[K] = Bytes.Separators[K] * LowBits;
    scanWindows(At, Windows, LastValid, C, R,
                [&](const char* From, Masks& M) { classifyWords(From, Bytes, SeparatorWords, M); });
  }
  InsideCarry = C.Inside;
  DirtyCarry = C.Dirty;
  Scanned = std::min(Scanned + Windows * Window, Size);
}

} // namespace quillon
